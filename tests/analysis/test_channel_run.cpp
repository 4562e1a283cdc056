#include <gtest/gtest.h>

#include <cmath>

#include "analysis/channel_run.h"
#include "analysis/u_Seidel.h"
#include "setup/reconstruction_method.h"
#include "setup/run_settings.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"
#include "support/program_state_guard.h"
#include "zernike_test_support.h"

using namespace caustica;

namespace {

std::shared_ptr<TPupille> Disc(int size, double radius, double level) {
  auto img = std::make_shared<TPupille>();
  img->Init(size, size);
  const double centre = size / 2.0 + 0.5;
  for (int r = 1; r <= size; ++r)
    for (int c = 1; c <= size; ++c) {
      int hits = 0;
      for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b)
          hits += std::hypot(c - 0.5 + (a + 0.5) / 4 - centre, r - 0.5 + (b + 0.5) / 4 - centre) <= radius;
      img->Values[1][r][c] = level * hits / 16.0;
    }
  img->Threshold = level / 2;
  img->ThresholdMask();
  return img;
}

class RunFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    Preferences.Valeurs = TkwValue{};
    Parametres = TParametres{};
    Parametres.Focale = 1200e6;
    Parametres.Rayon = 100e6;
    Parametres.Defocalisation = 4e6;
    intra_ = Disc(100, 30, 1000);
    extra_ = Disc(100, 32, 1000 * 900.0 / 1024);
    Parametres.Intra = intra_;
    Parametres.Extra = extra_;
  }
  std::shared_ptr<TPupille> intra_, extra_;

 private:
  caustica::test::ProgramStateGuard state_;  // made before SetUp, restored after the test
};

}  // namespace

TEST_F(RunFixture, SetupAberrationsAndAutocollimationAreTakenOff) {
  SetZernikeBasis(22, 0);
  Preferences.Valeurs.AjustAuto = 0;
  TRoddier plain;
  ASSERT_TRUE(ReconstructSingle(plain, {}));
  Parametres.AstigX = 30;
  Parametres.ComaY = -20;
  Parametres.Spherique = 15;
  TRoddier corrected;
  ASSERT_TRUE(ReconstructSingle(corrected, {}));
  // The terms taken off are recorded in the coefficients...
  EXPECT_EQ(corrected.Wavefront->Coefficients[5], -30);
  EXPECT_EQ(corrected.Wavefront->Coefficients[8], 20);
  EXPECT_EQ(corrected.Wavefront->Coefficients[11], -15);
  // ...and the map differs from the plain one by exactly those terms.
  TPupille difference;
  difference.Init(plain.Wavefront->Nx, plain.Wavefront->Ny);
  difference.Assign(*plain.Wavefront);
  difference.Obstruction = plain.Wavefront->Obstruction;
  difference.OriginColumn = plain.Wavefront->OriginColumn;
  difference.OriginRow = plain.Wavefront->OriginRow;
  difference.AddZernikeTerm(5, -30);
  difference.AddZernikeTerm(8, 20);
  difference.AddZernikeTerm(11, -15);
  for (int i = 0; i < difference.Nx * difference.Ny; ++i)
    ASSERT_NEAR(difference.Values.PlaneData(1)[i], corrected.Wavefront->Values.PlaneData(1)[i], 1e-9);
  EXPECT_EQ(corrected.Wavefront->Wavelength, Preferences.Valeurs.LambdaRef);
  EXPECT_EQ(corrected.Wavefront->PaletteIndex, Preferences.Valeurs.PltFront);
  EXPECT_TRUE(corrected.Wavefront->MaskActive);

  Parametres.AstigX = Parametres.ComaY = Parametres.Spherique = 0;
  Parametres.Autocollimation = true;
  TRoddier halved;
  ASSERT_TRUE(ReconstructSingle(halved, {}));
  for (int i = 0; i < difference.Nx * difference.Ny; ++i)
    ASSERT_NEAR(halved.Wavefront->Values.PlaneData(1)[i], 0.5 * plain.Wavefront->Values.PlaneData(1)[i],
                1e-9);
}

TEST_F(RunFixture, AutomaticFitSwitchesTiltFocusAndComaOff) {
  SetZernikeBasis(22, 0);
  Preferences.Valeurs.AjustAuto = 1;
  Preferences.Valeurs.SubTiltFocus = 1;
  Preferences.Valeurs.SubComa = 1;
  const TReconstructionMethod kept = ReconstructionMethod;
  ReconstructionMethod = TReconstructionMethod::Classic;  // the classic run's passes
  const std::shared_ptr<void> restore(nullptr, [kept](void*) { ReconstructionMethod = kept; });
  int starts = 0, steps = 0, finishes = 0, hides = 0;
  std::string caption;
  TRunProgress progress;
  progress.Start = [&](const std::string& text, int iterations, double perIteration) {
    ++starts;
    caption = text;
    EXPECT_EQ(iterations, 3);
    EXPECT_EQ(perIteration, 4.0);
  };
  progress.Step = [&] { ++steps; };
  progress.Finish = [&] { ++finishes; };
  progress.Hide = [&] { ++hides; };
  TRoddier run;
  ASSERT_TRUE(ReconstructSingle(run, progress));
  EXPECT_EQ(caption, "Reconstruction of the wavefront Polychromatic (1/1)");
  EXPECT_EQ(starts, 1);
  EXPECT_GT(steps, 0);
  EXPECT_EQ(finishes, 1);
  EXPECT_EQ(hides, 1);
  const TPupille& w = *run.Wavefront;
  for (int k : {1, 2, 3, 4, 7, 8, 16, 17}) EXPECT_FALSE(w.Selected[k]) << k;
  EXPECT_TRUE(w.Selected[5]);
  EXPECT_TRUE(w.Selected[11]);
  EXPECT_NE(w.Coefficients[4], 0.0);  // fitted, then switched off
  // With the focus off, what is left of a pure defocus pair is small.
  TPupille copy;
  copy.Init(w.Nx, w.Ny);
  copy.Assign(w);
  copy.ComputeMaskedStatistics();
  EXPECT_LT(copy.RmsValue, 0.2 * std::fabs(w.Coefficients[4]));
}

TEST_F(RunFixture, BadInputsAreRefusedWithAReason) {
  std::string why;
  TRoddier run;
  Parametres.Focale = 0;
  EXPECT_FALSE(PrepareChannel(run, 0, {}, &why));
  EXPECT_FALSE(why.empty());
  Parametres.Focale = 1200e6;
  auto small = Disc(80, 30, 1000);
  Parametres.Extra = small;
  EXPECT_FALSE(PrepareChannel(run, 0, {}, &why));
  EXPECT_NE(why.find("size"), std::string::npos);
  // A window closed after "Ok": its image is gone, nothing is read.
  {
    auto gone = Disc(100, 32, 800);
    Parametres.Extra = gone;
  }
  EXPECT_FALSE(PrepareChannel(run, 0, {}, &why));
  EXPECT_FALSE(run.Wavefront);
}

TEST_F(RunFixture, PolychromaticRunAlignsOnTheReferenceFocus) {
  SetZernikeBasis(22, 0);
  Preferences.Valeurs.AjustAuto = 0;
  Preferences.Valeurs.SubTiltFocus = 1;
  Preferences.Valeurs.LambdaB = 450;
  Preferences.Valeurs.LambdaV = 530;
  Preferences.Valeurs.LambdaR = 640;
  Preferences.Valeurs.OriginFoc = 1;
  auto extraB = Disc(100, 31, 1000 * 900.0 / 961);
  auto extraR = Disc(100, 33, 1000 * 900.0 / 1089);
  Parametres.IntraBleu = intra_;
  Parametres.ExtraBleu = extraB;
  Parametres.IntraVert = intra_;
  Parametres.ExtraVert = extra_;
  Parametres.IntraRouge = intra_;
  Parametres.ExtraRouge = extraR;
  std::vector<std::string> captions;
  TRunProgress progress;
  progress.Start = [&](const std::string& text, int, double) { captions.push_back(text); };
  TRoddier blue, green, red;
  ASSERT_TRUE(ReconstructPolychromatic(blue, green, red, progress));
  ASSERT_EQ(captions.size(), 3u);
  EXPECT_EQ(captions[0], "Reconstruction of the wavefront Blue (1/3)");
  EXPECT_EQ(captions[1], "Reconstruction of the wavefront Gree (2/3)");
  EXPECT_EQ(captions[2], "Reconstruction of the wavefront Red (3/3)");
  // Preferences put back.
  EXPECT_EQ(Preferences.Valeurs.AjustAuto, 0);
  EXPECT_EQ(Preferences.Valeurs.SubTiltFocus, 1);
  EXPECT_EQ(Parametres.Intra.lock(), intra_);
  EXPECT_EQ(Parametres.Extra.lock(), extraR);
  EXPECT_EQ(blue.Wavefront->Wavelength, 450);
  EXPECT_EQ(red.Wavefront->Channel, 3);
  // Green is the reference: its focus is now 0; the others keep their
  // differences, with opposite signs on either side.
  EXPECT_NEAR(green.Wavefront->Coefficients[4], 0.0, 1e-9);
  EXPECT_LT(blue.Wavefront->Coefficients[4] * red.Wavefront->Coefficients[4], 0.0);
  for (const TRoddier* run : {&blue, &green, &red})
    for (int k = 1; k <= 3; ++k) EXPECT_FALSE(run->Wavefront->Selected[k]);
  // A missing colour pair stops the run, and the preferences still come back.
  Parametres.ExtraVert.reset();
  std::string why;
  EXPECT_FALSE(ReconstructPolychromatic(blue, green, red, progress, &why));
  EXPECT_EQ(why.rfind("Gree", 0), 0u);
  EXPECT_EQ(Preferences.Valeurs.AjustAuto, 0);
}

TEST_F(RunFixture, ExplicitSettingsAreAllTheRunReads) {
  // Program-wide records that would give another result if the run read them.
  SetZernikeBasis(6, kCirclePolynomials);
  Preferences.Valeurs.AjustAuto = 0;
  Preferences.Valeurs.LambdaRef = 1;
  const TkwValue prefs = Preferences.Valeurs;
  const TZernikeBasis global = ZernikeBasis;
  Parametres.Focale = 0;  // the record says "no test"

  TRunSettings settings;
  settings.Basis = MakeZernikeBasis(15, kAnnularPolynomials);
  settings.SubtractTiltFocus = false;
  settings.LambdaRef = 632.8;
  TTestSetup test;
  test.Focale = 1200e6;
  test.Rayon = 100e6;
  test.Defocalisation = 4e6;
  TRoddier run;
  std::string why;
  ASSERT_TRUE(ReconstructSingle(run, {intra_, extra_}, test, settings, {}, &why)) << why;
  const TPupille& w = *run.Wavefront;
  EXPECT_EQ(w.Wavelength, 632.8);
  EXPECT_EQ(w.Basis.PolynomialCount, 15);
  EXPECT_NE(w.Coefficients[4], 0.0);   // fitted, with the focus kept
  EXPECT_NE(w.Coefficients[11], 0.0);  // beyond the 6 program-wide terms
  EXPECT_EQ(w.Coefficients[16], 0.0);
  EXPECT_TRUE(Preferences.Valeurs == prefs);
  EXPECT_EQ(ZernikeBasis.PolynomialCount, global.PolynomialCount);
  EXPECT_EQ(Parametres.Focale, 0);

  // The colour run forces the fit on and keeps the focus, without touching
  // the preferences it used to flip.
  TRunSettings noFit = settings;
  noFit.AutoFit = false;
  noFit.SubtractTiltFocus = true;
  noFit.ChannelWavelengths = {450, 530, 640};
  TRoddier blue, green, red;
  const TImagePair pair{intra_, extra_};
  ASSERT_TRUE(ReconstructPolychromatic(blue, green, red, {pair, pair, pair}, test, noFit, {}, &why)) << why;
  EXPECT_EQ(green.Wavefront->Wavelength, 530);
  EXPECT_TRUE(green.Wavefront->Selected[4]);
  EXPECT_NEAR(green.Wavefront->Coefficients[4], 0.0, 1e-9);  // the reference colour
  EXPECT_TRUE(Preferences.Valeurs == prefs);
  EXPECT_EQ(Parametres.Intra.lock(), intra_);  // the explicit form leaves the test record alone
}

TEST_F(RunFixture, AWavefrontKeepsItsBasisWhenTheSettingsChange) {
  SetZernikeBasis(22, kAnnularPolynomials);
  TRoddier run;
  ASSERT_TRUE(ReconstructSingle(run, {}));
  TPupille& w = *run.Wavefront;
  ASSERT_EQ(w.Basis.PolynomialCount, 22);
  const TSeidelFigures before = SeidelFigures(w);
  ASSERT_NE(w.Coefficients[11], 0.0);
  // The user now asks for 6 terms: the map fitted under 22 keeps them.
  SetZernikeBasis(6, kCirclePolynomials);
  const TSeidelFigures after = SeidelFigures(w);
  for (std::size_t i = 0; i < before.size(); ++i) EXPECT_EQ(before[i].Value, after[i].Value) << i;
  // Switching spherical aberration off takes its term out of the map.
  TPupille copy;
  copy.Init(w.Nx, w.Ny);
  copy.AssignPupil(w);
  ZernikeSelection without = w.Selected;
  without[11] = false;
  copy.ApplySelection(without);
  double changed = 0;
  for (int r = 1; r <= w.Ny; ++r)
    for (int c = 1; c <= w.Nx; ++c)
      if (w.Mask[1][r][c] == 1)
        changed = std::max(changed, std::fabs(copy.Values[1][r][c] - w.Values[1][r][c]));
  EXPECT_GT(changed, 0.5 * std::fabs(w.Coefficients[11]));
  EXPECT_EQ(copy.Basis.PolynomialCount, 22);  // copies keep the basis too
}
