#include <gtest/gtest.h>

#include <cmath>

#include "core/number_format.h"
#include "core/u_math.h"
#include "setup/u_parametres_model.h"
#include "support/program_state_guard.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;

namespace {

TParamEntries Newtonian(int diameter, int focal) {
  TParamEntries e;
  e.Diameter = diameter;
  e.FocalLength = focal;
  return e;
}

}  // namespace

TEST(ParametresModel, DefocusFromTheTwoPupilRadii) {
  TParamEntries e = Newtonian(200, 2000);
  e.PixelSize = 9;
  e.IntraRadius = 40;
  e.ExtraRadius = 42;
  double defocus = 0;
  ASSERT_TRUE(DefocusFromRadii(e, defocus));
  EXPECT_DOUBLE_EQ(defocus, 7380000.0);
  EXPECT_EQ(DefocusText(defocus), "7.380");

  // Both binnings multiply the pixel; each is kept as a byte (257 reads as 1).
  e.BinningUsed = 2;
  e.LogicalBinning = 257;
  ASSERT_TRUE(DefocusFromRadii(e, defocus));
  EXPECT_DOUBLE_EQ(defocus, 2 * 7380000.0);

  // The accurate method's geometry: the rim ray's tangent, sqrt(f^2 - R^2) / R
  // instead of f / R, 6 % less at f/1.5 and 0.2 % less at f/10.
  e.BinningUsed = e.LogicalBinning = 1;
  double tangent = 0;
  ASSERT_TRUE(DefocusFromRadii(e, tangent, true));
  EXPECT_NEAR(tangent / 7380000.0, std::sqrt(1 - 0.05 * 0.05), 1e-12);
  e.FocalLength = 300;
  ASSERT_TRUE(DefocusFromRadii(e, defocus));
  ASSERT_TRUE(DefocusFromRadii(e, tangent, true));
  EXPECT_NEAR(tangent / defocus, std::sqrt(8.0) / 3, 1e-12);

  // Without a diameter there is no scale: nothing is computed.
  e.Diameter = 0;
  defocus = -1;
  EXPECT_FALSE(DefocusFromRadii(e, defocus));
  EXPECT_EQ(defocus, -1);
}

TEST(ParametresModel, DistanceAndAngleUnits) {
  EXPECT_DOUBLE_EQ(DistanceObjet(1.5, TDistanceUnit::Metres), 1500000000.0);
  EXPECT_DOUBLE_EQ(DistanceObjet(3, TDistanceUnit::Millimetres), 3000000.0);
  EXPECT_DOUBLE_EQ(DistanceObjet(2, TDistanceUnit::Kilometres), 2e12);
  EXPECT_EQ(angleIncidence(2, TAngleUnit::Degrees), 2 * 3.141592653589 / 180);
  EXPECT_EQ(angleIncidence(0.25, TAngleUnit::Radians), 0.25);
}

TEST(ParametresModel, SourceAtTheRadiusOfCurvature) {
  TParamEntries e = Newtonian(200, 1200);
  e.Source = TSourceChoice::RadiusOfCurvature;
  e.SourceDistance = 5;
  e.DistanceUnit = TDistanceUnit::Kilometres;
  ApplySourceChoice(e);
  EXPECT_EQ(e.SourceDistance, 2400);
  EXPECT_EQ(e.DistanceUnit, TDistanceUnit::Millimetres);

  e.Angle = 1;
  const double stored = DistanceObjet(e.SourceDistance, e.DistanceUnit);
  const TSetupAberrations a = SetupAberrations(e, stored);
  // Source and image at the centre of curvature: no coma, and the full
  // spherical aberration of the paraboloid, R^4 (0 - 1) / (24 rho^3).
  const double R = 100e6, rho = -2400e6;
  EXPECT_EQ(a.ComaCalc, 0);
  EXPECT_NEAR(a.SpherCalc, -std::pow(R, 4) / (24 * std::pow(rho, 3)), 1e-9);
  EXPECT_GT(a.SpherCalc, 0);
  const double theta = 3.141592653589 / 180;
  EXPECT_NEAR(a.AstigCalc, theta * theta * R * R / (2 * rho), 1e-9);
}

TEST(ParametresModel, StarAtInfinityAddsOnlyOffAxisAstigmatism) {
  TParamEntries e = Newtonian(200, 1200);
  e.SourceDistance = 7;
  ApplySourceChoice(e);
  EXPECT_EQ(e.SourceDistance, 0);
  TSetupAberrations a = SetupAberrations(e, 0);
  EXPECT_EQ(a.AstigCalc, 0);
  EXPECT_EQ(a.ComaCalc, 0);
  EXPECT_EQ(a.SpherCalc, 0);
  e.Angle = 2;
  a = SetupAberrations(e, 0);
  EXPECT_LT(a.AstigCalc, 0);
  EXPECT_EQ(a.ComaCalc, 0);
  EXPECT_EQ(a.SpherCalc, 0);
}

TEST(ParametresModel, ArtificialStarSphericalNeedsAStoredDistance) {
  TParamEntries e = Newtonian(200, 1200);
  e.Source = TSourceChoice::ArtificialStar;
  e.SourceDistance = 20;
  e.DistanceUnit = TDistanceUnit::Metres;
  EXPECT_EQ(SetupAberrations(e, 0).SpherCalc, 0);
  const TSetupAberrations a = SetupAberrations(e, DistanceObjet(20, TDistanceUnit::Metres));
  const double R = 100e6, rho = -2400e6, s = 20e9;
  const double k = 1 - rho / -s;
  EXPECT_NEAR(a.SpherCalc, std::pow(R, 4) * (k * k - 1) / (24 * std::pow(rho, 3)), 1e-9);
}

TEST(ParametresModel, OkStoresNanometresRadiansAndTheOrientedAberrations) {
  TParamEntries e = Newtonian(200, 1200);
  e.Defocus = 1.5;
  e.Source = TSourceChoice::Autocollimation;
  e.Angle = 90;
  e.Orientation = TOrientation::ByY;
  e.Mode = 255;
  TSetupAberrations a{10, 20, 30};
  TParametres p;
  StoreEntries(e, a, p);
  EXPECT_EQ(p.Focale, 1200e6);
  EXPECT_EQ(p.Rayon, 100e6);
  EXPECT_EQ(p.Defocalisation, 1.5e6);
  EXPECT_TRUE(p.Autocollimation);
  EXPECT_EQ(p.Incidence, 90 * 3.141592653589 / 180);
  EXPECT_EQ(p.AstigX, 0);
  EXPECT_EQ(p.AstigY, 10);
  EXPECT_EQ(p.ComaX, 0);
  EXPECT_EQ(p.ComaY, 20);
  EXPECT_EQ(p.Spherique, 30);
  EXPECT_EQ(p.ModeTraitement, 255);
  EXPECT_TRUE(ParametersComplete(p));

  // No orientation: the astigmatism and coma of the previous "Ok" stay.
  e.Orientation = TOrientation::None;
  e.Defocus = 0;
  StoreEntries(e, TSetupAberrations{1, 2, 3}, p);
  EXPECT_EQ(p.AstigY, 10);
  EXPECT_EQ(p.ComaY, 20);
  EXPECT_EQ(p.Spherique, 3);
  EXPECT_FALSE(ParametersComplete(p));
}

TEST(ParametresModel, FocalLengthAndRatioCoupling) {
  EXPECT_EQ(RatioText(2000, 200), "10");
  EXPECT_EQ(FocalFromRatio(200, "8"), 1600);
  EXPECT_EQ(RatioText(1500, 200), "7.5");
  EXPECT_EQ(RatioText(2000, 0), "0");
  EXPECT_EQ(FocalFromRatio(200, "f/8"), 0);  // not a number reads 0
  EXPECT_EQ(FocalFromRatio(5, "2.5"), 12);   // 12.5 rounds to even
  EXPECT_EQ(FocalFromRatio(10000, "1e300"), 0);
}

TEST(ParametresModel, StrictParseRefusesWhatIsNotANumber) {
  ProgramStateGuard state;
  SetDecimalSeparator('.');
  double v = -1.0;
  EXPECT_TRUE(StrictParseFloat(" 9.5 ", v));
  EXPECT_DOUBLE_EQ(v, 9.5);
  EXPECT_TRUE(StrictParseFloat("-2e3", v));
  EXPECT_DOUBLE_EQ(v, -2000.0);
  v = 7.0;
  for (const char* bad : {"", "  ", "abc", "9,5", "9.5x", "nan", "inf", "0x10", "1e999"}) {
    EXPECT_FALSE(StrictParseFloat(bad, v)) << bad;
    EXPECT_EQ(v, 7.0) << bad;
  }
  EXPECT_EQ(ConversionErrorText("abc"), "'abc' is not a valid floating point value");
  SetDecimalSeparator(',');
  EXPECT_TRUE(StrictParseFloat("9,5", v));
  EXPECT_DOUBLE_EQ(v, 9.5);
  EXPECT_FALSE(StrictParseFloat("9.5", v));
  EXPECT_EQ(FormatGeneral(0.25), "0,25");
  SetDecimalSeparator('.');
  EXPECT_EQ(FormatGeneral(1.0 / 3.0), "0.333333333333333");
}
