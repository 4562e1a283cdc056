// False-colour palettes, the colour of a wavelength and colour bars.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "core/image_surface.h"

namespace caustica {

struct TRgbColour {
  double Red = 0.0, Green = 0.0, Blue = 0.0;  // 0..1
};

struct TPaletteDef {
  std::int32_t SegmentCount = 1;
  std::array<TRgbColour, 9> Nodes{};  // ramp 0..SegmentCount; node 8 is the background
};

inline constexpr int kPaletteCount = 6;

// The names offered in the preferences dialog, by index.
const std::array<std::string, kPaletteCount>& PaletteNames();
// The palette definitions as built in (palette 5 with a black ramp end).
const TPaletteDef& PaletteDefinition(int index);

// Program-wide drawing state: the current palette and display window.
extern TPaletteDef CurrentPalette;
extern double MonochromeWavelength;  // nanometres
extern double DisplayStart;
extern double DisplayWidth;

// Copies palette index (0..5) into the current palette; 6 or more changes
// nothing. Palette 5 ends on the colour of MonochromeWavelength.
void SelectPalette(int index);
// A colour component in 0..255 as a byte: rounded half to even, low 8 bits kept.
inline std::uint8_t PaletteByte(double component) {
  return static_cast<std::uint8_t>(static_cast<std::int64_t>(std::nearbyint(component)) & 0xFF);
}

// Colour bytes of a value in a palette and display window (start, width)
// (inline: it runs once per pixel of every picture).
inline void MapValueToRgb(const TPaletteDef& palette, double start, double width, double value,
                          std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue) {
  double t = (value - start) / width;
  if (!(t >= 0.0)) t = 0.0;  // NaN maps to the bottom of the ramp
  if (t > 1.0) t = 1.0;
  const int n = palette.SegmentCount;
  const double s = t / (1.0 / n);
  int k = static_cast<int>(s);
  if (k > n) k = n;
  const double f = s - k;
  const TRgbColour& a = palette.Nodes[k];
  // At t = 1 the weight of node k+1 is 0; node 8 is never reached with weight.
  const TRgbColour& b = palette.Nodes[k + 1 <= 8 ? k + 1 : 8];
  red = PaletteByte(((b.Red - a.Red) * f + a.Red) * 255.0);
  green = PaletteByte(((b.Green - a.Green) * f + a.Green) * 255.0);
  blue = PaletteByte(((b.Blue - a.Blue) * f + a.Blue) * 255.0);
}
// The same in the current palette and display window.
inline void ValueToRgb(double value, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue) {
  MapValueToRgb(CurrentPalette, DisplayStart, DisplayWidth, value, red, green, blue);
}
// The palette that SelectPalette(index) would make current, with palette 5
// tinted by monochromeWavelength (white for a wavelength of 0 or less); an
// index of 6 or more gives the current palette. Nothing program-wide changes.
TPaletteDef PaletteFor(int index, double monochromeWavelength);
// Colour bytes of a wavelength in nanometres.
void WavelengthToRgb(double lambda, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);
// The background colour bytes of a palette (node 8), of the current one without.
void BackgroundRgb(const TPaletteDef& palette, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);
void BackgroundRgb(std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);
// A vertical bar of a palette, highest value at the top. The form without a
// palette draws the current one and leaves its window as the bar's (0 and
// height - 1).
void DrawColourBar(const TPaletteDef& palette, int left, int top, int width, int height, TRaster& surface);
void DrawColourBar(int left, int top, int width, int height, TRaster& surface);

}  // namespace caustica
