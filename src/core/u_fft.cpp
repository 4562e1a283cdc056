#include "core/u_fft.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "core/atomic_file.h"
#include "core/parallel_rows.h"
#include "core/u_fonctionxy.h"
#include "core/u_math.h"

namespace caustica {

namespace {

namespace fs = std::filesystem;

// Measuring a large 2-D plan can take long; past this FFTW settles for the best plan found so far.
constexpr double kPlanningSeconds = 5.0;

enum PlanKind : int {
  kForward2D = 0,      // complex N x N, in place
  kForwardReal2D = 1,  // real N x N to the half spectrum N x (N/2 + 1)
  kInverseReal2D = 2,  // half spectrum to real N x N
  kRows = 3,           // every row of a complex width x height block, in place
};

// One plan with the buffers it was measured on. The plan always runs on those
// buffers, so alignment never differs from planning time.
struct FftJob {
  fftw_plan plan = nullptr;
  double* real = nullptr;
  fftw_complex* complex = nullptr;
  std::mutex busy;  // held while the buffers are filled, transformed and read back
  ~FftJob() {
    fftw_free(real);
    fftw_free(complex);
  }
};

struct PlanCache {
  std::mutex planner;  // the FFTW planner is not thread safe
  bool started = false;
  std::map<std::tuple<int, int, int>, std::unique_ptr<FftJob>> jobs;
};

// Never destroyed: plans stay valid until the process ends, whatever the order
// of static destruction.
PlanCache& Cache() {
  static PlanCache* cache = new PlanCache;
  return *cache;
}

// A failure to save is harmless: the next run measures again.
void SaveWisdom() {
  const std::string file = FftWisdomFile();
  if (file.empty()) return;
  char* text = fftw_export_wisdom_to_string();
  if (text == nullptr) return;
  std::error_code ec;
  fs::create_directories(fs::path(file).parent_path(), ec);
  WriteFileAtomically(file, text);
  fftw_free(text);
}

template <typename T>
T* FftAlloc(std::size_t count) {
  T* p = static_cast<T*>(fftw_malloc(sizeof(T) * count));
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

// The job for a kind and size, planned on first request.
FftJob& AcquireJob(PlanKind kind, int width, int height) {
  PlanCache& cache = Cache();
  std::lock_guard<std::mutex> lock(cache.planner);
  if (!cache.started) {
    fftw_init_threads();
    const std::string wisdom = FftWisdomFile();
    if (!wisdom.empty()) fftw_import_wisdom_from_filename(wisdom.c_str());
    cache.started = true;
  }
  const auto key = std::make_tuple(static_cast<int>(kind), width, height);
  if (auto found = cache.jobs.find(key); found != cache.jobs.end()) return *found->second;

  auto job = std::make_unique<FftJob>();
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t h = static_cast<std::size_t>(height);
  const unsigned cores = std::thread::hardware_concurrency();
  fftw_plan_with_nthreads(cores > 0 ? static_cast<int>(cores) : 1);
  fftw_set_timelimit(kPlanningSeconds);
  switch (kind) {
    case kForward2D:
      job->complex = FftAlloc<fftw_complex>(w * h);
      job->plan = fftw_plan_dft_2d(height, width, job->complex, job->complex, FFTW_FORWARD, FFTW_MEASURE);
      break;
    case kForwardReal2D:
    case kInverseReal2D:
      job->real = FftAlloc<double>(w * h);
      job->complex = FftAlloc<fftw_complex>(h * (w / 2 + 1));
      job->plan = kind == kForwardReal2D
                      ? fftw_plan_dft_r2c_2d(height, width, job->real, job->complex, FFTW_MEASURE)
                      : fftw_plan_dft_c2r_2d(height, width, job->complex, job->real, FFTW_MEASURE);
      break;
    case kRows: {
      job->complex = FftAlloc<fftw_complex>(w * h);
      int n[1] = {width};
      job->plan = fftw_plan_many_dft(1, n, height, job->complex, nullptr, 1, width, job->complex, nullptr, 1,
                                     width, FFTW_FORWARD, FFTW_MEASURE);
      break;
    }
  }
  if (job->plan == nullptr) throw std::runtime_error("FFTW could not plan the transform");
  SaveWisdom();
  FftJob& result = *job;
  cache.jobs.emplace(key, std::move(job));
  return result;
}

// Every element of the result is overwritten, so an array of the right shape
// is kept: fresh large blocks cost a page fault and a clearing per page.
template <typename T>
void ReuseOrAllocate(PlaneArray<T>& array, int width, int height, int planeCount) {
  // Every element is written next, so a recycled block need not be cleared.
  if (array.PlaneCount() != planeCount || array.Width() != width || array.Height() != height)
    array.AllocateForOverwrite(width, height, planeCount);
}

int PowerOfTwoAtLeast(int w, int h) {
  int n = 2;
  while (n < w || n < h) n *= 2;
  return n;
}

// Forward transform of the upper-left Width x Height part of a source. The
// centring shift of N/2 along both axes is folded into the input as the factor
// (-1)^(x+y), and 1/N^2 with it: both are exact in binary arithmetic, so the
// result is the plain DFT up to rounding, with no quadrant pass afterwards.
// A real source goes through the real-input transform, half the work; the
// other half of its spectrum is the conjugate mirror F(-k) = conj F(k).
template <typename T>
void ForwardTransform(const PlaneArray<T>& source, bool complexSource, int& width, int& height,
                      DoublePlanes& spectrum) {
  const int w = std::clamp(width, 0, source.Width());
  const int h = std::clamp(height, 0, source.Height());
  const bool hasImag = complexSource && source.PlaneCount() >= 2;
  if (w > kMaxFourierSize || h > kMaxFourierSize) return;
  const int n = PowerOfTwoAtLeast(w, h);
  const std::size_t un = static_cast<std::size_t>(n);
  const std::size_t uw = static_cast<std::size_t>(w);
  const std::size_t uh = static_cast<std::size_t>(h);
  const double scale = 1.0 / (static_cast<double>(n) * static_cast<double>(n));

  if (hasImag) {
    FftJob& job = AcquireJob(kForward2D, n, n);
    std::lock_guard<std::mutex> lock(job.busy);
    fftw_complex* buffer = job.complex;
    ParallelRows(un, un, [&](std::size_t first, std::size_t last) {
      for (std::size_t p = first; p < last; ++p) {
        fftw_complex* row = buffer + p * un;
        std::size_t filled = 0;
        if (p < uh) {
          const T* re = source[1][p + 1] + 1;
          const T* im = source[2][p + 1] + 1;
          const double s = (p & 1) ? -scale : scale;  // sign at column 1
          for (std::size_t c = 0; c < uw; ++c) {
            const double f = (c & 1) ? -s : s;
            row[c][0] = f * static_cast<double>(re[c]);
            row[c][1] = f * static_cast<double>(im[c]);
          }
          filled = uw;
        }
        std::memset(static_cast<void*>(row + filled), 0, (un - filled) * sizeof(fftw_complex));
      }
    });
    fftw_execute(job.plan);
    ReuseOrAllocate(spectrum, n, n, 2);
    double* outRe = spectrum.PlaneData(1);
    double* outIm = spectrum.PlaneData(2);
    ParallelRows(un, un, [&](std::size_t first, std::size_t last) {
      for (std::size_t i = first * un; i < last * un; ++i) {
        outRe[i] = buffer[i][0];
        outIm[i] = buffer[i][1];
      }
    });
  } else {
    FftJob& job = AcquireJob(kForwardReal2D, n, n);
    std::lock_guard<std::mutex> lock(job.busy);
    ParallelRows(un, un, [&](std::size_t first, std::size_t last) {
      for (std::size_t p = first; p < last; ++p) {
        double* row = job.real + p * un;
        std::size_t filled = 0;
        if (p < uh) {
          const T* re = source[1][p + 1] + 1;
          const double s = (p & 1) ? -scale : scale;  // sign at column 1
          std::size_t c = 0;
          for (; c + 1 < uw; c += 2) {  // pairs keep the loop free of branches
            row[c] = s * static_cast<double>(re[c]);
            row[c + 1] = -s * static_cast<double>(re[c + 1]);
          }
          if (c < uw) row[c] = s * static_cast<double>(re[c]);
          filled = uw;
        }
        std::fill(row + filled, row + un, 0.0);
      }
    });
    fftw_execute(job.plan);
    ReuseOrAllocate(spectrum, n, n, 2);
    const std::size_t half = un / 2 + 1;
    ParallelRows(un, un, [&](std::size_t first, std::size_t last) {
      for (std::size_t p = first; p < last; ++p) {
        const fftw_complex* row = job.complex + p * half;
        const fftw_complex* mirror = job.complex + ((un - p) % un) * half;
        double* re = spectrum.PlaneData(1) + p * un;
        double* im = spectrum.PlaneData(2) + p * un;
        for (std::size_t q = 0; q < half; ++q) {
          re[q] = row[q][0];
          im[q] = row[q][1];
        }
        for (std::size_t q = half; q < un; ++q) {
          re[q] = mirror[un - q][0];
          im[q] = -mirror[un - q][1];
        }
      }
    });
  }
  width = n;
  height = n;
}

template <typename T>
void Rotate(PlaneArray<T>& array, int& rows, int& columns, bool back) {
  const int nr = std::clamp(rows, 0, array.Height());
  const int nc = std::clamp(columns, 0, array.Width());
  if (nr == 0 || nc == 0) return;
  PlaneArray<T> turned(nr, nc, array.PlaneCount());  // nc rows of nr samples
  // Tiles keep both the rows read and the rows written in cache.
  constexpr int kTile = 32;
  for (int p = 1; p <= array.PlaneCount(); ++p) {
    const T* const* src = array[p];
    T* const* dst = turned[p];
    for (int r0 = 1; r0 <= nr; r0 += kTile) {
      const int r1 = std::min(nr, r0 + kTile - 1);
      for (int c0 = 1; c0 <= nc; c0 += kTile) {
        const int c1 = std::min(nc, c0 + kTile - 1);
        for (int c = c0; c <= c1; ++c) {
          if (back) {
            T* out = dst[c] + nr + 1;  // column nr - r + 1
            for (int r = r0; r <= r1; ++r) out[-r] = src[r][c];
          } else {
            T* out = dst[nc - c + 1];
            for (int r = r0; r <= r1; ++r) out[r] = src[r][c];
          }
        }
      }
    }
  }
  array = std::move(turned);
  rows = nc;
  columns = nr;
}

template <typename T>
void Swap(PlaneArray<T>& planes, int width, int height) {
  const int h2 = std::clamp(height, 0, planes.Height()) / 2;
  const int w2 = std::clamp(width, 0, planes.Width()) / 2;
  for (int p = 1; p <= planes.PlaneCount(); ++p) {
    for (int r = 1; r <= h2; ++r) {
      T* top = planes[p][r] + 1;
      T* bottom = planes[p][r + h2] + 1;
      std::swap_ranges(top, top + w2, bottom + w2);
      std::swap_ranges(top + w2, top + 2 * w2, bottom);
    }
  }
}

}  // namespace

std::string FftWisdomFile() {
  fs::path base;
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  const char* home = std::getenv("HOME");
  if (xdg != nullptr && *xdg != '\0' && fs::path(xdg).is_absolute())
    base = xdg;
  else if (home != nullptr && *home != '\0')
    base = fs::path(home) / ".cache";
  else
    return {};
  return (base / "Caustica" / "fftw-wisdom").string();
}

void FourierForwardReal(const DoublePlanes& source, int& width, int& height, DoublePlanes& spectrum) {
  ForwardTransform(source, false, width, height, spectrum);
}
void FourierForwardReal(const Int16Planes& source, int& width, int& height, DoublePlanes& spectrum) {
  ForwardTransform(source, false, width, height, spectrum);
}
void FourierForwardComplex(const DoublePlanes& source, int& width, int& height, DoublePlanes& spectrum) {
  ForwardTransform(source, true, width, height, spectrum);
}
void FourierForwardComplex(const Int16Planes& source, int& width, int& height, DoublePlanes& spectrum) {
  ForwardTransform(source, true, width, height, spectrum);
}

// The centred input is uncentred by the same (-1)^(x+y) factor, applied to the
// output: the inverse of a spectrum shifted by N/2 is the plain inverse times it.
// Only the real part is kept, which is the inverse of the Hermitian part
// (G(k) + conj G(-k)) / 2: the real-output transform does it with half the work.
namespace {

// The inverse of a centred two-plane N x N spectrum written into Result (one
// plane). The spectrum is read completely before Result is touched, so the two
// may be the same array. False, and nothing changed, when the input is unusable.
bool InverseInto(const DoublePlanes& planes, int width, int height, DoublePlanes& result) {
  const int n = width;
  if (n < 2 || n % 2 != 0 || n > kMaxFourierSize || height != n || planes.PlaneCount() < 2 ||
      planes.Width() != n || planes.Height() != n)
    return false;
  const std::size_t un = static_cast<std::size_t>(n);
  const std::size_t half = un / 2 + 1;

  FftJob& job = AcquireJob(kInverseReal2D, n, n);
  std::lock_guard<std::mutex> lock(job.busy);
  const double* re = planes.PlaneData(1);
  const double* im = planes.PlaneData(2);
  ParallelRows(un, un, [&](std::size_t first, std::size_t last) {
    for (std::size_t p = first; p < last; ++p) {
      const std::size_t mp = (un - p) % un;
      const double* re1 = re + p * un;
      const double* im1 = im + p * un;
      const double* re2 = re + mp * un;
      const double* im2 = im + mp * un;
      fftw_complex* out = job.complex + p * half;
      out[0][0] = 0.5 * (re1[0] + re2[0]);
      out[0][1] = 0.5 * (im1[0] - im2[0]);
      for (std::size_t q = 1; q < half; ++q) {
        out[q][0] = 0.5 * (re1[q] + re2[un - q]);
        out[q][1] = 0.5 * (im1[q] - im2[un - q]);
      }
    }
  });
  fftw_execute(job.plan);

  if (&result == &planes)
    result.Allocate(n, n, 1);
  else
    ReuseOrAllocate(result, n, n, 1);
  double* out = result.PlaneData(1);
  ParallelRows(un, un, [&](std::size_t first, std::size_t last) {
    for (std::size_t p = first; p < last; ++p) {
      double* dst = out + p * un;
      const double* row = job.real + p * un;
      const double s = (p & 1) ? -1.0 : 1.0;
      for (std::size_t c = 0; c < un; c += 2) {
        dst[c] = s * row[c];
        dst[c + 1] = -s * row[c + 1];
      }
    }
  });
  return true;
}

}  // namespace

void FourierInverse(DoublePlanes& planes, int width, int height) {
  InverseInto(planes, width, height, planes);
}

void PowerSpectrum(const DoublePlanes& planes, DoublePlanes& result, int width, int height) {
  const int w = std::clamp(width, 0, planes.Width());
  const int h = std::clamp(height, 0, planes.Height());
  DoublePlanes power(w, h, 1);
  if (w > 0 && h > 0) {
    const bool hasImag = planes.PlaneCount() >= 2;
    for (int r = 1; r <= h; ++r) {
      const double* re = planes[1][r];
      double* out = power[1][r];
      for (int c = 1; c <= w; ++c) out[c] = re[c] * re[c];
      if (hasImag) {
        const double* im = planes[2][r];
        for (int c = 1; c <= w; ++c) out[c] += im[c] * im[c];
      }
    }
  }
  result = std::move(power);
}

void RowTransform(DoublePlanes& planes, int width, int height) {
  const int w = std::clamp(width, 0, planes.Width());
  const int h = std::clamp(height, 0, planes.Height());
  if (w < 1 || h < 1 || planes.PlaneCount() < 2) return;
  const std::size_t uw = static_cast<std::size_t>(w);
  FftJob& job = AcquireJob(kRows, w, h);
  std::lock_guard<std::mutex> lock(job.busy);
  fftw_complex* buffer = job.complex;
  for (int r = 1; r <= h; ++r) {
    fftw_complex* row = buffer + static_cast<std::size_t>(r - 1) * uw;
    const double* re = planes[1][r] + 1;
    const double* im = planes[2][r] + 1;
    for (int c = 0; c < w; ++c) {
      row[c][0] = re[c];
      row[c][1] = im[c];
    }
  }
  fftw_execute(job.plan);
  for (int r = 1; r <= h; ++r) {
    const fftw_complex* row = buffer + static_cast<std::size_t>(r - 1) * uw;
    double* re = planes[1][r] + 1;
    double* im = planes[2][r] + 1;
    for (int c = 0; c < w; ++c) {
      re[c] = row[c][0];
      im[c] = row[c][1];
    }
  }
}

void RotateQuarterTurn(DoublePlanes& array, int& rows, int& columns) { Rotate(array, rows, columns, false); }
void RotateQuarterTurn(Int16Planes& array, int& rows, int& columns) { Rotate(array, rows, columns, false); }
void RotateQuarterTurnBack(DoublePlanes& array, int& rows, int& columns) {
  Rotate(array, rows, columns, true);
}
void RotateQuarterTurnBack(Int16Planes& array, int& rows, int& columns) {
  Rotate(array, rows, columns, true);
}

void SwapQuadrants(DoublePlanes& planes, int width, int height) { Swap(planes, width, height); }
void SwapQuadrants(Int16Planes& planes, int width, int height) { Swap(planes, width, height); }

// Grid operations.

namespace {

// The fields a transformed grid takes: fresh zero axes and mask, unit
// scale and zoom, the spacing of its source.
void SetTransformedFields(TFctXY& g, std::uint8_t complex, int nx, int ny, double dx, double dy) {
  g.IsComplex = complex;
  g.Nx = nx;
  g.Ny = ny;
  g.XAxis.assign(static_cast<std::size_t>(std::max(nx, 0)) + 1, 0.0);
  g.YAxis.assign(static_cast<std::size_t>(std::max(ny, 0)) + 1, 0.0);
  ReuseOrAllocate(g.Mask, nx, ny, 1);
  g.Mask.Fill(0);
  g.Scale = 1.0;
  g.MaskActive = false;
  g.Zoom = 1.0;
  g.Dx = dx;
  g.Dy = dy;
}

}  // namespace

void TFctXY::ForwardTransformOf(const TFctXY& src) {
  if (src.Values.Empty() || src.Nx > kMaxFourierSize || src.Ny > kMaxFourierSize) return;
  int n = src.Nx;
  int m = src.Ny;
  const double dx = src.Dx;
  const double dy = src.Dy;
  // The source is read completely before Values is written, so src may be this grid.
  if (src.IsComplex && src.Values.PlaneCount() >= 2)
    FourierForwardComplex(src.Values, n, m, Values);
  else
    FourierForwardReal(src.Values, n, m, Values);
  SetTransformedFields(*this, 1, n, m, dx, dy);
}

// The real result moves into Self and Src keeps no planes, so no two grids
// ever hold the same array; Src gets planes again from its next forward transform.
void TFctXY::InverseTransformOf(TFctXY& src) {
  if (!src.IsComplex || src.Values.PlaneCount() < 2) return;
  const int nx = src.Nx;
  const int ny = src.Ny;
  const double dx = src.Dx;
  const double dy = src.Dy;
  if (!InverseInto(src.Values, src.Values.Width(), src.Values.Height(), Values)) return;
  if (&src != this) src.Values.Clear();
  SetTransformedFields(*this, 0, nx, ny, dx, dy);
}

// The inverse Laplacian in the frequency domain.
void TFctXY::DivideByFrequencySquared() {
  if (!IsComplex || Values.PlaneCount() < 2) return;
  const int cc = RoundToInt(RoundHalfEven(Nx / 2.0)) + 1;
  const int cr = RoundToInt(RoundHalfEven(Ny / 2.0)) + 1;
  const int w = std::min<int>(Nx, Values.Width());
  const int h = std::min<int>(Ny, Values.Height());
  const double area = std::fabs(Dx * Dy);
  for (int r = 1; r <= h; ++r) {
    double* re = Values[1][r];
    double* im = Values[2][r];
    const long long j = r - cr;
    for (int c = 1; c <= w; ++c) {
      const long long i = c - cc;
      const long long d = i * i + j * j;
      if (d == 0) {
        re[c] = 0.0;
        im[c] = 0.0;
      } else {
        const double f = area / static_cast<double>(d);
        re[c] *= f;
        im[c] *= f;
      }
    }
  }
}

}  // namespace caustica
