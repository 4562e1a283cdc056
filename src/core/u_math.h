// Scalar helpers shared by the fitting, formatting and file code.
#pragma once

#include <cstdint>
#include <string>

namespace caustica {

// |a| with the sign of b (b = 0 counts as positive).
double Sign(double a, double b);
// The larger of two doubles, a when they are equal.
double FMax(double a, double b);
int IMin(int a, int b);
// sqrt(a^2 + b^2) without destructive overflow or underflow.
double Pythag(double a, double b);
// Polar form of (re, im): modulus and angle in -pi..pi.
void ToPolar(double& modulus, double& angle, double re, double im);
// n! in 32-bit arithmetic, 0! = 1.
std::int32_t Factorial(int n);

// Round half to even under the default rounding mode.
double RoundHalfEven(double x);
// Saturating conversion of a rounded value to int (NaN gives 0).
std::int32_t RoundToInt(double x);

// The decimal separator used for numbers shown to the user and typed in
// the dialogs. Taken from the C locale settings unless set explicitly.
char DecimalSeparator();
void SetDecimalSeparator(char separator);
// The separator set explicitly, 0 while the locale's is followed.
char DecimalSeparatorSetting();

// "%.*f" with the user's decimal separator.
std::string FormatFixed(double value, int decimals);

// A length as a fraction or multiple of the reference wavelength:
// "Lambda/4", "2 lambda", "0 lambda".
std::string LambdaFractionText(double lengthNm, double lambdaRef, int decimals);

// Sexagesimal texts: "12° 30' 0.000\"" and "12h 30m 0.000s". Negative
// values keep the layout with a leading minus sign.
std::string FormatDegrees(double value);
std::string FormatHours(double value);

}  // namespace caustica
