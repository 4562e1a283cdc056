// The computations of the test-parameters dialog, without the dialog: the
// entries in millimetres, micrometres and degrees turned into Parametres in
// nanometres and radians, the defocus from the two pupil radii and the
// aberrations that the source geometry adds to the wavefront.
#pragma once

#include <cstdint>
#include <string>

#include "setup/u_parametres.h"

namespace caustica {

// The four source choices, in the dialog's order.
enum class TSourceChoice : std::uint8_t {
  StarAtInfinity = 0,
  ArtificialStar = 1,
  RadiusOfCurvature = 2,
  Autocollimation = 3,
};

// Index in the distance unit list: millimetres, metres, kilometres.
enum class TDistanceUnit : std::uint8_t { Millimetres = 0, Metres = 1, Kilometres = 2 };
enum class TAngleUnit : std::uint8_t { Degrees = 0, Radians = 1 };
enum class TOrientation : std::uint8_t { None = 0, ByX = 1, ByY = 2 };

// What the user enters, as numbers.
struct TParamEntries {
  int Diameter = 0;        // mm
  int FocalLength = 0;     // mm
  double PixelSize = 0.0;  // micrometres
  int BinningUsed = 1;
  int LogicalBinning = 1;
  double IntraRadius = 0.0;    // pixels
  double ExtraRadius = 0.0;    // pixels
  double Defocus = 0.0;        // mm
  int ObstructionPercent = 0;  // known central obstruction, % of the diameter; 0: measured on the images
  TSourceChoice Source = TSourceChoice::StarAtInfinity;
  double SourceDistance = 0.0;  // in DistanceUnit; 0 = at infinity
  TDistanceUnit DistanceUnit = TDistanceUnit::Millimetres;
  double Angle = 0.0;
  TAngleUnit AngleUnit = TAngleUnit::Degrees;
  TOrientation Orientation = TOrientation::None;
  std::uint8_t Mode = 0;  // 0 "Simple", 1 "Polychromatic", 255 none
};

// The aberrations of the test arrangement, un-normalised, nanometres.
struct TSetupAberrations {
  double AstigCalc = 0.0;
  double ComaCalc = 0.0;
  double SpherCalc = 0.0;
};

// The source distance in nanometres (0 = infinity).
double DistanceObjet(double distance, TDistanceUnit unit);
// The angle of incidence in radians.
double angleIncidence(double angle, TAngleUnit unit);

// The defocus in nanometres from the mean of the two pupil radii: pixel
// size x both binnings (each as a byte) x focal length / pupil radius. False
// (nothing computed) when the diameter is 0.
// With tangent, the rim ray's true angle replaces f / pupil radius by
// sqrt(f^2 - R^2) / R, the geometry the accurate method compensates with.
bool DefocusFromRadii(const TParamEntries& entries, double& defocus, bool tangent = false);
// The defocus as the dialog shows it and reads it back: millimetres with
// three decimals.
std::string DefocusText(double defocus);

// What choosing a source does to the other entries: "Star at infinity" and
// autocollimation put the source at infinity, the radius of curvature puts
// it at twice the focal length in millimetres.
void ApplySourceChoice(TParamEntries& entries);

// The aberrations to subtract. storedDistance is the source distance kept
// in Parametres (nm); the spherical term is 0 while it is 0.
TSetupAberrations SetupAberrations(const TParamEntries& entries, double storedDistance);

// "Ok" without the image lists: the entries in nanometres and radians into
// p, the set-up aberrations stored by orientation (none chosen keeps the
// previous four values), the mode. Images and ParamValides are not touched.
void StoreEntries(const TParamEntries& entries, const TSetupAberrations& aberrations, TParametres& p);

// True when the focal length, radius and defocus stored in p are all non-zero.
bool ParametersComplete(const TParametres& p);

// A number typed with the user's decimal separator, surrounding blanks
// allowed; false (value untouched) for anything else, empty text included.
bool StrictParseFloat(const std::string& text, double& value);
// The message shown when such a text does not convert.
std::string ConversionErrorText(const std::string& text);

// Focal length from the diameter and the F/D text (not a number reads 0),
// rounded half to even.
int FocalFromRatio(int diameter, const std::string& ratioText);
// The F/D text for a focal length and diameter; "0" for a zero diameter.
std::string RatioText(int focalLength, int diameter);

}  // namespace caustica
