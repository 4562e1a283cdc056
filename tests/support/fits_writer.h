// A small FITS writer for tests: headers card by card, any sample format,
// cubes and colour, deliberately broken files, gzip and tile compression.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace caustica::test {

// One 80-character card: "KEYWORD = value / comment" (value field as given).
std::string Card(const std::string& keyword, const std::string& value, const std::string& comment = "");
// A card with a quoted text value; quotes inside are doubled.
std::string TextCard(const std::string& keyword, const std::string& text);
// Any text padded or cut to 80 characters.
std::string RawCard(const std::string& text);

// Cards joined and padded with spaces to whole 2880-byte blocks; END is
// appended unless withEnd is false.
std::string BuildHeader(const std::vector<std::string>& cards, bool withEnd = true);

// Raw samples in the big-endian layout of the given BITPIX, without padding.
std::string EncodeSamples(int bitpix, const std::vector<double>& raw);

struct FitsImage {
  int Bitpix = 16;
  int Width = 4;
  int Height = 3;
  int Planes = 1;                  // more than one writes NAXIS = 3
  std::vector<std::string> Cards;  // extra cards after the mandatory ones
  bool WithEnd = true;
  std::vector<double> Raw;  // file values (before BZERO/BSCALE), plane by plane, row by row
};

// The whole file: header, samples, data padded to a whole block.
std::string BuildFits(const FitsImage& image);

void WriteGzipFile(const std::string& path, const std::string& bytes);

// A tile-compressed 16-bit image (empty primary unit, image in extension 1)
// written through CFITSIO; method "R" for Rice, "G" for gzip tiles.
bool WriteTileCompressed16(const std::string& path, int width, int height,
                           const std::vector<std::int16_t>& raw, double bzero,
                           const std::string& method = "R");

}  // namespace caustica::test
