// Aberrations that the test arrangement itself adds to the wavefront of a
// paraboloidal mirror. Lengths in nanometres, angles in radians; the results
// are un-normalised Zernike coefficients of terms 5/6, 7/8 and 11.
#pragma once

namespace caustica {

// s theta^2 h^2 / (2 rho); 0 when rho = 0.
double OffAxisAstigmatism(double theta, double rho, double h, double s);
// (1 - rho/d) theta h^3 / (3 rho^2), the bracket taken as 0 when d = 0
// (source at infinity); 0 when rho = 0.
double OffAxisComa(double theta, double rho, double h, double d);
// s h^4 ((1 - rho/d)^2 + K) / (24 rho^3), the bracket taken as 0 when d = 0;
// 0 when rho = 0.
double FiniteSourceSpherical(double rho, double h, double d, double K, double s);

}  // namespace caustica
