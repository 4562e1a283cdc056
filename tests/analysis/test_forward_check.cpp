// The forward-model check: model images of the optics found, taken from the
// measured ones. The true wavefront must leave little, a wrong one clearly
// more, and the seeing added to the model must be the seeing of the images.
#include <gtest/gtest.h>

#include "analysis/forward_check.h"
#include "analysis/star_simulator.h"
#include "support/program_state_guard.h"

using namespace caustica;

namespace {

StarSimulationOptions Pair() {
  StarSimulationOptions o;
  o.Diameter = 200;
  o.FocalLength = 1200;
  o.Obstruction = 0.25;
  o.Defocus = 3.6;
  o.PixelSize = 5;
  o.Width = o.Height = 256;
  o.Coefficients[5] = 40;
  o.Coefficients[11] = -30;
  o.Seeing = 1.5;
  o.SourceLevel = 2e7;
  o.SkyLevel = 50;
  return o;
}

TForwardModel ModelOf(const StarSimulationOptions& o) {
  TForwardModel m;
  m.Radius = 0.5e6 * o.Diameter;
  m.FocalLength = 1e6 * o.FocalLength;
  m.Defocus = 1e6 * o.Defocus;
  m.Obstruction = o.Obstruction;
  m.Coefficients = o.Coefficients;
  m.PolynomialType = o.PolynomialType;
  return m;
}

struct Measured {
  TPupille Intra, Extra;
};

void Simulate(const StarSimulationOptions& o, Measured& m) {
  TFctXY intra, extra;
  ASSERT_TRUE(SimulateStarPair(o, intra, extra).Ok);
  extra.Rotate180();  // as the program reads an extra-focal image
  m.Intra.TFctXY::CloneFrom(intra);
  m.Extra.TFctXY::CloneFrom(extra);
}

}  // namespace

TEST(ForwardCheck, TheTrueWavefrontLeavesLittleAndAWrongOneMore) {
  test::ProgramStateGuard guard;
  const StarSimulationOptions o = Pair();
  Measured m;
  Simulate(o, m);
  const TForwardCheck right = CheckForwardModel(m.Intra, m.Extra, ModelOf(o));
  ASSERT_TRUE(right.Done()) << right.Reason;
  EXPECT_LT(right.IntraRms, 1.5);
  EXPECT_LT(right.ExtraRms, 1.5);
  EXPECT_NEAR(right.Seeing, 1.5, 0.5);
  ASSERT_EQ(right.Intra->Nx, 256);
  EXPECT_NE(ForwardCheckText(right).find("% (intra)"), std::string::npos);

  TForwardModel wrong = ModelOf(o);
  wrong.Coefficients[11] += 20;  // a third of the spherical aberration missed
  const TForwardCheck bad = CheckForwardModel(m.Intra, m.Extra, wrong);
  ASSERT_TRUE(bad.Done()) << bad.Reason;
  EXPECT_GT(bad.IntraRms, 3 * right.IntraRms);
  EXPECT_GT(bad.ExtraRms, 3 * right.ExtraRms);
}

// A donut placed off the centre of its image is matched where it lies.
TEST(ForwardCheck, FollowsADonutAwayFromTheCentre) {
  test::ProgramStateGuard guard;
  StarSimulationOptions o = Pair();
  o.Width = o.Height = 160;
  o.FrameWidth = o.FrameHeight = 256;
  o.FrameColumn = 70;
  o.FrameRow = 20;
  Measured m;
  Simulate(o, m);
  const TForwardCheck check = CheckForwardModel(m.Intra, m.Extra, ModelOf(o));
  ASSERT_TRUE(check.Done()) << check.Reason;
  EXPECT_LT(check.IntraRms, 2.0);
  EXPECT_LT(check.ExtraRms, 2.0);
  EXPECT_EQ(check.Intra->Nx, 256);  // not much larger than the donut: all of it

  // In a whole frame, only the square around the donut is modelled.
  o.FrameWidth = 1600;
  o.FrameHeight = 1200;
  o.FrameColumn = 1100;
  o.FrameRow = 150;
  Simulate(o, m);
  const TForwardCheck frame = CheckForwardModel(m.Intra, m.Extra, ModelOf(o));
  ASSERT_TRUE(frame.Done()) << frame.Reason;
  EXPECT_LT(frame.IntraRms, 2.0);
  EXPECT_LT(frame.ExtraRms, 2.0);
  EXPECT_LT(frame.Intra->Nx, 300);
  EXPECT_EQ(frame.Intra->Nx, frame.Intra->Ny);
}

TEST(ForwardCheck, SaysWhyWhenThereIsNothingToCheck) {
  test::ProgramStateGuard guard;
  Measured m;
  Simulate(Pair(), m);
  TForwardModel incomplete = ModelOf(Pair());
  incomplete.Defocus = 0;
  EXPECT_EQ(CheckForwardModel(m.Intra, m.Extra, incomplete).Reason, "the test parameters are incomplete");
  TPupille flat;
  flat.Init(256, 256);
  const TForwardCheck none = CheckForwardModel(flat, m.Extra, ModelOf(Pair()));
  EXPECT_FALSE(none.Done());
  EXPECT_EQ(ForwardCheckText(none), "no forward-model check: no donut found in both images");
}
