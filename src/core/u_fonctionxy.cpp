#include "core/u_fonctionxy.h"

namespace caustica {

void TFctXY::Init(int nx, int ny) {
  Nx = nx;
  Ny = ny;
  XAxis.assign(static_cast<std::size_t>(nx > 0 ? nx : 0) + 1, 0.0);
  YAxis.assign(static_cast<std::size_t>(ny > 0 ? ny : 0) + 1, 0.0);
  Mask.Allocate(nx, ny, 1);
  Values.Allocate(nx, ny, IsComplex ? 2 : 1);
  Scale = 1.0;
  Dx = Dy = 1.0;
  MaskActive = false;
  Zoom = 1.0;
  RangeFactor = 1.0;
}

void TFctXY::Release() {
  Values.Clear();
  Mask.Clear();
  XAxis.clear();
  YAxis.clear();
}

}  // namespace caustica
