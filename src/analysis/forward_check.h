// The forward-model check of a result: the star-test simulator makes the two
// images the optics found would give, and they are taken from the images
// that were measured. What is left is what the fit did not explain (noise,
// seeing, a wrong pupil, terms beyond the basis); its RMS is a quality figure.
#pragma once

#include <memory>
#include <string>

#include "analysis/u_pupille.h"
#include "analysis/u_zernike.h"

namespace caustica {

struct TForwardCheck {
  // Measured minus modelled, counts, on the grids of the measured images
  // (the extra-focal one turned like the image the run used).
  std::shared_ptr<TPupille> Intra;
  std::shared_ptr<TPupille> Extra;
  // RMS of the difference over the donut, in % of the measured donut's level.
  double IntraRms = 0.0;
  double ExtraRms = 0.0;
  // The blur added to the model to match the images (samples, Gaussian
  // sigma) and the seeing it stands for (FWHM, arcseconds).
  double BlurSigma = 0.0;
  double Seeing = 0.0;
  std::string Reason;  // why there is no check, when there is none
  bool Done() const { return Intra && Extra; }
};

// The optics and images a check is made for: the test as entered (nm) and
// the coefficients the images saw (the run's fit before the set-up
// aberrations and switched-off terms were taken off).
struct TForwardModel {
  double Radius = 0.0;       // nm, of the pupil
  double FocalLength = 0.0;  // nm
  double Defocus = 0.0;      // nm
  double Obstruction = 0.0;  // fraction of the pupil radius
  double Wavelength = 550.0;
  ZernikeCoefficients Coefficients{};
  std::uint8_t PolynomialType = kCirclePolynomials;
};

// The check on the measured pair (extra already turned). The pixel scale is
// taken from the measured donuts, so that a pixel size need not be known. A
// frame much larger than its donut is checked on a square around it, and
// the differences are that square.
TForwardCheck CheckForwardModel(const TPupille& intra, const TPupille& extra, const TForwardModel& model);

// "measured minus modelled: RMS 2.1 % (intra), 2.4 % (extra) of the donut level"
std::string ForwardCheckText(const TForwardCheck& check);

}  // namespace caustica
