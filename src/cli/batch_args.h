// Command-line arguments of caustica-batch: "--name value" options, some
// repeatable, and "--name" flags, read strictly so that a typing mistake is
// reported instead of being read as 0.
#pragma once

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace caustica::cli {

// A bad command line or input: one line for stderr. Usage errors exit with
// status 2, failures of the run with status 1.
class BatchError : public std::runtime_error {
 public:
  BatchError(const std::string& message, int status = 1) : std::runtime_error(message), Status(status) {}
  int Status;
};

class ArgList {
 public:
  // valueOptions take one value each; flags take none. Anything else that
  // starts with "--" is refused.
  ArgList(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
          const std::set<std::string>& flags);

  bool Has(const std::string& name) const;
  bool Flag(const std::string& name) const { return flags_.count(name) != 0; }
  // Every value given for a repeatable option, in order.
  const std::vector<std::string>& All(const std::string& name) const;
  // The one value of an option; refused when it was given twice.
  std::string Text(const std::string& name, const std::string& fallback = "") const;
  double Number(const std::string& name, double fallback) const;
  int Integer(const std::string& name, int fallback) const;

 private:
  std::map<std::string, std::vector<std::string>> values_;
  std::set<std::string> flags_;
};

// A finite decimal number, the whole text ("1.5", "-2", "1e3"); otherwise a
// usage error naming the option.
double ParseNumber(const std::string& option, const std::string& text);
int ParseInteger(const std::string& option, const std::string& text);

}  // namespace caustica::cli
