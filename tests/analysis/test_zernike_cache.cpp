#include <gtest/gtest.h>

#include "analysis/zernike_cache.h"
#include "zernike_test_support.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;
using caustica::testing::MakePupilGrid;

namespace {

// Every cached value and inside flag equals a direct evaluation.
void ExpectMatchesDirect(const ZernikeTermCache& cache, const TFctXY& grid, double obstruction) {
  ASSERT_TRUE(cache.Valid());
  ASSERT_EQ(cache.Count(), ZernikeBasis.PolynomialCount);
  ZernikeValues v;
  for (int r = 1; r <= grid.Ny; ++r) {
    for (int c = 1; c <= grid.Nx; ++c) {
      const std::size_t offset = static_cast<std::size_t>(r - 1) * grid.Nx + (c - 1);
      const bool inside = EvaluateZernike(obstruction, grid.YAxis[r], grid.XAxis[c], v);
      ASSERT_EQ(cache.Inside()[offset], inside ? 1 : 0) << r << "," << c;
      for (int k = 1; k <= cache.Count(); ++k) ASSERT_EQ(cache.Term(k)[offset], v[k]) << k;
    }
  }
}

}  // namespace

TEST(ZernikeTermCache, HoldsExactlyTheDirectValues) {
  ProgramStateGuard guard;
  SetZernikeBasis(42, kAnnularPolynomials);
  TFctXY grid;
  MakePupilGrid(grid, 37, 15.5, 0.3);
  grid.XAxis[5] = 0.123456;  // uneven axes are taken as they are
  ZernikeTermCache cache;
  ASSERT_TRUE(cache.Prepare(grid, 0.3));
  ExpectMatchesDirect(cache, grid, 0.3);

  // A single row and a non-square grid split into bands the same way.
  TFctXY strip;
  strip.Init(29, 1);
  for (int c = 1; c <= 29; ++c) strip.XAxis[c] = -1.2 + 0.09 * c;
  strip.YAxis[1] = 0.1;
  ASSERT_TRUE(cache.Prepare(strip, 0.3));
  ExpectMatchesDirect(cache, strip, 0.3);
}

TEST(ZernikeTermCache, RebuildsOnlyWhenTheGeometryChanges) {
  ProgramStateGuard guard;
  SetZernikeBasis(22, kAnnularPolynomials);
  TFctXY grid;
  MakePupilGrid(grid, 24, 11.0, 0.2);
  ZernikeTermCache cache;
  ASSERT_TRUE(cache.Prepare(grid, 0.2));
  EXPECT_EQ(cache.BuildCount(), 1u);
  grid.Values[1][3][3] = 42.0;  // values and mask are not part of the geometry
  grid.Mask[1][3][3] = 0;
  ASSERT_TRUE(cache.Prepare(grid, 0.2));
  EXPECT_EQ(cache.BuildCount(), 1u);

  std::uint64_t builds = 1;
  auto expectRebuilt = [&](double obstruction) {
    ASSERT_TRUE(cache.Prepare(grid, obstruction));
    EXPECT_EQ(cache.BuildCount(), ++builds);
    ExpectMatchesDirect(cache, grid, obstruction);
  };
  expectRebuilt(0.25);  // obstruction
  SetZernikeBasis(22, kCirclePolynomials);
  expectRebuilt(0.25);  // type
  SetZernikeBasis(15, kKeepPolynomialType);
  expectRebuilt(0.25);  // count
  grid.XAxis[7] += 1e-9;
  expectRebuilt(0.25);  // axes
  grid.YAxis[2] = -grid.YAxis[2];
  expectRebuilt(0.25);
  MakePupilGrid(grid, 20, 9.0, 0.0);
  expectRebuilt(0.25);  // size
  SetZernikeBasis(0, kKeepPolynomialType);
  expectRebuilt(0.25);  // no terms at all still gives the inside plane
  EXPECT_EQ(cache.Count(), 0);
}

TEST(ZernikeTermCache, AddsWeightedTermsOnMaskedInsideSamples) {
  ProgramStateGuard guard;
  SetZernikeBasis(28, kAnnularPolynomials);
  TFctXY grid;
  MakePupilGrid(grid, 31, 14.0, 0.25);
  grid.Mask[1][16][3] = 0;  // a hole in the mask inside the pupil
  for (int r = 1; r <= 31; ++r) {
    for (int c = 1; c <= 31; ++c) {
      grid.Values[1][r][c] = 7.0;
      if (r == 16 && c == 16) grid.Mask[1][r][c] = 1;  // mask 1 at the centre, outside the annulus
    }
  }
  ZernikeTermCache cache;
  ASSERT_TRUE(cache.Prepare(grid, 0.25));
  ZernikeCoefficients weights{};
  weights[4] = 2.0;
  weights[11] = -3.0;
  weights[28] = 0.5;
  cache.AddTerms(grid.Values.PlaneData(1), grid.Mask.PlaneData(1), weights);
  ZernikeValues v;
  for (int r = 1; r <= 31; ++r) {
    for (int c = 1; c <= 31; ++c) {
      const bool inside = EvaluateZernike(0.25, grid.YAxis[r], grid.XAxis[c], v);
      const double expected =
          inside && grid.Mask[1][r][c] == 1 ? 7.0 + 2.0 * v[4] - 3.0 * v[11] + 0.5 * v[28] : 7.0;
      EXPECT_NEAR(grid.Values[1][r][c], expected, 1e-13) << r << "," << c;
    }
  }
}

TEST(ZernikeTermCache, RefusesUnusableOrHugeGeometries) {
  ProgramStateGuard guard;
  SetZernikeBasis(42, kAnnularPolynomials);
  ZernikeTermCache cache;
  TFctXY empty;
  EXPECT_FALSE(cache.Prepare(empty, 0.0));
  TFctXY grid;
  grid.Init(8, 8);
  grid.XAxis.resize(4);  // axes shorter than the grid
  EXPECT_FALSE(cache.Prepare(grid, 0.0));
  EXPECT_FALSE(cache.Valid());

  // 42 terms on 2048 x 1024 samples would take over half a gigabyte.
  TFctXY big;
  big.Init(2048, 1024);
  EXPECT_FALSE(cache.Prepare(big, 0.0));
  EXPECT_FALSE(cache.Valid());
}
