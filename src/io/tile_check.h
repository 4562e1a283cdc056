// Checks a tile-compressed image against its file before the FITS library
// decodes anything: the compression keywords, the table and heap sizes,
// every tile's place in the heap and every tile's stream, so that no
// damaged tile ever reaches the library's decoders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace caustica {

// file holds the whole file; unitStart is the offset of the extension's
// header (the end of the empty primary unit). True when the image can be
// decoded safely; otherwise why says what is wrong.
bool CheckTileCompressedImage(std::string_view file, std::int64_t unitStart, std::string* why);

// A Rice-coded tile: true when bytes decode to exactly pixels values of
// bytePix bytes, in blocks of blockSize, without reading past the end.
bool RiceTileIsWhole(std::string_view bytes, std::int64_t pixels, int bytePix, int blockSize);

}  // namespace caustica
