// One reconstruction run as the reconstruction command drives it, shared by
// the desktop program and the batch tool: the reconstruction, the set-up
// aberrations taken off, the autocollimation halving and the automatic
// Zernike fit. Everything it needs comes by argument; the commands build
// the settings once from the test parameters and the preferences.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "analysis/forward_check.h"
#include "analysis/u_Roddier.h"
#include "analysis/u_zernike.h"

namespace caustica {

// Indexed by channel code. The third entry has four letters.
inline const std::array<std::string, 4> ChannelNames = {"Polychromatic", "Blue", "Gree", "Red"};

enum class TReconstructionMethod : std::uint8_t {
  Classic,   // the iterative Fourier-domain Poisson solution, the default
  Accurate,  // the modal solution with compensation of the images
};

// What a run takes of the preferences. The member initialisers are the
// built-in preference defaults.
struct TRunSettings {
  TReconstructionMethod Method = TReconstructionMethod::Classic;
  int Passes = 3;                  // outer passes of the classic method (NIter)
  double StopRms = 0.0;            // nm (RMSFront)
  bool StopWhenConverged = false;  // (BreakCondition)
  TZernikeBasis Basis = MakeZernikeBasis(22, kAnnularPolynomials);
  bool AutoFit = true;                         // fit after the run (AjustAuto)
  bool SubtractTiltFocus = true;               // (SubTiltFocus)
  bool SubtractComa = true;                    // (SubComa)
  double LambdaRef = 555.0;                    // nm, single-channel wavefronts
  std::array<double, 3> ChannelWavelengths{};  // nm: blue, green, red (LambdaB, LambdaV, LambdaR)
  int FocusReference = 1;                      // colour the focus is aligned on, 0 blue .. 2 red (OriginFoc)
  std::uint8_t WavefrontPalette = 1;           // (PltFront)
  bool ParaxialGeometry = false;               // accurate method: first-order ray mapping
};

// The test as a run reads it, in nanometres: what the test parameters hold
// besides their images.
struct TTestSetup {
  double Focale = 0.0;
  double Rayon = 0.0;
  double Defocalisation = 0.0;
  double AstigX = 0.0;  // set-up aberrations to take off: terms 5 and 6
  double AstigY = 0.0;
  double ComaX = 0.0;  // terms 7 and 8
  double ComaY = 0.0;
  double Spherique = 0.0;  // term 11
  bool Autocollimation = false;
  double Obstruction = 0.0;  // entered by the user, fraction of the radius; 0: measured
};

// The two images of one channel, intra-focal and (already turned) extra-focal.
struct TImagePair {
  std::shared_ptr<TPupille> Intra;
  std::shared_ptr<TPupille> Extra;
};

// What a run shows while it works: a caption and a bar of iterations x
// steps, advanced once per inner pass, finished, then hidden.
struct TRunProgress {
  std::function<void(const std::string& caption, int iterations, double stepsPerIteration)> Start;
  std::function<void()> Step;
  std::function<void()> Finish;
  std::function<void()> Hide;
};

// The channel run on one slot with the method of the settings. channel is
// 0 for the single-channel mode, 1..3 for blue, green, red. The images are
// copied, never changed. False (and a reason) when an image is missing or
// empty, the two differ in size, or the test cannot give a wavefront (zero
// focal length, radius or defocus).
bool PrepareChannel(TRoddier& slot, int channel, const TImagePair& images, const TTestSetup& test,
                    const TRunSettings& settings, const TRunProgress& progress, std::string* error = nullptr);

// "the accurate method did not converge: ..." when the slot's accurate run
// did not settle; empty otherwise.
std::string AccurateConvergenceWarning(const TRoddier& slot);

// The single-channel mode: the run, then the wavelength LambdaRef.
// The forward-model check of a channel's result against the images it was
// made from (extra already turned): the model images of the optics found,
// taken from the measured ones.
TForwardCheck CheckChannelForwardModel(const TRoddier& slot, const TImagePair& images,
                                       const TRunSettings& settings);

bool ReconstructSingle(TRoddier& mono, const TImagePair& images, const TTestSetup& test,
                       const TRunSettings& settings, const TRunProgress& progress,
                       std::string* error = nullptr);

// The polychromatic mode: blue, green, red in that order, each fitted
// (whatever AutoFit says) with tilt and focus kept, given its wavelength,
// then tilt removed and every map aligned on the focus of the reference
// colour.
bool ReconstructPolychromatic(TRoddier& blue, TRoddier& green, TRoddier& red,
                              const std::array<TImagePair, 3>& images, const TTestSetup& test,
                              const TRunSettings& settings, const TRunProgress& progress,
                              std::string* error = nullptr);

}  // namespace caustica
