// SER videos, the capture format of planetary cameras: a 178-byte header,
// frames of equal size, and an optional trailer of time stamps. Frames are
// read one at a time, so a long video never has to fit in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/u_class.h"

namespace caustica {

inline constexpr int kSerHeaderSize = 178;

// The colour codes of the header.
enum : std::int32_t {
  kSerMono = 0,
  kSerBayerRggb = 8,
  kSerBayerGrbg = 9,
  kSerBayerGbrg = 10,
  kSerBayerBggr = 11,
  kSerBayerCyym = 16,
  kSerBayerYcmy = 17,
  kSerBayerYmcy = 18,
  kSerBayerMyyc = 19,
  kSerRgb = 100,
  kSerBgr = 101,
};

// How the header's LittleEndian field is read. Most writers set it the
// other way round from its name (0 for little-endian samples), and files
// in the wild follow them, so that reading is the default; kAsNamed takes
// the field at its word (1 for little-endian).
enum class SerEndianRule { kCommon, kAsNamed };

struct SerHeader {
  std::int32_t LuId = 0;
  std::int32_t ColorId = 0;
  std::int32_t LittleEndian = 0;
  std::int32_t ImageWidth = 0;
  std::int32_t ImageHeight = 0;
  std::int32_t PixelDepthPerPlane = 0;
  std::int32_t FrameCount = 0;
  std::string Observer, Instrument, Telescope;  // trailing spaces and NULs removed
  std::int64_t DateTime = 0;
  std::int64_t DateTimeUtc = 0;
};

class SerFile {
 public:
  SerFile();
  ~SerFile();
  SerFile(const SerFile&) = delete;
  SerFile& operator=(const SerFile&) = delete;

  // Reads and checks the header against the file's length and the input
  // limits; nothing is allocated from an unchecked field. False with the
  // reason in Refusal() (also noted as the last input refusal).
  bool Open(const std::string& path, SerEndianRule rule = SerEndianRule::kCommon);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  const SerHeader& Header() const { return header_; }
  int FrameCount() const { return header_.FrameCount; }
  // Size of the frames ReadFrame gives (half the sensor's for Bayer data).
  int FrameWidth() const { return frameWidth_; }
  int FrameHeight() const { return frameHeight_; }
  int BytesPerSample() const { return bytesPerSample_; }
  bool BigEndianSamples() const { return bigEndian_; }
  // How a frame becomes one plane of luminance, for the caller's summary:
  // "mono", "Bayer RGGB, binned 2x2 to luminance", "RGB to luminance".
  const std::string& Conversion() const { return conversion_; }

  // One stamp per frame in 100 ns ticks since year 1, or empty when the
  // file has no trailer or a malformed one (TimeStampNote says which).
  const std::vector<std::int64_t>& TimeStamps() const { return stamps_; }
  const std::string& TimeStampNote() const { return stampNote_; }

  // Frame 1..FrameCount() as one plane of doubles, FrameWidth() x
  // FrameHeight(). False with a reason when the file cannot give it.
  bool ReadFrame(int frame, DoublePlanes& plane);

  const std::string& Refusal() const { return refusal_; }

 private:
  bool Refuse(const std::string& why);
  void ReadTrailer(std::int64_t fileSize);

  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  SerHeader header_;
  int frameWidth_ = 0, frameHeight_ = 0, bytesPerSample_ = 0, planes_ = 0;
  bool bigEndian_ = false, binned_ = false;
  std::int64_t frameBytes_ = 0;
  std::string conversion_, stampNote_, refusal_;
  std::vector<std::int64_t> stamps_;
  std::vector<unsigned char> buffer_;  // one raw frame, reused
};

}  // namespace caustica
