#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/u_math.h"
#include "support/program_state_guard.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;

TEST(ScalarHelpers, SignMaxMin) {
  EXPECT_EQ(Sign(-3, 0), 3);
  EXPECT_EQ(Sign(3, -0.5), -3);
  EXPECT_EQ(Sign(-2, 5), 2);
  EXPECT_EQ(FMax(1.0, 2.0), 2.0);
  EXPECT_EQ(FMax(2.0, 1.0), 2.0);
  EXPECT_EQ(IMin(-4, 3), -4);
}

TEST(ScalarHelpers, PythagAvoidsOverflow) {
  EXPECT_DOUBLE_EQ(Pythag(3, 4), 5);
  EXPECT_DOUBLE_EQ(Pythag(-4, 3), 5);
  EXPECT_EQ(Pythag(0, 0), 0);
  const double big = Pythag(1e200, 1e200);
  EXPECT_TRUE(std::isfinite(big));
  EXPECT_NEAR(big / 1e200, std::sqrt(2.0), 1e-15);
  EXPECT_NEAR(Pythag(1e-200, 1e-200) / 1e-200, std::sqrt(2.0), 1e-15);
}

TEST(ScalarHelpers, ToPolarCoversAllQuadrants) {
  double m, a;
  ToPolar(m, a, -1.0, 0.0);
  EXPECT_DOUBLE_EQ(m, 1.0);
  EXPECT_DOUBLE_EQ(a, M_PI);
  ToPolar(m, a, 0.0, -2.0);
  EXPECT_DOUBLE_EQ(m, 2.0);
  EXPECT_DOUBLE_EQ(a, -M_PI / 2);
}

TEST(ScalarHelpers, FactorialAndRounding) {
  EXPECT_EQ(Factorial(0), 1);
  EXPECT_EQ(Factorial(1), 1);
  EXPECT_EQ(Factorial(5), 120);
  EXPECT_EQ(Factorial(12), 479001600);
  EXPECT_EQ(RoundHalfEven(0.5), 0.0);
  EXPECT_EQ(RoundHalfEven(1.5), 2.0);
  EXPECT_EQ(RoundHalfEven(2.5), 2.0);
  EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
  EXPECT_EQ(RoundToInt(1e300), std::numeric_limits<int>::max());
  EXPECT_EQ(RoundToInt(-1e300), std::numeric_limits<int>::min());
  EXPECT_EQ(RoundToInt(std::nan("")), 0);
}

TEST(ScalarHelpers, SexagesimalTexts) {
  ProgramStateGuard state;
  SetDecimalSeparator('.');
  EXPECT_EQ(FormatHours(12.5), "12h 30m 0.000s");
  EXPECT_EQ(FormatDegrees(45.2625), "45\u00b0 15' 45.000\"");
  EXPECT_EQ(FormatDegrees(0.0), "0\u00b0 0' 0.000\"");
  // Southern declinations keep the layout with a sign.
  EXPECT_EQ(FormatDegrees(-12.5), "-12\u00b0 30' 0.000\"");
  SetDecimalSeparator(',');
  EXPECT_EQ(FormatHours(1.75), "1h 45m 0,000s");
  EXPECT_EQ(FormatFixed(3.14159, 2), "3,14");
}
