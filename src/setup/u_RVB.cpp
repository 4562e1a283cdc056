#include "setup/u_RVB.h"

#include <cstdio>
#include <functional>

#include "analysis/u_pupille.h"

namespace caustica {

namespace {

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

}  // namespace

double PolychromaticStrehl(double strehlBlue, double strehlGreen, double strehlRed, double poidsB,
                           double poidsV, double poidsR) {
  const double total = poidsB + poidsV + poidsR;
  if (total == 0) return 0.0;
  return (poidsB * strehlBlue + poidsV * strehlGreen + poidsR * strehlRed) / total;
}

TColourResults RemplirRVB(TPupille& frontBleu, TPupille& frontVert, TPupille& frontRouge, double focale,
                          double rayon, double poidsR, double poidsV, double poidsB) {
  const std::array<TPupille*, 3> fronts = {&frontBleu, &frontVert, &frontRouge};
  for (TPupille* f : fronts) f->ComputeStrehl();
  // Longitudinal focus shift in millimetres per nanometre of Z4.
  const double k = 4 * (focale / rayon) * (focale / rayon) * 1e-6;

  TColourResults results;
  auto add = [&](const char* name, const char* format, const std::function<double(const TPupille&)>& value) {
    TColourRow row{name, {}};
    for (int i = 0; i < 3; ++i) row.Values[i] = Format(format, value(*fronts[i]));
    results.Rows.push_back(row);
  };
  add("Lambda (nm)", "%.0f", [](const TPupille& f) { return f.Wavelength; });
  add("Foyers (mm)", "%.3f", [k](const TPupille& f) { return k * f.Coefficients[4]; });
  add("Defocus Z4 (nm RMS)", "%.3f",
      [](const TPupille& f) { return f.Coefficients[4] / f.Basis.NormFactors[4]; });
  add("Sphéricité Z11 (nm RMS)", "%.3f",
      [](const TPupille& f) { return f.Coefficients[11] / f.Basis.NormFactors[11]; });
  add("Ecart (nm RMS)", "%.3f", [](const TPupille& f) { return f.RmsValue; });
  add("Strehl", "%.3f", [](const TPupille& f) { return f.Strehl; });

  results.PolychromaticStrehl =
      PolychromaticStrehl(frontBleu.Strehl, frontVert.Strehl, frontRouge.Strehl, poidsB, poidsV, poidsR);
  results.PolychromaticText = Format("%.3f", results.PolychromaticStrehl);
  return results;
}

}  // namespace caustica
