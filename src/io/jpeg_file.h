// JPEG pictures: decoding a colour photograph into 8-bit RGB, and encoding a
// rendered raster as a JPEG file.
#pragma once

#include <string>

#include "core/raster.h"

namespace caustica {

// Decodes a JPEG file into RGB rows; a grey JPEG gives three equal
// channels. A missing, corrupt, truncated or non-JPEG file is a clean
// failure (false, error filled, image left empty).
bool DecodeJpegFile(const std::string& fileName, TRaster& image, std::string* error = nullptr);
bool DecodeJpegBytes(const unsigned char* data, std::size_t size, TRaster& image,
                     std::string* error = nullptr);

// Encodes the raster as a baseline JPEG (quality 90, no chroma subsampling)
// and writes it atomically.
bool EncodeJpegFile(const std::string& fileName, const TRaster& image, int quality = 90,
                    std::string* error = nullptr);

}  // namespace caustica
