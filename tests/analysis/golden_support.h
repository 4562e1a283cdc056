// End-to-end runs for the golden tests: a simulated star pair opened as the
// program opens images, reconstructed with the default preferences.
#pragma once

#include <string>

#include "analysis/star_simulator.h"

namespace caustica::testing {

struct GoldenCase {
  std::string Name;
  StarSimulationOptions Star;  // coefficients RMS-normalised, annular basis
};

struct GoldenResult {
  bool Ok = false;
  std::string Error;
  ZernikeCoefficients Recovered{};  // RMS-normalised, nm
  double PupilRadius = 0.0;         // pixels, as measured on the intra image
  double MapError = 0.0;            // RMS of reconstructed - true over the pupil, tilt and focus removed, nm
  double TrueRms = 0.0;             // RMS of the true map without tilt and focus, nm
};

// Simulates the pair, opens the intra image as "Open" does and the extra
// one as "Open as extra-focal" does, fills the test parameters and runs the
// single-channel reconstruction with the built-in default preferences.
GoldenResult RunGoldenCase(const GoldenCase& c, int iterations = 3);

}  // namespace caustica::testing
