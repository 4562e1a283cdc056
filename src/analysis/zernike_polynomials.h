// Zernike terms as polynomials in x and y, for values and derivatives
// anywhere, also beyond the pupil's edges where the basis itself reads 0.
#pragma once

#include <array>

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

}  // namespace caustica
