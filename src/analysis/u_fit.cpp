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

namespace caustica {

namespace {

using Matrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::ColMajor>;

// Largest condition number of the scaled normal matrix (the square of the
// design matrix's) accepted before falling back to a QR decomposition of the
// design matrix: beyond it the normal equations could lose more than about
// six of the sixteen digits.
constexpr double kMaxNormalCondition = 1e6;

bool GridUsable(const TFctXY& grid) {
  return grid.Nx > 0 && grid.Ny > 0 && !grid.Values.Empty() && !grid.Mask.Empty() &&
         grid.Values.Width() == grid.Nx && grid.Values.Height() == grid.Ny && grid.Mask.Width() == grid.Nx &&
         grid.Mask.Height() == grid.Ny && grid.XAxis.size() >= static_cast<std::size_t>(grid.Nx) + 1 &&
         grid.YAxis.size() >= static_cast<std::size_t>(grid.Ny) + 1;
}

// Offsets (in plane layout) of the samples the fit uses, in scan order:
// columns outer, rows inner.
std::vector<std::uint32_t> UsedSamples(const TFctXY& grid, const ZernikeTermCache& cache) {
  const int nx = grid.Nx;
  const int ny = grid.Ny;
  const std::uint8_t* inside = cache.Inside();
  const std::int16_t* mask = grid.Mask.PlaneData(1);
  std::vector<std::uint32_t> offsets;
  offsets.reserve(cache.SampleCount());
  for (int c = 0; c < nx; ++c) {
    for (int r = 0; r < ny; ++r) {
      const std::size_t offset = static_cast<std::size_t>(r) * nx + c;
      if (inside[offset] && mask[offset] == 1) offsets.push_back(static_cast<std::uint32_t>(offset));
    }
  }
  return offsets;
}

// Source planes of the design matrix columns: the selected terms, then the
// map values as the right-hand side.
std::vector<const double*> ColumnSources(const TFctXY& grid, const ZernikeTermCache& cache,
                                         const std::vector<int>& terms) {
  std::vector<const double*> sources;
  for (int k : terms) sources.push_back(cache.Term(k));
  sources.push_back(grid.Values.PlaneData(1));
  return sources;
}

// [A b]^T [A b] accumulated over tiles of samples, so the tall matrix is
// never formed. The samples are cut into a fixed number of parts, whatever
// the core count, so the sums are the same on every machine.
Matrix GramFromCache(const TFctXY& grid, const ZernikeTermCache& cache, const std::vector<int>& terms,
                     const std::vector<std::uint32_t>& offsets) {
  constexpr int kParts = 2;
  constexpr std::size_t kTile = 256;
  const std::vector<const double*> sources = ColumnSources(grid, cache, terms);
  const Eigen::Index width = static_cast<Eigen::Index>(sources.size());
  const std::size_t m = offsets.size();

  std::array<Matrix, kParts> partial;
  auto accumulate = [&](int part) {
    Matrix& gram = partial[part];
    gram.setZero(width, width);
    Matrix tile(width, static_cast<Eigen::Index>(kTile));  // one column per sample
    const std::size_t first = m * part / kParts;
    const std::size_t last = m * (part + 1) / kParts;
    for (std::size_t start = first; start < last; start += kTile) {
      const std::size_t count = std::min(kTile, last - start);
      for (std::size_t s = 0; s < count; ++s) {
        double* column = tile.col(static_cast<Eigen::Index>(s)).data();
        const std::uint32_t offset = offsets[start + s];
        for (Eigen::Index j = 0; j < width; ++j) column[j] = sources[j][offset];
      }
      gram.selfadjointView<Eigen::Lower>().rankUpdate(tile.leftCols(static_cast<Eigen::Index>(count)));
    }
  };

  std::vector<std::thread> workers;
  const bool threaded = std::thread::hardware_concurrency() > 1;
  for (int part = 1; part < kParts; ++part) {
    if (!threaded) break;
    try {
      workers.emplace_back(accumulate, part);
    } catch (const std::system_error&) {
      break;
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

// The tall design matrix with the map values as one extra, last column,
// rows in scan order.
Matrix DesignFromCache(const TFctXY& grid, const ZernikeTermCache& cache, const std::vector<int>& terms,
                       const std::vector<std::uint32_t>& offsets) {
  const std::vector<const double*> sources = ColumnSources(grid, cache, terms);
  const Eigen::Index m = static_cast<Eigen::Index>(offsets.size());
  Matrix a(m, static_cast<Eigen::Index>(sources.size()));
  for (Eigen::Index j = 0; j < a.cols(); ++j) {
    double* column = a.col(j).data();
    for (Eigen::Index s = 0; s < m; ++s) column[s] = sources[j][offsets[s]];
  }
  return a;
}

// The same by evaluating the polynomials at each sample, for geometries too
// large to cache.
Matrix DesignDirect(const TFctXY& grid, double obstruction, const std::vector<int>& terms) {
  const int n = static_cast<int>(terms.size());
  std::vector<double> rows;  // row-major, n + 1 per used sample
  ZernikeValues values;
  for (int c = 1; c <= grid.Nx; ++c) {
    for (int r = 1; r <= grid.Ny; ++r) {
      if (grid.Mask[1][r][c] != 1) continue;
      if (!EvaluateZernike(obstruction, grid.YAxis[r], grid.XAxis[c], values)) continue;
      for (int j = 0; j < n; ++j) rows.push_back(values[terms[j]]);
      rows.push_back(grid.Values[1][r][c]);
    }
  }
  const Eigen::Index m = static_cast<Eigen::Index>(rows.size() / (n + 1));
  using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
  return Eigen::Map<const RowMajor>(rows.data(), m, n + 1);
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
// small for Zernike terms over a pupil; when it is not, returns false and
// the caller decomposes the design matrix itself.
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

// A = Q R: the singular values and right vectors of A are those of R, and
// Q^T b comes out in the last column of the augmented R.
void SolveByQR(Matrix& a, Eigen::VectorXd& x) {
  const Eigen::Index n = a.cols() - 1;
  Eigen::HouseholderQR<Eigen::Ref<Matrix>> qr(a);
  const Matrix r = qr.matrixQR().topLeftCorner(n, n).triangularView<Eigen::Upper>();
  const Eigen::VectorXd qtb = qr.matrixQR().col(n).head(n);
  double condition = 1.0;
  x = SolveBySvd(r, qtb, condition);
}

}  // namespace

void FitZernike(const TFctXY& grid, double obstruction, const ZernikeSelection& selected,
                ZernikeCoefficients& coefficients, ZernikeTermCache& cache) {
  ClearCoefficients(coefficients);
  std::vector<int> terms;
  for (int k = 1; k <= ZernikeBasis.PolynomialCount; ++k) {
    if (selected[k]) terms.push_back(k);
  }
  if (terms.empty() || !GridUsable(grid)) return;
  const Eigen::Index n = static_cast<Eigen::Index>(terms.size());

  Eigen::VectorXd x;
  if (cache.Prepare(grid, obstruction)) {
    const std::vector<std::uint32_t> offsets = UsedSamples(grid, cache);
    if (static_cast<Eigen::Index>(offsets.size()) < n) return;  // under-determined
    if (!SolveNormalEquations(GramFromCache(grid, cache, terms, offsets), x)) {
      Matrix a = DesignFromCache(grid, cache, terms, offsets);
      SolveByQR(a, x);
    }
  } else {
    Matrix a = DesignDirect(grid, obstruction, terms);
    if (a.rows() < n) return;
    SolveByQR(a, x);
  }
  for (Eigen::Index j = 0; j < n; ++j) coefficients[terms[j]] = x[j];
}

void FitZernike(const TFctXY& grid, double obstruction, const ZernikeSelection& selected,
                ZernikeCoefficients& coefficients) {
  FitZernike(grid, obstruction, selected, coefficients, SharedZernikeCache());
}

}  // namespace caustica
