// The simulated wavefront as a polynomial in the pupil coordinates, so that
// its value and slopes are cheap anywhere, the pupil edge included.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "analysis/u_zernike.h"

namespace caustica {

// Any combination of the 42 terms, circle or annular, is a polynomial of
// degree at most 8 in x and y (pupil units, y upwards).
class StarWavefront {
 public:
  static constexpr int kDegree = 8;

  // W = sum of coefficients[k] x term k, un-normalised, nanometres. The
  // program-wide basis is set to 42 terms of the given type for the
  // evaluation and restored. False, with the reason, when the polynomial
  // does not reproduce the terms (it always should).
  bool Build(const ZernikeCoefficients& coefficients, std::uint8_t polynomialType, double obstruction,
             std::string* why = nullptr);

  // Along the row y: W(x) = sum a[i] x^i and dW/dy(x) = sum b[i] x^i.
  struct Row {
    std::array<double, kDegree + 1> a{};
    std::array<double, kDegree + 1> b{};
    double Value(double x) const {
      double v = a[kDegree];
      for (int i = kDegree - 1; i >= 0; --i) v = v * x + a[i];
      return v;
    }
    double SlopeX(double x) const {
      double v = kDegree * a[kDegree];
      for (int i = kDegree - 1; i >= 1; --i) v = v * x + i * a[i];
      return v;
    }
    double SlopeY(double x) const {
      double v = b[kDegree];
      for (int i = kDegree - 1; i >= 0; --i) v = v * x + b[i];
      return v;
    }
  };
  void RowAt(double y, Row& row) const;

  double Value(double x, double y) const;
  // Largest |grad W| over the pupil (nm per pupil radius), sampled finely.
  double MaxSlope(double obstruction) const;
  bool IsZero() const { return zero_; }

 private:
  // c_[i][j] multiplies x^i y^j, i + j <= kDegree.
  std::array<std::array<double, kDegree + 1>, kDegree + 1> c_{};
  bool zero_ = true;
};

}  // namespace caustica
