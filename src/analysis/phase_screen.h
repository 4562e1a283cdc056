// Random phase screens of atmospheric turbulence with Kolmogorov statistics,
// as optical path differences in nanometres, for simulated frames that carry
// the seeing of their moment (its tip-tilt included).
#pragma once

#include <cstdint>
#include <vector>

namespace caustica {

class TPhaseScreen {
 public:
  // A square screen of side metres, n x n samples, for the Fried parameter
  // r0 (metres, at 500 nm). Low frequencies below the screen's own are added
  // as subharmonics, so that the tip-tilt is not lost. n is a power of two.
  // The values are path differences, the same at every wavelength.
  static TPhaseScreen Kolmogorov(double r0, double side, int n, std::uint64_t seed);

  // The path difference (nm) at (x, y) metres from the screen's centre,
  // bilinear; the edge value beyond it.
  double At(double x, double y) const;

  // The largest slope of the bilinear surface, nm per metre.
  double MaxSlope() const;

  int Samples() const { return n_; }
  double Spacing() const { return spacing_; }
  const std::vector<double>& Values() const { return opd_; }

 private:
  int n_ = 0;
  double spacing_ = 0.0;
  std::vector<double> opd_;  // row-major, row 0 at y = -side / 2
};

}  // namespace caustica
