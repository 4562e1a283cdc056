// The general number format: the shortest text that keeps up to 15
// significant digits, switching to an exponent for very large or very small
// magnitudes ("10", "632.8", "0.333333333333333", "1E15", "1.5E-7").
#pragma once

#include <string>

namespace caustica {

// General format with the user's decimal separator.
std::string FormatGeneral(double value);
// General format with the given decimal separator.
std::string FormatGeneral(double value, char separator);
// The same with fixed notation from 10^lowestFixedExponent up to below 1E15.
// The forms above start at 1E-5 (0.00001 stays fixed); files that must give
// 0.000012 as 1.2E-5 start at -4.
std::string FormatGeneral(double value, char separator, int lowestFixedExponent);

}  // namespace caustica
