// The mid-line profile of wavefronts worked out by hand, its gaps, axis
// titles and picture mark; the colour table and the weighted
// polychromatic Strehl ratio.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/u_pupille.h"
#include "analysis/u_zernike.h"
#include "setup/u_FormMeridienne.h"
#include "setup/u_RVB.h"

using namespace caustica;

namespace {

constexpr double kPi = 3.141592653589793;

// A square grid of size samples, the pupil of radius samples centred, the
// pupil radius worth 100 mm, filled with f(x, y) in pupil units.
template <typename F>
void MakeGrid(TPupille& g, int size, double radius, F f) {
  g.Init(size, size);
  g.Kind = kKindWavefront;
  g.OriginColumn = g.OriginRow = (size + 1) / 2.0;
  g.PupilRadius = radius;
  g.Scale = 100e6;
  g.SetPupilAxes();
  for (int r = 1; r <= size; ++r)
    for (int c = 1; c <= size; ++c) g.Values[1][r][c] = f(g.XAxis[c], g.YAxis[r]);
}

// Tilt of 100 nm along x, 60 nm along y (upwards) and a paraboloid of 50 nm
// at the edge.
double TiltAndParaboloid(double x, double y) { return 100 * x + 60 * y + 50 * (x * x + y * y); }

}  // namespace

TEST(MidLineProfile, FollowsTheDiameterAtZeroAndNinetyDegrees) {
  TPupille g;
  MakeGrid(g, 45, 20, TiltAndParaboloid);  // centre 23, radius 20 samples

  g.Angle = 0;
  TMidLineProfile p = MidLineProfile(g, 1);
  ASSERT_EQ(p.Points.size(), 41u);
  for (int i = 0; i <= 40; ++i) {
    const double t = i - 20;
    // Across: 100 t/20 + 50 (t/20)^2; abscissa t/20 of 100 mm.
    EXPECT_NEAR(p.Points[i].X, 5 * t, 1e-9) << t;
    EXPECT_NEAR(p.Points[i].Y, 5 * t + 50 * (t / 20) * (t / 20), 1e-9) << t;
    EXPECT_FALSE(p.Points[i].Gap);
  }
  EXPECT_EQ(p.Column1, 3);
  EXPECT_EQ(p.Row1, 23);
  EXPECT_EQ(p.Column2, 43);
  EXPECT_EQ(p.Row2, 23);

  g.Angle = AzimuthToRadians(90);
  p = MidLineProfile(g, 1);
  ASSERT_EQ(p.Points.size(), 41u);
  for (int i = 0; i <= 40; ++i) {
    const double t = i - 20;
    // Upwards from below the centre: 60 t/20 + 50 (t/20)^2.
    EXPECT_NEAR(p.Points[i].X, 5 * t, 1e-9) << t;
    EXPECT_NEAR(p.Points[i].Y, 3 * t + 50 * (t / 20) * (t / 20), 1e-9) << t;
  }
  // A vertical line drawn from below the centre upwards (rows grow downwards).
  EXPECT_EQ(p.Column1, 23);
  EXPECT_EQ(p.Row1, 43);
  EXPECT_EQ(p.Column2, 23);
  EXPECT_EQ(p.Row2, 3);
}

TEST(MidLineProfile, StoresAndReturnsTheGridRange) {
  TPupille g;
  MakeGrid(g, 45, 20, TiltAndParaboloid);
  g.MinValue = g.MaxValue = 0;
  const TMidLineProfile p = MidLineProfile(g, 1);
  // The corners lie beyond the pupil: x = y = +-22/20.
  const double e = 22.0 / 20;
  EXPECT_NEAR(g.MaxValue, 160 * e + 100 * e * e, 1e-9);
  EXPECT_NEAR(p.High, g.MaxValue, 0);
  EXPECT_NEAR(p.Low, g.MinValue, 0);
  EXPECT_LT(p.Low, 0);
}

TEST(MidLineProfile, ZoomShortensTheDiameter) {
  TPupille g;
  MakeGrid(g, 221, 100, [](double x, double) { return 10 * x; });  // centre 111
  g.Angle = 0;
  const TMidLineProfile p = MidLineProfile(g, 2);
  ASSERT_EQ(p.Points.size(), 101u);  // t = -50 .. 50
  EXPECT_NEAR(p.Points.front().X, -50 * 100.0 / 100, 1e-9);
  EXPECT_NEAR(p.Points.back().X, 50.0, 1e-9);
  EXPECT_NEAR(p.Points.front().Y, -5.0, 1e-9);
  EXPECT_NEAR(p.Points.back().Y, 5.0, 1e-9);
  EXPECT_EQ(p.Column1, 61);
  EXPECT_EQ(p.Column2, 161);
}

TEST(MidLineProfile, BreaksOverTheCentralHoleAndLeavesTheOutsideOut) {
  TPupille g;
  MakeGrid(g, 45, 20, [](double x, double) { return x; });
  g.Obstruction = 0.3;
  for (int r = 1; r <= g.Ny; ++r)
    for (int c = 1; c <= g.Nx; ++c) {
      const double rho = std::hypot(g.XAxis[c], g.YAxis[r]);
      g.Mask[1][r][c] = rho >= 0.3 && rho <= 0.9 ? 1 : 0;
    }
  g.MaskActive = true;
  const TMidLineProfile p = MidLineProfile(g, 1);
  // Inside 6 <= |t| <= 18 (26 samples); the hole |t| < 6 (11 gaps); the
  // ring beyond 0.9 is left out.
  int gaps = 0, inside = 0;
  for (const TProfilePoint& q : p.Points) {
    const double t = q.X / 5;
    if (q.Gap) {
      ++gaps;
      EXPECT_LE(std::abs(t), 0.33 * 20) << t;
    } else {
      ++inside;
      EXPECT_GE(std::abs(t), 6 - 1e-9) << t;
      EXPECT_LE(std::abs(t), 18 + 1e-9) << t;
      EXPECT_NEAR(q.Y, t / 20, 1e-9);
    }
  }
  EXPECT_EQ(gaps, 11);
  EXPECT_EQ(inside, 26);
  // In order along the diameter: gaps sit between the two halves.
  EXPECT_FALSE(p.Points[12].Gap);
  EXPECT_TRUE(p.Points[13].Gap);
  EXPECT_TRUE(p.Points[23].Gap);
  EXPECT_FALSE(p.Points[24].Gap);
}

TEST(MidLineProfile, AxisTitlesFollowTheKind) {
  TPupille g;
  MakeGrid(g, 21, 8, [](double, double) { return 1.0; });
  auto titles = [&g](int kind) {
    g.Kind = static_cast<std::uint8_t>(kind);
    const TMidLineProfile p = MidLineProfile(g, 1);
    return p.VerticalTitle + "|" + p.HorizontalTitle;
  };
  EXPECT_EQ(titles(0), "Intensity (ADU)|Coordonnée radiale (mm)");
  EXPECT_EQ(titles(1), "Intensity (ADU)|Coordonnée radiale (mm)");
  EXPECT_EQ(titles(2), "Signal (I1-I2)/(I1+I2)|Coordonnée radiale (mm)");
  EXPECT_EQ(titles(3), "Path difference (nm)|Coordonnée radiale (mm)");
  EXPECT_EQ(titles(4), "Path difference (nm)|Coordonnée radiale (mm)");
  EXPECT_EQ(titles(5), "Normalized intensity|Coordonnée radiale (pix.)");
  EXPECT_EQ(titles(6), "Normalized intensity|Coordonnée radiale (pix.)");
  EXPECT_EQ(titles(7), "Normalized intensity|Coordonnée radiale (mm)");
  EXPECT_EQ(titles(9), "|Coordonnée radiale (mm)");   // left as it was
  EXPECT_EQ(titles(10), "|Coordonnée radiale (mm)");  // left as it was

  // On a PSF the abscissa is in samples.
  g.Kind = kKindActualPsf;
  const TMidLineProfile p = MidLineProfile(g, 1);
  ASSERT_EQ(p.Points.size(), 17u);
  EXPECT_DOUBLE_EQ(p.Points.front().X, -8);
  EXPECT_DOUBLE_EQ(p.Points.back().X, 8);
}

TEST(MidLineProfile, NoPupilNoPoints) {
  TPupille g;
  g.Init(16, 16);
  g.OriginColumn = g.OriginRow = 8;
  const TMidLineProfile p = MidLineProfile(g, 1);
  EXPECT_TRUE(p.Points.empty());
}

TEST(MidLineProfile, AzimuthConversionsAndTheMarkOnThePicture) {
  EXPECT_DOUBLE_EQ(AzimuthToRadians(180), kPi);
  EXPECT_DOUBLE_EQ(AzimuthToRadians(-45), -kPi / 4);
  EXPECT_EQ(RadiansToAzimuth(kPi / 2), 90);
  EXPECT_EQ(RadiansToAzimuth(AzimuthToRadians(-137)), -137);

  TPupille g;
  MakeGrid(g, 45, 20, TiltAndParaboloid);
  g.Angle = AzimuthToRadians(30);
  const TMidLineProfile p = MidLineProfile(g, 1);
  // 20 cos 30 = 17.32, 20 sin 30 = 10.
  EXPECT_EQ(p.Column1, 6);
  EXPECT_EQ(p.Row1, 33);
  EXPECT_EQ(p.Column2, 40);
  EXPECT_EQ(p.Row2, 13);
  TShape shape;
  MarkMidLine(g, p, shape);
  EXPECT_TRUE(shape.Visible);
  EXPECT_EQ(shape.ShapeKind, 0);
  // The renderer maps the shape back onto the same samples.
  EXPECT_EQ(g.ColumnOf(shape.X1), 6);
  EXPECT_EQ(g.RowOf(shape.Y1), 33);
  EXPECT_EQ(g.ColumnOf(shape.X2), 40);
  EXPECT_EQ(g.RowOf(shape.Y2), 13);
}

namespace {

// A wavefront at wavelength lambda whose RMS gives the Strehl ratio wanted.
void ColourFront(TPupille& f, double lambda, double strehl, double z4, double z11) {
  f.Wavelength = lambda;
  f.RmsValue = lambda * std::sqrt(-std::log(strehl)) / (2 * kPi);
  f.Basis = MakeZernikeBasis(22, kCirclePolynomials);
  f.Coefficients[4] = z4 * f.Basis.NormFactors[4];
  f.Coefficients[11] = z11 * f.Basis.NormFactors[11];
}

}  // namespace

TEST(ColourResults, PolychromaticStrehlWeighsEachColour) {
  EXPECT_NEAR(PolychromaticStrehl(0.9, 0.8, 0.7, 1, 1, 1), 0.8, 1e-15);
  // Blue 3, green 2, red 1: (2.7 + 1.6 + 0.7) / 6.
  EXPECT_NEAR(PolychromaticStrehl(0.9, 0.8, 0.7, 3, 2, 1), 5.0 / 6, 1e-15);
  EXPECT_NEAR(PolychromaticStrehl(0.9, 0.8, 0.7, 0, 0, 1), 0.7, 1e-15);
  EXPECT_EQ(PolychromaticStrehl(0.9, 0.8, 0.7, 0, 0, 0), 0.0);
}

TEST(ColourResults, TableOfThreeKnownWavefronts) {
  TPupille bleu, vert, rouge;
  ColourFront(bleu, 450, 0.9, 10, 1.5);
  ColourFront(vert, 550, 0.8, 20, -2.25);
  ColourFront(rouge, 650.4, 0.7, 30, 0);
  // Focal length 1200 mm, radius 100 mm: 4 x 144 x 1e-6 mm per nm of Z4.
  const double k = 4 * 144 * 1e-6;
  const TColourResults r = RemplirRVB(bleu, vert, rouge, 1200e6, 100e6, 1, 2, 3);  // R, V, B
  EXPECT_NEAR(bleu.Strehl, 0.9, 1e-12);
  EXPECT_NEAR(vert.Strehl, 0.8, 1e-12);
  EXPECT_NEAR(rouge.Strehl, 0.7, 1e-12);
  ASSERT_EQ(r.Rows.size(), 6u);
  auto row = [&r](int i) {
    return r.Rows[i].Name + "|" + r.Rows[i].Values[0] + "|" + r.Rows[i].Values[1] + "|" + r.Rows[i].Values[2];
  };
  char foyers[64];
  std::snprintf(foyers, sizeof foyers, "Foyers (mm)|%.3f|%.3f|%.3f", k * bleu.Coefficients[4],
                k * vert.Coefficients[4], k * rouge.Coefficients[4]);
  EXPECT_EQ(row(0), "Lambda (nm)|450|550|650");
  EXPECT_EQ(row(1), foyers);
  EXPECT_EQ(row(2), "Defocus Z4 (nm RMS)|10.000|20.000|30.000");
  EXPECT_EQ(row(3), "Sphéricité Z11 (nm RMS)|1.500|-2.250|0.000");
  EXPECT_EQ(row(4).substr(0, 15), "Ecart (nm RMS)|");
  EXPECT_EQ(row(5), "Strehl|0.900|0.800|0.700");
  // PoidsB 3, PoidsV 2, PoidsR 1.
  EXPECT_NEAR(r.PolychromaticStrehl, 5.0 / 6, 1e-12);
  EXPECT_EQ(r.PolychromaticText, "0.833");
}

TEST(ColourResults, EqualWeightsGiveTheMeanStrehl) {
  TPupille bleu, vert, rouge;
  ColourFront(bleu, 450, 0.9, 0, 0);
  ColourFront(vert, 550, 0.8, 0, 0);
  ColourFront(rouge, 650, 0.7, 0, 0);
  const TColourResults r = RemplirRVB(bleu, vert, rouge, 1200e6, 100e6, 1, 1, 1);
  EXPECT_EQ(r.PolychromaticText, "0.800");
}
