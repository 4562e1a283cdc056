#include <gtest/gtest.h>

#include <cmath>

#include "core/image_surface.h"
#include "core/u_Palettes.h"
#include "support/program_state_guard.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}

Rgb Map(double v) {
  std::uint8_t r, g, b;
  ValueToRgb(v, r, g, b);
  return {r, g, b};
}

Rgb Lambda(double l) {
  std::uint8_t r, g, b;
  WavelengthToRgb(l, r, g, b);
  return {r, g, b};
}

}  // namespace

TEST(Palettes, GrayscaleRampRoundsHalfToEvenAndClamps) {
  ProgramStateGuard state;
  SelectPalette(0);
  DisplayStart = 0;
  DisplayWidth = 100;
  EXPECT_EQ(Map(50), (Rgb{128, 128, 128}));  // 127.5 rounds to even
  EXPECT_EQ(Map(-5), (Rgb{0, 0, 0}));
  EXPECT_EQ(Map(1000), (Rgb{255, 255, 255}));
  EXPECT_EQ(Map(std::nan("")), (Rgb{0, 0, 0}));
}

TEST(Palettes, SegmentsOfTheFalseColourPalettes) {
  ProgramStateGuard state;
  SelectPalette(1);
  DisplayStart = 0;
  DisplayWidth = 1;
  EXPECT_EQ(Map(0.5), (Rgb{0, 255, 255}));  // s = 3, node 3
  EXPECT_EQ(Map(1.0), (Rgb{255, 0, 0}));    // the last ramp node, not node 7
  EXPECT_EQ(Map(0.0), (Rgb{0, 0, 0}));
  // Halfway through the first segment of palette 2: black to blue.
  SelectPalette(2);
  EXPECT_EQ(Map(0.125), (Rgb{0, 0, 128}));
  SelectPalette(3);
  EXPECT_EQ(Map(1.0), (Rgb{128, 0, 0}));  // 127.5 -> 128
  SelectPalette(4);
  EXPECT_EQ(Map(0.75), (Rgb{255, 255, 128}));
  // Index 6 or more leaves the current palette alone.
  SelectPalette(6);
  EXPECT_EQ(Map(0.75), (Rgb{255, 255, 128}));
  std::uint8_t r, g, b;
  BackgroundRgb(r, g, b);
  EXPECT_EQ((Rgb{r, g, b}), (Rgb{0, 0, 255}));
  SelectPalette(1);
  BackgroundRgb(r, g, b);
  EXPECT_EQ((Rgb{r, g, b}), (Rgb{102, 102, 102}));
  EXPECT_EQ(PaletteNames()[1], "False colours 1.");
}

TEST(Palettes, WavelengthColours) {
  const int red550 = static_cast<int>(std::nearbyint(255 * std::pow(40.0 / 70.0, 0.8)));
  EXPECT_EQ(red550, 163);
  EXPECT_EQ(Lambda(550), (Rgb{163, 255, 0}));
  EXPECT_EQ(Lambda(379.9), (Rgb{0, 0, 0}));
  const double f = 0.3 + 0.7 * (780 - 780.5) / 80;
  EXPECT_EQ(Lambda(780.5), (Rgb{static_cast<int>(std::nearbyint(255 * std::pow(f, 0.8))), 0, 0}));
  EXPECT_EQ(Lambda(781), (Rgb{0, 0, 0}));
  EXPECT_EQ(Lambda(460), (Rgb{0, static_cast<int>(std::nearbyint(255 * std::pow(0.4, 0.8))), 255}));
  // Violet end is dimmed by the intensity factor.
  const double fv = 0.3 + 0.7 * 20 / 40;
  EXPECT_EQ(Lambda(400).b, static_cast<int>(std::nearbyint(255 * std::pow(fv, 0.8))));
}

TEST(Palettes, MonochromeFollowsTheWavelength) {
  ProgramStateGuard state;
  MonochromeWavelength = 656.3;
  SelectPalette(5);
  DisplayStart = 0;
  DisplayWidth = 1;
  EXPECT_EQ(Map(1.0), (Rgb{255, 0, 0}));
  EXPECT_EQ(Map(0.0), (Rgb{0, 0, 0}));
  std::uint8_t r, g, b;
  BackgroundRgb(r, g, b);
  EXPECT_EQ((Rgb{r, g, b}), (Rgb{156, 156, 156}));
  MonochromeWavelength = 550;
  SelectPalette(5);
  EXPECT_EQ(Map(1.0), (Rgb{163, 255, 0}));
}

TEST(Palettes, ColourBarHasTheHighestValueOnTop) {
  ProgramStateGuard state;
  SelectPalette(0);
  TRaster bar;
  bar.Resize(10, 30);
  DrawColourBar(2, 5, 4, 20, bar);
  EXPECT_EQ(DisplayStart, 0);
  EXPECT_EQ(DisplayWidth, 19);
  EXPECT_EQ(bar.Pixel(2, 5)[0], 255);  // top row: value 20, clamped white
  EXPECT_EQ(bar.Pixel(5, 24)[0], 13);  // bottom row: value 1 -> 255/19 = 13.4
  EXPECT_EQ(bar.Pixel(1, 10)[0], 0);   // left of the bar untouched
  EXPECT_EQ(bar.Pixel(6, 10)[0], 0);   // right of the bar untouched
  EXPECT_EQ(bar.Pixel(3, 4)[0], 0);    // above the bar untouched
  // A bar hanging over the edge is clipped, not written out of bounds.
  DrawColourBar(8, 25, 10, 10, bar);
}

TEST(SoftwareSurface, OverlaysAreBurntInRed) {
  TSoftwareSurface s;
  TRaster r;
  r.Resize(20, 20);
  s.DrawRaster(r);
  s.DrawLine(0, 0, 19, 19);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(s.Picture.Pixel(i, i)[0], 255);
  EXPECT_EQ(s.Picture.Pixel(1, 0)[0], 0);
  s.DrawEllipse(5, 5, 15, 15);
  EXPECT_EQ(s.Picture.Pixel(15, 10)[0], 255);
  EXPECT_EQ(s.Picture.Pixel(10, 5)[0], 255);
  EXPECT_EQ(s.Picture.Pixel(10, 10)[1], 0);
  // Far outside: clipped, the visible part still drawn.
  s.DrawLine(-100000000, 3, 100000000, 3);
  EXPECT_EQ(s.Picture.Pixel(0, 3)[0], 255);
  EXPECT_EQ(s.Picture.Pixel(19, 3)[0], 255);
  s.DrawLine(-50, -50, -10, 400);
  s.DrawEllipse(-5, -5, 1000, 1000);
}
