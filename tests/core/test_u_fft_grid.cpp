#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "core/u_fft.h"
#include "core/u_fonctionxy.h"

using namespace caustica;

namespace {

// A real grid of nx x ny samples with a recognisable pattern.
void MakeRealGrid(TFctXY& g, int nx, int ny) {
  g.IsComplex = 0;
  g.Init(nx, ny);
  g.Dx = 0.5;
  g.Dy = -0.25;
  for (int r = 1; r <= ny; ++r)
    for (int c = 1; c <= nx; ++c) g.Values[1][r][c] = std::sin(0.3 * r) + 0.01 * c * c - 2.0;
}

}  // namespace

TEST(TFctXYTransform, ForwardThenInverseRestoresTheGridAndNeverSharesPlanes) {
  TFctXY src, spectrum, back;
  MakeRealGrid(src, 12, 7);
  src.Scale = 3.0;
  src.Zoom = 2.0;
  src.MaskActive = true;

  spectrum.ForwardTransformOf(src);
  EXPECT_EQ(spectrum.IsComplex, 1);
  EXPECT_EQ(spectrum.Nx, 16);
  EXPECT_EQ(spectrum.Ny, 16);
  EXPECT_EQ(spectrum.Values.PlaneCount(), 2);
  EXPECT_EQ(spectrum.Dx, 0.5);
  EXPECT_EQ(spectrum.Dy, -0.25);
  EXPECT_EQ(spectrum.Scale, 1.0);
  EXPECT_EQ(spectrum.Zoom, 1.0);
  EXPECT_FALSE(spectrum.MaskActive);
  ASSERT_EQ(spectrum.XAxis.size(), 17u);
  ASSERT_EQ(spectrum.YAxis.size(), 17u);
  ASSERT_EQ(spectrum.Mask.Width(), 16);
  for (int r = 1; r <= 16; ++r)
    for (int c = 1; c <= 16; ++c) EXPECT_EQ(spectrum.Mask[1][r][c], 0);

  back.InverseTransformOf(spectrum);
  EXPECT_EQ(back.IsComplex, 0);
  EXPECT_EQ(back.Nx, 16);
  EXPECT_EQ(back.Ny, 16);
  EXPECT_EQ(back.Dx, 0.5);
  ASSERT_EQ(back.Values.PlaneCount(), 1);
  ASSERT_EQ(back.Mask.Width(), 16);
  for (int r = 1; r <= 16; ++r)
    for (int c = 1; c <= 16; ++c) {
      const double want = (r <= 7 && c <= 12) ? src.Values[1][r][c] : 0.0;
      EXPECT_NEAR(back.Values[1][r][c], want, 1e-14) << r << "," << c;
    }

  // The source spectrum gave its planes away: nothing is shared, releasing both is safe.
  EXPECT_TRUE(spectrum.Values.Empty());
  EXPECT_FALSE(spectrum.HasArrays());
  spectrum.Release();
  EXPECT_EQ(back.Values.PlaneCount(), 1);

  // Its next forward transform gives it planes again; a second round trip into
  // grids that already hold arrays of the right size gives the same result.
  spectrum.ForwardTransformOf(back);
  EXPECT_EQ(spectrum.Values.PlaneCount(), 2);
  back.Mask[1][2][2] = 1;
  back.InverseTransformOf(spectrum);
  EXPECT_EQ(back.Mask[1][2][2], 0);
  for (int r = 1; r <= 16; ++r)
    for (int c = 1; c <= 16; ++c)
      EXPECT_NEAR(back.Values[1][r][c], (r <= 7 && c <= 12) ? src.Values[1][r][c] : 0.0, 1e-14);
  back.Release();
  spectrum.Release();
}

TEST(TFctXYTransform, ComplexGridsAndSelfTransforms) {
  TFctXY g;
  g.IsComplex = 1;
  g.Init(8, 8);
  for (int r = 1; r <= 8; ++r)
    for (int c = 1; c <= 8; ++c) {
      g.Values[1][r][c] = r - c;
      g.Values[2][r][c] = r * c;
    }
  TFctXY copy;
  copy.ForwardTransformOf(g);
  g.ForwardTransformOf(g);  // in place
  for (int r = 1; r <= 8; ++r)
    for (int c = 1; c <= 8; ++c) {
      EXPECT_EQ(g.Values[1][r][c], copy.Values[1][r][c]);
      EXPECT_EQ(g.Values[2][r][c], copy.Values[2][r][c]);
    }
  g.InverseTransformOf(g);
  EXPECT_EQ(g.IsComplex, 0);
  ASSERT_EQ(g.Values.PlaneCount(), 1);
  for (int r = 1; r <= 8; ++r)
    for (int c = 1; c <= 8; ++c) EXPECT_NEAR(g.Values[1][r][c], r - c, 1e-13);

  // A real grid is not inverse-transformed.
  TFctXY out;
  out.InverseTransformOf(g);
  EXPECT_FALSE(out.HasArrays());
  EXPECT_EQ(g.Values.PlaneCount(), 1);
  // A grid without planes is not forward-transformed.
  TFctXY empty;
  out.ForwardTransformOf(empty);
  EXPECT_FALSE(out.HasArrays());
}

TEST(TFctXYTransform, DivideByFrequencySquaredInvertsTheLaplacianOfACosine) {
  const int n = 32;
  const int a = 3, b = -5;  // column and row frequencies
  TFctXY f;
  MakeRealGrid(f, n, n);
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c)
      f.Values[1][r][c] = 4.0 + std::cos(2 * std::numbers::pi * (a * (c - 1) + b * (r - 1)) / n);

  TFctXY spectrum, result;
  spectrum.ForwardTransformOf(f);
  spectrum.DivideByFrequencySquared();
  EXPECT_EQ(spectrum.Values[1][n / 2 + 1][n / 2 + 1], 0.0);  // the mean is dropped
  result.InverseTransformOf(spectrum);
  const double scale = std::fabs(f.Dx * f.Dy) / (a * a + b * b);
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c)
      EXPECT_NEAR(result.Values[1][r][c],
                  scale * std::cos(2 * std::numbers::pi * (a * (c - 1) + b * (r - 1)) / n), 1e-14);
}

TEST(TFctXYTransform, DivideByFrequencySquaredUsesTheRoundedCentre) {
  // Nx = 5: centre column Round(2.5) + 1 = 3 (half to even); Ny = 4: centre row 3.
  TFctXY g;
  g.IsComplex = 1;
  g.Init(5, 4);
  g.Dx = 2.0;
  g.Dy = 3.0;
  g.Values.Fill(1.0);
  g.DivideByFrequencySquared();
  EXPECT_EQ(g.Values[1][3][3], 0.0);
  EXPECT_EQ(g.Values[2][3][3], 0.0);
  EXPECT_DOUBLE_EQ(g.Values[1][3][4], 6.0);      // i = 1, j = 0
  EXPECT_DOUBLE_EQ(g.Values[2][1][1], 6.0 / 8);  // i = -2, j = -2
  EXPECT_DOUBLE_EQ(g.Values[1][4][5], 6.0 / 5);  // i = 2, j = 1

  TFctXY real;
  real.Init(4, 4);
  real.Values.Fill(1.0);
  real.DivideByFrequencySquared();
  EXPECT_EQ(real.Values[1][3][3], 1.0);
}
