#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <vector>

#include "core/u_fonctionxy.h"

using namespace caustica;

namespace {

// Fills plane 1 row by row from a flat list.
void FillRows(TFctXY& g, std::initializer_list<double> values) {
  auto it = values.begin();
  for (int r = 1; r <= g.Ny; ++r)
    for (int c = 1; c <= g.Nx; ++c) g.Values[1][r][c] = *it++;
}

void FillMask(TFctXY& g, std::initializer_list<int> codes) {
  auto it = codes.begin();
  for (int r = 1; r <= g.Ny; ++r)
    for (int c = 1; c <= g.Nx; ++c) g.Mask[1][r][c] = static_cast<std::int16_t>(*it++);
}

std::vector<double> Row(const TFctXY& g, int r) {
  std::vector<double> out;
  for (int c = 1; c <= g.Nx; ++c) out.push_back(g.Values[1][r][c]);
  return out;
}

}  // namespace

TEST(Grid, InitGivesUnitSpacingAndZeroArrays) {
  TFctXY g;
  g.OriginColumn = 3.5;  // untouched by Init
  g.Init(4, 3);
  EXPECT_EQ(g.Dx, 1.0);
  EXPECT_EQ(g.Dy, 1.0);
  EXPECT_EQ(g.Scale, 1.0);
  EXPECT_EQ(g.Zoom, 1.0);
  EXPECT_EQ(g.RangeFactor, 1.0);
  EXPECT_EQ(g.OriginColumn, 3.5);
  EXPECT_EQ(g.Values.PlaneCount(), 1);
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 4; ++c) {
      EXPECT_EQ(g.Values[1][r][c], 0.0);
      EXPECT_EQ(g.Mask[1][r][c], 0);
    }
  TFctXY z;
  z.IsComplex = 1;
  z.Init(2, 2);
  EXPECT_EQ(z.Values.PlaneCount(), 2);

  // A released grid is empty and every operation on it does nothing.
  g.Release();
  EXPECT_FALSE(g.HasArrays());
  EXPECT_EQ(g.Nx, 0);
  g.MultiplyBy(2.0);
  g.ShiftBy(1.0, 1.0);
  g.Rotate180();
  g.ComputeMaskedStatistics();
  EXPECT_EQ(g.MaskCount, 0);
  double v = 0;
  EXPECT_FALSE(g.Sample(1.0, 1.0, v));
}

TEST(Grid, PadToPowerOfTwoCentresWithHalfEvenOffsets) {
  TFctXY g;
  g.Init(100, 60);
  g.SetAxes(1, 1, 10.0, 20.0, 2, 2, 11.0, 22.0);
  g.Values[1][1][1] = 5.0;
  g.Values[1][60][100] = 7.0;
  g.Mask[1][1][1] = 1;
  g.PadToPowerOfTwo();
  ASSERT_EQ(g.Nx, 128);
  ASSERT_EQ(g.Ny, 128);
  EXPECT_EQ(g.Values[1][1 + 34][1 + 14], 5.0);
  EXPECT_EQ(g.Values[1][60 + 34][100 + 14], 7.0);
  EXPECT_EQ(g.Mask[1][35][15], 1);
  EXPECT_EQ(g.XAxis[15], 10.0);
  EXPECT_EQ(g.YAxis[35], 20.0);
  EXPECT_EQ(g.XAxis[14], 0.0);  // outside the copied span: left at 0
  EXPECT_EQ(g.XAxis.size(), 129u);

  TFctXY h;
  h.Init(129, 10);
  h.Values[1][1][1] = 1.0;
  h.PadToPowerOfTwo();
  EXPECT_EQ(h.Nx, 256);
  EXPECT_EQ(h.Ny, 256);
  // (256 - 129) / 2 = 63.5 rounds to the even 64; (256 - 10) / 2 = 123.
  EXPECT_EQ(h.Values[1][124][65], 1.0);

  TFctXY s;
  s.Init(128, 128);
  s.Values[1][1][1] = 2.0;
  s.Values[1][128][128] = 3.0;
  s.PadToPowerOfTwo();
  EXPECT_EQ(s.Nx, 128);
  EXPECT_EQ(s.Values[1][1][1], 2.0);
  EXPECT_EQ(s.Values[1][128][128], 3.0);

  // A complex grid comes out as one real plane and says so.
  TFctXY z;
  z.IsComplex = 1;
  z.Init(128, 128);
  z.Values[1][5][6] = 4.0;
  z.PadToPowerOfTwo();
  EXPECT_EQ(z.IsComplex, 0);
  EXPECT_EQ(z.Values.PlaneCount(), 1);
  EXPECT_EQ(z.Values[1][5][6], 4.0);
}

TEST(Grid, ThresholdMaskCountsEqualAsInside) {
  TFctXY g;
  g.Init(3, 1);
  FillRows(g, {0.999, 1.0, 1.001});
  g.Threshold = 1.0;
  g.ThresholdMask();
  EXPECT_EQ(g.Mask[1][1][1], 0);
  EXPECT_EQ(g.Mask[1][1][2], 1);
  EXPECT_EQ(g.Mask[1][1][3], 1);
}

TEST(Grid, DerivativesOnNarrowAndRegularGrids) {
  for (int nx : {1, 2}) {
    TFctXY s, d;
    s.Init(nx, 2);
    d.Init(nx, 2);
    d.Values.Fill(9.0);
    s.Values.Fill(4.0);
    s.Mask.Fill(1);
    d.DerivativeX(s);
    for (int r = 1; r <= 2; ++r)
      for (int c = 1; c <= nx; ++c) EXPECT_EQ(d.Values[1][r][c], 0.0) << nx;
    EXPECT_EQ(d.Mask[1][1][1], 1);
  }

  TFctXY s, d;
  s.Init(4, 3);
  s.Dx = 0.5;
  s.Dy = 2.0;
  FillRows(s, {1, 2, 4, 8, 0, 0, 0, 0, 5, 6, 7, 8});
  d.Init(4, 3);
  d.DerivativeX(s);
  EXPECT_EQ(d.Dx, 0.5);
  EXPECT_EQ(Row(d, 1), (std::vector<double>{0, 3, 6, 0}));
  d.DerivativeY(s);
  EXPECT_EQ(Row(d, 1), (std::vector<double>{0, 0, 0, 0}));
  EXPECT_EQ(Row(d, 2), (std::vector<double>{1, 1, 0.75, 0}));
  EXPECT_EQ(Row(d, 3), (std::vector<double>{0, 0, 0, 0}));

  // A grid may be its own source.
  s.DerivativeX(s);
  EXPECT_EQ(Row(s, 1), (std::vector<double>{0, 3, 6, 0}));
}

TEST(Grid, MaskedDerivativeUsesOneSidedDifferencesAtTheEdge) {
  TFctXY s, d;
  s.Init(7, 1);
  s.Dx = 2.0;
  FillRows(s, {1, 2, 4, 8, 16, 32, 64});
  FillMask(s, {0, 1, 1, 1, 0, 1, 0});
  d.Init(7, 1);
  d.Values.Fill(-1.0);
  d.MaskedDerivativeX(s);
  EXPECT_EQ(d.Values[1][1][1], -1.0);  // border columns are not written
  EXPECT_EQ(d.Values[1][1][7], -1.0);
  EXPECT_EQ(d.Values[1][1][2], 1.0);  // forward: (4 - 2) / 2
  EXPECT_EQ(d.Values[1][1][3], 1.5);  // central: (8 - 2) / 4
  EXPECT_EQ(d.Values[1][1][4], 2.0);  // backward: (8 - 4) / 2
  EXPECT_EQ(d.Values[1][1][5], 0.0);  // outside
  EXPECT_EQ(d.Values[1][1][6], 0.0);  // isolated
  EXPECT_EQ(d.Mask[1][1][2], 0);      // mask not copied

  // The same column along rows, and the directional mix of both.
  TFctXY t, e;
  t.Init(1, 7);
  t.Dy = 2.0;
  FillRows(t, {1, 2, 4, 8, 16, 32, 64});
  FillMask(t, {0, 1, 1, 1, 0, 1, 0});
  e.Init(1, 7);
  e.MaskedDerivativeY(t);
  EXPECT_EQ(e.Values[1][2][1], 1.0);
  EXPECT_EQ(e.Values[1][3][1], 1.5);
  EXPECT_EQ(e.Values[1][4][1], 2.0);

  TFctXY f;
  f.Init(7, 1);
  f.DirectionalDerivative(s, 0.0);
  EXPECT_EQ(Row(f, 1), (std::vector<double>{0, 1, 1.5, 2, 0, 0, 0}));
  EXPECT_EQ(f.Mask[1][1][2], 1);  // mask copied from the source
}

TEST(Grid, SampleInterpolatesAndRefusesTheLastColumn) {
  TFctXY g;
  g.Init(3, 3);
  FillRows(g, {0, 10, 20, 100, 110, 120, 200, 210, 220});
  double v = -1.0;
  EXPECT_FALSE(g.Sample(3.0, 1.0, v));
  EXPECT_FALSE(g.Sample(1.0, 3.0, v));
  EXPECT_FALSE(g.Sample(0.999, 1.0, v));
  EXPECT_FALSE(g.Sample(NAN, 1.0, v));
  EXPECT_EQ(v, -1.0);
  ASSERT_TRUE(g.Sample(1.5, 2.25, v));
  EXPECT_DOUBLE_EQ(v, 130.0);
  // With the mask active, a sample outside is reported but still written.
  g.MaskActive = true;
  v = -1.0;
  EXPECT_FALSE(g.Sample(2.0, 2.0, v));
  EXPECT_EQ(v, 110.0);
  g.Mask[1][2][2] = 1;
  EXPECT_TRUE(g.Sample(2.4, 1.6, v));
}

TEST(Grid, ShiftByRoundsAndZeroFillsOutside) {
  TFctXY g;
  g.Init(3, 1);
  FillRows(g, {0, 1, 0});
  g.ShiftBy(0.5, 0.0);
  EXPECT_EQ(Row(g, 1), (std::vector<double>{0, 0, 0}));

  // Fractional shifts: new[c] = old at c - shift, bilinear, half-to-even.
  TFctXY f;
  f.Init(4, 2);
  FillRows(f, {10, 20, 30, 41, 50, 60, 70, 80});
  f.ShiftBy(0.25, 0.5);
  // Column c reads u = c - 0.25: 0.25 x old[k] + 0.75 x old[k + 1], k = c - 1.
  // Row 1 is half row 0 (zeros) and half row 1; row 2 half rows 1 and 2.
  //   row 1: 0.5 x (7.5, 17.5, 27.5, 38.25) = 3.75, 8.75, 13.75, 19.125
  //   row 2: adds 0.5 x (37.5, 57.5, 67.5, 77.5) = 22.5, 37.5, 47.5, 57.875
  // and the ties go to the even neighbour.
  EXPECT_EQ(Row(f, 1), (std::vector<double>{4, 9, 14, 19}));
  EXPECT_EQ(Row(f, 2), (std::vector<double>{22, 38, 48, 58}));

  // A shift that moves row 1 down by 1.5: the new row 1 lies between two
  // outside rows and reads 0, not a negative echo of the old row 1.
  TFctXY n;
  n.Init(2, 3);
  FillRows(n, {100, 100, 0, 0, 0, 0});
  n.ShiftBy(-1.5, 1.5);
  EXPECT_EQ(Row(n, 1), (std::vector<double>{0, 0}));
  EXPECT_EQ(Row(n, 2), (std::vector<double>{25, 0}));  // 0.5 x (0.5 x 100 + 0.5 x outside)
  EXPECT_EQ(Row(n, 3), (std::vector<double>{25, 0}));
  n.Init(3, 3);
  FillRows(n, {0, 0, 0, 0, 100, 0, 0, 0, 0});
  n.ShiftBy(-0.5, -0.5);  // moves the peak up-left by half a sample
  EXPECT_EQ(Row(n, 1), (std::vector<double>{25, 25, 0}));
  EXPECT_EQ(Row(n, 2), (std::vector<double>{25, 25, 0}));
  EXPECT_EQ(Row(n, 3), (std::vector<double>{0, 0, 0}));
}

TEST(Grid, StatisticsAccumulateOverTheMask) {
  TFctXY g;
  g.Init(2, 2);
  FillRows(g, {1, 3, -5, 9});
  g.ComputeMaskedStatistics();
  EXPECT_EQ(g.MaskCount, 0);
  EXPECT_EQ(g.MeanValue, 0.0);
  EXPECT_EQ(g.RmsValue, 0.0);
  g.ComputeMaskedRange();
  EXPECT_EQ(g.MinValue, 0.0);
  EXPECT_EQ(g.MaxValue, 0.0);
  g.ComputeRange();
  EXPECT_EQ(g.MinValue, -5.0);
  EXPECT_EQ(g.MaxValue, 9.0);
  EXPECT_EQ(g.PtvValue, 14.0);

  FillMask(g, {1, 1, 0, 2});
  g.ComputeMaskedRange();
  EXPECT_EQ(g.MinValue, 1.0);
  EXPECT_EQ(g.MaxValue, 3.0);
  g.ComputeMaskedStatistics();
  EXPECT_EQ(g.MaskCount, 2);
  EXPECT_EQ(g.MeanValue, 2.0);
  EXPECT_EQ(g.RmsValue, 1.0);

  // Constant values give exactly 0.
  g.Values.Fill(0.1);
  g.ComputeMaskedStatistics();
  EXPECT_EQ(g.RmsValue, 0.0);

  // Distance over Self's mask, not divided by the count.
  TFctXY o;
  o.Init(2, 2);
  FillRows(g, {4, 0, 100, 100});
  EXPECT_EQ(g.Distance(o), 4.0);
}

TEST(Grid, ArithmeticAndMaskOperations) {
  TFctXY a, b, s;
  a.Init(2, 1);
  b.Init(2, 1);
  s.Init(2, 1);
  FillRows(a, {1, 2});
  FillRows(b, {10, 20});
  s.Combine(a, b, 2.0, -0.5);
  EXPECT_EQ(Row(s, 1), (std::vector<double>{-3, -6}));
  s.Sum(a, b);
  s.Add(a);
  s.MultiplyBy(0.5);
  EXPECT_EQ(Row(s, 1), (std::vector<double>{6, 12}));

  FillMask(b, {2, 1});
  s.CopyValuesWhereMask(b, 2);
  EXPECT_EQ(Row(s, 1), (std::vector<double>{10, 12}));
  s.CopyMask(b);
  s.SetValuesWhere(1, false, 0.0);
  EXPECT_EQ(Row(s, 1), (std::vector<double>{0, 12}));
  s.SetValuesWhere(1, true, 7.0);
  EXPECT_EQ(Row(s, 1), (std::vector<double>{0, 7}));
}

TEST(Grid, CropKeepsTheOverlapAndZeroFillsTheRest) {
  TFctXY g;
  g.Init(3, 3);
  FillRows(g, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  g.SetAxes(1, 1, 0.0, 0.0, 3, 3, 2.0, 20.0);
  g.Mask[1][3][3] = 1;
  g.Crop(1, 2, 3, 2);  // columns 2..4 and rows 3..4 of the old grid
  ASSERT_EQ(g.Nx, 3);
  ASSERT_EQ(g.Ny, 2);
  EXPECT_EQ(Row(g, 1), (std::vector<double>{8, 9, 0}));
  EXPECT_EQ(Row(g, 2), (std::vector<double>{0, 0, 0}));
  EXPECT_EQ(g.Mask[1][1][2], 1);
  EXPECT_EQ(g.XAxis[1], 1.0);
  EXPECT_EQ(g.XAxis[3], 0.0);
  EXPECT_EQ(g.YAxis[1], 20.0);

  TFctXY h;
  h.Init(2, 2);
  FillRows(h, {1, 2, 3, 4});
  h.Crop(-1, -1, 2, 2);
  EXPECT_EQ(Row(h, 1), (std::vector<double>{0, 0}));
  EXPECT_EQ(Row(h, 2), (std::vector<double>{0, 1}));
  h.Crop(100, 0, 2, 2);  // nothing overlaps
  EXPECT_EQ(Row(h, 2), (std::vector<double>{0, 0}));
}

TEST(Grid, Rotate180TurnsValuesAndMaskAndTwiceRestores) {
  TFctXY g;
  g.Init(3, 2);
  FillRows(g, {1, 2, 3, 4, 5, 6});
  FillMask(g, {1, 0, 0, 0, 0, 2});
  g.Rotate180();
  EXPECT_EQ(Row(g, 1), (std::vector<double>{6, 5, 4}));
  EXPECT_EQ(Row(g, 2), (std::vector<double>{3, 2, 1}));
  EXPECT_EQ(g.Mask[1][1][1], 2);
  EXPECT_EQ(g.Mask[1][2][3], 1);
  g.Rotate180();
  EXPECT_EQ(Row(g, 1), (std::vector<double>{1, 2, 3}));
}

TEST(Grid, AssignCopiesTheListedFieldsOnly) {
  TFctXY src, dst;
  src.Init(2, 2);
  dst.Init(2, 2);
  FillRows(src, {1, 2, 3, 4});
  src.Mask[1][2][2] = 1;
  src.SetAxes(1, 1, 5.0, 6.0, 2, 2, 7.0, 9.0);
  src.MinValue = 1;
  src.DisplayHigh = 9;
  src.Threshold = 0.5;
  src.PaletteIndex = 3;
  src.MaskActive = true;
  src.Zoom = 2.0;
  src.RangeFactor = 0.5;
  src.OriginColumn = 1.5;
  src.OriginRow = 2.5;
  src.Relief = true;
  src.Shapes[1].Visible = true;
  src.Infos.Naxis1 = 2;
  dst.Assign(src);
  EXPECT_EQ(Row(dst, 2), (std::vector<double>{3, 4}));
  EXPECT_EQ(dst.Mask[1][2][2], 1);
  EXPECT_EQ(dst.XAxis[2], 7.0);
  EXPECT_EQ(dst.Dx, 2.0);
  EXPECT_EQ(dst.Dy, 3.0);
  EXPECT_EQ(dst.MinValue, 1.0);
  EXPECT_EQ(dst.DisplayHigh, 9.0);
  EXPECT_EQ(dst.Threshold, 0.5);
  EXPECT_EQ(dst.PaletteIndex, 3);
  EXPECT_TRUE(dst.MaskActive);
  EXPECT_EQ(dst.Zoom, 2.0);
  EXPECT_EQ(dst.RangeFactor, 0.5);
  EXPECT_EQ(dst.OriginColumn, 0.0);
  EXPECT_EQ(dst.OriginRow, 0.0);
  EXPECT_FALSE(dst.Relief);
  EXPECT_FALSE(dst.Shapes[1].Visible);
  EXPECT_EQ(dst.Infos.Naxis1, 0);

  // A complex grid has a second plane this one lacks: refused.
  TFctXY complexSrc;
  complexSrc.IsComplex = 1;
  complexSrc.Init(2, 2);
  EXPECT_FALSE(dst.Assign(complexSrc));
  EXPECT_EQ(dst.IsComplex, 0);
  EXPECT_EQ(dst.Values.PlaneCount(), 1);
}

// Assign never resizes: any difference of shape leaves the target exactly
// as it was, in every build type.
TEST(Grid, AssignRefusesAGridOfAnotherShape) {
  auto target = [] {
    TFctXY g;
    g.Init(3, 2);
    FillRows(g, {1, 2, 3, 4, 5, 6});
    g.Mask[1][1][1] = 1;
    g.SetAxes(1, 1, 0.0, 0.0, 3, 2, 2.0, 1.0);
    g.Threshold = 7;
    g.PaletteIndex = 2;
    return g;
  };
  auto expectUntouched = [](const TFctXY& g) {
    EXPECT_EQ(g.Nx, 3);
    EXPECT_EQ(g.Ny, 2);
    EXPECT_EQ(g.IsComplex, 0);
    EXPECT_EQ(g.Values.PlaneCount(), 1);
    EXPECT_EQ(Row(g, 1), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(Row(g, 2), (std::vector<double>{4, 5, 6}));
    EXPECT_EQ(g.Mask[1][1][1], 1);
    EXPECT_EQ(g.XAxis.size(), 4u);
    EXPECT_EQ(g.XAxis[3], 2.0);
    EXPECT_EQ(g.Dx, 1.0);
    EXPECT_EQ(g.Threshold, 7.0);
    EXPECT_EQ(g.PaletteIndex, 2);
  };
  struct Case {
    const char* what;
    int nx, ny;
    std::uint8_t complex;
  };
  for (const Case& c : {Case{"wider", 4, 2, 0}, Case{"taller", 3, 3, 0}, Case{"narrower", 2, 2, 0},
                        Case{"transposed", 2, 3, 0}, Case{"complex", 3, 2, 1}, Case{"released", 0, 0, 0}}) {
    SCOPED_TRACE(c.what);
    TFctXY src;
    src.IsComplex = c.complex;
    src.Init(c.nx, c.ny);
    src.Values.Fill(9.0);
    src.Threshold = 1;
    src.PaletteIndex = 5;
    TFctXY dst = target();
    EXPECT_FALSE(dst.Assign(src));
    expectUntouched(dst);
  }
  // A complex target refuses a real source the same way.
  TFctXY complexDst;
  complexDst.IsComplex = 1;
  complexDst.Init(3, 2);
  complexDst.Values[2][1][1] = 4.0;
  TFctXY real = target();
  EXPECT_FALSE(complexDst.Assign(real));
  EXPECT_EQ(complexDst.IsComplex, 1);
  EXPECT_EQ(complexDst.Values[1][1][1], 0.0);
  EXPECT_EQ(complexDst.Values[2][1][1], 4.0);
  // Same shape and kind: copied, and the call says so.
  TFctXY same;
  same.Init(3, 2);
  EXPECT_TRUE(same.Assign(real));
  EXPECT_EQ(Row(same, 2), (std::vector<double>{4, 5, 6}));
}

// A grid whose derivative is taken of itself works on its own copy; a
// complex grid keeps both planes through it.
TEST(Grid, DerivativeOfItselfWorksForAComplexGrid) {
  TFctXY g;
  g.IsComplex = 1;
  g.Init(3, 1);
  FillRows(g, {1, 4, 9});
  g.Values[2][1][2] = 5.0;
  g.DerivativeX(g);
  EXPECT_EQ(Row(g, 1), (std::vector<double>{0, 4, 0}));
  EXPECT_EQ(g.Values[2][1][2], 5.0);
}

TEST(Grid, CloneFromGivesAnIndependentFullCopy) {
  TFctXY src;
  src.IsComplex = 1;
  src.Init(3, 2);
  FillRows(src, {1, 2, 3, 4, 5, 6});
  src.Values[2][2][3] = -8.0;
  FillMask(src, {0, 1, 1, 1, 1, 0});
  src.SetAxes(2, 1, 0.0, 0.0, 3, 2, 0.5, 2.0);
  src.OriginColumn = 2.0;
  src.OriginRow = 1.5;
  src.MaskCount = 4;
  src.MinValue = 1;
  src.MaxValue = 6;
  src.MeanValue = 3.5;
  src.PtvValue = 5;
  src.RmsValue = 1.7;
  src.Scale = 3;
  src.Threshold = 0.25;
  src.DisplayLow = -1;
  src.DisplayHigh = 7;
  src.PaletteIndex = 4;
  src.Relief = true;
  src.MaskActive = true;
  src.Zoom = 2;
  src.RangeFactor = 0.75;
  src.Shapes[2].Visible = true;
  src.Shapes[2].Radius = 1.25;
  src.Infos.Naxis1 = 3;
  src.Infos.Telescope = "T400";

  // The target starts larger and real: it takes src's size and kind.
  TFctXY copy;
  copy.Init(8, 8);
  copy.Values.Fill(42.0);
  copy.CloneFrom(src);
  EXPECT_EQ(copy.Nx, 3);
  EXPECT_EQ(copy.Ny, 2);
  EXPECT_EQ(copy.IsComplex, 1);
  ASSERT_EQ(copy.Values.PlaneCount(), 2);
  EXPECT_EQ(copy.Values.Width(), 3);
  EXPECT_EQ(Row(copy, 1), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(Row(copy, 2), (std::vector<double>{4, 5, 6}));
  EXPECT_EQ(copy.Values[2][2][3], -8.0);
  EXPECT_EQ(copy.Mask[1][1][1], 0);
  EXPECT_EQ(copy.Mask[1][2][2], 1);
  EXPECT_EQ(copy.XAxis, src.XAxis);
  EXPECT_EQ(copy.YAxis, src.YAxis);
  EXPECT_EQ(copy.Dx, src.Dx);
  EXPECT_EQ(copy.Dy, src.Dy);
  EXPECT_EQ(copy.OriginColumn, 2.0);
  EXPECT_EQ(copy.OriginRow, 1.5);
  EXPECT_EQ(copy.MaskCount, 4);
  EXPECT_EQ(copy.MinValue, 1.0);
  EXPECT_EQ(copy.MaxValue, 6.0);
  EXPECT_EQ(copy.MeanValue, 3.5);
  EXPECT_EQ(copy.PtvValue, 5.0);
  EXPECT_EQ(copy.RmsValue, 1.7);
  EXPECT_EQ(copy.Scale, 3.0);
  EXPECT_EQ(copy.Threshold, 0.25);
  EXPECT_EQ(copy.DisplayLow, -1.0);
  EXPECT_EQ(copy.DisplayHigh, 7.0);
  EXPECT_EQ(copy.PaletteIndex, 4);
  EXPECT_TRUE(copy.Relief);
  EXPECT_TRUE(copy.MaskActive);
  EXPECT_EQ(copy.Zoom, 2.0);
  EXPECT_EQ(copy.RangeFactor, 0.75);
  EXPECT_TRUE(copy.Shapes[2].Visible);
  EXPECT_EQ(copy.Shapes[2].Radius, 1.25);
  EXPECT_EQ(copy.Infos.Naxis1, 3);
  EXPECT_EQ(copy.Infos.Telescope, "T400");

  // Nothing is shared: changing the copy leaves the source as it was.
  copy.Values[1][1][1] = 100.0;
  copy.Values[2][2][3] = 100.0;
  copy.Mask[1][1][1] = 1;
  copy.XAxis[1] = 100.0;
  copy.Infos.Telescope = "other";
  copy.Release();
  EXPECT_EQ(src.Values[1][1][1], 1.0);
  EXPECT_EQ(src.Values[2][2][3], -8.0);
  EXPECT_EQ(src.Mask[1][1][1], 0);
  EXPECT_EQ(src.XAxis.size(), 4u);
  EXPECT_EQ(src.Infos.Telescope, "T400");

  // A released source gives a released copy; cloning oneself changes nothing.
  TFctXY empty;
  copy.Init(2, 2);
  copy.CloneFrom(empty);
  EXPECT_FALSE(copy.HasArrays());
  EXPECT_EQ(copy.Nx, 0);
  src.CloneFrom(src);
  EXPECT_EQ(src.Values[2][2][3], -8.0);
}

TEST(Grid, AxesAndCoordinateConversion) {
  TFctXY g;
  g.Init(5, 1);
  g.SetAxes(3, 1, 0.0, 0.0, 5, 1, 1.0, 4.0);
  EXPECT_EQ(g.XAxis[1], -1.0);
  EXPECT_EQ(g.XAxis[5], 1.0);
  EXPECT_EQ(g.Dx, 0.5);
  EXPECT_EQ(g.YAxis[1], 0.0);  // J1 = J2: no slope
  EXPECT_EQ(g.Dy, 0.0);        // one row: the slope, 0 here

  g.OriginColumn = 3.0;
  EXPECT_EQ(g.ColumnOf(0.25), 4);  // 3.5 rounds to even
  EXPECT_EQ(g.ColumnOf(0.75), 4);  // 4.5 rounds to even
  EXPECT_EQ(g.ColumnOf(-1.0), 1);
  EXPECT_EQ(g.RowOf(1.0), 0);  // Dy = 0: no row
}

// The in-place shift against a direct evaluation of the bilinear formula on a
// copy, for shifts of every sign, whole (moved exactly) and fractional, small and larger than
// the grid, so that the row order and the buffered rows are exercised.
TEST(Grid, ShiftByMatchesDirectBilinearEvaluation) {
  const int nx = 7, ny = 5;
  auto old = [&](const std::vector<double>& v, long long r, long long c) {
    if (r < 1 || r > ny || c < 1 || c > nx) return 0.0;
    return v[static_cast<std::size_t>((r - 1) * nx + (c - 1))];
  };
  const double shifts[] = {0.0, 0.3, -0.3, 1.0, -1.0, 1.5, -1.5, 2.75, -3.25, 6.9, -8.0};
  for (double cs : shifts)
    for (double rs : shifts) {
      TFctXY g;
      g.Init(nx, ny);
      std::vector<double> before;
      for (int r = 1; r <= ny; ++r)
        for (int c = 1; c <= nx; ++c) {
          g.Values[1][r][c] = (r * 37 + c * 101) % 53;
          before.push_back(g.Values[1][r][c]);
        }
      g.ShiftBy(cs, rs);
      for (int r = 1; r <= ny; ++r)
        for (int c = 1; c <= nx; ++c) {
          const double t = r - rs, u = c - cs;
          const long long i = static_cast<long long>(std::floor(t));
          const long long k = static_cast<long long>(std::floor(u));
          const double fy = t - i, fx = u - k;
          const double v = (1 - fx) * (1 - fy) * old(before, i, k) + fx * (1 - fy) * old(before, i, k + 1) +
                           (1 - fx) * fy * old(before, i + 1, k) + fx * fy * old(before, i + 1, k + 1);
          ASSERT_EQ(g.Values[1][r][c], std::nearbyint(v)) << cs << " " << rs << " at " << r << "," << c;
        }
    }
}

TEST(GridDerivatives, DirectionalDerivativeEqualsTheCombinedMaskedDerivatives) {
  const int nx = 9, ny = 7;
  TFctXY src;
  src.Init(nx, ny);
  src.Dx = 0.5;
  src.Dy = -0.25;
  unsigned seed = 7;
  for (int r = 1; r <= ny; ++r)
    for (int c = 1; c <= nx; ++c) {
      seed = seed * 1103515245u + 12345u;
      src.Values[1][r][c] = static_cast<double>((seed >> 8) % 1000) / 7.0;
      src.Mask[1][r][c] = ((seed >> 20) % 4) ? 1 : ((seed >> 22) % 2 ? 2 : 0);
    }
  TFctXY gx, gy, expected, direct;
  gx.Init(nx, ny);
  gy.Init(nx, ny);
  expected.Init(nx, ny);
  direct.Init(nx, ny);
  gx.MaskedDerivativeX(src);
  gy.MaskedDerivativeY(src);
  const double angle = -M_PI / 4;
  expected.Combine(gx, gy, std::cos(angle), std::sin(angle));
  direct.DirectionalDerivative(src, angle);
  for (int r = 1; r <= ny; ++r)
    for (int c = 1; c <= nx; ++c) {
      EXPECT_EQ(direct.Values[1][r][c], expected.Values[1][r][c]) << r << "," << c;
      EXPECT_EQ(direct.Mask[1][r][c], src.Mask[1][r][c]);
    }
}
