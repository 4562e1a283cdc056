// The accurate reconstruction mode: its polynomial form of the basis, its
// schedule, its place in the channel run, and its accuracy on simulated
// star pairs against the true wavefront and against the classic mode.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>

#include "analysis/accurate_reconstruction.h"
#include "analysis/channel_run.h"
#include "setup/reconstruction_method.h"
#include "setup/run_settings.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"
#include "support/program_state_guard.h"
#include "support/reconstruction_accuracy.h"

using namespace caustica;
using namespace caustica::testing;
using caustica::test::ProgramStateGuard;

// The form must be the basis itself inside the pupil (values and slopes),
// for circle and annular polynomials, and its collapsed sum must carry the
// right slopes and curvatures (checked against differences of the form).
TEST(ZernikePolynomialForm, MatchesTheBasisAndItsDerivatives) {
  ProgramStateGuard guard;
  for (const auto& [type, e] : {std::pair{kCirclePolynomials, 0.0}, std::pair{kAnnularPolynomials, 0.0},
                                std::pair{kAnnularPolynomials, 0.33}}) {
    SetZernikeBasis(42, type);
    ZernikePolynomialForm form;
    ASSERT_TRUE(form.Build(e));
    EXPECT_EQ(form.Count(), 42);
    EXPECT_LT(form.FitError(), 1e-9);
    ZernikeValues z{}, zx{}, zy{};
    const double h = 1e-6;
    for (const auto& [x, y] :
         {std::pair{0.5, 0.3}, std::pair{-0.2, -0.7}, std::pair{0.9, -0.1}, std::pair{-0.41, 0.55}}) {
      ASSERT_TRUE(EvaluateZernike(e, y, x, z));
      for (int k = 1; k <= 42; ++k) {
        double v, gx, gy;
        form.Term(k, x, y, v, gx, gy);
        EvaluateZernike(e, y, x + h, zx);
        EvaluateZernike(e, y + h, x, zy);
        const double scale = 1.0 + std::fabs(z[k]);
        EXPECT_NEAR(v, z[k], 1e-9 * scale) << "term " << k << " e " << e;
        EXPECT_NEAR(gx, (zx[k] - z[k]) / h, 1e-3 * (1 + std::fabs(gx))) << "term " << k;
        EXPECT_NEAR(gy, (zy[k] - z[k]) / h, 1e-3 * (1 + std::fabs(gy))) << "term " << k;
      }
    }
    // A mixed wavefront, also beyond the edge where the basis reads 0.
    ZernikeCoefficients c{};
    c[4] = 30;
    c[5] = -50;
    c[8] = 20;
    c[9] = 15;
    c[11] = 40;
    c[22] = -12;
    c[37] = 5;
    form.SetWavefront(c);
    for (const auto& [x, y] : {std::pair{0.3, 0.2}, std::pair{1.1, -0.3}, std::pair{-0.05, 0.02}}) {
      const auto d = form.Wavefront(x, y);
      double w = 0, wx = 0, wy = 0;
      for (int k = 1; k <= 42; ++k) {
        double v, gx, gy;
        form.Term(k, x, y, v, gx, gy);
        w += c[k] * v;
        wx += c[k] * gx;
        wy += c[k] * gy;
      }
      EXPECT_NEAR(d.W, w, 1e-9 * (1 + std::fabs(w)));
      EXPECT_NEAR(d.Wx, wx, 1e-9 * (1 + std::fabs(wx)));
      EXPECT_NEAR(d.Wy, wy, 1e-9 * (1 + std::fabs(wy)));
      const auto px = form.Wavefront(x + h, y), py = form.Wavefront(x, y + h);
      EXPECT_NEAR(d.Wxx, (px.Wx - d.Wx) / h, 1e-3 * (1 + std::fabs(d.Wxx)));
      EXPECT_NEAR(d.Wyy, (py.Wy - d.Wy) / h, 1e-3 * (1 + std::fabs(d.Wyy)));
      EXPECT_NEAR(d.Wxy, (py.Wx - d.Wx) / h, 1e-3 * (1 + std::fabs(d.Wxy)));
    }
  }
  SetZernikeBasis(22, kAnnularPolynomials);
  ZernikePolynomialForm form;
  EXPECT_FALSE(form.Build(1.0));  // no annulus left
}

TEST(AccurateReconstruction, TermScheduleGrowsToTheBasisSize) {
  const int expected[] = {4, 4, 6, 6, 13, 13, 13, 13, 22, 22, 22, 22, 22, 22};
  for (int p = 1; p <= kAccuratePasses; ++p) EXPECT_EQ(AccurateTermsAtPass(p, 22), expected[p - 1]) << p;
  EXPECT_EQ(AccurateTermsAtPass(14, 42), 42);
  EXPECT_EQ(AccurateTermsAtPass(1, 3), 3);  // never beyond the basis
}

TEST(AccurateReconstruction, RefusesWhatCannotBePaired) {
  TRoddier slot;
  slot.Radius = 1e8;
  slot.FocalLength = 1.2e9;
  slot.Defocus = 4e6;
  ReconstructAccurate(slot);  // no images
  EXPECT_FALSE(slot.Wavefront);
  auto blank = [](int n) {
    auto p = std::make_shared<TPupille>();
    p->Init(n, n);
    return p;
  };
  slot.IntraImage = blank(64);
  slot.ExtraImage = blank(64);
  int finished = 0;
  slot.Progress.Finish = [&] { ++finished; };
  ReconstructAccurate(slot);  // no light: no pupil
  EXPECT_FALSE(slot.Wavefront);
  slot.ExtraImage = blank(32);
  ReconstructAccurate(slot);  // different sizes
  EXPECT_FALSE(slot.Wavefront);
  EXPECT_EQ(finished, 2);
}

namespace {

StarSimulationOptions Star(double diameter, double focal, double defocus, double pixel, double obstruction,
                           int size, std::initializer_list<std::pair<int, double>> terms, bool noisy) {
  StarSimulationOptions s;
  s.Model = StarModel::Fresnel;
  s.Diameter = diameter;
  s.FocalLength = focal;
  s.Defocus = defocus;
  s.PixelSize = pixel;
  s.Obstruction = obstruction;
  s.Width = s.Height = size;
  s.Normalised = true;
  s.PolynomialType = kAnnularPolynomials;
  s.Wavelength = 550;
  s.Bandwidth = 100;
  s.WavelengthCount = 3;
  s.SourceLevel = 2e7;
  for (const auto& [k, v] : terms) s.Coefficients[static_cast<std::size_t>(k)] = v;
  if (noisy) {
    s.Seeing = 1.5;
    s.SkyLevel = 200;
    s.PhotonNoise = true;
    s.ReadNoise = 8;
    s.SourceLevel = 5e6;
  }
  return s;
}

struct AccuracyCase {
  const char* Name;
  StarSimulationOptions Star;
  std::initializer_list<std::pair<int, double>> Ratios;  // term, recovered / true measured once
  double MaxMapError;                                    // nm
  int Terms = 0;                                         // basis size; 0 for the default 22
};

}  // namespace

// Measured once on these pairs; the runs are deterministic, the margins
// cover transform rounding between machines. The map error also stays
// within the method's targets (5 % of the true RMS + 3 nm without noise,
// 10 % + 5 nm with noise and seeing) and below the classic mode's.
class AccurateAccuracy : public ::testing::TestWithParam<int> {};

const AccuracyCase& CaseAt(int i) {
  static const AccuracyCase cases[] = {
      {"200 f/6 d4, astigmatism 60", Star(200, 1200, 4, 5, 0, 256, {{5, 60}}, false), {{5, 1.014}}, 1.5},
      {"300 f/4 e.35 d2, spherical 80",
       Star(300, 1200, 2, 4, 0.35, 256, {{11, 80}}, false),
       {{11, 1.008}},
       5.0},
      {"200 f/6 e.25 d5, trefoil 60", Star(200, 1200, 5, 5, 0.25, 256, {{9, 60}}, false), {{9, 1.017}}, 2.5},
      {"150 f/8 d6, coma 80 trefoil 40, noise and seeing",
       Star(150, 1200, 6, 5, 0, 256, {{8, 80}, {9, 40}}, true),
       {{8, 1.015}, {9, 0.991}},
       4.0},
      {"250 f/6 e.25 d6, five terms, 42-term basis",
       Star(250, 1500, 6, 5, 0.25, 512, {{5, 100}, {8, 60}, {10, 40}, {11, 80}, {22, 20}}, false),
       {{5, 1.007}, {8, 0.989}, {10, 1.019}, {11, 1.037}, {22, 0.977}},
       7.0,
       42},
  };
  return cases[i];
}

TEST_P(AccurateAccuracy, RecoversTheTrueWavefront) {
  const AccuracyCase& c = CaseAt(GetParam());
  TFctXY intra, extra;
  ASSERT_TRUE(SimulateStarPair(c.Star, intra, extra).Ok);
  const AccuracyResult accurate =
      MeasureReconstruction(c.Star, intra, extra, TReconstructionMethod::Accurate, 3, c.Terms);
  const AccuracyResult classic =
      MeasureReconstruction(c.Star, intra, extra, TReconstructionMethod::Classic, 3, c.Terms);
  ASSERT_TRUE(accurate.Ok) << c.Name << ": " << accurate.Error;
  ASSERT_TRUE(classic.Ok) << c.Name << ": " << classic.Error;
  for (const auto& [k, ratio] : c.Ratios) {
    double truth = c.Star.Coefficients[static_cast<std::size_t>(k)];
    EXPECT_NEAR(accurate.Recovered[static_cast<std::size_t>(k)] / truth, ratio, 0.02)
        << c.Name << ", term " << k;
  }
  // Main terms that are absent stay absent.
  for (int k : {5, 6, 7, 8, 9, 10, 11}) {
    if (c.Star.Coefficients[static_cast<std::size_t>(k)] != 0) continue;
    EXPECT_LT(std::fabs(accurate.Recovered[static_cast<std::size_t>(k)]), c.Star.PhotonNoise ? 3.0 : 1.0)
        << c.Name << ", term " << k;
  }
  EXPECT_LT(accurate.MapError, c.MaxMapError) << c.Name;
  const bool noisy = c.Star.PhotonNoise;
  EXPECT_LT(accurate.MapError, (noisy ? 0.10 : 0.05) * accurate.TrueRms + (noisy ? 5.0 : 3.0)) << c.Name;
  EXPECT_LT(accurate.MapError, classic.MapError) << c.Name;
  EXPECT_TRUE(accurate.Converged) << c.Name << ": " << accurate.Warning;
}

INSTANTIATE_TEST_SUITE_P(SimulatedPairs, AccurateAccuracy, ::testing::Range(0, 5));

// The channel run dispatches on the setting and shapes the result as the
// classic run does: wavefront, residual, signal and corrected images, with
// the automatic fit of the preferences.
TEST(AccurateReconstruction, ChannelRunGivesTheClassicObjects) {
  const StarSimulationOptions s = Star(200, 1200, 4, 5, 0.25, 256, {{7, 40}}, false);
  TFctXY intraFrame, extraFrame;
  ASSERT_TRUE(SimulateStarPair(s, intraFrame, extraFrame).Ok);
  ProgramStateGuard guard;
  Preferences.Valeurs = TkwValue{};
  SetZernikeBasis(Preferences.Valeurs.NPolyZern, Preferences.Valeurs.ModePoly);
  auto open = [](const TFctXY& frame, bool extraFocal) {
    auto img = std::make_shared<TPupille>();
    img->Init(frame.Nx, frame.Ny);
    img->Assign(frame);
    img->ExtractThreshold(Preferences.Valeurs.ExtractDim, Preferences.Valeurs.ExtractSeuil);
    img->MeasurePupil();
    if (extraFocal) img->Rotate180();
    return img;
  };
  auto intra = open(intraFrame, false);
  auto extra = open(extraFrame, true);
  Parametres = TParametres{};
  Parametres.Focale = 1200e6;
  Parametres.Rayon = 100e6;
  Parametres.Defocalisation = 4e6;
  Parametres.Intra = intra;
  Parametres.Extra = extra;
  ReconstructionMethod = TReconstructionMethod::Accurate;
  TRoddier run;
  int starts = 0, steps = 0, finishes = 0;
  TRunProgress progress;
  progress.Start = [&](const std::string& caption, int iterations, double) {
    ++starts;
    EXPECT_EQ(caption, "Reconstruction of the wavefront Polychromatic (1/1)");
    EXPECT_EQ(iterations, kAccuratePasses);
  };
  progress.Step = [&] { ++steps; };
  progress.Finish = [&] { ++finishes; };
  std::string error;
  const bool ok = ReconstructSingle(run, progress, &error);
  ASSERT_TRUE(ok) << error;
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(finishes, 1);
  EXPECT_GE(steps, 9);
  EXPECT_LE(steps, kAccuratePasses);
  ASSERT_TRUE(run.Wavefront && run.Residual && run.Signal && run.IntraImage && run.ExtraImage);
  const TPupille& w = *run.Wavefront;
  EXPECT_EQ(w.Kind, kKindWavefront);
  EXPECT_EQ(run.Residual->Kind, kKindResidual);
  EXPECT_EQ(run.Signal->Kind, kKindSignal);
  EXPECT_EQ(w.Scale, 100e6);
  EXPECT_NEAR(w.PupilRadius, 66.67, 1.0);
  EXPECT_NEAR(w.Obstruction, 0.25, 0.02);
  // Cropped around the pupil with the classic margin, the mask the annulus.
  EXPECT_EQ(w.Nx, 2 * static_cast<int>(std::nearbyint(10 + w.PupilRadius)));
  EXPECT_EQ(w.Mask[1][w.Ny / 2][w.Nx / 2], 0);
  EXPECT_EQ(w.Mask[1][w.Ny / 2][w.Nx / 2 + static_cast<int>(0.6 * w.PupilRadius)], 1);
  // Fitted by the run: tilt and focus off as the default preferences say.
  EXPECT_NEAR(w.Coefficients[7] / 40.0 / ZernikeBasis.NormFactors[7], 1.0, 0.05);
  EXPECT_FALSE(w.Selected[2] || w.Selected[3] || w.Selected[4]);
  // The corrected images are near-uniform discs of level 1.
  const TPupille& ci = *run.IntraImage;
  EXPECT_NEAR(ci.Values[1][ci.Ny / 2][ci.Nx / 2 + static_cast<int>(0.6 * w.PupilRadius)], 1.0, 0.15);
}

namespace {

// 250 nm RMS of coma, astigmatism, trefoil and spherical aberration, scaled.
StarSimulationOptions NearCaustic(double diameter, double focal, double defocus, double pixel,
                                  double obstruction, double scale, StarModel model) {
  StarSimulationOptions s = Star(diameter, focal, defocus, pixel, obstruction, 256,
                                 {{5, 100}, {6, 60}, {7, 120}, {8, 150}, {9, 50}, {10, 45}, {11, 80}}, false);
  for (double& v : s.Coefficients) v *= scale;
  s.Model = model;
  s.ExactGeometry = model == StarModel::Geometric;  // rays at their true angles
  return s;
}

}  // namespace

// f/4 pairs whose light comes within a factor 2-3 of a caustic: the steps
// that would carry the estimate away from the truth are refused, the loop
// ends against the model pair and the pupil is measured again on the
// compensated pair. The ray model, traced at the rays' true angles, keeps
// diffraction, which the geometric model pair does not hold, out of the
// first figures.
TEST(AccurateNearCaustic, LargeAberrationsReachTheTruth) {
  struct Near {
    const char* Name;
    StarSimulationOptions Star;
    double
        MaxError;  // nm over Z5-Z22; measured 0.5, 0.9, 2.4, 3.3 (before the model pair 2.0, 1.8, 4.6, 5.2)
  };
  const Near cases[] = {
      {"250 f/4 d2.5, 250 nm, rays", NearCaustic(250, 1000, 2.5, 5, 0, 1.0, StarModel::Geometric), 1.0},
      {"200 f/4 e.25 d3, 250 nm, rays", NearCaustic(200, 800, 3, 4.5, 0.25, 1.0, StarModel::Geometric), 1.0},
      // Before the loop refused the drifting steps: 6.1 nm.
      {"200 f/4 e.25 d2, 250 nm, rays", NearCaustic(200, 800, 2, 4.5, 0.25, 1.0, StarModel::Geometric), 1.0},
      {"250 f/4 d2.5, 250 nm, diffracted", NearCaustic(250, 1000, 2.5, 5, 0, 1.0, StarModel::Fresnel), 3.5},
  };
  for (const Near& c : cases) {
    TFctXY intra, extra;
    ASSERT_TRUE(SimulateStarPair(c.Star, intra, extra).Ok) << c.Name;
    // The diffracted pair is made to first order: it is read with the
    // first-order mapping.
    const bool paraxial = c.Star.Model == StarModel::Fresnel;
    const AccuracyResult r =
        MeasureReconstruction(c.Star, intra, extra, TReconstructionMethod::Accurate, 3, 0, paraxial);
    ASSERT_TRUE(r.Ok) << c.Name << ": " << r.Error;
    EXPECT_TRUE(r.Converged) << c.Name << ": " << r.Warning;
    EXPECT_TRUE(r.Warning.empty()) << c.Name;
    EXPECT_LE(MidTermError(r, c.Star), c.MaxError) << c.Name;
    // Coma, the largest term, within 2 %.
    EXPECT_NEAR(r.Recovered[8] / c.Star.Coefficients[8], 1.0, 0.02) << c.Name;
  }
}

// Closer to focus the light folds (or all but folds) somewhere in the
// pupil: no estimate compensates it, and the run must say so rather than
// hand back a wavefront that looks settled.
TEST(AccurateNearCaustic, FoldedPairsAreReportedNotConverged) {
  const StarSimulationOptions cases[] = {
      NearCaustic(250, 1000, 1.2, 5, 0, 1.0, StarModel::Geometric),    // compensation folds
      NearCaustic(200, 800, 1.0, 4.5, 0.25, 1.0, StarModel::Fresnel),  // compensation folds
      NearCaustic(250, 1000, 1.0, 5, 0, 1.2, StarModel::Fresnel),      // Jacobian down to 0.03
      NearCaustic(200, 800, 1.5, 4.5, 0.25, 1.0, StarModel::Geometric),
  };
  for (const StarSimulationOptions& s : cases) {
    TFctXY intra, extra;
    ASSERT_TRUE(SimulateStarPair(s, intra, extra).Ok);
    const AccuracyResult r = MeasureReconstruction(s, intra, extra, TReconstructionMethod::Accurate);
    ASSERT_TRUE(r.Ok) << r.Error;  // a result is still given, with the warning
    EXPECT_FALSE(r.Converged) << "defocus " << s.Defocus << ", error " << MidTermError(r, s);
    EXPECT_EQ(r.Warning.rfind("the accurate method did not converge: ", 0), 0u) << r.Warning;
  }
}

// The run info tells folds from a settled run, and the loop never leaves a
// compensation that folds inside the pupil.
TEST(AccurateNearCaustic, RunInfoExplainsTheVerdict) {
  ProgramStateGuard guard;
  SetZernikeBasis(22, kAnnularPolynomials);
  TAccurateRunInfo good, folded;
  ASSERT_TRUE(RunAccurateOnPair(NearCaustic(250, 1000, 2.5, 5, 0, 1.0, StarModel::Geometric), good));
  EXPECT_TRUE(good.Converged);
  EXPECT_FALSE(good.FoldBlocked);
  EXPECT_GE(good.SmallestJacobian, kAccurateSmallestJacobian);
  EXPECT_LE(good.Passes, good.PupilRounds * (kAccurateMaxPasses + kAccurateModelPasses));
  // The compensated pair comes together: a tenth of what it was at least.
  EXPECT_LT(good.FinalDifference, 0.1 * good.InitialDifference);
  EXPECT_TRUE(AccurateConvergenceNote(good).empty());

  ASSERT_TRUE(RunAccurateOnPair(NearCaustic(250, 1000, 1.0, 5, 0, 1.0, StarModel::Geometric), folded));
  // The light has crossed itself: the loop either refuses the steps that
  // fold or ends where the light piles up, and says which.
  EXPECT_FALSE(folded.Converged);
  EXPECT_TRUE(folded.FoldBlocked || folded.SmallestJacobian < kAccurateSmallestJacobian);
  const std::string note = AccurateConvergenceNote(folded);
  EXPECT_NE(note.find(folded.FoldBlocked ? "fold" : "caustic"), std::string::npos) << note;
}
