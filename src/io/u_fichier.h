// FITS images: header information and the data reader.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "core/image_info.h"
#include "core/u_class.h"

namespace caustica {

// Status of ReadFitsFile.
enum : std::uint8_t { kFitsRead = 0, kFitsIoError = 2 };

// Reads a FITS image. On success (0) exactly one of samples16 and samples64
// holds the data, or neither when the sample format gives no samples; on
// failure (2) neither is allocated.
std::uint8_t ReadFitsFile(const std::string& fileName, Int16Planes& samples16, DoublePlanes& samples64,
                          std::int32_t& width, std::int32_t& height, std::int32_t& planeCount,
                          std::uint8_t& typeCode, TImgInfos& infos);

// Plane 1 of the same image as doubles, the samples ReadFitsFile would give
// widened exactly, read without the 16-bit intermediate. Same status codes;
// plane stays empty when the file holds no samples.
std::uint8_t ReadFitsPlaneAsDoubles(const std::string& fileName, DoublePlanes& plane, std::int32_t& width,
                                    std::int32_t& height, TImgInfos& infos);

// A FITS file as a sequence of frames, each plane one frame, read one at a
// time so that the size limits hold per frame. ProbeFitsFrames gives the
// frame size and count (0 when the file holds no samples) without reading
// samples; ReadFitsFrame reads frame 1..frameCount as ReadFitsPlaneAsDoubles
// reads plane 1. Same status codes.
std::uint8_t ProbeFitsFrames(const std::string& fileName, std::int32_t& width, std::int32_t& height,
                             std::int32_t& frameCount, TImgInfos& infos);
std::uint8_t ReadFitsFrame(const std::string& fileName, std::int32_t frame, DoublePlanes& plane,
                           std::int32_t& width, std::int32_t& height, TImgInfos& infos);

// Parses the header cards; true when an END card was reached. headerLength
// is the byte offset of the data unit.
bool ReadFitsHeader(const std::string& fileName, std::int64_t& headerLength, TImgInfos& infos);

// Best rank so far of each of the 34 precedence groups of the keyword
// table; a card is stored only when its rank does not lose against it.
struct TFitsRanks {
  std::array<std::uint8_t, 34> Best;
  TFitsRanks() { Reset(); }
  void Reset() { Best.fill(255); }
};

// Applies one header card through the keyword table; unknown keywords are
// ignored. Throws std::invalid_argument when a numeric value does not parse.
// The three-argument form keeps its ranks between calls; ReadFitsHeader
// resets them, ResetFitsRanks does so explicitly.
void ApplyFitsKeyword(const std::string& keyword, const std::string& value, TImgInfos& infos);
void ApplyFitsKeyword(const std::string& keyword, const std::string& value, TImgInfos& infos,
                      TFitsRanks& ranks);
void ResetFitsRanks();

// Number with either "." or "," as decimal separator; throws
// std::invalid_argument on a malformed number.
double ParseFloatAnySeparator(const std::string& text);
// Number with the user's decimal separator; 0 when it does not convert.
double ParseFloatOrZero(const std::string& text);

// The text before and after the first "T" of a DATE-OBS value.
std::string DatePart(const std::string& text);
std::string TimePart(const std::string& text);

}  // namespace caustica
