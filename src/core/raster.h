// A 24-bit picture: rows top to bottom, three bytes (red, green, blue) a pixel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace caustica {

struct TRaster {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Rgb;  // Width x Height x 3

  void Resize(int width, int height) {
    Width = width > 0 ? width : 0;
    Height = height > 0 ? height : 0;
    Rgb.assign(static_cast<std::size_t>(Width) * static_cast<std::size_t>(Height) * 3, 0);
  }
  bool Empty() const { return Width <= 0 || Height <= 0; }
  std::uint8_t* Pixel(int x, int y) {
    return Rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) + x) * 3;
  }
  const std::uint8_t* Pixel(int x, int y) const {
    return Rgb.data() + (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) + x) * 3;
  }
};

}  // namespace caustica
