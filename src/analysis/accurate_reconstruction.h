// The accurate reconstruction mode: a modal (series-expansion) solution of
// the transport-of-intensity equation, iterated with compensation of the
// original images by the whole estimate. It fills the same objects as the
// classic run (wavefront, residual, signal, corrected images), so every
// product and window works on its result unchanged.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "analysis/u_Roddier.h"
#include "analysis/u_zernike.h"
#include "analysis/zernike_polynomials.h"

namespace caustica {

// What the last accurate run did, for the batch tool, benchmarks and tests.
struct TAccurateRunInfo {
  int Passes = 0;                      // outer passes run, of every pupil round
  int Terms = 0;                       // terms of the last solve
  bool Frozen = false;                 // a compensation folded or left the image
  double PupilImageRadius = 0;         // rho, pixels
  double Obstruction = 0;              // as measured on the images
  double LastIncrement = 0;            // RMS of the last increment, nm
  ZernikeCoefficients Coefficients{};  // the modal estimate, nm

  // RMS of (extra - intra) / mean inside the pupil of the compensated pair,
  // before the first pass and at the end.
  double InitialDifference = 0;
  double FinalDifference = 0;
  double SmallestJacobian = 1;  // of both ray mappings inside the pupil
  bool FoldBlocked = false;     // the estimate could not grow without folding
  // Settled, not stopped by a fold, and not so near a caustic that the
  // pixels cannot hold the light's shape.
  bool Converged = false;
  // Softness of the donut's outer edge (seeing, pixels, diffraction), as a
  // Gaussian's sigma in pixels, and the part the edge's own diffraction
  // explains (0 when the wavelength is unknown).
  double EdgeBlur = 0;
  double EdgeDiffraction = 0;
  // The loop ends with ModelPasses passes against the pair the estimate
  // gives, blurred by ModelBlur: the whole softness from kAccurateBlurFloor
  // of the pupil image radius on, else the seeing (what diffraction leaves)
  // from kAccurateSeeingFloor on, else none.
  double ModelBlur = 0;
  int ModelPasses = 0;
  // The interior level of the pair compensated by the estimate, the images
  // being scaled by the level found on the uncompensated pair: 1 when that
  // was right. Strong aberrations make the uncompensated level, and with it
  // the pupil's radius and obstruction, wrong; beyond kAccurateLevelTolerance
  // the pupil is measured again on the compensated pair and the loop runs
  // again from the estimate (PupilRounds 2).
  double CompensatedLevel = 0;
  int PupilRounds = 1;
};

inline constexpr double kAccurateLevelTolerance = 0.004;

inline constexpr double kAccurateBlurFloor = 0.07;
inline constexpr double kAccurateSeeingFloor = 0.015;
inline constexpr int kAccurateModelPasses = 4;
inline constexpr double kAccurateModelGain = 0.8;
// The edge of a defocused image spreads over about sqrt(wavelength x
// defocus); this is the sigma of a Gaussian of the same 10-90 % rise, for a
// band of about 100 nm (measured 0.317-0.33 on simulated pairs).
inline constexpr double kEdgeDiffractionFactor = 0.32;

// Passes and gain of the outer loop, and the terms fitted at each pass
// (the basis size from pass 9 on).
inline constexpr int kAccuratePasses = 14;
inline constexpr double kAccurateGain = 0.6;
int AccurateTermsAtPass(int pass, int basisCount);
// Passes run beyond kAccuratePasses while the compensated difference still
// falls by kAccurateExtraProgress a pass; a step is halved at most
// kAccurateHalvings times; two passes each gaining less than
// kAccurateProgress end the loop.
inline constexpr int kAccurateMaxPasses = 20;
inline constexpr int kAccurateHalvings = 4;
inline constexpr double kAccurateProgress = 0.01;
inline constexpr double kAccurateExtraProgress = 0.05;
// Below this Jacobian the light piles up in a few pixels and the result is
// not trusted.
inline constexpr double kAccurateSmallestJacobian = 0.25;

// A short sentence for the user when the run did not converge; empty when it did.
std::string AccurateConvergenceNote(const TAccurateRunInfo& run);

// Runs the accurate mode on a slot filled as for TRoddier::Reconstruct
// (images, Radius, FocalLength, Defocus). The images are compensated with
// the rays' true angles for the focal ratio f / 2R, or to first order when
// slot.ParaxialGeometry is set. On success Wavefront, Residual,
// Signal, IntraImage and ExtraImage hold the results, shaped as the classic
// run shapes them; on failure (no images, images of different sizes, no
// pupil found) Wavefront stays empty. Progress.Step runs once per pass.
// The terms come from basis; without it, the program-wide basis.
void ReconstructAccurate(TRoddier& slot, const TZernikeBasis& basis, TAccurateRunInfo* info = nullptr);
void ReconstructAccurate(TRoddier& slot, TAccurateRunInfo* info = nullptr);

}  // namespace caustica
