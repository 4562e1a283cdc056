// Drawing a grid in false colour onto a picture surface.
#include <cmath>

#include "core/u_Palettes.h"
#include "core/u_fonctionxy.h"
#include "core/u_math.h"

namespace caustica {

namespace {

std::uint8_t Scaled(std::uint8_t component, double brightness) {
  const double v = RoundHalfEven(component * brightness);
  return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

}  // namespace

void TFctXY::Render(TImageSurface& image) const { Render(image, MonochromeWavelength); }

void TFctXY::Render(TImageSurface& image, double monochromeWavelength) const {
  TFctXY slope;
  if (Relief) {
    slope.Init(Nx, Ny);
    slope.DirectionalDerivative(*this, -M_PI / 4);
    slope.CopyMask(*this);
    slope.ComputeMaskedRange();
  }

  TRaster raster;
  raster.Resize(Nx, Ny);

  // A window of 0..0 means the whole range of the samples.
  double low = DisplayLow, high = DisplayHigh;
  if (high == 0 && low == 0) {
    TFctXY::Range(low, high);
  }
  const TPaletteDef palette = PaletteFor(PaletteIndex, monochromeWavelength);
  const double w = (high - low) * RangeFactor;
  const double s = (high - low) / 2 + low - w / 2;

  if (w != 0 && !raster.Empty()) {
    std::uint8_t background[3];
    BackgroundRgb(palette, background[0], background[1], background[2]);
    // A flat relief has no slope to shade; it is drawn at full brightness.
    const bool shaded = Relief && slope.PtvValue != 0;
    for (int r = 1; r <= Ny; ++r) {
      const double* v = Values[1][r];
      const std::int16_t* m = Mask[1][r];
      const double* t = shaded ? slope.Values[1][r] : nullptr;
      std::uint8_t* out = raster.Pixel(0, r - 1);
      for (int c = 1; c <= Nx; ++c, out += 3) {
        std::uint8_t rgb[3];
        if (m[c] != 1 && MaskActive) {
          rgb[0] = background[0];
          rgb[1] = background[1];
          rgb[2] = background[2];
        } else {
          MapValueToRgb(palette, s, w, v[c], rgb[0], rgb[1], rgb[2]);
        }
        if (shaded) {
          const double b = (t[c] - slope.MinValue) / slope.PtvValue;
          out[0] = Scaled(rgb[0], b);
          out[1] = Scaled(rgb[1], b);
          out[2] = Scaled(rgb[2], b);
        } else {
          out[0] = rgb[0];
          out[1] = rgb[1];
          out[2] = rgb[2];
        }
      }
    }
  }
  image.DrawRaster(raster);
  image.SetDisplaySize(RoundToInt(Nx * Zoom), RoundToInt(Ny * Zoom));

  for (int i = 1; i <= 3; ++i) {
    const TShape& sh = Shapes[i];
    if (!sh.Visible) continue;
    // Column and row indices are used directly as pixel coordinates.
    if (sh.ShapeKind == 0) {
      image.DrawLine(ColumnOf(sh.X1), RowOf(sh.Y1), ColumnOf(sh.X2), RowOf(sh.Y2));
    } else {
      image.DrawEllipse(ColumnOf(sh.X1 - sh.Radius), RowOf(sh.Y1 - sh.Radius), ColumnOf(sh.X1 + sh.Radius),
                        RowOf(sh.Y1 + sh.Radius));
    }
  }
}

}  // namespace caustica
