// The classical Seidel figures of a wavefront, from its Zernike coefficients.
#pragma once

#include <array>
#include <string>

#include "analysis/u_zernike.h"

namespace caustica {

class TPupille;

struct TSeidelRow {
  std::string Caption;
  double Value = 0.0;           // nanometres
  bool HasOrientation = false;  // tilt, astigmatism and coma rows
  double Orientation = 0.0;     // degrees
  std::string ValueText;        // "%.3f"
  std::string OrientationText;  // "%.1f°", empty for the other rows
};

// Rows in display order: piston, tilt, focus, astigmatism, coma, spherical
// aberration.
using TSeidelFigures = std::array<TSeidelRow, 6>;

// Terms switched off and terms beyond polynomialCount count as 0. An
// orientation whose ratio has a zero denominator is the limit of its arc
// tangent: 90° (45° for astigmatism) when the numerator is not 0, else 0°.
TSeidelFigures SeidelFigures(const ZernikeCoefficients& coefficients, const ZernikeSelection& selected,
                             int polynomialCount);
// The figures of a wavefront, with the basis it carries.
TSeidelFigures SeidelFigures(const TPupille& wavefront);

}  // namespace caustica
