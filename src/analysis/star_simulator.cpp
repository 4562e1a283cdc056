#include "analysis/star_simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

#include "analysis/phase_screen.h"
#include "analysis/star_models.h"
#include "analysis/star_wavefront.h"
#include "io/fits_writer.h"

namespace caustica {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kArcsecond = kPi / 648000.0;
constexpr double kFwhmToSigma = 1.0 / 2.3548200450309493;  // 1 / (2 sqrt(2 ln 2))
constexpr int kMinSide = 8;
constexpr int kMaxSide = 8192;

StarSimulationStatus Refuse(const std::string& message) { return {false, message}; }

std::string Text(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g", v);
  return buffer;
}

// A finite value within [low, high]; the message names the entry.
bool Within(double v, double low, double high) { return std::isfinite(v) && v >= low && v <= high; }

// Gaussian blur along rows then columns, zero beyond the frame (that light
// simply misses the detector).
void Blur(DoublePlanes& image, int width, int height, double sigmaX, double sigmaY) {
  auto kernel = [](double sigma) {
    const int half = std::max(1, static_cast<int>(std::ceil(4.0 * sigma)));
    std::vector<double> k(static_cast<std::size_t>(2 * half + 1));
    double sum = 0.0;
    for (int i = -half; i <= half; ++i) sum += k[i + half] = std::exp(-0.5 * i * i / (sigma * sigma));
    for (double& v : k) v /= sum;
    return k;
  };
  if (sigmaX > 0.05) {
    const std::vector<double> k = kernel(sigmaX);
    const int half = static_cast<int>(k.size() / 2);
    std::vector<double> line(static_cast<std::size_t>(width));
    for (int r = 1; r <= height; ++r) {
      double* row = image[1][r] + 1;
      std::copy(row, row + width, line.begin());
      for (int c = 0; c < width; ++c) {
        double sum = 0.0;
        const int lo = std::max(0, c - half), hi = std::min(width - 1, c + half);
        for (int t = lo; t <= hi; ++t) sum += k[t - c + half] * line[t];
        row[c] = sum;
      }
    }
  }
  if (sigmaY > 0.05) {
    // Row-wise accumulation keeps the inner loop on contiguous samples.
    const std::vector<double> k = kernel(sigmaY);
    const int half = static_cast<int>(k.size() / 2);
    DoublePlanes out(width, height, 1);
    for (int r = 1; r <= height; ++r) {
      double* dst = out[1][r] + 1;
      const int lo = std::max(1, r - half), hi = std::min(height, r + half);
      for (int t = lo; t <= hi; ++t) {
        const double w = k[t - r + half];
        const double* src = image[1][t] + 1;
        for (int c = 0; c < width; ++c) dst[c] += w * src[c];
      }
    }
    image = std::move(out);
  }
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", &parts);
  return buffer;
}

void Describe(const StarSimulationOptions& o, bool isIntra, TImgInfos& infos) {
  infos = TImgInfos{};
  infos.Naxis = 2;
  infos.Naxis1 = o.Width;
  infos.Naxis2 = o.Height;
  infos.Bitpix = 16;
  infos.BinX = static_cast<std::int16_t>(o.BinX);
  infos.BinY = static_cast<std::int16_t>(o.BinY);
  infos.BScale = 1.0;
  infos.FocalLength = o.FocalLength;
  infos.PixelSizeX = o.PixelSize;
  infos.PixelSizeY = o.PixelSize;
  infos.Diameter = o.Diameter;
  infos.Seeing = o.Seeing;
  infos.DateObs = UtcNow();
  infos.Telescope = "Simulated telescope";
  infos.Instrument = "Caustica star-test simulator";
  infos.Comments[1] = std::string(isIntra ? "Intra-focal" : "Extra-focal") + " image, defocus " +
                      Text(isIntra ? -o.Defocus : o.Defocus) + " mm";
  infos.Comments[2] =
      std::string(o.Model == StarModel::Fresnel ? "Fresnel" : "Geometric") + " model, " +
      (o.ExactGeometry ? "exact geometry, " : "") + Text(o.Wavelength) + " nm" +
      (o.WavelengthCount > 1 && o.Bandwidth > 0 ? " +/- " + Text(o.Bandwidth / 2) + " nm" : "");
  infos.Comments[3] = "Obstruction " + Text(o.Obstruction) + ", as recorded (not turned)";
}

}  // namespace

StarSimulationStatus ValidateStarOptions(const StarSimulationOptions& o) {
  if (o.Model != StarModel::Geometric && o.Model != StarModel::Fresnel) return Refuse("Unknown image model");
  if (!Within(o.Diameter, 1e-3, 1e5)) return Refuse("Pupil diameter must lie between 0.001 and 100000 mm");
  if (!Within(o.FocalLength, 1e-2, 1e7)) return Refuse("Focal length must lie between 0.01 mm and 10 km");
  if (!Within(o.Obstruction, 0.0, 0.95)) return Refuse("Central obstruction must lie between 0 and 0.95");
  if (!std::isfinite(o.Defocus) || !(o.Defocus > 0.0)) return Refuse("Defocus must be a positive distance");
  if (!(o.Defocus < 0.5 * o.FocalLength)) return Refuse("Defocus must be less than half the focal length");
  if (!Within(o.PixelSize, 1e-3, 1e4)) return Refuse("Pixel size must lie between 0.001 and 10000 um");
  if (o.BinX < 1 || o.BinX > 64 || o.BinY < 1 || o.BinY > 64)
    return Refuse("Binning must lie between 1 and 64");
  if (!Within(o.Wavelength, 100.0, 20000.0)) return Refuse("Wavelength must lie between 100 and 20000 nm");
  if (!Within(o.Bandwidth, 0.0, o.Wavelength))
    return Refuse("Bandwidth must lie between 0 and the wavelength");
  if (o.WavelengthCount < 1 || o.WavelengthCount > 64)
    return Refuse("Number of wavelengths must lie between 1 and 64");
  if (o.PolynomialType != kCirclePolynomials && o.PolynomialType != kAnnularPolynomials)
    return Refuse("Unknown Zernike polynomial type");
  for (int k = 1; k <= kZernikeTermCount; ++k)
    if (!Within(o.Coefficients[k], -1e7, 1e7))
      return Refuse("Zernike coefficient " + std::to_string(k) + " must be a number within +/- 1e7 nm");
  if (o.Width < kMinSide || o.Width > kMaxSide || o.Height < kMinSide || o.Height > kMaxSide)
    return Refuse("Image size must lie between " + std::to_string(kMinSide) + " and " +
                  std::to_string(kMaxSide) + " pixels");
  if (!Within(o.Seeing, 0.0, 3600.0)) return Refuse("Seeing must lie between 0 and 3600 arcseconds");
  if (!Within(o.SkyLevel, 0.0, 1e9)) return Refuse("Sky level must lie between 0 and 1e9 counts");
  if (!Within(o.SourceLevel, 0.0, 1e15)) return Refuse("Source level must lie between 0 and 1e15 counts");
  if (!Within(o.ReadNoise, 0.0, 1e6)) return Refuse("Read noise must lie between 0 and 1e6 electrons");
  if (o.RaysPerPixel < 1 || o.RaysPerPixel > 32) return Refuse("Rays per pixel must lie between 1 and 32");
  if (o.ExactGeometry && o.Model != StarModel::Geometric)
    return Refuse("The exact geometry is traced by the geometric model only");
  if (o.ExactGeometry && !(o.FocalLength > o.Diameter))
    return Refuse("The exact geometry needs a focal ratio above 1");
  if (o.FrameWidth != 0 || o.FrameHeight != 0) {
    if (o.FrameWidth > kMaxSide || o.FrameHeight > kMaxSide)
      return Refuse("Frame size must not exceed " + std::to_string(kMaxSide) + " pixels");
    if (o.FrameColumn < 0 || o.FrameRow < 0 || o.FrameColumn + o.Width > o.FrameWidth ||
        o.FrameRow + o.Height > o.FrameHeight)
      return Refuse("The image must lie inside the frame");
  }
  if (!Within(o.SkyGradientX, -1e6, 1e6) || !Within(o.SkyGradientY, -1e6, 1e6))
    return Refuse("Sky gradient must lie within +/- 1e6 counts per pixel");
  if (o.HotPixels < 0 || o.HotPixels > 1000000 || o.CosmicRays < 0 || o.CosmicRays > 100000)
    return Refuse("Hot pixels and cosmic rays must be counts within 0..1000000 and 0..100000");
  if (o.Frames < 1 || o.Frames > kMaxSequenceFrames)
    return Refuse("Number of frames must lie between 1 and " + std::to_string(kMaxSequenceFrames));
  const StarAtmosphere& a = o.Atmosphere;
  if (a.Enabled) {
    if (o.Model != StarModel::Fresnel) return Refuse("Turbulence needs the Fresnel model");
    if (!Within(a.R0, 1e-3, 100.0)) return Refuse("Fried parameter r0 must lie between 0.001 and 100 m");
    if (!Within(a.Exposure, 0.0, 3600.0)) return Refuse("Exposure must lie between 0 and 3600 s");
    if (!Within(a.WindSpeed, 0.0, 200.0)) return Refuse("Wind speed must lie between 0 and 200 m/s");
    if (!Within(a.WindDirection, -3600.0, 3600.0))
      return Refuse("Wind direction must be a number of degrees within +/- 3600");
  }
  return {true, ""};
}

namespace {

// Mixes a seed with a stream number (the frame, the side) into an
// unrelated seed: the splitmix64 finaliser.
std::uint64_t MixSeed(std::uint64_t seed, std::uint64_t stream) {
  std::uint64_t z = seed + 0x9E3779B97F4A7C15ULL * (stream + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// What every pair of a call shares: the wavefront, the set-up and, with
// turbulence, the screen geometry.
struct Preparation {
  StarWavefront Wavefront;
  StarSetup Setup;
  StarSimulationReport Info;
  double WindX = 0.0, WindY = 0.0;  // metres the screen travels in one exposure
};

StarSimulationStatus Prepare(const StarSimulationOptions& o, Preparation& p) {
  StarSimulationStatus status = ValidateStarOptions(o);
  if (!status.Ok) return status;

  ZernikeCoefficients coefficients = o.Coefficients;
  coefficients[0] = 0.0;
  if (o.Normalised) FromNormalised(MakeZernikeBasis(kZernikeTermCount, o.PolynomialType), coefficients);
  std::string why;
  if (!p.Wavefront.Build(coefficients, o.PolynomialType, o.Obstruction, &why)) return Refuse(why);

  StarSetup& setup = p.Setup;
  setup.Radius = 0.5 * o.Diameter;
  setup.FocalLength = o.FocalLength;
  setup.Obstruction = o.Obstruction;
  setup.PixelX = o.PixelSize * o.BinX * 1e-3;
  setup.PixelY = o.PixelSize * o.BinY * 1e-3;
  setup.Width = o.Width;
  setup.Height = o.Height;
  setup.RaysPerPixel = o.RaysPerPixel;
  setup.ExactGeometry = o.ExactGeometry;
  const int count = (o.Bandwidth > 0.0) ? o.WavelengthCount : 1;
  for (int i = 0; i < count; ++i)
    setup.Wavelengths.push_back(count == 1 ? o.Wavelength
                                           : o.Wavelength +
                                                 o.Bandwidth * (static_cast<double>(i) / (count - 1) - 0.5));

  StarSimulationReport& info = p.Info;
  info.PupilImageRadius = o.Defocus * setup.Radius / o.FocalLength / setup.PixelX;
  info.WavelengthCount = count;

  const StarAtmosphere& a = o.Atmosphere;
  if (a.Enabled) {
    const double diameter = o.Diameter * 1e-3, travel = a.WindSpeed * a.Exposure;
    // Sub-exposures: the screen moves by at most about r0 / 4 between two.
    const double wanted = std::ceil(travel / (0.25 * a.R0));
    info.SubExposures = static_cast<int>(std::clamp(wanted, 1.0, static_cast<double>(kMaxSubExposures)));
    info.SubExposuresCapped = wanted > kMaxSubExposures;
    info.SubExposureShift = info.SubExposures > 1 ? travel / info.SubExposures : 0.0;
    // The screen holds the pupil and its travel twice over, so that its own
    // periodicity stays away from the pupil; samples at most r0 / 4 and a
    // 32nd of the pupil apart, unless that would need more than kMaxScreen.
    constexpr int kMinScreen = 64, kMaxScreen = 1024;
    const double side = 2.0 * (diameter + travel);
    const double spacing = std::min(0.25 * a.R0, diameter / 32.0);
    int n = kMinScreen;
    while (n < kMaxScreen && n * spacing < side) n *= 2;
    info.ScreenSamples = n;
    info.ScreenSide = std::max(side, n * spacing);
    const double direction = a.WindDirection * kPi / 180.0;
    p.WindX = travel * std::cos(direction);
    p.WindY = travel * std::sin(direction);
  }
  return {true, ""};
}

// The camera: seeing, the source's counts, sky, then noise drawn in a fixed
// order (intra first, rows then columns) so a seed always gives the same frames.
void Record(const StarSimulationOptions& o, const StarSetup& setup, std::uint64_t seed,
            DoublePlanes (&planes)[2], TFctXY& intra, TFctXY& extra) {
  std::mt19937_64 random(seed);
  std::normal_distribution<double> read(0.0, 1.0);
  const double z[2] = {-o.Defocus, o.Defocus};
  const bool framed = o.FrameWidth > 0 && o.FrameHeight > 0;
  const int width = framed ? o.FrameWidth : o.Width, height = framed ? o.FrameHeight : o.Height;
  for (int i = 0; i < 2; ++i) {
    DoublePlanes& image = planes[i];
    if (o.Seeing > 0.0) {
      const double spread = o.Seeing * kFwhmToSigma * kArcsecond * (o.FocalLength + z[i]);
      Blur(image, o.Width, o.Height, spread / setup.PixelX, spread / setup.PixelY);
    }
    if (framed) {
      DoublePlanes frame(width, height, 1);
      for (int r = 1; r <= o.Height; ++r)
        std::copy(image[1][r] + 1, image[1][r] + 1 + o.Width, frame[1][r + o.FrameRow] + 1 + o.FrameColumn);
      image = std::move(frame);
    }
    for (int r = 1; r <= height; ++r) {
      double* v = image[1][r];
      const double rowSky = o.SkyLevel + o.SkyGradientY * (r - 0.5 * height);
      for (int c = 1; c <= width; ++c) {
        const double sky = std::max(0.0, rowSky + o.SkyGradientX * (c - 0.5 * width));
        double s = o.SourceLevel * v[c] + sky;
        if (o.PhotonNoise && s > 0.0)
          s = static_cast<double>(std::poisson_distribution<long long>(s)(random));
        if (o.ReadNoise > 0.0) s += o.ReadNoise * read(random);
        v[c] = s;
      }
    }
    // Detector defects: hot pixels, and cosmic-ray tracks a few samples long.
    std::uniform_int_distribution<int> column(1, width), row(1, height), length(1, 6), step(-1, 1);
    std::uniform_real_distribution<double> bright(2000.0, 20000.0);
    for (int k = 0; k < o.HotPixels; ++k) image[1][row(random)][column(random)] += bright(random);
    for (int k = 0; k < o.CosmicRays; ++k) {
      int c = column(random), r = row(random);
      const int dc = step(random), dr = dc == 0 ? 1 : step(random);
      const double e = bright(random);
      for (int n = length(random); n > 0 && c >= 1 && c <= width && r >= 1 && r <= height; --n) {
        image[1][r][c] += e;
        c += dc;
        r += dr;
      }
    }
    TFctXY& grid = i == 0 ? intra : extra;
    grid.IsComplex = 0;
    grid.Init(width, height);
    grid.Values = std::move(image);
    Describe(o, i == 0, grid.Infos);
    grid.Infos.Naxis1 = width;
    grid.Infos.Naxis2 = height;
  }
}

// Pair number frame of a call.
StarSimulationStatus MakePair(const StarSimulationOptions& o, Preparation& p, int frame, TFctXY& intra,
                              TFctXY& extra) {
  StarSimulationReport& info = p.Info;
  DoublePlanes planes[2];
  const double z[2] = {-o.Defocus, o.Defocus};
  std::string why;
  if (o.Model == StarModel::Geometric) {
    for (int i = 0; i < 2; ++i) RenderGeometric(p.Setup, p.Wavefront, z[i], planes[i], info.RayCount);
  } else if (!o.Atmosphere.Enabled) {
    if (!RenderFresnel(p.Setup, p.Wavefront, z[0], z[1], planes[0], planes[1], info.TransformSize,
                       info.PupilSamples, why))
      return Refuse(why);
  } else {
    // One screen per image: the two sides of a pair are taken apart in time.
    const StarAtmosphere& a = o.Atmosphere;
    const TPhaseScreen screens[2] = {
        TPhaseScreen::Kolmogorov(a.R0, info.ScreenSide, info.ScreenSamples,
                                 MixSeed(a.Seed, 2 * static_cast<std::uint64_t>(frame))),
        TPhaseScreen::Kolmogorov(a.R0, info.ScreenSide, info.ScreenSamples,
                                 MixSeed(a.Seed, 2 * static_cast<std::uint64_t>(frame) + 1))};
    const double metres = p.Setup.Radius * 1e-3;  // per pupil unit
    const int steps = info.SubExposures;
    PupilPaths paths;
    paths.Steps = steps;
    paths.MaxSlope = std::max(screens[0].MaxSlope(), screens[1].MaxSlope()) * metres;
    // Frozen flow: at sub-exposure k the screen has moved by the wind's
    // travel times (k + 0.5) / steps - 0.5, so the exposure is centred.
    paths.At = [&](int image, int step, double x, double y) {
      const double t = (step + 0.5) / steps - 0.5;
      return screens[image].At(x * metres - t * p.WindX, y * metres - t * p.WindY);
    };
    if (!RenderFresnel(p.Setup, p.Wavefront, z[0], z[1], planes[0], planes[1], info.TransformSize,
                       info.PupilSamples, why, &paths))
      return Refuse(why);
  }
  Record(o, p.Setup, frame == 0 ? o.Seed : MixSeed(o.Seed, static_cast<std::uint64_t>(frame)), planes, intra,
         extra);
  if (o.Atmosphere.Enabled) {
    const StarAtmosphere& a = o.Atmosphere;
    const std::string turbulence = "Turbulence r0 " + Text(a.R0) + " m at 500 nm, exposure " +
                                   Text(a.Exposure) + " s, wind " + Text(a.WindSpeed) + " m/s to " +
                                   Text(a.WindDirection) + " deg, frame " + std::to_string(frame + 1);
    intra.Infos.Comments[4] = extra.Infos.Comments[4] = turbulence;
  }
  return {true, ""};
}

}  // namespace

StarSimulationStatus SimulateStarPair(const StarSimulationOptions& o, TFctXY& intra, TFctXY& extra,
                                      StarSimulationReport* report) {
  intra.Release();
  extra.Release();
  Preparation p;
  StarSimulationStatus status = Prepare(o, p);
  if (!status.Ok) return status;
  status = MakePair(o, p, 0, intra, extra);
  if (!status.Ok) {
    intra.Release();
    extra.Release();
    return status;
  }
  p.Info.FramesMade = 1;
  if (report) *report = p.Info;
  return status;
}

StarSimulationStatus SimulateStarSequence(const StarSimulationOptions& o, const StarFrameHandler& frame,
                                          StarSimulationReport* report) {
  Preparation p;
  StarSimulationStatus status = Prepare(o, p);
  if (!status.Ok) return status;
  TFctXY intra, extra;
  for (int k = 0; k < o.Frames; ++k) {
    status = MakePair(o, p, k, intra, extra);
    if (!status.Ok) break;
    ++p.Info.FramesMade;
    if (frame && !frame(k, intra, extra)) break;
  }
  if (report) *report = p.Info;
  return status;
}

StarSimulationStatus WriteStarPair(const TFctXY& intra, const TFctXY& extra, const std::string& intraFile,
                                   const std::string& extraFile) {
  if (!intra.HasArrays() || !extra.HasArrays()) return Refuse("There is no image pair to write");
  if (intraFile == extraFile) return Refuse("The two images need different file names");
  std::string why;
  if (!WriteFits16(intraFile, intra.Values, intra.Nx, intra.Ny, intra.Infos, &why)) return Refuse(why);
  if (!WriteFits16(extraFile, extra.Values, extra.Nx, extra.Ny, extra.Infos, &why)) return Refuse(why);
  return {true, ""};
}

StarSimulationStatus WriteStarSequence(const StarSimulationOptions& options, const std::string& intraFile,
                                       const std::string& extraFile, StarSimulationReport* report, int* width,
                                       int* height) {
  if (intraFile == extraFile) return Refuse("The two images need different file names");
  // Both cubes grow a frame at a time and appear only when complete.
  Fits16CubeWriter cubes[2];
  const std::string files[2] = {intraFile, extraFile};
  std::string why;
  const StarSimulationStatus made = SimulateStarSequence(
      options,
      [&](int frame, const TFctXY& intra, const TFctXY& extra) {
        const TFctXY* pair[2] = {&intra, &extra};
        for (int i = 0; i < 2; ++i) {
          if (frame == 0 &&
              !cubes[i].Open(files[i], pair[i]->Nx, pair[i]->Ny, options.Frames, pair[i]->Infos, &why))
            return false;
          if (!cubes[i].Append(pair[i]->Values, &why)) return false;
        }
        if (width) *width = intra.Nx;
        if (height) *height = intra.Ny;
        return true;
      },
      report);
  if (!made.Ok) return made;
  if (!why.empty()) return Refuse(why);
  for (int i = 0; i < 2; ++i)
    if (!cubes[i].Finish(&why)) return Refuse(why);
  return {true, ""};
}

}  // namespace caustica
