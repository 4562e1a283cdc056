#include <gtest/gtest.h>

#include "analysis/u_Formulaire_Optique.h"
#include "analysis/u_Seidel.h"
#include "core/u_math.h"
#include "zernike_test_support.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;

namespace {

// A 200 mm f/6 paraboloid: focal length 1200 mm, pupil radius 100 mm, in nm.
constexpr double kRho = -2.0 * 1200e6;
constexpr double kH = 100e6;

}  // namespace

TEST(SetUpAberrations, WorkedValuesForAnF6Paraboloid) {
  // 0.01 rad off axis: 1e-4 x 1e16 / (2 x -2.4e9).
  EXPECT_NEAR(OffAxisAstigmatism(0.01, kRho, kH, 1), -208.3333333333, 1e-9);
  // Source at twice the focal length (d = -2.4e9): the bracket 1 - rho/d vanishes.
  EXPECT_DOUBLE_EQ(OffAxisComa(0.01, kRho, kH, kRho), 0.0);
  // Source at 10 m: (1 - 0.24) x 0.01 x 1e24 / (3 x 5.76e18).
  EXPECT_NEAR(OffAxisComa(0.01, kRho, kH, -10e9), 0.76 * 1e22 / (3 * 5.76e18), 1e-9);
  // At the centre of curvature only the conic term is left: -1e32 / (24 x -1.3824e28).
  EXPECT_NEAR(FiniteSourceSpherical(kRho, kH, kRho, -1, 1), 301.408179012, 1e-6);
}

TEST(SetUpAberrations, GuardsGiveZero) {
  EXPECT_EQ(OffAxisAstigmatism(0.01, 0, kH, 1), 0.0);
  EXPECT_EQ(OffAxisComa(0.01, 0, kH, -10e9), 0.0);
  EXPECT_EQ(FiniteSourceSpherical(0, kH, -10e9, -1, 1), 0.0);
  // d = 0 (source at infinity) drops the bracket: no coma, and only the
  // conic constant is left in the spherical term.
  EXPECT_EQ(OffAxisComa(0.01, kRho, kH, 0), 0.0);
  EXPECT_NEAR(FiniteSourceSpherical(kRho, kH, 0, -1, 1), 301.408179012, 1e-6);
  EXPECT_EQ(FiniteSourceSpherical(kRho, kH, 0, 0, 1), 0.0);
}

namespace {

TSeidelFigures Figures(std::initializer_list<std::pair<int, double>> terms, int count = 22) {
  ZernikeCoefficients a{};
  ZernikeSelection on{};
  SelectAll(on);
  for (auto [k, v] : terms) a[k] = v;
  return SeidelFigures(a, on, count);
}

}  // namespace

TEST(SeidelFigures, RowsCaptionsAndTextsOfAPureDefocus) {
  ProgramStateGuard state;
  SetDecimalSeparator('.');
  const TSeidelFigures rows = Figures({{4, 100}});
  const char* captions[] = {"Piston", "Inclinaison", "Defocus       ", "Astigmatism ", "Coma", "Sphericity"};
  const bool oriented[] = {false, true, false, true, true, false};
  const double values[] = {-100, 0, 200, 0, 0, 0};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(rows[i].Caption, captions[i]);
    EXPECT_EQ(rows[i].HasOrientation, oriented[i]);
    EXPECT_EQ(rows[i].Value, values[i]) << i;
    EXPECT_EQ(rows[i].OrientationText, oriented[i] ? "0.0\xC2\xB0" : "") << i;
  }
  EXPECT_EQ(rows[0].ValueText, "-100.000");
  EXPECT_EQ(rows[2].ValueText, "200.000");
}

TEST(SeidelFigures, FocusCandidateRule) {
  TSeidelFigures rows = Figures({{5, 10}});
  EXPECT_EQ(rows[2].Value, -10);  // tie between -10 and 10: F0 - m
  EXPECT_EQ(rows[3].Value, 20);
  rows = Figures({{4, -10}, {5, 10}});  // candidates -30 and -10
  EXPECT_EQ(rows[2].Value, -10);
  EXPECT_EQ(rows[3].Value, -20);
  rows = Figures({{4, 10}, {11, 1}, {6, 4}});  // F0 = 14, m = 4
  EXPECT_EQ(rows[2].Value, 10);
  EXPECT_EQ(rows[3].Value, 8);
  EXPECT_EQ(rows[0].Value, -9);
  EXPECT_EQ(rows[5].Value, 6);
}

TEST(SeidelFigures, TiltComaAndTheirOrientations) {
  ProgramStateGuard state;
  SetDecimalSeparator('.');
  // tx = 5 - 2 x 1 = 3, ty = 2 - 2 x (-1) = 4.
  TSeidelFigures rows = Figures({{2, 5}, {3, 2}, {7, 1}, {8, -1}});
  EXPECT_DOUBLE_EQ(rows[1].Value, 5);
  EXPECT_EQ(rows[1].OrientationText, "53.1\xC2\xB0");
  EXPECT_EQ(rows[4].ValueText, "4.243");
  EXPECT_EQ(rows[4].OrientationText, "-45.0\xC2\xB0");
  rows = Figures({{5, -1}, {6, 1}});
  EXPECT_EQ(rows[3].OrientationText, "-22.5\xC2\xB0");
  // A zero denominator gives the limit of the arc tangent.
  rows = Figures({{3, 3}, {6, 1}, {8, 1}});
  EXPECT_EQ(rows[1].OrientationText, "90.0\xC2\xB0");
  EXPECT_EQ(rows[3].OrientationText, "45.0\xC2\xB0");
  EXPECT_EQ(rows[4].OrientationText, "90.0\xC2\xB0");
  SetDecimalSeparator(',');
  EXPECT_EQ(Figures({{4, 0.5}})[2].ValueText, "1,000");
}

TEST(SeidelFigures, SwitchedOffAndUncountedTermsDoNotEnter) {
  ZernikeCoefficients a{};
  ZernikeSelection on{};
  SelectAll(on);
  a[4] = 100;
  a[11] = 3;
  on[11] = false;
  TSeidelFigures rows = SeidelFigures(a, on, 22);
  EXPECT_EQ(rows[5].Value, 0);
  EXPECT_EQ(rows[2].Value, 200);
  on[11] = true;
  rows = SeidelFigures(a, on, 10);  // term 11 beyond the count
  EXPECT_EQ(rows[5].Value, 0);
  EXPECT_EQ(SeidelFigures(a, on, 0)[2].Value, 0);
}
