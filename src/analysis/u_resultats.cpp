#include "analysis/u_resultats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "analysis/zernike_coefficients_file.h"
#include "core/u_math.h"

namespace caustica {

namespace {

constexpr const char* kHigherOrdersName = "Ordres sup.";
constexpr int kAstigmatismRow = 4;  // the row of term 5

bool IsShownKind(const TPupille& grid) { return grid.Kind == kKindWavefront || grid.Kind == kKindResidual; }

void Toggle(TResultTicks& ticks, std::initializer_list<int> terms) {
  for (int k : terms)
    if (k <= ticks.Count) ticks.Terms[k] = !ticks.Terms[k];
}

}  // namespace

int ResultRowCount(const TPupille& grid) { return grid.Basis.PolynomialCount + 1; }

std::string ZernikeTermLabel(int k) {
  int n = 0, m = 0;
  ZernikeTermOrder(k, n, m);
  char text[32];
  std::snprintf(text, sizeof text, "Z%d (%d,%d)", k, n, m);
  return text;
}

bool RaisesAlert(double coefficient, double warning) {
  return warning != 0.0 && std::abs(coefficient) >= warning;
}

TResultRow ResultRowTexts(const TPupille& grid, int row, const TResultsDisplay& display) {
  TResultRow texts;
  if (row == HigherOrdersRow(grid)) {
    texts.Name = kHigherOrdersName;
    return texts;
  }
  const int k = row + 1;
  if (k < 1 || k > grid.Basis.PolynomialCount) return texts;
  ZernikeCoefficients coefficients = grid.Coefficients;
  ZernikeCoefficients warnings{};
  for (int i = 1; i <= kZernikeTermCount; ++i) warnings[i] = display.Alerts[i];
  if (display.NormRMS) {
    ToNormalised(grid.Basis, coefficients);
    ToNormalised(grid.Basis, warnings);
  }
  texts.Name = ZernikeTermName(k);
  texts.Term = ZernikeTermLabel(k);
  texts.Value = FormatFixed(coefficients[k], display.Decimals);
  if (RaisesAlert(coefficients[k], warnings[k])) texts.Alert = "!!!";
  return texts;
}

TResultTicks TicksOf(const TPupille& grid) {
  TResultTicks ticks;
  ticks.Count = grid.Basis.PolynomialCount;
  for (int k = 1; k <= ticks.Count; ++k) ticks.Terms[k] = grid.Selected[k];
  ticks.HigherOrders = grid.HigherOrders;
  return ticks;
}

void TickAll(TResultTicks& ticks) {
  for (int k = 1; k <= ticks.Count; ++k) ticks.Terms[k] = true;
  ticks.HigherOrders = true;
}

void UntickAll(TResultTicks& ticks) {
  for (int k = 1; k <= ticks.Count; ++k) ticks.Terms[k] = false;
  ticks.HigherOrders = false;
}

void InvertTicks(TResultTicks& ticks) {
  for (int k = 1; k <= ticks.Count; ++k) ticks.Terms[k] = !ticks.Terms[k];
  ticks.HigherOrders = !ticks.HigherOrders;
}

void ToggleTiltAndFocus(TResultTicks& ticks) { Toggle(ticks, {1, 2, 3, 4}); }

void ToggleComa(TResultTicks& ticks) { Toggle(ticks, {7, 8, 16, 17}); }

void TickRow(TResultTicks& ticks, int row) {
  if (row == ticks.Count)
    ticks.HigherOrders = true;
  else if (row >= 0 && row < ticks.Count)
    ticks.Terms[row + 1] = true;
}

bool ApplyTicks(TPupille& grid, const TResultTicks& ticks, std::shared_ptr<TPupille>& measuredMap) {
  if (!IsShownKind(grid)) return false;
  // Flags beyond the basis are not used; they stay as they were.
  ZernikeSelection selection = grid.Selected;
  for (int k = 1; k <= std::min(ticks.Count, static_cast<int>(grid.Basis.PolynomialCount)); ++k)
    selection[k] = ticks.Terms[k];

  // Already the sum of its ticked terms: only the terms that change are
  // added or removed, rather than the whole sum made again.
  const bool polynomialsOnly = !grid.HigherOrders && !ticks.HigherOrders;
  if (grid.HigherOrders && !ticks.HigherOrders) {
    measuredMap = std::make_shared<TPupille>();
    measuredMap->CloneFrom(grid);
  } else if (!grid.HigherOrders && ticks.HigherOrders && measuredMap) {
    // The samples come back; how the map is drawn stays as the user left it.
    const std::uint8_t palette = grid.PaletteIndex;
    const bool mask = grid.MaskActive, relief = grid.Relief;
    const double rangeFactor = grid.RangeFactor;
    grid.AssignPupil(*measuredMap);
    grid.PaletteIndex = palette;
    grid.MaskActive = mask;
    grid.Relief = relief;
    grid.RangeFactor = rangeFactor;
    measuredMap.reset();
  }
  grid.HigherOrders = ticks.HigherOrders;

  if (!grid.HigherOrders && !polynomialsOnly) {
    // A residual stays a residual while it shows its terms alone.
    const std::uint8_t kind = grid.Kind;
    grid.Selected = selection;
    grid.SynthesiseFromZernike();
    grid.Kind = kind;
  } else {
    grid.ApplySelection(selection);
  }

  grid.ComputeRange();
  grid.DisplayLow = grid.MinValue;
  grid.DisplayHigh = grid.MaxValue;
  return true;
}

std::string CoefficientFileName(const std::string& chosen) { return chosen + ".txt"; }

std::string AberrationHelpPage(int row) {
  return row == kAstigmatismRow ? "astigmatisme.html" : "reading-results.html#terms";
}

}  // namespace caustica
