#include "analysis/zernike_polynomials.h"

#include <Eigen/Dense>
#include <cmath>
#include <complex>

namespace caustica {

namespace {

constexpr double kPi = 3.141592653589793;
// Samples of the radial part used to put a term into polynomial form.
constexpr int kRadialSamples = 40;

// Re and Im of (x + iy)^m for m = 0..kMaxAzimuth.
struct Powers {
  std::array<double, ZernikePolynomialForm::kMaxAzimuth + 1> re{}, im{};
  void Fill(double x, double y, int top) {
    re[0] = 1.0;
    im[0] = 0.0;
    for (int m = 1; m <= top; ++m) {
      re[m] = re[m - 1] * x - im[m - 1] * y;
      im[m] = re[m - 1] * y + im[m - 1] * x;
    }
  }
};

// P(t), P'(t), P''(t) by Horner's rule.
void Polynomial(const std::array<double, ZernikePolynomialForm::kMaxRadialPowers>& p, int count, double t,
                double& v, double& d1, double& d2) {
  v = d1 = d2 = 0.0;
  for (int s = count - 1; s >= 0; --s) {
    d2 = d2 * t + 2.0 * d1;
    d1 = d1 * t + v;
    v = v * t + p[static_cast<std::size_t>(s)];
  }
}

}  // namespace

bool ZernikePolynomialForm::Build(double obstruction) { return Build(obstruction, ZernikeBasis); }

bool ZernikePolynomialForm::Build(double obstruction, const TZernikeBasis& basis) {
  count_ = basis.PolynomialCount;
  fitError_ = 0.0;
  topM_ = -1;
  double e = basis.PolynomialType == kAnnularPolynomials ? obstruction : 0.0;
  if (!(e > 0.0)) e = 0.0;
  if (count_ < 1 || e >= 0.95) {
    count_ = 0;
    return false;
  }
  const int maxOrder = std::min<int>(basis.MaxOrder, kMaxAzimuth - 1);
  const int top = maxOrder + 1;
  for (auto& t : terms_) t = TermForm{};
  ZernikeValues z{};
  for (int m = 0; m <= maxOrder; ++m)
    for (int n = m; n <= top; n += 2) {
      const int k = ZernikeIndex(n, m);
      if (k > kZernikeTermCount) break;
      const int powers = (n - m) / 2 + 1;
      if (powers > kMaxRadialPowers) continue;
      // Least squares of r^m P(r^2) against the basis along the x axis.
      Eigen::MatrixXd a(kRadialSamples, powers);
      Eigen::VectorXd b(kRadialSamples);
      double largest = 0.0;
      for (int j = 0; j < kRadialSamples; ++j) {
        const double u = 0.5 - 0.5 * std::cos(kPi * (j + 0.5) / kRadialSamples);
        const double r = e + (1.0 - e) * u;
        EvaluateZernike(basis, e, 0.0, r, z);
        const double rm = std::pow(r, m);
        double t = 1.0;
        for (int s = 0; s < powers; ++s, t *= r * r) a(j, s) = rm * t;
        b(j) = z[k];
        largest = std::max(largest, std::fabs(z[k]));
      }
      const Eigen::VectorXd p = a.colPivHouseholderQr().solve(b);
      const double err = (a * p - b).cwiseAbs().maxCoeff();
      if (largest > 0) fitError_ = std::max(fitError_, err / largest);
      for (int member = 0; member < (m == 0 ? 1 : 2); ++member) {
        const int kk = k + member;
        if (kk > kZernikeTermCount) break;
        TermForm& f = terms_[static_cast<std::size_t>(kk)];
        f.M = m;
        f.Sine = member == 1;
        f.Powers = powers;
        for (int s = 0; s < powers; ++s) f.P[static_cast<std::size_t>(s)] = p(s);
      }
    }
  return true;
}

void ZernikePolynomialForm::Term(int k, double x, double y, double& value, double& gx, double& gy) const {
  const TermForm& f = terms_[static_cast<std::size_t>(k)];
  double p, p1, p2;
  Polynomial(f.P, f.Powers, x * x + y * y, p, p1, p2);
  const std::complex<double> zc(x, y);
  const std::complex<double> zm = f.M > 0 ? std::pow(zc, f.M) : 1.0;
  const std::complex<double> zm1 = f.M > 1 ? std::pow(zc, f.M - 1) : 1.0;
  const double u = f.Sine ? zm.imag() : zm.real();
  const double ux = f.M == 0 ? 0.0 : f.M * (f.Sine ? zm1.imag() : zm1.real());
  const double uy = f.M == 0 ? 0.0 : f.M * (f.Sine ? zm1.real() : -zm1.imag());
  value = p * u;
  gx = 2 * x * p1 * u + p * ux;
  gy = 2 * y * p1 * u + p * uy;
}

void ZernikePolynomialForm::SetWavefront(const ZernikeCoefficients& z) {
  for (auto& c : cos_) c.fill(0.0);
  for (auto& s : sin_) s.fill(0.0);
  topM_ = -1;
  for (int k = 1; k <= count_; ++k) {
    const TermForm& f = terms_[static_cast<std::size_t>(k)];
    if (f.Powers == 0 || z[static_cast<std::size_t>(k)] == 0.0) continue;
    auto& target = f.Sine ? sin_[static_cast<std::size_t>(f.M)] : cos_[static_cast<std::size_t>(f.M)];
    for (int s = 0; s < f.Powers; ++s)
      target[static_cast<std::size_t>(s)] +=
          z[static_cast<std::size_t>(k)] * f.P[static_cast<std::size_t>(s)];
    topM_ = std::max(topM_, f.M);
  }
}

ZernikePolynomialForm::Derivatives ZernikePolynomialForm::Wavefront(double x, double y) const {
  Derivatives d;
  if (topM_ < 0) return d;
  Powers pw;
  pw.Fill(x, y, topM_);
  const double t = x * x + y * y;
  for (int m = 0; m <= topM_; ++m) {
    for (int sine = 0; sine < 2; ++sine) {
      if (m == 0 && sine) continue;
      const auto& poly = sine ? sin_[static_cast<std::size_t>(m)] : cos_[static_cast<std::size_t>(m)];
      double a, a1, a2;
      Polynomial(poly, kMaxRadialPowers, t, a, a1, a2);
      if (a == 0.0 && a1 == 0.0 && a2 == 0.0) continue;
      // U = Re or Im of (x + iy)^m, harmonic: Uyy = -Uxx.
      double u, ux = 0, uy = 0, uxx = 0, uxy = 0;
      if (!sine) {
        u = pw.re[static_cast<std::size_t>(m)];
        if (m >= 1) {
          ux = m * pw.re[static_cast<std::size_t>(m - 1)];
          uy = -m * pw.im[static_cast<std::size_t>(m - 1)];
        }
        if (m >= 2) {
          uxx = m * (m - 1) * pw.re[static_cast<std::size_t>(m - 2)];
          uxy = -m * (m - 1) * pw.im[static_cast<std::size_t>(m - 2)];
        }
      } else {
        u = pw.im[static_cast<std::size_t>(m)];
        ux = m * pw.im[static_cast<std::size_t>(m - 1)];
        uy = m * pw.re[static_cast<std::size_t>(m - 1)];
        if (m >= 2) {
          uxx = m * (m - 1) * pw.im[static_cast<std::size_t>(m - 2)];
          uxy = m * (m - 1) * pw.re[static_cast<std::size_t>(m - 2)];
        }
      }
      d.W += a * u;
      d.Wx += 2 * x * a1 * u + a * ux;
      d.Wy += 2 * y * a1 * u + a * uy;
      d.Wxx += 2 * a1 * u + 4 * x * x * a2 * u + 4 * x * a1 * ux + a * uxx;
      d.Wyy += 2 * a1 * u + 4 * y * y * a2 * u + 4 * y * a1 * uy - a * uxx;
      d.Wxy += 4 * x * y * a2 * u + 2 * x * a1 * uy + 2 * y * a1 * ux + a * uxy;
    }
  }
  return d;
}

}  // namespace caustica
