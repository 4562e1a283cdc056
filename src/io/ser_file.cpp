#include "io/ser_file.h"

#include <sys/types.h>

#include <cstring>
#include <new>

#include "core/input_limits.h"

namespace caustica {

namespace {

constexpr char kFileId[] = "LUCAM-RECORDER";
constexpr int kFileIdSize = 14;
constexpr int kTextSize = 40;

std::int32_t Int32At(const unsigned char* p) {
  const std::uint32_t v =
      std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
  return static_cast<std::int32_t>(v);
}

std::int64_t Int64At(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int k = 7; k >= 0; --k) v = v << 8 | p[k];
  return static_cast<std::int64_t>(v);
}

// A fixed text field: up to its first NUL, trailing spaces removed.
std::string TextAt(const unsigned char* p) {
  std::string s(reinterpret_cast<const char*>(p), kTextSize);
  s.resize(std::strlen(s.c_str()));
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.pop_back();
  return s;
}

const char* BayerName(std::int32_t colour) {
  switch (colour) {
    case kSerBayerRggb:
      return "RGGB";
    case kSerBayerGrbg:
      return "GRBG";
    case kSerBayerGbrg:
      return "GBRG";
    case kSerBayerBggr:
      return "BGGR";
    case kSerBayerCyym:
      return "CYYM";
    case kSerBayerYcmy:
      return "YCMY";
    case kSerBayerYmcy:
      return "YMCY";
    case kSerBayerMyyc:
      return "MYYC";
    default:
      return nullptr;
  }
}

std::int64_t FileSize(std::FILE* f) {
  if (fseeko(f, 0, SEEK_END) != 0) return -1;
  return static_cast<std::int64_t>(ftello(f));
}

// Raw samples of one frame as doubles; the conversions below only add and
// scale them, so the 8- and 16-bit paths share them.
struct Samples {
  const unsigned char* Data;
  int Bytes;
  bool BigEndian;
  double operator()(std::size_t i) const {
    if (Bytes == 1) return Data[i];
    const unsigned char* p = Data + 2 * i;
    return BigEndian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
  }
};

}  // namespace

SerFile::SerFile() = default;
SerFile::~SerFile() = default;

bool SerFile::Refuse(const std::string& why) {
  refusal_ = why;
  NoteInputRefusal(why);
  Close();
  return false;
}

void SerFile::Close() {
  file_.reset();
  header_ = SerHeader();
  frameWidth_ = frameHeight_ = bytesPerSample_ = planes_ = 0;
  frameBytes_ = 0;
  binned_ = false;
  conversion_.clear();
  stampNote_.clear();
  stamps_.clear();
  buffer_.clear();
  buffer_.shrink_to_fit();
}

bool SerFile::Open(const std::string& path, SerEndianRule rule) {
  Close();
  refusal_.clear();
  NoteInputRefusal("");
  try {
    file_.reset(std::fopen(path.c_str(), "rb"));
    if (!file_) return Refuse("the file cannot be opened");
    // Frames are large reads of their own; no buffer keeps bytes the file
    // may no longer hold.
    std::setvbuf(file_.get(), nullptr, _IONBF, 0);
    const std::int64_t size = FileSize(file_.get());
    if (size < 0) return Refuse("the file cannot be read");
    if (size < kSerHeaderSize)
      return Refuse("the file is shorter than the " + std::to_string(kSerHeaderSize) +
                    "-byte header of a SER video");
    unsigned char h[kSerHeaderSize];
    if (fseeko(file_.get(), 0, SEEK_SET) != 0 || std::fread(h, 1, sizeof h, file_.get()) != sizeof h)
      return Refuse("the header cannot be read");
    if (std::memcmp(h, kFileId, kFileIdSize) != 0)
      return Refuse("the file does not start with \"LUCAM-RECORDER\": not a SER video");

    SerHeader& hd = header_;
    hd.LuId = Int32At(h + 14);
    hd.ColorId = Int32At(h + 18);
    hd.LittleEndian = Int32At(h + 22);
    hd.ImageWidth = Int32At(h + 26);
    hd.ImageHeight = Int32At(h + 30);
    hd.PixelDepthPerPlane = Int32At(h + 34);
    hd.FrameCount = Int32At(h + 38);
    hd.Observer = TextAt(h + 42);
    hd.Instrument = TextAt(h + 82);
    hd.Telescope = TextAt(h + 122);
    hd.DateTime = Int64At(h + 162);
    hd.DateTimeUtc = Int64At(h + 170);
    const SerHeader copy = hd;  // Refuse clears the header

    const std::int64_t w = copy.ImageWidth, hgt = copy.ImageHeight;
    if (w <= 0 || hgt <= 0)
      return Refuse("the frame size " + std::to_string(w) + " x " + std::to_string(hgt) + " is not positive");
    const std::int32_t depth = copy.PixelDepthPerPlane;
    if (depth < 1 || depth > 16)
      return Refuse("the pixel depth " + std::to_string(depth) + " is not between 1 and 16 bits");
    const char* bayer = BayerName(copy.ColorId);
    const bool rgb = copy.ColorId == kSerRgb || copy.ColorId == kSerBgr;
    if (copy.ColorId != kSerMono && !bayer && !rgb)
      return Refuse("the colour code " + std::to_string(copy.ColorId) + " is unknown");
    if (copy.FrameCount <= 0)
      return Refuse("the video announces " + std::to_string(copy.FrameCount) + " frames");
    if (copy.FrameCount > kMaxSequenceFrames)
      return Refuse("the video announces " + std::to_string(copy.FrameCount) + " frames, more than " +
                    std::to_string(kMaxSequenceFrames));
    if (bayer && (w < 2 || hgt < 2))
      return Refuse("the Bayer frame of " + std::to_string(w) + " x " + std::to_string(hgt) +
                    " is too small to bin 2x2");

    // Both sides are below 2^31, so their product and the later products
    // stay far inside 64 bits once each is checked against its limit.
    const std::int64_t pixels = w * hgt;
    if (pixels > kMaxFramePixels)
      return Refuse("the frame of " + std::to_string(w) + " x " + std::to_string(hgt) + " is larger than " +
                    std::to_string(kMaxFramePixels / 1'000'000) + " million samples");
    const int planes = rgb ? 3 : 1;
    const int bytes = depth <= 8 ? 1 : 2;
    const std::int64_t frameBytes = pixels * planes * bytes;
    if (frameBytes > kMaxFrameBytes)
      return Refuse("a frame is larger than the largest frame the program takes");
    const std::int64_t dataBytes = frameBytes * copy.FrameCount;
    const std::int64_t held = size - kSerHeaderSize;
    if (dataBytes > held)
      return Refuse("the video announces " + std::to_string(copy.FrameCount) + " frames of " +
                    std::to_string(frameBytes) + " bytes but holds only " +
                    std::to_string(held / frameBytes) + " whole frames");

    header_ = copy;
    bytesPerSample_ = bytes;
    planes_ = planes;
    frameBytes_ = frameBytes;
    // 8-bit samples have no byte order.
    const bool flagSaysLittle =
        rule == SerEndianRule::kCommon ? copy.LittleEndian == 0 : copy.LittleEndian != 0;
    bigEndian_ = bytes == 2 && !flagSaysLittle;
    if (bayer) {
      // Each 2x2 cell holds one of every filter colour: their mean is a
      // luminance sample at half the resolution. An odd last row or column
      // has no full cell and is left out.
      binned_ = true;
      frameWidth_ = static_cast<int>(w / 2);
      frameHeight_ = static_cast<int>(hgt / 2);
      conversion_ = std::string("Bayer ") + bayer + ", binned 2x2 to luminance";
    } else {
      frameWidth_ = static_cast<int>(w);
      frameHeight_ = static_cast<int>(hgt);
      conversion_ = rgb ? (copy.ColorId == kSerRgb ? "RGB to luminance" : "BGR to luminance") : "mono";
    }
    ReadTrailer(size);
    return true;
  } catch (const std::bad_alloc&) {
    return Refuse("not enough memory for the video");
  }
}

void SerFile::ReadTrailer(std::int64_t fileSize) {
  const std::int64_t end = kSerHeaderSize + frameBytes_ * header_.FrameCount;
  const std::int64_t left = fileSize - end, want = std::int64_t{8} * header_.FrameCount;
  if (left == 0) {
    stampNote_ = "no time stamps";
    return;
  }
  if (left < want) {
    stampNote_ = "the trailer holds fewer than one time stamp per frame; time stamps ignored";
    return;
  }
  std::vector<unsigned char> raw(static_cast<std::size_t>(want));
  if (fseeko(file_.get(), static_cast<off_t>(end), SEEK_SET) != 0 ||
      std::fread(raw.data(), 1, raw.size(), file_.get()) != raw.size()) {
    stampNote_ = "the trailer cannot be read; time stamps ignored";
    return;
  }
  std::vector<std::int64_t> stamps(static_cast<std::size_t>(header_.FrameCount));
  for (std::size_t i = 0; i < stamps.size(); ++i) {
    stamps[i] = Int64At(raw.data() + 8 * i);
    // Capture times only go forward; zeros are what writers put when they
    // have no clock.
    if (stamps[i] <= 0 || (i > 0 && stamps[i] < stamps[i - 1])) {
      stampNote_ =
          "time stamp " + std::to_string(i + 1) + " is not after the one before; time stamps ignored";
      return;
    }
  }
  stamps_ = std::move(stamps);
  stampNote_ = left > want ? "time stamps read; bytes after them ignored" : "time stamps read";
}

bool SerFile::ReadFrame(int frame, DoublePlanes& plane) {
  plane.Clear();
  if (!file_) {
    refusal_ = "the video is not open";
    NoteInputRefusal(refusal_);
    return false;
  }
  auto fail = [this](const std::string& why) {
    refusal_ = why;
    NoteInputRefusal(why);
    return false;
  };
  if (frame < 1 || frame > header_.FrameCount)
    return fail("frame " + std::to_string(frame) + " is not among the " + std::to_string(header_.FrameCount) +
                " frames of the video");
  try {
    buffer_.resize(static_cast<std::size_t>(frameBytes_));
    const std::int64_t at = kSerHeaderSize + frameBytes_ * (frame - 1);
    if (fseeko(file_.get(), static_cast<off_t>(at), SEEK_SET) != 0 ||
        std::fread(buffer_.data(), 1, buffer_.size(), file_.get()) != buffer_.size())
      return fail("frame " + std::to_string(frame) +
                  " cannot be read: the file is shorter than its header says");

    const Samples s{buffer_.data(), bytesPerSample_, bigEndian_};
    const std::size_t w = static_cast<std::size_t>(header_.ImageWidth);
    plane.AllocateForOverwrite(frameWidth_, frameHeight_, 1);
    if (planes_ == 3) {
      // Equal weights: every colour's light counts the same, so the frame
      // stays a linear measure of the star's brightness.
      for (int r = 1; r <= frameHeight_; ++r) {
        double* row = plane[1][r];
        const std::size_t base = static_cast<std::size_t>(r - 1) * w * 3;
        for (std::size_t c = 0; c < w; ++c)
          row[c + 1] = (s(base + 3 * c) + s(base + 3 * c + 1) + s(base + 3 * c + 2)) / 3.0;
      }
    } else if (binned_) {
      for (int r = 1; r <= frameHeight_; ++r) {
        double* row = plane[1][r];
        const std::size_t top = static_cast<std::size_t>(2 * (r - 1)) * w, bottom = top + w;
        for (int c = 1; c <= frameWidth_; ++c) {
          const std::size_t x = static_cast<std::size_t>(2 * (c - 1));
          row[c] = (s(top + x) + s(top + x + 1) + s(bottom + x) + s(bottom + x + 1)) / 4.0;
        }
      }
    } else {
      for (int r = 1; r <= frameHeight_; ++r) {
        double* row = plane[1][r];
        const std::size_t base = static_cast<std::size_t>(r - 1) * w;
        for (std::size_t c = 0; c < w; ++c) row[c + 1] = s(base + c);
      }
    }
    return true;
  } catch (const std::bad_alloc&) {
    plane.Clear();
    return fail("not enough memory for a frame of the video");
  }
}

}  // namespace caustica
