#include "analysis/forward_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "analysis/star_finder.h"
#include "analysis/star_simulator.h"
#include "analysis/test_image.h"
#include "core/gaussian_blur.h"

namespace caustica {

namespace {

constexpr double kNmToMm = 1e-6;

// The model's value at measured sample (c, r) once its donut is moved onto
// the measured one: bilinear, 0 off the model.
double Shifted(const TFctXY& m, double c, double r) {
  if (!(c >= 1 && r >= 1 && c <= m.Nx && r <= m.Ny)) return 0.0;
  const int c0 = std::min(static_cast<int>(c), m.Nx - 1), r0 = std::min(static_cast<int>(r), m.Ny - 1);
  const double fc = c - c0, fr = r - r0;
  const double* row0 = m.Values[1][r0];
  const double* row1 = m.Values[1][r0 + 1];
  return (1 - fr) * ((1 - fc) * row0[c0] + fc * row0[c0 + 1]) +
         fr * ((1 - fc) * row1[c0] + fc * row1[c0 + 1]);
}

// measured - (a model + b), a and b fitted over the donut and a ring of sky
// around it; the RMS over the donut in % of its level.
bool Difference(const TPupille& measured, const TStarFinding& ms, const TFctXY& model, const TStarFinding& mm,
                std::shared_ptr<TPupille>& out, double& rms) {
  const double dc = mm.Column - ms.Column, dr = mm.Row - ms.Row;
  const double fitRadius = 1.3 * ms.Radius, rmsRadius = 1.05 * ms.Radius;
  double n = 0, sm = 0, sv = 0, smm = 0, smv = 0;
  for (int r = 1; r <= measured.Ny; ++r)
    for (int c = 1; c <= measured.Nx; ++c) {
      if (std::hypot(c - ms.Column, r - ms.Row) > fitRadius) continue;
      const double m = Shifted(model, c + dc, r + dr), v = measured.Values[1][r][c];
      n += 1;
      sm += m;
      sv += v;
      smm += m * m;
      smv += m * v;
    }
  const double det = n * smm - sm * sm;
  if (!(n > 16) || !(det > 0)) return false;
  const double a = (n * smv - sm * sv) / det, b = (sv - a * sm) / n;
  if (!(a > 0)) return false;

  out = std::make_shared<TPupille>();
  out->Init(measured.Nx, measured.Ny);
  out->Infos = measured.Infos;
  out->Kind = measured.Kind;
  out->OriginColumn = measured.OriginColumn;
  out->OriginRow = measured.OriginRow;
  out->PupilRadius = measured.PupilRadius;
  double s2 = 0;
  long count = 0;
  for (int r = 1; r <= measured.Ny; ++r)
    for (int c = 1; c <= measured.Nx; ++c) {
      const double d = measured.Values[1][r][c] - (a * Shifted(model, c + dc, r + dr) + b);
      out->Values[1][r][c] = d;
      if (std::hypot(c - ms.Column, r - ms.Row) <= rmsRadius) {
        s2 += d * d;
        ++count;
      }
    }
  if (count == 0 || !(ms.Level > 0)) return false;
  rms = 100.0 * std::sqrt(s2 / count) / ms.Level;
  return std::isfinite(rms);
}

// A separable Gaussian blur of plane 1, sigma in samples: the seeing the
// model images lack.
void Blur(const TFctXY& src, double sigma, TFctXY& dst) {
  dst.CloneFrom(src);
  if (!(sigma > 0)) return;
  const int nx = src.Nx, ny = src.Ny;
  std::vector<double> v(static_cast<std::size_t>(nx) * ny);
  for (int r = 1; r <= ny; ++r)
    std::copy(src.Values[1][r] + 1, src.Values[1][r] + 1 + nx,
              v.begin() + static_cast<std::ptrdiff_t>(r - 1) * nx);
  GaussianBlurClamped(v, nx, ny, sigma);
  for (int r = 1; r <= ny; ++r)
    std::copy(v.begin() + static_cast<std::ptrdiff_t>(r - 1) * nx,
              v.begin() + static_cast<std::ptrdiff_t>(r) * nx, dst.Values[1][r] + 1);
}

// The square of the given side around the star, moved inside the frame:
// a whole frame is checked on its donut only.
void Window(const TPupille& frame, const TStarFinding& star, int side, TPupille& out) {
  auto offset = [side](double centre, int n) {
    return std::clamp(static_cast<int>(std::lround(centre - 0.5 - side / 2.0)), 0, std::max(0, n - side));
  };
  const int c0 = offset(star.Column, frame.Nx), r0 = offset(star.Row, frame.Ny);
  const int w = std::min(side, frame.Nx), h = std::min(side, frame.Ny);
  out.Init(w, h);
  out.Infos = frame.Infos;
  out.Kind = frame.Kind;
  for (int r = 1; r <= h; ++r)
    std::copy(frame.Values[1][r0 + r] + c0 + 1, frame.Values[1][r0 + r] + c0 + 1 + w, out.Values[1][r] + 1);
}

}  // namespace

TForwardCheck CheckForwardModel(const TPupille& fullIntra, const TPupille& fullExtra,
                                const TForwardModel& model) {
  TForwardCheck check;
  if (!fullIntra.HasArrays() || !fullExtra.HasArrays() || fullIntra.Nx != fullExtra.Nx ||
      fullIntra.Ny != fullExtra.Ny) {
    check.Reason = "the two images are not a pair";
    return check;
  }
  TStarFinding si = FindStar(fullIntra), se = FindStar(fullExtra);
  if (!si.Found() || !se.Found()) {
    check.Reason = "no donut found in both images";
    return check;
  }
  // A whole frame is checked on the square around its donut; the stars are
  // then found again on the squares, the only new search.
  const TPupille* pi = &fullIntra;
  const TPupille* pe = &fullExtra;
  TPupille cutIntra, cutExtra;
  const int side = CutOutSide(si, se);
  if (NeedsCutOut(fullIntra, side)) {
    Window(fullIntra, si, side, cutIntra);
    Window(fullExtra, se, side, cutExtra);
    pi = &cutIntra;
    pe = &cutExtra;
    si = FindStar(cutIntra);
    se = FindStar(cutExtra);
    if (!si.Found() || !se.Found()) {
      check.Reason = "no donut found in both images";
      return check;
    }
  }
  const TPupille& intra = *pi;
  const TPupille& extra = *pe;
  if (!(model.Radius > 0) || !(model.FocalLength > model.Defocus) || !(model.Defocus > 0)) {
    check.Reason = "the test parameters are incomplete";
    return check;
  }

  StarSimulationOptions o;
  o.Model = StarModel::Fresnel;
  o.Diameter = 2 * model.Radius * kNmToMm;
  o.FocalLength = model.FocalLength * kNmToMm;
  o.Defocus = model.Defocus * kNmToMm;
  o.Obstruction = std::clamp(model.Obstruction, 0.0, 0.9);
  o.Wavelength = model.Wavelength > 0 ? model.Wavelength : 550.0;
  o.Coefficients = model.Coefficients;
  o.Coefficients[1] = o.Coefficients[2] = o.Coefficients[3] = 0.0;  // the donuts are aligned instead
  o.PolynomialType = model.PolynomialType;
  o.Width = intra.Nx;
  o.Height = intra.Ny;
  // The pixel that gives the measured donut size: l R / f over the radius.
  // Once more after the first try, so that the edges of the two agree.
  const double radius = 0.5 * (si.Radius + se.Radius);
  o.PixelSize = 1e3 * o.Defocus * 0.5 * o.Diameter / o.FocalLength / radius;
  TFctXY mi, me;
  TStarFinding fi, fe;
  for (int pass = 0; pass < 2; ++pass) {
    const StarSimulationStatus status = SimulateStarPair(o, mi, me);
    if (!status.Ok) {
      check.Reason = "the model images could not be made: " + status.Message;
      return check;
    }
    me.Rotate180();  // as the run reads the extra-focal image
    fi = FindStar(mi);
    fe = FindStar(me);
    if (!fi.Found() || !fe.Found()) {
      check.Reason = "the model images hold no donut";
      return check;
    }
    if (pass == 0) o.PixelSize *= 0.5 * (fi.Radius + fe.Radius) / radius;
  }
  // The seeing that explains the measured images best: steps of half a
  // sample, then a quarter on either side of the best.
  TFctXY bi, be;
  bool any = false;
  auto tryBlur = [&](double sigma) {
    if (sigma < 0) return;
    Blur(mi, sigma, bi);
    Blur(me, sigma, be);
    std::shared_ptr<TPupille> di, de;
    double ri = 0, re = 0;
    if (!Difference(intra, si, bi, fi, di, ri) || !Difference(extra, se, be, fe, de, re)) return;
    if (any && ri + re >= check.IntraRms + check.ExtraRms) return;
    any = true;
    check.Intra = di;
    check.Extra = de;
    check.IntraRms = ri;
    check.ExtraRms = re;
    check.BlurSigma = sigma;
  };
  for (int step = 0; step <= 12; ++step) tryBlur(0.5 * step);
  const double coarse = check.BlurSigma;
  tryBlur(coarse - 0.25);
  tryBlur(coarse + 0.25);
  // FWHM of the blur as an angle on the sky: pixel over focal length.
  check.Seeing = 2.3548 * check.BlurSigma * o.PixelSize * 1e-3 / o.FocalLength * 206264.8;
  if (!any) check.Reason = "the model does not match the measured images";
  return check;
}

std::string ForwardCheckText(const TForwardCheck& check) {
  if (!check.Done()) return "no forward-model check: " + check.Reason;
  char text[160];
  std::snprintf(text, sizeof text,
                "measured minus modelled images: RMS %.1f %% (intra), %.1f %% (extra) of the donut level, "
                "with a seeing blur of %.1f\"",
                check.IntraRms, check.ExtraRms, check.Seeing);
  return text;
}

}  // namespace caustica
