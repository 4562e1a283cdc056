#include "core/u_fonctionxy.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/u_math.h"

namespace caustica {

namespace {

// Half-to-even rounding for the shift's inner loop. Adding and removing
// 1.5 x 2^52 rounds under the default rounding mode exactly like nearbyint
// (IEEE addition is not reassociated without -ffast-math), but stays
// inline; the rare large or non-finite values go through RoundHalfEven.
constexpr double kRoundMagic = 6755399441055744.0;  // 1.5 x 2^52
constexpr double kRoundLimit = 2251799813685248.0;  // 2^51

inline double RoundSample(double v) {
  if (std::fabs(v) < kRoundLimit) return (v + kRoundMagic) - kRoundMagic;
  return RoundHalfEven(v);
}

std::size_t SampleCount(int nx, int ny) {
  return nx > 0 && ny > 0 ? static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) : 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Creation and storage

void TFctXY::Init(int nx, int ny) {
  Nx = std::max(nx, 0);
  Ny = std::max(ny, 0);
  XAxis.assign(static_cast<std::size_t>(Nx) + 1, 0.0);
  YAxis.assign(static_cast<std::size_t>(Ny) + 1, 0.0);
  Mask.Allocate(Nx, Ny, 1);
  Values.Allocate(Nx, Ny, IsComplex ? 2 : 1);
  Scale = 1.0;
  Dx = Dy = 1.0;
  MaskActive = false;
  Zoom = 1.0;
  RangeFactor = 1.0;
}

// The sizes go back to 0 with the arrays, so that any operation on a
// released grid loops over nothing instead of reading freed rows.
void TFctXY::Release() {
  Values.Clear();
  Mask.Clear();
  XAxis.clear();
  YAxis.clear();
  Nx = Ny = 0;
}

bool TFctXY::Assign(const TFctXY& src) {
  if (&src == this) return true;
  // A copy between grids of different shapes would read or write past a
  // plane: refused in every build, not only where asserts are kept.
  if (src.Nx != Nx || src.Ny != Ny || src.IsComplex != IsComplex) return false;
  if (HasArrays() && src.HasArrays() &&
      (Values.PlaneCount() != src.Values.PlaneCount() || Mask.PlaneCount() != src.Mask.PlaneCount()))
    return false;
  XAxis = src.XAxis;
  YAxis = src.YAxis;
  const std::size_t n = SampleCount(Nx, Ny);
  if (n > 0 && HasArrays() && src.HasArrays()) {
    std::memcpy(Mask.PlaneData(1), src.Mask.PlaneData(1), n * sizeof(std::int16_t));
    std::memcpy(Values.PlaneData(1), src.Values.PlaneData(1), n * sizeof(double));
  }
  CopyStatisticsAndDisplay(src);
  return true;
}

// The fields Assign copies besides the axes and samples.
void TFctXY::CopyStatisticsAndDisplay(const TFctXY& src) {
  MaskCount = src.MaskCount;
  MinValue = src.MinValue;
  MaxValue = src.MaxValue;
  MeanValue = src.MeanValue;
  PtvValue = src.PtvValue;
  RmsValue = src.RmsValue;
  Scale = src.Scale;
  Threshold = src.Threshold;
  DisplayLow = src.DisplayLow;
  DisplayHigh = src.DisplayHigh;
  RangeFactor = src.RangeFactor;
  PaletteIndex = src.PaletteIndex;
  MaskActive = src.MaskActive;
  Zoom = src.Zoom;
  Dx = src.Dx;
  Dy = src.Dy;
}

void TFctXY::CloneFrom(const TFctXY& src) {
  if (&src == this) return;
  Values.CopyFrom(src.Values);
  Mask.CopyFrom(src.Mask);
  XAxis = src.XAxis;
  YAxis = src.YAxis;
  IsComplex = src.IsComplex;
  Nx = src.Nx;
  Ny = src.Ny;
  OriginColumn = src.OriginColumn;
  OriginRow = src.OriginRow;
  CopyStatisticsAndDisplay(src);
  Relief = src.Relief;
  Shapes = src.Shapes;
  Infos = src.Infos;
}

// ---------------------------------------------------------------------------
// Axes and coordinates

void TFctXY::SetAxes(int i1, int j1, double x1, double y1, int i2, int j2, double x2, double y2) {
  const double sx = i2 != i1 ? (x2 - x1) / static_cast<double>(i2 - i1) : 0.0;
  const double sy = j2 != j1 ? (y2 - y1) / static_cast<double>(j2 - j1) : 0.0;
  XAxis.resize(static_cast<std::size_t>(Nx) + 1);
  YAxis.resize(static_cast<std::size_t>(Ny) + 1);
  for (int c = 1; c <= Nx; ++c) XAxis[c] = static_cast<double>(c - i1) * sx + x1;
  for (int r = 1; r <= Ny; ++r) YAxis[r] = static_cast<double>(r - j1) * sy + y1;
  // A single column or row has no second entry: its spacing is the slope.
  Dx = Nx >= 2 ? XAxis[2] - XAxis[1] : sx;
  Dy = Ny >= 2 ? YAxis[2] - YAxis[1] : sy;
}

// A zero spacing maps nothing to a column: 0, which no grid index equals.
int TFctXY::ColumnOf(double x) const {
  if (Dx == 0.0) return 0;
  return RoundToInt(x / Dx + OriginColumn);
}

int TFctXY::RowOf(double y) const {
  if (Dy == 0.0) return 0;
  return RoundToInt(y / Dy + OriginRow);
}

// ---------------------------------------------------------------------------
// Arithmetic on plane 1

void TFctXY::MultiplyBy(double factor) {
  if (!HasArrays()) return;
  double* v = Values.PlaneData(1);
  const std::size_t n = SampleCount(Nx, Ny);
  for (std::size_t i = 0; i < n; ++i) v[i] *= factor;
}

void TFctXY::Combine(const TFctXY& f1, const TFctXY& f2, double a, double b) {
  if (!HasArrays()) return;
  double* v = Values.PlaneData(1);
  const double* p = f1.Values.PlaneData(1);
  const double* q = f2.Values.PlaneData(1);
  const long double la = a, lb = b;
  const std::size_t n = SampleCount(Nx, Ny);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<double>(la * p[i] + lb * q[i]);
}

void TFctXY::Sum(const TFctXY& f1, const TFctXY& f2) {
  if (!HasArrays()) return;
  double* v = Values.PlaneData(1);
  const double* p = f1.Values.PlaneData(1);
  const double* q = f2.Values.PlaneData(1);
  const std::size_t n = SampleCount(Nx, Ny);
  for (std::size_t i = 0; i < n; ++i) v[i] = p[i] + q[i];
}

void TFctXY::Add(const TFctXY& other) {
  if (!HasArrays()) return;
  double* v = Values.PlaneData(1);
  const double* q = other.Values.PlaneData(1);
  const std::size_t n = SampleCount(Nx, Ny);
  for (std::size_t i = 0; i < n; ++i) v[i] += q[i];
}

double TFctXY::Distance(const TFctXY& other) const {
  if (!HasArrays()) return 0.0;
  const double* v = Values.PlaneData(1);
  const double* q = other.Values.PlaneData(1);
  const std::int16_t* m = Mask.PlaneData(1);
  const std::size_t n = SampleCount(Nx, Ny);
  long double sum = 0.0L;
  for (std::size_t i = 0; i < n; ++i) {
    if (m[i] != 1) continue;
    const long double d = static_cast<long double>(v[i]) - q[i];
    sum += d * d;
  }
  return static_cast<double>(std::sqrt(sum));
}

// ---------------------------------------------------------------------------
// Mask operations

void TFctXY::CopyMask(const TFctXY& src) {
  const std::size_t n = SampleCount(Nx, Ny);
  if (n == 0 || &src == this || src.Mask.Empty() || Mask.Empty()) return;
  std::memcpy(Mask.PlaneData(1), src.Mask.PlaneData(1), n * sizeof(std::int16_t));
}

void TFctXY::CopyValuesWhereMask(const TFctXY& src, int code) {
  if (!HasArrays()) return;
  double* v = Values.PlaneData(1);
  const double* s = src.Values.PlaneData(1);
  const std::int16_t* m = src.Mask.PlaneData(1);
  const std::size_t n = SampleCount(Nx, Ny);
  for (std::size_t i = 0; i < n; ++i)
    if (m[i] == code) v[i] = s[i];
}

void TFctXY::SetValuesWhere(int code, bool match, double value) {
  if (!HasArrays()) return;
  double* v = Values.PlaneData(1);
  const std::int16_t* m = Mask.PlaneData(1);
  const std::size_t n = SampleCount(Nx, Ny);
  for (std::size_t i = 0; i < n; ++i)
    if ((m[i] == code) == match) v[i] = value;
}

void TFctXY::ThresholdMask() {
  if (!HasArrays()) return;
  const double* v = Values.PlaneData(1);
  std::int16_t* m = Mask.PlaneData(1);
  const double level = Threshold;
  const std::size_t n = SampleCount(Nx, Ny);
  for (std::size_t i = 0; i < n; ++i) m[i] = v[i] >= level ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Statistics. An empty grid, or an empty mask, gives a range of 0..0.

void TFctXY::Range(double& low, double& high) const {
  const std::size_t n = HasArrays() ? SampleCount(Nx, Ny) : 0;
  if (n == 0) {
    low = high = 0.0;
    return;
  }
  const double* v = Values.PlaneData(1);
  double lo = v[0], hi = v[0];
  for (std::size_t i = 1; i < n; ++i) {
    if (v[i] < lo) lo = v[i];
    if (v[i] > hi) hi = v[i];
  }
  low = lo;
  high = hi;
}

void TFctXY::ComputeRange() {
  Range(MinValue, MaxValue);
  PtvValue = MaxValue - MinValue;
}

void TFctXY::ComputeMaskedRange() {
  const std::size_t n = HasArrays() ? SampleCount(Nx, Ny) : 0;
  double lo = 0.0, hi = 0.0;
  if (n > 0) {
    const double* v = Values.PlaneData(1);
    const std::int16_t* m = Mask.PlaneData(1);
    bool seeded = false;
    for (std::size_t i = 0; i < n; ++i) {
      if (m[i] != 1) continue;
      if (!seeded) {
        lo = hi = v[i];
        seeded = true;
        continue;
      }
      if (v[i] < lo) lo = v[i];
      if (v[i] > hi) hi = v[i];
    }
  }
  MinValue = lo;
  MaxValue = hi;
  PtvValue = hi - lo;
}

void TFctXY::ComputeMaskedStatistics() {
  const std::size_t n = HasArrays() ? SampleCount(Nx, Ny) : 0;
  std::int64_t count = 0;
  long double sum = 0.0L, squares = 0.0L;
  if (n > 0) {
    const double* v = Values.PlaneData(1);
    const std::int16_t* m = Mask.PlaneData(1);
    for (std::size_t i = 0; i < n; ++i) {
      if (m[i] != 1) continue;
      const long double x = v[i];
      sum += x;
      squares += x * x;
      ++count;
    }
  }
  MaskCount = static_cast<std::int32_t>(count);
  if (count == 0) {
    MeanValue = 0.0;
    RmsValue = 0.0;
    return;
  }
  const long double mean = sum / count;
  const long double variance = squares / count - mean * mean;
  MeanValue = static_cast<double>(mean);
  RmsValue = variance > 0.0L ? static_cast<double>(std::sqrt(variance)) : 0.0;
}

// ---------------------------------------------------------------------------
// Derivatives. A grid may be its own source: it then works on a copy.

namespace {

template <typename Operation>
bool WorkOnCopyIfSelf(const TFctXY& self, const TFctXY& src, Operation operation) {
  if (&src != &self) return false;
  TFctXY copy;
  copy.CloneFrom(self);
  operation(copy);
  return true;
}

}  // namespace

void TFctXY::DerivativeX(const TFctXY& src) {
  if (WorkOnCopyIfSelf(*this, src, [&](const TFctXY& copy) { DerivativeX(copy); })) return;
  Dx = src.Dx;
  Dy = src.Dy;
  if (HasArrays()) {
    const double twoDx = 2.0 * Dx;
    for (int r = 1; r <= Ny; ++r) {
      const double* s = src.Values[1][r];
      double* d = Values[1][r];
      for (int c = 2; c <= Nx - 1; ++c) d[c] = (s[c + 1] - s[c - 1]) / twoDx;
      d[1] = 0.0;
      d[Nx] = 0.0;
    }
  }
  XAxis = src.XAxis;
  YAxis = src.YAxis;
  CopyMask(src);
}

void TFctXY::DerivativeY(const TFctXY& src) {
  if (WorkOnCopyIfSelf(*this, src, [&](const TFctXY& copy) { DerivativeY(copy); })) return;
  Dx = src.Dx;
  Dy = src.Dy;
  if (HasArrays()) {
    const double twoDy = 2.0 * Dy;
    const std::size_t rowBytes = static_cast<std::size_t>(Nx) * sizeof(double);
    for (int r = 2; r <= Ny - 1; ++r) {
      const double* above = src.Values[1][r - 1];
      const double* below = src.Values[1][r + 1];
      double* d = Values[1][r];
      for (int c = 1; c <= Nx; ++c) d[c] = (below[c] - above[c]) / twoDy;
    }
    std::memset(Values[1][1] + 1, 0, rowBytes);
    std::memset(Values[1][Ny] + 1, 0, rowBytes);
  }
  XAxis = src.XAxis;
  YAxis = src.YAxis;
  CopyMask(src);
}

namespace {

// One-sided differences at the pupil's edge, nothing outside it. `prev`,
// `here` and `next` are the three samples along the derivative, with their
// mask flags.
inline double MaskedDifference(double prev, double here, double next, bool mPrev, bool mHere, bool mNext,
                               double step) {
  if (!mHere) return 0.0;
  if (mPrev && mNext) return (next - prev) / (2.0 * step);
  if (mNext) return (next - here) / step;
  if (mPrev) return (here - prev) / step;
  return 0.0;
}

}  // namespace

void TFctXY::MaskedDerivativeX(const TFctXY& src) {
  if (WorkOnCopyIfSelf(*this, src, [&](const TFctXY& copy) { MaskedDerivativeX(copy); })) return;
  Dx = src.Dx;
  Dy = src.Dy;
  if (!HasArrays()) return;
  const double step = Dx;
  for (int r = 1; r <= Ny; ++r) {
    const double* s = src.Values[1][r];
    const std::int16_t* m = src.Mask[1][r];
    double* d = Values[1][r];
    for (int c = 2; c <= Nx - 1; ++c)
      d[c] = MaskedDifference(s[c - 1], s[c], s[c + 1], m[c - 1] == 1, m[c] == 1, m[c + 1] == 1, step);
  }
}

void TFctXY::MaskedDerivativeY(const TFctXY& src) {
  if (WorkOnCopyIfSelf(*this, src, [&](const TFctXY& copy) { MaskedDerivativeY(copy); })) return;
  Dx = src.Dx;
  Dy = src.Dy;
  if (!HasArrays()) return;
  const double step = Dy;
  for (int r = 2; r <= Ny - 1; ++r) {
    const double* sa = src.Values[1][r - 1];
    const double* s = src.Values[1][r];
    const double* sb = src.Values[1][r + 1];
    const std::int16_t* ma = src.Mask[1][r - 1];
    const std::int16_t* m = src.Mask[1][r];
    const std::int16_t* mb = src.Mask[1][r + 1];
    double* d = Values[1][r];
    for (int c = 1; c <= Nx; ++c)
      d[c] = MaskedDifference(sa[c], s[c], sb[c], ma[c] == 1, m[c] == 1, mb[c] == 1, step);
  }
}

// cos(angle) x d/dx + sin(angle) x d/dy with the masked differences, in one
// pass: the same numbers as combining the two derivative grids, without
// making them.
void TFctXY::DirectionalDerivative(const TFctXY& src, double angle) {
  if (WorkOnCopyIfSelf(*this, src, [&](const TFctXY& copy) { DirectionalDerivative(copy, angle); })) return;
  if (!HasArrays() || !src.HasArrays()) return;
  const long double la = std::cos(angle), lb = std::sin(angle);
  const double stepX = src.Dx, stepY = src.Dy;
  const int nx = src.Nx, ny = src.Ny;
  for (int r = 1; r <= ny; ++r) {
    const double* s = src.Values[1][r];
    const std::int16_t* m = src.Mask[1][r];
    const bool inner = r >= 2 && r <= ny - 1;
    const double* sa = inner ? src.Values[1][r - 1] : s;
    const double* sb = inner ? src.Values[1][r + 1] : s;
    const std::int16_t* ma = inner ? src.Mask[1][r - 1] : m;
    const std::int16_t* mb = inner ? src.Mask[1][r + 1] : m;
    double* d = Values[1][r];
    for (int c = 1; c <= nx; ++c) {
      const double gx = (c >= 2 && c <= nx - 1) ? MaskedDifference(s[c - 1], s[c], s[c + 1], m[c - 1] == 1,
                                                                   m[c] == 1, m[c + 1] == 1, stepX)
                                                : 0.0;
      const double gy =
          inner ? MaskedDifference(sa[c], s[c], sb[c], ma[c] == 1, m[c] == 1, mb[c] == 1, stepY) : 0.0;
      d[c] = static_cast<double>(la * gx + lb * gy);
    }
  }
  CopyMask(src);
}

// ---------------------------------------------------------------------------
// Resizing and moving

// The axis entries outside the copied span stay 0. The result is one real
// plane, so IsComplex goes back to 0 with it.
void TFctXY::PadToPowerOfTwo() {
  const int m = std::max(Nx, Ny);
  long long n = 128;
  while (n < m) n *= 2;
  const int size = static_cast<int>(n);
  // A real N x N grid would be copied onto itself: keep its arrays.
  if (Nx == size && Ny == size && IsComplex == 0 && HasArrays() && Values.PlaneCount() == 1) return;
  const int oc = static_cast<int>(RoundHalfEven((size - Nx) / 2.0));
  const int orow = static_cast<int>(RoundHalfEven((size - Ny) / 2.0));

  DoublePlanes values(size, size, 1);
  Int16Planes mask(size, size, 1);
  std::vector<double> xAxis(static_cast<std::size_t>(size) + 1, 0.0);
  std::vector<double> yAxis(static_cast<std::size_t>(size) + 1, 0.0);
  if (HasArrays()) {
    // Offsets are never negative and the old grid always fits.
    const int cols = std::min(Nx, size - oc);
    const int rows = std::min(Ny, size - orow);
    for (int r = 1; r <= rows; ++r) {
      std::memcpy(values[1][r + orow] + 1 + oc, Values[1][r] + 1, cols * sizeof(double));
      std::memcpy(mask[1][r + orow] + 1 + oc, Mask[1][r] + 1, cols * sizeof(std::int16_t));
    }
    for (int c = 1; c <= cols && c < static_cast<int>(XAxis.size()); ++c) xAxis[c + oc] = XAxis[c];
    for (int r = 1; r <= rows && r < static_cast<int>(YAxis.size()); ++r) yAxis[r + orow] = YAxis[r];
  }
  Values = std::move(values);
  Mask = std::move(mask);
  XAxis = std::move(xAxis);
  YAxis = std::move(yAxis);
  Nx = Ny = size;
  IsComplex = 0;
}

// One real plane results, so IsComplex goes back to 0.
void TFctXY::Crop(int columnOffset, int rowOffset, int newNx, int newNy) {
  newNx = std::max(newNx, 0);
  newNy = std::max(newNy, 0);
  DoublePlanes values(newNx, newNy, 1);
  Int16Planes mask(newNx, newNy, 1);
  std::vector<double> xAxis(static_cast<std::size_t>(newNx) + 1, 0.0);
  std::vector<double> yAxis(static_cast<std::size_t>(newNy) + 1, 0.0);

  // New columns whose source column c + columnOffset lies in 1..Nx, in 64 bits
  // so that extreme offsets cannot overflow.
  const long long cLo = std::max<long long>(1, 1LL - columnOffset);
  const long long cHi = std::min<long long>(newNx, static_cast<long long>(Nx) - columnOffset);
  const long long rLo = std::max<long long>(1, 1LL - rowOffset);
  const long long rHi = std::min<long long>(newNy, static_cast<long long>(Ny) - rowOffset);
  if (HasArrays() && !values.Empty() && cLo <= cHi && rLo <= rHi) {
    const std::size_t count = static_cast<std::size_t>(cHi - cLo + 1);
    const int c0 = static_cast<int>(cLo);
    const int sc0 = static_cast<int>(cLo + columnOffset);
    for (int r = static_cast<int>(rLo); r <= static_cast<int>(rHi); ++r) {
      const int sr = r + rowOffset;
      std::memcpy(values[1][r] + c0, Values[1][sr] + sc0, count * sizeof(double));
      std::memcpy(mask[1][r] + c0, Mask[1][sr] + sc0, count * sizeof(std::int16_t));
    }
    for (int c = c0; c <= static_cast<int>(cHi); ++c) xAxis[c] = XAxis[c + columnOffset];
    for (int r = static_cast<int>(rLo); r <= static_cast<int>(rHi); ++r) yAxis[r] = YAxis[r + rowOffset];
  }
  Values = std::move(values);
  Mask = std::move(mask);
  XAxis = std::move(xAxis);
  YAxis = std::move(yAxis);
  Nx = newNx;
  Ny = newNy;
  IsComplex = 0;
}

// Turning by 180 degrees reverses the row-major plane end to end, so it is
// done in place.
void TFctXY::Rotate180() {
  const std::size_t n = HasArrays() ? SampleCount(Nx, Ny) : 0;
  if (n == 0) return;
  double* v = Values.PlaneData(1);
  std::reverse(v, v + n);
  std::int16_t* m = Mask.PlaneData(1);
  std::reverse(m, m + n);
}

// Bilinear shift with zero outside. Integer parts are taken with floor so
// that positions just before row or column 1 interpolate between two
// outside samples and read 0. Rows are overwritten in place: the order of
// the rows is chosen so that a source row is always read before it is
// overwritten, and the two source rows of each output row are kept in
// zero-padded buffers (index 0 and Nx + 1 are the outside neighbours).
void TFctXY::ShiftBy(double columnShift, double rowShift) {
  if (!HasArrays() || Nx <= 0 || Ny <= 0) return;
  const int nx = Nx;
  const int ny = Ny;
  const std::size_t rowBytes = static_cast<std::size_t>(nx) * sizeof(double);

  // Per-column left index into a padded row and weights; columns whose two
  // neighbours both lie outside get zero weights.
  std::vector<int> left(static_cast<std::size_t>(nx) + 1);
  std::vector<double> wLeft(static_cast<std::size_t>(nx) + 1), wRight(static_cast<std::size_t>(nx) + 1);
  for (int c = 1; c <= nx; ++c) {
    const double u = c - columnShift;
    const double k = std::floor(u);
    if (k >= 0.0 && k <= nx) {
      left[c] = static_cast<int>(k);
      wRight[c] = u - k;
      wLeft[c] = 1.0 - wRight[c];
    } else {
      left[c] = 0;
      wLeft[c] = wRight[c] = 0.0;
    }
  }

  // Columns whose neighbours are not all outside form one span [cLo, cHi]
  // and, short of rounding at an exact integer, share one index offset;
  // that span then gets a straight loop without the index table.
  int cLo = nx + 1, cHi = 0;
  for (int c = 1; c <= nx; ++c)
    if (wLeft[c] != 0.0 || wRight[c] != 0.0 || left[c] != 0) {
      cLo = std::min(cLo, c);
      cHi = c;
    }
  bool uniform = cLo <= cHi;
  const int offset = uniform ? left[cLo] - cLo : 0;
  for (int c = cLo; uniform && c <= cHi; ++c) uniform = left[c] - c == offset;

  std::vector<double> buffers(2 * (static_cast<std::size_t>(nx) + 2), 0.0);
  double* buf[2] = {buffers.data(), buffers.data() + nx + 2};
  constexpr long long kNone = -1;  // tag of a buffer holding no row yet
  constexpr long long kZero = 0;   // tag of a buffer holding an outside (zero) row
  long long tag[2] = {kNone, kNone};

  // Returns a padded copy of old row j (zeros when j is outside 1..Ny),
  // reusing a buffer that already holds it; `keep` names the row the other
  // requested buffer must not lose.
  auto fetch = [&](long long j, long long keep) -> const double* {
    const long long want = (j >= 1 && j <= ny) ? j : kZero;
    for (int b = 0; b < 2; ++b)
      if (tag[b] == want) return buf[b];
    const int b = (tag[0] == keep && keep != kNone) ? 1 : 0;
    if (want == kZero)
      std::memset(buf[b] + 1, 0, rowBytes);
    else
      std::memcpy(buf[b] + 1, Values[1][static_cast<int>(j)] + 1, rowBytes);
    tag[b] = want;
    return buf[b];
  };

  // Output row r reads rows floor(r - rowShift) and the one after. With a
  // positive shift both indices are <= r, so the rows are written from the
  // last to the first; otherwise both are >= r and the order is the reverse.
  const bool bottomUp = rowShift > 0.0;
  for (int step = 0; step < ny; ++step) {
    const int r = bottomUp ? ny - step : 1 + step;
    double* out = Values[1][r];
    const double t = r - rowShift;
    const double fi = std::floor(t);
    if (!(fi >= 0.0 && fi <= ny)) {  // both source rows outside (or no number)
      std::memset(out + 1, 0, rowBytes);
      continue;
    }
    const long long i = static_cast<long long>(fi);
    const double fy = t - fi;
    const long long keyA = (i >= 1 && i <= ny) ? i : kZero;
    const long long keyB = (i + 1 >= 1 && i + 1 <= ny) ? i + 1 : kZero;
    const double* a = fetch(i, keyB);
    const double* b = fetch(i + 1, keyA);
    const double gy0 = 1.0 - fy;
    const double gy1 = fy;
    if (uniform) {
      const double* a0 = a + offset;
      const double* b0 = b + offset;
      const double* gx0 = wLeft.data();
      const double* gx1 = wRight.data();
      if (cLo > 1) std::memset(out + 1, 0, static_cast<std::size_t>(cLo - 1) * sizeof(double));
      if (cHi < nx) std::memset(out + cHi + 1, 0, static_cast<std::size_t>(nx - cHi) * sizeof(double));
      // Huge or non-finite samples (rare) send the row through RoundSample.
      unsigned spill = 0;
      for (int c = cLo; c <= cHi; ++c) {
        const double v =
            gx0[c] * gy0 * a0[c] + gx1[c] * gy0 * a0[c + 1] + gx0[c] * gy1 * b0[c] + gx1[c] * gy1 * b0[c + 1];
        spill |= static_cast<unsigned>(!(std::fabs(v) < kRoundLimit));
        out[c] = (v + kRoundMagic) - kRoundMagic;
      }
      if (spill != 0)
        for (int c = cLo; c <= cHi; ++c)
          out[c] = RoundSample(gx0[c] * gy0 * a0[c] + gx1[c] * gy0 * a0[c + 1] + gx0[c] * gy1 * b0[c] +
                               gx1[c] * gy1 * b0[c + 1]);
      continue;
    }
    for (int c = 1; c <= nx; ++c) {
      const int k = left[c];
      const double gx0 = wLeft[c];
      const double gx1 = wRight[c];
      const double v = gx0 * gy0 * a[k] + gx1 * gy0 * a[k + 1] + gx0 * gy1 * b[k] + gx1 * gy1 * b[k + 1];
      out[c] = RoundSample(v);
    }
  }
}

// ---------------------------------------------------------------------------
// Sampling

bool TFctXY::Sample(double column, double row, double& value) const {
  // Written so that a NaN position is refused as well.
  if (!(column >= 1.0 && column < Nx && row >= 1.0 && row < Ny) || !HasArrays()) return false;
  bool inside = true;
  if (MaskActive) {
    const int rr = static_cast<int>(RoundHalfEven(row));
    const int cc = static_cast<int>(RoundHalfEven(column));
    inside = Mask[1][rr][cc] == 1;
  }
  const int k = static_cast<int>(std::trunc(column));
  const int i = static_cast<int>(std::trunc(row));
  const double fx = column - k;
  const double fy = row - i;
  const double* const* v = Values[1];
  value = (1 - fx) * (1 - fy) * v[i][k] + (1 - fx) * fy * v[i + 1][k] + fx * fy * v[i + 1][k + 1] +
          fx * (1 - fy) * v[i][k + 1];
  return inside;
}

}  // namespace caustica
