#include "setup/u_parametres_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "analysis/u_Formulaire_Optique.h"
#include "core/number_format.h"
#include "core/u_math.h"
#include "io/u_fichier.h"

namespace caustica {

namespace {

// The degree conversion of the dialog keeps its own value of pi.
constexpr double kDialogPi = 3.141592653589;

}  // namespace

double DistanceObjet(double distance, TDistanceUnit unit) {
  const int index = static_cast<int>(unit) <= 2 ? static_cast<int>(unit) : 0;
  const double factor = std::pow(1000.0, index);
  return distance * factor * 1000000.0;
}

double angleIncidence(double angle, TAngleUnit unit) {
  if (unit == TAngleUnit::Radians) return angle;
  return angle * kDialogPi / 180.0;
}

bool DefocusFromRadii(const TParamEntries& entries, double& defocus, bool tangent) {
  const double focale = entries.FocalLength * 1000000.0;
  const double rayon = entries.Diameter * 500000.0;
  const double pixel = entries.PixelSize * 1000.0;
  if (rayon == 0) return false;
  // The binnings are kept as bytes.
  const int binning = (entries.LogicalBinning & 0xFF) * (entries.BinningUsed & 0xFF);
  // The rim ray reaches the detector at the tangent of its angle, whose
  // sine is R / f: the first-order f / R is kept for the classic method.
  const double run = tangent && focale > rayon ? std::sqrt((focale - rayon) * (focale + rayon)) : focale;
  const double scale = binning * pixel * run / rayon;
  defocus = (entries.IntraRadius + entries.ExtraRadius) * scale / 2.0;
  return true;
}

std::string DefocusText(double defocus) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.3f", defocus * 1e-6);
  return buffer;
}

void ApplySourceChoice(TParamEntries& entries) {
  switch (entries.Source) {
    case TSourceChoice::StarAtInfinity:
    case TSourceChoice::Autocollimation:
      entries.SourceDistance = 0.0;
      break;
    case TSourceChoice::RadiusOfCurvature:
      entries.SourceDistance = 2.0 * entries.FocalLength;
      entries.DistanceUnit = TDistanceUnit::Millimetres;
      break;
    case TSourceChoice::ArtificialStar:
      break;
  }
}

TSetupAberrations SetupAberrations(const TParamEntries& entries, double storedDistance) {
  TSetupAberrations a;
  const double rayon = entries.Diameter * 1000000.0 / 2.0;
  const double focale = entries.FocalLength * 1000000.0;
  const double rho = -2.0 * focale;
  const double theta = angleIncidence(entries.Angle, entries.AngleUnit);
  a.AstigCalc = OffAxisAstigmatism(theta, rho, rayon, 1.0);
  const double s = DistanceObjet(entries.SourceDistance, entries.DistanceUnit);
  a.ComaCalc = OffAxisComa(theta, rho, rayon, -s);
  a.SpherCalc = storedDistance == 0 ? 0.0 : FiniteSourceSpherical(rho, rayon, -s, -1.0, 1.0);
  return a;
}

void StoreEntries(const TParamEntries& entries, const TSetupAberrations& aberrations, TParametres& p) {
  p.Focale = entries.FocalLength * 1000000.0;
  p.Rayon = entries.Diameter * 500000.0;
  p.Defocalisation = entries.Defocus * 1000000.0;
  p.DistanceSource = DistanceObjet(entries.SourceDistance, entries.DistanceUnit);
  p.Incidence = angleIncidence(entries.Angle, entries.AngleUnit);
  p.Obstruction = std::clamp(entries.ObstructionPercent, 0, 95) / 100.0;
  p.Autocollimation = entries.Source == TSourceChoice::Autocollimation;
  p.Spherique = aberrations.SpherCalc;
  if (entries.Orientation == TOrientation::ByX) {
    p.AstigX = aberrations.AstigCalc;
    p.AstigY = 0.0;
    p.ComaX = aberrations.ComaCalc;
    p.ComaY = 0.0;
  } else if (entries.Orientation == TOrientation::ByY) {
    p.AstigX = 0.0;
    p.AstigY = aberrations.AstigCalc;
    p.ComaX = 0.0;
    p.ComaY = aberrations.ComaCalc;
  }
  p.ModeTraitement = entries.Mode;
}

bool ParametersComplete(const TParametres& p) {
  return p.Focale != 0 && p.Rayon != 0 && p.Defocalisation != 0;
}

bool StrictParseFloat(const std::string& text, double& value) {
  std::size_t first = 0, last = text.size();
  while (first < last && (text[first] == ' ' || text[first] == '\t')) ++first;
  while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) --last;
  if (first == last) return false;
  const char local = DecimalSeparator();
  std::string normal = text.substr(first, last - first);
  for (char& c : normal) {
    if (c == local)
      c = '.';
    else if (c == '.' || c == ',')
      return false;
    else if (!((c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'e' || c == 'E'))
      return false;  // no hexadecimal, "inf" or "nan"
  }
  char* end = nullptr;
  const double v = std::strtod(normal.c_str(), &end);
  if (end != normal.c_str() + normal.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

std::string ConversionErrorText(const std::string& text) {
  return "'" + text + "' is not a valid floating point value";
}

int FocalFromRatio(int diameter, const std::string& ratioText) {
  const double f = std::nearbyint(diameter * ParseFloatOrZero(ratioText));
  if (!(f > -2e9 && f < 2e9)) return 0;
  return static_cast<int>(f);
}

std::string RatioText(int focalLength, int diameter) {
  if (diameter == 0) return "0";
  return FormatGeneral(static_cast<double>(focalLength) / diameter);
}

}  // namespace caustica
