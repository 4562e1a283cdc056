// The star-test simulator: the intra-focal and the extra-focal image of a
// star through an aberrated telescope, as a camera records them, for tests,
// demonstrations and users learning the method.
//
// Geometry. The beam converges from the pupil (diameter D, at distance f
// from focus) to the focus; the intra-focal image lies at z = -defocus, the
// extra-focal one at z = +defocus. The optical axis falls on the centre of
// both frames. Both images are the light in the detector plane as recorded,
// so beyond focus the pupil appears turned by 180 degrees: open the
// extra-focal file with "Open as extra-focal", which turns it back.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/u_zernike.h"
#include "core/u_fonctionxy.h"

namespace caustica {

enum class StarModel : std::uint8_t {
  Geometric,  // rays displaced by the wavefront slopes
  Fresnel,    // Fresnel diffraction of the pupil field
};

struct StarSimulationOptions {
  StarModel Model = StarModel::Fresnel;
  double Diameter = 200.0;      // pupil diameter, mm
  double FocalLength = 1600.0;  // mm
  double Obstruction = 0.0;     // central obstruction, fraction of the pupil radius
  double Defocus = 6.0;         // distance of each image from focus, mm
  double PixelSize = 5.0;       // unbinned pixel side, micrometres
  int BinX = 1;
  int BinY = 1;
  double Wavelength = 550.0;  // nm; the centre of the band
  double Bandwidth = 0.0;     // nm, full width of a flat band; 0 for one wavelength
  int WavelengthCount = 1;    // wavelengths averaged across the band
  // Zernike coefficients in nanometres, terms 1..42 of the system's numbering.
  ZernikeCoefficients Coefficients{};
  bool Normalised = false;  // coefficients are RMS-normalised (converted with FromNormalised)
  std::uint8_t PolynomialType = kCirclePolynomials;  // or kAnnularPolynomials (uses Obstruction)
  int Width = 256;                                   // image size, pixels
  int Height = 256;
  double Seeing = 0.0;         // Gaussian blur, FWHM in arcseconds; 0 for none
  double SkyLevel = 0.0;       // background, counts per pixel
  double SourceLevel = 1.0e6;  // total counts of the star in each image
  bool PhotonNoise = false;    // Poisson noise on star and sky (gain 1 e-/count)
  double ReadNoise = 0.0;      // Gaussian read noise, electrons RMS
  std::uint64_t Seed = 1;
  int RaysPerPixel = 4;  // geometric model: rays per pixel side at the pupil image scale
  // A camera frame larger than the image, the image placed in it: 0 x 0 for
  // none. FrameColumn, FrameRow: the samples of the frame the image's first
  // sample falls on, 0-based offsets (the frame's own defects below apply to
  // the whole frame).
  int FrameWidth = 0;
  int FrameHeight = 0;
  int FrameColumn = 0;
  int FrameRow = 0;
  double SkyGradientX = 0.0;  // counts per pixel across the frame, added to SkyLevel
  double SkyGradientY = 0.0;
  int HotPixels = 0;   // single samples far above the sky
  int CosmicRays = 0;  // short bright tracks
};

// Outcome of a call: Ok, or the reason for the refusal in Message.
struct StarSimulationStatus {
  bool Ok = false;
  std::string Message;
};

// How the images were computed (for tests, benchmarks and the curious).
struct StarSimulationReport {
  double PupilImageRadius = 0.0;  // geometric pupil radius in the images, pixels (along x)
  int TransformSize = 0;          // Fresnel: side of the transforms
  int PupilSamples = 0;           // Fresnel: samples across the pupil diameter
  long long RayCount = 0;         // geometric: rays traced per image
  int WavelengthCount = 0;
};

// Refuses options that describe no real test: values that are not numbers,
// non-positive sizes, a defocus not smaller than the focal length, image
// sizes outside 8..8192, and the like.
StarSimulationStatus ValidateStarOptions(const StarSimulationOptions& options);

// Makes the pair. On success intra and extra are Width x Height grids (or
// FrameWidth x FrameHeight with a frame) of
// counts (plane 1, doubles, mask 0) with Infos describing the set-up; on
// refusal they are released. The program-wide Zernike basis is used during
// the call and left as it was.
StarSimulationStatus SimulateStarPair(const StarSimulationOptions& options, TFctXY& intra, TFctXY& extra,
                                      StarSimulationReport* report = nullptr);

// Writes the pair as two 16-bit FITS files (see WriteFits16), each
// atomically; a failure leaves the files that existed untouched.
StarSimulationStatus WriteStarPair(const TFctXY& intra, const TFctXY& extra, const std::string& intraFile,
                                   const std::string& extraFile);

}  // namespace caustica
