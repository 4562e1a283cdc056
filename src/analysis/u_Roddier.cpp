#include "analysis/u_Roddier.h"

#include <cmath>
#include <vector>

#include "core/parallel_rows.h"

namespace caustica {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr int kInnerPasses = 20;
// The boundary ring: 0.9 < r^2 <= 1.15^2 in pupil units.
constexpr double kRingInner2 = 0.9;
constexpr double kRingOuter2 = 1.3225;
constexpr double kRingRadius = 1.15;
constexpr double kCropMargin = 10.0;

void PrepareImage(TPupille& image) {
  image.PadToPowerOfTwo();
  image.ThresholdMask();
  image.MeasurePupil();
  image.CentrePupil();
}

void NewGrid(std::shared_ptr<TPupille>& grid, int nx, int ny) {
  grid = std::make_shared<TPupille>();
  grid->Init(nx, ny);
}

}  // namespace

void MarkBoundaryRing(TPupille& s) {
  for (int r = 1; r <= s.Ny; ++r) {
    std::int16_t* m = s.Mask[1][r];
    const double y2 = s.YAxis[r] * s.YAxis[r];
    for (int c = 1; c <= s.Nx; ++c) {
      if (m[c] != 0) continue;
      const double r2 = s.XAxis[c] * s.XAxis[c] + y2;
      if (r2 > kRingInner2 && r2 <= kRingOuter2) m[c] = 2;
    }
  }
}

// One pass of the edge condition, fused: the slopes of the solution by
// central differences (0 on the first and last column or row, 0 on the
// ring), their divergence L by the same differences, the error
// sqrt(sum (S - L)^2) over the pupil, and the next right-hand side: the
// measured signal inside the pupil, L elsewhere. Same numbers as the grid
// operations one after another, in two sweeps instead of eight.
double RingLaplacian(const TPupille& signal, const TFctXY& solution, TFctXY& gx, TFctXY& gy, TFctXY& work) {
  const int nx = signal.Nx, ny = signal.Ny;
  // Multiplying by the reciprocal spacing instead of dividing keeps the
  // loops free of divisions; results differ from the quotient in the last bit.
  const double hx = 1.0 / (2.0 * solution.Dx), hy = 1.0 / (2.0 * solution.Dy);
  const auto rows = static_cast<std::size_t>(ny);
  ParallelRows(rows, static_cast<std::size_t>(nx), [&](std::size_t first, std::size_t last) {
    for (int r = static_cast<int>(first) + 1; r <= static_cast<int>(last); ++r) {
      const double* w = solution.Values[1][r];
      const bool innerRow = r >= 2 && r <= ny - 1;
      const double* above = innerRow ? solution.Values[1][r - 1] : w;
      const double* below = innerRow ? solution.Values[1][r + 1] : w;
      const double rowFactor = innerRow ? hy : 0.0;  // first and last rows: no slope
      const std::int16_t* m = signal.Mask[1][r];
      double* ax = gx.Values[1][r];
      double* ay = gy.Values[1][r];
      for (int c = 2; c <= nx - 1; ++c) {
        const bool ring = m[c] == 2;
        ax[c] = ring ? 0.0 : (w[c + 1] - w[c - 1]) * hx;
        ay[c] = ring ? 0.0 : (below[c] - above[c]) * rowFactor;
      }
      for (int c : {1, nx}) {
        ax[c] = 0.0;
        ay[c] = (m[c] == 2) ? 0.0 : (below[c] - above[c]) * rowFactor;
      }
    }
  });
  // Per-row sums added in row order: the same error whatever the cores.
  std::vector<long double> rowSums(rows + 1, 0.0L);
  ParallelRows(rows, static_cast<std::size_t>(nx), [&](std::size_t first, std::size_t last) {
    for (int r = static_cast<int>(first) + 1; r <= static_cast<int>(last); ++r) {
      const double* ax = gx.Values[1][r];
      const bool innerRow = r >= 2 && r <= ny - 1;
      const double* up = innerRow ? gy.Values[1][r - 1] : ax;
      const double* down = innerRow ? gy.Values[1][r + 1] : ax;
      const double rowFactor = innerRow ? hy : 0.0;
      const double* s = signal.Values[1][r];
      const std::int16_t* m = signal.Mask[1][r];
      double* out = work.Values[1][r];
      // The Laplacian first, in a loop the compiler can vectorise...
      out[1] = (down[1] - up[1]) * rowFactor;
      out[nx] = (down[nx] - up[nx]) * rowFactor;
      for (int c = 2; c <= nx - 1; ++c) out[c] = (ax[c + 1] - ax[c - 1]) * hx + (down[c] - up[c]) * rowFactor;
      // ...then the error over the pupil and the measured signal put back.
      long double sum = 0.0L;
      for (int c = 1; c <= nx; ++c) {
        if (m[c] != 1) continue;
        const long double d = static_cast<long double>(s[c]) - out[c];
        sum += d * d;
        out[c] = s[c];
      }
      rowSums[static_cast<std::size_t>(r)] = sum;
    }
  });
  long double total = 0.0L;
  for (long double v : rowSums) total += v;
  return static_cast<double>(std::sqrt(total));
}

void TRoddier::ComputeSignal() {
  TPupille& s = *Signal;
  const TPupille& intra = *IntraImage;
  const TPupille& extra = *ExtraImage;
  s.Kind = kKindSignal;
  s.MaskCount = 0;
  for (int r = 1; r <= s.Ny; ++r) {
    const double* i1 = intra.Values[1][r];
    const double* i2 = extra.Values[1][r];
    const std::int16_t* m1 = intra.Mask[1][r];
    const std::int16_t* m2 = extra.Mask[1][r];
    double* v = s.Values[1][r];
    std::int16_t* m = s.Mask[1][r];
    for (int c = 1; c <= s.Nx; ++c) {
      const double sum = i1[c] + i2[c];
      // A zero sum leaves the sample as it was.
      if (sum != 0.0) v[c] = (i1[c] - i2[c]) / sum;
      if (m1[c] != 1 && m2[c] != 1) {
        m[c] = 0;
        v[c] = 0.0;
      } else {
        m[c] = 1;
        ++s.MaskCount;
      }
    }
  }
  s.MeasurePupil();
  s.SetPupilAxes();
  s.MeasureObstruction();
  if (KnownObstruction > 0) s.Obstruction = KnownObstruction;

  RingRadius = kRingRadius;
  MarkBoundaryRing(s);
}

void TRoddier::SolvePoisson() {
  const TPupille& signal = *Signal;
  const int nx = signal.Nx, ny = signal.Ny;
  const double k = FocalLength * (FocalLength - Defocus) / Defocus;

  TFctXY work, gx, gy, spectrum;
  work.Init(nx, ny);
  work.Assign(signal);
  gx.Init(nx, ny);
  gy.Init(nx, ny);
  Residual = std::make_shared<TPupille>();
  TPupille& residual = *Residual;

  double errors[kInnerPasses + 1] = {};
  LastSolveErrors.assign(1, 0.0);
  for (int q = 1; q <= kInnerPasses; ++q) {
    ++InnerPasses;
    if (Progress.Step) Progress.Step();
    spectrum.ForwardTransformOf(work);
    spectrum.DivideByFrequencySquared();
    residual.InverseTransformOf(spectrum);

    errors[q] = RingLaplacian(signal, residual, gx, gy, work);
    LastSolveErrors.push_back(errors[q]);
    if (q > 2 && errors[q - 2] > errors[q - 1] && errors[q - 1] < errors[q]) break;
  }

  residual.CopyMask(signal);
  CopyPupilGeometry(signal, residual);
  residual.Dx = signal.Dx;
  residual.Dy = signal.Dy;
  residual.SetValuesWhere(1, false, 0.0);
  const double n = nx;
  residual.MultiplyBy((n / kTwoPi) * (n / kTwoPi) * (-(Radius * Radius)) / k);
}

void TRoddier::CorrectImages() {
  const TPupille& res = *Residual;
  const int nx = res.Nx, ny = res.Ny;
  const double cIntra = -(FocalLength - Defocus) * FocalLength / (Defocus * Radius * Radius);
  const double cExtra = (FocalLength + Defocus) * FocalLength / (Defocus * Radius * Radius);

  TFctXY wx, wy, wxx, wyy, wxy;
  for (TFctXY* g : {&wx, &wy, &wxx, &wyy, &wxy}) g->Init(nx, ny);
  wx.MaskedDerivativeX(res);
  wy.MaskedDerivativeY(res);
  wx.CopyMask(res);
  wy.CopyMask(res);
  wxx.MaskedDerivativeX(wx);
  wyy.MaskedDerivativeY(wy);
  wxy.MaskedDerivativeX(wy);

  auto correct = [&](std::shared_ptr<TPupille>& slot, double coef) {
    const TPupille& old = *slot;
    auto fresh = std::make_shared<TPupille>();
    fresh->Init(old.Nx, old.Ny);
    fresh->Kind = old.Kind;
    fresh->Channel = old.Channel;
    fresh->Wavelength = old.Wavelength;
    const double dxStep = old.Dx, dyStep = old.Dy;
    for (int j = 1; j <= ny && j <= old.Ny; ++j) {
      const double* gxr = wx.Values[1][j];
      const double* gyr = wy.Values[1][j];
      const double* axx = wxx.Values[1][j];
      const double* ayy = wyy.Values[1][j];
      const double* axy = wxy.Values[1][j];
      double* out = fresh->Values[1][j];
      for (int i = 1; i <= nx && i <= old.Nx; ++i) {
        const double dx = coef * gxr[i];
        const double dy = coef * gyr[i];
        const double fi = dx / dxStep + i;
        const double fj = dy / dyStep + j;
        double intensity = 0.0;
        // Positions far outside (or not numbers) fall through to 0.
        if (fi >= 1.0 && fi < old.Nx && fj >= 1.0 && fj < old.Ny) {
          const int i0 = static_cast<int>(fi);
          const int j0 = static_cast<int>(fj);
          const double tx = (old.XAxis[i] + dx - old.XAxis[i0]) / dxStep;
          const double ty = (old.YAxis[j] + dy - old.YAxis[j0]) / dyStep;
          const double* v0 = old.Values[1][j0];
          const double* v1 = old.Values[1][j0 + 1];
          intensity = (1 - tx) * (1 - ty) * v0[i0] + (1 - tx) * ty * v1[i0] + tx * ty * v1[i0 + 1] +
                      tx * (1 - ty) * v0[i0 + 1];
        }
        const double jacobian =
            1 + coef * (axx[i] + ayy[i]) + coef * coef * (axx[i] * ayy[i] - axy[i] * axy[i]);
        out[i] = jacobian * intensity;
      }
    }
    fresh->Threshold = old.Threshold;
    fresh->ThresholdMask();
    fresh->MeasurePupil();
    fresh->SetPupilAxes();
    slot = std::move(fresh);
  };
  correct(IntraImage, cIntra);
  correct(ExtraImage, cExtra);
}

void TRoddier::Reconstruct() {
  OuterPasses = InnerPasses = 0;
  Wavefront.reset();
  Residual.reset();
  if (!IntraImage || !ExtraImage || !IntraImage->HasArrays() || !ExtraImage->HasArrays()) {
    if (Progress.Finish) Progress.Finish();
    return;
  }
  PrepareImage(*IntraImage);
  PrepareImage(*ExtraImage);
  // The signal reads the same sample of both images: images that pad to
  // different squares cannot be paired, and give no wavefront.
  if (IntraImage->Nx != ExtraImage->Nx || IntraImage->Ny != ExtraImage->Ny) {
    if (Progress.Finish) Progress.Finish();
    return;
  }
  const int n = IntraImage->Nx;
  NewGrid(Signal, n, IntraImage->Ny);
  NewGrid(Wavefront, n, IntraImage->Ny);

  for (int p = 1;; ++p) {
    ++OuterPasses;
    ComputeSignal();
    SolvePoisson();
    Residual->ComputeMaskedStatistics();
    bool stop = false;
    if (Residual->RmsValue > StopRms) {
      Wavefront->Add(*Residual);
      Wavefront->CopyMask(*Residual);
      CorrectImages();
    } else if (StopWhenConverged) {
      stop = true;
    }
    if (stop || p >= MaxIterations) break;
    Residual->Release();
  }
  if (Progress.Finish) Progress.Finish();

  const TPupille& signal = *Signal;
  TPupille& w = *Wavefront;
  w.SetValuesWhere(1, false, 0.0);
  CopyPupilGeometry(signal, w);
  FinishReconstruction(*this, signal.Obstruction);
}

void FinishReconstruction(TRoddier& run, double obstruction) {
  TPupille& w = *run.Wavefront;
  w.Kind = kKindWavefront;
  w.CropAroundPupil(kCropMargin);
  w.SetPupilAxes();
  w.TrimToAnnulus();
  w.Scale = run.Radius;
  SelectAll(w.Selected);
  w.HigherOrders = true;

  TPupille& res = *run.Residual;
  res.SetValuesWhere(1, false, 0.0);
  res.Kind = kKindResidual;
  res.CropAroundPupil(kCropMargin);
  res.MaskActive = true;
  res.MeasurePupil();
  res.Obstruction = obstruction;
  res.SetPupilAxes();
  res.TrimToAnnulus();
  res.Scale = run.Radius;
  SelectAll(res.Selected);
  res.HigherOrders = true;

  run.IntraImage->CropAroundPupil(kCropMargin);
  run.ExtraImage->CropAroundPupil(kCropMargin);
}

}  // namespace caustica
