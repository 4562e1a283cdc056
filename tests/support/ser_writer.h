// A small SER writer for tests: any depth and byte order, Bayer and RGB
// layouts, an optional trailer, and header fields set to anything.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/u_fonctionxy.h"

namespace caustica::test {

// Byte offsets of the header fields, for tests that damage one.
enum : int {
  kSerColorIdAt = 18,
  kSerLittleEndianAt = 22,
  kSerWidthAt = 26,
  kSerHeightAt = 30,
  kSerDepthAt = 34,
  kSerFrameCountAt = 38,
};

struct SerVideo {
  std::int32_t ColorId = 0;
  std::int32_t Width = 4;
  std::int32_t Height = 3;
  std::int32_t Depth = 8;  // 1-8: one byte per sample, 9-16: two
  bool BigEndian = false;  // byte order of 16-bit samples
  // Samples of each frame, row by row, colour planes interleaved (R G B ...).
  std::vector<std::vector<std::uint16_t>> Frames;
  std::vector<std::int64_t> Stamps;  // the trailer, written when not empty
  std::string Observer = "tester", Instrument = "camera", Telescope = "scope";
};

// The LittleEndian field as most writers set it: 0 for little-endian.
std::int32_t SerEndianField(bool bigEndian);

std::string BuildSer(const SerVideo& video);

// Plane 1 of a simulated frame as a 16-bit camera gives it: rounded, clamped
// to 0..65535, row by row.
std::vector<std::uint16_t> CameraSamples(const TFctXY& frame);

// Overwrites a little-endian 32-bit field of a built file.
void PutInt32(std::string& bytes, int offset, std::int32_t value);

}  // namespace caustica::test
