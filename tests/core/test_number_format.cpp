#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/number_format.h"

using namespace caustica;

TEST(GeneralFormat, ShortestFormUpTo15Digits) {
  EXPECT_EQ(FormatGeneral(2000.0 / 200.0, '.'), "10");  // F/D of 200 mm at 2000 mm
  EXPECT_EQ(FormatGeneral(2.0 * 1200.0, '.'), "2400");
  EXPECT_EQ(FormatGeneral(9000 * 0.001, '.'), "9");
  EXPECT_EQ(FormatGeneral(632.8, '.'), "632.8");
  EXPECT_EQ(FormatGeneral(0.1 + 0.2, '.'), "0.3");
  EXPECT_EQ(FormatGeneral(1.0 / 3.0, '.'), "0.333333333333333");
  EXPECT_EQ(FormatGeneral(2.0 / 3.0, '.'), "0.666666666666667");
  EXPECT_EQ(FormatGeneral(-2.5, '.'), "-2.5");
  EXPECT_EQ(FormatGeneral(123456789012345.0, '.'), "123456789012345");
  EXPECT_EQ(FormatGeneral(0.00001, '.'), "0.00001");
  EXPECT_EQ(FormatGeneral(0.0, '.'), "0");
  EXPECT_EQ(FormatGeneral(-0.0, '.'), "0");
}

TEST(GeneralFormat, ExponentForLargeAndSmallMagnitudes) {
  EXPECT_EQ(FormatGeneral(1e15, '.'), "1E15");
  EXPECT_EQ(FormatGeneral(999999999999999.9, '.'), "1E15");  // rounds up to 16 digits
  EXPECT_EQ(FormatGeneral(-2.5e100, '.'), "-2.5E100");
  EXPECT_EQ(FormatGeneral(1.5e-7, ','), "1,5E-7");
  EXPECT_EQ(FormatGeneral(9.99e-6, '.'), "9.99E-6");
  EXPECT_EQ(FormatGeneral(std::numeric_limits<double>::infinity(), '.'), "INF");
  EXPECT_EQ(FormatGeneral(std::nan(""), '.'), "NAN");
}

TEST(GeneralFormat, UsesTheGivenSeparator) {
  EXPECT_EQ(FormatGeneral(632.8, ','), "632,8");
  EXPECT_EQ(FormatGeneral(0.0005, ','), "0,0005");
}

TEST(GeneralFormat, LowestFixedExponentMovesTheSwitchToTheExponentForm) {
  EXPECT_EQ(FormatGeneral(0.00012, '.', -4), "0.00012");
  EXPECT_EQ(FormatGeneral(0.0001, '.', -4), "0.0001");
  EXPECT_EQ(FormatGeneral(0.000012, '.', -4), "1.2E-5");
  EXPECT_EQ(FormatGeneral(-0.000012, '.', -4), "-1.2E-5");
  EXPECT_EQ(FormatGeneral(0.00009999999999999999, '.', -4), "0.0001");  // rounds up into fixed range
  EXPECT_EQ(FormatGeneral(999999999999999.0, '.', -4), "999999999999999");
  EXPECT_EQ(FormatGeneral(1e15, '.', -4), "1E15");
  EXPECT_EQ(FormatGeneral(0.0, '.', -4), "0");
  // The two-argument form keeps 0.00001 fixed.
  EXPECT_EQ(FormatGeneral(0.000012, '.'), "0.000012");
}
