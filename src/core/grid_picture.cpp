#include "core/grid_picture.h"

#include "core/u_Palettes.h"
#include "core/vector_state.h"

namespace caustica {

void DrawGridPicture(TFctXY& grid, double zoom, std::optional<double> tint, TImageSurface& surface) {
  ClearUpperVectorState();
  grid.Zoom = zoom;
  if (grid.RangeFactor == 0) grid.RangeFactor = 1.0;
  grid.ComputeRange();
  if (grid.DisplayHigh == 0 && grid.DisplayLow == 0) {
    grid.DisplayHigh = grid.MaxValue;
    grid.DisplayLow = grid.MinValue;
  }
  grid.Render(surface, tint ? *tint : MonochromeWavelength);
}

TRaster GridPicture(TFctXY& grid, double zoom, std::optional<double> tint) {
  TSoftwareSurface surface;
  DrawGridPicture(grid, zoom, tint, surface);
  return std::move(surface.Picture);
}

}  // namespace caustica
