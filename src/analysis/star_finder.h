// Finding the defocused star in a camera frame: the background and its noise
// from the frame's own statistics, the donut as the largest significant blob,
// its centre, outer radius and central hole measured on the full frame.
#pragma once

#include <cstdint>
#include <string>

#include "core/u_fonctionxy.h"

namespace caustica {

enum class TStarProblem : std::uint8_t {
  None,
  NoStar,         // uniform, star-less or pure noise
  TouchesBorder,  // Sides says which
  TwoStars,       // two blobs of comparable flux
  Saturated,      // SaturatedCount samples at the ceiling
};

struct TStarFinding {
  TStarProblem Problem = TStarProblem::NoStar;
  bool Uniform = false;  // every sample has the same value
  double Column = 0.0;   // centre of the donut, 1-based samples
  double Row = 0.0;
  double Radius = 0.0;          // outer radius at half the donut's level, pixels
  double Obstruction = 0.0;     // radius of the central hole over the outer radius
  double Background = 0.0;      // sky level at the centre
  double SkySlopeColumn = 0.0;  // its change per sample along a row
  double SkySlopeRow = 0.0;     // and down a column
  double Noise = 0.0;           // RMS of one sample of sky
  double Level = 0.0;           // typical level of the donut above the sky
  double Flux = 0.0;            // light of the donut above the sky
  double Brightest = 0.0;       // its brightest parts over Level: large near a caustic
  long SaturatedCount = 0;
  double Ceiling = 0.0;      // the value saturated samples sit at
  std::string Sides;         // "left", "top and right", ...
  double OtherColumn = 0.0;  // the second star, when there is one
  double OtherRow = 0.0;
  double OtherFluxRatio = 0.0;  // its flux over the chosen donut's, 0 without one
  bool Found() const { return Problem == TStarProblem::None; }
};

// Searches the frame's plane 1. Only a box around the donut is read at full
// resolution after one binned pass over the frame.
TStarFinding FindStar(const TFctXY& frame);

// The refusal to show, naming the image ("no star found in newt_intra.fits",
// "the extra-focal donut touches the right border"); role is "intra-focal"
// or "extra-focal". Empty when the star was found.
std::string StarRefusal(const TStarFinding& star, const std::string& role, const std::string& imageName);

// A fainter star left aside, said to the user; empty when there is none.
std::string StarNote(const TStarFinding& star, const std::string& imageName);

}  // namespace caustica
