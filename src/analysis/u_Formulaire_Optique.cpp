#include "analysis/u_Formulaire_Optique.h"

namespace caustica {

namespace {

double SourceBracket(double rho, double d) { return d == 0.0 ? 0.0 : 1.0 - rho / d; }

}  // namespace

double OffAxisAstigmatism(double theta, double rho, double h, double s) {
  if (rho == 0.0) return 0.0;
  return s * theta * theta * h * h / (2.0 * rho);
}

double OffAxisComa(double theta, double rho, double h, double d) {
  if (rho == 0.0) return 0.0;
  return SourceBracket(rho, d) * theta * h * h * h / (3.0 * rho * rho);
}

double FiniteSourceSpherical(double rho, double h, double d, double K, double s) {
  if (rho == 0.0) return 0.0;
  const double b = SourceBracket(rho, d);
  const double h2 = h * h;
  return s * h2 * h2 * (b * b + K) / (24.0 * rho * rho * rho);
}

}  // namespace caustica
