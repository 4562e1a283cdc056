#include "analysis/star_models.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/u_fft.h"

namespace caustica {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kNmToMm = 1e-6;
// Rays across the pupil diameter: enough for a smooth edge, few enough to
// stay within a second even for the largest frames.
constexpr int kMinRays = 64;
constexpr int kMaxRays = 8192;
// Fresnel sampling: the transform window is at least this many times the
// geometric image, and the pupil is sampled at least this finely.
constexpr double kGuard = 1.25;
constexpr int kMinPupilSamples = 64;
constexpr int kMaxTransform = 4096;

// Pixel centre offsets from the optical axis, which falls on the frame's
// centre ((n + 1) / 2 in 1-based indices): this is the point Rotate180 keeps.
double CentreIndex(int n) { return 0.5 * (n + 1); }

}  // namespace

// Ray model. A ray leaves pupil point p (mm) along the normal of the
// wavefront. With W the path error against the reference sphere centred on
// the focus (positive ahead of it), the ray crosses the focal plane at
// e = -f grad W (first order in the slopes). It is straight from the pupil to
// there, so at distance z from focus (f + z from the pupil) it is at
//   x(z) = p + (e - p) (f + z) / f = -(z / f) p - (f + z) grad W.
// Inside focus (z = -l) the pupil is upright, (l / f) p - (f - l) grad W;
// beyond it, -(l / f) p - (f + l) grad W, turned by 180 degrees. Turning the
// extra-focal image back gives (l / f) p + (f + l) grad W, the two mappings
// the reconstruction's image correction undoes.
//
// Exact geometry: the pupil is the reference sphere, its coordinate the
// sine of the ray's angle to the axis (a = R / f at the rim), as in an
// aplanatic system, and the detector records the tangent: the unaberrated
// ray lands at -(z / f) p / sqrt(1 - a^2 |p / R|^2). The slopes move it as
// to first order (the direction cosines are the pupil coordinates).
void RenderGeometric(const StarSetup& s, const StarWavefront& wavefront, double z, DoublePlanes& image,
                     long long& rayCount) {
  image.Allocate(s.Width, s.Height, 1);
  const double pixel = std::min(s.PixelX, s.PixelY);
  const double imageRadius = std::abs(z) * s.Radius / s.FocalLength / pixel;
  const double wanted = std::ceil(2.0 * s.RaysPerPixel * imageRadius);
  const int m =
      static_cast<int>(std::clamp(wanted, static_cast<double>(kMinRays), static_cast<double>(kMaxRays)));
  const double h = 2.0 / m;
  const double e2 = s.Obstruction * s.Obstruction;

  // Pixel coordinates (0-based, fractional) of a point (mm) are affine in x, y.
  const double ax = -(z / s.FocalLength) * s.Radius / s.PixelX;            // per pupil unit
  const double gx = -(s.FocalLength + z) * kNmToMm / s.Radius / s.PixelX;  // per nm of slope
  const double ay = (z / s.FocalLength) * s.Radius / s.PixelY;             // rows run downwards
  const double gy = (s.FocalLength + z) * kNmToMm / s.Radius / s.PixelY;
  const double c0 = CentreIndex(s.Width) - 1.0;
  const double r0 = CentreIndex(s.Height) - 1.0;
  const int w = s.Width, hgt = s.Height;
  double* out = image.PlaneData(1);
  const double a2 = s.ExactGeometry ? (s.Radius / s.FocalLength) * (s.Radius / s.FocalLength) : 0.0;

  long long count = 0;
  StarWavefront::Row row;
  const bool flat = wavefront.IsZero();
  for (int j = 0; j < m; ++j) {
    const double y = 1.0 - (j + 0.5) * h;
    const double span2 = 1.0 - y * y;
    if (span2 <= 0.0) continue;
    if (!flat) wavefront.RowAt(y, row);
    // Only the columns that can lie inside the rim.
    const double span = std::sqrt(span2);
    const int iFirst = std::max(0, static_cast<int>(std::floor((1.0 - span) / h)) - 1);
    const int iLast = std::min(m - 1, static_cast<int>(std::ceil((1.0 + span) / h)) + 1);
    for (int i = iFirst; i <= iLast; ++i) {
      const double x = -1.0 + (i + 0.5) * h;
      const double r2 = x * x + y * y;
      if (r2 > 1.0 || r2 < e2) continue;
      ++count;
      double wx = 0.0, wy = 0.0;
      if (!flat) {
        wx = row.SlopeX(x);
        wy = row.SlopeY(x);
      }
      const double secant = a2 > 0.0 ? 1.0 / std::sqrt(1.0 - a2 * r2) : 1.0;
      const double pc = c0 + ax * secant * x + gx * wx;
      const double pr = r0 + ay * secant * y + gy * wy;
      // Bilinear splat onto the four nearest pixel centres.
      const double fc = std::floor(pc), fr = std::floor(pr);
      if (!(fc >= -1.0 && fr >= -1.0 && fc < w && fr < hgt)) continue;
      const int ic = static_cast<int>(fc), ir = static_cast<int>(fr);
      const double tc = pc - fc, tr = pr - fr;
      if (ir >= 0) {
        double* line = out + static_cast<std::size_t>(ir) * w;
        if (ic >= 0) line[ic] += (1.0 - tc) * (1.0 - tr);
        if (ic + 1 < w) line[ic + 1] += tc * (1.0 - tr);
      }
      if (ir + 1 < hgt) {
        double* line = out + static_cast<std::size_t>(ir + 1) * w;
        if (ic >= 0) line[ic] += (1.0 - tc) * tr;
        if (ic + 1 < w) line[ic + 1] += tc * tr;
      }
    }
  }
  rayCount = count;
  if (count > 0) {
    const double scale = 1.0 / static_cast<double>(count);
    const std::size_t n = image.PlaneSize();
    for (std::size_t k = 0; k < n; ++k) out[k] *= scale;
  }
}

namespace {

// Area weights from transform cells (side cell, cell k centred on
// (k - n/2) cell) onto pixels (side pixel, centred on the frame): the part of
// each cell that lies in each pixel. Every pixel gets a run of at most
// stride consecutive cells.
struct AxisWeights {
  std::vector<int> first;
  std::vector<double> weights;  // pixels x stride
  int stride = 0;
  int lowest = 0, highest = -1;  // cells used by any pixel

  void Build(int pixels, double pixel, int cells, double cell) {
    stride = static_cast<int>(std::ceil(pixel / cell)) + 2;
    first.assign(static_cast<std::size_t>(pixels), 0);
    weights.assign(static_cast<std::size_t>(pixels) * stride, 0.0);
    lowest = cells;
    highest = -1;
    const double centre = CentreIndex(pixels) - 1.0;
    for (int p = 0; p < pixels; ++p) {
      const double lo =
          (p - centre - 0.5) * pixel / cell + cells / 2;  // in cell units, cell k spans k - 0.5 .. k + 0.5
      const double hi = lo + pixel / cell;
      const int k0 = std::max(0, static_cast<int>(std::floor(lo + 0.5)));
      const int k1 = std::min(cells - 1, static_cast<int>(std::floor(hi + 0.5)));
      first[p] = k0;
      for (int k = k0; k <= k1 && k - k0 < stride; ++k) {
        const double overlap = std::min(hi, k + 0.5) - std::max(lo, k - 0.5);
        if (overlap > 0.0) {
          weights[static_cast<std::size_t>(p) * stride + (k - k0)] = overlap;
          lowest = std::min(lowest, k);
          highest = std::max(highest, k);
        }
      }
    }
  }
};

int PowerOfTwoAtLeast(double v) {
  int n = 2;
  while (n < v && n <= kMaxTransform) n *= 2;
  return n;
}

}  // namespace

// Fresnel model. The pupil field is A(p) exp(-i k W) times the converging
// sphere exp(-i k |p|^2 / 2f) (a path ahead of the sphere is a phase lag in
// the exp(-i w t) convention). Propagating it over d = f + z,
//   U(x) ~ integral of A exp(-i k W) exp(-i pi |p|^2 z / (lambda f d)) exp(-2 pi i x.p / (lambda d)) dp,
// a discrete Fourier transform of the pupil field with the residual
// defocus phase: pupil step dp gives image step lambda d / (N dp). Its
// stationary points are the rays of the geometric model.
//
// Sampling, chosen from the set-up: the transform window must hold the
// whole geometric image with a margin (which is the Nyquist condition for
// the defocus phase and slopes at the pupil edge), the intensity needs the
// pupil padded at least twice (its spectrum is the pupil's autocorrelation),
// and the image step must be at most half a pixel so that the area
// integration onto the pixels is faithful. The pupil step is shared by all
// wavelengths; the image step scales with each.
bool RenderFresnel(const StarSetup& s, const StarWavefront& wavefront, double zIntra, double zExtra,
                   DoublePlanes& intra, DoublePlanes& extra, int& transformSize, int& pupilSamples,
                   std::string& why, const PupilPaths* paths) {
  const auto [lminIt, lmaxIt] = std::minmax_element(s.Wavelengths.begin(), s.Wavelengths.end());
  const double lmin = *lminIt * kNmToMm, lmax = *lmaxIt * kNmToMm;
  const double R = s.Radius, f = s.FocalLength;
  const double dmin = f + std::min(zIntra, zExtra), dmax = f + std::max(zIntra, zExtra);
  // The paths' slopes widen the image as the wavefront's do.
  double slopeNm = wavefront.MaxSlope(s.Obstruction);
  if (paths) slopeNm += paths->MaxSlope;
  const double slope = slopeNm * kNmToMm / R;
  const double extent = std::max(std::abs(zIntra), std::abs(zExtra)) * R / f + dmax * slope;
  const double pixel = std::min(s.PixelX, s.PixelY);

  const double mMin =
      std::max<double>(kMinPupilSamples, std::ceil(4.0 * kGuard * extent * R / (lmin * dmin)));
  const double nNeed = std::max(2.0 * mMin, std::ceil(lmax * dmax * mMin / (R * pixel)));
  const int n = PowerOfTwoAtLeast(std::max(nNeed, 64.0));
  if (n > kMaxTransform || !(mMin <= kMaxTransform)) {
    why = "The Fresnel model would need transforms larger than " + std::to_string(kMaxTransform) +
          " samples (defocus or aberrations too large for the pixel size); use the geometric model";
    return false;
  }
  // The largest pupil sampling this transform size allows widens the margin.
  const int m = static_cast<int>(std::floor(std::min(n / 2.0, n * R * pixel / (lmax * dmax))));
  transformSize = n;
  pupilSamples = m;

  // Pupil grid: amplitude (the part of each cell inside the annulus), wavefront and r^2.
  const std::size_t mm = static_cast<std::size_t>(m) * m;
  std::vector<double> amp(mm), wave(mm), rr(mm);
  const double h = 2.0 / m;
  const double e = s.Obstruction;
  StarWavefront::Row row;
  for (int j = 0; j < m; ++j) {
    const double y = 1.0 - (j + 0.5) * h;
    wavefront.RowAt(y, row);
    for (int i = 0; i < m; ++i) {
      const double x = -1.0 + (i + 0.5) * h;
      const std::size_t at = static_cast<std::size_t>(j) * m + i;
      const double dxn = std::max(0.0, std::abs(x) - h / 2), dyn = std::max(0.0, std::abs(y) - h / 2);
      const double dxf = std::abs(x) + h / 2, dyf = std::abs(y) + h / 2;
      const double near2 = dxn * dxn + dyn * dyn, far2 = dxf * dxf + dyf * dyf;
      double a;
      if (near2 >= 1.0 || far2 <= e * e) {
        a = 0.0;
      } else if (far2 <= 1.0 && near2 >= e * e) {
        a = 1.0;
      } else {  // on an edge: the covered fraction from 8 x 8 sub-samples
        int inside = 0;
        for (int v = 0; v < 8; ++v)
          for (int u = 0; u < 8; ++u) {
            const double px = x + h * ((u + 0.5) / 8 - 0.5), py = y + h * ((v + 0.5) / 8 - 0.5);
            const double q = px * px + py * py;
            if (q <= 1.0 && q >= e * e) ++inside;
          }
        a = inside / 64.0;
      }
      amp[at] = a;
      wave[at] = wavefront.IsZero() ? 0.0 : row.Value(x);
      rr[at] = x * x + y * y;
    }
  }

  DoublePlanes source(n, n, 2);
  DoublePlanes spectrum;
  std::vector<double> partial;
  AxisWeights columns, rows;
  const int steps = paths ? std::max(1, paths->Steps) : 1;
  const double share = 1.0 / static_cast<double>(s.Wavelengths.size() * steps);
  std::vector<double> shifted;

  for (int which = 0; which < 2; ++which) {
    const double z = which == 0 ? zIntra : zExtra;
    const double d = f + z;
    DoublePlanes& image = which == 0 ? intra : extra;
    image.Allocate(s.Width, s.Height, 1);
    for (int step = 0; step < steps; ++step) {
      const double* path = wave.data();
      if (paths) {
        shifted.resize(mm);
        for (int j = 0; j < m; ++j) {
          const double y = 1.0 - (j + 0.5) * h;
          for (int i = 0; i < m; ++i) {
            const std::size_t at = static_cast<std::size_t>(j) * m + i;
            shifted[at] = amp[at] == 0.0 ? 0.0 : wave[at] + paths->At(which, step, -1.0 + (i + 0.5) * h, y);
          }
        }
        path = shifted.data();
      }
      for (double lambdaNm : s.Wavelengths) {
        const double lambda = lambdaNm * kNmToMm;
        const double kw = 2.0 * kPi / lambdaNm;
        const double kd = kPi * z * R * R / (lambda * f * d);
        for (int j = 0; j < m; ++j) {
          double* re = source[1][j + 1] + 1;
          double* im = source[2][j + 1] + 1;
          const std::size_t base = static_cast<std::size_t>(j) * m;
          for (int i = 0; i < m; ++i) {
            const double a = amp[base + i];
            if (a == 0.0) {
              re[i] = im[i] = 0.0;
              continue;
            }
            const double phase = -kw * path[base + i] - kd * rr[base + i];
            re[i] = a * std::cos(phase);
            im[i] = a * std::sin(phase);
          }
        }
        int tw = n, th = n;
        FourierForwardComplex(source, tw, th, spectrum);

        // Intensity in place of the real part, and its total over the window.
        double* power = spectrum.PlaneData(1);
        const double* imag = spectrum.PlaneData(2);
        const std::size_t nn = static_cast<std::size_t>(n) * n;
        double total = 0.0;
        for (std::size_t k = 0; k < nn; ++k) {
          power[k] = power[k] * power[k] + imag[k] * imag[k];
          total += power[k];
        }
        if (!(total > 0.0)) continue;

        const double cell = lambda * d * m / (2.0 * R * n);
        columns.Build(s.Width, s.PixelX, n, cell);
        rows.Build(s.Height, s.PixelY, n, cell);
        if (columns.highest < columns.lowest || rows.highest < rows.lowest) continue;

        // Columns first, for the transform rows that reach the frame.
        const int rowCount = rows.highest - rows.lowest + 1;
        partial.assign(static_cast<std::size_t>(rowCount) * s.Width, 0.0);
        for (int k = rows.lowest; k <= rows.highest; ++k) {
          const double* src = power + static_cast<std::size_t>(k) * n;
          double* dst = partial.data() + static_cast<std::size_t>(k - rows.lowest) * s.Width;
          for (int c = 0; c < s.Width; ++c) {
            const double* wts = columns.weights.data() + static_cast<std::size_t>(c) * columns.stride;
            const double* in = src + columns.first[c];
            const int count = std::min(columns.stride, n - columns.first[c]);
            double sum = 0.0;
            for (int t = 0; t < count; ++t) sum += wts[t] * in[t];
            dst[c] = sum;
          }
        }
        // Then rows, accumulated into the frame.
        const double scale = share / total;
        for (int r = 0; r < s.Height; ++r) {
          double* out = image[1][r + 1] + 1;
          const double* wts = rows.weights.data() + static_cast<std::size_t>(r) * rows.stride;
          for (int t = 0; t < rows.stride; ++t) {
            const int k = rows.first[r] + t;
            const double wgt = wts[t] * scale;
            if (wgt == 0.0 || k < rows.lowest || k > rows.highest) continue;
            const double* in = partial.data() + static_cast<std::size_t>(k - rows.lowest) * s.Width;
            for (int c = 0; c < s.Width; ++c) out[c] += wgt * in[c];
          }
        }
      }
    }
  }
  return true;
}

}  // namespace caustica
