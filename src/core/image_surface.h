// Picture surfaces: what a grid is drawn onto. The desktop program shows
// the raster stretched to the display size; the software surface draws the
// overlays into the raster itself, for JPEG files and the batch tool.
#pragma once

#include "core/raster.h"

namespace caustica {

class TImageSurface {
 public:
  virtual ~TImageSurface() = default;
  // The raster drawn at the surface origin (replaces the previous one).
  virtual void DrawRaster(const TRaster& raster) = 0;
  // The size at which the raster is shown (stretched).
  virtual void SetDisplaySize(int width, int height) = 0;
  // Red pen, no fill, in raster pixel coordinates (0-based, x to the right, y down).
  virtual void DrawLine(int x1, int y1, int x2, int y2) = 0;
  // The ellipse inscribed in the box from (x1, y1) to (x2, y2).
  virtual void DrawEllipse(int x1, int y1, int x2, int y2) = 0;
};

// Keeps the raster and burns the red overlays into it.
class TSoftwareSurface : public TImageSurface {
 public:
  void DrawRaster(const TRaster& raster) override { Picture = raster; }
  void SetDisplaySize(int width, int height) override {
    DisplayWidth = width;
    DisplayHeight = height;
  }
  void DrawLine(int x1, int y1, int x2, int y2) override;
  void DrawEllipse(int x1, int y1, int x2, int y2) override;

  TRaster Picture;
  int DisplayWidth = 0;
  int DisplayHeight = 0;

 private:
  void Plot(int x, int y);
};

}  // namespace caustica
