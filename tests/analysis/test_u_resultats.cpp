// The Zernike results list without its window: row texts, the warning rule,
// the commands' effects on the ticks and the ticks applied to a wavefront.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "analysis/u_pupille.h"
#include "analysis/u_resultats.h"
#include "support/program_state_guard.h"

namespace caustica {
namespace {

// A 64 x 64 wavefront of count annular terms with a bump that no term
// describes, as a measured map has.
TPupille MeasuredWavefront(int count = 22) {
  TPupille w;
  w.Init(64, 64);
  w.Kind = kKindWavefront;
  w.OriginColumn = w.OriginRow = 32.5;
  w.PupilRadius = 30.0;
  w.Obstruction = 0.2;
  w.Basis = MakeZernikeBasis(count, kAnnularPolynomials);
  w.SetPupilAxes();
  for (int k = 1; k <= count; ++k) w.Coefficients[k] = 20.0 * std::cos(0.7 * k);
  SelectAll(w.Selected);
  w.SynthesiseFromZernike();
  for (int r = 1; r <= w.Ny; ++r)
    for (int c = 1; c <= w.Nx; ++c)
      if (w.Mask[1][r][c] == 1)
        w.Values[1][r][c] += 3.0 * std::exp(-((r - 20) * (r - 20) + (c - 40) * (c - 40)) / 8.0);
  w.HigherOrders = true;
  w.ComputeRange();
  return w;
}

double MaxDifference(const TPupille& a, const TPupille& b) {
  double d = 0.0;
  for (int r = 1; r <= a.Ny; ++r)
    for (int c = 1; c <= a.Nx; ++c) d = std::max(d, std::abs(a.Values[1][r][c] - b.Values[1][r][c]));
  return d;
}

TResultsDisplay Plain(int decimals) {
  TResultsDisplay d;
  d.Decimals = decimals;
  d.NormRMS = false;
  return d;
}

TEST(ResultRows, OneRowPerTermOfTheWavefrontsBasisThenHigherOrders) {
  test::ProgramStateGuard guard;
  SetZernikeBasis(36, kCirclePolynomials);  // the program-wide basis is not the wavefront's
  TPupille w = MeasuredWavefront(22);
  EXPECT_EQ(ResultRowCount(w), 23);
  EXPECT_EQ(ResultRowTexts(w, 22, Plain(2)).Name, "Ordres sup.");
  EXPECT_EQ(ResultRowTexts(w, 22, Plain(2)).Value, "");
  EXPECT_EQ(ResultRowTexts(w, 0, Plain(2)).Name, "Piston");
  EXPECT_EQ(ResultRowTexts(w, 10, Plain(2)).Name, "Sph\xC3\xA9ricit\xC3\xA9");
  EXPECT_EQ(ResultRowTexts(w, 10, Plain(2)).Term, "Z11 (4,0)");

  w.Basis = MakeZernikeBasis(0, kAnnularPolynomials);
  EXPECT_EQ(ResultRowCount(w), 1);
  EXPECT_EQ(ResultRowTexts(w, 0, Plain(2)).Name, "Ordres sup.");
}

TEST(ResultRows, TermLabelsCarryTheSignedAzimuthalFrequency) {
  EXPECT_EQ(ZernikeTermLabel(1), "Z1 (0,0)");
  EXPECT_EQ(ZernikeTermLabel(2), "Z2 (1,1)");
  EXPECT_EQ(ZernikeTermLabel(3), "Z3 (1,-1)");
  EXPECT_EQ(ZernikeTermLabel(6), "Z6 (2,-2)");
  EXPECT_EQ(ZernikeTermLabel(8), "Z8 (3,-1)");
  EXPECT_EQ(ZernikeTermLabel(22), "Z22 (6,0)");
  EXPECT_EQ(ZernikeTermLabel(42), "Z42 (8,6)");
}

TEST(ResultRows, TermsBeyond28AreNamedByTheirPolynomial) {
  TPupille w = MeasuredWavefront(36);
  EXPECT_EQ(ResultRowTexts(w, 27, Plain(2)).Name, "Hexafoil (sin)");
  EXPECT_EQ(ResultRowTexts(w, 28, Plain(2)).Name, ZernikeName(7, 1));
  EXPECT_EQ(ResultRowTexts(w, 28, Plain(2)).Term, "Z29 (7,1)");
}

TEST(ResultRows, ValuesWithTheNanometreDecimalsRawOrRmsNormalised) {
  TPupille w = MeasuredWavefront(22);
  w.Coefficients[4] = 10.0 * std::sqrt(3.0);  // defocus: factor sqrt(3)
  w.Coefficients[5] = -6.0 * std::sqrt(6.0);  // astigmatism: factor sqrt(6)
  w.Coefficients[11] = -12.5;
  EXPECT_EQ(ResultRowTexts(w, 3, Plain(3)).Value, "17.321");
  EXPECT_EQ(ResultRowTexts(w, 10, Plain(1)).Value, "-12.5");
  EXPECT_EQ(ResultRowTexts(w, 10, Plain(0)).Value, "-12");  // half to even

  TResultsDisplay rms = Plain(2);
  rms.NormRMS = true;
  EXPECT_EQ(ResultRowTexts(w, 3, rms).Value, "10.00");
  EXPECT_EQ(ResultRowTexts(w, 4, rms).Value, "-6.00");
  // The wavefront's basis normalises, whatever the program-wide one says.
  test::ProgramStateGuard guard;
  SetZernikeBasis(3, kCirclePolynomials);
  EXPECT_EQ(ResultRowTexts(w, 3, rms).Value, "10.00");
}

TEST(ResultAlerts, RaisedFromTheWarningValueOnNotBelowIt) {
  EXPECT_FALSE(RaisesAlert(1e6, 0.0));
  EXPECT_TRUE(RaisesAlert(5.0, 5.0));
  EXPECT_TRUE(RaisesAlert(-5.0, 5.0));
  EXPECT_FALSE(RaisesAlert(4.999, 5.0));
  EXPECT_FALSE(RaisesAlert(0.0, 0.0));

  TPupille w = MeasuredWavefront(22);
  TResultsDisplay d = Plain(2);
  w.Coefficients[7] = -40.0;
  w.Coefficients[8] = 39.0;
  w.Coefficients[9] = 500.0;
  d.Alerts[7] = 40.0;
  d.Alerts[8] = 40.0;
  d.Alerts[9] = 0.0;
  EXPECT_EQ(ResultRowTexts(w, 6, d).Alert, "!!!");
  EXPECT_EQ(ResultRowTexts(w, 7, d).Alert, "");
  EXPECT_EQ(ResultRowTexts(w, 8, d).Alert, "");
  // Normalised, both sides are divided by the term's factor: equality holds.
  d.NormRMS = true;
  w.Coefficients[4] = 7.3;
  d.Alerts[4] = 7.3;
  EXPECT_EQ(ResultRowTexts(w, 3, d).Alert, "!!!");
  EXPECT_EQ(ResultRowTexts(w, 6, d).Alert, "!!!");
  EXPECT_EQ(ResultRowTexts(w, 7, d).Alert, "");
}

TEST(ResultCommands, EachCommandChangesItsRowsOnly) {
  TPupille w = MeasuredWavefront(22);
  const TResultTicks all = TicksOf(w);
  ASSERT_EQ(all.Count, 22);
  ASSERT_TRUE(all.HigherOrders);

  TResultTicks t = all;
  UntickAll(t);
  for (int k = 1; k <= 22; ++k) EXPECT_FALSE(t.Terms[k]);
  EXPECT_FALSE(t.HigherOrders);
  TickAll(t);
  EXPECT_EQ(t.Terms, all.Terms);
  EXPECT_TRUE(t.HigherOrders);

  t.Terms[5] = false;
  InvertTicks(t);
  for (int k = 1; k <= 22; ++k) EXPECT_EQ(t.Terms[k], k == 5) << k;
  EXPECT_FALSE(t.HigherOrders);
  EXPECT_FALSE(t.Terms[23]);  // beyond the basis: no row, untouched

  t = all;
  ToggleTiltAndFocus(t);
  for (int k = 1; k <= 22; ++k) EXPECT_EQ(t.Terms[k], k > 4) << k;
  ToggleTiltAndFocus(t);
  EXPECT_EQ(t.Terms, all.Terms);

  ToggleComa(t);
  for (int k = 1; k <= 22; ++k) EXPECT_EQ(t.Terms[k], k != 7 && k != 8 && k != 16 && k != 17) << k;
  EXPECT_TRUE(t.HigherOrders);

  // An 8-term basis has no rows 16 and 17.
  TResultTicks small = TicksOf(MeasuredWavefront(8));
  ToggleComa(small);
  EXPECT_FALSE(small.Terms[7]);
  EXPECT_FALSE(small.Terms[8]);
  EXPECT_FALSE(small.Terms[16]);

  UntickAll(t);
  TickRow(t, 4);
  for (int k = 1; k <= 22; ++k) EXPECT_EQ(t.Terms[k], k == 5) << k;
  UntickAll(t);
  TickRow(t, 22);
  EXPECT_TRUE(t.HigherOrders);
  for (int k = 1; k <= 22; ++k) EXPECT_FALSE(t.Terms[k]);
}

TEST(ApplyingTicks, ATermSwitchedOffAndOnAgainRestoresTheMap) {
  TPupille w = MeasuredWavefront(22);
  TPupille before;
  before.CloneFrom(w);
  std::shared_ptr<TPupille> saved;

  TResultTicks t = TicksOf(w);
  t.Terms[11] = false;
  ASSERT_TRUE(ApplyTicks(w, t, saved));
  EXPECT_FALSE(w.Selected[11]);
  EXPECT_FALSE(saved);  // the higher orders stayed on
  // Off: the measured map minus the term, here sample (32, 32) near the centre.
  TPupille term;
  term.CloneFrom(before);
  ClearCoefficients(term.Coefficients);
  term.Coefficients[11] = before.Coefficients[11];
  term.SynthesiseFromZernike();
  EXPECT_NEAR(w.Values[1][32][32], before.Values[1][32][32] - term.Values[1][32][32], 1e-9);
  EXPECT_GT(MaxDifference(w, before), 1.0);

  t.Terms[11] = true;
  ASSERT_TRUE(ApplyTicks(w, t, saved));
  EXPECT_LT(MaxDifference(w, before), 1e-9);
  EXPECT_EQ(w.Selected, before.Selected);
}

TEST(ApplyingTicks, HigherOrdersOffShowsThePolynomialsAndOnRestoresTheMeasuredMap) {
  TPupille w = MeasuredWavefront(22);
  TPupille before;
  before.CloneFrom(w);
  std::shared_ptr<TPupille> saved;

  TResultTicks t = TicksOf(w);
  t.HigherOrders = false;
  ASSERT_TRUE(ApplyTicks(w, t, saved));
  ASSERT_TRUE(saved);
  EXPECT_FALSE(w.HigherOrders);
  TPupille sum;
  sum.CloneFrom(before);
  sum.SynthesiseFromZernike();
  EXPECT_LT(MaxDifference(w, sum), 1e-9);
  EXPECT_GT(MaxDifference(w, before), 2.0);  // the bump is gone
  // The display range follows the new values over all samples.
  double low = 0.0, high = 0.0;
  w.Range(low, high);
  EXPECT_EQ(w.DisplayLow, low);
  EXPECT_EQ(w.DisplayHigh, high);

  // Terms switched off meanwhile are off in the restored map too.
  t.Terms[5] = false;
  ASSERT_TRUE(ApplyTicks(w, t, saved));
  w.PaletteIndex = 4;  // the user changes the palette meanwhile
  t.Terms[5] = true;
  t.HigherOrders = true;
  ASSERT_TRUE(ApplyTicks(w, t, saved));
  EXPECT_FALSE(saved);
  EXPECT_TRUE(w.HigherOrders);
  EXPECT_EQ(MaxDifference(w, before), 0.0);  // exactly the measured map
  EXPECT_EQ(w.PaletteIndex, 4);
}

TEST(ApplyingTicks, OneAberrationAloneAndTheHigherOrdersAlone) {
  TPupille w = MeasuredWavefront(22);
  TPupille before;
  before.CloneFrom(w);
  std::shared_ptr<TPupille> saved;
  TResultTicks t = TicksOf(w);

  UntickAll(t);
  ASSERT_TRUE(ApplyTicks(w, t, saved));
  TickRow(t, 4);
  ASSERT_TRUE(ApplyTicks(w, t, saved));
  TPupille astigmatism;
  astigmatism.CloneFrom(before);
  ClearCoefficients(astigmatism.Coefficients);
  astigmatism.Coefficients[5] = before.Coefficients[5];
  astigmatism.SynthesiseFromZernike();
  EXPECT_LT(MaxDifference(w, astigmatism), 1e-9);

  // The last row alone: the measured map with every term removed, the bump.
  UntickAll(t);
  ASSERT_TRUE(ApplyTicks(w, t, saved));
  TickRow(t, 22);
  ASSERT_TRUE(ApplyTicks(w, t, saved));
  EXPECT_NEAR(w.Values[1][20][40], 3.0, 1e-9);
  EXPECT_NEAR(w.Values[1][32][32], 3.0 * std::exp(-(144.0 + 64.0) / 8.0), 1e-9);
}

TEST(ApplyingTicks, OnlyWavefrontsAndResidualsFollowTheTicks) {
  for (std::uint8_t kind : {kKindIntra, kKindSignal, kKindActualPsf, kKindInterferogram}) {
    TPupille g = MeasuredWavefront(22);
    g.Kind = kind;
    TPupille before;
    before.CloneFrom(g);
    std::shared_ptr<TPupille> saved;
    TResultTicks t = TicksOf(g);
    UntickAll(t);
    EXPECT_FALSE(ApplyTicks(g, t, saved));
    EXPECT_EQ(MaxDifference(g, before), 0.0);
    EXPECT_EQ(g.Selected, before.Selected);
    EXPECT_TRUE(g.HigherOrders);
    EXPECT_FALSE(saved);
  }
  // A residual without its higher orders is still a residual.
  TPupille residual = MeasuredWavefront(22);
  residual.Kind = kKindResidual;
  std::shared_ptr<TPupille> saved;
  TResultTicks t = TicksOf(residual);
  t.HigherOrders = false;
  EXPECT_TRUE(ApplyTicks(residual, t, saved));
  EXPECT_EQ(residual.Kind, kKindResidual);
  EXPECT_EQ(saved->Kind, kKindResidual);
}

TEST(ResultFiles, NamesAndHelpPages) {
  EXPECT_EQ(CoefficientFileName("/tmp/mirror"), "/tmp/mirror.txt");
  EXPECT_EQ(CoefficientFileName("/tmp/mirror.txt"), "/tmp/mirror.txt.txt");
  EXPECT_EQ(AberrationHelpPage(4), "astigmatisme.html");
  EXPECT_EQ(AberrationHelpPage(3), "reading-results.html#terms");
  EXPECT_EQ(AberrationHelpPage(5), "reading-results.html#terms");
}

}  // namespace
}  // namespace caustica
