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
#include <functional>
#include <string>

#include "analysis/u_zernike.h"
#include "core/u_fonctionxy.h"

namespace caustica {

enum class StarModel : std::uint8_t {
  Geometric,  // rays displaced by the wavefront slopes
  Fresnel,    // Fresnel diffraction of the pupil field
};

// Turbulence in front of the telescope: per image a random Kolmogorov
// phase screen (its tip-tilt included) carried across the pupil by the wind
// during the exposure (frozen flow). R0 is the Fried parameter at 500 nm;
// from a seeing FWHM in arcseconds at 500 nm, r0 = 0.98 lambda / FWHM, about
// 0.101 m / FWHM (2" gives 5 cm).
struct StarAtmosphere {
  bool Enabled = false;
  double R0 = 0.05;            // metres at 500 nm
  double Exposure = 0.0;       // seconds; 0 for a frozen instant
  double WindSpeed = 0.0;      // m/s
  double WindDirection = 0.0;  // degrees, from +x towards +y of the pupil
  std::uint64_t Seed = 1;      // of the screens (the camera noise has its own)
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
  // Geometric model: rays traced with their true angles instead of the
  // small-angle mapping, which matters on fast optics (f/4 and faster).
  bool ExactGeometry = false;
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
  int HotPixels = 0;          // single samples far above the sky
  int CosmicRays = 0;         // short bright tracks
  StarAtmosphere Atmosphere;  // Fresnel model only
  int Frames = 1;             // pairs of a sequence (SimulateStarSequence), 1..10000
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
  // Turbulence: the screens and the sub-exposures an exposure is averaged
  // over (the screen moves by at most about r0 / 4 between two, but never
  // more than kMaxSubExposures are taken: Capped then says so).
  double ScreenSide = 0.0;  // metres
  int ScreenSamples = 0;    // n x n
  int SubExposures = 0;
  double SubExposureShift = 0.0;  // metres the screen moves between two
  bool SubExposuresCapped = false;
  int FramesMade = 0;
};

constexpr int kMaxSubExposures = 64;
constexpr int kMaxSequenceFrames = 10000;

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

// Makes options.Frames pairs one at a time, each given to frame (index
// 0..Frames-1) while it is the only pair held; frame returns false to stop
// the sequence early. Each image of each pair sees its own screen (the two
// sides of pair i are taken at different moments) and gets fresh camera
// noise; pair 0 is what SimulateStarPair makes. Refused options make no
// pair; a later pair that cannot be made (a screen too steep for the
// transforms) ends the sequence with the reason. A stop by the callback is
// no failure (report->FramesMade tells).
using StarFrameHandler = std::function<bool(int frame, const TFctXY& intra, const TFctXY& extra)>;
StarSimulationStatus SimulateStarSequence(const StarSimulationOptions& options, const StarFrameHandler& frame,
                                          StarSimulationReport* report = nullptr);

// Writes the pair as two 16-bit FITS files (see WriteFits16), each
// atomically; a failure leaves the files that existed untouched.
StarSimulationStatus WriteStarPair(const TFctXY& intra, const TFctXY& extra, const std::string& intraFile,
                                   const std::string& extraFile);

// Makes the sequence of options.Frames pairs and writes it as two 16-bit
// FITS cubes, each atomically and only when complete; width and height
// receive the frames' size.
StarSimulationStatus WriteStarSequence(const StarSimulationOptions& options, const std::string& intraFile,
                                       const std::string& extraFile, StarSimulationReport* report = nullptr,
                                       int* width = nullptr, int* height = nullptr);

}  // namespace caustica
