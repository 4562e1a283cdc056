// A separable Gaussian blur of a row-major field, the edges clamped.
#pragma once

#include <vector>

namespace caustica {

// Blurs the nx x ny field v in place with a Gaussian of sigma samples, cut
// at 3 sigma; samples beyond the edges repeat the edge's.
void GaussianBlurClamped(std::vector<double>& v, int nx, int ny, double sigma);

}  // namespace caustica
