#include "analysis/u_zernike.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/u_math.h"

namespace caustica {

namespace {

// Radial degrees reach MaxOrder + 1 = 8 for 42 terms.
constexpr int kTableSize = 9;

TZernikeBasis MakeBasis(int count, int type, const TZernikeBasis& previous) {
  TZernikeBasis basis = previous;
  if (count < 0) count = 0;
  if (count > kZernikeTermCount) count = kZernikeTermCount;
  if (type < kKeepPolynomialType) basis.PolynomialType = static_cast<std::uint8_t>(type);
  basis.PolynomialCount = static_cast<std::uint8_t>(count);

  const int a = static_cast<int>(std::trunc((std::sqrt(8.0 * count + 1.0) - 3.0) / 2.0));
  const int b = (a + 2) * (a + 1) / 2;
  basis.MaxOrder = static_cast<std::uint8_t>(count > a + b ? a + 1 : a);

  // For m = 0 the second write lands on the slot of (n, 2), which is
  // rewritten with its own factor once m reaches 2.
  const int top = basis.MaxOrder + 1;
  for (int m = 0; m <= top; ++m) {
    for (int n = m; n <= top; n += 2) {
      const double factor = std::sqrt((m == 0 ? 1.0 : 2.0) * (n + 1));
      const int k = ZernikeIndex(n, m);
      if (k <= kZernikeTermCount) basis.NormFactors[k] = factor;
      if (k + 1 <= kZernikeTermCount) basis.NormFactors[k + 1] = factor;
    }
  }
  return basis;
}

TZernikeBasis DefaultBasis() {
  // Every factor is known from the start, so normalising never divides by
  // a slot that no basis setting has filled yet.
  TZernikeBasis all = MakeBasis(kZernikeTermCount, kAnnularPolynomials, TZernikeBasis{});
  return MakeBasis(22, kAnnularPolynomials, all);
}

}  // namespace

TZernikeBasis ZernikeBasis = DefaultBasis();

void SetZernikeBasis(int count, int type) { ZernikeBasis = MakeBasis(count, type, ZernikeBasis); }

TZernikeBasis MakeZernikeBasis(int count, std::uint8_t type) {
  static const TZernikeBasis all = MakeBasis(kZernikeTermCount, kAnnularPolynomials, TZernikeBasis{});
  return MakeBasis(count, type, all);
}

bool EvaluateZernike(double obstruction, double y, double x, ZernikeValues& values) {
  return EvaluateZernike(ZernikeBasis, obstruction, y, x, values);
}

bool EvaluateZernike(const TZernikeBasis& basis, double obstruction, double y, double x,
                     ZernikeValues& values) {
  values.fill(0.0);
  const double r = Pythag(x, y);
  const double theta = std::atan2(y, x);
  double e = basis.PolynomialType == kAnnularPolynomials ? obstruction : 0.0;
  if (!(e > 0.0)) e = 0.0;  // a negative or undefined ratio means no hole
  // An obstruction of 1 or more leaves no annulus (and would divide by zero).
  if (!(r <= 1.0) || r < e || e >= 1.0) return false;

  const double e2 = e * e;
  const double d = 1.0 - e2;
  const int maxOrder = basis.MaxOrder < kTableSize - 1 ? basis.MaxOrder : kTableSize - 2;

  double qr[kTableSize][kTableSize] = {};
  double q0[kTableSize][kTableSize] = {};
  double h[kTableSize][kTableSize] = {};

  // m = 0: Legendre polynomials of the radius mapped onto -1..1.
  const double xr = 2.0 * ((r * r - e2) / d) - 1.0;
  const double x0 = 2.0 * (-e2 / d) - 1.0;
  for (int j = 0; j <= maxOrder; ++j) {
    h[j][0] = d / (2.0 * (2 * j + 1));
    if (j == 0) {
      qr[0][0] = 1.0;
      q0[0][0] = 1.0;
    } else if (j == 1) {
      qr[1][0] = xr;
      q0[1][0] = x0;
    } else {
      qr[j][0] = ((2 * j - 1) * xr * qr[j - 1][0] - (j - 1) * qr[j - 2][0]) / j;
      q0[j][0] = ((2 * j - 1) * x0 * q0[j - 1][0] - (j - 1) * q0[j - 2][0]) / j;
    }
  }

  // Higher m from the previous column. radial[j][m] holds R(2j + m, m).
  double radial[kTableSize][kTableSize] = {};
  double rm = 1.0;
  for (int m = 1; m <= maxOrder; ++m) {
    rm *= r;
    for (int j = 0; j <= maxOrder - m; ++j) {
      double sumA = 0.0;
      double sumB = 0.0;
      for (int i = 0; i <= j; ++i) {
        sumA += q0[i][m - 1] * qr[i][m - 1] / h[i][m - 1];
        sumB += q0[i][m - 1] * q0[i][m - 1] / h[i][m - 1];
      }
      const double c = 2.0 * (2 * j + 2 * m - 1) * h[j][m - 1] / ((j + m) * d * q0[j][m - 1]);
      qr[j][m] = c * sumA;
      q0[j][m] = c * sumB;
      h[j][m] = -c * q0[j + 1][m - 1];
      const int n = 2 * j + m;
      radial[j][m] = rm * std::sqrt(d / (2.0 * (n + 1) * h[j][m])) * qr[j][m];
    }
  }

  const int top = maxOrder + 1;
  for (int m = 0; m <= maxOrder; ++m) {
    const double cosine = m == 0 ? 1.0 : std::cos(m * theta);
    const double sine = m == 0 ? 0.0 : std::sin(m * theta);
    for (int n = m; n <= top; n += 2) {
      const int k = ZernikeIndex(n, m);
      if (k > kZernikeTermCount) break;
      if (m == 0) {
        values[k] = qr[n / 2][0];
      } else {
        const double value = radial[(n - m) / 2][m];
        values[k] = value * cosine;
        if (k + 1 <= kZernikeTermCount) values[k + 1] = value * sine;
      }
    }
  }
  return true;
}

std::string ZernikeName(int n, int m) {
  const int a = std::abs(m);
  // 32-bit factorials hold up to 12!; other shapes are not Zernike terms.
  if (n < 0 || n > 12 || a > n || (n - a) % 2 != 0) return std::string();

  std::string text;
  char buffer[64];
  for (int s = 0; s <= (n - a) / 2; ++s) {
    const double quotient =
        static_cast<double>(Factorial(n - s)) /
        (static_cast<double>(Factorial(s)) * Factorial((n + a) / 2 - s) * Factorial((n - a) / 2 - s));
    const int c = (s % 2 == 0 ? 1 : -1) * RoundToInt(quotient);
    const int p = n - 2 * s;
    if (s > 0) text += c < 1 ? "-" : "+";
    const int magnitude = std::abs(c);
    if (magnitude != 1 && p != 1) {
      std::snprintf(buffer, sizeof buffer, "%d", magnitude);
      text += buffer;
    }
    if (p > 1) {
      std::snprintf(buffer, sizeof buffer, "r^%d", p);
      text += buffer;
    }
    if (p == 0) {
      std::snprintf(buffer, sizeof buffer, "%d", magnitude);
      text += buffer;
    }
    if (p == 1) {
      if (magnitude < 2) {
        text += "r";
      } else {
        std::snprintf(buffer, sizeof buffer, "%dr", magnitude);
        text += buffer;
      }
    }
  }
  if (n != a && a != 0) text = "(" + text + ")";
  if (a == 1) {
    text += m > 0 ? " Cos(t)" : " Sin(t)";
  } else if (a > 1) {
    std::snprintf(buffer, sizeof buffer, m > 0 ? " Cos(%dt)" : " Sin(%dt)", a);
    text += buffer;
  }
  return text;
}

void ToNormalised(const TZernikeBasis& basis, ZernikeCoefficients& coefficients) {
  for (int k = 1; k <= basis.PolynomialCount; ++k) coefficients[k] /= basis.NormFactors[k];
}

void FromNormalised(const TZernikeBasis& basis, ZernikeCoefficients& coefficients) {
  for (int k = 2; k <= basis.PolynomialCount; ++k) coefficients[k] *= basis.NormFactors[k];
  coefficients[1] = 0.0;
}

void ToNormalised(ZernikeCoefficients& coefficients) { ToNormalised(ZernikeBasis, coefficients); }
void FromNormalised(ZernikeCoefficients& coefficients) { FromNormalised(ZernikeBasis, coefficients); }

void ClearCoefficients(ZernikeCoefficients& coefficients) { coefficients.fill(0.0); }

void SelectAll(ZernikeSelection& selection) {
  selection.fill(true);
  selection[0] = false;
}

ZernikeSelection SelectionWithout(const ZernikeSelection& selection, bool tiltAndFocus, bool coma) {
  ZernikeSelection result = selection;
  if (tiltAndFocus) {
    for (int k = 1; k <= 4; ++k) result[k] = false;
  }
  if (coma) {
    for (int k : {7, 8, 16, 17}) result[k] = false;
  }
  return result;
}

ZernikeSelection SelectionWithoutTilt(const ZernikeSelection& selection) {
  ZernikeSelection result = selection;
  for (int k = 1; k <= 3; ++k) result[k] = false;
  return result;
}

}  // namespace caustica
