#include "core/number_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/u_math.h"

namespace caustica {

namespace {

constexpr int kSignificantDigits = 15;
constexpr int kLowestFixedExponent = -5;

}  // namespace

std::string FormatGeneral(double value) { return FormatGeneral(value, DecimalSeparator()); }

std::string FormatGeneral(double value, char separator) {
  return FormatGeneral(value, separator, kLowestFixedExponent);
}

std::string FormatGeneral(double value, char separator, int lowestFixedExponent) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0.0) return "0";  // negative zero included

  // d.dddddddddddddde+XX: the digits and the exponent after rounding to 15
  // significant digits, so 999999999999999.9 counts as 1E15.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*e", kSignificantDigits - 1, value);
  const char* p = buffer;
  std::string text;
  if (*p == '-') {
    text = "-";
    ++p;
  }
  std::string digits;
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') digits += *p;
  const int exponent = (*p == 'e') ? std::atoi(p + 1) : 0;
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int count = static_cast<int>(digits.size());

  if (exponent >= kSignificantDigits || exponent < lowestFixedExponent) {
    text += digits[0];
    if (count > 1) {
      text += separator;
      text.append(digits, 1, std::string::npos);
    }
    text += 'E';
    text += std::to_string(exponent);
    return text;
  }
  if (exponent < 0) {
    text += '0';
    text += separator;
    text.append(static_cast<std::size_t>(-exponent - 1), '0');
    text += digits;
    return text;
  }
  const int whole = exponent + 1;
  if (count <= whole) {
    text += digits;
    text.append(static_cast<std::size_t>(whole - count), '0');
  } else {
    text.append(digits, 0, static_cast<std::size_t>(whole));
    text += separator;
    text.append(digits, static_cast<std::size_t>(whole), std::string::npos);
  }
  return text;
}

}  // namespace caustica
