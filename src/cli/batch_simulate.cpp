#include "cli/batch_simulate.h"

#include <cstdio>
#include <filesystem>

#include "analysis/star_simulator.h"
#include "cli/batch_args.h"
#include "io/fits_writer.h"

namespace caustica::cli {

const char* const kSimulateHelp =
    R"(Usage: caustica-batch simulate [options] --intra FILE --extra FILE

Writes the intra-focal and the extra-focal image of a star seen through an
aberrated telescope, as 16-bit FITS files the way a camera records them
(read the extra-focal one as extra-focal: it is turned on reading).

Telescope and camera:
  --diameter MM          pupil diameter (default 200)
  --focal MM             focal length (default 1600)
  --obstruction F        central obstruction, fraction of the radius (0)
  --defocus MM           distance of each image from focus (default 6)
  --pixel-size UM        unbinned pixel side (default 5)
  --binning N            binning in both directions (default 1)
  --width N, --height N  image size in pixels (default 256 x 256)
Aberrations:
  --zernike K=NM         Zernike term K (1..42) in nanometres; repeatable
  --normalised           the values are RMS-normalised
  --annular              the terms are annular polynomials over the obstruction
Light:
  --model M              fresnel (default) or geometric
  --wavelength NM        centre of the band (default 550)
  --bandwidth NM         full width of a flat band (default 0)
  --wavelength-count N   wavelengths averaged across the band (default 1)
  --seeing ARCSEC        Gaussian blur, full width at half maximum (0)
  --level COUNTS         total counts of the star in each image (1e6)
  --sky COUNTS           background per pixel (0)
  --photon-noise         Poisson noise on star and sky
  --read-noise E         Gaussian read noise, electrons RMS (0)
  --seed N               seed of the noise and the turbulence (default 1)
  --rays N               geometric model: rays per pixel side (default 4)
Camera frame (the image placed in a larger frame, as a camera records it):
  --frame-width N, --frame-height N
                         frame size in pixels (default: none)
  --frame-column N, --frame-row N
                         where the image's first sample falls, 0-based
  --gradient-x C, --gradient-y C
                         sky gradient, counts per pixel across the frame
  --hot-pixels N         single samples far above the sky (0)
  --cosmic-rays N        short bright tracks (0)
Turbulence (Fresnel model; each image sees its own random Kolmogorov phase
screen, its tip-tilt included, carried by the wind during the exposure):
  --r0 M                 Fried parameter at 500 nm, metres; turns the
                         turbulence on. From a seeing FWHM in arcseconds at
                         500 nm: r0 = 0.98 lambda / FWHM, about 0.101 / FWHM
                         (2" gives 0.05 m). Not to be taken with --seeing,
                         which only blurs.
  --exposure S           exposure of each image, seconds (0: an instant)
  --wind MS              wind speed, m/s (0)
  --wind-direction DEG   towards which the wind blows, degrees from +x
                         towards +y of the pupil (0)
Sequences:
  --frames N             pairs to make (1..10000, default 1); with more than
                         one, --intra and --extra are FITS cubes of N frames,
                         each frame with its own screens and fresh noise
                         (not 3: a cube of three planes is read as one
                         colour picture)
)";

namespace {

void ParseZernike(const std::string& text, StarSimulationOptions& o) {
  const std::size_t eq = text.find('=');
  if (eq == std::string::npos) throw BatchError("--zernike expects K=NM, not '" + text + "'", 2);
  const int k = ParseInteger("--zernike", text.substr(0, eq));
  if (k < 1 || k > 42) throw BatchError("--zernike term must lie in 1..42, not " + std::to_string(k), 2);
  o.Coefficients[k] = ParseNumber("--zernike", text.substr(eq + 1));
}

}  // namespace

int RunSimulate(const std::vector<std::string>& arguments) {
  const ArgList args(arguments,
                     {"--diameter",
                      "--focal",
                      "--obstruction",
                      "--defocus",
                      "--pixel-size",
                      "--binning",
                      "--width",
                      "--height",
                      "--zernike",
                      "--model",
                      "--wavelength",
                      "--bandwidth",
                      "--wavelength-count",
                      "--seeing",
                      "--level",
                      "--sky",
                      "--read-noise",
                      "--seed",
                      "--rays",
                      "--frame-width",
                      "--frame-height",
                      "--frame-column",
                      "--frame-row",
                      "--gradient-x",
                      "--gradient-y",
                      "--hot-pixels",
                      "--cosmic-rays",
                      "--r0",
                      "--exposure",
                      "--wind",
                      "--wind-direction",
                      "--frames",
                      "--intra",
                      "--extra"},
                     {"--normalised", "--annular", "--photon-noise"});
  StarSimulationOptions o;
  o.Diameter = args.Number("--diameter", o.Diameter);
  o.FocalLength = args.Number("--focal", o.FocalLength);
  o.Obstruction = args.Number("--obstruction", o.Obstruction);
  o.Defocus = args.Number("--defocus", o.Defocus);
  o.PixelSize = args.Number("--pixel-size", o.PixelSize);
  o.BinX = o.BinY = args.Integer("--binning", 1);
  o.Width = args.Integer("--width", o.Width);
  o.Height = args.Integer("--height", o.Height);
  for (const std::string& z : args.All("--zernike")) ParseZernike(z, o);
  o.Normalised = args.Flag("--normalised");
  o.PolynomialType = args.Flag("--annular") ? kAnnularPolynomials : kCirclePolynomials;
  const std::string model = args.Text("--model", "fresnel");
  if (model == "fresnel")
    o.Model = StarModel::Fresnel;
  else if (model == "geometric")
    o.Model = StarModel::Geometric;
  else
    throw BatchError("unknown model '" + model + "' (fresnel or geometric)", 2);
  o.Wavelength = args.Number("--wavelength", o.Wavelength);
  o.Bandwidth = args.Number("--bandwidth", o.Bandwidth);
  o.WavelengthCount = args.Integer("--wavelength-count", o.WavelengthCount);
  o.Seeing = args.Number("--seeing", o.Seeing);
  o.SourceLevel = args.Number("--level", o.SourceLevel);
  o.SkyLevel = args.Number("--sky", o.SkyLevel);
  o.PhotonNoise = args.Flag("--photon-noise");
  o.ReadNoise = args.Number("--read-noise", o.ReadNoise);
  const int seed = args.Integer("--seed", 1);
  if (seed < 0) throw BatchError("--seed must not be negative", 2);
  o.Seed = static_cast<std::uint64_t>(seed);
  o.RaysPerPixel = args.Integer("--rays", o.RaysPerPixel);
  o.FrameWidth = args.Integer("--frame-width", 0);
  o.FrameHeight = args.Integer("--frame-height", 0);
  o.FrameColumn = args.Integer("--frame-column", 0);
  o.FrameRow = args.Integer("--frame-row", 0);
  o.SkyGradientX = args.Number("--gradient-x", 0);
  o.SkyGradientY = args.Number("--gradient-y", 0);
  o.HotPixels = args.Integer("--hot-pixels", 0);
  o.CosmicRays = args.Integer("--cosmic-rays", 0);
  StarAtmosphere& a = o.Atmosphere;
  a.Enabled = args.Has("--r0");
  if (!a.Enabled)
    for (const char* name : {"--exposure", "--wind", "--wind-direction"})
      if (args.Has(name)) throw BatchError(std::string(name) + " needs --r0 (the turbulence)", 2);
  a.R0 = args.Number("--r0", a.R0);
  a.Exposure = args.Number("--exposure", a.Exposure);
  a.WindSpeed = args.Number("--wind", a.WindSpeed);
  a.WindDirection = args.Number("--wind-direction", a.WindDirection);
  a.Seed = o.Seed;
  o.Frames = args.Integer("--frames", 1);
  // Readers take a three-plane FITS cube for one colour picture.
  if (o.Frames == 3)
    throw BatchError("--frames 3 would make cubes read as colour pictures; ask for 2, or 4 or more", 2);
  const std::string intraFile = args.Text("--intra");
  const std::string extraFile = args.Text("--extra");
  if (intraFile.empty() || extraFile.empty())
    throw BatchError("give both output files (--intra FILE --extra FILE)", 2);
  if (std::filesystem::absolute(intraFile) == std::filesystem::absolute(extraFile))
    throw BatchError("the intra-focal and extra-focal files must differ", 2);

  const StarSimulationStatus valid = ValidateStarOptions(o);
  if (!valid.Ok) throw BatchError(valid.Message, 2);
  StarSimulationReport report;
  if (o.Frames == 1) {
    TFctXY intra, extra;
    const StarSimulationStatus made = SimulateStarPair(o, intra, extra, &report);
    if (!made.Ok) throw BatchError(made.Message);
    const StarSimulationStatus written = WriteStarPair(intra, extra, intraFile, extraFile);
    if (!written.Ok) throw BatchError(written.Message);
    std::printf("Wrote %s and %s (%d x %d, pupil radius %.2f px in the images)\n", intraFile.c_str(),
                extraFile.c_str(), intra.Nx, intra.Ny, report.PupilImageRadius);
    return 0;
  }
  int width = 0, height = 0;
  const StarSimulationStatus made = WriteStarSequence(o, intraFile, extraFile, &report, &width, &height);
  if (!made.Ok) throw BatchError(made.Message);
  std::printf("Wrote %s and %s (%d frames of %d x %d, pupil radius %.2f px in the images", intraFile.c_str(),
              extraFile.c_str(), o.Frames, width, height, report.PupilImageRadius);
  if (a.Enabled)
    std::printf(", %d sub-exposure%s a frame%s", report.SubExposures, report.SubExposures == 1 ? "" : "s",
                report.SubExposuresCapped ? " (capped)" : "");
  std::printf(")\n");
  return 0;
}

}  // namespace caustica::cli
