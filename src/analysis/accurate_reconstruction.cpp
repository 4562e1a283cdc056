#include "analysis/accurate_reconstruction.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <complex>
#include <string>
#include <vector>

#include "analysis/donut_edge.h"
#include "core/gaussian_blur.h"
#include "core/median.h"

namespace caustica {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr std::size_t kMaxTermCacheBytes = std::size_t{512} << 20;

// Light is summed out to this many rough pupil radii: the donut, its
// diffraction fringes and the blur of seeing.
constexpr double FluxRadius() { return 1.25; }

// One input image made ready: background off, its pupil centre and a rough
// radius, on a plain row-major copy (row r, column c at (r-1) Nx + c-1).
struct Source {
  int Nx = 0, Ny = 0;
  std::vector<double> V;
  double Cx = 0, Cy = 0;  // pupil centre, 1-based column and row
  double RoughRadius = 0;
  double RoughObstruction = 0;

  double At(double col, double row, bool& inside) const {
    // Bilinear, as the classic correction samples.
    inside = col >= 1.0 && row >= 1.0 && col < Nx && row < Ny;
    if (!inside) return 0.0;
    const int c0 = static_cast<int>(col), r0 = static_cast<int>(row);
    const double tx = col - c0, ty = row - r0;
    const double* a = V.data() + static_cast<std::size_t>(r0 - 1) * Nx + (c0 - 1);
    const double* b = a + Nx;
    return (1 - tx) * (1 - ty) * a[0] + tx * (1 - ty) * a[1] + (1 - tx) * ty * b[0] + tx * ty * b[1];
  }
};

// Mean over a (2h + 1) x (2h + 1) box, clipped at the frame's edges.
std::vector<double> BoxSmoothed(const std::vector<double>& v, int nx, int ny, int h) {
  std::vector<double> rows(v.size()), out(v.size());
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) {
      double sum = 0;
      int n = 0;
      for (int k = std::max(0, c - h); k <= std::min(nx - 1, c + h); ++k, ++n)
        sum += v[static_cast<std::size_t>(r) * nx + k];
      rows[static_cast<std::size_t>(r) * nx + c] = sum / n;
    }
  for (int r = 0; r < ny; ++r)
    for (int c = 0; c < nx; ++c) {
      double sum = 0;
      int n = 0;
      for (int k = std::max(0, r - h); k <= std::min(ny - 1, r + h); ++k, ++n)
        sum += rows[static_cast<std::size_t>(k) * nx + c];
      out[static_cast<std::size_t>(r) * nx + c] = sum / n;
    }
  return out;
}

bool PrepareSource(const TPupille& img, Source& s) {
  s.Nx = img.Nx;
  s.Ny = img.Ny;
  s.V.assign(static_cast<std::size_t>(s.Nx) * s.Ny, 0.0);
  for (int r = 1; r <= s.Ny; ++r)
    std::copy(img.Values[1][r] + 1, img.Values[1][r] + 1 + s.Nx,
              s.V.begin() + static_cast<std::ptrdiff_t>(r - 1) * s.Nx);
  for (double v : s.V)
    if (!std::isfinite(v)) return false;
  // First background guess: the frame's border.
  std::vector<double> work;
  const int bw = std::max(1, std::min(s.Nx, s.Ny) / 16);
  for (int r = 1; r <= s.Ny; ++r)
    for (int c = 1; c <= s.Nx; ++c)
      if (r <= bw || r > s.Ny - bw || c <= bw || c > s.Nx - bw) work.push_back(s.V[(r - 1) * s.Nx + c - 1]);
  double background = UpperMedian(work);
  // The rough pupil is found on a 5 x 5 box-smoothed copy, so that noise on
  // a bright sky does not pass the threshold.
  const std::vector<double> smooth = BoxSmoothed(s.V, s.Nx, s.Ny, 2);
  work.assign(smooth.begin(), smooth.end());
  const auto high = work.begin() + static_cast<std::ptrdiff_t>(work.size() * 99 / 100);
  std::nth_element(work.begin(), high, work.end());
  const double threshold = background + 0.4 * (*high - background);
  if (!(*high > background)) return false;
  const double bright = *high - background;

  // Rough pupil: centroid of the bright samples, radius from the row spans
  // (which include the central hole), obstruction from the dark samples inside.
  long double sc = 0, sr = 0, spans = 0;
  long count = 0;
  for (int r = 1; r <= s.Ny; ++r) {
    const double* row = smooth.data() + static_cast<std::size_t>(r - 1) * s.Nx;
    int first = 0, last = 0;
    for (int c = 1; c <= s.Nx; ++c)
      if (row[c - 1] > threshold) {
        if (!first) first = c;
        last = c;
        sc += c;
        sr += r;
        ++count;
      }
    if (first) spans += last - first + 1;
  }
  if (count < 20) return false;
  s.Cx = static_cast<double>(sc / count);
  s.Cy = static_cast<double>(sr / count);
  s.RoughRadius = std::sqrt(static_cast<double>(spans) / kPi);
  long dark = 0;
  const double r2max = 0.81 * s.RoughRadius * s.RoughRadius;
  for (int r = 1; r <= s.Ny; ++r)
    for (int c = 1; c <= s.Nx; ++c) {
      const double d2 = (c - s.Cx) * (c - s.Cx) + (r - s.Cy) * (r - s.Cy);
      if (d2 < r2max && smooth[(r - 1) * s.Nx + c - 1] <= threshold) ++dark;
    }
  s.RoughObstruction = std::sqrt(dark / kPi) / s.RoughRadius;

  // Robust background from well outside the donut, when there is room.
  work.clear();
  const double far2 = 1.25 * 1.25 * s.RoughRadius * s.RoughRadius;
  for (int r = 1; r <= s.Ny; ++r)
    for (int c = 1; c <= s.Nx; ++c)
      if ((c - s.Cx) * (c - s.Cx) + (r - s.Cy) * (r - s.Cy) > far2)
        work.push_back(s.V[(r - 1) * s.Nx + c - 1]);
  if (work.size() >= 100) background = UpperMedian(work);
  long double flux = 0;
  for (double& v : s.V) {
    v -= background;
  }
  const double fluxRadius2 = FluxRadius() * FluxRadius() * s.RoughRadius * s.RoughRadius;
  // The centre is the light's centroid: the rays keep their light, so it is
  // where the pupil's centre lands give or take a tilt, which the loop
  // solves. The outline's centroid is not: aberrations move the edges of a
  // thin annulus unequally, and behind 61 % at f/8 it was 3 pixels off,
  // which reads the aberrations in a shifted pupil. Hot pixels and cosmic
  // rays are clipped at twice the donut's bright level.
  const double clip = 2.0 * bright;
  for (int round = 0; round < 3; ++round) {
    long double sx = 0, sy = 0, sum = 0;
    for (int r = 1; r <= s.Ny; ++r)
      for (int c = 1; c <= s.Nx; ++c)
        if ((c - s.Cx) * (c - s.Cx) + (r - s.Cy) * (r - s.Cy) <= fluxRadius2) {
          const double v = std::min(s.V[(r - 1) * s.Nx + c - 1], clip);
          sx += v * c;
          sy += v * r;
          sum += v;
        }
    if (!(sum > 0)) return false;
    s.Cx = static_cast<double>(sx / sum);
    s.Cy = static_cast<double>(sy / sum);
  }
  for (int r = 1; r <= s.Ny; ++r)
    for (int c = 1; c <= s.Nx; ++c)
      if ((c - s.Cx) * (c - s.Cx) + (r - s.Cy) * (r - s.Cy) <= fluxRadius2)
        flux += s.V[(r - 1) * s.Nx + c - 1];
  if (!(flux > 0)) return false;
  // Equal flux: both images scaled to the same total (the level is set
  // from their mean later).
  const double scale = 1.0e4 / static_cast<double>(flux);
  for (double& v : s.V) v *= scale;
  return true;
}

// The working geometry: an n x n grid with the pupil centred on it.
struct Geometry {
  int N = 0;
  double Centre = 0;  // column and row of the pupil centre
  double Rho = 0;     // pupil image radius, pixels
  double Obstruction = 0;
  double X(int c) const { return (c - Centre) / Rho; }
  double Y(int r) const { return -(r - Centre) / Rho; }
};

struct Compensated {
  std::vector<double> Intra, Extra;  // n x n, row-major
};

// Where a ray from pupil point x lands on each (turned) image, in pupil
// image radii: u = A x + c grad W, c being CIntra or CExtra.
//
// To first order A = 1. A fast beam is followed as a converging sphere: the
// pupil coordinate is the sine of the ray's angle (a = R / f at the rim)
// and the detector records its tangent, so A = sqrt((1 - a^2) / (1 - a^2
// |x|^2)), 1 at the rim, and the images are sharper in the middle. The
// slopes move a ray as to first order, but the image's radius is l a /
// sqrt(1 - a^2) rather than l a, so c shrinks by sqrt(1 - a^2).
struct RayMapping {
  double CIntra = 0, CExtra = 0;
  double Sine2 = 0;   // a^2; 0 for the first-order mapping
  double Reach2 = 0;  // the sphere's mapping is held constant beyond this |x|^2

  void Set(double f, double l, double R, bool exact) {
    Sine2 = exact ? (R / f) * (R / f) : 0.0;
    const double shrink = std::sqrt(1.0 - Sine2);
    CIntra = -(f - l) * f / (l * R * R) * shrink;
    CExtra = (f + l) * f / (l * R * R) * shrink;
    Reach2 = Sine2 > 0 ? 0.5 / Sine2 : 0.0;
  }

  // A, and the derivatives of A x: Xx, Xy = Yx, Yy.
  struct Bend {
    double A = 1, Xx = 1, Xy = 0, Yy = 1;
  };
  Bend Nominal(double x, double y) const {
    Bend n;
    const double r2 = x * x + y * y;
    if (!(Sine2 > 0)) return n;
    if (r2 > Reach2) {  // no light out there: keep the scale, drop the bend
      n.A = n.Xx = n.Yy = std::sqrt((1.0 - Sine2) / (1.0 - Sine2 * Reach2));
      return n;
    }
    const double q = 1.0 - Sine2 * r2;
    n.A = std::sqrt((1.0 - Sine2) / q);
    const double bend = n.A * Sine2 / q;
    n.Xx = n.A + bend * x * x;
    n.Yy = n.A + bend * y * y;
    n.Xy = bend * x * y;
    return n;
  }

  // Where the ray from pupil point p, with the wavefront's derivatives d
  // there and slopes c grad W, lands (u, in pupil image radii), carried on
  // by the offset o as the affine map the mapping is at p; returns the
  // mapping's Jacobian.
  static double Land(const Bend& n, const ZernikePolynomialForm::Derivatives& d, double px, double py,
                     double ox, double oy, double c, double& ux, double& uy) {
    const double mxx = n.Xx + c * d.Wxx, myy = n.Yy + c * d.Wyy, mxy = n.Xy + c * d.Wxy;
    ux = n.A * px + c * d.Wx + mxx * ox + mxy * oy;
    uy = n.A * py + c * d.Wy + mxy * ox + myy * oy;
    return mxx * myy - mxy * mxy;
  }

  // The Jacobian of the mapping with slopes c grad W over the one without:
  // how far the wavefront brings the image towards a caustic (0).
  double RelativeJacobian(double x, double y, const ZernikePolynomialForm::Derivatives& d, double c) const {
    const Bend n = Nominal(x, y);
    double ux, uy;
    return Land(n, d, x, y, 0.0, 0.0, c, ux, uy) / (n.Xx * n.Yy - n.Xy * n.Xy);
  }
};

// Resamples both original images through the ray mapping of the wavefront
// held by the form, times the mapping's Jacobian. Only samples where want is
// set (all when null) are computed. False when a wanted sample folds
// (Jacobian <= 0) or maps outside its image.
bool Compensate(const ZernikePolynomialForm& form, const Geometry& g, const Source& intra,
                const Source& extra, const RayMapping& map, const std::vector<std::uint8_t>* want,
                Compensated& out) {
  const std::size_t n = static_cast<std::size_t>(g.N);
  out.Intra.assign(n * n, 0.0);
  out.Extra.assign(n * n, 0.0);
  const double cIntra = map.CIntra, cExtra = map.CExtra;
  bool ok = true;
  for (int r = 1; r <= g.N; ++r) {
    const double y = g.Y(r);
    for (int c = 1; c <= g.N; ++c) {
      const std::size_t i = static_cast<std::size_t>(r - 1) * n + static_cast<std::size_t>(c - 1);
      if (want && !(*want)[i]) continue;
      const double x = g.X(c);
      // Beyond the pupil's edges the polynomials grow fast and would fold
      // light back in: the mapping continues there as the affine map it is
      // at the nearest edge, so that the light the edges spill (blur,
      // fringes) is moved and weighted as the edge itself.
      const double rr = std::sqrt(x * x + y * y);
      double k = 1.0;
      if (rr > 1.0)
        k = 1.0 / rr;
      else if (rr < g.Obstruction)
        k = rr > 0 ? g.Obstruction / rr : 1.0;
      const double px = k * x, py = k * y, ox = x - px, oy = y - py;
      const ZernikePolynomialForm::Derivatives d = form.Wavefront(px, py);
      const RayMapping::Bend bend = map.Nominal(px, py);
      bool in1 = false, in2 = false;
      double u1x, u1y, u2x, u2y;
      const double j1 = RayMapping::Land(bend, d, px, py, ox, oy, cIntra, u1x, u1y);
      const double j2 = RayMapping::Land(bend, d, px, py, ox, oy, cExtra, u2x, u2y);
      const double v1 = intra.At(intra.Cx + g.Rho * u1x, intra.Cy - g.Rho * u1y, in1);
      const double v2 = extra.At(extra.Cx + g.Rho * u2x, extra.Cy - g.Rho * u2y, in2);
      // A fold or a sample off the image inside the pupil stops the
      // loop; beyond the pupil the mapping of a partial estimate may fold
      // where there is no light, which reads as no light.
      const double r2 = x * x + y * y;
      const bool pupil = r2 <= 1.0 && r2 >= g.Obstruction * g.Obstruction;
      if (want && pupil && (!(j1 > 0) || !(j2 > 0) || !in1 || !in2)) ok = false;
      out.Intra[i] = j1 > 0 ? j1 * v1 : 0.0;
      out.Extra[i] = j2 > 0 ? j2 * v2 : 0.0;
    }
  }
  return ok;
}

std::shared_ptr<TPupille> GridFrom(const std::vector<double>& v, const Geometry& g, std::uint8_t kind) {
  auto p = std::make_shared<TPupille>();
  p->Init(g.N, g.N);
  for (int r = 1; r <= g.N; ++r)
    std::copy(v.begin() + static_cast<std::ptrdiff_t>(r - 1) * g.N,
              v.begin() + static_cast<std::ptrdiff_t>(r) * g.N, p->Values[1][r] + 1);
  p->Kind = kind;
  p->Threshold = 0.5;  // the images are scaled to 1 inside the pupil
  p->ThresholdMask();
  p->MeasurePupil();
  p->SetPupilAxes();
  return p;
}

// The level of the mean of a compensated pair inside the pupil, away from
// both edges: its upper median.
double InteriorLevel(const Compensated& pair, const Geometry& g, double inner) {
  std::vector<double> interior;
  for (int r = 1; r <= g.N; ++r)
    for (int c = 1; c <= g.N; ++c) {
      const double rr = std::hypot(g.X(c), g.Y(r));
      const std::size_t i = static_cast<std::size_t>(r - 1) * g.N + c - 1;
      if (rr >= inner + 0.2 * (1 - inner) && rr <= 0.8)
        interior.push_back(0.5 * (pair.Intra[i] + pair.Extra[i]));
    }
  return UpperMedian(interior);
}

void Finish(TProgressCallbacks& progress) {
  if (progress.Finish) progress.Finish();
}

}  // namespace

int AccurateTermsAtPass(int pass, int basisCount) {
  const int schedule = pass <= 2 ? 4 : pass <= 4 ? 6 : pass <= 8 ? 13 : basisCount;
  return std::max(1, std::min(schedule, basisCount));
}

std::string AccurateConvergenceNote(const TAccurateRunInfo& run) {
  if (run.Converged) return {};
  if (run.FoldBlocked)
    return "the corrected images fold: the images are too close to focus for these aberrations";
  if (run.SmallestJacobian < kAccurateSmallestJacobian)
    return "the images come too close to a caustic for these aberrations (use a larger defocus)";
  return "the corrected images still differ after the last pass";
}

void ReconstructAccurate(TRoddier& slot, TAccurateRunInfo* info) {
  ReconstructAccurate(slot, ZernikeBasis, info);
}

namespace {

// A second run starts from the first one's estimate and measures the pupil
// on the images it compensates.
struct PupilRestart {
  ZernikeCoefficients Start{};
  double Obstruction = 0;
};

void RunAccurate(TRoddier& slot, const TZernikeBasis& basis, TAccurateRunInfo& run,
                 const PupilRestart* restart) {
  run = TAccurateRunInfo{};
  slot.OuterPasses = slot.InnerPasses = 0;
  slot.Wavefront.reset();
  slot.Residual.reset();
  if (!slot.IntraImage || !slot.ExtraImage || !slot.IntraImage->HasArrays() ||
      !slot.ExtraImage->HasArrays() || slot.IntraImage->Nx != slot.ExtraImage->Nx ||
      slot.IntraImage->Ny != slot.ExtraImage->Ny || !(slot.Defocus > 0) ||
      !(slot.FocalLength > slot.Defocus) || !(slot.Radius > 0)) {
    Finish(slot.Progress);
    return;
  }

  // 1. Preparation.
  Source intra, extra;
  if (!PrepareSource(*slot.IntraImage, intra) || !PrepareSource(*slot.ExtraImage, extra)) {
    Finish(slot.Progress);
    return;
  }
  Geometry g;
  g.N = 1;
  while (g.N < std::max(slot.IntraImage->Nx, slot.IntraImage->Ny)) g.N *= 2;
  g.Centre = g.N / 2.0;
  g.Rho = 0.5 * (intra.RoughRadius + extra.RoughRadius);
  const double roughObstruction = 0.5 * (intra.RoughObstruction + extra.RoughObstruction);

  const double f = slot.FocalLength, l = slot.Defocus, R = slot.Radius;
  RayMapping map;
  map.Set(f, l, R, !slot.ParaxialGeometry);

  // The pupil image radius (sub-pixel) and obstruction from the mean image:
  // its flux over its interior level is the annulus area, and the light
  // missing inside the hole is the hole's area.
  ZernikePolynomialForm form;
  ZernikeCoefficients z{};
  Compensated images;
  if (restart && form.Build(restart->Obstruction, basis)) z = restart->Start;
  form.SetWavefront(z);  // without a restart no terms are built yet: a flat wavefront
  // The sphere's mapping bends with the radius it is scaled by: the
  // measure is made again on images compensated with the radius found.
  const int rounds = map.Sine2 > 0 ? 3 : 1;
  double level = 0;
  for (int round = 0; round < rounds; ++round) {
    if (!Compensate(form, g, intra, extra, map, nullptr, images)) {
      Finish(slot.Progress);
      return;
    }
    long double flux = 0, hole = 0;
    const double rough = restart ? restart->Obstruction : roughObstruction;
    const double inner = slot.KnownObstruction > 0 ? slot.KnownObstruction : rough < 0.08 ? 0.0 : rough;
    const double mid = inner > 0 ? 0.5 * (inner + 1.0) : 0.0;
    for (int r = 1; r <= g.N; ++r)
      for (int c = 1; c <= g.N; ++c) {
        const std::size_t i = static_cast<std::size_t>(r - 1) * g.N + c - 1;
        if (std::hypot(g.X(c), g.Y(r)) <= FluxRadius()) flux += 0.5 * (images.Intra[i] + images.Extra[i]);
      }
    level = InteriorLevel(images, g, inner);
    if (!(level > 0)) {
      Finish(slot.Progress);
      return;
    }
    if (inner > 0)
      for (int r = 1; r <= g.N; ++r)
        for (int c = 1; c <= g.N; ++c) {
          const std::size_t i = static_cast<std::size_t>(r - 1) * g.N + c - 1;
          if (std::hypot(g.X(c), g.Y(r)) < mid)
            hole += 1.0 - 0.5 * (images.Intra[i] + images.Extra[i]) / level;
        }
    const double holeArea = std::max(0.0, static_cast<double>(hole));
    const double known = slot.KnownObstruction;
    // A known obstruction: the annulus's area alone gives the radius.
    const double rho = known > 0
                           ? std::sqrt(static_cast<double>(flux) / level / (kPi * (1.0 - known * known)))
                           : std::sqrt((static_cast<double>(flux) / level + holeArea) / kPi);
    g.Rho = rho;
    g.Obstruction = known > 0 ? known : inner > 0 ? std::sqrt(holeArea / kPi) / rho : 0.0;
  }
  // Intensities scaled to 1 inside the pupil.
  for (Source* s : {&intra, &extra})
    for (double& v : s->V) v /= level;
  run.PupilImageRadius = g.Rho;
  run.Obstruction = g.Obstruction;
  if (!form.Build(g.Obstruction, basis) || !(g.Rho > 4)) {
    Finish(slot.Progress);
    return;
  }
  const int basisCount = form.Count();

  // 2. The computation mask: the donut and a few pixels beyond both edges,
  // with every term's value and gradient at each of its samples.
  const double margin = (4.0 + 0.02 * g.Rho) / g.Rho;
  const double outerEdge = 1.0 + margin;
  const double innerEdge = g.Obstruction > 0 ? std::max(0.0, g.Obstruction - margin) : -1.0;
  const std::size_t nn = static_cast<std::size_t>(g.N) * g.N;
  std::vector<std::uint8_t> want(nn, 0);
  std::vector<std::size_t> samples;
  for (int r = 1; r <= g.N; ++r)
    for (int c = 1; c <= g.N; ++c) {
      const double rr = std::hypot(g.X(c), g.Y(r));
      if (rr <= outerEdge && rr >= innerEdge) {
        const std::size_t i = static_cast<std::size_t>(r - 1) * g.N + c - 1;
        want[i] = 1;
        samples.push_back(i);
      }
    }
  const std::size_t count = samples.size();
  const std::size_t nt = static_cast<std::size_t>(basisCount);
  // Term values and slopes are kept per sample when they fit in a sane
  // amount of memory; for huge pupils they are evaluated at each pass.
  const bool cached = count * nt * 3 * sizeof(float) <= kMaxTermCacheBytes;
  std::vector<float> zv(cached ? count * nt : 0), zx(cached ? count * nt : 0), zy(cached ? count * nt : 0);
  auto termsAt = [&](std::size_t p, std::size_t t, float* v, float* gx, float* gy) {
    const int r = static_cast<int>(samples[p] / g.N) + 1, c = static_cast<int>(samples[p] % g.N) + 1;
    for (std::size_t k = 0; k < t; ++k) {
      double tv, tx, ty;
      form.Term(static_cast<int>(k) + 1, g.X(c), g.Y(r), tv, tx, ty);
      v[k] = static_cast<float>(tv);
      gx[k] = static_cast<float>(tx);
      gy[k] = static_cast<float>(ty);
    }
  };
  if (cached)
    for (std::size_t p = 0; p < count; ++p) termsAt(p, nt, &zv[p * nt], &zx[p * nt], &zy[p * nt]);

  // The transport equation in weak form against each term: the difference
  // of the images against Z_i equals C times the mean image against
  // grad Z_i . grad W / R^2, with C = 2 f (f - l) / l; pixel areas cancel.
  const double transport = 2.0 * f * (f - l) / l / (R * R) * std::sqrt(1.0 - map.Sine2);
  Eigen::MatrixXd m(nt, nt);
  Eigen::VectorXd rhs(nt);
  auto solveIncrement = [&](int terms, ZernikeCoefficients& increment,
                            const Eigen::VectorXd* offset = nullptr) {
    const std::size_t t = static_cast<std::size_t>(terms);
    m.setZero();
    rhs.setZero();
    std::vector<double> a(t), b(t);
    std::vector<float> tv(t), tx(t), ty(t);
    for (std::size_t p = 0; p < count; ++p) {
      const std::size_t i = samples[p];
      const double mean = 0.5 * (images.Intra[i] + images.Extra[i]);
      const double diff = images.Extra[i] - images.Intra[i];
      if (!cached) termsAt(p, t, tv.data(), tx.data(), ty.data());
      const float* v = cached ? zv.data() + p * nt : tv.data();
      const float* gx = cached ? zx.data() + p * nt : tx.data();
      const float* gy = cached ? zy.data() + p * nt : ty.data();
      for (std::size_t k = 0; k < t; ++k) {
        rhs(static_cast<Eigen::Index>(k)) += diff * v[k];
        a[k] = mean * gx[k];
        b[k] = mean * gy[k];
      }
      for (std::size_t j = 0; j < t; ++j)
        for (std::size_t k = j; k < t; ++k)
          m(static_cast<Eigen::Index>(j), static_cast<Eigen::Index>(k)) += a[j] * gx[k] + b[j] * gy[k];
    }
    if (offset) rhs.head(static_cast<Eigen::Index>(t)) -= offset->head(static_cast<Eigen::Index>(t));
    // Piston has no gradient: terms 2..terms are solved.
    const Eigen::Index s = static_cast<Eigen::Index>(t) - 1;
    increment.fill(0.0);
    if (s < 1) return;
    Eigen::MatrixXd sub = m.block(1, 1, s, s).selfadjointView<Eigen::Upper>();
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> eig(sub);
    const Eigen::VectorXd& lambda = eig.eigenvalues();
    const double cut = 1e-9 * std::max(lambda.cwiseAbs().maxCoeff(), 1e-300);
    Eigen::VectorXd proj = eig.eigenvectors().transpose() * rhs.segment(1, s);
    for (Eigen::Index k = 0; k < s; ++k) proj(k) = lambda(k) > cut ? proj(k) / lambda(k) : 0.0;
    const Eigen::VectorXd sol = eig.eigenvectors() * proj;
    for (Eigen::Index k = 0; k < s; ++k) increment[static_cast<std::size_t>(k + 2)] = sol(k) / transport;
  };

  // 3. Outer loop: the original images compensated by the whole estimate.
  // The measure of the loop is how much the compensated pair still differs
  // inside the pupil, away from the edges whose fringes never cancel: a step
  // that makes it worse, or that folds the compensation, is halved rather
  // than taken.
  std::vector<std::size_t> interior;
  {
    const double band = (3.0 + 0.03 * g.Rho) / g.Rho;
    const double outer = 1.0 - band, inner = g.Obstruction > 0 ? g.Obstruction + band : -1.0;
    for (std::size_t i : samples) {
      const double rr = std::hypot(g.X(static_cast<int>(i % g.N) + 1), g.Y(static_cast<int>(i / g.N) + 1));
      if (rr <= outer && rr >= inner) interior.push_back(i);
    }
  }
  auto difference = [&](const Compensated& pair) {
    long double sum = 0;
    for (std::size_t i : interior) {
      const double mean = 0.5 * (pair.Intra[i] + pair.Extra[i]);
      const double d = (pair.Extra[i] - pair.Intra[i]) / std::max(mean, 0.05);
      sum += d * d;
    }
    return interior.empty() ? 0.0 : static_cast<double>(std::sqrt(sum / interior.size()));
  };

  if (slot.Progress.Step) slot.Progress.Step();
  form.SetWavefront(z);
  if (!Compensate(form, g, intra, extra, map, &want, images)) {
    run.Frozen = true;  // the pupil does not even fit in the frames
    Finish(slot.Progress);
    return;
  }
  double current = difference(images);
  run.InitialDifference = current;
  Compensated trial;
  bool foldBlocked = false, settled = false;
  int slowPasses = 0;
  for (int pass = 1; pass <= kAccurateMaxPasses; ++pass) {
    // The progress bar counts the planned passes; later ones run unseen.
    if (pass > 1 && pass <= kAccuratePasses && slot.Progress.Step) slot.Progress.Step();
    const int terms = AccurateTermsAtPass(pass, basisCount);
    const bool full = terms == basisCount;
    ZernikeCoefficients increment{};
    solveIncrement(terms, increment);
    bool finite = true;
    for (double v : increment) finite = finite && std::isfinite(v);
    if (!finite) {  // keep the last sound estimate
      run.Frozen = true;
      break;
    }
    // Backtracking: while the schedule still adds terms a worse measure is
    // expected (the missing terms are not compensated yet); only folds are
    // refused then.
    double gain = kAccurateGain;
    bool accepted = false, folded = false;
    double next = current;
    ZernikeCoefficients candidate = z;
    for (int halving = 0; halving <= kAccurateHalvings; ++halving, gain *= 0.5) {
      candidate = z;
      for (int k = 1; k <= terms; ++k)
        candidate[static_cast<std::size_t>(k)] += gain * increment[static_cast<std::size_t>(k)];
      form.SetWavefront(candidate);
      if (!Compensate(form, g, intra, extra, map, &want, trial)) {
        folded = true;
        continue;
      }
      next = difference(trial);
      if (!full || next <= current) {
        accepted = true;
        break;
      }
    }
    run.Passes = pass;
    run.Terms = terms;
    ++slot.OuterPasses;
    if (!accepted) {
      // No step along the increment helps: at the full basis a stationary
      // point, unless the steps folded the compensation (the estimate wants
      // to go where the light has crossed itself).
      foldBlocked = folded;
      run.Frozen = folded;
      settled = full && !foldBlocked;
      break;
    }
    double sum = 0;
    for (int k = 4; k <= terms; ++k) {
      const double nf = basis.NormFactors[static_cast<std::size_t>(k)];
      const double step = gain * increment[static_cast<std::size_t>(k)];
      if (nf > 0) sum += (step / nf) * (step / nf);
    }
    run.LastIncrement = std::sqrt(sum);
    const double previous = current;
    z = candidate;
    std::swap(images, trial);
    current = next;
    if (!full) continue;
    const double gainOfPass = previous > 0 ? 1.0 - current / previous : 0.0;
    // Progress too slow to matter for two passes running: done.
    slowPasses = gainOfPass < kAccurateProgress ? slowPasses + 1 : 0;
    if (run.LastIncrement < 0.01 || slowPasses >= 2) {
      settled = true;
      break;
    }
    // Beyond the planned passes only while the pair still comes together
    // fast: late small steps drift with what the model does not hold.
    if (pass >= kAccuratePasses && gainOfPass < kAccurateExtraProgress) {
      settled = true;
      break;
    }
  }
  // The edge's softness on the pair compensated by the estimate, whose
  // aberrations no longer move the edge around the pupil.
  // That whole pair is also the final one unless model passes follow.
  Compensated whole;
  bool wholeIsFinal = false;
  if (cached && !run.Frozen) {
    form.SetWavefront(z);
    Compensate(form, g, intra, extra, map, nullptr, whole);  // a fold outside the pupil reads as no light
    wholeIsFinal = true;
    std::vector<double> mean(whole.Intra.size());
    for (std::size_t i = 0; i < mean.size(); ++i) mean[i] = 0.5 * (whole.Intra[i] + whole.Extra[i]);
    run.EdgeBlur = DonutEdgeBlur(mean, g.N, g.N, g.Centre, g.Centre, g.Rho);
    // Flat under a right estimate, at 1 if the pupil was measured right.
    run.CompensatedLevel = InteriorLevel(whole, g, g.Obstruction);
  }
  // The loop ends against a model pair: the pair the estimate would give,
  // traced through the same mapping (3 x 3 rays a pupil pixel) and
  // compensated the same way. What the observed pair still has against Z_i
  // beyond it is what the estimate lacks, so whatever the compensation does
  // not hold exactly no longer biases the fixed point: the rims of thin
  // annuli in fast beams, and blur, which softens both images alike but
  // which the mapping back to the pupil stretches differently in each.
  //
  // The model is blurred too. A soft edge against a small image (a few
  // waves of defocus) is modelled whole: its diffraction then shapes the
  // whole image much as a blur would. Otherwise the geometric model holds
  // the diffraction well enough, and only the softness it does not explain,
  // the seeing, is modelled.
  if (slot.Wavelength > 0)
    run.EdgeDiffraction = kEdgeDiffractionFactor * std::sqrt(slot.Wavelength * l) * f / (l * R) * g.Rho;
  const double seeing =
      std::sqrt(std::max(0.0, run.EdgeBlur * run.EdgeBlur - run.EdgeDiffraction * run.EdgeDiffraction));
  if (run.EdgeBlur >= kAccurateBlurFloor * g.Rho)
    run.ModelBlur = run.EdgeBlur;
  else if (seeing >= kAccurateSeeingFloor * g.Rho)
    run.ModelBlur = seeing;
  if (cached && !run.Frozen) {
    // The tracing itself spreads by a variance of 1/6 pixel.
    const double sigma = std::sqrt(std::max(0.0, run.ModelBlur * run.ModelBlur - 1.0 / 6.0));
    // One evaluation of the wavefront a pupil pixel serves its nine rays
    // in both images: they land by the affine map the mapping is there.
    auto splat = [](Source& out, double col, double row) {
      const double fc = std::floor(col), fr = std::floor(row);
      if (!(fc >= 1 && fr >= 1 && fc < out.Nx && fr < out.Ny)) return;
      const int ic = static_cast<int>(fc), ir = static_cast<int>(fr);
      const double tc = col - fc, tr = row - fr, w = 1.0 / 9.0;
      double* line = out.V.data() + static_cast<std::size_t>(ir - 1) * out.Nx + (ic - 1);
      line[0] += w * (1 - tc) * (1 - tr);
      line[1] += w * tc * (1 - tr);
      line[out.Nx] += w * (1 - tc) * tr;
      line[out.Nx + 1] += w * tc * tr;
    };
    auto renderPair = [&](Source& outIntra, Source& outExtra) {
      outIntra = intra;
      outExtra = extra;
      std::fill(outIntra.V.begin(), outIntra.V.end(), 0.0);
      std::fill(outExtra.V.begin(), outExtra.V.end(), 0.0);
      const double inner2 = g.Obstruction * g.Obstruction, half = 0.75 / g.Rho;
      const double reachOut = (1.0 + half) * (1.0 + half);
      const double reachIn = g.Obstruction > half ? (g.Obstruction - half) * (g.Obstruction - half) : 0.0;
      for (int r = 1; r <= g.N; ++r)
        for (int k = 1; k <= g.N; ++k) {
          const double x = g.X(k), y = g.Y(r);
          const double c2 = x * x + y * y;
          if (c2 > reachOut || c2 < reachIn) continue;
          const ZernikePolynomialForm::Derivatives d = form.Wavefront(x, y);
          const RayMapping::Bend bend = map.Nominal(x, y);
          for (int a = 0; a < 3; ++a)
            for (int b = 0; b < 3; ++b) {
              const double ox = (a - 1) / (3 * g.Rho), oy = -(b - 1) / (3 * g.Rho);
              const double r2 = (x + ox) * (x + ox) + (y + oy) * (y + oy);
              if (r2 > 1.0 || r2 < inner2) continue;
              double ux, uy;
              RayMapping::Land(bend, d, x, y, ox, oy, map.CIntra, ux, uy);
              splat(outIntra, intra.Cx + g.Rho * ux, intra.Cy - g.Rho * uy);
              RayMapping::Land(bend, d, x, y, ox, oy, map.CExtra, ux, uy);
              splat(outExtra, extra.Cx + g.Rho * ux, extra.Cy - g.Rho * uy);
            }
        }
      if (sigma > 0.25) {
        GaussianBlurClamped(outIntra.V, outIntra.Nx, outIntra.Ny, sigma);
        GaussianBlurClamped(outExtra.V, outExtra.Nx, outExtra.Ny, sigma);
      }
    };
    Source modelIntra, modelExtra;
    Compensated model;
    Eigen::VectorXd offset(static_cast<Eigen::Index>(nt));
    for (int pass = 0; pass < kAccurateModelPasses; ++pass) {
      form.SetWavefront(z);
      renderPair(modelIntra, modelExtra);
      if (!Compensate(form, g, modelIntra, modelExtra, map, &want, model)) break;
      offset.setZero();
      for (std::size_t p = 0; p < count; ++p) {
        const std::size_t i = samples[p];
        const double diff = model.Extra[i] - model.Intra[i];
        const float* v = zv.data() + p * nt;
        for (std::size_t k = 0; k < nt; ++k) offset(static_cast<Eigen::Index>(k)) += diff * v[k];
      }
      ZernikeCoefficients increment{};
      solveIncrement(basisCount, increment, &offset);
      bool finite = true;
      for (double v : increment) finite = finite && std::isfinite(v);
      if (!finite) break;
      ZernikeCoefficients candidate = z;
      for (int k = 1; k <= basisCount; ++k)
        candidate[static_cast<std::size_t>(k)] += kAccurateModelGain * increment[static_cast<std::size_t>(k)];
      form.SetWavefront(candidate);
      if (!Compensate(form, g, intra, extra, map, &want, trial)) break;
      z = candidate;
      wholeIsFinal = false;
      std::swap(images, trial);
      current = difference(images);
      ++run.Passes;
      ++run.ModelPasses;
      ++slot.OuterPasses;
    }
  }
  run.FinalDifference = current;
  {
    // The smallest Jacobian of either mapping inside the pupil: how close
    // the images come to a caustic under the final estimate.
    form.SetWavefront(z);
    double low = 1.0;
    for (std::size_t i : interior) {
      const double x = g.X(static_cast<int>(i % g.N) + 1), y = g.Y(static_cast<int>(i / g.N) + 1);
      const auto d = form.Wavefront(x, y);
      low = std::min(
          {low, map.RelativeJacobian(x, y, d, map.CIntra), map.RelativeJacobian(x, y, d, map.CExtra)});
    }
    run.SmallestJacobian = low;
  }
  run.FoldBlocked = foldBlocked;
  run.Converged = settled && !foldBlocked && run.SmallestJacobian >= kAccurateSmallestJacobian;
  run.Coefficients = z;

  // 4. The same objects as the classic run: compensated images, their
  // signal, a final Poisson solve whose higher orders join the model.
  form.SetWavefront(z);
  if (wholeIsFinal)
    images = std::move(whole);
  else
    Compensate(form, g, intra, extra, map, nullptr, images);
  slot.IntraImage = GridFrom(images.Intra, g, kKindIntra);
  slot.ExtraImage = GridFrom(images.Extra, g, kKindExtra);
  slot.Signal = std::make_shared<TPupille>();
  slot.Signal->Init(g.N, g.N);
  slot.ComputeSignal();
  {
    // The edges of the compensated images carry what the modal solve has
    // already used (and their diffraction fringes): only the interior
    // signal feeds the higher orders.
    TPupille& sig = *slot.Signal;
    const double band = 3.0 + 0.03 * g.Rho;
    const double outer = g.Rho - band, inner = g.Obstruction > 0 ? g.Obstruction * g.Rho + band : -1.0;
    long double sum = 0;
    long used = 0;
    for (int r = 1; r <= g.N; ++r)
      for (int c = 1; c <= g.N; ++c) {
        const double d = std::hypot(c - g.Centre, r - g.Centre);
        if (d > outer || d < inner) {
          sig.Values[1][r][c] = 0.0;
        } else if (sig.Mask[1][r][c] == 1) {
          sum += sig.Values[1][r][c];
          ++used;
        }
      }
    const double mean = used > 0 ? static_cast<double>(sum / used) : 0.0;
    for (int r = 1; r <= g.N; ++r)
      for (int c = 1; c <= g.N; ++c) {
        const double d = std::hypot(c - g.Centre, r - g.Centre);
        if (!(d > outer || d < inner) && sig.Mask[1][r][c] == 1) sig.Values[1][r][c] -= mean;
      }
  }
  const TProgressCallbacks progress = slot.Progress;
  slot.Progress = {};
  slot.SolvePoisson();
  slot.Progress = progress;
  TPupille& res = *slot.Residual;
  res.Obstruction = g.Obstruction;
  res.SetPupilAxes();
  SelectAll(res.Selected);
  res.FitZernike(basis);
  ZernikeSelection none{};
  res.ApplySelection(none);  // the fitted orders off: what the model cannot say
  ClearCoefficients(res.Coefficients);
  Finish(slot.Progress);

  slot.Wavefront = std::make_shared<TPupille>();
  TPupille& w = *slot.Wavefront;
  w.Basis = basis;
  w.Init(g.N, g.N);
  w.OriginColumn = w.OriginRow = g.Centre;
  w.PupilRadius = g.Rho;
  w.Obstruction = g.Obstruction;
  w.SetPupilAxes();
  const double inner2 = g.Obstruction * g.Obstruction;
  for (int r = 1; r <= g.N; ++r) {
    double* v = w.Values[1][r];
    std::int16_t* mk = w.Mask[1][r];
    const double* hv = res.Values[1][r];
    const std::int16_t* hm = res.Mask[1][r];
    for (int c = 1; c <= g.N; ++c) {
      const double x = w.XAxis[c], y = w.YAxis[r];
      const double r2 = x * x + y * y;
      if (r2 > 1.0 || r2 < inner2) {
        v[c] = 0.0;
        mk[c] = 0;
        continue;
      }
      v[c] = form.Wavefront(x, y).W + (hm[c] == 1 ? hv[c] : 0.0);
      mk[c] = 1;
    }
  }
  FinishReconstruction(slot, g.Obstruction);
}

}  // namespace

void ReconstructAccurate(TRoddier& slot, const TZernikeBasis& basis, TAccurateRunInfo* info) {
  TAccurateRunInfo local;
  TAccurateRunInfo& run = info ? *info : local;
  // The run replaces the slot's images by the compensated ones; a second
  // run needs the originals, and the progress bar ends once.
  const std::shared_ptr<TPupille> intra = slot.IntraImage, extra = slot.ExtraImage;
  const TProgressCallbacks progress = slot.Progress;
  slot.Progress.Finish = nullptr;
  RunAccurate(slot, basis, run, nullptr);
  if (slot.Wavefront && !run.Frozen && run.CompensatedLevel > 0 &&
      std::fabs(run.CompensatedLevel - 1.0) > kAccurateLevelTolerance) {
    // Keep the first result should the second run fail.
    const TAccurateRunInfo first = run;
    const std::shared_ptr<TPupille> wavefront = slot.Wavefront, residual = slot.Residual,
                                    signal = slot.Signal, compensatedIntra = slot.IntraImage,
                                    compensatedExtra = slot.ExtraImage;
    const int outer = slot.OuterPasses, inner = slot.InnerPasses;
    const PupilRestart again{first.Coefficients, first.Obstruction};
    slot.IntraImage = intra;
    slot.ExtraImage = extra;
    slot.Progress.Step = nullptr;  // the bar counted the first run's passes
    RunAccurate(slot, basis, run, &again);
    if (slot.Wavefront) {
      run.PupilRounds = 2;
      run.Passes += first.Passes;
      run.InitialDifference = first.InitialDifference;
      slot.OuterPasses += outer;
      slot.InnerPasses += inner;
    } else {
      run = first;
      slot.Wavefront = wavefront;
      slot.Residual = residual;
      slot.Signal = signal;
      slot.IntraImage = compensatedIntra;
      slot.ExtraImage = compensatedExtra;
      slot.OuterPasses = outer;
      slot.InnerPasses = inner;
    }
  }
  slot.Progress = progress;
  Finish(slot.Progress);
}

}  // namespace caustica
