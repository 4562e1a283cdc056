#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "analysis/products.h"
#include "setup/run_settings.h"
#include "setup/u_prefs.h"
#include "zernike_test_support.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;

namespace {

constexpr double kLambda = 555.0;

// A wavefront (kind 3) of a centred disc of the given radius in samples,
// values w(x, y) in nanometres at pupil coordinates.
void Wavefront(TPupille& w, int size, double radius, const std::function<double(double, double)>& f) {
  w.Init(size, size);
  w.Kind = kKindWavefront;
  w.OriginColumn = w.OriginRow = (size + 1) / 2.0;
  w.PupilRadius = radius;
  w.SetPupilAxes();
  for (int r = 1; r <= size; ++r)
    for (int c = 1; c <= size; ++c) {
      const double x = w.XAxis[c], y = w.YAxis[r];
      const bool inside = x * x + y * y <= 1.0;
      w.Mask[1][r][c] = inside ? 1 : 0;
      w.Values[1][r][c] = inside ? f(x, y) : 0.0;
    }
}

double Flat(double, double) { return 0.0; }

}  // namespace

TEST(InterferogramProduct, FlatWavefrontGivesStraightFringes) {
  ProgramStateGuard state;
  Preferences.Valeurs.LambdaInterfero = kLambda;
  Preferences.Valeurs.PltInterfero = 5;
  TPupille w;
  Wavefront(w, 64, 25, Flat);
  TPupille t;
  std::string error;
  ASSERT_TRUE(ComputeInterferogram(w, 0, 8, CurrentProductSettings(), t, &error)) << error;
  EXPECT_EQ(t.Kind, kKindInterferogram);
  EXPECT_EQ(t.PaletteIndex, 5);
  EXPECT_TRUE(t.MaskActive);
  EXPECT_EQ(t.Wavelength, kLambda);
  EXPECT_EQ(t.FringeCount, 8);
  EXPECT_EQ(t.Angle, 0.0);
  // 8 waves of tilt across the diameter: 0.5 + 0.5 cos(8 pi x), constant down each column.
  for (int r = 1; r <= 64; ++r)
    for (int c = 1; c <= 64; ++c) {
      ASSERT_EQ(t.Mask[1][r][c], w.Mask[1][r][c]);
      if (w.Mask[1][r][c] != 1) continue;
      EXPECT_NEAR(t.Values[1][r][c], 0.5 + 0.5 * std::cos(8 * M_PI * w.XAxis[c]), 1e-9);
    }

  // At 90 degrees the fringes run along the rows.
  ASSERT_TRUE(ComputeInterferogram(w, 90, 8, CurrentProductSettings(), t));
  EXPECT_EQ(t.Angle, 90 * 3.141592653589 / 180);
  for (int r = 1; r <= 64; ++r)
    for (int c = 1; c <= 64; ++c)
      if (w.Mask[1][r][c] == 1) {
        EXPECT_NEAR(t.Values[1][r][c], 0.5 + 0.5 * std::cos(8 * M_PI * w.YAxis[r]), 1e-9);
      }
}

TEST(InterferogramProduct, ValuesInUnitRangeAndOneWhereTiltMatchesTheWavefront) {
  ProgramStateGuard state;
  Preferences.Valeurs.LambdaInterfero = kLambda;
  const double a = 30 * 3.141592653589 / 180, amp = 5 * kLambda / 2;
  TPupille tilted, aberrated;
  Wavefront(tilted, 48, 20, [&](double x, double y) { return amp * (std::cos(a) * x + std::sin(a) * y); });
  Wavefront(aberrated, 48, 20, [](double x, double y) { return 300 * (x * x + y * y) + 80 * x * y * y; });
  TPupille t;
  ASSERT_TRUE(ComputeInterferogram(tilted, 30, 5, CurrentProductSettings(), t));
  for (int r = 1; r <= 48; ++r)
    for (int c = 1; c <= 48; ++c)
      if (tilted.Mask[1][r][c] == 1) {
        EXPECT_NEAR(t.Values[1][r][c], 1.0, 1e-9);
      }

  // Recomputed in place with another fringe count: same arrays, values in 0..1.
  const double* before = t.Values.PlaneData(1);
  ASSERT_TRUE(ComputeInterferogram(aberrated, 30, 3, CurrentProductSettings(), t));
  EXPECT_EQ(t.Values.PlaneData(1), before);
  EXPECT_EQ(t.FringeCount, 3);
  for (int r = 1; r <= 48; ++r)
    for (int c = 1; c <= 48; ++c) {
      EXPECT_GE(t.Values[1][r][c], 0.0);
      EXPECT_LE(t.Values[1][r][c], 1.0);
    }
}

TEST(InterferogramProduct, RefusesWhatIsNotAWavefront) {
  ProgramStateGuard state;
  TPupille image, t;
  Wavefront(image, 32, 10, Flat);
  image.Kind = kKindIntra;
  std::string error;
  EXPECT_FALSE(ComputeInterferogram(image, 0, 8, CurrentProductSettings(), t, &error));
  EXPECT_EQ(error, "Select a wavefront image.");
  EXPECT_FALSE(t.HasArrays());
  image.Kind = kKindResidual;  // a residual map is accepted
  EXPECT_TRUE(ComputeInterferogram(image, 0, 8, CurrentProductSettings(), t));
  Preferences.Valeurs.LambdaInterfero = 0;
  EXPECT_FALSE(ComputeInterferogram(image, 0, 8, CurrentProductSettings(), t, &error));
}

TEST(ProductSeries, AnglesFromStartPlus180DownToStart) {
  EXPECT_EQ(SeriesAngles(0, 45), (std::vector<int>{135, 90, 45, 0}));
  EXPECT_EQ(SeriesAngles(0, 50), (std::vector<int>{130, 80, 30, -20}));
  EXPECT_EQ(SeriesAngles(20, 180), (std::vector<int>{20}));
  EXPECT_EQ(SeriesAngles(0, 0).size(), 180u);  // a step below 1 counts as 1
  EXPECT_EQ(SeriesAngles(-360, 200), (std::vector<int>{-380}));
}

TEST(FoucaultProduct, PureTiltIsUniformAndDefocusIsARamp) {
  TPupille tilt, t;
  Wavefront(tilt, 64, 25, [](double x, double) { return 100 * x; });
  ASSERT_TRUE(ComputeFoucaultgram(tilt, 0, t));
  EXPECT_EQ(t.Kind, kKindFoucault);
  EXPECT_TRUE(t.MaskActive);
  EXPECT_NEAR(t.PupilRadius, 25, 0.5);
  for (int r = 1; r <= 64; ++r)
    for (int c = 1; c <= 64; ++c)
      if (tilt.Mask[1][r][c] == 1) {
        EXPECT_NEAR(t.Values[1][r][c], 100, 1e-9);
      }
  // Knife-edge marks: a tick on the far side of the angle, the edge across.
  EXPECT_TRUE(t.Shapes[1].Visible);
  EXPECT_EQ(t.Shapes[1].ShapeKind, 0);
  EXPECT_NEAR(t.Shapes[1].X1, -1.1, 1e-12);
  EXPECT_NEAR(t.Shapes[1].X2, -1.0, 1e-12);
  EXPECT_NEAR(t.Shapes[1].Y1, 0, 1e-12);
  EXPECT_NEAR(t.Shapes[2].X1, 0, 1e-12);
  EXPECT_NEAR(t.Shapes[2].Y1, 1.1, 1e-12);
  EXPECT_NEAR(t.Shapes[2].Y2, -1.1, 1e-12);
  EXPECT_FALSE(t.Shapes[3].Visible);

  // Along y the tilt has no slope.
  ASSERT_TRUE(ComputeFoucaultgram(tilt, 90, t));
  for (int r = 1; r <= 64; ++r)
    for (int c = 1; c <= 64; ++c)
      if (tilt.Mask[1][r][c] == 1) {
        EXPECT_NEAR(t.Values[1][r][c], 0, 1e-9);
      }

  TPupille focus;
  Wavefront(focus, 64, 25, [](double x, double y) { return 50 * (x * x + y * y); });
  ASSERT_TRUE(ComputeFoucaultgram(focus, 0, t));
  for (int c = 10; c <= 55; ++c) EXPECT_NEAR(t.Values[1][32][c], 100 * focus.XAxis[c], 1e-9) << c;
}

TEST(FoucaultProduct, RefusesAResidualMap) {
  TPupille residual, t;
  Wavefront(residual, 32, 10, Flat);
  residual.Kind = kKindResidual;
  std::string error;
  EXPECT_FALSE(ComputeFoucaultgram(residual, 0, t, &error));
  EXPECT_EQ(error, "Select a wavefront image.");
}

namespace {

// Position of the largest sample.
void Peak(const TPupille& g, int& row, int& column) {
  row = column = 1;
  for (int r = 1; r <= g.Ny; ++r)
    for (int c = 1; c <= g.Nx; ++c)
      if (g.Values[1][r][c] > g.Values[1][row][column]) {
        row = r;
        column = c;
      }
}

}  // namespace

TEST(PsfProduct, FlatWavefrontGivesEqualPsfsPeakedAtTheCentre) {
  ProgramStateGuard state;
  Preferences.Valeurs.LambdaRef = kLambda;
  Preferences.Valeurs.PltPSF = 4;
  TPupille w, actual, theoretical;
  Wavefront(w, 64, 20, Flat);
  std::string error;
  ASSERT_TRUE(ComputePsfPair(w, PsfFactor(1), CurrentProductSettings(), actual, theoretical, &error))
      << error;
  EXPECT_EQ(actual.Kind, kKindActualPsf);
  EXPECT_EQ(theoretical.Kind, kKindTheoreticalPsf);
  for (const TPupille* p : {&actual, &theoretical}) {
    EXPECT_EQ(p->Nx, 40);
    EXPECT_EQ(p->Ny, 40);
    EXPECT_EQ(p->PaletteIndex, 4);
    EXPECT_EQ(p->OriginColumn, 20);  // 128 / 2 - [64 - 20]
    int r, c;
    Peak(*p, r, c);
    EXPECT_EQ(r, 20);
    EXPECT_EQ(c, 20);
  }
  for (int r = 1; r <= 40; ++r)
    for (int c = 1; c <= 40; ++c) EXPECT_NEAR(actual.Values[1][r][c], theoretical.Values[1][r][c], 1e-12);
}

TEST(PsfProduct, StrehlOfASmallAstigmatism) {
  ProgramStateGuard state;
  Preferences.Valeurs.LambdaRef = kLambda;
  // x^2 - y^2 has an RMS of 1/sqrt(6) over the disc: lambda / 20 RMS.
  const double c5 = kLambda / 20 * std::sqrt(6.0);
  TPupille w, actual, theoretical;
  Wavefront(w, 64, 24, [&](double x, double y) { return c5 * (x * x - y * y); });
  ASSERT_TRUE(ComputePsfPair(w, 2, CurrentProductSettings(), actual, theoretical));
  const int o = static_cast<int>(actual.OriginColumn);
  const double strehl = actual.Values[1][o][o] / theoretical.Values[1][o][o];
  EXPECT_NEAR(strehl, std::exp(-std::pow(2 * M_PI / 20, 2)), 0.02);
  int r, c;
  Peak(actual, r, c);
  EXPECT_EQ(r, o);
  EXPECT_EQ(c, o);
}

TEST(PsfProduct, FocusTermIsPutBackOnce) {
  ProgramStateGuard state;  // first, so that the basis set next is undone
  SetZernikeBasis(22, kCirclePolynomials);
  Preferences.Valeurs.LambdaRef = kLambda;
  const double c4 = 0.3 * kLambda;
  // The same defocus, once present in the map, once only in the coefficients.
  TPupille present, removed, a1, t1, a2, t2;
  Wavefront(present, 64, 20, [&](double x, double y) { return c4 * (2 * (x * x + y * y) - 1); });
  Wavefront(removed, 64, 20, Flat);
  for (TPupille* w : {&present, &removed}) {
    SelectAll(w->Selected);
    w->Coefficients[4] = c4;
  }
  removed.Selected[4] = false;
  ASSERT_TRUE(ComputePsfPair(present, 1, CurrentProductSettings(), a1, t1));
  ASSERT_TRUE(ComputePsfPair(removed, 1, CurrentProductSettings(), a2, t2));
  const int o = static_cast<int>(a1.OriginColumn);
  EXPECT_LT(a1.Values[1][o][o], 0.8 * t1.Values[1][o][o]);
  for (int r = 1; r <= a1.Ny; ++r)
    for (int c = 1; c <= a1.Nx; ++c)
      ASSERT_NEAR(a1.Values[1][r][c], a2.Values[1][r][c], 1e-9 * t1.Values[1][o][o]) << r << " " << c;
}

TEST(PsfProduct, RefusesTooLargeATransformAndNoPupil) {
  ProgramStateGuard state;
  TPupille w, actual, theoretical;
  Wavefront(w, 1100, 500, Flat);  // padded to 2048
  std::string error;
  EXPECT_FALSE(ComputePsfPair(w, 8, CurrentProductSettings(), actual, theoretical, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(actual.HasArrays());
  w.PupilRadius = 0;
  EXPECT_FALSE(ComputePsfPair(w, 1, CurrentProductSettings(), actual, theoretical, &error));
  EXPECT_EQ(PsfFactor(0), 1);
  EXPECT_EQ(PsfFactor(3), 8);
  EXPECT_EQ(PsfFactor(9), 8);
}

TEST(FftProduct, ConstantGridGivesTheZeroFrequencyAlone) {
  TPupille w, f;
  Wavefront(w, 100, 30, [](double, double) { return 1.0; });
  ASSERT_TRUE(ComputeFftProduct(w, f));
  EXPECT_EQ(f.IsComplex, 1);
  EXPECT_EQ(f.Nx, 128);
  EXPECT_EQ(f.Ny, 128);
  int r, c;
  Peak(f, r, c);
  EXPECT_EQ(r, 65);
  EXPECT_EQ(c, 65);
}

namespace {

int CountHits(const TPupille& d) {
  int n = 0;
  for (int r = 1; r <= d.Ny; ++r)
    for (int c = 1; c <= d.Nx; ++c) n += d.Values[1][r][c] == 1.0;
  return n;
}

}  // namespace

TEST(SpotDiagram, PureTiltLandsOnOnePointOfTheUnitCircle) {
  ProgramStateGuard state;
  Preferences.Valeurs.LambdaRef = kLambda;
  const double f = 1200e6, radius = 100e6;
  TPupille w, d;
  Wavefront(w, 64, 25, [](double x, double y) { return 30 * x - 40 * y; });
  std::string error;
  ASSERT_TRUE(ComputeSpotDiagram(w, f, radius, 1, CurrentProductSettings(), d, &error)) << error;
  EXPECT_EQ(d.Kind, kKindSpotDiagram);
  EXPECT_EQ(d.OriginColumn, 32);
  EXPECT_EQ(d.PupilRadius, 32);
  // Rays inside the pupil: (0.6, -0.8) of the unit circle; outside: the centre.
  EXPECT_EQ(CountHits(d), 2);
  EXPECT_EQ(d.Values[1][d.RowOf(-0.8)][d.ColumnOf(0.6)], 1.0);
  EXPECT_EQ(d.Values[1][32][32], 1.0);
  // Airy disc 1.22 lambda N in units of the largest ray, 50 x f / R.
  const double airy = 1.22 * kLambda * f / (2 * radius) / (50 * f / radius);
  EXPECT_TRUE(d.Shapes[1].Visible);
  EXPECT_EQ(d.Shapes[1].ShapeKind, 1);
  EXPECT_NEAR(d.Shapes[1].Radius, airy, 1e-12);
  EXPECT_NEAR(d.Shapes[2].Radius, 2 * airy, 1e-12);
  EXPECT_EQ(d.Shapes[1].X1, 0.0);
}

TEST(SpotDiagram, DefocusFillsTheUnitDiscAndTheStepThinsTheRays) {
  ProgramStateGuard state;
  TPupille w, d1, d24;
  Wavefront(w, 96, 40, [](double x, double y) { return 200 * (x * x + y * y); });
  ASSERT_TRUE(ComputeSpotDiagram(w, 1200e6, 100e6, 1, CurrentProductSettings(), d1));
  ASSERT_TRUE(ComputeSpotDiagram(w, 1200e6, 100e6, 24, CurrentProductSettings(), d24));
  double farthest = 0;
  for (int r = 1; r <= 96; ++r)
    for (int c = 1; c <= 96; ++c)
      if (d1.Values[1][r][c] == 1.0) farthest = std::max(farthest, std::hypot(d1.XAxis[c], d1.YAxis[r]));
  EXPECT_NEAR(farthest, 1.0, 1.0 / 48);
  EXPECT_GT(CountHits(d1), 1000);
  EXPECT_LE(CountHits(d24), 16);  // rows and columns 1, 25, 49, 73
}

TEST(SpotDiagram, RefusesAFlatWavefrontAndOtherKinds) {
  ProgramStateGuard state;
  TPupille w, d;
  Wavefront(w, 32, 12, Flat);
  std::string error;
  EXPECT_FALSE(ComputeSpotDiagram(w, 1200e6, 100e6, 1, CurrentProductSettings(), d, &error));
  EXPECT_NE(error.find("no slope"), std::string::npos);
  EXPECT_FALSE(d.HasArrays());
  w.Kind = kKindResidual;
  EXPECT_FALSE(ComputeSpotDiagram(w, 1200e6, 100e6, 1, CurrentProductSettings(), d, &error));
  EXPECT_EQ(error, "Select a wavefront image.");
  w.Kind = kKindWavefront;
  EXPECT_FALSE(ComputeSpotDiagram(w, 1200e6, 0, 1, CurrentProductSettings(), d, &error));
}

TEST(ProductSettings, KernelsTakeWavelengthsAndPalettesFromTheirSettings) {
  ProgramStateGuard state;
  // Preferences a kernel must not read.
  Preferences.Valeurs.LambdaInterfero = 1;
  Preferences.Valeurs.LambdaRef = 1;
  Preferences.Valeurs.PltInterfero = 0;
  Preferences.Valeurs.PltPSF = 0;
  TProductSettings settings;
  settings.LambdaInterfero = 632.8;
  settings.LambdaRef = 550;
  settings.InterferogramPalette = 3;
  settings.PsfPalette = 2;
  TPupille w;
  Wavefront(w, 64, 28, [](double x, double y) { return 100.0 * (x * x + y * y); });
  TPupille fringes, actual, theoretical, spots;
  ASSERT_TRUE(ComputeInterferogram(w, 0, 4, settings, fringes));
  EXPECT_EQ(fringes.Wavelength, 632.8);
  EXPECT_EQ(fringes.PaletteIndex, 3);
  ASSERT_TRUE(ComputePsfPair(w, 1, settings, actual, theoretical));
  EXPECT_EQ(actual.PaletteIndex, 2);
  EXPECT_EQ(theoretical.PaletteIndex, 2);
  ASSERT_TRUE(ComputeSpotDiagram(w, 1200e6, 100e6, 2, settings, spots));
  // The Airy disc scales with the wavelength of the settings.
  TProductSettings red = settings;
  red.LambdaRef = 2 * settings.LambdaRef;
  TPupille spotsRed;
  ASSERT_TRUE(ComputeSpotDiagram(w, 1200e6, 100e6, 2, red, spotsRed));
  EXPECT_DOUBLE_EQ(spotsRed.Shapes[1].Radius, 2 * spots.Shapes[1].Radius);
}
