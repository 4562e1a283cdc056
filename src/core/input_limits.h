// The largest and smallest inputs the program takes, stated once. Each is
// checked against what a file announces, before anything is allocated for
// it, so that a small damaged file cannot ask for gigabytes.
#pragma once

#include <cstdint>
#include <string>

namespace caustica {

// Largest frame: samples per plane (a 7680 x 5200 sensor) and bytes of the
// decoded data unit, all planes, as the reader holds them.
inline constexpr std::int64_t kMaxFramePixels = 40'000'000;
inline constexpr std::int64_t kMaxFrameBytes = std::int64_t{512} << 20;

// Most frames one sequence (a video, a cube or a list of files) may
// announce; each is read on its own, so this bounds only the tables kept
// per frame (time stamps, file names).
inline constexpr std::int64_t kMaxSequenceFrames = 100'000;

// Smallest and thinnest frame that can hold a pupil: the threshold search
// cuts the frame into blocks, and the reconstruction pads the longer side
// to a square, so a thin strip costs a huge square for nothing.
inline constexpr int kMinFrameSide = 16;
inline constexpr int kMaxFrameAspect = 8;

// Largest JPEG picture: width x height x components, progressive files
// included (their decoder keeps every coefficient of the picture).
inline constexpr std::int64_t kMaxJpegSamples = 3 * kMaxFramePixels;

// Largest decompressed size of a gzip file or of a tile-compressed image:
// the header and data unit of the largest frame.
inline constexpr std::int64_t kMaxDecompressedBytes = kMaxFrameBytes + (std::int64_t{1} << 20);

// Why a width x height frame cannot hold a pupil, or empty when it can.
inline std::string FrameShapeRefusal(std::int64_t width, std::int64_t height) {
  const auto size = std::to_string(width) + " x " + std::to_string(height);
  if (width < kMinFrameSide || height < kMinFrameSide)
    return "the frame of " + size + " is smaller than " + std::to_string(kMinFrameSide) + " x " +
           std::to_string(kMinFrameSide);
  if (width > kMaxFrameAspect * height || height > kMaxFrameAspect * width)
    return "the frame of " + size + " is too thin to hold a pupil (more than " +
           std::to_string(kMaxFrameAspect) + " to 1)";
  if (width * height > kMaxFramePixels)
    return "the frame of " + size + " is larger than " + std::to_string(kMaxFramePixels / 1'000'000) +
           " million samples";
  return {};
}

}  // namespace caustica

namespace caustica {

// The reason the last refusal of an input on this thread gave (a reader
// or the opening of a test image), for front ends that show more than the
// system's short message. Cleared by each new read.
void NoteInputRefusal(const std::string& reason);
const std::string& LastInputRefusal();

}  // namespace caustica
