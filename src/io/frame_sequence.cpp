#include "io/frame_sequence.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "core/image_info.h"
#include "core/input_limits.h"
#include "io/u_fichier.h"

namespace caustica {

namespace {

std::string NameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

enum class FileKind { kUnreadable, kFits, kSer, kOther };

// By content, not by extension: cameras and converters name files freely.
FileKind KindOf(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) return FileKind::kUnreadable;
  char head[14] = {};
  const std::size_t n = std::fread(head, 1, sizeof head, f.get());
  if (n == sizeof head && std::memcmp(head, "LUCAM-RECORDER", 14) == 0) return FileKind::kSer;
  if (n >= 9 && std::memcmp(head, "SIMPLE  =", 9) == 0) return FileKind::kFits;
  if (n >= 2 && static_cast<unsigned char>(head[0]) == 0x1f && static_cast<unsigned char>(head[1]) == 0x8b)
    return FileKind::kFits;  // gzip: the FITS reader inflates it and says if it is not one
  return FileKind::kOther;
}

std::string Size(int w, int h) { return std::to_string(w) + " x " + std::to_string(h); }

}  // namespace

void FrameSequence::Reset() {
  kind_ = Kind::kNone;
  paths_.clear();
  video_.reset();
  count_ = width_ = height_ = 0;
  description_.clear();
}

bool FrameSequence::Refuse(const std::string& why) {
  Reset();
  refusal_ = why;
  NoteInputRefusal(why);
  return false;
}

bool FrameSequence::Open(const std::vector<std::string>& paths) {
  Reset();
  refusal_.clear();
  if (paths.empty()) return Refuse("no file given");
  if (static_cast<std::int64_t>(paths.size()) > kMaxSequenceFrames)
    return Refuse(std::to_string(paths.size()) + " files are more than the " +
                  std::to_string(kMaxSequenceFrames) + " frames a sequence may hold");

  for (const std::string& path : paths) {
    const std::string name = NameOf(path);
    switch (KindOf(path)) {
      case FileKind::kUnreadable:
        return Refuse(name + ": the file cannot be opened");
      case FileKind::kOther:
        return Refuse(name + ": neither a FITS image nor a SER video");
      case FileKind::kSer:
        if (paths.size() != 1) return Refuse(name + ": a SER video is opened on its own, not in a list");
        break;
      case FileKind::kFits:
        break;
    }
  }

  if (KindOf(paths.front()) == FileKind::kSer) {
    auto video = std::make_unique<SerFile>();
    if (!video->Open(paths.front())) return Refuse(NameOf(paths.front()) + ": " + video->Refusal());
    const SerHeader& h = video->Header();
    paths_ = paths;
    kind_ = Kind::kSerVideo;
    count_ = video->FrameCount();
    width_ = video->FrameWidth();
    height_ = video->FrameHeight();
    description_ = "SER video of " + std::to_string(count_) + (count_ == 1 ? " frame, " : " frames, ") +
                   std::to_string(h.PixelDepthPerPlane) + "-bit, " + video->Conversion();
    video_ = std::move(video);
    return true;
  }

  int total = 0;
  for (const std::string& path : paths) {
    const std::string name = NameOf(path);
    std::int32_t w = 0, h = 0, frames = 0;
    TImgInfos infos;
    if (ProbeFitsFrames(path, w, h, frames, infos) != kFitsRead)
      return Refuse(name + ": " +
                    (LastInputRefusal().empty() ? "the FITS file cannot be read" : LastInputRefusal()));
    if (frames == 0) return Refuse(name + ": the FITS file holds no image");
    if (infos.Naxis >= 3 && infos.Naxis3 == 3)
      return Refuse(name + ": a colour image (three planes) is one picture, not a sequence of frames");
    if (frames > 1 && paths.size() > 1)
      return Refuse(name + ": a cube of " + std::to_string(frames) +
                    " frames is opened on its own, not in a list");
    if (total == 0) {
      width_ = w;
      height_ = h;
    } else if (w != width_ || h != height_) {
      return Refuse(name + ": its frame of " + Size(w, h) + " differs from the first file's " +
                    Size(width_, height_));
    }
    total += frames;
  }
  paths_ = paths;
  count_ = total;
  if (paths.size() == 1 && total > 1) {
    kind_ = Kind::kFitsCube;
    description_ = "FITS cube of " + std::to_string(total) + " frames";
  } else {
    kind_ = Kind::kFitsFiles;
    description_ = std::to_string(total) + (total == 1 ? " FITS file" : " FITS files");
  }
  return true;
}

std::string FrameSequence::FrameSource(int frame) const {
  if (frame < 1 || frame > count_) return {};
  if (kind_ == Kind::kFitsFiles) return NameOf(paths_[static_cast<std::size_t>(frame - 1)]);
  return NameOf(paths_.front()) + ", frame " + std::to_string(frame);
}

bool FrameSequence::ReadFrame(int frame, DoublePlanes& plane) {
  plane.Clear();
  auto fail = [this](const std::string& why) {
    refusal_ = why;
    NoteInputRefusal(why);
    return false;
  };
  if (frame < 1 || frame > count_)
    return fail("frame " + std::to_string(frame) + " is not among the " + std::to_string(count_) +
                " frames of the sequence");
  const std::string source = FrameSource(frame);
  if (kind_ == Kind::kSerVideo) {
    if (!video_->ReadFrame(frame, plane)) return fail(source + ": " + video_->Refusal());
    return true;
  }
  const bool files = kind_ == Kind::kFitsFiles;
  const std::string& path = files ? paths_[static_cast<std::size_t>(frame - 1)] : paths_.front();
  std::int32_t w = 0, h = 0;
  TImgInfos infos;
  if (ReadFitsFrame(path, files ? 1 : frame, plane, w, h, infos) != kFitsRead) {
    plane.Clear();
    return fail(source + ": " +
                (LastInputRefusal().empty() ? "the FITS file cannot be read" : LastInputRefusal()));
  }
  // The file may have changed since the sequence was opened.
  if (plane.Empty() || w != width_ || h != height_) {
    plane.Clear();
    return fail(source + ": the frame is no longer the " + Size(width_, height_) +
                " frame it was when opened");
  }
  return true;
}

}  // namespace caustica
