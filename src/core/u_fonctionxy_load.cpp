#include <algorithm>

#include "core/u_fonctionxy.h"

namespace caustica {

void TFctXY::LoadFromFits(const std::string& fileName) {
  Int16Planes samples16;
  DoublePlanes samples64;
  std::int32_t width = 0, height = 0, planeCount = 0;
  std::uint8_t typeCode = 0;
  const std::uint8_t status =
      ReadFitsFile(fileName, samples16, samples64, width, height, planeCount, typeCode, Infos);
  Release();
  if (status != kFitsRead || (samples16.Empty() && samples64.Empty())) {
    // Nothing usable: no arrays and no size a caller could mistake for an image.
    Nx = Ny = 0;
    return;
  }
  Nx = width;
  Ny = height;
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (!samples16.Empty()) {
    Values.Allocate(width, height, 1);
    const std::int16_t* s = samples16.PlaneData(1);
    double* d = Values.PlaneData(1);
    for (std::size_t i = 0; i < n; ++i) d[i] = s[i];
    samples16.Clear();
  } else if (planeCount == 1) {
    Values = std::move(samples64);
  } else {
    // Only the first plane of a colour image or cube is kept.
    Values.Allocate(width, height, 1);
    std::copy(samples64.PlaneData(1), samples64.PlaneData(1) + n, Values.PlaneData(1));
    samples64.Clear();
  }
  Mask.Allocate(width, height, 1);
  XAxis.assign(n ? static_cast<std::size_t>(width) + 1 : 0, 0.0);
  YAxis.assign(n ? static_cast<std::size_t>(height) + 1 : 0, 0.0);
}

}  // namespace caustica
