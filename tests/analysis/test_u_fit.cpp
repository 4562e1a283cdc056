#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/u_fit.h"
#include "zernike_test_support.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;
using caustica::testing::MakePupilGrid;

namespace {

// Coefficients of a few hundred nanometres, all different.
ZernikeCoefficients SomeCoefficients() {
  ZernikeCoefficients c{};
  for (int k = 1; k <= 42; ++k) c[k] = 300.0 * std::sin(1.7 * k + 0.3) / (1.0 + 0.05 * k);
  return c;
}

// Plane 1 := sum of c[k] x term k on mask-1 samples inside the domain;
// other samples get a value that would spoil any fit that used them.
void Synthesise(TFctXY& grid, double obstruction, const ZernikeCoefficients& c) {
  ZernikeValues v;
  for (int r = 1; r <= grid.Ny; ++r) {
    for (int col = 1; col <= grid.Nx; ++col) {
      double value = 1e6;
      if (EvaluateZernike(obstruction, grid.YAxis[r], grid.XAxis[col], v)) {
        value = 0.0;
        for (int k = 1; k <= 42; ++k) value += c[k] * v[k];
      }
      grid.Values[1][r][col] = value;
    }
  }
}

void ExpectCoefficients(const ZernikeCoefficients& actual, const ZernikeCoefficients& expected,
                        double tolerance) {
  for (int k = 1; k <= 42; ++k) EXPECT_NEAR(actual[k], expected[k], tolerance) << "term " << k;
}

}  // namespace

TEST(FitZernike, RecoversAllTermsOnDiskAndAnnulus) {
  ProgramStateGuard guard;
  ZernikeSelection all;
  SelectAll(all);
  for (int type : {kCirclePolynomials, kAnnularPolynomials}) {
    SetZernikeBasis(42, type);
    const double e = type == kAnnularPolynomials ? 0.3 : 0.0;
    TFctXY grid;
    MakePupilGrid(grid, 96, 46.0, e);
    // Mask 1 beyond the rim and in the hole: those samples are outside the
    // polynomial domain and must not be used.
    for (int r = 1; r <= 96; ++r) grid.Mask[1][r][1] = 1;
    grid.Mask[1][48][48] = 1;
    const ZernikeCoefficients expected = SomeCoefficients();
    Synthesise(grid, e, expected);
    ZernikeCoefficients fitted;
    ZernikeTermCache cache;
    FitZernike(grid, e, all, fitted, cache);
    ExpectCoefficients(fitted, expected, 1e-8);

    // Samples of mask 0 are ignored whatever they hold.
    grid.Mask[1][48][90] = 0;
    grid.Values[1][48][90] = -5e5;
    FitZernike(grid, e, all, fitted, cache);
    ExpectCoefficients(fitted, expected, 1e-8);
  }
}

TEST(FitZernike, NoiseAveragesOut) {
  ProgramStateGuard guard;
  SetZernikeBasis(42, kAnnularPolynomials);
  TFctXY grid;
  MakePupilGrid(grid, 160, 78.0, 0.3);
  const ZernikeCoefficients expected = SomeCoefficients();
  Synthesise(grid, 0.3, expected);
  std::mt19937 random(1234);
  std::normal_distribution<double> noise(0.0, 5.0);
  for (int r = 1; r <= 160; ++r) {
    for (int c = 1; c <= 160; ++c) grid.Values[1][r][c] += noise(random);
  }
  ZernikeSelection all;
  SelectAll(all);
  ZernikeCoefficients fitted;
  FitZernike(grid, 0.3, all, fitted);
  // About 17 000 samples: each coefficient is off by a few tenths of a
  // nanometre at most for 5 nm of noise.
  ExpectCoefficients(fitted, expected, 1.0);
}

TEST(FitZernike, SelectionRules) {
  ProgramStateGuard guard;
  SetZernikeBasis(22, kAnnularPolynomials);
  TFctXY grid;
  MakePupilGrid(grid, 64, 30.0, 0.2);
  ZernikeCoefficients expected = SomeCoefficients();
  for (int k = 23; k <= 42; ++k) expected[k] = 0.0;  // the map holds only terms in use
  expected[5] = expected[9] = 0.0;
  Synthesise(grid, 0.2, expected);

  ZernikeSelection selected;
  SelectAll(selected);
  selected[5] = selected[9] = false;  // switched off before the fit
  ZernikeCoefficients fitted;
  fitted.fill(99.0);
  FitZernike(grid, 0.2, selected, fitted);
  ExpectCoefficients(fitted, expected, 1e-8);
  EXPECT_EQ(fitted[5], 0.0);
  EXPECT_EQ(fitted[9], 0.0);
  for (int k = 23; k <= 42; ++k) EXPECT_EQ(fitted[k], 0.0) << "beyond the count";

  // Nothing selected among the terms in use: all zero.
  ZernikeSelection none{};
  for (int k = 23; k <= 42; ++k) none[k] = true;
  fitted.fill(99.0);
  FitZernike(grid, 0.2, none, fitted);
  for (double value : fitted) EXPECT_EQ(value, 0.0);
}

TEST(FitZernike, DegenerateSampleSets) {
  ProgramStateGuard guard;
  SetZernikeBasis(11, kCirclePolynomials);
  ZernikeSelection selected{};
  for (int k = 1; k <= 4; ++k) selected[k] = true;

  // One row on the positive x axis: term 3 (r sin t) is exactly 0 there, so
  // its singular value is 0 and it gets nothing; terms 1, 2, 4 are fitted.
  TFctXY line;
  line.Init(12, 1);
  line.YAxis[1] = 0.0;
  for (int c = 1; c <= 12; ++c) {
    const double x = c / 12.0;
    line.XAxis[c] = x;
    line.Mask[1][1][c] = 1;
    line.Values[1][1][c] = 5.0 + 3.0 * x - 2.0 * (2 * x * x - 1);
  }
  ZernikeCoefficients fitted;
  FitZernike(line, 0.0, selected, fitted);
  EXPECT_NEAR(fitted[1], 5.0, 1e-10);
  EXPECT_NEAR(fitted[2], 3.0, 1e-10);
  EXPECT_EQ(fitted[3], 0.0);
  EXPECT_NEAR(fitted[4], -2.0, 1e-10);

  // Fewer usable samples than selected terms: zeros, not garbage.
  for (int c = 4; c <= 12; ++c) line.Mask[1][1][c] = 0;
  fitted.fill(99.0);
  FitZernike(line, 0.0, selected, fitted);
  for (double value : fitted) EXPECT_EQ(value, 0.0);

  // No usable sample at all, and a grid without planes.
  line.Mask.Fill(0);
  FitZernike(line, 0.0, selected, fitted);
  for (double value : fitted) EXPECT_EQ(value, 0.0);
  TFctXY empty;
  FitZernike(empty, 0.0, selected, fitted);
  for (double value : fitted) EXPECT_EQ(value, 0.0);
}

TEST(FitZernike, SmallPatchOfThePupilStaysAccurate) {
  // Terms nearly dependent on a small off-centre patch: the fit must still
  // recover an exact combination of them.
  ProgramStateGuard guard;
  SetZernikeBasis(15, kCirclePolynomials);
  TFctXY grid;
  grid.Init(40, 40);
  for (int i = 1; i <= 40; ++i) {
    grid.XAxis[i] = 0.5 + 0.001 * i;
    grid.YAxis[i] = 0.1 + 0.001 * i;
  }
  grid.Mask.Fill(1);
  ZernikeCoefficients expected{};
  for (int k = 1; k <= 6; ++k) expected[k] = 10.0 * k;
  Synthesise(grid, 0.0, expected);
  ZernikeSelection selected{};
  for (int k = 1; k <= 6; ++k) selected[k] = true;
  ZernikeCoefficients fitted;
  FitZernike(grid, 0.0, selected, fitted);
  ExpectCoefficients(fitted, expected, 1e-7);
}

TEST(FitZernike, UncachedGeometryGivesTheSameFit) {
  // Too large to cache: the fit evaluates the polynomials itself.
  ProgramStateGuard guard;
  SetZernikeBasis(42, kAnnularPolynomials);
  TFctXY big;
  big.Init(2048, 1024);
  for (int c = 1; c <= 2048; ++c) big.XAxis[c] = (c - 1024.5) / 20.0;
  for (int r = 1; r <= 1024; ++r) big.YAxis[r] = -(r - 512.5) / 20.0;
  for (int r = 480; r <= 545; ++r) {
    for (int c = 990; c <= 1060; ++c) big.Mask[1][r][c] = 1;
  }
  const ZernikeCoefficients expected = SomeCoefficients();
  ZernikeValues v;
  for (int r = 480; r <= 545; ++r) {
    for (int c = 990; c <= 1060; ++c) {
      double value = 0.0;
      if (EvaluateZernike(0.3, big.YAxis[r], big.XAxis[c], v)) {
        for (int k = 1; k <= 42; ++k) value += expected[k] * v[k];
      }
      big.Values[1][r][c] = value;
    }
  }
  ZernikeSelection all;
  SelectAll(all);
  ZernikeTermCache cache;
  ZernikeCoefficients fitted;
  FitZernike(big, 0.3, all, fitted, cache);
  EXPECT_FALSE(cache.Valid());
  ExpectCoefficients(fitted, expected, 1e-8);
}
