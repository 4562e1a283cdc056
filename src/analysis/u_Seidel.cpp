#include "analysis/u_Seidel.h"

#include <algorithm>
#include <cmath>

#include "analysis/u_pupille.h"
#include "core/u_math.h"

namespace caustica {

namespace {

constexpr double kPi = 3.141592653589793;

// atan(numerator / denominator) in degrees, scaled by half for astigmatism.
double Orientation(double numerator, double denominator, double half) {
  if (denominator != 0.0) return half * std::atan(numerator / denominator) * 180.0 / kPi;
  return numerator != 0.0 ? half * 90.0 : 0.0;
}

TSeidelRow Row(const char* caption, double value) {
  TSeidelRow row;
  row.Caption = caption;
  row.Value = value;
  row.ValueText = FormatFixed(value, 3);
  return row;
}

TSeidelRow Row(const char* caption, double value, double orientation) {
  TSeidelRow row = Row(caption, value);
  row.HasOrientation = true;
  row.Orientation = orientation;
  row.OrientationText = FormatFixed(orientation, 1) + "\xC2\xB0";
  return row;
}

}  // namespace

TSeidelFigures SeidelFigures(const ZernikeCoefficients& coefficients, const ZernikeSelection& selected,
                             int polynomialCount) {
  const int count = std::clamp(polynomialCount, 0, kZernikeTermCount);
  ZernikeCoefficients a{};
  for (int k = 1; k <= count; ++k) a[k] = selected[k] ? coefficients[k] : 0.0;

  const double piston = a[1] - a[4] + a[11];

  const double tx = a[2] - 2.0 * a[7];
  const double ty = a[3] - 2.0 * a[8];
  const double tilt = std::sqrt(tx * tx + ty * ty);

  const double m = std::sqrt(a[5] * a[5] + a[6] * a[6]);
  const double f0 = 2.0 * a[4] - 6.0 * a[11];
  // The focus is the candidate of smaller magnitude, F0 - m on a tie; the
  // astigmatism takes the sign that goes with it.
  const bool lower = std::fabs(f0 - m) <= std::fabs(f0 + m);
  const double focus = lower ? f0 - m : f0 + m;
  const double astigmatism = lower ? 2.0 * m : -2.0 * m;

  const double coma = 3.0 * std::sqrt(a[7] * a[7] + a[8] * a[8]);
  const double spherical = 6.0 * a[11];

  return {Row("Piston", piston),
          Row("Inclinaison", tilt, Orientation(ty, tx, 1.0)),
          Row("Defocus       ", focus),
          Row("Astigmatism ", astigmatism, Orientation(a[6], a[5], 0.5)),
          Row("Coma", coma, Orientation(a[8], a[7], 1.0)),
          Row("Sphericity", spherical)};
}

TSeidelFigures SeidelFigures(const TPupille& wavefront) {
  return SeidelFigures(wavefront.Coefficients, wavefront.Selected, wavefront.Basis.PolynomialCount);
}

}  // namespace caustica
