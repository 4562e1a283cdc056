// The picture of a grid as every front end makes it, so a window, a saved
// JPEG and the batch tool's files come from the same steps.
#pragma once

#include <optional>

#include "core/image_surface.h"
#include "core/u_fonctionxy.h"

namespace caustica {

// The grid's range is measured and stored (a display window of 0..0 then
// opens on it), the zoom stored, and the grid drawn onto surface. tint, when
// given, colours the monochrome palette instead of the program-wide
// wavelength. A grid never initialised draws at contrast factor 1.
void DrawGridPicture(TFctXY& grid, double zoom, std::optional<double> tint, TImageSurface& surface);

// The same as a raster with its red overlays burnt in, as pictures are saved.
TRaster GridPicture(TFctXY& grid, double zoom, std::optional<double> tint);

}  // namespace caustica
