#include "cli/batch_args.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace caustica::cli {

ArgList::ArgList(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                 const std::set<std::string>& flags) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string name = a;
    std::string value;
    bool hasInlineValue = false;
    if (a.rfind("--", 0) != 0) throw BatchError("unexpected argument '" + a + "'", 2);
    const std::size_t eq = a.find('=');
    if (eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      hasInlineValue = true;
    }
    if (flags.count(name)) {
      if (hasInlineValue) throw BatchError("option " + name + " takes no value", 2);
      flags_.insert(name);
    } else if (valueOptions.count(name)) {
      if (!hasInlineValue) {
        // "--defocus --output X" must not take "--output" for the defocus.
        if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0)
          throw BatchError("option " + name + " needs a value", 2);
        value = args[++i];
      }
      values_[name].push_back(value);
    } else {
      throw BatchError("unknown option '" + name + "' (see --help)", 2);
    }
  }
}

bool ArgList::Has(const std::string& name) const { return values_.count(name) != 0; }

const std::vector<std::string>& ArgList::All(const std::string& name) const {
  static const std::vector<std::string> none;
  const auto it = values_.find(name);
  return it == values_.end() ? none : it->second;
}

std::string ArgList::Text(const std::string& name, const std::string& fallback) const {
  const auto& v = All(name);
  if (v.empty()) return fallback;
  if (v.size() > 1) throw BatchError("option " + name + " is given more than once", 2);
  return v.front();
}

double ArgList::Number(const std::string& name, double fallback) const {
  return Has(name) ? ParseNumber(name, Text(name)) : fallback;
}

int ArgList::Integer(const std::string& name, int fallback) const {
  return Has(name) ? ParseInteger(name, Text(name)) : fallback;
}

double ParseNumber(const std::string& option, const std::string& text) {
  double value = 0.0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') ++first;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (text.empty() || ec != std::errc() || end != last || !std::isfinite(value))
    throw BatchError("option " + option + " expects a number, not '" + text + "'", 2);
  return value;
}

int ParseInteger(const std::string& option, const std::string& text) {
  const double value = ParseNumber(option, text);
  if (value != std::trunc(value) || std::fabs(value) > std::numeric_limits<int>::max())
    throw BatchError("option " + option + " expects a whole number, not '" + text + "'", 2);
  return static_cast<int>(value);
}

}  // namespace caustica::cli
