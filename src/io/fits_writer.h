// Writing 16-bit FITS images: camera frames made by the simulator, in the
// layout cameras use (unsigned samples stored with BZERO 32768) and with the
// header keywords our reader turns back into the image information.
#pragma once

#include <memory>
#include <string>

#include "core/atomic_file.h"
#include "core/u_class.h"
#include "io/u_fichier.h"

namespace caustica {

// Writes plane 1 of samples (width x height) as a BITPIX 16 image, file row
// r = row r. Values are rounded half-to-even and clamped to 0..65535 (not a
// number counts as 0). The header carries, besides the mandatory cards,
// BZERO 32768 and BSCALE 1, DATAMIN and DATAMAX of the written values, and
// from infos the fields that are set: DATE-OBS, OBSERVER, TELESCOP,
// INSTRUME, FILTERS, OBSERVAT, EXPOSURE, FOCLEN (in metres, so that the
// reader's FocalLength comes back in millimetres), XPIXELSZ and YPIXELSZ
// (micrometres), BINX, BINY, DIAMETER (millimetres) and up to four COMMENT
// cards. The file is written atomically. False, with the reason in error,
// when the size is unusable or the file cannot be written; an existing file
// of that name is then left as it was.
bool WriteFits16(const std::string& fileName, const DoublePlanes& samples, int width, int height,
                 const TImgInfos& infos, std::string* error = nullptr);

constexpr int kMaxCubeFrames = 100000;

// A cube of frames of one size (NAXIS 3, NAXIS3 frames) in the layout of
// WriteFits16, written one frame at a time so that only one is ever held:
// Open, Append every frame (plane 1, as WriteFits16 takes it), Finish.
// DATAMIN and DATAMAX cover all frames. The file appears under its name,
// atomically, only when Finish succeeds; a writer abandoned before (or a
// failure) leaves an existing file of that name as it was. A cube of three
// frames is read back as one colour picture: callers avoid that count.
class Fits16CubeWriter {
 public:
  Fits16CubeWriter() = default;
  Fits16CubeWriter(const Fits16CubeWriter&) = delete;
  Fits16CubeWriter& operator=(const Fits16CubeWriter&) = delete;
  ~Fits16CubeWriter();

  bool Open(const std::string& fileName, int width, int height, int frames, const TImgInfos& infos,
            std::string* error = nullptr);
  bool Append(const DoublePlanes& samples, std::string* error = nullptr);
  bool Finish(std::string* error = nullptr);  // false unless every frame was appended
  int Written() const { return written_; }

 private:
  std::unique_ptr<AtomicFileWriter> file_;
  std::string name_;
  int width_ = 0, height_ = 0, frames_ = 0, written_ = 0;
  long lowest_ = 65535, highest_ = 0;
  std::size_t rangeAt_ = 0;
};

}  // namespace caustica
