#include "analysis/pair_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace caustica {

namespace {

// Beyond these the result is still computed, but the user is told.
constexpr double kFluxRatioLimit = 1.25;       // either way
constexpr double kRadiusMismatch = 0.05;       // of the mean radius
constexpr double kDefocusMismatch = 0.10;      // of the entered defocus
constexpr double kBrightestLimit = 2.5;        // brightest parts over the donut's level
constexpr double kMinPupilSamples = 40.0;      // samples across the pupil
constexpr double kObstructionMismatch = 0.05;  // of the pupil radius
// Ray displacement by the aberration, as a share of the donut's radius.
constexpr double kRayShiftLimit = 0.10;

std::string Format(const char* format, double a, double b = 0.0, double c = 0.0) {
  char buffer[320];
  std::snprintf(buffer, sizeof buffer, format, a, b, c);
  return buffer;
}

}  // namespace

std::vector<std::string> CheckPair(const TStarFinding& intra, const TStarFinding& extra,
                                   const TTestSetup& test, const TPairFacts& facts) {
  std::vector<std::string> w;
  if (intra.Flux > 0 && extra.Flux > 0) {
    const double ratio = intra.Flux / extra.Flux;
    if (ratio > kFluxRatioLimit || ratio < 1.0 / kFluxRatioLimit)
      w.push_back(
          Format("the two images differ in light: the intra-focal donut holds %.2f times the light of "
                 "the extra-focal one (exposure, transparency or clouds?)",
                 ratio));
  }
  const double mean = 0.5 * (intra.Radius + extra.Radius);
  if (mean > 0 && std::fabs(intra.Radius - extra.Radius) > kRadiusMismatch * mean)
    w.push_back(
        Format("the donuts differ in size: radius %.1f px intra-focal, %.1f px extra-focal (the two "
               "images should lie at the same distance from focus)",
               intra.Radius, extra.Radius));
  if (facts.PixelSize > 0 && test.Focale > 0 && test.Rayon > 0 && test.Defocalisation > 0 && mean > 0) {
    // The beam's radius at distance l from focus is l R / f.
    const double implied = mean * facts.PixelSize * test.Focale / test.Rayon;
    if (std::fabs(implied / test.Defocalisation - 1.0) > kDefocusMismatch)
      w.push_back(Format("the donuts' radii imply a defocus of %.3f mm, %.3f mm is entered", implied * 1e-6,
                         test.Defocalisation * 1e-6));
  }
  const double brightest = std::max(intra.Brightest, extra.Brightest);
  if (brightest > kBrightestLimit)
    w.push_back(
        Format("a donut is far from even (its brightest parts %.1f times its typical level): the images "
               "may lie near a caustic; a larger defocus is safer",
               brightest));
  if (mean > 0 && 2.0 * mean < kMinPupilSamples)
    w.push_back(
        Format("only %.0f samples across the pupil: fine detail of the wavefront is lost (%.0f or more "
               "advised)",
               2.0 * mean, kMinPupilSamples));
  if (facts.EnteredObstruction > 0) {
    const double measured = 0.5 * (intra.Obstruction + extra.Obstruction);
    if (std::fabs(measured - facts.EnteredObstruction) > kObstructionMismatch)
      w.push_back(Format("obstruction measured %.2f, entered %.2f: the entered value is used", measured,
                         facts.EnteredObstruction));
  }
  return w;
}

std::vector<std::string> CheckResult(const TPupille& g, const TTestSetup& test) {
  std::vector<std::string> w;
  if (!g.HasArrays() || !(test.Rayon > 0) || !(test.Defocalisation > 0) || g.Nx < 3 || g.Ny < 3) return w;
  // Slopes per unit of pupil radius, where a sample and its neighbours are inside.
  std::vector<double> slopes;
  for (int r = 1; r < g.Ny; ++r)
    for (int c = 1; c < g.Nx; ++c) {
      if (g.Mask[1][r][c] != 1 || g.Mask[1][r][c + 1] != 1 || g.Mask[1][r + 1][c] != 1) continue;
      const double dx = g.XAxis[c + 1] - g.XAxis[c], dy = g.YAxis[r + 1] - g.YAxis[r];
      if (dx == 0 || dy == 0) continue;
      const double sx = (g.Values[1][r][c + 1] - g.Values[1][r][c]) / dx;
      const double sy = (g.Values[1][r + 1][c] - g.Values[1][r][c]) / dy;
      slopes.push_back(std::hypot(sx, sy));
    }
  if (slopes.empty()) return w;
  const auto at = slopes.begin() + static_cast<std::ptrdiff_t>(0.95 * static_cast<double>(slopes.size() - 1));
  std::nth_element(slopes.begin(), at, slopes.end());
  // A ray leaves the pupil at angle slope / R and meets the image plane at
  // f slope / R from its place; the donut's radius is l R / f.
  const double fr = test.Focale / test.Rayon;
  const double shift = fr * fr * *at / test.Defocalisation;
  if (shift > kRayShiftLimit)
    w.push_back(
        Format("the defocus is small for this aberration: rays move by %.0f %% of the donut's radius, "
               "so the images lie near a caustic; a defocus of %.2f mm or more is safer",
               100.0 * shift, test.Defocalisation * 1e-6 * shift / kRayShiftLimit));
  return w;
}

}  // namespace caustica
