// False-colour palettes, the colour of a wavelength and colour bars.
#pragma once

#include <array>
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
// Colour bytes of a value in the current palette and display window.
void ValueToRgb(double value, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);
// Colour bytes of a wavelength in nanometres.
void WavelengthToRgb(double lambda, std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);
// The background colour bytes of the current palette (node 8).
void BackgroundRgb(std::uint8_t& red, std::uint8_t& green, std::uint8_t& blue);
// A vertical bar of the current palette, highest value at the top.
void DrawColourBar(int left, int top, int width, int height, TRaster& surface);

}  // namespace caustica
