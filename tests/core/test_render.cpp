#include <gtest/gtest.h>

#include "core/grid_picture.h"
#include "core/image_surface.h"
#include "core/u_Palettes.h"
#include "core/u_fonctionxy.h"

using namespace caustica;

namespace {

TFctXY Ramp(int nx, int ny) {
  TFctXY g;
  g.Init(nx, ny);
  for (int r = 1; r <= ny; ++r)
    for (int c = 1; c <= nx; ++c) g.Values[1][r][c] = (c - 1) * 50.0;
  return g;
}

int Red(const TSoftwareSurface& s, int x, int y) { return s.Picture.Pixel(x, y)[0]; }

}  // namespace

TEST(Render, GreyRampTakesTheDataRangeWhenNoWindowIsSet) {
  TFctXY g = Ramp(3, 2);
  g.PaletteIndex = 0;
  g.Zoom = 2.0;
  TSoftwareSurface s;
  const double start = DisplayStart, width = DisplayWidth;
  const TPaletteDef palette = CurrentPalette;
  g.Render(s);
  ASSERT_EQ(s.Picture.Width, 3);
  ASSERT_EQ(s.Picture.Height, 2);
  // Drawing leaves the grid and the program-wide palette state alone.
  EXPECT_EQ(g.DisplayLow, 0);
  EXPECT_EQ(g.DisplayHigh, 0);
  EXPECT_EQ(g.PtvValue, 0);
  EXPECT_EQ(DisplayStart, start);
  EXPECT_EQ(DisplayWidth, width);
  EXPECT_EQ(CurrentPalette.SegmentCount, palette.SegmentCount);
  EXPECT_EQ(Red(s, 0, 0), 0);
  EXPECT_EQ(Red(s, 1, 1), 128);  // 127.5, half to even
  EXPECT_EQ(Red(s, 2, 0), 255);
  EXPECT_EQ(s.DisplayWidth, 6);
  EXPECT_EQ(s.DisplayHeight, 4);
}

TEST(Render, PictureRecipeStoresTheRangeAndOpensTheWindowOnIt) {
  TFctXY g = Ramp(3, 2);
  g.PaletteIndex = 0;
  const TRaster picture = GridPicture(g, 2.0, std::nullopt);
  EXPECT_EQ(g.Zoom, 2.0);
  EXPECT_EQ(g.DisplayLow, 0);
  EXPECT_EQ(g.DisplayHigh, 100);
  EXPECT_EQ(g.PtvValue, 100);
  EXPECT_EQ(picture.Pixel(1, 1)[0], 128);
  // A window already set is kept, whatever the range.
  g.DisplayLow = 50;
  g.DisplayHigh = 100;
  EXPECT_EQ(GridPicture(g, 1.0, std::nullopt).Pixel(1, 0)[0], 0);
  EXPECT_EQ(g.DisplayLow, 50);
}

TEST(Render, MonochromeTintComesFromTheCallerNotTheProgramWideWavelength) {
  TFctXY g = Ramp(3, 1);
  g.PaletteIndex = 5;
  const double saved = MonochromeWavelength;
  MonochromeWavelength = 450;  // blue
  const TRaster own = GridPicture(g, 1.0, 650.0);
  const TRaster shared = GridPicture(g, 1.0, std::nullopt);
  EXPECT_EQ(MonochromeWavelength, 450);
  MonochromeWavelength = saved;
  // The top of the ramp: red for 650 nm, blue for 450 nm.
  EXPECT_EQ(own.Pixel(2, 0)[0], 255);
  EXPECT_EQ(own.Pixel(2, 0)[2], 0);
  EXPECT_EQ(shared.Pixel(2, 0)[0], 0);
  EXPECT_GT(shared.Pixel(2, 0)[2], 200);
}

TEST(Render, RangeFactorNarrowsTheWindowAboutItsMiddle) {
  TFctXY g = Ramp(3, 1);
  g.RangeFactor = 0.5;
  TSoftwareSurface s;
  g.Render(s);
  // The window 25..75: 0 below it, 50 in its middle, 100 above it.
  EXPECT_EQ(Red(s, 0, 0), 0);
  EXPECT_EQ(Red(s, 1, 0), 128);
  EXPECT_EQ(Red(s, 2, 0), 255);
}

TEST(Render, MaskedSamplesTakeThePaletteBackground) {
  TFctXY g = Ramp(3, 1);
  g.PaletteIndex = 1;
  g.Mask[1][1][1] = 1;
  g.Mask[1][1][2] = 2;  // any code other than 1 is outside
  g.MaskActive = true;
  TSoftwareSurface s;
  g.Render(s);
  EXPECT_EQ(Red(s, 1, 0), 102);
  EXPECT_EQ(s.Picture.Pixel(1, 0)[2], 102);
  EXPECT_EQ(Red(s, 2, 0), 102);
  EXPECT_EQ(Red(s, 0, 0), 0);  // inside: the first ramp colour, black
  // Without MaskActive the mask is ignored.
  g.MaskActive = false;
  g.Render(s);
  EXPECT_EQ(Red(s, 2, 0), 255);
}

TEST(Render, ConstantGridLeavesTheRasterUnpaintedButSized) {
  TFctXY g;
  g.Init(4, 3);
  g.Values.Fill(7.0);
  g.Zoom = 0.5;
  TSoftwareSurface s;
  g.Render(s);
  EXPECT_EQ(s.Picture.Width, 4);
  EXPECT_EQ(s.Picture.Height, 3);
  for (std::uint8_t b : s.Picture.Rgb) EXPECT_EQ(b, 0);
  EXPECT_EQ(s.DisplayWidth, 2);
  EXPECT_EQ(s.DisplayHeight, 2);  // 1.5 rounds to even
}

TEST(Render, ReliefDarkensAlongTheSlope) {
  // A ramp along x has a constant slope inside; the first and last columns
  // have none (the masked derivative leaves them 0): dark there, bright inside.
  TFctXY g = Ramp(5, 5);
  for (int r = 1; r <= 5; ++r)
    for (int c = 1; c <= 5; ++c) {
      g.Mask[1][r][c] = 1;
      g.Values[1][r][c] += 10;
    }
  g.DisplayLow = 0;
  g.DisplayHigh = 1;  // every value is white before shading
  g.Relief = true;
  TSoftwareSurface s;
  g.Render(s);
  EXPECT_EQ(Red(s, 2, 2), 255);
  EXPECT_EQ(Red(s, 0, 2), 0);
  EXPECT_EQ(Red(s, 4, 2), 0);
  // A constant slope everywhere (no variation) is drawn at full brightness.
  TFctXY flat;
  flat.Init(3, 3);
  flat.Values[1][2][2] = 10;
  flat.Relief = true;  // the mask is empty: slope 0 everywhere
  flat.Render(s);
  EXPECT_EQ(Red(s, 1, 1), 255);
}

TEST(Render, OverlayShapesUseColumnAndRowOfTheirEnds) {
  TFctXY g = Ramp(20, 20);
  g.Values.Fill(0.0);
  g.Values[1][1][1] = 1.0;
  g.PaletteIndex = 0;
  g.Shapes[1].Visible = true;
  g.Shapes[1].ShapeKind = 0;
  g.Shapes[1].X1 = 2;
  g.Shapes[1].Y1 = 5;
  g.Shapes[1].X2 = 12;
  g.Shapes[1].Y2 = 5;
  g.Shapes[2].Visible = false;  // hidden shapes are not drawn
  g.Shapes[2].X1 = 0;
  g.Shapes[2].Y1 = 15;
  g.Shapes[2].X2 = 19;
  g.Shapes[2].Y2 = 15;
  TSoftwareSurface s;
  g.Render(s);
  // ColumnOf(x) = x with Dx 1 and origin 0.
  EXPECT_EQ(Red(s, 2, 5), 255);
  EXPECT_EQ(Red(s, 12, 5), 255);
  EXPECT_EQ(s.Picture.Pixel(7, 5)[1], 0);
  EXPECT_EQ(Red(s, 13, 5), 0);
  EXPECT_EQ(Red(s, 5, 15), 0);
}

TEST(Render, ACircleFarBeyondThePictureDrawsNothingAndOverflowsNothing) {
  // The Airy circle of a spot diagram at LambdaRef = 1e300: its corners are
  // clamped to the int range, whose sum once overflowed.
  TFctXY g = Ramp(3, 1);
  g.Dx = g.Dy = 1.0;
  TSoftwareSurface plain;
  g.Render(plain);
  g.Shapes[1].Visible = true;
  g.Shapes[1].ShapeKind = 1;
  g.Shapes[1].Radius = 1e300;
  TSoftwareSurface s;
  g.Render(s);
  EXPECT_EQ(s.Picture.Rgb, plain.Picture.Rgb);
}
