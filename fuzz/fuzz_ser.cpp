// SER videos as cameras write them (the seeds cover every depth, both byte
// orders, Bayer and colour layouts, with and without a trailer), read as
// the video itself and as a frame sequence.
#include <cmath>
#include <cstring>

#include "core/input_limits.h"
#include "fuzz_common.h"
#include "io/frame_sequence.h"
#include "io/ser_file.h"

using namespace caustica;

namespace {

bool Finite(const DoublePlanes& p) {
  for (std::size_t i = 0; i < p.PlaneSize(); ++i)
    if (!std::isfinite(p.PlaneData(1)[i])) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = fuzz::WriteScratch(data, size, ".ser");
  SerFile ser;
  const bool open = ser.Open(path);
  fuzz::Require(open == ser.IsOpen(), "open state");
  if (!open) {
    fuzz::Require(!ser.Refusal().empty(), "a refusal says why");
  } else {
    fuzz::Require(ser.FrameCount() >= 1 && ser.FrameCount() <= kMaxSequenceFrames, "frame count");
    fuzz::Require(static_cast<std::int64_t>(ser.FrameWidth()) * ser.FrameHeight() <= kMaxFramePixels,
                  "frame limit");
    fuzz::Require(ser.TimeStamps().empty() || static_cast<int>(ser.TimeStamps().size()) == ser.FrameCount(),
                  "one stamp per frame");
    // First and last frame: the ends of the data are where sizes go wrong.
    for (int f : {1, ser.FrameCount()}) {
      DoublePlanes plane;
      fuzz::Require(ser.ReadFrame(f, plane), "a checked frame reads");
      fuzz::Require(plane.Width() == ser.FrameWidth() && plane.Height() == ser.FrameHeight(), "frame size");
      fuzz::Require(Finite(plane), "finite samples");
    }
  }
  // A file without the video's mark may still be a FITS image to the sequence.
  const bool marked = size >= 14 && std::memcmp(data, "LUCAM-RECORDER", 14) == 0;
  FrameSequence seq;
  const bool opened = seq.Open({path});
  if (marked) fuzz::Require(opened == open, "the sequence agrees with the reader");
  if (!opened) fuzz::Require(seq.Refusal().find("caustica-fuzz-") == 0, "the reason names the file");
  return 0;
}
