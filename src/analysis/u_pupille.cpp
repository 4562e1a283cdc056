#include "analysis/u_pupille.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/u_fit.h"
#include "analysis/zernike_cache.h"
#include "core/u_math.h"
#include "core/vector_state.h"

namespace caustica {

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Term values for the grid's geometry: from the shared cache when it can
// hold them, otherwise evaluated sample by sample.
template <typename PerSample>
void ForEachInsideSample(const TPupille& grid, PerSample&& perSample) {
  ZernikeValues z{};
  for (int r = 1; r <= grid.Ny; ++r)
    for (int c = 1; c <= grid.Nx; ++c)
      if (EvaluateZernike(grid.Basis, grid.Obstruction, grid.YAxis[r], grid.XAxis[c], z)) perSample(r, c, z);
}

}  // namespace

void CopyPupilGeometry(const TPupille& src, TPupille& dst) {
  dst.OriginColumn = src.OriginColumn;
  dst.OriginRow = src.OriginRow;
  dst.PupilRadius = src.PupilRadius;
  dst.Obstruction = src.Obstruction;
}

std::shared_ptr<TPupille> ImageCopy(const TPupille& image) {
  auto copy = std::make_shared<TPupille>();
  copy->IsComplex = 0;
  copy->Init(image.Nx, image.Ny);
  if (!copy->AssignPupil(image)) return nullptr;
  return copy;
}

bool TPupille::AssignPupil(const TPupille& src) {
  if (!Assign(src)) return false;
  Kind = src.Kind;
  CopyPupilGeometry(src, *this);
  Coefficients = src.Coefficients;
  Selected = src.Selected;
  HigherOrders = src.HigherOrders;
  Basis = src.Basis;
  return true;
}

void TPupille::CloneFrom(const TPupille& src) {
  if (&src == this) return;
  TFctXY::CloneFrom(src);
  Kind = src.Kind;
  CopyPupilGeometry(src, *this);
  Wavelength = src.Wavelength;
  Channel = src.Channel;
  Angle = src.Angle;
  FringeCount = src.FringeCount;
  Strehl = src.Strehl;
  ObstructionFactor = src.ObstructionFactor;
  StrehlObstructed = src.StrehlObstructed;
  Coefficients = src.Coefficients;
  Selected = src.Selected;
  HigherOrders = src.HigherOrders;
  Basis = src.Basis;
}

void TPupille::ExtractThreshold(int blockCount, double percentage) {
  // An image smaller than the block grid would give empty blocks; it is
  // then averaged over as many blocks as it has samples.
  const int n = std::max(1, std::min({blockCount, Nx, Ny}));
  const int bx = Nx / n;
  const int by = Ny / n;
  double lowest = 0.0, highest = 0.0;
  std::vector<long double> sums(static_cast<std::size_t>(n), 0.0L);
  for (int v = 1; v <= n; ++v) {
    std::fill(sums.begin(), sums.end(), 0.0L);
    for (int r = (v - 1) * by + 1; r <= v * by; ++r) {
      const double* row = Values[1][r];
      for (int u = 1; u <= n; ++u) {
        long double s = 0.0L;
        for (int c = (u - 1) * bx + 1; c <= u * bx; ++c) s += row[c];
        sums[u - 1] += s;
      }
    }
    for (int u = 1; u <= n; ++u) {
      const double mean = static_cast<double>(sums[u - 1] / (static_cast<long double>(bx) * by));
      if (u == 1 && v == 1) {
        lowest = highest = mean;
      } else {
        lowest = std::min(lowest, mean);
        highest = std::max(highest, mean);
      }
    }
  }
  Threshold = ((100.0 - percentage) * lowest + percentage * highest) / 100.0;
  ThresholdMask();
}

void TPupille::MeasurePupil() {
  long double total = 0.0L, sumColumns = 0.0L, sumRows = 0.0L;
  for (int r = 1; r <= Ny; ++r) {
    const std::int16_t* m = Mask[1][r];
    int first = 0, last = 0;
    // The last column is never searched.
    for (int c = 1; c <= Nx - 1; ++c)
      if (m[c] == 1) {
        if (!first) first = c;
        last = c;
      }
    if (!first) continue;
    const long double span = last - first + 1;
    total += span;
    sumColumns += span * (first + last) / 2.0L;
    sumRows += span * r;
  }
  PupilRadius = std::sqrt(static_cast<double>(total) / M_PI);
  if (total > 0) {
    OriginColumn = static_cast<double>(sumColumns / total);
    OriginRow = static_cast<double>(sumRows / total);
  }
}

void TPupille::MeasureObstruction() {
  if (PupilRadius == 0) {
    Obstruction = 0;
    return;
  }
  long count = 0;
  for (int r = 1; r <= Ny; ++r) {
    const std::int16_t* m = Mask[1][r];
    const double y2 = YAxis[r] * YAxis[r];
    for (int c = 1; c <= Nx; ++c)
      if (m[c] == 0 && XAxis[c] * XAxis[c] + y2 < 0.9) ++count;
  }
  Obstruction = std::sqrt(count / M_PI) / PupilRadius;
}

void TPupille::SetPupilAxes() {
  // Without a pupil there is no unit to normalise by; the axes stay as they are.
  if (!(PupilRadius > 0)) return;
  for (int c = 1; c <= Nx; ++c) XAxis[c] = (c - OriginColumn) / PupilRadius;
  for (int r = 1; r <= Ny; ++r) YAxis[r] = -(r - OriginRow) / PupilRadius;
  Dx = 1.0 / PupilRadius;
  Dy = -1.0 / PupilRadius;
}

void TPupille::CentrePupil() {
  ShiftBy(Nx / 2.0 - OriginColumn, Ny / 2.0 - OriginRow);
  ThresholdMask();
  MeasurePupil();
  SetPupilAxes();
}

void TPupille::TrimToAnnulus() {
  const double inner = Obstruction * Obstruction;
  for (int r = 1; r <= Ny; ++r) {
    double* v = Values[1][r];
    std::int16_t* m = Mask[1][r];
    const double y2 = YAxis[r] * YAxis[r];
    for (int c = 1; c <= Nx; ++c) {
      if (m[c] != 1) continue;
      const double r2 = XAxis[c] * XAxis[c] + y2;
      if (r2 > 1.0 || r2 < inner) {
        v[c] = 0.0;
        m[c] = 0;
      }
    }
  }
}

void TPupille::CropAroundPupil(double margin) {
  const int x0 = RoundToInt(OriginColumn - PupilRadius - margin);
  const int y0 = RoundToInt(OriginRow - PupilRadius - margin);
  const int side = 2 * RoundToInt(margin + PupilRadius);
  Crop(x0, y0, side, side);
  OriginColumn -= x0;
  OriginRow -= y0;
}

void TPupille::SynthesiseFromZernike() {
  ClearUpperVectorState();
  Kind = kKindWavefront;
  const int count = Basis.PolynomialCount;
  ZernikeCoefficients weights{};
  for (int k = 1; k <= count; ++k) weights[k] = Selected[k] ? Coefficients[k] : 0.0;
  ZernikeTermCache& cache = SharedZernikeCache();
  if (cache.Prepare(*this, Obstruction, Basis)) {
    const std::uint8_t* inside = cache.Inside();
    for (int r = 1; r <= Ny; ++r) {
      double* v = Values[1][r];
      std::int16_t* m = Mask[1][r];
      const std::size_t base = static_cast<std::size_t>(r - 1) * Nx;
      for (int c = 1; c <= Nx; ++c) {
        v[c] = 0.0;
        m[c] = inside[base + c - 1] ? 1 : 0;
      }
    }
    cache.AddTerms(Values.PlaneData(1), nullptr, weights);
    return;
  }
  ZernikeValues z{};
  for (int r = 1; r <= Ny; ++r)
    for (int c = 1; c <= Nx; ++c) {
      if (EvaluateZernike(Basis, Obstruction, YAxis[r], XAxis[c], z)) {
        long double sum = 0.0L;
        for (int k = 1; k <= count; ++k) sum += weights[k] * z[k];
        Values[1][r][c] = static_cast<double>(sum);
        Mask[1][r][c] = 1;
      } else {
        Values[1][r][c] = 0.0;
        Mask[1][r][c] = 0;
      }
    }
}

void TPupille::ApplySelection(const ZernikeSelection& selection) {
  ClearUpperVectorState();
  const int count = Basis.PolynomialCount;
  ZernikeCoefficients weights{};
  bool any = false;
  for (int k = 1; k <= count; ++k) {
    weights[k] = (static_cast<int>(selection[k]) - static_cast<int>(Selected[k])) * Coefficients[k];
    any = any || weights[k] != 0.0;
  }
  if (any && HasArrays()) {
    ZernikeTermCache& cache = SharedZernikeCache();
    if (cache.Prepare(*this, Obstruction, Basis)) {
      cache.AddTerms(Values.PlaneData(1), Mask.PlaneData(1), weights);
    } else {
      ForEachInsideSample(*this, [&](int r, int c, const ZernikeValues& z) {
        if (Mask[1][r][c] != 1) return;
        long double sum = 0.0L;
        for (int k = 1; k <= count; ++k) sum += weights[k] * z[k];
        Values[1][r][c] += static_cast<double>(sum);
      });
    }
  }
  Selected = selection;
}

void TPupille::AddZernikeTerm(int k, double amount) {
  if (k < 1 || k > kZernikeTermCount) return;
  if (HasArrays() && amount != 0.0) {
    ZernikeTermCache& cache = SharedZernikeCache();
    if (k <= Basis.PolynomialCount && cache.Prepare(*this, Obstruction, Basis)) {
      ZernikeCoefficients weights{};
      weights[k] = amount;
      cache.AddTerms(Values.PlaneData(1), Mask.PlaneData(1), weights);
    } else {
      ForEachInsideSample(*this, [&](int r, int c, const ZernikeValues& z) {
        if (Mask[1][r][c] == 1) Values[1][r][c] += amount * z[k];
      });
    }
  }
  Coefficients[k] += amount;
}

void TPupille::FitZernike(const TZernikeBasis& basis) {
  Basis = basis;
  caustica::FitZernike(*this, Obstruction, Selected, Coefficients, Basis);
}

void TPupille::FitZernike() { FitZernike(ZernikeBasis); }

void TPupille::SetTiltPlane(double a, double b) {
  for (int r = 1; r <= Ny; ++r) {
    double* v = Values[1][r];
    const std::int16_t* m = Mask[1][r];
    const double by = b * YAxis[r];
    for (int c = 1; c <= Nx; ++c)
      if (m[c] == 1) v[c] = a * XAxis[c] + by;
  }
}

void TPupille::MakeInterferogram(const TPupille& wavefront, const TPupille& tilt) {
  const double k = kTwoPi / Wavelength;
  for (int r = 1; r <= Ny; ++r) {
    double* v = Values[1][r];
    const double* w = wavefront.Values[1][r];
    const double* t = tilt.Values[1][r];
    for (int c = 1; c <= Nx; ++c) v[c] = 0.5 + 0.5 * std::cos(k * (t[c] - w[c]));
  }
  Kind = kKindInterferogram;
  CopyMask(wavefront);
}

void TPupille::ComputePSF(int factor, TPupille& actual, TPupille& theoretical) const {
  const int big = Nx * factor;
  const int bigRows = Ny * factor;
  const double k = kTwoPi / Wavelength;

  TFctXY amplitude;
  amplitude.Init(big, bigRows);
  TFctXY pupil;
  pupil.IsComplex = 1;
  pupil.Init(big, bigRows);
  for (int r = 1; r <= Ny; ++r) {
    const double* w = Values[1][r];
    const std::int16_t* m = Mask[1][r];
    double* a = amplitude.Values[1][r];
    double* re = pupil.Values[1][r];
    double* im = pupil.Values[2][r];
    for (int c = 1; c <= Nx; ++c) {
      if (m[c] != 1) continue;
      a[c] = 1.0;
      re[c] = std::cos(k * w[c]);
      im[c] = std::sin(k * w[c]);
    }
  }

  TFctXY spectrum;
  const int offsetX = (big - Nx) / 2;
  const int offsetY = (bigRows - Ny) / 2;
  auto extract = [&](TPupille& out, std::uint8_t kind) {
    out.Release();
    out.IsComplex = 0;
    out.Init(Nx, Ny);
    out.Kind = kind;
    out.Wavelength = Wavelength;
    for (int r = 1; r < Ny; ++r) {
      const double* sre = spectrum.Values[1][offsetY + r + 1];
      const double* sim = spectrum.Values[2][offsetY + r + 1];
      double* o = out.Values[1][r];
      for (int c = 1; c < Nx; ++c) {
        const int sc = offsetX + c + 1;
        o[c] = sre[sc] * sre[sc] + sim[sc] * sim[sc];
      }
    }
  };
  spectrum.ForwardTransformOf(pupil);
  pupil.Release();
  extract(actual, kKindActualPsf);
  spectrum.Release();
  spectrum.IsComplex = 0;
  spectrum.ForwardTransformOf(amplitude);
  amplitude.Release();
  extract(theoretical, kKindTheoreticalPsf);
}

void TPupille::ComputeStrehl() {
  if (Wavelength != 0) {
    const double phase = kTwoPi * RmsValue / Wavelength;
    Strehl = std::exp(-(phase * phase));
  }
  ObstructionFactor = (1 - Obstruction * Obstruction) * (1 - Obstruction * Obstruction);
  StrehlObstructed = ObstructionFactor * Strehl;
}

}  // namespace caustica
