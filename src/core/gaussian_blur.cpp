#include "core/gaussian_blur.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace caustica {

void GaussianBlurClamped(std::vector<double>& v, int nx, int ny, double sigma) {
  if (!(sigma > 0) || nx < 1 || ny < 1) return;
  const int h = std::max(1, static_cast<int>(std::ceil(3.0 * sigma)));
  std::vector<double> k(static_cast<std::size_t>(2 * h + 1));
  double total = 0;
  for (int i = -h; i <= h; ++i)
    total += k[static_cast<std::size_t>(i + h)] = std::exp(-0.5 * i * i / (sigma * sigma));
  for (double& w : k) w /= total;
  std::vector<double> tmp(v.size());
  for (int r = 0; r < ny; ++r) {
    const double* in = v.data() + static_cast<std::size_t>(r) * nx;
    double* out = tmp.data() + static_cast<std::size_t>(r) * nx;
    for (int c = 0; c < nx; ++c) {
      double t = 0;
      for (int i = -h; i <= h; ++i)
        t += k[static_cast<std::size_t>(i + h)] * in[std::clamp(c + i, 0, nx - 1)];
      out[c] = t;
    }
  }
  // Whole rows at a time down the columns, for the cache.
  std::fill(v.begin(), v.end(), 0.0);
  for (int r = 0; r < ny; ++r) {
    double* out = v.data() + static_cast<std::size_t>(r) * nx;
    for (int i = -h; i <= h; ++i) {
      const double w = k[static_cast<std::size_t>(i + h)];
      const double* in = tmp.data() + static_cast<std::size_t>(std::clamp(r + i, 0, ny - 1)) * nx;
      for (int c = 0; c < nx; ++c) out[c] += w * in[c];
    }
  }
}

}  // namespace caustica
