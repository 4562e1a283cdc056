// Finding the star in a camera frame and cutting it out: simulated donuts
// placed off-centre in larger frames with sky, gradient, hot pixels, cosmic
// rays, noise and seeing; each refusal on a frame made to trigger it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "analysis/star_finder.h"
#include "analysis/star_simulator.h"
#include "analysis/test_image.h"
#include "support/reconstruction_accuracy.h"

using namespace caustica;

namespace {

// A 200 mm f/8 set-up 5.6 mm from focus: pupil image radius 70 px, in a
// 240 px image (the square a cut-out of that donut takes).
StarSimulationOptions Frame(int frameWidth, int frameHeight, int column, int row) {
  StarSimulationOptions o;
  o.Obstruction = 0.3;
  // Astigmatism leaves the donut's area and centre where they are; spherical
  // aberration or coma would move its edge (that is what the test sees).
  o.Coefficients[5] = 40.0;
  o.Normalised = true;
  o.PolynomialType = kAnnularPolynomials;
  o.Defocus = 5.6;
  o.Width = o.Height = 240;
  o.FrameWidth = frameWidth;
  o.FrameHeight = frameHeight;
  o.FrameColumn = column;
  o.FrameRow = row;
  return o;
}

// The sky and the camera's defects of a real frame.
StarSimulationOptions Dirty(StarSimulationOptions o) {
  o.Seeing = 2.0;
  o.SkyLevel = 180.0;
  o.SkyGradientX = 0.02;
  o.SkyGradientY = -0.015;
  o.SourceLevel = 5e6;
  o.PhotonNoise = true;
  o.ReadNoise = 8.0;
  o.HotPixels = 300;
  o.CosmicRays = 40;
  return o;
}

void Simulate(const StarSimulationOptions& o, TFctXY& intra, TFctXY& extra) {
  const StarSimulationStatus s = SimulateStarPair(o, intra, extra);
  ASSERT_TRUE(s.Ok) << s.Message;
}

// The optical axis falls on the centre of the simulated image.
double Centre(int offset, int side) { return offset + 0.5 * side + 0.5; }

}  // namespace

TEST(FindStar, MeasuresTheDonutOfADirtyFrameToSubPixelAccuracy) {
  const StarSimulationOptions o = Dirty(Frame(1200, 900, 700, 150));
  TFctXY intra, extra;
  Simulate(o, intra, extra);
  StarSimulationReport report;
  TFctXY a, b;
  ASSERT_TRUE(SimulateStarPair(o, a, b, &report).Ok);
  for (const TFctXY* frame : {&intra, &extra}) {
    const TStarFinding star = FindStar(*frame);
    ASSERT_TRUE(star.Found()) << StarRefusal(star, "intra-focal", "frame");
    EXPECT_NEAR(star.Column, Centre(700, 240), 0.3);
    EXPECT_NEAR(star.Row, Centre(150, 240), 0.3);
    EXPECT_NEAR(star.Radius, report.PupilImageRadius, 0.3);
    EXPECT_NEAR(star.Obstruction, 0.3, 0.02);
    EXPECT_NEAR(star.Background, 180.0 + 0.02 * (star.Column - 600) - 0.015 * (star.Row - 450), 3.0);
    EXPECT_NEAR(star.Noise, std::sqrt(180.0 + 64.0), 2.0);
    EXPECT_EQ(star.OtherFluxRatio, 0.0);  // hot pixels and cosmic rays are no stars
  }
}

TEST(FindStar, RefusesFramesWithoutAStar) {
  TFctXY uniform;
  uniform.Init(300, 200);
  for (int r = 1; r <= 200; ++r)
    for (int c = 1; c <= 300; ++c) uniform.Values[1][r][c] = 500.0;
  const TStarFinding flat = FindStar(uniform);
  EXPECT_EQ(flat.Problem, TStarProblem::NoStar);
  EXPECT_EQ(StarRefusal(flat, "intra-focal", "flat.fits"),
            "no star found in flat.fits (the image is uniform)");

  // Pure noise, hot pixels and cosmic rays on a sloping sky: still no star.
  StarSimulationOptions o = Dirty(Frame(800, 600, 200, 200));
  o.SourceLevel = 0.0;
  TFctXY intra, extra;
  Simulate(o, intra, extra);
  const TStarFinding noise = FindStar(intra);
  EXPECT_EQ(noise.Problem, TStarProblem::NoStar);
  EXPECT_EQ(StarRefusal(noise, "intra-focal", "newt_intra.fits"), "no star found in newt_intra.fits");
}

TEST(FindStar, RefusesADonutOnTheBorderNamingTheSide) {
  // The image holds the donut only just; at the frame's right edge its ring is cut.
  StarSimulationOptions o = Dirty(Frame(700, 500, 0, 100));
  o.Width = o.Height = 160;
  o.FrameColumn = 700 - 160;
  o.Defocus = 6.6;  // radius 82.5 px: beyond the 160 px image
  TFctXY intra, extra;
  Simulate(o, intra, extra);
  const TStarFinding star = FindStar(extra);
  EXPECT_EQ(star.Problem, TStarProblem::TouchesBorder);
  EXPECT_EQ(StarRefusal(star, "extra-focal", "newt_extra.fits"),
            "the extra-focal donut touches the right border (newt_extra.fits)");
}

TEST(FindStar, TwoComparableStarsAreRefusedAFaintOneIsNamed) {
  const StarSimulationOptions o = Dirty(Frame(1400, 600, 100, 150));
  TFctXY intra, extra;
  Simulate(o, intra, extra);
  // A second donut beside the first, nearly as bright, then a third as bright.
  for (const double share : {0.9, 0.3}) {
    TFctXY two;
    two.CloneFrom(intra);
    for (int r = 151; r <= 390; ++r)
      for (int c = 101; c <= 340; ++c)
        two.Values[1][r][c + 800] += share * (intra.Values[1][r][c] - intra.Values[1][r][c + 800]);
    const TStarFinding star = FindStar(two);
    if (share > 0.5) {
      EXPECT_EQ(star.Problem, TStarProblem::TwoStars);
      EXPECT_NE(StarRefusal(star, "intra-focal", "pair.fits").find("two comparable stars in pair.fits"),
                std::string::npos);
    } else {
      ASSERT_TRUE(star.Found());
      EXPECT_NEAR(star.Column, Centre(100, 240), 0.3);
      EXPECT_NEAR(star.OtherColumn, Centre(900, 240), 3.0);
      EXPECT_NEAR(star.OtherFluxRatio, 0.3, 0.05);
      EXPECT_NE(StarNote(star, "pair.fits").find("of the light) is left aside; the donut at ("),
                std::string::npos)
          << StarNote(star, "pair.fits");
    }
  }
}

TEST(FindStar, CountsSaturatedSamples) {
  StarSimulationOptions o = Frame(600, 600, 150, 150);
  o.SourceLevel = 2e9;
  TFctXY intra, extra;
  Simulate(o, intra, extra);
  long clipped = 0;
  for (int r = 1; r <= intra.Ny; ++r)
    for (int c = 1; c <= intra.Nx; ++c)
      if (intra.Values[1][r][c] >= 65535.0) {
        intra.Values[1][r][c] = 65535.0;  // as the camera's converter stops
        ++clipped;
      }
  ASSERT_GT(clipped, 100);
  const TStarFinding star = FindStar(intra);
  EXPECT_EQ(star.Problem, TStarProblem::Saturated);
  EXPECT_EQ(star.SaturatedCount, clipped);
  EXPECT_EQ(
      StarRefusal(star, "intra-focal", "hot.fits"),
      std::to_string(clipped) + " samples of the intra-focal donut in hot.fits are saturated (at 65535)");
}

TEST(CutOut, APairOfLargeFramesIsCutToOneSquareAndAPreparedCutOutIsKept) {
  const StarSimulationOptions o = Dirty(Frame(1500, 1000, 900, 600));
  TFctXY intraFrame, extraFrame;
  Simulate(o, intraFrame, extraFrame);
  TPupille intra, extra;
  intra.Init(intraFrame.Nx, intraFrame.Ny);
  intra.Assign(intraFrame);
  extra.Init(extraFrame.Nx, extraFrame.Ny);
  extra.Assign(extraFrame);
  const TStarFinding si = FindStar(intra), se = FindStar(extra);
  ASSERT_TRUE(si.Found() && se.Found());
  ASSERT_TRUE(CutOutPair(intra, si, extra, se));
  EXPECT_EQ(intra.Nx, 240);
  EXPECT_EQ(intra.Ny, 240);
  EXPECT_EQ(extra.Nx, 240);
  EXPECT_EQ(intra.Infos.FrameWidth, 1500);
  EXPECT_EQ(intra.Infos.FrameHeight, 1000);
  EXPECT_NEAR(intra.Infos.CutOutColumn, 900, 1);
  EXPECT_NEAR(intra.Infos.CutOutRow, 600, 1);
  EXPECT_NE(CutOutText(intra).find("of the 1500 x 1000 frame"), std::string::npos);
  // The donut is in the middle of the cut-out.
  const TStarFinding again = FindStar(intra);
  EXPECT_NEAR(again.Column, 120.5, 0.3);
  EXPECT_NEAR(again.Row, 120.5, 0.3);

  // Cut again, it stays as it is; so does any prepared cut-out.
  TPupille copy;
  copy.CloneFrom(intra);
  EXPECT_FALSE(CutOutPair(copy, again, extra, FindStar(extra)));
  EXPECT_EQ(copy.Nx, 240);
}

TEST(CutOut, ACutOutPairGivesTheCoefficientsOfThePreparedPair) {
  // The same star alone in its 240 x 240 image, and placed in a large frame.
  StarSimulationOptions prepared = Frame(0, 0, 0, 0);
  prepared.SkyLevel = 100.0;
  prepared.Seeing = 1.5;
  const StarSimulationOptions framed = [&] {
    StarSimulationOptions f = prepared;
    f.FrameWidth = 1800;
    f.FrameHeight = 1200;
    f.FrameColumn = 1100;
    f.FrameRow = 300;
    return f;
  }();
  TFctXY intraPrepared, extraPrepared, intraFrame, extraFrame;
  Simulate(prepared, intraPrepared, extraPrepared);
  Simulate(framed, intraFrame, extraFrame);
  TPupille intra, extra;
  intra.Init(intraFrame.Nx, intraFrame.Ny);
  intra.Assign(intraFrame);
  extra.Init(extraFrame.Nx, extraFrame.Ny);
  extra.Assign(extraFrame);
  ASSERT_TRUE(CutOutPair(intra, FindStar(intra), extra, FindStar(extra)));
  ASSERT_EQ(intra.Nx, 240);

  for (const TReconstructionMethod method :
       {TReconstructionMethod::Classic, TReconstructionMethod::Accurate}) {
    const auto fromPrepared =
        caustica::testing::MeasureReconstruction(prepared, intraPrepared, extraPrepared, method);
    const auto fromCutOut = caustica::testing::MeasureReconstruction(prepared, intra, extra, method);
    ASSERT_TRUE(fromPrepared.Ok && fromCutOut.Ok) << fromPrepared.Error << fromCutOut.Error;
    for (int k = 5; k <= 11; ++k)
      EXPECT_NEAR(fromCutOut.Recovered[k], fromPrepared.Recovered[k], 1.0) << "term " << k;
  }
}
