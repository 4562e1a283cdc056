#include "core/u_math.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

namespace caustica {

double Sign(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

double FMax(double a, double b) { return b > a ? b : a; }

int IMin(int a, int b) { return a < b ? a : b; }

double Pythag(double a, double b) {
  const double absA = std::fabs(a);
  const double absB = std::fabs(b);
  if (absA > absB) {
    const double q = absB / absA;
    return absA * std::sqrt(1.0 + q * q);
  }
  if (absB == 0.0) return 0.0;
  const double q = absA / absB;
  return absB * std::sqrt(1.0 + q * q);
}

void ToPolar(double& modulus, double& angle, double re, double im) {
  modulus = Pythag(re, im);
  angle = std::atan2(im, re);
}

std::int32_t Factorial(int n) {
  if (n <= 1) return 1;
  // Wraps like the 32-bit original for large n; callers only use small orders.
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(n) *
                                   static_cast<std::uint32_t>(Factorial(n - 1)));
}

double RoundHalfEven(double x) { return std::nearbyint(x); }

std::int32_t RoundToInt(double x) {
  if (std::isnan(x)) return 0;
  const double r = std::nearbyint(x);
  if (r >= static_cast<double>(std::numeric_limits<std::int32_t>::max()))
    return std::numeric_limits<std::int32_t>::max();
  if (r <= static_cast<double>(std::numeric_limits<std::int32_t>::min()))
    return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(r);
}

namespace {
char g_separator = 0;  // 0 = follow the C locale
}

char DecimalSeparator() {
  if (g_separator) return g_separator;
  const std::lconv* lc = std::localeconv();
  if (lc && lc->decimal_point && lc->decimal_point[0]) return lc->decimal_point[0];
  return '.';
}

void SetDecimalSeparator(char separator) { g_separator = separator; }

char DecimalSeparatorSetting() { return g_separator; }

std::string FormatFixed(double value, int decimals) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals < 0 ? 0 : decimals, value);
  std::string text(buffer);
  const char sep = DecimalSeparator();
  for (char& ch : text)
    if (ch == '.' || ch == ',') ch = sep;
  return text;
}

std::string LambdaFractionText(double lengthNm, double lambdaRef, int decimals) {
  const double r = lengthNm != 0 ? lambdaRef / lengthNm : 0.0;
  if (r > 1) return "Lambda/" + FormatFixed(r, decimals);
  if (r != 0) return FormatFixed(1 / r, decimals) + " lambda";
  return "0 lambda";
}

namespace {

// Whole units, whole sixtieths and the remaining 3600ths of |value|.
std::string Sexagesimal(double value, const char* unit1, const char* unit2, const char* unit3) {
  const bool negative = value < 0.0;
  if (negative) value = -value;
  const double whole = std::trunc(value);
  const double r = (value - whole) * 60.0;
  const double minutes = std::trunc(r);
  const double seconds = (r - minutes) * 60.0;
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%s%.0f%s%.0f%s", negative ? "-" : "", whole, unit1, minutes, unit2);
  return std::string(buffer) + FormatFixed(seconds, 3) + unit3;
}

}  // namespace

std::string FormatDegrees(double value) { return Sexagesimal(value, "\u00b0 ", "' ", "\""); }

std::string FormatHours(double value) { return Sexagesimal(value, "h ", "m ", "s"); }

}  // namespace caustica
