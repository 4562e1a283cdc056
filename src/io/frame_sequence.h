// Frames to be taken together against seeing: several FITS files, one FITS
// cube or one SER video, seen as one numbered sequence read frame by frame.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/u_class.h"
#include "io/ser_file.h"

namespace caustica {

class FrameSequence {
 public:
  enum class Kind { kNone, kFitsFiles, kFitsCube, kSerVideo };

  // Opens the files as one sequence: any number of single-frame FITS files
  // of one size, or one FITS cube, or one SER video. Every file is checked
  // before the call returns; a file of another kind, a damaged one or one
  // that does not fit with the others is refused with its name in the
  // reason (Refusal(), also noted as the last input refusal).
  bool Open(const std::vector<std::string>& paths);

  Kind GetKind() const { return kind_; }
  int Count() const { return count_; }
  int FrameWidth() const { return width_; }
  int FrameHeight() const { return height_; }
  // For the summary: "12 FITS files", "FITS cube of 30 frames",
  // "SER video of 100 frames, 16-bit, Bayer RGGB, binned 2x2 to luminance".
  const std::string& Description() const { return description_; }
  // Where frame 1..Count() comes from: "a.fits", "cube.fits, frame 3".
  std::string FrameSource(int frame) const;
  // The open video (its time stamps), or null for FITS sequences.
  const SerFile* Video() const { return video_.get(); }

  // Frame 1..Count() as one plane of doubles, FrameWidth() x FrameHeight().
  bool ReadFrame(int frame, DoublePlanes& plane);

  const std::string& Refusal() const { return refusal_; }

 private:
  bool Refuse(const std::string& why);
  void Reset();

  Kind kind_ = Kind::kNone;
  std::vector<std::string> paths_;
  std::unique_ptr<SerFile> video_;
  int count_ = 0, width_ = 0, height_ = 0;
  std::string description_, refusal_;
};

}  // namespace caustica
