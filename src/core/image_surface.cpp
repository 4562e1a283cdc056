#include "core/image_surface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace caustica {

void TSoftwareSurface::Plot(int x, int y) {
  if (x < 0 || y < 0 || x >= Picture.Width || y >= Picture.Height) return;
  std::uint8_t* p = Picture.Pixel(x, y);
  p[0] = 255;
  p[1] = 0;
  p[2] = 0;
}

namespace {

// Clips the segment to the box [x0, x1] x [y0, y1] (Liang-Barsky); false
// when nothing of it lies inside.
bool Clip(double& ax, double& ay, double& bx, double& by, double x0, double y0, double x1, double y1) {
  double t0 = 0.0, t1 = 1.0;
  const double dx = bx - ax, dy = by - ay;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {ax - x0, x1 - ax, ay - y0, y1 - ay};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0) {
      if (t > t1) return false;
      if (t > t0) t0 = t;
    } else {
      if (t < t0) return false;
      if (t < t1) t1 = t;
    }
  }
  const double nax = ax + t0 * dx, nay = ay + t0 * dy;
  bx = ax + t1 * dx;
  by = ay + t1 * dy;
  ax = nax;
  ay = nay;
  return true;
}

}  // namespace

// Bresenham, both end points drawn; the segment is first clipped to the
// picture so that wild coordinates cost nothing.
void TSoftwareSurface::DrawLine(int x1, int y1, int x2, int y2) {
  double ax = x1, ay = y1, bx = x2, by = y2;
  if (!Clip(ax, ay, bx, by, -1.0, -1.0, Picture.Width, Picture.Height)) return;
  x1 = static_cast<int>(std::lround(ax));
  y1 = static_cast<int>(std::lround(ay));
  x2 = static_cast<int>(std::lround(bx));
  y2 = static_cast<int>(std::lround(by));
  const int dx = std::abs(x2 - x1), sx = x1 < x2 ? 1 : -1;
  const int dy = -std::abs(y2 - y1), sy = y1 < y2 ? 1 : -1;
  int err = dx + dy;
  for (;;) {
    Plot(x1, y1);
    if (x1 == x2 && y1 == y2) break;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x1 += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y1 += sy;
    }
  }
}

void TSoftwareSurface::DrawEllipse(int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  // In doubles: corners clamped to the int range would overflow an int sum.
  const double a = (static_cast<double>(x2) - x1) / 2.0, b = (static_cast<double>(y2) - y1) / 2.0;
  const double cx = (static_cast<double>(x1) + x2) / 2.0, cy = (static_cast<double>(y1) + y2) / 2.0;
  if (a > 1e6 || b > 1e6) return;
  // Enough steps that consecutive points touch.
  const int steps = std::max(8, static_cast<int>(std::ceil(8.0 * (a + b))));
  int lastX = static_cast<int>(std::lround(cx + a)), lastY = static_cast<int>(std::lround(cy));
  for (int i = 1; i <= steps; ++i) {
    const double t = 2.0 * M_PI * i / steps;
    const int x = static_cast<int>(std::lround(cx + a * std::cos(t)));
    const int y = static_cast<int>(std::lround(cy + b * std::sin(t)));
    DrawLine(lastX, lastY, x, y);
    lastX = x;
    lastY = y;
  }
}

}  // namespace caustica
