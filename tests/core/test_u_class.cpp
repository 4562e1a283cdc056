#include <gtest/gtest.h>

#include <cstring>

#include "core/u_class.h"

using namespace caustica;

TEST(PlaneArray, AllocPlanesSelectsTheArrayByTypeCode) {
  Int16Planes a16;
  DoublePlanes a64(4, 4, 1);
  a64[1][2][3] = 7.0;

  AllocPlanes(a16, a64, 3, 2, 2, 1);
  ASSERT_EQ(a16.PlaneCount(), 1);
  EXPECT_EQ(a16.Width(), 3);
  EXPECT_EQ(a16.Height(), 2);
  for (int r = 1; r <= 2; ++r)
    for (int c = 1; c <= 3; ++c) EXPECT_EQ(a16[1][r][c], 0);
  // The double variable is left untouched.
  EXPECT_EQ(a64.Width(), 4);
  EXPECT_EQ(a64[1][2][3], 7.0);

  Int16Planes b16;
  DoublePlanes b64;
  for (int code : {5, 6, 8}) {
    AllocPlanes(b16, b64, 5, 3, code, 2);
    EXPECT_EQ(b64.PlaneCount(), 2) << code;
    EXPECT_TRUE(b16.Empty());
    FreePlanes(b16, b64, 5, 3, code, 2);
    EXPECT_TRUE(b64.Empty());
  }
  AllocPlanes(b16, b64, 5, 3, 7, 3);
  EXPECT_EQ(b16.PlaneCount(), 3);
  for (int code : {0, 1, 3, 4, 9}) {
    Int16Planes c16;
    DoublePlanes c64;
    AllocPlanes(c16, c64, 3, 3, code, 1);
    EXPECT_TRUE(c16.Empty()) << code;
    EXPECT_TRUE(c64.Empty()) << code;
  }
  // Freeing with another code leaves the array alone.
  FreePlanes(b16, b64, 5, 3, 4, 3);
  EXPECT_EQ(b16.PlaneCount(), 3);
}

TEST(PlaneArray, RowsAreConsecutiveOneBasedSlicesOfOnePlane) {
  DoublePlanes a(4, 3, 2);
  int k = 0;
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 4; ++c) a[2][r][c] = ++k;
  const double* data = a.PlaneData(2);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(data[i], i + 1);
  // Plane 1 is a separate block, still zero.
  for (int i = 0; i < 12; ++i) EXPECT_EQ(a.PlaneData(1)[i], 0.0);
  // A whole row moves with one block copy.
  std::memcpy(&a[1][3][1], &a[2][1][1], 4 * sizeof(double));
  EXPECT_EQ(a[1][3][4], 4.0);
  DoublePlanes moved = std::move(a);
  EXPECT_TRUE(a.Empty());
  EXPECT_EQ(moved[2][3][4], 12.0);
}

TEST(PlaneArray, NonPositiveSizesAllocateNothing) {
  DoublePlanes a(0, 5, 1);
  EXPECT_TRUE(a.Empty());
  a.Allocate(3, -1, 1);
  EXPECT_TRUE(a.Empty());
  a.Allocate(3, 3, 0);
  EXPECT_TRUE(a.Empty());
}

TEST(PlaneArray, RecycledLargeBlocksNeverLeakIntoZeroedPlanes) {
  // 1024 x 1024 doubles: a large block that goes back to the pool when freed.
  {
    DoublePlanes dirty;
    dirty.AllocateForOverwrite(1024, 1024, 2);
    ASSERT_EQ(dirty.PlaneCount(), 2);
    for (int p = 1; p <= 2; ++p)
      for (std::size_t i = 0; i < dirty.PlaneSize(); ++i) dirty.PlaneData(p)[i] = 42.0;
  }
  DoublePlanes clean(1024, 1024, 2);
  for (int p = 1; p <= 2; ++p)
    for (std::size_t i = 0; i < clean.PlaneSize(); i += 997) ASSERT_EQ(clean.PlaneData(p)[i], 0.0);
  // A block for overwriting is usable at once, rows in place.
  DoublePlanes reused;
  reused.AllocateForOverwrite(1024, 1024, 1);
  reused[1][1024][1024] = 5.0;
  EXPECT_EQ(reused.PlaneData(1)[1024 * 1024 - 1], 5.0);
}
