#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/u_pupille.h"
#include "analysis/zernike_cache.h"
#include "zernike_test_support.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;

namespace {

// A defocused star as a camera sees it: a uniformly lit disc or annulus on
// a sky background, with Gaussian noise. Samples are area-averaged over a
// 4 x 4 sub-grid so the edge is sampled like a real detector.
void StarImage(TPupille& img, int nx, int ny, double cx, double cy, double radius, double obstruction,
               double sky, double level, double noise, unsigned seed) {
  img.Init(nx, ny);
  std::mt19937 rng(seed);
  std::normal_distribution<double> gauss(0.0, noise);
  for (int r = 1; r <= ny; ++r)
    for (int c = 1; c <= nx; ++c) {
      int hits = 0;
      for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) {
          const double x = c - 0.5 + (a + 0.5) / 4 - cx, y = r - 0.5 + (b + 0.5) / 4 - cy;
          const double rho = std::hypot(x, y);
          hits += rho <= radius && rho >= obstruction * radius;
        }
      img.Values[1][r][c] = sky + level * hits / 16.0 + gauss(rng);
    }
}

void FindPupil(TPupille& img) {
  img.ExtractThreshold(16, 50);
  img.MeasurePupil();
  img.SetPupilAxes();
  img.MeasureObstruction();
}

// A wavefront grid with a centred pupil in pupil units.
void WavefrontGrid(TPupille& w, int size, double radius, double obstruction) {
  caustica::testing::MakePupilGrid(w, size, radius, obstruction);
  w.Obstruction = obstruction;
  w.PupilRadius = radius;
  w.OriginColumn = w.OriginRow = (size + 1) / 2.0;
}

}  // namespace

TEST(PupilGeometry, FindsADiscInANoisyStarImage) {
  TPupille img;
  StarImage(img, 200, 180, 100.3, 90.7, 40.0, 0.0, 100.0, 1000.0, 30.0, 1);
  FindPupil(img);
  EXPECT_NEAR(img.OriginColumn, 100.3, 0.5);
  EXPECT_NEAR(img.OriginRow, 90.7, 0.5);
  EXPECT_NEAR(img.PupilRadius, 40.0, 0.5);
  EXPECT_LT(img.Obstruction, 0.02);
  EXPECT_NEAR(img.Dx, 1 / img.PupilRadius, 1e-15);
  EXPECT_NEAR(img.Dy, -1 / img.PupilRadius, 1e-15);
}

TEST(PupilGeometry, FindsAnAnnulusAndItsObstruction) {
  for (double e : {0.25, 0.3, 0.4}) {
    TPupille img;
    StarImage(img, 256, 256, 121.6, 133.2, 70.0, e, 500.0, 3000.0, 60.0, 2);
    FindPupil(img);
    EXPECT_NEAR(img.OriginColumn, 121.6, 0.5) << e;
    EXPECT_NEAR(img.OriginRow, 133.2, 0.5) << e;
    // The central hole counts in the radius: spans run edge to edge.
    EXPECT_NEAR(img.PupilRadius, 70.0, 0.5) << e;
    EXPECT_NEAR(img.Obstruction, e, 0.02) << e;
  }
}

TEST(PupilGeometry, CentrePupilMovesThePupilToTheGridCentre) {
  TPupille img;
  StarImage(img, 128, 128, 50.4, 70.8, 30.0, 0.0, 0.0, 1000.0, 0.0, 3);
  FindPupil(img);
  img.CentrePupil();
  EXPECT_NEAR(img.OriginColumn, 64.0, 0.5);
  EXPECT_NEAR(img.OriginRow, 64.0, 0.5);
  EXPECT_NEAR(img.PupilRadius, 30.0, 0.5);
  // Shifted counts stay whole numbers.
  for (int c = 1; c <= 128; ++c) EXPECT_EQ(img.Values[1][64][c], std::nearbyint(img.Values[1][64][c]));
}

TEST(PupilGeometry, MeasurePupilEdgeCases) {
  TPupille img;
  img.Init(10, 10);
  img.OriginColumn = 3.5;
  img.OriginRow = 4.5;
  img.MeasurePupil();
  EXPECT_EQ(img.PupilRadius, 0.0);
  EXPECT_EQ(img.OriginColumn, 3.5);
  EXPECT_EQ(img.OriginRow, 4.5);
  img.MeasureObstruction();
  EXPECT_EQ(img.Obstruction, 0.0);
  // A mask sample in the last column is never searched.
  img.Mask[1][2][10] = 1;
  img.MeasurePupil();
  EXPECT_EQ(img.PupilRadius, 0.0);
  // A row with two samples and a hole between: the span is 5 long.
  img.Mask[1][5][2] = 1;
  img.Mask[1][5][6] = 1;
  img.MeasurePupil();
  EXPECT_NEAR(img.PupilRadius, std::sqrt(5 / M_PI), 1e-12);
  EXPECT_DOUBLE_EQ(img.OriginColumn, 4.0);
  EXPECT_DOUBLE_EQ(img.OriginRow, 5.0);
}

TEST(PupilGeometry, ThresholdAtZeroPercentIsTheDarkestBlock) {
  TPupille img;
  StarImage(img, 64, 64, 32, 32, 20, 0, 10.0, 100.0, 1.0, 4);
  img.ExtractThreshold(8, 0);
  // Nearly everything is at least the darkest block average.
  img.ComputeMaskedStatistics();
  EXPECT_GT(img.MaskCount, 64 * 64 / 3);
  img.ExtractThreshold(8, 100);
  img.ComputeMaskedStatistics();
  EXPECT_LT(img.MaskCount, 64 * 64 / 4);
  // A picture smaller than the block grid still gives a threshold.
  TPupille tiny;
  StarImage(tiny, 5, 5, 3, 3, 1.5, 0, 0, 10, 0, 5);
  tiny.ExtractThreshold(64, 50);
  EXPECT_TRUE(std::isfinite(tiny.Threshold));
}

TEST(PupilGeometry, TrimAndCrop) {
  TPupille w;
  WavefrontGrid(w, 64, 20.0, 0.3);
  for (int r = 1; r <= 64; ++r)
    for (int c = 1; c <= 64; ++c) {
      w.Mask[1][r][c] = 1;
      w.Values[1][r][c] = 5.0;
    }
  w.TrimToAnnulus();
  for (int r = 1; r <= 64; ++r)
    for (int c = 1; c <= 64; ++c) {
      const double r2 = w.XAxis[c] * w.XAxis[c] + w.YAxis[r] * w.YAxis[r];
      const bool inside = r2 <= 1 && r2 >= 0.09;
      EXPECT_EQ(w.Mask[1][r][c], inside ? 1 : 0);
      EXPECT_EQ(w.Values[1][r][c], inside ? 5.0 : 0.0);
    }
  w.CropAroundPupil(2);
  // x0 = [32.5 - 22] = 10 (half to even), side 2 x [22] = 44.
  EXPECT_EQ(w.Nx, 44);
  EXPECT_EQ(w.Ny, 44);
  EXPECT_DOUBLE_EQ(w.OriginColumn, 22.5);
}

TEST(PupilZernike, SwitchingTermsOffAndOnRestoresTheMap) {
  ProgramStateGuard guard;
  SetZernikeBasis(36, 0);
  TPupille w;
  WavefrontGrid(w, 96, 40.0, 0.25);
  for (int k = 1; k <= 36; ++k) w.Coefficients[k] = 10.0 * std::sin(k * 1.7);
  SelectAll(w.Selected);
  w.SynthesiseFromZernike();
  EXPECT_EQ(w.Kind, kKindWavefront);
  std::vector<double> before(w.Values.PlaneData(1), w.Values.PlaneData(1) + 96 * 96);

  ZernikeSelection current = w.Selected;
  w.ApplySelection(current);  // the same selection changes nothing at all
  for (int i = 0; i < 96 * 96; ++i) ASSERT_EQ(w.Values.PlaneData(1)[i], before[i]);

  ZernikeSelection off = SelectionWithout(w.Selected, true, true);
  off[11] = false;
  w.ApplySelection(off);
  // With the terms off, the map equals the synthesis of the remaining ones.
  TPupille check;
  WavefrontGrid(check, 96, 40.0, 0.25);
  check.Coefficients = w.Coefficients;
  check.Selected = off;
  check.SynthesiseFromZernike();
  for (int i = 0; i < 96 * 96; ++i) ASSERT_NEAR(w.Values.PlaneData(1)[i], check.Values.PlaneData(1)[i], 1e-9);

  w.ApplySelection(current);
  for (int i = 0; i < 96 * 96; ++i) ASSERT_NEAR(w.Values.PlaneData(1)[i], before[i], 1e-9);

  // Adding a term then taking it away again.
  w.AddZernikeTerm(5, 25.0);
  EXPECT_DOUBLE_EQ(w.Coefficients[5], 10.0 * std::sin(5 * 1.7) + 25.0);
  w.AddZernikeTerm(5, -25.0);
  for (int i = 0; i < 96 * 96; ++i) ASSERT_NEAR(w.Values.PlaneData(1)[i], before[i], 1e-9);
}

TEST(PupilZernike, AddingATermWithoutPupilStillRecordsIt) {
  TPupille w;
  w.Init(16, 16);  // no mask-1 sample
  w.AddZernikeTerm(4, 12.5);
  EXPECT_EQ(w.Coefficients[4], 12.5);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(w.Values.PlaneData(1)[i], 0.0);
  TPupille empty;  // no arrays at all
  empty.AddZernikeTerm(11, 3.0);
  EXPECT_EQ(empty.Coefficients[11], 3.0);
}

TEST(PupilZernike, FitRecoversTheSynthesisedCoefficients) {
  ProgramStateGuard guard;
  SetZernikeBasis(22, 0);
  TPupille w;
  WavefrontGrid(w, 128, 55.0, 0.3);
  for (int k = 1; k <= 22; ++k) w.Coefficients[k] = 20.0 * std::cos(k * 0.9);
  SelectAll(w.Selected);
  w.SynthesiseFromZernike();
  const ZernikeCoefficients truth = w.Coefficients;
  ClearCoefficients(w.Coefficients);
  w.FitZernike();
  for (int k = 1; k <= 22; ++k) EXPECT_NEAR(w.Coefficients[k], truth[k], 1e-8) << k;
}

TEST(PupilDiffraction, AiryPatternOfAnUnobstructedDisc) {
  TPupille w;
  WavefrontGrid(w, 128, 16.0, 0.0);
  w.Wavelength = 550;
  TPupille actual, theory;
  w.ComputePSF(4, actual, theory);
  ASSERT_EQ(theory.Nx, 128);
  ASSERT_EQ(theory.Ny, 128);
  EXPECT_EQ(actual.Kind, kKindActualPsf);
  EXPECT_EQ(theory.Kind, kKindTheoreticalPsf);
  // Peak at (Nx/2, Ny/2).
  int bestR = 0, bestC = 0;
  double best = -1;
  for (int r = 1; r <= 128; ++r)
    for (int c = 1; c <= 128; ++c)
      if (theory.Values[1][r][c] > best) {
        best = theory.Values[1][r][c];
        bestR = r;
        bestC = c;
      }
  EXPECT_EQ(bestR, 64);
  EXPECT_EQ(bestC, 64);
  // First dark ring at 1.22 lambda / D: with the pupil of diameter 2 x 16
  // samples in a 512-sample transform, 1.22 x 512 / 32 = 19.5 samples out.
  int darkest = 0;
  double low = best;
  for (int d = 10; d <= 28; ++d)
    if (theory.Values[1][64][64 + d] < low) {
      low = theory.Values[1][64][64 + d];
      darkest = d;
    }
  EXPECT_NEAR(darkest, 19.5, 1.0);
  EXPECT_LT(low, 0.01 * best);
  // A flat wavefront gives the same actual and theoretical PSF.
  for (int r = 1; r <= 128; ++r)
    for (int c = 1; c <= 128; ++c) ASSERT_NEAR(actual.Values[1][r][c], theory.Values[1][r][c], 1e-12 * best);
  // The last row and column are left at 0.
  EXPECT_EQ(theory.Values[1][128][64], 0.0);
  EXPECT_EQ(theory.Values[1][64][128], 0.0);
}

TEST(PupilDiffraction, AberrationLowersThePeak) {
  ProgramStateGuard guard;
  SetZernikeBasis(22, 1);
  TPupille w;
  WavefrontGrid(w, 128, 30.0, 0.0);
  w.Coefficients[11] = 100.0;  // 44.7 nm RMS
  SelectAll(w.Selected);
  w.SynthesiseFromZernike();
  w.Wavelength = 550;
  TPupille actual, theory;
  w.ComputePSF(2, actual, theory);
  const double ratio = actual.Values[1][64][64] / theory.Values[1][64][64];
  w.ComputeMaskedStatistics();
  w.ComputeStrehl();
  EXPECT_LT(ratio, 0.85);
  // The Marechal estimate is close to the true peak ratio for this small error.
  EXPECT_NEAR(w.Strehl, ratio, 0.05);
}

TEST(PupilDiffraction, StrehlFigures) {
  TPupille w;
  w.RmsValue = 50;
  w.Wavelength = 550;
  w.Obstruction = 0.3;
  w.ComputeStrehl();
  const double expected = std::exp(-std::pow(2 * M_PI * 50 / 550, 2));
  EXPECT_NEAR(w.Strehl, expected, 1e-12);
  EXPECT_NEAR(w.ObstructionFactor, 0.91 * 0.91, 1e-15);
  EXPECT_NEAR(w.StrehlObstructed, expected * 0.8281, 1e-12);
  // Without a wavelength the Strehl ratio is left as it was.
  w.Wavelength = 0;
  w.Strehl = 0.5;
  w.ComputeStrehl();
  EXPECT_EQ(w.Strehl, 0.5);
  EXPECT_NEAR(w.StrehlObstructed, 0.5 * 0.8281, 1e-12);
}

TEST(PupilDiffraction, InterferogramShowsTheRequestedFringeCount) {
  for (int fringes : {3, 6}) {
    TPupille w;
    WavefrontGrid(w, 201, 100.0, 0.0);
    TPupille tilt;
    WavefrontGrid(tilt, 201, 100.0, 0.0);
    const double lambda = 632.8;
    const double a = fringes * lambda / 2;
    tilt.SetTiltPlane(a, 0.0);
    TPupille fringe;
    fringe.Init(201, 201);
    fringe.Wavelength = lambda;
    fringe.MakeInterferogram(w, tilt);
    EXPECT_EQ(fringe.Kind, kKindInterferogram);
    EXPECT_EQ(fringe.Mask[1][101][101], 1);
    // Count dark fringes crossed along the middle row.
    int dark = 0;
    bool inDark = false;
    for (int c = 1; c <= 201; ++c) {
      if (fringe.Mask[1][101][c] != 1) continue;
      const double v = fringe.Values[1][101][c];
      if (!inDark && v < 0.1) {
        ++dark;
        inDark = true;
      } else if (v > 0.9) {
        inDark = false;
      }
    }
    EXPECT_NEAR(dark, fringes, 1) << fringes;
    for (double v : {fringe.Values[1][101][50], fringe.Values[1][30][101]}) {
      EXPECT_GE(v, 0.0);
      EXPECT_LE(v, 1.0);
    }
  }
}

namespace {

// A small pupil grid with every pupil field set to a value of its own.
void MarkedPupil(TPupille& p) {
  WavefrontGrid(p, 16, 6.0, 0.3);
  p.Values[1][8][9] = 12.5;
  p.Kind = kKindWavefront;
  p.Wavelength = 632.8;
  p.Channel = 2;
  p.Angle = 0.4;
  p.FringeCount = 7;
  p.Strehl = 0.81;
  p.ObstructionFactor = 0.83;
  p.StrehlObstructed = 0.67;
  p.Coefficients[4] = 55.0;
  p.Coefficients[11] = -9.0;
  p.Selected[4] = true;
  p.Selected[11] = true;
  p.HigherOrders = true;
}

}  // namespace

TEST(PupilCopies, CloneKeepsEveryPupilFieldAndSharesNothing) {
  TPupille src;
  MarkedPupil(src);
  TPupille copy;
  copy.Init(4, 4);
  copy.CloneFrom(src);
  EXPECT_EQ(copy.Nx, 16);
  EXPECT_EQ(copy.Ny, 16);
  EXPECT_EQ(copy.Values[1][8][9], 12.5);
  EXPECT_EQ(copy.XAxis, src.XAxis);
  EXPECT_EQ(copy.Kind, kKindWavefront);
  EXPECT_EQ(copy.OriginColumn, src.OriginColumn);
  EXPECT_EQ(copy.OriginRow, src.OriginRow);
  EXPECT_EQ(copy.PupilRadius, 6.0);
  EXPECT_EQ(copy.Obstruction, 0.3);
  EXPECT_EQ(copy.Wavelength, 632.8);
  EXPECT_EQ(copy.Channel, 2);
  EXPECT_EQ(copy.Angle, 0.4);
  EXPECT_EQ(copy.FringeCount, 7);
  EXPECT_EQ(copy.Strehl, 0.81);
  EXPECT_EQ(copy.ObstructionFactor, 0.83);
  EXPECT_EQ(copy.StrehlObstructed, 0.67);
  EXPECT_EQ(copy.Coefficients, src.Coefficients);
  EXPECT_EQ(copy.Selected, src.Selected);
  EXPECT_TRUE(copy.HigherOrders);

  copy.Values[1][8][9] = 0.0;
  copy.Coefficients[4] = 0.0;
  copy.Release();
  EXPECT_EQ(src.Values[1][8][9], 12.5);
  EXPECT_EQ(src.Coefficients[4], 55.0);
  EXPECT_EQ(src.Nx, 16);
}

TEST(PupilCopies, AssignPupilRefusesAnotherSizeAndCopiesTheGeometryOtherwise) {
  TPupille src;
  MarkedPupil(src);
  TPupille other;
  other.Init(8, 8);
  other.PupilRadius = 3.0;
  other.Kind = kKindIntra;
  EXPECT_FALSE(other.AssignPupil(src));
  EXPECT_EQ(other.Nx, 8);
  EXPECT_EQ(other.PupilRadius, 3.0);
  EXPECT_EQ(other.Kind, kKindIntra);
  EXPECT_EQ(other.Coefficients[4], 0.0);

  TPupille same;
  same.Init(16, 16);
  EXPECT_TRUE(same.AssignPupil(src));
  EXPECT_EQ(same.Values[1][8][9], 12.5);
  EXPECT_EQ(same.Kind, kKindWavefront);
  EXPECT_EQ(same.PupilRadius, 6.0);
  EXPECT_EQ(same.Obstruction, 0.3);
  EXPECT_EQ(same.OriginColumn, src.OriginColumn);
  EXPECT_EQ(same.Coefficients, src.Coefficients);
  EXPECT_TRUE(same.HigherOrders);

  // The geometry alone: origin, radius and obstruction, nothing else.
  TPupille geometry;
  geometry.Init(16, 16);
  CopyPupilGeometry(src, geometry);
  EXPECT_EQ(geometry.OriginColumn, src.OriginColumn);
  EXPECT_EQ(geometry.OriginRow, src.OriginRow);
  EXPECT_EQ(geometry.PupilRadius, 6.0);
  EXPECT_EQ(geometry.Obstruction, 0.3);
  EXPECT_EQ(geometry.Kind, 0);
  EXPECT_EQ(geometry.Values[1][8][9], 0.0);
  EXPECT_EQ(geometry.Coefficients[4], 0.0);
}
