#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "analysis/star_simulator.h"
#include "analysis/star_wavefront.h"
#include "analysis/u_pupille.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"

namespace caustica {
namespace {

constexpr double kNm = 1e-6;  // mm per nm

struct Pair {
  TFctXY intra, extra;
  StarSimulationReport report;
};

Pair Simulate(const StarSimulationOptions& o) {
  Pair p;
  const StarSimulationStatus st = SimulateStarPair(o, p.intra, p.extra, &p.report);
  EXPECT_TRUE(st.Ok) << st.Message;
  return p;
}

// The pupil as the program finds it when an image is opened.
TPupille Found(const TFctXY& g) {
  TPupille p;
  p.Init(g.Nx, g.Ny);
  p.Assign(g);
  p.ExtractThreshold(16, 50);
  p.MeasurePupil();
  p.SetPupilAxes();
  p.MeasureObstruction();
  return p;
}

double Total(const TFctXY& g) {
  double s = 0.0;
  for (int r = 1; r <= g.Ny; ++r)
    for (int c = 1; c <= g.Nx; ++c) s += g.Values[1][r][c];
  return s;
}

// Light centroid relative to the frame centre, pixels (column, row).
std::pair<double, double> Centroid(const TFctXY& g) {
  double s = 0, sc = 0, sr = 0;
  for (int r = 1; r <= g.Ny; ++r)
    for (int c = 1; c <= g.Nx; ++c) {
      const double v = g.Values[1][r][c];
      s += v;
      sc += v * c;
      sr += v * r;
    }
  return {sc / s - 0.5 * (g.Nx + 1), sr / s - 0.5 * (g.Ny + 1)};
}

// f/5, 6 mm of defocus on 6 um pixels: a pupil image of 100 pixels radius.
StarSimulationOptions Base(StarModel model) {
  StarSimulationOptions o;
  o.Model = model;
  o.Diameter = 200.0;
  o.FocalLength = 1000.0;
  o.Defocus = 6.0;
  o.PixelSize = 6.0;
  o.Width = o.Height = 300;
  return o;
}

TEST(StarSimulator, PupilRadiusCentreAndObstructionAreFoundWhereGeometryPutsThem) {
  for (StarModel model : {StarModel::Geometric, StarModel::Fresnel}) {
    for (double obstruction : {0.0, 0.3}) {
      StarSimulationOptions o = Base(model);
      o.Obstruction = obstruction;
      const Pair p = Simulate(o);
      const double expected = 0.5 * o.Diameter * o.Defocus / o.FocalLength / (o.PixelSize * 1e-3);
      EXPECT_DOUBLE_EQ(p.report.PupilImageRadius, expected);
      // Diffraction moves the 50 % level of the edges into the dark by a
      // fraction of the Fresnel edge width sqrt(lambda l / 2).
      const double edge = std::sqrt(o.Wavelength * kNm * o.Defocus / 2) / (o.PixelSize * 1e-3);
      const double tolerance = model == StarModel::Geometric ? 0.5 : 0.5 + 0.5 * edge;
      for (const TFctXY* g : {&p.intra, &p.extra}) {
        const TPupille pupil = Found(*g);
        SCOPED_TRACE(testing::Message()
                     << "model " << static_cast<int>(model) << " obstruction " << obstruction);
        EXPECT_NEAR(pupil.PupilRadius, expected, tolerance);
        EXPECT_NEAR(pupil.OriginColumn, 150.5, 0.05);
        EXPECT_NEAR(pupil.OriginRow, 150.5, 0.05);
        EXPECT_NEAR(pupil.Obstruction, obstruction, model == StarModel::Geometric ? 0.02 : 0.06);
      }
    }
  }
}

TEST(StarSimulator, BinningScalesThePixelsAndTotalFluxIsTheSourceLevel) {
  for (StarModel model : {StarModel::Geometric, StarModel::Fresnel}) {
    StarSimulationOptions o = Base(model);
    o.PixelSize = 3.0;
    o.BinX = o.BinY = 2;
    o.SourceLevel = 2.5e6;
    const Pair p = Simulate(o);
    // Diffraction sends a little light beyond any frame.
    const double lost = model == StarModel::Geometric ? 0.0 : 2e-3 * 2.5e6;
    EXPECT_NEAR(Total(p.intra), 2.5e6 - lost / 2, lost / 2 + 1e-3);
    EXPECT_NEAR(Total(p.extra), 2.5e6 - lost / 2, lost / 2 + 1e-3);
    EXPECT_NEAR(Found(p.intra).PupilRadius, 100.0, model == StarModel::Geometric ? 0.5 : 4.0);

    o.SkyLevel = 10.0;
    const Pair sky = Simulate(o);
    EXPECT_NEAR(Total(sky.intra) - Total(p.intra), 10.0 * 300 * 300, 1e-4);
  }
}

// W = c (2 r^2 - 1): a positive focus term converges the beam harder, so the
// intra-focal image shrinks and brightens, the sign the reconstruction's
// Poisson solution expects.
TEST(StarSimulator, FocusTermChangesBothImageSizesBySlopeTimesDistance) {
  StarSimulationOptions o = Base(StarModel::Geometric);
  const double c = 300.0;
  o.Coefficients[4] = c;
  const Pair p = Simulate(o);
  const double R = 100.0, f = 1000.0, l = 6.0, pix = 0.006;
  const double intra = (R * l / f - 4 * c * kNm * (f - l) / R) / pix;
  const double extra = (R * l / f + 4 * c * kNm * (f + l) / R) / pix;
  EXPECT_NEAR(Found(p.intra).PupilRadius, intra, 0.5);
  EXPECT_NEAR(Found(p.extra).PupilRadius, extra, 0.5);
  EXPECT_LT(intra, 98.5);  // the effect is well above the tolerance
  EXPECT_GT(extra, 101.5);
}

// The reconstruction reads the curvature from S = (I1 - I2) / (I1 + I2), I2
// the turned extra image, through Laplacian(W) = S R^2 / k with
// k = f (f - l) / l (pupil units). For W = c (2 r^2 - 1) the Laplacian is 8 c,
// so the pair must carry S = 8 c k / R^2 inside the pupil.
TEST(StarSimulator, CurvatureSignalOfAFocusTermHasTheReconstructionsSignAndScale) {
  const double c = 200.0, f = 1000.0, l = 6.0, R = 100.0;
  const double expected = 8.0 * c * kNm * f * (f - l) / l / (R * R);
  for (StarModel model : {StarModel::Geometric, StarModel::Fresnel}) {
    StarSimulationOptions o = Base(model);
    o.Coefficients[4] = c;
    o.Seeing = 9.0;  // smooths the diffraction ripples of the Fresnel pair
    Pair p = Simulate(o);
    p.extra.Rotate180();
    double sum = 0.0, n = 0.0;
    for (int r = 1; r <= o.Height; ++r)
      for (int k = 1; k <= o.Width; ++k)
        if (std::hypot(r - 150.5, k - 150.5) < 60.0) {
          const double a = p.intra.Values[1][r][k], b = p.extra.Values[1][r][k];
          sum += (a - b) / (a + b);
          n += 1;
        }
    EXPECT_NEAR(sum / n, expected, (model == StarModel::Geometric ? 0.02 : 0.1) * expected)
        << "model " << static_cast<int>(model);
  }
}

// The centroid moves by -(f + z) times the mean slope: for coma c (3 r^3 - 2 r)
// cos t the mean slope over the disk is c / R along x.
TEST(StarSimulator, ComaShiftsTheLightAlongItsAxisAndTheTurnedExtraImageTheOtherWay) {
  for (StarModel model : {StarModel::Geometric, StarModel::Fresnel}) {
    for (int term : {7, 8}) {
      StarSimulationOptions o = Base(model);
      const double c = 150.0;
      o.Coefficients[term] = c;
      Pair p = Simulate(o);
      const double R = 100.0, f = 1000.0, l = 6.0, pix = 0.006;
      const auto [ci, ri] = Centroid(p.intra);
      const double along = term == 7 ? ci : -ri;  // y runs up, rows down
      const double across = term == 7 ? ri : ci;
      SCOPED_TRACE(testing::Message() << "model " << static_cast<int>(model) << " term " << term);
      EXPECT_NEAR(along, -(f - l) * c * kNm / R / pix, 0.01);
      EXPECT_NEAR(across, 0.0, 0.01);
      p.extra.Rotate180();
      const auto [ce, re] = Centroid(p.extra);
      EXPECT_NEAR(term == 7 ? ce : -re, (f + l) * c * kNm / R / pix, 0.01);
    }
  }
}

TEST(StarSimulator, UnaberratedExtraImageIsTheTurnedIntraImage) {
  StarSimulationOptions o = Base(StarModel::Geometric);
  o.Width = 300;
  o.Height = 280;  // unequal sides: the turn is about the frame centre
  o.Obstruction = 0.25;
  Pair p = Simulate(o);
  p.extra.Rotate180();
  double worst = 0.0, peak = 0.0;
  for (int r = 1; r <= o.Height; ++r)
    for (int c = 1; c <= o.Width; ++c) {
      worst = std::max(worst, std::abs(p.extra.Values[1][r][c] - p.intra.Values[1][r][c]));
      peak = std::max(peak, p.intra.Values[1][r][c]);
    }
  EXPECT_LT(worst, 1e-9 * peak);
}

// Mean over rings of one pixel, around the frame centre.
std::vector<double> RadialProfile(const TFctXY& g, int rings) {
  std::vector<double> sum(rings, 0.0), n(rings, 0.0);
  for (int r = 1; r <= g.Ny; ++r)
    for (int c = 1; c <= g.Nx; ++c) {
      const int k = static_cast<int>(std::hypot(c - 0.5 * (g.Nx + 1), r - 0.5 * (g.Ny + 1)));
      if (k < rings) {
        sum[k] += g.Values[1][r][c];
        n[k] += 1;
      }
    }
  for (int k = 0; k < rings; ++k) sum[k] /= n[k];
  return sum;
}

// The difference of the intra image and the turned extra image: what the
// reconstruction's signal is made of.
std::vector<double> Difference(Pair& p) {
  p.extra.Rotate180();
  std::vector<double> d;
  for (int r = 1; r <= p.intra.Ny; ++r)
    for (int c = 1; c <= p.intra.Nx; ++c) d.push_back(p.intra.Values[1][r][c] - p.extra.Values[1][r][c]);
  return d;
}

double Correlation(const std::vector<double>& a, const std::vector<double>& b) {
  double ab = 0, aa = 0, bb = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    ab += a[i] * b[i];
    aa += a[i] * a[i];
    bb += b[i] * b[i];
  }
  return ab / std::sqrt(aa * bb);
}

TEST(StarSimulator, GeometricAndFresnelModelsAgreeApartFromRipplesAtLargeDefocus) {
  // f/8 and 8 mm: 100 pixels of pupil radius, a Fresnel number near 60. A
  // seeing of 4.5" (sigma 3 pixels) smooths the diffraction ripples.
  StarSimulationOptions o;
  o.Diameter = 200.0;
  o.FocalLength = 1600.0;
  o.Defocus = 8.0;
  o.PixelSize = 5.0;
  o.Width = o.Height = 320;
  o.Seeing = 4.5;
  o.Model = StarModel::Geometric;
  const Pair g = Simulate(o);
  o.Model = StarModel::Fresnel;
  const Pair f = Simulate(o);

  const std::vector<double> pg = RadialProfile(g.intra, 100), pf = RadialProfile(f.intra, 100);
  double level = 0.0;
  for (int k = 0; k < 85; ++k) level += pg[k] / 85;
  for (int k = 0; k < 85; ++k) EXPECT_NEAR(pf[k], pg[k], 0.06 * level) << "ring " << k;
  const TPupille a = Found(g.extra), b = Found(f.extra);
  EXPECT_NEAR(a.OriginColumn, b.OriginColumn, 0.05);
  EXPECT_NEAR(a.OriginRow, b.OriginRow, 0.05);
  EXPECT_NEAR(a.PupilRadius, b.PupilRadius, 5.0);

  // Aberrated pairs: the difference of the intra image and the turned
  // extra image (what the reconstruction's signal is made of) must look
  // alike in both models once smoothed over the Fresnel edge width (about 9
  // pixels here; a seeing of 9" is a sigma of 6 pixels). Astigmatism has no
  // curvature, so its signal lives at the edge only.
  o.Seeing = 9.0;
  const std::vector<std::vector<std::pair<int, double>>> sets = {
      {{5, 120.0}}, {{8, -100.0}}, {{11, 60.0}}, {{6, 80.0}, {7, 70.0}, {11, -50.0}}};
  for (const auto& terms : sets) {
    StarSimulationOptions a = o;
    for (const auto& [k, c] : terms) a.Coefficients[k] = c;
    a.Model = StarModel::Geometric;
    Pair ga = Simulate(a);
    a.Model = StarModel::Fresnel;
    Pair fa = Simulate(a);
    const std::vector<double> dg = Difference(ga), df = Difference(fa);
    double ng = 0.0, nf = 0.0;
    for (std::size_t i = 0; i < dg.size(); ++i) {
      ng += dg[i] * dg[i];
      nf += df[i] * df[i];
    }
    SCOPED_TRACE(testing::Message() << "first term " << terms[0].first);
    EXPECT_GT(Correlation(dg, df), 0.9);
    EXPECT_NEAR(std::sqrt(nf / ng), 1.0, 0.2);
  }
}

TEST(StarSimulator, NoiseIsRepeatableWithTheSeedAndHasTheExpectedSpread) {
  StarSimulationOptions o = Base(StarModel::Geometric);
  o.SkyLevel = 400.0;
  o.PhotonNoise = true;
  o.ReadNoise = 15.0;
  o.Seed = 42;
  const Pair a = Simulate(o), b = Simulate(o);
  o.Seed = 43;
  const Pair c = Simulate(o);
  int same = 0, differ = 0;
  for (int r = 1; r <= o.Height; ++r)
    for (int k = 1; k <= o.Width; ++k) {
      same += a.intra.Values[1][r][k] == b.intra.Values[1][r][k] &&
              a.extra.Values[1][r][k] == b.extra.Values[1][r][k];
      differ += a.intra.Values[1][r][k] != c.intra.Values[1][r][k];
    }
  EXPECT_EQ(same, o.Width * o.Height);
  EXPECT_GT(differ, o.Width * o.Height / 2);

  // The corners hold sky only: mean 400, variance 400 + 15^2.
  double s = 0, s2 = 0, n = 0;
  for (int r = 1; r <= 40; ++r)
    for (int k = 1; k <= 40; ++k) {
      const double v = a.intra.Values[1][r][k];
      s += v;
      s2 += v * v;
      n += 1;
    }
  const double mean = s / n, variance = s2 / n - mean * mean;
  EXPECT_NEAR(mean, 400.0, 3.0);
  EXPECT_NEAR(variance, 625.0, 80.0);
}

TEST(StarSimulator, AbsurdOptionsAreRefusedWithAReason) {
  const std::vector<std::pair<const char*, void (*)(StarSimulationOptions&)>> cases = {
      {"zero focal length", [](StarSimulationOptions& o) { o.FocalLength = 0; }},
      {"no defocus", [](StarSimulationOptions& o) { o.Defocus = 0; }},
      {"defocus beyond the focal length", [](StarSimulationOptions& o) { o.Defocus = 2 * o.FocalLength; }},
      {"image size 0", [](StarSimulationOptions& o) { o.Width = 0; }},
      {"image size 100000", [](StarSimulationOptions& o) { o.Height = 100000; }},
      {"diameter NaN", [](StarSimulationOptions& o) { o.Diameter = std::nan(""); }},
      {"coefficient NaN", [](StarSimulationOptions& o) { o.Coefficients[7] = std::nan(""); }},
      {"infinite source", [](StarSimulationOptions& o) { o.SourceLevel = HUGE_VAL; }},
      {"negative pixel", [](StarSimulationOptions& o) { o.PixelSize = -5; }},
      {"binning 0", [](StarSimulationOptions& o) { o.BinX = 0; }},
      {"obstruction 1", [](StarSimulationOptions& o) { o.Obstruction = 1.0; }},
      {"negative seeing", [](StarSimulationOptions& o) { o.Seeing = -1; }},
      {"no wavelengths", [](StarSimulationOptions& o) { o.WavelengthCount = 0; }},
      {"unknown basis", [](StarSimulationOptions& o) { o.PolynomialType = 7; }},
  };
  for (const auto& [name, mutate] : cases) {
    StarSimulationOptions o = Base(StarModel::Fresnel);
    mutate(o);
    TFctXY intra, extra;
    intra.Init(4, 4);  // whatever was there goes
    const StarSimulationStatus st = SimulateStarPair(o, intra, extra);
    EXPECT_FALSE(st.Ok) << name;
    EXPECT_FALSE(st.Message.empty()) << name;
    EXPECT_FALSE(intra.HasArrays()) << name;
    EXPECT_FALSE(extra.HasArrays()) << name;
  }

  // A set-up whose diffraction would need gigantic transforms is refused,
  // pointing at the geometric model, which does it.
  StarSimulationOptions o = Base(StarModel::Fresnel);
  o.Defocus = 200.0;
  o.Width = o.Height = 4096;
  o.PixelSize = 20.0;
  TFctXY intra, extra;
  const StarSimulationStatus st = SimulateStarPair(o, intra, extra);
  EXPECT_FALSE(st.Ok);
  EXPECT_NE(st.Message.find("geometric"), std::string::npos) << st.Message;
}

// Annular and circle terms, un-normalised or RMS-normalised, all end up as
// the same polynomial the basis evaluates; the program-wide basis is left alone.
TEST(StarSimulator, WavefrontPolynomialReproducesTheTermsOfEitherBasis) {
  const TZernikeBasis before = ZernikeBasis;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  ZernikeCoefficients c{};
  for (int k = 2; k <= kZernikeTermCount; ++k) c[k] = 100.0 * u(random);
  for (std::uint8_t type : {kCirclePolynomials, kAnnularPolynomials}) {
    test::ProgramStateGuard state;  // the basis is set for this type below
    const double e = 0.35;
    StarWavefront w;
    ASSERT_TRUE(w.Build(c, type, e));
    SetZernikeBasis(kZernikeTermCount, type);
    ZernikeValues z{};
    for (int t = 0; t < 200; ++t) {
      const double x = u(random), y = u(random);
      if (!EvaluateZernike(e, y, x, z)) continue;
      double expected = 0.0;
      for (int k = 1; k <= kZernikeTermCount; ++k) expected += c[k] * z[k];
      EXPECT_NEAR(w.Value(x, y), expected, 1e-6);
    }
  }
  EXPECT_EQ(ZernikeBasis.PolynomialCount, before.PolynomialCount);

  StarSimulationOptions plain = Base(StarModel::Geometric), normalised = plain;
  plain.Coefficients[5] = 50.0 * std::sqrt(6.0);
  normalised.Coefficients[5] = 50.0;
  normalised.Normalised = true;
  const Pair a = Simulate(plain), b = Simulate(normalised);
  for (int r = 1; r <= plain.Height; r += 7)
    for (int k = 1; k <= plain.Width; k += 7)
      EXPECT_DOUBLE_EQ(a.intra.Values[1][r][k], b.intra.Values[1][r][k]);
  EXPECT_EQ(ZernikeBasis.PolynomialCount, before.PolynomialCount);
  EXPECT_EQ(ZernikeBasis.PolynomialType, before.PolynomialType);
}

TEST(StarSimulator, BandOfWavelengthsIsAveragedAndKeepsTheFlux) {
  StarSimulationOptions o = Base(StarModel::Fresnel);
  o.Bandwidth = 100.0;
  o.WavelengthCount = 5;
  const Pair band = Simulate(o);
  EXPECT_EQ(band.report.WavelengthCount, 5);
  EXPECT_NEAR(Total(band.intra), o.SourceLevel, 2e-3 * o.SourceLevel);
  // Averaging washes out part of the ripples: the interior varies less.
  o.Bandwidth = 0.0;
  const Pair mono = Simulate(o);
  auto spread = [](const TFctXY& g) {
    const std::vector<double> p = RadialProfile(g, 80);
    double mean = 0, var = 0;
    for (int k = 10; k < 80; ++k) mean += p[k] / 70;
    for (int k = 10; k < 80; ++k) var += (p[k] - mean) * (p[k] - mean) / 70;
    return std::sqrt(var) / mean;
  };
  EXPECT_LT(spread(band.intra), spread(mono.intra));
}

TEST(StarSimulator, PairIsWrittenAsFitsThatReadsBackWithItsSetUp) {
  test::ScratchDir dir;
  StarSimulationOptions o = Base(StarModel::Geometric);
  o.PixelSize = 5.2;
  o.BinX = o.BinY = 2;
  o.SkyLevel = 100.0;
  o.SourceLevel = 5e6;
  Pair p = Simulate(o);
  const std::string intraFile = dir.File("intra.fits"), extraFile = dir.File("extra.fits");
  ASSERT_TRUE(WriteStarPair(p.intra, p.extra, intraFile, extraFile).Ok);
  TFctXY back;
  back.LoadFromFits(extraFile);
  ASSERT_EQ(back.Nx, o.Width);
  ASSERT_EQ(back.Ny, o.Height);
  EXPECT_DOUBLE_EQ(back.Infos.FocalLength, 1000.0);
  EXPECT_DOUBLE_EQ(back.Infos.PixelSizeX, 5.2);
  EXPECT_EQ(back.Infos.BinX, 2);
  EXPECT_EQ(back.Infos.BinY, 2);
  EXPECT_DOUBLE_EQ(back.Infos.Diameter, 200.0);
  EXPECT_FALSE(back.Infos.DateObs.empty());
  EXPECT_EQ(back.Infos.Comments[1].rfind("Extra-focal", 0), 0u);
  for (int r = 1; r <= o.Height; r += 5)
    for (int c = 1; c <= o.Width; c += 5)
      EXPECT_EQ(back.Values[1][r][c], std::nearbyint(p.extra.Values[1][r][c])) << r << "," << c;

  EXPECT_FALSE(WriteStarPair(p.intra, p.extra, intraFile, intraFile).Ok);
  TFctXY empty;
  EXPECT_FALSE(WriteStarPair(empty, p.extra, intraFile, extraFile).Ok);
  EXPECT_FALSE(WriteStarPair(p.intra, p.extra, dir.File("no/where.fits"), extraFile).Ok);
}

}  // namespace
}  // namespace caustica
