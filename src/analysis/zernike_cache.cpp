#include "analysis/zernike_cache.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

namespace caustica {

namespace {

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof(double)) == 0; }

}  // namespace

void ZernikeTermCache::Clear() {
  valid_ = false;
  nx_ = ny_ = count_ = 0;
  xAxis_.clear();
  yAxis_.clear();
  terms_.reset();
  capacity_ = 0;
  inside_.clear();
}

bool ZernikeTermCache::SameKey(const TFctXY& grid, double keyObstruction, const TZernikeBasis& basis) const {
  return valid_ && nx_ == grid.Nx && ny_ == grid.Ny && count_ == basis.PolynomialCount &&
         type_ == basis.PolynomialType && maxOrder_ == basis.MaxOrder &&
         SameBits(obstruction_, keyObstruction) && SameBits(xAxis_, grid.XAxis) &&
         SameBits(yAxis_, grid.YAxis);
}

bool ZernikeTermCache::Prepare(const TFctXY& grid, double obstruction) {
  return Prepare(grid, obstruction, ZernikeBasis);
}

bool ZernikeTermCache::Prepare(const TFctXY& grid, double obstruction, const TZernikeBasis& basis) {
  if (grid.Nx <= 0 || grid.Ny <= 0 || grid.XAxis.size() < static_cast<std::size_t>(grid.Nx) + 1 ||
      grid.YAxis.size() < static_cast<std::size_t>(grid.Ny) + 1) {
    Clear();
    return false;
  }
  const double keyObstruction = basis.PolynomialType == kAnnularPolynomials ? obstruction : 0.0;
  if (SameKey(grid, keyObstruction, basis)) return true;

  const std::size_t samples = static_cast<std::size_t>(grid.Nx) * static_cast<std::size_t>(grid.Ny);
  const std::size_t count = basis.PolynomialCount;
  if (samples > kMaxBytes / (sizeof(double) * (count + 1))) {
    Clear();
    return false;
  }
  try {
    const std::size_t needed = std::max<std::size_t>(count * samples, 1);
    if (needed > capacity_ || needed < capacity_ / 2) {
      terms_.reset();
      capacity_ = 0;
      terms_.reset(new double[needed]);  // every element is written by Build
      capacity_ = needed;
    }
    inside_.resize(samples);
    xAxis_ = grid.XAxis;
    yAxis_ = grid.YAxis;
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  nx_ = grid.Nx;
  ny_ = grid.Ny;
  count_ = static_cast<int>(count);
  type_ = basis.PolynomialType;
  maxOrder_ = basis.MaxOrder;
  obstruction_ = keyObstruction;
  Build(grid, obstruction, basis);
  valid_ = true;
  ++builds_;
  return true;
}

void ZernikeTermCache::Build(const TFctXY& grid, double obstruction, const TZernikeBasis& basis) {
  const std::size_t samples = SampleCount();
  const int nx = nx_;
  const int count = count_;
  double* terms = terms_.get();
  std::uint8_t* inside = inside_.data();
  const double* xAxis = grid.XAxis.data();
  const double* yAxis = grid.YAxis.data();

  // Each band writes only its own rows, so the result does not depend on
  // how the rows are shared out.
  auto band = [=](int rowFirst, int rowLast) {
    ZernikeValues values;
    for (int r = rowFirst; r <= rowLast; ++r) {
      const double y = yAxis[r];
      std::size_t offset = static_cast<std::size_t>(r - 1) * nx;
      for (int c = 1; c <= nx; ++c, ++offset) {
        inside[offset] = EvaluateZernike(basis, obstruction, y, xAxis[c], values) ? 1 : 0;
        double* slot = terms + offset;
        for (int k = 1; k <= count; ++k, slot += samples) *slot = values[k];
      }
    }
  };

  const unsigned cores = std::max(1u, std::min(std::thread::hardware_concurrency(), 8u));
  const int bands = static_cast<int>(std::min<unsigned>(cores, static_cast<unsigned>(ny_)));
  std::vector<std::thread> workers;
  int first = 1;
  for (int b = 0; b < bands; ++b) {
    const int last = ny_ * (b + 1) / bands;
    if (b + 1 < bands) {
      try {
        workers.emplace_back(band, first, last);
      } catch (const std::system_error&) {
        band(first, last);  // no thread to spare: do the band here
      }
    } else {
      band(first, last);
    }
    first = last + 1;
  }
  for (auto& worker : workers) worker.join();
}

void ZernikeTermCache::AddTerms(double* values, const std::int16_t* mask,
                                const ZernikeCoefficients& weights) const {
  if (!valid_) return;
  const std::size_t samples = SampleCount();
  const std::uint8_t* inside = inside_.data();
  for (int k = 1; k <= count_; ++k) {
    const double w = weights[k];
    if (w == 0.0) continue;
    const double* term = Term(k);
    if (mask) {
      for (std::size_t i = 0; i < samples; ++i) {
        if (inside[i] && mask[i] == 1) values[i] += w * term[i];
      }
    } else {
      for (std::size_t i = 0; i < samples; ++i) {
        if (inside[i]) values[i] += w * term[i];
      }
    }
  }
}

ZernikeTermCache& SharedZernikeCache() {
  static ZernikeTermCache cache;
  return cache;
}

}  // namespace caustica
