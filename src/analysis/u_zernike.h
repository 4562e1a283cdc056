// Zernike polynomials: numbering of the 42 terms, evaluation as circle or
// annular polynomials, their names, RMS normalisation and selection sets.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace caustica {

inline constexpr int kZernikeTermCount = 42;

// Tables indexed by term number 1..42; element 0 is unused.
using ZernikeCoefficients = std::array<double, kZernikeTermCount + 1>;
using ZernikeSelection = std::array<bool, kZernikeTermCount + 1>;
using ZernikeValues = std::array<double, kZernikeTermCount + 1>;

// Basis type codes.
inline constexpr std::uint8_t kAnnularPolynomials = 0;
inline constexpr std::uint8_t kCirclePolynomials = 1;
inline constexpr int kKeepPolynomialType = 255;

struct TZernikeBasis {
  std::uint8_t PolynomialType = kAnnularPolynomials;
  std::array<double, kZernikeTermCount + 1> NormFactors{};
  std::uint8_t MaxOrder = 0;
  std::uint8_t PolynomialCount = 0;
};

// The program-wide basis settings. Starts as 22 annular terms, the
// preference defaults, until the preferences set it. The core takes a basis
// by argument; this record is what the front ends hand it.
extern TZernikeBasis ZernikeBasis;

// The basis of count terms (clamped to 0..42) of the given type.
TZernikeBasis MakeZernikeBasis(int count, std::uint8_t type);

// Index of the term of radial degree n and azimuthal frequency m >= 0 (its
// cosine member when m > 0); the sine partner is the next index.
constexpr int ZernikeIndex(int n, int m) { return n * (n + 1) / 2 + m + (m == 0 ? 1 : 0); }

// count is clamped to 0..42; type 255 keeps the current type.
void SetZernikeBasis(int count, int type);

// Values of terms 1..42 at (x, y) in pupil units, un-normalised. Returns
// the inside flag; outside the domain (r > 1, or r below the obstruction
// for annular polynomials; no point at all for an obstruction of 1 or more)
// every value is 0. Terms that MaxOrder does not reach are 0 as well.
bool EvaluateZernike(const TZernikeBasis& basis, double obstruction, double y, double x,
                     ZernikeValues& values);
bool EvaluateZernike(double obstruction, double y, double x, ZernikeValues& values);

// Name of the radial polynomial and its angular factor; m < 0 is the sine term.
std::string ZernikeName(int n, int m);

// RMS normalisation of terms 1..PolynomialCount of a basis; the forms
// without a basis use ZernikeBasis.
void ToNormalised(const TZernikeBasis& basis, ZernikeCoefficients& coefficients);
void FromNormalised(const TZernikeBasis& basis, ZernikeCoefficients& coefficients);
void ToNormalised(ZernikeCoefficients& coefficients);
void FromNormalised(ZernikeCoefficients& coefficients);
void ClearCoefficients(ZernikeCoefficients& coefficients);
void SelectAll(ZernikeSelection& selection);
ZernikeSelection SelectionWithout(const ZernikeSelection& selection, bool tiltAndFocus, bool coma);
ZernikeSelection SelectionWithoutTilt(const ZernikeSelection& selection);

}  // namespace caustica
