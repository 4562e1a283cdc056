#include "analysis/u_fit.h"

#include <Eigen/Dense>
#include <Eigen/SVD>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

#include "core/vector_state.h"

namespace caustica {

namespace {

using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::ColMajor>;

// Largest condition number of the scaled normal matrix (the square of the
// design matrix's) accepted before falling back to a QR decomposition of the
// design matrix: beyond it the normal equations could lose more than about
// six of the sixteen digits.
constexpr double kMaxNormalCondition = 1e6;

// Samples are handled in tiles of this many design-matrix rows, so the tall
// matrix is never formed.
constexpr std::size_t kTile = 256;

bool GridUsable(const TFctXY& grid) {
  return grid.Nx > 0 && grid.Ny > 0 && !grid.Values.Empty() && !grid.Mask.Empty() &&
         grid.Values.Width() == grid.Nx && grid.Values.Height() == grid.Ny && grid.Mask.Width() == grid.Nx &&
         grid.Mask.Height() == grid.Ny && grid.XAxis.size() >= static_cast<std::size_t>(grid.Nx) + 1 &&
         grid.YAxis.size() >= static_cast<std::size_t>(grid.Ny) + 1;
}

// The rows of the design matrix, each the selected terms' values at one used
// sample followed by the map value there (the right-hand side). Samples are
// taken in scan order: columns outer, rows inner.
class DesignRows {
 public:
  DesignRows(const TFctXY& grid, double obstruction, const TZernikeBasis& basis,
             const std::vector<int>& terms, const ZernikeTermCache* cache)
      : grid_(grid), obstruction_(obstruction), basis_(basis), terms_(terms), cache_(cache) {
    const int nx = grid.Nx;
    const std::int16_t* mask = grid.Mask.PlaneData(1);
    if (cache) {
      for (int k : terms) sources_.push_back(cache->Term(k));
      sources_.push_back(grid.Values.PlaneData(1));
    }
    ZernikeValues values;
    for (int c = 0; c < nx; ++c) {
      for (int r = 0; r < grid.Ny; ++r) {
        const std::size_t offset = static_cast<std::size_t>(r) * nx + c;
        if (mask[offset] != 1) continue;
        const bool inside =
            cache ? cache->Inside()[offset] != 0
                  : EvaluateZernike(basis, obstruction, grid.YAxis[r + 1], grid.XAxis[c + 1], values);
        if (inside) offsets_.push_back(offset);
      }
    }
  }

  std::size_t Count() const { return offsets_.size(); }
  Eigen::Index Width() const { return static_cast<Eigen::Index>(terms_.size()) + 1; }

  // Rows first .. first + count - 1 into the columns of tile (one column per row).
  void FillTransposed(std::size_t first, std::size_t count, Matrix& tile) const {
    const Eigen::Index width = Width();
    ZernikeValues values;
    for (std::size_t s = 0; s < count; ++s) {
      double* column = tile.col(static_cast<Eigen::Index>(s)).data();
      const std::size_t offset = offsets_[first + s];
      if (cache_) {
        for (Eigen::Index j = 0; j < width; ++j) column[j] = sources_[j][offset];
      } else {
        const int c = static_cast<int>(offset % grid_.Nx) + 1;
        const int r = static_cast<int>(offset / grid_.Nx) + 1;
        EvaluateZernike(basis_, obstruction_, grid_.YAxis[r], grid_.XAxis[c], values);
        for (Eigen::Index j = 0; j + 1 < width; ++j) column[j] = values[terms_[j]];
        column[width - 1] = grid_.Values[1][r][c];
      }
    }
  }

 private:
  const TFctXY& grid_;
  double obstruction_;
  const TZernikeBasis& basis_;
  const std::vector<int>& terms_;
  const ZernikeTermCache* cache_;
  std::vector<const double*> sources_;
  std::vector<std::size_t> offsets_;
};

// [A b]^T [A b]. The rows are cut into a fixed number of parts, whatever the
// core count, so the sums are the same on every machine.
Matrix Gram(const DesignRows& rows) {
  constexpr int kParts = 2;
  const Eigen::Index width = rows.Width();
  const std::size_t m = rows.Count();

  std::array<Matrix, kParts> partial;
  auto accumulate = [&](int part) {
    Matrix& gram = partial[part];
    gram.setZero(width, width);
    Matrix tile(width, static_cast<Eigen::Index>(kTile));
    const std::size_t last = m * (part + 1) / kParts;
    for (std::size_t start = m * part / kParts; start < last; start += kTile) {
      const std::size_t count = std::min(kTile, last - start);
      rows.FillTransposed(start, count, tile);
      gram.selfadjointView<Eigen::Lower>().rankUpdate(tile.leftCols(static_cast<Eigen::Index>(count)));
    }
  };

  std::vector<std::thread> workers;
  if (std::thread::hardware_concurrency() > 1) {
    for (int part = 1; part < kParts; ++part) {
      try {
        workers.emplace_back(accumulate, part);
      } catch (const std::system_error&) {
        break;  // the remaining parts run here
      }
    }
  }
  accumulate(0);
  for (auto& worker : workers) worker.join();
  for (int part = 1 + static_cast<int>(workers.size()); part < kParts; ++part) accumulate(part);

  Matrix gram = partial[0];
  for (int part = 1; part < kParts; ++part) gram += partial[part];
  gram.triangularView<Eigen::StrictlyUpper>() = gram.transpose();
  return gram;
}

// R of [A b] = Q R, built tile by tile: each tile is stacked under the R so
// far and the stack decomposed again.
Matrix StreamingR(const DesignRows& rows) {
  const Eigen::Index width = rows.Width();
  const Eigen::Index tileRows = static_cast<Eigen::Index>(kTile);
  Matrix stack = Matrix::Zero(width + tileRows, width);
  Matrix tile(width, tileRows);
  for (std::size_t start = 0; start < rows.Count(); start += kTile) {
    const std::size_t count = std::min(kTile, rows.Count() - start);
    const Eigen::Index used = static_cast<Eigen::Index>(count);
    rows.FillTransposed(start, count, tile);
    stack.middleRows(width, used) = tile.leftCols(used).transpose();
    Eigen::Ref<Matrix> block = stack.topRows(width + used);
    Eigen::HouseholderQR<Eigen::Ref<Matrix>> qr(block);
    stack.topRows(width) = stack.topRows(width).triangularView<Eigen::Upper>();
  }
  return stack.topRows(width);
}

// x = V diag(1/w) U^T rhs over the singular values w that are not exactly 0.
// condition receives the ratio of the largest to the smallest non-zero one.
Eigen::VectorXd SolveBySvd(const Matrix& square, const Eigen::VectorXd& rhs, double& condition) {
  Eigen::JacobiSVD<Matrix> svd(square, Eigen::ComputeFullU | Eigen::ComputeFullV);
  const Eigen::VectorXd& w = svd.singularValues();
  const Eigen::VectorXd projected = svd.matrixU().transpose() * rhs;
  Eigen::VectorXd x = Eigen::VectorXd::Zero(square.cols());
  double largest = 0.0;
  double smallest = std::numeric_limits<double>::infinity();
  for (Eigen::Index i = 0; i < w.size(); ++i) {
    if (w[i] == 0.0) continue;
    x += svd.matrixV().col(i) * (projected[i] / w[i]);
    largest = std::max(largest, std::abs(w[i]));
    smallest = std::min(smallest, std::abs(w[i]));
  }
  condition = largest > 0.0 ? largest / smallest : 1.0;
  return x;
}

// Normal equations, each term scaled to unit diagonal first. Their error
// grows with the square of the design matrix's condition number, which is
// small for Zernike terms over a pupil; when it is not, returns false.
bool SolveNormalEquations(const Matrix& gram, Eigen::VectorXd& x) {
  const Eigen::Index n = gram.rows() - 1;
  Eigen::VectorXd scale(n);
  for (Eigen::Index i = 0; i < n; ++i) scale[i] = gram(i, i) > 0.0 ? 1.0 / std::sqrt(gram(i, i)) : 1.0;
  const Matrix scaled = scale.asDiagonal() * gram.topLeftCorner(n, n) * scale.asDiagonal();
  const Eigen::VectorXd rhs = scale.asDiagonal() * gram.col(n).head(n);
  double condition = 1.0;
  x = SolveBySvd(scaled, rhs, condition);
  if (!(condition <= kMaxNormalCondition)) return false;
  x = scale.asDiagonal() * x;
  return true;
}

// Through A = Q R: the singular values and right vectors of A are those of
// R, and Q^T b is the last column of the augmented R.
void SolveByQR(const DesignRows& rows, Eigen::VectorXd& x) {
  const Matrix r = StreamingR(rows);
  const Eigen::Index n = r.cols() - 1;
  double condition = 1.0;
  x = SolveBySvd(r.topLeftCorner(n, n), r.col(n).head(n), condition);
}

}  // namespace

void FitZernike(const TFctXY& grid, double obstruction, const ZernikeSelection& selected,
                ZernikeCoefficients& coefficients, const TZernikeBasis& basis, ZernikeTermCache& cache) {
  ClearUpperVectorState();
  ClearCoefficients(coefficients);
  std::vector<int> terms;
  for (int k = 1; k <= basis.PolynomialCount; ++k) {
    if (selected[k]) terms.push_back(k);
  }
  if (terms.empty() || !GridUsable(grid)) return;
  const std::size_t n = terms.size();

  // Geometries too large to cache are evaluated sample by sample.
  const DesignRows rows(grid, obstruction, basis, terms,
                        cache.Prepare(grid, obstruction, basis) ? &cache : nullptr);
  if (rows.Count() < n) return;  // under-determined: no meaningful coefficients

  Eigen::VectorXd x;
  if (!SolveNormalEquations(Gram(rows), x)) SolveByQR(rows, x);
  for (std::size_t j = 0; j < n; ++j) coefficients[terms[j]] = x[static_cast<Eigen::Index>(j)];
}

void FitZernike(const TFctXY& grid, double obstruction, const ZernikeSelection& selected,
                ZernikeCoefficients& coefficients, const TZernikeBasis& basis) {
  FitZernike(grid, obstruction, selected, coefficients, basis, SharedZernikeCache());
}

void FitZernike(const TFctXY& grid, double obstruction, const ZernikeSelection& selected,
                ZernikeCoefficients& coefficients, ZernikeTermCache& cache) {
  FitZernike(grid, obstruction, selected, coefficients, ZernikeBasis, cache);
}

void FitZernike(const TFctXY& grid, double obstruction, const ZernikeSelection& selected,
                ZernikeCoefficients& coefficients) {
  FitZernike(grid, obstruction, selected, coefficients, ZernikeBasis, SharedZernikeCache());
}

}  // namespace caustica
