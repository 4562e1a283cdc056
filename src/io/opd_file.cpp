#include "io/opd_file.h"

#include <cmath>
#include <cstdio>

#include "core/atomic_file.h"
#include "core/number_format.h"

namespace caustica {

namespace {

// 0.000012 is written 1.2E-5 in this file, 0.00012 stays fixed.
constexpr int kLowestFixedExponent = -4;

void AppendNumber(std::string& text, double value) {
  text += FormatGeneral(value, '.', kLowestFixedExponent);
}

}  // namespace

std::string OpdText(const TFctXY& grid, double wavelength) {
  if (!(wavelength > 0.0)) return std::string();
  const double toMillimetres = grid.Scale * 1e-6;
  std::string text;
  AppendNumber(text, wavelength);
  text += ',';
  AppendNumber(text, 2e-6 * grid.Scale);
  text += "\r\n";
  if (!grid.HasArrays()) return text;

  std::string y;
  for (int r = 1; r <= grid.Ny; ++r) {
    const double* v = grid.Values[1][r];
    const std::int16_t* m = grid.Mask[1][r];
    bool rowStarted = false;
    for (int c = 1; c <= grid.Nx; ++c) {
      if (m[c] != 1) continue;
      if (!rowStarted) {
        y = FormatGeneral(grid.YAxis[r] * toMillimetres, '.', kLowestFixedExponent);
        rowStarted = true;
      }
      AppendNumber(text, grid.XAxis[c] * toMillimetres);
      text += ',';
      text += y;
      text += ',';
      AppendNumber(text, v[c] / wavelength);
      text += "\r\n";
    }
  }
  return text;
}

bool WriteOpdFile(const std::string& fileName, const TFctXY& grid, double wavelength, std::string* error) {
  if (!(wavelength > 0.0) || !std::isfinite(wavelength)) {
    // Say the value: a negative wavelength is not "0".
    char value[64];
    std::snprintf(value, sizeof value, "%g", wavelength);
    if (error)
      *error = std::string("The wavelength of the grid is ") + value +
               " nm: the path difference cannot be given in waves.";
    return false;
  }
  const std::string text = OpdText(grid, wavelength);
  // Nothing that is not a number is ever written ("NAN", "INF").
  if (text.find("NAN") != std::string::npos || text.find("INF") != std::string::npos) {
    if (error) *error = "The map holds a value that is not finite: it is not exported.";
    return false;
  }
  return WriteFileAtomically(fileName, text, error);
}

}  // namespace caustica
