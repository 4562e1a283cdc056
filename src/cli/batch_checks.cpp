#include "cli/batch_checks.h"

#include <cmath>
#include <cstdio>
#include <numbers>

#include "cli/batch_args.h"

namespace caustica::cli {

namespace {

std::string Number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

void Within(const std::string& what, double v, double low, double high, const std::string& unit, int status) {
  if (std::isfinite(v) && v >= low && v <= high) return;
  throw BatchError(
      what + " is " + Number(v) + ", outside " + Number(low) + " to " + Number(high) + " " + unit, status);
}

// Light a test can be made in: far ultraviolet to thermal infrared.
constexpr double kShortestWavelength = 100.0;   // nm
constexpr double kLongestWavelength = 20000.0;  // nm

}  // namespace

void CheckTestRanges(const TParamEntries& e) {
  Within("the diameter (--diameter)", e.Diameter, 1, 100000, "mm", 2);
  Within("the focal length (--focal)", e.FocalLength, 1, 1000000, "mm", 2);
  if (e.PixelSize != 0) Within("the pixel size (--pixel-size)", e.PixelSize, 0.1, 1000, "um", 2);
  if (e.Defocus != 0) CheckDefocusRange(e);
  const double right = e.AngleUnit == TAngleUnit::Degrees ? 89.0 : 89.0 * std::numbers::pi / 180.0;
  Within("the angle of incidence (--angle)", std::fabs(e.Angle), 0, right,
         e.AngleUnit == TAngleUnit::Degrees ? "degrees" : "radians", 2);
  if (e.Source == TSourceChoice::ArtificialStar) {
    // An object nearer than the focal length makes no real image.
    const double mm = DistanceObjet(e.SourceDistance, e.DistanceUnit) / 1e6;
    Within("the source distance (--distance, in mm)", mm, e.FocalLength, 1e12, "mm", 2);
  }
}

void CheckDefocusRange(const TParamEntries& e) {
  // Below a micrometre the defocus shows as 0.000 mm and the signal is noise.
  Within("the defocus (--defocus)", e.Defocus, 0.001, e.FocalLength / 2.0, "mm", 2);
}

void CheckPreferenceRanges(const TkwValue& v, const std::string& prefsFile) {
  const auto wavelength = [&](const char* key, double value, bool zeroAllowed) {
    if (zeroAllowed && value == 0) return;
    Within(std::string(key) + " in " + prefsFile, value, kShortestWavelength, kLongestWavelength, "nm", 1);
  };
  wavelength("LambdaRef", v.LambdaRef, false);
  wavelength("LambdaInterfero", v.LambdaInterfero, false);
  // 0: the channel takes no wavelength of its own.
  wavelength("LambdaR", v.LambdaR, true);
  wavelength("LambdaV", v.LambdaV, true);
  wavelength("LambdaB", v.LambdaB, true);
}

}  // namespace caustica::cli
