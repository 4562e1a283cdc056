// How soft the outer edge of a donut is: seeing, the pixels and diffraction
// all widen its rise.
#pragma once

#include <vector>

namespace caustica {

// The edge of the donut of radius rho (pixels) centred on column cx, row cy
// (1-based) of the row-major nx x ny image v, whose inside reads about 1:
// the sigma of a Gaussian with the same 10-90 % rise, in pixels, the median
// over narrow sectors, where aberrations move the edge but hardly widen it.
// 0 when too few sectors show a clean edge.
double DonutEdgeBlur(const std::vector<double>& v, int nx, int ny, double cx, double cy, double rho);

}  // namespace caustica
