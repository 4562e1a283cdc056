// Accuracy of a whole reconstruction on a simulated star pair: the pair is
// opened as the program opens images and reconstructed by the channel run
// with the built-in default preferences and the chosen method.
#pragma once

#include <string>

#include "analysis/accurate_reconstruction.h"
#include "analysis/star_simulator.h"
#include "setup/reconstruction_method.h"

namespace caustica::testing {

struct AccuracyResult {
  bool Ok = false;
  std::string Error;
  ZernikeCoefficients Recovered{};  // RMS-normalised, nm
  double MapError = 0.0;  // RMS of reconstructed - true over the pupil, piston, tilt and focus removed, nm
  double TrueRms = 0.0;   // RMS of the true map without piston, tilt and focus, nm
  int Passes = 0;
  bool Converged = true;  // the accurate method's verdict on its passes
  std::string Warning;    // what the channel run says when it did not converge
};

// star: coefficients RMS-normalised in the annular basis of its obstruction.
AccuracyResult MeasureReconstruction(const StarSimulationOptions& star, TReconstructionMethod method,
                                     int iterations = 3);
// The same on a pair simulated beforehand from star; basisTerms is the
// Zernike basis size of the preferences (0: their default); paraxial picks
// the accurate method's first-order ray mapping.
AccuracyResult MeasureReconstruction(const StarSimulationOptions& star, const TFctXY& intraFrame,
                                     const TFctXY& extraFrame, TReconstructionMethod method,
                                     int iterations = 3, int basisTerms = 0, bool paraxial = false);

// RMS of recovered - true over terms 5..22 (RMS-normalised coefficients), nm.
double MidTermError(const AccuracyResult& r, const StarSimulationOptions& star);

// The accurate method straight on a pair simulated from star (the
// extra-focal image turned as the program turns it), on the program-wide
// basis. False when the pair cannot be simulated or gives no wavefront.
bool RunAccurateOnPair(const StarSimulationOptions& star, TAccurateRunInfo& info);

}  // namespace caustica::testing
