// The star-test simulator through turbulence: frames carry the tilt and the
// speckle of Kolmogorov screens, the wind smooths a long exposure, a seed
// repeats a sequence, and without turbulence nothing changes.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "analysis/star_finder.h"
#include "analysis/star_simulator.h"

namespace caustica {
namespace {

StarSimulationOptions Turbulent(double r0) {
  StarSimulationOptions o;
  o.Atmosphere.Enabled = true;
  o.Atmosphere.R0 = r0;
  o.Atmosphere.Seed = 11;
  return o;
}

struct Pair {
  TFctXY first, second;
};

std::vector<Pair> Sequence(const StarSimulationOptions& o, StarSimulationReport* report = nullptr) {
  std::vector<Pair> frames;
  frames.reserve(static_cast<std::size_t>(o.Frames));
  const StarSimulationStatus st = SimulateStarSequence(
      o,
      [&](int, const TFctXY& intra, const TFctXY& extra) {
        frames.emplace_back();
        frames.back().first.Init(intra.Nx, intra.Ny);
        frames.back().second.Init(extra.Nx, extra.Ny);
        EXPECT_TRUE(frames.back().first.Assign(intra) && frames.back().second.Assign(extra));
        return true;
      },
      report);
  EXPECT_TRUE(st.Ok) << st.Message;
  return frames;
}

// Sample for sample the same.
bool Same(const TFctXY& a, const TFctXY& b) {
  if (a.Nx != b.Nx || a.Ny != b.Ny) return false;
  for (int r = 1; r <= a.Ny; ++r)
    for (int c = 1; c <= a.Nx; ++c)
      if (a.Values[1][r][c] != b.Values[1][r][c]) return false;
  return true;
}

// Mean square difference of neighbouring samples over the mean square
// sample: large for speckle, small for a smooth donut.
double Roughness(const TFctXY& g) {
  double d = 0, s = 0;
  for (int r = 1; r < g.Ny; ++r)
    for (int c = 1; c < g.Nx; ++c) {
      const double v = g.Values[1][r][c];
      const double dx = g.Values[1][r][c + 1] - v, dy = g.Values[1][r + 1][c] - v;
      d += dx * dx + dy * dy;
      s += v * v;
    }
  return d / s;
}

// One-axis variance of the donut centre over the frames, both images, pixels^2.
double CentreScatter(const std::vector<Pair>& frames) {
  double total = 0.0;
  for (int side = 0; side < 2; ++side) {
    double sc = 0, sr = 0, scc = 0, srr = 0;
    for (const auto& f : frames) {
      const TStarFinding star = FindStar(side == 0 ? f.first : f.second);
      EXPECT_TRUE(star.Found());
      sc += star.Column;
      sr += star.Row;
      scc += star.Column * star.Column;
      srr += star.Row * star.Row;
    }
    const double n = static_cast<double>(frames.size());
    total += (scc - sc * sc / n + srr - sr * sr / n) / (n - 1);
  }
  return total / 4.0;
}

}  // namespace

TEST(StarAtmosphere, TurbulenceMovesTheDonutAsTheTiltTheoryGives) {
  StarSimulationOptions o = Turbulent(0.05);
  o.Frames = 30;
  StarSimulationReport report;
  const auto frames = Sequence(o, &report);
  ASSERT_EQ(frames.size(), 30u);
  // One-axis tilt variance 0.182 (D / r0)^(5/3) (lambda / D)^2 (500 nm, the
  // wavelength of r0: the path differences do not depend on it), seen at
  // f + z from the pupil.
  const double D = o.Diameter * 1e-3;
  const double angle2 = 0.182 * std::pow(D / o.Atmosphere.R0, 5.0 / 3.0) * std::pow(500e-9 / D, 2.0);
  const double pixels2 = angle2 * std::pow(o.FocalLength / (o.PixelSize * 1e-3), 2.0);
  const double measured = CentreScatter(frames);
  // Loose: 30 frames, and the donut follows the mean slope (a few per cent
  // below the least-squares tilt of the formula).
  EXPECT_GT(measured / pixels2, 0.5);
  EXPECT_LT(measured / pixels2, 1.5);
  // The screen holds the pupil twice over; the transforms widen for its slopes.
  EXPECT_GE(report.ScreenSide, 2 * D);
  EXPECT_EQ(report.SubExposures, 1);
}

TEST(StarAtmosphere, WindDuringALongExposureSmoothsTheFrame) {
  StarSimulationOptions shortOne = Turbulent(0.05);
  shortOne.Frames = 4;
  StarSimulationOptions longOne = shortOne;
  longOne.Atmosphere.Exposure = 0.05;
  longOne.Atmosphere.WindSpeed = 10.0;
  longOne.Atmosphere.WindDirection = 30.0;
  StarSimulationReport report;
  const auto a = Sequence(shortOne), b = Sequence(longOne, &report);
  double ra = 0, rb = 0;
  for (int k = 0; k < 4; ++k) {
    ra += Roughness(a[k].first) + Roughness(a[k].second);
    rb += Roughness(b[k].first) + Roughness(b[k].second);
  }
  EXPECT_LT(rb, 0.6 * ra);
  // 0.5 m of travel in steps of at most r0 / 4 on a screen that holds it.
  EXPECT_EQ(report.SubExposures, 40);
  EXPECT_FALSE(report.SubExposuresCapped);
  EXPECT_LE(report.SubExposureShift, 0.25 * 0.05 + 1e-12);
  EXPECT_GE(report.ScreenSide, 2 * (0.2 + 0.5));
}

TEST(StarAtmosphere, ASeedRepeatsTheSequenceAndEveryImageHasItsOwnScreen) {
  StarSimulationOptions o = Turbulent(0.05);
  o.Width = o.Height = 200;
  o.Frames = 2;
  const auto a = Sequence(o), b = Sequence(o);
  o.Atmosphere.Seed = 12;
  const auto c = Sequence(o);
  ASSERT_EQ(a.size(), 2u);
  EXPECT_TRUE(Same(a[1].first, b[1].first));
  EXPECT_TRUE(Same(a[1].second, b[1].second));
  EXPECT_FALSE(Same(a[1].first, c[1].first));
  EXPECT_FALSE(Same(a[0].first, a[1].first));
  // The two sides of one pair are not one screen seen twice: the extra-focal
  // donut (turned on reading) does not simply repeat the intra-focal shift.
  const TStarFinding i0 = FindStar(a[0].first), e0 = FindStar(a[0].second);
  const TStarFinding i1 = FindStar(a[1].first), e1 = FindStar(a[1].second);
  EXPECT_GT(std::abs((i1.Column - i0.Column) - (e1.Column - e0.Column)) +
                std::abs((i1.Row - i0.Row) - (e1.Row - e0.Row)),
            0.05);
  // The pair alone is the sequence's first pair.
  TFctXY intra, extra;
  o.Atmosphere.Seed = 11;
  ASSERT_TRUE(SimulateStarPair(o, intra, extra).Ok);
  EXPECT_TRUE(Same(intra, a[0].first));
  EXPECT_TRUE(Same(extra, a[0].second));
}

TEST(StarAtmosphere, WithoutTurbulenceFramesDifferOnlyByTheirNoise) {
  StarSimulationOptions o;
  o.Width = o.Height = 200;
  o.Frames = 3;
  o.Atmosphere.R0 = 0.05;  // ignored while not enabled
  TFctXY intra, extra;
  ASSERT_TRUE(SimulateStarPair(o, intra, extra).Ok);
  const auto quiet = Sequence(o);
  ASSERT_EQ(quiet.size(), 3u);
  for (const Pair& p : quiet) {
    EXPECT_TRUE(Same(p.first, intra));
    EXPECT_TRUE(Same(p.second, extra));
  }
  o.PhotonNoise = true;
  o.SkyLevel = 50;
  const auto noisy = Sequence(o);
  TFctXY noisyIntra, noisyExtra;
  ASSERT_TRUE(SimulateStarPair(o, noisyIntra, noisyExtra).Ok);
  EXPECT_TRUE(Same(noisy[0].first, noisyIntra));
  EXPECT_FALSE(Same(noisy[1].first, noisy[0].first));
  EXPECT_FALSE(Same(noisy[2].second, noisy[1].second));
}

TEST(StarAtmosphere, ASequenceStopsWhenAsked) {
  StarSimulationOptions o;
  o.Width = o.Height = 64;
  o.Defocus = 2;
  o.Frames = 5;
  int calls = 0;
  StarSimulationReport report;
  EXPECT_TRUE(SimulateStarSequence(
                  o, [&](int frame, const TFctXY&, const TFctXY&) { return ++calls, frame < 1; }, &report)
                  .Ok);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(report.FramesMade, 2);
}

TEST(StarAtmosphere, AbsurdTurbulenceIsRefused) {
  struct Case {
    void (*change)(StarSimulationOptions&);
    const char* words;
  };
  const Case cases[] = {
      {[](StarSimulationOptions& o) { o.Atmosphere.R0 = 0.0; }, "r0"},
      {[](StarSimulationOptions& o) { o.Atmosphere.R0 = -0.1; }, "r0"},
      {[](StarSimulationOptions& o) { o.Atmosphere.R0 = std::numeric_limits<double>::quiet_NaN(); }, "r0"},
      {[](StarSimulationOptions& o) { o.Atmosphere.Exposure = -1; }, "Exposure"},
      {[](StarSimulationOptions& o) { o.Atmosphere.Exposure = std::numeric_limits<double>::infinity(); },
       "Exposure"},
      {[](StarSimulationOptions& o) { o.Atmosphere.WindSpeed = -3; }, "Wind speed"},
      {[](StarSimulationOptions& o) {
         o.Atmosphere.WindDirection = std::numeric_limits<double>::quiet_NaN();
       },
       "Wind direction"},
      {[](StarSimulationOptions& o) { o.Frames = 0; }, "frames"},
      {[](StarSimulationOptions& o) { o.Frames = 10001; }, "frames"},
      {[](StarSimulationOptions& o) { o.Model = StarModel::Geometric; }, "Fresnel"},
  };
  for (const Case& c : cases) {
    StarSimulationOptions o = Turbulent(0.05);
    c.change(o);
    const StarSimulationStatus st = ValidateStarOptions(o);
    EXPECT_FALSE(st.Ok) << c.words;
    EXPECT_NE(st.Message.find(c.words), std::string::npos) << st.Message;
    TFctXY intra, extra;
    EXPECT_FALSE(SimulateStarPair(o, intra, extra).Ok);
    EXPECT_FALSE(intra.HasArrays());
  }
  EXPECT_TRUE(ValidateStarOptions(Turbulent(0.05)).Ok);
}

TEST(StarAtmosphere, ALongWindyExposureIsCappedInSubExposures) {
  // A small telescope keeps the transforms small.
  StarSimulationOptions o = Turbulent(0.02);
  o.Diameter = 50;
  o.FocalLength = 400;
  o.Defocus = 1;
  o.Width = o.Height = 64;
  o.Atmosphere.Exposure = 0.5;
  o.Atmosphere.WindSpeed = 20;
  TFctXY intra, extra;
  StarSimulationReport report;
  ASSERT_TRUE(SimulateStarPair(o, intra, extra, &report).Ok);
  EXPECT_EQ(report.SubExposures, kMaxSubExposures);
  EXPECT_TRUE(report.SubExposuresCapped);
  EXPECT_NEAR(report.SubExposureShift, 10.0 / kMaxSubExposures, 1e-12);
  EXPECT_GE(report.ScreenSide, 2 * (0.05 + 10.0));
  EXPECT_LE(report.ScreenSamples, 1024);
}

}  // namespace caustica
