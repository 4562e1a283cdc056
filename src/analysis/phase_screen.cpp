#include "analysis/phase_screen.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>

#include "core/u_class.h"
#include "core/u_fft.h"

namespace caustica {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kNmPerRadian = 500.0 / (2 * kPi);  // r0 is given at 500 nm
// Levels of subharmonics, each a third of the frequency step before. The
// large scales of a Kolmogorov screen converge slowly (the missing share of
// the tilt falls only as the cube root of the lowest frequency), so three
// levels leave a quarter of the structure function out at an eighth of the
// screen; eight reach within a few per cent and cost little.
constexpr int kLevels = 8;

// Phase spectrum of Kolmogorov turbulence, rad^2 per (cycle/m)^2.
double Spectrum(double r0, double f) { return 0.023 * std::pow(r0, -5.0 / 3.0) * std::pow(f, -11.0 / 3.0); }

// Variance of the one mode that stands for a cell of side d centred on
// (fx, fy). Near the origin the spectrum is too steep for its value at the
// centre: the cell's own power, weighted by f^2 as differences over short
// lags and the tilt weight it, is put on the centre frequency.
double CellPower(double r0, double fx, double fy, double d) {
  constexpr int q = 8;
  double sum = 0.0;
  for (int v = 0; v < q; ++v)
    for (int u = 0; u < q; ++u) {
      const double gx = fx + d * ((u + 0.5) / q - 0.5), gy = fy + d * ((v + 0.5) / q - 0.5);
      const double g2 = gx * gx + gy * gy;
      sum += Spectrum(r0, std::sqrt(g2)) * g2;
    }
  return sum / (q * q) / (fx * fx + fy * fy) * d * d;
}

}  // namespace

TPhaseScreen TPhaseScreen::Kolmogorov(double r0, double side, int n, std::uint64_t seed) {
  TPhaseScreen s;
  s.n_ = n;
  s.spacing_ = side / n;
  std::mt19937_64 random(seed);
  std::normal_distribution<double> gauss(0.0, 1.0);
  const double df = 1.0 / side;

  // The screen's own frequencies: a centred random spectrum, its inverse
  // (unnormalised, so a mode of amplitude a gives a at every sample).
  DoublePlanes spectrum(n, n, 2);
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c) {
      const int kx = c - n / 2 - 1, ky = r - n / 2 - 1;
      const double fx = kx * df, fy = ky * df;
      double a = 0.0;
      if (std::abs(kx) <= 1 && std::abs(ky) <= 1)
        a = (kx != 0 || ky != 0) ? std::sqrt(CellPower(r0, fx, fy, df)) : 0.0;
      else
        a = std::sqrt(Spectrum(r0, std::hypot(fx, fy))) * df;
      spectrum[1][r][c] = a * gauss(random);
      spectrum[2][r][c] = a * gauss(random);
    }
  FourierInverse(spectrum, n, n);
  s.opd_.resize(static_cast<std::size_t>(n) * n);
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c)
      s.opd_[static_cast<std::size_t>(r - 1) * n + (c - 1)] = kNmPerRadian * spectrum[1][r][c];

  // Subharmonics: 3 x 3 frequencies below df at each level, the centre left
  // to the next. A mode is separable, exp(i a x) exp(i b y), so the modes of
  // one column frequency are summed per row first.
  using Complex = std::complex<double>;
  std::vector<double> low(s.opd_.size(), 0.0);
  std::vector<Complex> ex[2], ey[3], sum(static_cast<std::size_t>(n) * 3);
  for (int p = 1; p <= kLevels; ++p) {
    const double dfp = df / std::pow(3.0, p);
    for (int k = 0; k < 3; ++k) {
      ey[k].resize(static_cast<std::size_t>(n));
      for (int r = 0; r < n; ++r)
        ey[k][r] = std::polar(1.0, 2 * kPi * (k - 1) * dfp * (r - n / 2) * s.spacing_);
    }
    for (int k = 0; k < 2; ++k) {
      ex[k].resize(static_cast<std::size_t>(n));
      for (int c = 0; c < n; ++c)
        ex[k][c] = std::polar(1.0, 2 * kPi * (k == 0 ? -1 : 1) * dfp * (c - n / 2) * s.spacing_);
    }
    std::fill(sum.begin(), sum.end(), Complex(0.0, 0.0));
    for (int v = -1; v <= 1; ++v)
      for (int u = -1; u <= 1; ++u) {
        if (u == 0 && v == 0) continue;
        const double a = std::sqrt(CellPower(r0, u * dfp, v * dfp, dfp));
        const Complex coefficient(a * gauss(random), a * gauss(random));
        for (int r = 0; r < n; ++r)
          sum[static_cast<std::size_t>(u + 1) * n + r] += coefficient * ey[v + 1][r];
      }
    for (int r = 0; r < n; ++r) {
      const Complex left = sum[r], centre = sum[static_cast<std::size_t>(n) + r],
                    right = sum[static_cast<std::size_t>(2) * n + r];
      double* line = low.data() + static_cast<std::size_t>(r) * n;
      for (int c = 0; c < n; ++c)
        line[c] += centre.real() + (left * ex[0][c]).real() + (right * ex[1][c]).real();
    }
  }
  double mean = 0;
  for (double v : low) mean += v;
  mean /= static_cast<double>(low.size());
  for (std::size_t i = 0; i < low.size(); ++i) s.opd_[i] += kNmPerRadian * (low[i] - mean);
  return s;
}

double TPhaseScreen::At(double x, double y) const {
  if (n_ < 2) return 0.0;
  const double u = std::clamp(x / spacing_ + n_ / 2.0, 0.0, n_ - 1.0);
  const double v = std::clamp(y / spacing_ + n_ / 2.0, 0.0, n_ - 1.0);
  const int c0 = std::min(static_cast<int>(u), n_ - 2), r0 = std::min(static_cast<int>(v), n_ - 2);
  const double fu = u - c0, fv = v - r0;
  const double* a = &opd_[static_cast<std::size_t>(r0) * n_ + c0];
  const double* b = a + n_;
  return (1 - fv) * ((1 - fu) * a[0] + fu * a[1]) + fv * ((1 - fu) * b[0] + fu * b[1]);
}

double TPhaseScreen::MaxSlope() const {
  double largest = 0.0;
  for (int r = 0; r + 1 < n_; ++r) {
    const double* a = &opd_[static_cast<std::size_t>(r) * n_];
    const double* b = a + n_;
    for (int c = 0; c + 1 < n_; ++c) {
      // Within a bilinear cell the gradient is bounded by its edges' differences.
      const double gx = std::max(std::abs(a[c + 1] - a[c]), std::abs(b[c + 1] - b[c]));
      const double gy = std::max(std::abs(b[c] - a[c]), std::abs(b[c + 1] - a[c + 1]));
      largest = std::max(largest, std::hypot(gx, gy));
    }
  }
  return n_ >= 2 ? largest / spacing_ : 0.0;
}

}  // namespace caustica
