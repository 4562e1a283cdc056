#include "analysis/star_simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <vector>

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
      std::string(o.Model == StarModel::Fresnel ? "Fresnel" : "Geometric") + " model, " + Text(o.Wavelength) +
      " nm" + (o.WavelengthCount > 1 && o.Bandwidth > 0 ? " +/- " + Text(o.Bandwidth / 2) + " nm" : "");
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
  return {true, ""};
}

StarSimulationStatus SimulateStarPair(const StarSimulationOptions& o, TFctXY& intra, TFctXY& extra,
                                      StarSimulationReport* report) {
  intra.Release();
  extra.Release();
  StarSimulationStatus status = ValidateStarOptions(o);
  if (!status.Ok) return status;

  ZernikeCoefficients coefficients = o.Coefficients;
  coefficients[0] = 0.0;
  if (o.Normalised) FromNormalised(MakeZernikeBasis(kZernikeTermCount, o.PolynomialType), coefficients);
  StarWavefront wavefront;
  std::string why;
  if (!wavefront.Build(coefficients, o.PolynomialType, o.Obstruction, &why)) return Refuse(why);

  StarSetup setup;
  setup.Radius = 0.5 * o.Diameter;
  setup.FocalLength = o.FocalLength;
  setup.Obstruction = o.Obstruction;
  setup.PixelX = o.PixelSize * o.BinX * 1e-3;
  setup.PixelY = o.PixelSize * o.BinY * 1e-3;
  setup.Width = o.Width;
  setup.Height = o.Height;
  setup.RaysPerPixel = o.RaysPerPixel;
  const int count = (o.Bandwidth > 0.0) ? o.WavelengthCount : 1;
  for (int i = 0; i < count; ++i)
    setup.Wavelengths.push_back(count == 1 ? o.Wavelength
                                           : o.Wavelength +
                                                 o.Bandwidth * (static_cast<double>(i) / (count - 1) - 0.5));

  StarSimulationReport info;
  info.PupilImageRadius = o.Defocus * setup.Radius / o.FocalLength / setup.PixelX;
  info.WavelengthCount = count;
  DoublePlanes planes[2];
  const double z[2] = {-o.Defocus, o.Defocus};
  if (o.Model == StarModel::Geometric) {
    for (int i = 0; i < 2; ++i) RenderGeometric(setup, wavefront, z[i], planes[i], info.RayCount);
  } else if (!RenderFresnel(setup, wavefront, z[0], z[1], planes[0], planes[1], info.TransformSize,
                            info.PupilSamples, why)) {
    return Refuse(why);
  }

  // Detector: seeing, the source's counts, sky, then noise drawn in a fixed
  // order (intra first, rows then columns) so a seed always gives the same frames.
  std::mt19937_64 random(o.Seed);
  std::normal_distribution<double> read(0.0, 1.0);
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
  if (report) *report = info;
  return {true, ""};
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

}  // namespace caustica
