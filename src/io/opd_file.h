// The optical-path-difference export: a text file of the samples inside the
// pupil, with positions in millimetres and the path difference in waves.
#pragma once

#include <string>

#include "core/u_fonctionxy.h"

namespace caustica {

// Line 1 "wavelength,diameter" (nanometres, millimetres: 2e-6 x Scale), then
// "x,y,w" for every mask-1 sample row by row, x and y the axes times Scale in
// millimetres and w the value in waves. Numbers in the general form with "."
// whatever the locale, exponent form below 1E-4; lines end with CR LF.
// Empty when the wavelength is not positive (there are no waves to count).
std::string OpdText(const TFctXY& grid, double wavelength);

// Writes OpdText atomically. False, with the reason in error, when the
// wavelength is not positive or the file cannot be written.
bool WriteOpdFile(const std::string& fileName, const TFctXY& grid, double wavelength,
                  std::string* error = nullptr);

}  // namespace caustica
