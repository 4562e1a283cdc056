#include "core/u_Palettes.h"

#include <cmath>

#include "core/u_math.h"

namespace caustica {

namespace {

TPaletteDef Make(int n, std::initializer_list<TRgbColour> ramp, TRgbColour background) {
  TPaletteDef p;
  p.SegmentCount = n;
  int i = 0;
  for (const TRgbColour& c : ramp) p.Nodes[i++] = c;
  p.Nodes[8] = background;
  return p;
}

const std::array<TPaletteDef, kPaletteCount>& Palettes() {
  static const std::array<TPaletteDef, kPaletteCount> palettes = [] {
    const TRgbColour grey{0.4, 0.4, 0.4};
    std::array<TPaletteDef, kPaletteCount> p;
    p[0] = Make(1, {{0, 0, 0}, {1, 1, 1}}, {0, 0, 1});
    p[1] = Make(6, {{0, 0, 0}, {1, 0, 1}, {0, 0, 1}, {0, 1, 1}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}, {1, 1, 1}},
                grey);
    p[2] = Make(4, {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}}, grey);
    p[3] = Make(4, {{0, 0, 0.5}, {0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {0.5, 0, 0}}, grey);
    p[4] = Make(4, {{0, 0, 0}, {0.5, 0, 0}, {1, 0.5, 0}, {1, 1, 0.5}, {1, 1, 1}}, {0, 0, 1});
    p[5] = Make(1, {{0, 0, 0}, {0, 0, 0}}, {156 / 255.0, 156 / 255.0, 156 / 255.0});
    return p;
  }();
  return palettes;
}

}  // namespace

TPaletteDef CurrentPalette = Palettes()[0];
double MonochromeWavelength = 550.0;
double DisplayStart = 0.0;
double DisplayWidth = 1.0;

const std::array<std::string, kPaletteCount>& PaletteNames() {
  static const std::array<std::string, kPaletteCount> names = {
      "Grayscale", "False colours 1.", "False colours 2.", "RGB", "Blackbody", "Monochrome"};
  return names;
}

const TPaletteDef& PaletteDefinition(int index) { return Palettes()[index < 0 || index >= 6 ? 0 : index]; }

TPaletteDef PaletteFor(int index, double monochromeWavelength) {
  if (index < 0 || index >= kPaletteCount) return CurrentPalette;
  TPaletteDef palette = Palettes()[index];
  if (index == 5) {
    palette.Nodes[0] = {0, 0, 0};
    if (monochromeWavelength > 0) {
      std::uint8_t r, g, b;
      WavelengthToRgb(monochromeWavelength, r, g, b);
      palette.Nodes[1] = {r / 255.0, g / 255.0, b / 255.0};
    } else {
      // No wavelength known (a channel whose preference is 0): untinted,
      // rather than a black picture.
      palette.Nodes[1] = {1, 1, 1};
    }
  }
  return palette;
}

void SelectPalette(int index) {
  if (index < 0 || index >= kPaletteCount) return;
  CurrentPalette = PaletteFor(index, MonochromeWavelength);
}

void WavelengthToRgb(double lambda, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue) {
  const double l = lambda;
  const double wd = std::trunc(l);
  const long w = std::isfinite(wd) && std::fabs(wd) < 1e9 ? static_cast<long>(wd) : 0;
  double r = 0, g = 0, b = 0;
  if (w >= 380 && w < 440) {
    r = (440 - l) / 60;
    b = 1;
  } else if (w >= 440 && w < 490) {
    g = (l - 440) / 50;
    b = 1;
  } else if (w >= 490 && w < 510) {
    g = 1;
    b = (510 - l) / 20;
  } else if (w >= 510 && w < 580) {
    r = (l - 510) / 70;
    g = 1;
  } else if (w >= 580 && w < 645) {
    r = 1;
    g = (645 - l) / 65;
  } else if (w >= 645 && w < 781) {
    r = 1;
  }
  double f = 0;
  if (w >= 380 && w < 420)
    f = 0.3 + 0.7 * (l - 380) / 40;
  else if (w >= 420 && w < 701)
    f = 1;
  else if (w >= 701 && w < 781)
    f = 0.3 + 0.7 * (780 - l) / 80;
  auto toByte = [f](double c) -> std::uint8_t {
    if (c == 0) return 0;
    const double x = c * f;
    // A negative base (just past 780 nm) has no real power; clamp it to black.
    return x <= 0 ? 0 : PaletteByte(255.0 * std::pow(x, 0.8));
  };
  red = toByte(r);
  green = toByte(g);
  blue = toByte(b);
}

void BackgroundRgb(const TPaletteDef& palette, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue) {
  const TRgbColour& c = palette.Nodes[8];
  red = PaletteByte(c.Red * 255.0);
  green = PaletteByte(c.Green * 255.0);
  blue = PaletteByte(c.Blue * 255.0);
}

void BackgroundRgb(std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue) {
  BackgroundRgb(CurrentPalette, red, green, blue);
}

void DrawColourBar(int left, int top, int width, int height, TRaster& surface) {
  DisplayStart = 0.0;
  DisplayWidth = height - 1;
  DrawColourBar(CurrentPalette, left, top, width, height, surface);
}

void DrawColourBar(const TPaletteDef& palette, int left, int top, int width, int height, TRaster& surface) {
  const double barWidth = height - 1;
  for (int i = 1; i <= height; ++i) {
    std::uint8_t rgb[3];
    MapValueToRgb(palette, 0.0, barWidth, height - i + 1, rgb[0], rgb[1], rgb[2]);
    const int y = top + i - 1;
    if (y < 0 || y >= surface.Height) continue;
    for (int x = left; x < left + width; ++x) {
      if (x < 0 || x >= surface.Width) continue;
      std::uint8_t* p = surface.Pixel(x, y);
      p[0] = rgb[0];
      p[1] = rgb[1];
      p[2] = rgb[2];
    }
  }
}

}  // namespace caustica
