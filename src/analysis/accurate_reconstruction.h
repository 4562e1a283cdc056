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

namespace caustica {

// The terms of the current Zernike basis in polynomial form, so that values
// and derivatives can be had anywhere, also beyond the pupil's edges where
// the basis itself reads 0: term k = P_k(x^2 + y^2) Re((x + iy)^m) for the
// cosine (and m = 0) members, Im((x + iy)^m) for the sine members.
class ZernikePolynomialForm {
 public:
  static constexpr int kMaxAzimuth = 8;
  static constexpr int kMaxRadialPowers = 6;  // powers of r^2 in P_k

  // Builds the form of terms 1..PolynomialCount of the current basis for
  // the obstruction (ignored by circle polynomials). False when the basis
  // cannot be put into this form (no terms, an obstruction of 1 or more).
  bool Build(double obstruction, const TZernikeBasis& basis);
  bool Build(double obstruction);  // on the program-wide basis

  int Count() const { return count_; }
  // Largest difference seen between the form and the basis while building,
  // relative to the term's largest value: a check of the form.
  double FitError() const { return fitError_; }

  struct Derivatives {
    double W = 0, Wx = 0, Wy = 0, Wxx = 0, Wyy = 0, Wxy = 0;
  };

  // The value and gradient of term k (1..Count()) at (x, y).
  void Term(int k, double x, double y, double& value, double& gx, double& gy) const;

  // Collapses sum z_k Z_k into one polynomial per azimuthal order, then
  // evaluates value, gradient and Hessian of that sum at (x, y).
  void SetWavefront(const ZernikeCoefficients& z);
  Derivatives Wavefront(double x, double y) const;

 private:
  struct TermForm {
    int M = 0;
    bool Sine = false;
    int Powers = 0;  // number of coefficients of P
    std::array<double, kMaxRadialPowers> P{};
  };
  std::array<TermForm, kZernikeTermCount + 1> terms_{};
  int count_ = 0;
  double fitError_ = 0.0;
  // Collapsed wavefront: cosine and sine polynomials per azimuthal order.
  std::array<std::array<double, kMaxRadialPowers>, kMaxAzimuth + 1> cos_{};
  std::array<std::array<double, kMaxRadialPowers>, kMaxAzimuth + 1> sin_{};
  int topM_ = -1;
};

// What the last accurate run did, for the batch tool, benchmarks and tests.
struct TAccurateRunInfo {
  int Passes = 0;                      // outer passes run
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
  // Gaussian's sigma in pixels. From kAccurateBlurFloor of the pupil image
  // radius on, the loop ends with BlurPasses passes against the pair the
  // estimate gives, blurred as much.
  double EdgeBlur = 0;
  int BlurPasses = 0;
};

inline constexpr double kAccurateBlurFloor = 0.08;
inline constexpr int kAccurateBlurPasses = 4;
inline constexpr double kAccurateBlurGain = 0.8;

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
