// The colour results: the blue, green and red wavefronts of a polychromatic
// test side by side, and the Strehl ratio weighted by the preferred colour
// weights.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace caustica {

class TPupille;

struct TColourRow {
  std::string Name;
  std::array<std::string, 3> Values;  // blue, green, red
};

struct TColourResults {
  std::vector<TColourRow> Rows;
  double PolychromaticStrehl = 0.0;
  std::string PolychromaticText;  // "%.3f"
};

// (pB sB + pV sV + pR sR) / (pB + pV + pR); 0 when the weights add up to 0.
double PolychromaticStrehl(double strehlBlue, double strehlGreen, double strehlRed, double poidsB,
                           double poidsV, double poidsR);

// The table of the three wavefronts. focale and rayon in nanometres; the
// Strehl ratio of each wavefront is computed (ComputeStrehl) on the way.
TColourResults RemplirRVB(TPupille& frontBleu, TPupille& frontVert, TPupille& frontRouge, double focale,
                          double rayon, double poidsR, double poidsV, double poidsB);

}  // namespace caustica
