// One reconstruction run as the reconstruction command drives it, shared by
// the desktop program and the batch tool: inputs from the test parameters
// and the preferences, the reconstruction, the set-up aberrations taken
// off, the autocollimation halving and the automatic Zernike fit.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "analysis/u_Roddier.h"

namespace caustica {

// Indexed by channel code. The third entry has four letters.
inline const std::array<std::string, 4> ChannelNames = {"Polychromatic", "Blue", "Gree", "Red"};

// What a run shows while it works: a caption and a bar of iterations x
// steps, advanced once per inner pass, finished, then hidden.
struct TRunProgress {
  std::function<void(const std::string& caption, int iterations, double stepsPerIteration)> Start;
  std::function<void()> Step;
  std::function<void()> Finish;
  std::function<void()> Hide;
};

// The channel run on one slot: reads Parametres.Intra/Extra and runs the
// reconstruction that ReconstructionMethod names (the classic one by default). channel is 0
// for the single-channel mode, 1..3 for blue, green, red. False (and a
// reason) when the images are gone, empty, of different sizes, or the test
// parameters cannot give a wavefront (zero focal length, radius or defocus).
bool PrepareChannel(TRoddier& slot, int channel, const TRunProgress& progress, std::string* error = nullptr);

// The single-channel mode: the run, then the wavelength LambdaRef.
bool ReconstructSingle(TRoddier& mono, const TRunProgress& progress, std::string* error = nullptr);

// The polychromatic mode: blue, green, red in that order from the colour
// pairs of Parametres, with the automatic fit forced on and the tilt and
// focus removal forced off (both restored afterwards, whatever happens),
// then tilt removed and every map aligned on the focus of the OriginFoc
// colour. Parametres.Intra/Extra are left on the red pair.
bool ReconstructPolychromatic(TRoddier& blue, TRoddier& green, TRoddier& red, const TRunProgress& progress,
                              std::string* error = nullptr);

}  // namespace caustica
