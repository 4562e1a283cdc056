// The products made from a wavefront: synthetic interferograms,
// Foucaultgrams, the actual and theoretical PSF, the Fourier transform and
// the spot diagram. Each kernel fills its product grid(s) and returns true,
// or returns false with a short reason in error and leaves the products
// untouched. Wavelengths and palettes come in the product settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/u_pupille.h"

namespace caustica {

// The reason the windows put into "Action impossible. %s" when the source is
// not a wavefront the product accepts.
inline constexpr const char* kSelectWavefrontText = "Select a wavefront image.";

// What the products take of the preferences; the initialisers are the
// preference defaults.
struct TProductSettings {
  double LambdaInterfero = 555.0;         // nm, interferograms (LambdaInterfero)
  double LambdaRef = 555.0;               // nm, PSF and the Airy disc of the spot diagram (LambdaRef)
  std::uint8_t InterferogramPalette = 5;  // (PltInterfero)
  std::uint8_t PsfPalette = 4;            // (PltPSF)
};

// Largest side of the enlarged PSF transform (1.5 GiB of work arrays).
inline constexpr int kMaxPsfTransformSize = 8192;

// Interferogram of a wavefront (kind 3 or 4) with fringes tilt fringes across
// the diameter, at angleDegrees. target is sized to the source unless it
// already is (an interferogram recomputed in place keeps its fields). The
// wavelength is LambdaInterfero, the palette InterferogramPalette.
bool ComputeInterferogram(const TPupille& source, int angleDegrees, int fringes,
                          const TProductSettings& settings, TPupille& target, std::string* error = nullptr);

// Angles of a series: start + 180 - step, start + 180 - 2 step, ... down to
// the first angle not above start. A step below 1 counts as 1.
std::vector<int> SeriesAngles(int startDegrees, int stepDegrees);

// Foucaultgram of a wavefront (kind 3 only): the slope along angleDegrees,
// with the knife-edge marks in Shapes[1] (tick outside the edge) and
// Shapes[2] (the knife edge across the pupil). Shapes[3] and the palette are
// left as they are.
bool ComputeFoucaultgram(const TPupille& source, int angleDegrees, TPupille& target,
                         std::string* error = nullptr);

// 2^sizeIndex for the PSF size selector ("x1" .. "x8"); the index is
// clamped to 0..3.
int PsfFactor(int sizeIndex);

// Actual (kind 5) and theoretical (kind 6) PSF of any grid: the focus term
// is put back into a copy, which is padded to a power-of-two square and
// diffracted at LambdaRef, enlarged factor times; both PSFs are cropped to
// a square of the source's pupil diameter around the peak and take the
// palette PsfPalette.
bool ComputePsfPair(const TPupille& source, int factor, const TProductSettings& settings, TPupille& actual,
                    TPupille& theoretical, std::string* error = nullptr);

// Centred complex spectrum of any grid; target becomes a square power-of-two grid.
bool ComputeFftProduct(const TPupille& source, TPupille& target, std::string* error = nullptr);

// Spot diagram (kind 10) of a wavefront (kind 3): the transverse ray
// aberrations f / R x slope, sampled every step-th row and column and scaled
// so that the farthest ray lands on the unit circle, with the Airy disc and
// twice its radius (1.22 LambdaRef f / 2R, at that scale) in Shapes[1] and
// Shapes[2]. focalLength and pupilRadius in nanometres. A wavefront without
// slope cannot be scaled and is refused.
bool ComputeSpotDiagram(const TPupille& source, double focalLength, double pupilRadius, int step,
                        const TProductSettings& settings, TPupille& diagram, std::string* error = nullptr);

}  // namespace caustica
