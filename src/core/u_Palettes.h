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

// Colour bytes of a value in the current palette and display window
// (inline: it runs once per pixel of every picture).
inline void ValueToRgb(double value, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue) {
  double t = (value - DisplayStart) / DisplayWidth;
  if (!(t >= 0.0)) t = 0.0;  // NaN maps to the bottom of the ramp
  if (t > 1.0) t = 1.0;
  const int n = CurrentPalette.SegmentCount;
  const double s = t / (1.0 / n);
  int k = static_cast<int>(s);
  if (k > n) k = n;
  const double f = s - k;
  const TRgbColour& a = CurrentPalette.Nodes[k];
  // At t = 1 the weight of node k+1 is 0; node 8 is never reached with weight.
  const TRgbColour& b = CurrentPalette.Nodes[k + 1 <= 8 ? k + 1 : 8];
  red = PaletteByte(((b.Red - a.Red) * f + a.Red) * 255.0);
  green = PaletteByte(((b.Green - a.Green) * f + a.Green) * 255.0);
  blue = PaletteByte(((b.Blue - a.Blue) * f + a.Blue) * 255.0);
}
// Colour bytes of a wavelength in nanometres.
void WavelengthToRgb(double lambda, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);
// The background colour bytes of the current palette (node 8).
void BackgroundRgb(std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);
// A vertical bar of the current palette, highest value at the top.
void DrawColourBar(int left, int top, int width, int height, TRaster& surface);

}  // namespace caustica
