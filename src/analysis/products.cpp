#include "analysis/products.h"

#include <algorithm>
#include <cmath>

#include "core/u_fft.h"
#include "core/u_math.h"
#include "core/vector_state.h"

namespace caustica {

namespace {

// The degree conversions of the products keep these truncated values.
constexpr double kPi = 3.141592653589;
constexpr double kHalfPi = 1.5707963267945;
constexpr double kAiryFactor = 1.22;

bool Refuse(std::string* error, const char* reason) {
  if (error) *error = reason;
  return false;
}

double Radians(int degrees) { return degrees * kPi / 180.0; }

// A product recomputed in place keeps its arrays; otherwise it gets fresh
// ones of the source's size.
void SizeLike(TPupille& target, const TPupille& source) {
  if (target.HasArrays() && target.Nx == source.Nx && target.Ny == source.Ny &&
      target.Values.PlaneCount() == 1)
    return;
  target.Release();
  target.IsComplex = 0;
  target.Init(source.Nx, source.Ny);
}

void SetLine(TShape& shape, double x1, double y1, double x2, double y2) {
  shape.Visible = true;
  shape.ShapeKind = 0;
  shape.X1 = x1;
  shape.Y1 = y1;
  shape.X2 = x2;
  shape.Y2 = y2;
}

void SetCentredCircle(TShape& shape, double radius) {
  shape.Visible = true;
  shape.ShapeKind = 1;
  shape.X1 = shape.Y1 = 0.0;
  shape.Radius = radius;
}

int PaddedSide(int nx, int ny) {
  long long n = 128;
  while (n < std::max(nx, ny)) n *= 2;
  return static_cast<int>(std::min<long long>(n, 1LL << 30));
}

}  // namespace

bool ComputeInterferogram(const TPupille& source, int angleDegrees, int fringes,
                          const TProductSettings& settings, TPupille& target, std::string* error) {
  ClearUpperVectorState();
  if ((source.Kind != kKindWavefront && source.Kind != kKindResidual) || !source.HasArrays() ||
      &source == &target)
    return Refuse(error, kSelectWavefrontText);
  const double wavelength = settings.LambdaInterfero;
  if (!(wavelength > 0.0)) return Refuse(error, "The interferogram wavelength must be greater than 0.");

  SizeLike(target, source);
  target.FringeCount = fringes;
  target.Angle = Radians(angleDegrees);
  target.Wavelength = wavelength;

  const double amplitude = fringes * wavelength / 2.0;
  const double tx = std::cos(target.Angle) * amplitude;
  const double ty = std::sin(target.Angle) * amplitude;

  TPupille tilt;
  tilt.Init(source.Nx, source.Ny);
  for (TPupille* g : {&target, &tilt}) {
    g->OriginColumn = source.OriginColumn;
    g->OriginRow = source.OriginRow;
    g->PupilRadius = source.PupilRadius;
  }
  target.SetPupilAxes();
  tilt.SetPupilAxes();
  tilt.CopyMask(source);
  tilt.SetTiltPlane(tx, ty);

  target.MakeInterferogram(source, tilt);
  tilt.Release();
  target.CopyMask(source);
  target.Kind = kKindInterferogram;
  target.PaletteIndex = settings.InterferogramPalette;
  target.MaskActive = true;
  return true;
}

std::vector<int> SeriesAngles(int startDegrees, int stepDegrees) {
  const int step = std::max(stepDegrees, 1);
  std::vector<int> angles;
  int a = startDegrees + 180;
  do {
    a -= step;
    angles.push_back(a);
  } while (a > startDegrees);
  return angles;
}

bool ComputeFoucaultgram(const TPupille& source, int angleDegrees, TPupille& target, std::string* error) {
  ClearUpperVectorState();
  if (source.Kind != kKindWavefront || !source.HasArrays() || &source == &target)
    return Refuse(error, kSelectWavefrontText);

  SizeLike(target, source);
  target.Angle = Radians(angleDegrees);
  target.DirectionalDerivative(source, target.Angle);
  target.MaskActive = true;
  target.Kind = kKindFoucault;
  target.MeasurePupil();
  target.SetPupilAxes();

  const double t1 = target.Angle + kPi;
  const double t2 = target.Angle + kHalfPi;
  SetLine(target.Shapes[1], 1.1 * std::cos(t1), 1.1 * std::sin(t1), std::cos(t1), std::sin(t1));
  SetLine(target.Shapes[2], 1.1 * std::cos(t2), 1.1 * std::sin(t2), -1.1 * std::cos(t2), -1.1 * std::sin(t2));
  return true;
}

int PsfFactor(int sizeIndex) { return 1 << std::clamp(sizeIndex, 0, 3); }

bool ComputePsfPair(const TPupille& source, int factor, const TProductSettings& settings, TPupille& actual,
                    TPupille& theoretical, std::string* error) {
  ClearUpperVectorState();
  if (!source.HasArrays()) return Refuse(error, "The grid holds no samples.");
  if (!(source.PupilRadius > 0.0)) return Refuse(error, "The grid has no pupil.");
  if (factor < 1) factor = 1;
  if (static_cast<long long>(PaddedSide(source.Nx, source.Ny)) * factor > kMaxPsfTransformSize)
    return Refuse(error, "The PSF would be too large: choose a smaller size.");
  const double wavelength = settings.LambdaRef;
  if (!(wavelength > 0.0)) return Refuse(error, "The reference wavelength must be greater than 0.");

  TPupille copy;
  copy.Init(source.Nx, source.Ny);
  copy.AssignPupil(source);
  // Every term counts as present except the focus, which the selection then
  // adds back. A focus already present is not added a second time.
  ZernikeSelection all{};
  SelectAll(all);
  copy.Selected = all;
  copy.Selected[4] = source.Selected[4];
  copy.ApplySelection(all);

  copy.PadToPowerOfTwo();
  copy.Wavelength = wavelength;
  copy.ComputePSF(factor, actual, theoretical);
  copy.Release();

  for (TPupille* psf : {&actual, &theoretical}) {
    psf->OriginColumn = psf->Nx / 2.0;
    psf->OriginRow = psf->Ny / 2.0;
    psf->PupilRadius = source.PupilRadius;
    psf->CropAroundPupil(0.0);
    psf->PaletteIndex = settings.PsfPalette;
  }
  return true;
}

bool ComputeFftProduct(const TPupille& source, TPupille& target, std::string* error) {
  ClearUpperVectorState();
  if (!source.HasArrays()) return Refuse(error, "The grid holds no samples.");
  if (source.Nx > kMaxFourierSize || source.Ny > kMaxFourierSize)
    return Refuse(error, "The grid is too large for the Fourier transform.");
  target.ForwardTransformOf(source);
  return true;
}

bool ComputeSpotDiagram(const TPupille& source, double focalLength, double pupilRadius, int step,
                        const TProductSettings& settings, TPupille& diagram, std::string* error) {
  ClearUpperVectorState();
  if (source.Kind != kKindWavefront || !source.HasArrays()) return Refuse(error, kSelectWavefrontText);
  if (!(focalLength > 0.0) || !(pupilRadius > 0.0))
    return Refuse(error, "The focal length and the pupil radius must be greater than 0.");
  const int nx = source.Nx, ny = source.Ny;
  const int t = std::max(step, 1);

  TFctXY gx, gy;
  gx.Init(nx, ny);
  gy.Init(nx, ny);
  gx.MaskedDerivativeX(source);
  gy.MaskedDerivativeY(source);
  const double toRays = focalLength / pupilRadius;
  gx.MultiplyBy(toRays);
  gy.MultiplyBy(toRays);

  double rmax = 0.0;
  for (int r = 1; r <= ny; ++r) {
    const double* u = gx.Values[1][r];
    const double* v = gy.Values[1][r];
    for (int c = 1; c <= nx; ++c) rmax = std::max(rmax, std::sqrt(u[c] * u[c] + v[c] * v[c]));
  }
  if (!(rmax > 0.0) || !std::isfinite(rmax))
    return Refuse(error, "The wavefront has no slope: the spot diagram cannot be scaled.");
  const double airy = kAiryFactor * settings.LambdaRef * focalLength / (2.0 * pupilRadius) / rmax;

  diagram.Release();
  diagram.IsComplex = 0;
  diagram.Kind = kKindSpotDiagram;
  diagram.Init(nx, ny);
  diagram.OriginColumn = RoundHalfEven(nx / 2.0);
  diagram.OriginRow = RoundHalfEven(ny / 2.0);
  diagram.PupilRadius = RoundHalfEven(nx / 2.0);
  diagram.SetPupilAxes();
  SetCentredCircle(diagram.Shapes[1], airy);
  SetCentredCircle(diagram.Shapes[2], 2.0 * airy);

  // Every sampled position takes part; outside the pupil both slopes are 0
  // and the ray falls on the centre.
  for (int j = 1; j <= ny; j += t) {
    const double* u = gx.Values[1][j];
    const double* v = gy.Values[1][j];
    for (int i = 1; i <= nx; i += t) {
      const int c = diagram.ColumnOf(u[i] / rmax);
      const int r = diagram.RowOf(v[i] / rmax);
      if (c >= 1 && c <= nx && r >= 1 && r <= ny) diagram.Values[1][r][c] = 1.0;
    }
  }
  return true;
}

}  // namespace caustica
