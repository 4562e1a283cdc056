// Values of the Zernike terms at every sample of one grid geometry, kept so
// that fitting, synthesising and switching terms on and off never re-run the
// polynomial recurrence at every sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/u_zernike.h"
#include "core/u_fonctionxy.h"

namespace caustica {

class ZernikeTermCache {
 public:
  // Geometries whose term values would need more than this are not cached;
  // callers then evaluate the polynomials sample by sample.
  static constexpr std::size_t kMaxBytes = std::size_t{512} << 20;

  // Makes the cache hold terms 1..PolynomialCount of the basis at every
  // sample of the grid's axes. Rebuilds only when the size, the axes, the
  // obstruction, the basis type or the term count differ from the last
  // build. Returns false (and holds nothing) when the geometry is unusable
  // or too large. Without a basis, the program-wide one.
  bool Prepare(const TFctXY& grid, double obstruction, const TZernikeBasis& basis);
  bool Prepare(const TFctXY& grid, double obstruction);

  bool Valid() const { return valid_; }
  int Nx() const { return nx_; }
  int Ny() const { return ny_; }
  int Count() const { return count_; }
  std::size_t SampleCount() const { return static_cast<std::size_t>(nx_) * static_cast<std::size_t>(ny_); }

  // Term k (1..Count()) as Nx x Ny values laid out like a grid plane: row
  // by row, sample (r, c) at (r - 1) x Nx + (c - 1). Zero outside the domain.
  const double* Term(int k) const { return terms_.get() + static_cast<std::size_t>(k - 1) * SampleCount(); }
  // 1 where the sample lies inside the polynomial domain, same layout.
  const std::uint8_t* Inside() const { return inside_.data(); }

  // values += sum of weights[k] x term k over k = 1..Count(), on samples
  // inside the domain whose mask is 1 (every inside sample when mask is null).
  // values and mask are laid out like a grid plane of this geometry.
  void AddTerms(double* values, const std::int16_t* mask, const ZernikeCoefficients& weights) const;

  // Number of builds so far; lets callers and tests see reuse.
  std::uint64_t BuildCount() const { return builds_; }

  void Clear();

 private:
  bool SameKey(const TFctXY& grid, double keyObstruction, const TZernikeBasis& basis) const;
  void Build(const TFctXY& grid, double obstruction, const TZernikeBasis& basis);

  bool valid_ = false;
  int nx_ = 0;
  int ny_ = 0;
  int count_ = 0;
  std::uint8_t type_ = 0;
  std::uint8_t maxOrder_ = 0;
  double obstruction_ = 0.0;  // 0 for circle polynomials, which ignore it
  std::vector<double> xAxis_;
  std::vector<double> yAxis_;
  std::unique_ptr<double[]> terms_;
  std::size_t capacity_ = 0;  // doubles held by terms_
  std::vector<std::uint8_t> inside_;
  std::uint64_t builds_ = 0;
};

// The cache shared by the fit and the pupil operations of the one
// user-interface thread.
ZernikeTermCache& SharedZernikeCache();

}  // namespace caustica
