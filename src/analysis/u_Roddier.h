// Curvature-sensing reconstruction of one colour channel: from an
// intra-focal and an extra-focal image to the wavefront in nanometres.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/forward_check.h"
#include "analysis/u_pupille.h"

namespace caustica {

// How a long reconstruction reports its advance: Step once per inner pass
// of the Poisson solve, Finish once at the end. Either may be empty.
struct TProgressCallbacks {
  std::function<void()> Step;
  std::function<void()> Finish;
};

// Marks with code 2 every mask-0 sample whose squared radius in pupil units
// lies in 0.9 < r^2 <= 1.15^2: the ring where the edge condition is imposed.
void MarkBoundaryRing(TPupille& signal);

// One pass of the edge condition on the solution of the Poisson solve:
// slopes zeroed on the ring, their divergence compared with the signal over
// the pupil (the returned error), and work set to the next right-hand side.
// gx and gy are scratch grids of the signal's size.
double RingLaplacian(const TPupille& signal, const TFctXY& solution, TFctXY& gx, TFctXY& gy, TFctXY& work);

class TRoddier;

// The finishing steps of a run, whatever the method: the wavefront (centre,
// radius and obstruction already set) and the residual cropped around the
// pupil with a 10-pixel margin, trimmed to the annulus, scaled by the pupil
// radius and flagged; the corrected images cropped likewise.
void FinishReconstruction(TRoddier& run, double obstruction);

class TRoddier {
 public:
  // The grids are shared: a window showing the wavefront, the residual or
  // the corrected images keeps them alive after the next reconstruction.
  std::shared_ptr<TPupille> IntraImage;
  std::shared_ptr<TPupille> ExtraImage;  // already turned by 180 degrees
  std::shared_ptr<TPupille> Signal;
  double Radius = 0.0;        // nm
  double FocalLength = 0.0;   // nm
  double Defocus = 0.0;       // nm
  double Wavelength = 555.0;  // nm, the light of the images (for the edge's diffraction)
  // The central obstruction when the user knows it (fraction of the pupil
  // radius); 0: measured on the images.
  double KnownObstruction = 0.0;
  double RingRadius = 0.0;  // pupil units
  std::int32_t MaxIterations = 0;
  // The stop rule of the outer passes: an increment whose RMS is not above
  // StopRms (nm) is not added, and ends the passes when StopWhenConverged.
  double StopRms = 0.0;
  bool StopWhenConverged = false;
  std::shared_ptr<TPupille> Wavefront;
  std::shared_ptr<TPupille> Residual;
  // The fit of the wavefront the images saw, before the set-up aberrations
  // and switched-off terms are taken off: what the forward model is made of.
  ZernikeCoefficients ImageCoefficients{};
  // The forward-model check of the result, when a front end made one.
  TForwardCheck Forward;

  TProgressCallbacks Progress;

  // Which method made the wavefront: the report says so.
  bool Accurate = false;
  // Accurate method: the first-order ray mapping instead of the one with
  // the rays' true angles (for comparison with earlier results).
  bool ParaxialGeometry = false;
  // Whether the accurate method's passes reached a settled result, and if
  // not, why, in a few words for the user (filled by the channel run).
  bool AccurateConverged = true;
  std::string AccurateNote;
  // Statistics of the last run, for benchmarks and the batch tool.
  int OuterPasses = 0;
  int InnerPasses = 0;
  // The error of each inner pass of the last solve, [1..passes run].
  std::vector<double> LastSolveErrors;

  void ComputeSignal();
  void SolvePoisson();
  void CorrectImages();
  // The whole run. Without both images, or with images that pad to
  // different sizes, nothing is computed and Wavefront stays empty.
  void Reconstruct();
};

}  // namespace caustica
