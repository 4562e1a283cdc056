// The pair's checks: each one silent on a sound pair and said on a pair made
// to fail it, with the figures the user needs.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/pair_checks.h"

using namespace caustica;

namespace {

// 200 mm f/8 at 6 mm from focus with 5 um pixels: radius 75 px.
TTestSetup Newtonian() {
  TTestSetup t;
  t.Focale = 1600e6;
  t.Rayon = 100e6;
  t.Defocalisation = 6e6;
  return t;
}

TStarFinding Donut(double radius = 75.0, double flux = 1e6, double obstruction = 0.3) {
  TStarFinding s;
  s.Problem = TStarProblem::None;
  s.Radius = radius;
  s.Flux = flux;
  s.Obstruction = obstruction;
  s.Brightest = 1.4;
  return s;
}

bool Says(const std::vector<std::string>& warnings, const std::string& text) {
  for (const std::string& w : warnings)
    if (w.find(text) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(CheckPair, ASoundPairIsSilentEachFaultIsSaid) {
  TPairFacts facts;
  facts.PixelSize = 5000.0;
  facts.EnteredObstruction = 0.3;
  EXPECT_TRUE(CheckPair(Donut(), Donut(75.4, 1.1e6), Newtonian(), facts).empty());

  EXPECT_TRUE(Says(CheckPair(Donut(), Donut(75, 0.6e6), Newtonian(), facts), "1.67 times the light"));
  EXPECT_TRUE(Says(CheckPair(Donut(), Donut(66), Newtonian(), facts), "radius 75.0 px intra-focal, 66.0 px"));
  // Radii of 60 px with 5 um pixels at f/8 mean 4.8 mm from focus, not 6.
  EXPECT_TRUE(Says(CheckPair(Donut(60), Donut(60), Newtonian(), facts),
                   "imply a defocus of 4.800 mm, 6.000 mm is entered"));
  TPairFacts noPixel = facts;
  noPixel.PixelSize = 0;
  EXPECT_FALSE(Says(CheckPair(Donut(60), Donut(60), Newtonian(), noPixel), "imply a defocus"));
  TStarFinding ring = Donut();
  ring.Brightest = 3.2;
  EXPECT_TRUE(Says(CheckPair(Donut(), ring, Newtonian(), facts), "near a caustic"));
  EXPECT_TRUE(
      Says(CheckPair(Donut(15), Donut(15), Newtonian(), noPixel), "only 30 samples across the pupil"));
  facts.EnteredObstruction = 0.4;
  EXPECT_TRUE(
      Says(CheckPair(Donut(), Donut(), Newtonian(), facts), "obstruction measured 0.30, entered 0.40"));
}

TEST(CheckResult, ALargeSlopeAgainstASmallDefocusIsANearCaustic) {
  // A tilt of s nm per pupil radius moves every ray by (f/R)^2 s / l of the donut radius.
  TPupille w;
  w.Init(101, 101);
  w.OriginColumn = w.OriginRow = 51;
  w.PupilRadius = 50;
  w.SetPupilAxes();
  auto tilt = [&w](double slope) {
    for (int r = 1; r <= w.Ny; ++r)
      for (int c = 1; c <= w.Nx; ++c) {
        const bool inside = std::hypot(w.XAxis[c], w.YAxis[r]) <= 1.0;
        w.Mask[1][r][c] = inside ? 1 : 0;
        w.Values[1][r][c] = inside ? slope * w.XAxis[c] : 0.0;
      }
  };
  tilt(1000.0);  // 256 x 1000 / 6e6: 4 %
  EXPECT_TRUE(CheckResult(w, Newtonian()).empty());
  tilt(6000.0);  // 26 %: 2.6 times too close
  const std::vector<std::string> warnings = CheckResult(w, Newtonian());
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_TRUE(Says(warnings, "rays move by 26 % of the donut's radius")) << warnings[0];
  EXPECT_TRUE(Says(warnings, "a defocus of 15.36 mm or more")) << warnings[0];
}
