// The Zernike results list without its window: the texts of each row, the
// warning rule, what each command does to the ticks, and how the ticks are
// applied to a wavefront. Everything is read from the wavefront's own basis,
// so a later change of the basis settings never relabels an older fit.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "analysis/u_pupille.h"

namespace caustica {

// The display preferences the list needs, read by the window at each refresh.
struct TResultsDisplay {
  int Decimals = 2;                                    // NDecNano
  bool NormRMS = true;                                 // coefficients and warning values shown RMS-normalised
  std::array<double, kZernikeTermCount + 1> Alerts{};  // [1..42], 0 = no warning
};

// The four column texts of a row.
struct TResultRow {
  std::string Name;
  std::string Term;
  std::string Value;
  std::string Alert;
};

// One row per term of the wavefront's basis, then "Ordres sup.".
int ResultRowCount(const TPupille& grid);
// Row index (from 0) of the "Ordres sup." row.
inline int HigherOrdersRow(const TPupille& grid) { return grid.Basis.PolynomialCount; }

// "Z6 (2,-2)" for term 6.
std::string ZernikeTermLabel(int k);
// A warning of 0 never fires; a coefficient equal to its warning value does.
bool RaisesAlert(double coefficient, double warning);
// The texts of row (from 0); the last row has only its name.
TResultRow ResultRowTexts(const TPupille& grid, int row, const TResultsDisplay& display);

// The check boxes of the list: one per term row and the last row's.
struct TResultTicks {
  ZernikeSelection Terms{};  // [1..count], the rest unused
  bool HigherOrders = false;
  int Count = 0;  // term rows
};
// What the list shows for the wavefront.
TResultTicks TicksOf(const TPupille& grid);

// The commands' effects on the ticks. Rows that the basis does not list are
// left alone.
void TickAll(TResultTicks& ticks);
void UntickAll(TResultTicks& ticks);
void InvertTicks(TResultTicks& ticks);
void ToggleTiltAndFocus(TResultTicks& ticks);  // terms 1 to 4
void ToggleComa(TResultTicks& ticks);          // terms 7, 8, 16 and 17
// The one row ticked (row from 0; the last row stands for the higher orders).
void TickRow(TResultTicks& ticks, int row);

// Puts the ticks on the wavefront: with the higher orders the measured map
// keeps the ticked terms, without them the map is the sum of the ticked
// terms only. Leaving the higher orders keeps a full copy of the map in
// measuredMap; coming back restores it and lets the copy go. The display
// range becomes the new range over all samples. False, and nothing
// changed, for a grid that is not a wavefront or a residual.
bool ApplyTicks(TPupille& grid, const TResultTicks& ticks, std::shared_ptr<TPupille>& measuredMap);

// The coefficient file's name: ".txt" appended whatever was chosen.
std::string CoefficientFileName(const std::string& chosen);

// The help page of a row (from 0), within the help folder:
// "astigmatisme.html" for the row of term 5; for every other row the part of
// "reading-results.html" that explains the terms, so the window never opens
// on an empty page.
std::string AberrationHelpPage(int row);

}  // namespace caustica
