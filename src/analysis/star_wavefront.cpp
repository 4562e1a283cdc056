#include "analysis/star_wavefront.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <vector>

namespace caustica {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kMonomials = (StarWavefront::kDegree + 1) * (StarWavefront::kDegree + 2) / 2;

}  // namespace

// The polynomial is found by least squares on points spread over the domain
// of the terms (annulus or disk). The terms are exactly such polynomials,
// so the fit reproduces them to rounding; the check below guards that.
bool StarWavefront::Build(const ZernikeCoefficients& coefficients, std::uint8_t polynomialType,
                          double obstruction, std::string* why) {
  for (auto& row : c_) row.fill(0.0);
  zero_ = true;
  bool any = false;
  for (int k = 1; k <= kZernikeTermCount; ++k) any = any || coefficients[k] != 0.0;
  if (!any) return true;

  const TZernikeBasis basis = MakeZernikeBasis(kZernikeTermCount, polynomialType);
  const double e = polynomialType == kAnnularPolynomials ? std::clamp(obstruction, 0.0, 0.99) : 0.0;
  constexpr int kRadii = 24;
  constexpr int kAngles = 60;
  std::vector<double> xs, ys, ws;
  ZernikeValues z{};
  for (int i = 0; i <= kRadii; ++i) {
    // Chebyshev-like radii crowd towards both edges, where high orders vary most.
    const double t = 0.5 - 0.5 * std::cos(kPi * i / kRadii);
    const double r = e + (1.0 - e) * t;
    for (int j = 0; j < kAngles; ++j) {
      const double a = 2.0 * kPi * (j + 0.5 * (i % 2)) / kAngles;
      const double x = r * std::cos(a), y = r * std::sin(a);
      // Rounding can put a point a hair outside the domain; pull it in.
      const double s = (r > e) ? 1.0 - 1e-12 : 1.0 + 1e-12;
      if (!EvaluateZernike(basis, e, y * s, x * s, z)) continue;
      double w = 0.0;
      for (int k = 1; k <= kZernikeTermCount; ++k) w += coefficients[k] * z[k];
      xs.push_back(x * s);
      ys.push_back(y * s);
      ws.push_back(w);
    }
  }
  const int n = static_cast<int>(ws.size());
  Eigen::MatrixXd a(n, kMonomials);
  Eigen::VectorXd b(n);
  double scale = 0.0;
  for (int p = 0; p < n; ++p) {
    int col = 0;
    for (int i = 0; i <= kDegree; ++i)
      for (int j = 0; i + j <= kDegree; ++j) a(p, col++) = std::pow(xs[p], i) * std::pow(ys[p], j);
    b(p) = ws[p];
    scale = std::max(scale, std::abs(ws[p]));
  }
  const Eigen::VectorXd sol = a.colPivHouseholderQr().solve(b);
  int col = 0;
  for (int i = 0; i <= kDegree; ++i)
    for (int j = 0; i + j <= kDegree; ++j) c_[i][j] = sol(col++);
  zero_ = false;

  double worst = 0.0;
  for (int p = 0; p < n; ++p) worst = std::max(worst, std::abs(Value(xs[p], ys[p]) - ws[p]));
  if (!(worst <= 1e-7 * std::max(scale, 1.0))) {
    if (why) *why = "The wavefront polynomial could not be formed";
    return false;
  }
  return true;
}

void StarWavefront::RowAt(double y, Row& row) const {
  for (int i = 0; i <= kDegree; ++i) {
    double a = 0.0, b = 0.0;
    for (int j = kDegree - i; j >= 0; --j) {
      a = a * y + c_[i][j];
      if (j >= 1) b = b * y + j * c_[i][j];
    }
    row.a[i] = a;
    row.b[i] = b;
  }
}

double StarWavefront::Value(double x, double y) const {
  Row row;
  RowAt(y, row);
  return row.Value(x);
}

double StarWavefront::MaxSlope(double obstruction) const {
  if (zero_) return 0.0;
  const double e2 = std::max(obstruction, 0.0) * std::max(obstruction, 0.0);
  double best = 0.0;
  constexpr int kSteps = 160;
  Row row;
  for (int r = 0; r <= kSteps; ++r) {
    const double y = -1.0 + 2.0 * r / kSteps;
    RowAt(y, row);
    for (int c = 0; c <= kSteps; ++c) {
      const double x = -1.0 + 2.0 * c / kSteps;
      const double r2 = x * x + y * y;
      if (r2 > 1.0 || r2 < e2) continue;
      best = std::max(best, std::hypot(row.SlopeX(x), row.SlopeY(x)));
    }
  }
  // The steepest slopes of high orders sit on the rim.
  for (int k = 0; k < 720; ++k) {
    const double t = 2.0 * kPi * k / 720.0;
    const double x = std::cos(t), y = std::sin(t);
    RowAt(y, row);
    best = std::max(best, std::hypot(row.SlopeX(x), row.SlopeY(x)));
  }
  return best;
}

}  // namespace caustica
