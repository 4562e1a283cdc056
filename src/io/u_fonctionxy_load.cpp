// Kept beside the FITS reader, so that the grid module needs no reader header.
#include "core/u_fonctionxy.h"
#include "io/u_fichier.h"

namespace caustica {

void TFctXY::LoadFromFits(const std::string& fileName) {
  // Plane 1 only, 16-bit samples widened exactly to doubles.
  DoublePlanes samples;
  std::int32_t width = 0, height = 0;
  const std::uint8_t status = ReadFitsPlaneAsDoubles(fileName, samples, width, height, Infos);
  Release();
  if (status != kFitsRead || samples.Empty()) {
    // Nothing usable: no arrays and no size a caller could mistake for an image.
    Nx = Ny = 0;
    return;
  }
  Nx = width;
  Ny = height;
  Values = std::move(samples);
  Mask.Allocate(width, height, 1);
  XAxis.assign(static_cast<std::size_t>(width) + 1, 0.0);
  YAxis.assign(static_cast<std::size_t>(height) + 1, 0.0);
}

}  // namespace caustica
