// Writing 16-bit FITS images: camera frames made by the simulator, in the
// layout cameras use (unsigned samples stored with BZERO 32768) and with the
// header keywords our reader turns back into the image information.
#pragma once

#include <string>

#include "core/u_class.h"
#include "io/u_fichier.h"

namespace caustica {

// Writes plane 1 of samples (width x height) as a BITPIX 16 image, file row
// r = row r. Values are rounded half-to-even and clamped to 0..65535 (not a
// number counts as 0). The header carries, besides the mandatory cards,
// BZERO 32768 and BSCALE 1, DATAMIN and DATAMAX of the written values, and
// from infos the fields that are set: DATE-OBS, OBSERVER, TELESCOP,
// INSTRUME, FILTERS, OBSERVAT, EXPOSURE, FOCLEN (in metres, so that the
// reader's FocalLength comes back in millimetres), XPIXELSZ and YPIXELSZ
// (micrometres), BINX, BINY, DIAMETER (millimetres) and up to four COMMENT
// cards. The file is written atomically. False, with the reason in error,
// when the size is unusable or the file cannot be written; an existing file
// of that name is then left as it was.
bool WriteFits16(const std::string& fileName, const DoublePlanes& samples, int width, int height,
                 const TImgInfos& infos, std::string* error = nullptr);

}  // namespace caustica
