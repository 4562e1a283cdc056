// Helpers shared by the Zernike, cache and fit tests.
#pragma once

#include <cmath>

#include "analysis/u_zernike.h"
#include "core/u_fonctionxy.h"
#include "support/program_state_guard.h"

namespace caustica::testing {

// The program state guard under the name older tests know it by.
using BasisGuard = caustica::test::ProgramStateGuard;

// n and m (m < 0 for the sine member) of term k.
inline void TermOrder(int k, int& n, int& m) {
  for (n = 0;; ++n) {
    for (int a = n % 2; a <= n; a += 2) {
      const int index = ZernikeIndex(n, a);
      if (index == k) {
        m = a;
        return;
      }
      if (a > 0 && index + 1 == k) {
        m = -a;
        return;
      }
    }
  }
}

// An n x n grid whose axes put the unit pupil at the centre with the given
// radius in samples; mask 1 on the pupil (annulus when obstruction > 0).
inline void MakePupilGrid(TFctXY& grid, int size, double radius, double obstruction) {
  grid.Init(size, size);
  const double centre = (size + 1) / 2.0;
  for (int c = 1; c <= size; ++c) grid.XAxis[c] = (c - centre) / radius;
  for (int r = 1; r <= size; ++r) grid.YAxis[r] = -(r - centre) / radius;
  for (int r = 1; r <= size; ++r) {
    for (int c = 1; c <= size; ++c) {
      const double rho = std::hypot(grid.XAxis[c], grid.YAxis[r]);
      grid.Mask[1][r][c] = rho <= 1.0 && rho >= obstruction ? 1 : 0;
    }
  }
}

}  // namespace caustica::testing
