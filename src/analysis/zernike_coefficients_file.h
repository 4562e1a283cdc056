// Zernike term names and the coefficient text file.
#pragma once

#include <string>

#include "analysis/u_zernike.h"

namespace caustica {

// Radial degree n and signed azimuthal frequency m (negative for the sine
// member) of term k; 0 and 0 outside 1..42.
void ZernikeTermOrder(int k, int& n, int& m);

// The fixed name of terms 1..28, the polynomial's ZernikeName text beyond;
// empty outside 1..42.
std::string ZernikeTermName(int k);

// Lines "k;name;value" for k = 1..termCount (clamped to 0..42), the values
// RMS-normalised with the basis (the program-wide one without), in the
// general form with up to 15 significant digits and the given decimal
// separator; CR LF line ends.
std::string ZernikeCoefficientsText(const TZernikeBasis& basis, const ZernikeCoefficients& coefficients,
                                    int termCount, char separator);
std::string ZernikeCoefficientsText(const ZernikeCoefficients& coefficients, int termCount, char separator);

// Writes the text atomically with the user's decimal separator; the file name
// is used as given. False, with the reason in error, when it cannot be written.
bool SaveZernikeCoefficients(const std::string& fileName, const ZernikeCoefficients& coefficients,
                             int termCount, std::string* error = nullptr);
// The same normalised with the basis the coefficients were fitted with.
bool SaveZernikeCoefficients(const std::string& fileName, const TZernikeBasis& basis,
                             const ZernikeCoefficients& coefficients, int termCount,
                             std::string* error = nullptr);

}  // namespace caustica
