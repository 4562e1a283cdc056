#include <gtest/gtest.h>

#include <cmath>

#include "core/u_math.h"
#include "setup/u_prefs.h"
#include "setup/u_saisie_zernike.h"
#include "support/program_state_guard.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;

namespace {

class SimulationFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    Preferences.Valeurs = TkwValue{};
    SetDecimalSeparator('.');
    SetZernikeBasis(22, 0);
  }
  TSimulationEntries Entries() const {
    TSimulationEntries e;
    for (int k = 2; k <= 22; ++k) {
      e.CoefficientTexts[k].assign(1, '0');
      e.Selected[k] = true;
    }
    return e;
  }

 private:
  ProgramStateGuard state_;
};

}  // namespace

TEST_F(SimulationFixture, FreshRecordShowsZerosWithTheNanometreDecimals) {
  TSimulation fresh;
  EXPECT_EQ(fresh.Dimension, 0);
  const auto texts = CoefficientTexts(fresh.CoefZern);
  for (int k = 2; k <= 22; ++k) EXPECT_EQ(texts[k], "0.00");
  EXPECT_EQ(SimulatedWavefront(fresh), nullptr);  // "Wavefront" does nothing yet
}

TEST_F(SimulationFixture, NormalisedEntryIsStoredUnnormalisedAndShownBack) {
  TSimulation sim;
  TSimulationEntries e = Entries();
  e.CoefficientTexts[4] = "10";
  e.CoefficientTexts[7] = "not a number";
  e.DimensionIndex = 2;
  e.Radius = 100;
  e.ObstructionPercent = 25;
  sim.CoefZern[30] = 5.0;  // beyond the window: kept
  StoreSimulation(e, sim);
  EXPECT_NEAR(sim.CoefZern[4], 10 * std::sqrt(3.0), 1e-12);
  EXPECT_EQ(sim.CoefZern[7], 0.0);
  EXPECT_EQ(sim.CoefZern[30], 5.0);
  EXPECT_EQ(sim.Dimension, 256);
  EXPECT_EQ(sim.IndexDimension, 2);
  EXPECT_EQ(sim.ObstructionCentrale, 0.25);
  EXPECT_FALSE(sim.SelZern[1]);
  EXPECT_EQ(CoefficientTexts(sim.CoefZern)[4], "10.00");
  // Without the RMS normalisation the value is stored as typed.
  Preferences.Valeurs.NormRMS = 0;
  StoreSimulation(e, sim);
  EXPECT_EQ(sim.CoefZern[4], 10.0);
  // No dimension chosen: the previous one stays.
  e.DimensionIndex = -1;
  StoreSimulation(e, sim);
  EXPECT_EQ(sim.Dimension, 256);
}

TEST_F(SimulationFixture, WavefrontCommandSynthesisesTheDescription) {
  TSimulation sim;
  sim.Dimension = 128;
  sim.RayonPupille = 50;
  sim.ObstructionCentrale = 0.3;
  sim.CoefZern[5] = 40;
  sim.CoefZern[11] = 25;
  SelectAll(sim.SelZern);
  sim.SelZern[11] = false;
  auto w = SimulatedWavefront(sim);
  ASSERT_TRUE(w);
  EXPECT_EQ(w->Nx, 128);
  EXPECT_EQ(w->Kind, kKindWavefront);
  EXPECT_TRUE(w->MaskActive);
  EXPECT_EQ(w->OriginColumn, 64.0);
  // Centre is in the obstruction; a point on the x axis at half radius
  // carries astigmatism only (term 11 is switched off).
  EXPECT_EQ(w->Mask[1][64][64], 0);
  ZernikeValues z{};
  ASSERT_TRUE(EvaluateZernike(0.3, w->YAxis[64], w->XAxis[89], z));
  EXPECT_NEAR(w->Values[1][64][89], 40 * z[5], 1e-9);
  EXPECT_GT(w->MaxValue, w->MinValue);
}

TEST_F(SimulationFixture, PreviewsShowEachTermOnTheAnnulus) {
  SetZernikeBasis(36, 1);
  const auto previews = DrawTermPreviews(0.3);
  EXPECT_EQ(ZernikeBasis.PolynomialCount, 22);  // the window sets the basis
  EXPECT_EQ(ZernikeBasis.PolynomialType, 0);
  for (int k = 2; k <= 22; ++k) {
    ASSERT_EQ(previews[k].Width, 80) << k;
    ASSERT_EQ(previews[k].Height, 80);
  }
  // Outside the pupil: the palette background (0.4 grey); inside, colours vary.
  const std::uint8_t* corner = previews[5].Pixel(0, 0);
  EXPECT_EQ(corner[0], 102);
  const std::uint8_t* centre = previews[5].Pixel(39, 39);
  EXPECT_EQ(centre[0], 102);  // the obstruction
  bool varied = false;
  for (int x = 45; x < 68; ++x)
    varied = varied || previews[5].Pixel(x, 39)[0] != previews[5].Pixel(45, 39)[0];
  EXPECT_TRUE(varied);
}

TEST_F(SimulationFixture, AlertValuesAreStoredWithoutTouchingTheSimulation) {
  SetZernikeBasis(22, 0);
  Preferences.Valeurs.NormRMS = 1;
  std::array<double, 43> alerts{};
  alerts[1] = 3.0;
  alerts[30] = 9.0;
  std::array<std::string, 43> texts = Entries().CoefficientTexts;
  texts[4] = std::string("10");
  texts[11] = std::string("oops");
  const TSimulation before = Simulation;
  StoreAlertValues(texts, alerts);
  EXPECT_DOUBLE_EQ(alerts[4], 10.0 * std::sqrt(3.0));
  EXPECT_EQ(alerts[1], 0.0);
  EXPECT_EQ(alerts[11], 0.0);
  EXPECT_EQ(alerts[30], 9.0);
  EXPECT_EQ(Simulation.CoefZern, before.CoefZern);
  // Shown back as typed.
  EXPECT_EQ(CoefficientTexts(alerts)[4], FormatFixed(10.0, Preferences.Valeurs.NDecNano));
  Preferences.Valeurs.NormRMS = 0;
  StoreAlertValues(texts, alerts);
  EXPECT_EQ(alerts[4], 10.0);
}
