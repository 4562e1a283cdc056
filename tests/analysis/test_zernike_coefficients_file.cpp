#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "analysis/zernike_coefficients_file.h"
#include "core/u_math.h"
#include "setup/run_settings.h"
#include "setup/u_prefs.h"
#include "support/test_files.h"
#include "zernike_test_support.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;
using caustica::test::ReadBytes;
using caustica::test::ScratchDir;

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "text after the last CR LF";
  return lines;
}

}  // namespace

TEST(CoefficientFile, RmsNormalisedLinesWithNames) {
  ProgramStateGuard basis;
  SetZernikeBasis(22, kCirclePolynomials);
  ZernikeCoefficients c{};
  c[11] = -12.5 * std::sqrt(5.0);  // RMS factor of the spherical term
  c[4] = 100 * std::sqrt(3.0);
  c[6] = 0.0000015 * std::sqrt(6.0);
  const std::vector<std::string> lines = Lines(ZernikeCoefficientsText(c, 22, '.'));
  ASSERT_EQ(lines.size(), 22u);
  EXPECT_EQ(lines[0], "1;Piston;0");
  EXPECT_EQ(lines[3],
            "4;D\xC3\xA9"
            "focalisation;100");
  EXPECT_EQ(lines[5], "6;Astigmatisme (sin);1.5E-6");
  EXPECT_EQ(lines[10], "11;Sph\xC3\xA9ricit\xC3\xA9;-12.5");
  EXPECT_EQ(lines[15], "16;Sec. coma;0");
  EXPECT_EQ(lines[16], "17;Sec. coma;0");
  EXPECT_EQ(lines[21], "22;Sec. Spher.;0");
  EXPECT_EQ(Lines(ZernikeCoefficientsText(c, 22, ','))[10], "11;Sph\xC3\xA9ricit\xC3\xA9;-12,5");
}

TEST(CoefficientFile, TermsBeyond28AreNamedByTheirPolynomial) {
  ProgramStateGuard basis;
  SetZernikeBasis(42, kCirclePolynomials);
  EXPECT_EQ(ZernikeTermName(29), ZernikeName(7, 1));
  EXPECT_EQ(ZernikeTermName(30), ZernikeName(7, -1));
  EXPECT_EQ(ZernikeTermName(37), ZernikeName(8, 0));
  EXPECT_EQ(ZernikeTermName(41), ZernikeName(8, -4));
  EXPECT_EQ(ZernikeTermName(42), ZernikeName(8, 6));
  EXPECT_EQ(ZernikeTermName(0), "");
  EXPECT_EQ(ZernikeTermName(43), "");
  const std::vector<std::string> lines = Lines(ZernikeCoefficientsText(ZernikeCoefficients{}, 255, '.'));
  ASSERT_EQ(lines.size(), 42u);
  EXPECT_EQ(lines[41], "42;" + ZernikeName(8, 6) + ";0");
  EXPECT_TRUE(ZernikeCoefficientsText(ZernikeCoefficients{}, 0, '.').empty());
}

TEST(CoefficientFile, SavedWithThePreferenceCountAndTheUserSeparator) {
  ProgramStateGuard state;
  SetZernikeBasis(22, kCirclePolynomials);
  Preferences.Valeurs.NPolyZern = 15;
  SetDecimalSeparator(',');
  ZernikeCoefficients c{};
  c[2] = 2.5 * 2.0;  // tilt factor 2
  ScratchDir dir;
  const std::string file = dir.File("coefficients.txt");
  std::string error;
  ASSERT_TRUE(SaveZernikeCoefficients(file, c, &error)) << error;
  const std::vector<std::string> lines = Lines(ReadBytes(file));
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[1], "2;Inclinaison (cos);2,5");
  EXPECT_EQ(lines[14], "15;Tetrafoil (sin);0");
  EXPECT_FALSE(SaveZernikeCoefficients(dir.File("missing/c.txt"), c, 22, &error));
}
