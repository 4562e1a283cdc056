#include "analysis/donut_edge.h"

#include <algorithm>
#include <cmath>

#include "core/median.h"

namespace caustica {

namespace {

constexpr double kPi = 3.141592653589793;

// The softness of the donut's outer edge, pixels: the sigma of a Gaussian
// with the same 10-90 % rise, the median over narrow sectors, where the
// aberrations move the edge but hardly widen it. Seeing, the pixels and
// diffraction all soften it. 0 when no sector shows a clean edge.
double EdgeBlurWithin(const std::vector<double>& v, int nx, int ny, double cx, double cy, double rho,
                      double reach) {
  constexpr int kSectors = 32;
  constexpr double kBin = 0.25;
  const int bins = static_cast<int>(2.0 * reach / kBin) + 1;
  std::vector<double> sum(static_cast<std::size_t>(kSectors) * bins, 0.0), count(sum.size(), 0.0);
  const int r0 = std::max(1, static_cast<int>(cy - rho - reach)),
            r1 = std::min(ny, static_cast<int>(cy + rho + reach) + 1);
  const int c0 = std::max(1, static_cast<int>(cx - rho - reach)),
            c1 = std::min(nx, static_cast<int>(cx + rho + reach) + 1);
  for (int r = r0; r <= r1; ++r)
    for (int c = c0; c <= c1; ++c) {
      const double dx = c - cx, dy = r - cy, d = std::hypot(dx, dy);
      if (std::fabs(d - rho) >= reach) continue;
      const int sector = static_cast<int>((std::atan2(dy, dx) + kPi) / (2 * kPi) * kSectors) % kSectors;
      const int b = static_cast<int>((d - (rho - reach)) / kBin);
      if (b < 0 || b >= bins) continue;
      const std::size_t k = static_cast<std::size_t>(sector) * bins + b;
      sum[k] += v[static_cast<std::size_t>(r - 1) * nx + c - 1];
      count[k] += 1;
    }
  std::vector<double> widths;
  std::vector<double> p(static_cast<std::size_t>(bins));
  for (int sector = 0; sector < kSectors; ++sector) {
    // The sector's profile, empty bins bridged, then a 1-pixel running mean.
    double last = -1;
    for (int b = 0; b < bins; ++b) {
      const std::size_t k = static_cast<std::size_t>(sector) * bins + b;
      if (count[k] > 0) last = sum[k] / count[k];
      p[static_cast<std::size_t>(b)] = last;
    }
    if (p[0] < 0) continue;
    std::vector<double> q(p.size());
    for (int b = 0; b < bins; ++b) {
      double t = 0;
      int n = 0;
      for (int o = -2; o <= 2; ++o)
        if (b + o >= 0 && b + o < bins) t += p[static_cast<std::size_t>(b + o)], ++n;
      q[static_cast<std::size_t>(b)] = t / n;
    }
    std::vector<double> inside(q.begin(), q.begin() + bins / 4);
    const double level = UpperMedian(inside);
    if (!(level > 0)) continue;
    int half = -1;  // the last bin above half the level
    for (int b = 0; b < bins; ++b)
      if (q[static_cast<std::size_t>(b)] >= 0.5 * level) half = b;
    if (half <= 0 || half >= bins - 1) continue;
    int high = half, low = half;
    while (high > 0 && q[static_cast<std::size_t>(high)] < 0.9 * level) --high;
    while (low < bins - 1 && q[static_cast<std::size_t>(low)] > 0.1 * level) ++low;
    if (high == 0 || low == bins - 1) continue;
    widths.push_back((low - high) * kBin / 2.563);
  }
  return widths.size() >= kSectors / 2 ? UpperMedian(widths) : 0.0;
}

// The window around the edge is widened until it holds the edge's rise
// three times over (up to half the radius).
}  // namespace

double DonutEdgeBlur(const std::vector<double>& v, int nx, int ny, double cx, double cy, double rho) {
  double reach = std::max(8.0, 0.25 * rho), sigma = 0.0;
  for (int round = 0; round < 4; ++round) {
    sigma = EdgeBlurWithin(v, nx, ny, cx, cy, rho, reach);
    const double wanted = 3.0 * 2.563 * sigma;
    if (!(wanted > reach) || reach >= 0.5 * rho) break;
    reach = std::min(0.5 * rho, wanted);
  }
  return sigma;
}

}  // namespace caustica
