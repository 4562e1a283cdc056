#include "io/fits_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "core/atomic_file.h"
#include "core/u_math.h"

namespace caustica {

namespace {

constexpr std::size_t kCardLength = 80;
constexpr std::size_t kBlockLength = 2880;
// Largest side written; anything larger is a caller's mistake, not an image.
constexpr int kMaxSide = 65536;

// Printable ASCII only: a header byte outside 32..126 makes the file invalid.
std::string Printable(const std::string& text, std::size_t limit) {
  std::string out;
  for (char c : text) {
    if (out.size() >= limit) break;
    out += (c >= 32 && c <= 126) ? c : ' ';
  }
  return out;
}

std::string PadCard(std::string card) {
  card.resize(kCardLength, ' ');
  return card;
}

// Fixed format: keyword in columns 1-8, "= " in 9-10, the value right-aligned
// to column 30.
std::string ValueCard(const std::string& keyword, const std::string& value, const std::string& comment = "") {
  char head[16];
  std::snprintf(head, sizeof head, "%-8.8s= ", keyword.c_str());
  std::string card = head;
  if (value.size() < 20) card.append(20 - value.size(), ' ');
  card += value;
  if (!comment.empty()) card += " / " + comment;
  return PadCard(card.substr(0, std::min(card.size(), kCardLength)));
}

// Quoted text; quotes inside are doubled, and the closing quote must stay on
// the card, so the text is cut to what fits.
std::string TextCard(const std::string& keyword, const std::string& text) {
  std::string quoted;
  for (char c : Printable(text, 68)) {
    if (quoted.size() + (c == '\'' ? 2 : 1) > 68) break;
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  if (quoted.size() < 8) quoted.resize(8, ' ');
  char head[16];
  std::snprintf(head, sizeof head, "%-8.8s= ", keyword.c_str());
  return PadCard(std::string(head) + "'" + quoted + "'");
}

// Locale-independent: the header always uses "." and an upper-case exponent.
std::string Number(double v) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  for (char& c : text)
    if (c == 'e') c = 'E';
  return text;
}

std::string Integer(long long v) { return std::to_string(v); }

void Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
}

// Plane 1 of samples as big-endian signed 16-bit values with BZERO 32768,
// appended to data; lowest and highest follow the written values.
void Encode(const DoublePlanes& samples, int width, int height, std::string& data, long& lowest,
            long& highest) {
  std::size_t at = data.size();
  data.resize(at + static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 2);
  for (int r = 1; r <= height; ++r) {
    const double* row = samples[1][r];
    for (int c = 1; c <= width; ++c) {
      const double v = row[c];
      long u = 0;
      if (v >= 65535.0)
        u = 65535;
      else if (v > 0.0)  // also false for not-a-number
        u = static_cast<long>(RoundHalfEven(v));
      lowest = std::min(lowest, u);
      highest = std::max(highest, u);
      const std::uint16_t stored =
          static_cast<std::uint16_t>(u - 32768);  // two's complement of the signed value
      data[at++] = static_cast<char>(stored >> 8);
      data[at++] = static_cast<char>(stored & 0xFF);
    }
  }
}

// The whole header, padded to its blocks; frames 0 for a plain image.
// dataRange is the offset of the DATAMIN card (DATAMAX follows it).
std::string Header(int width, int height, int frames, long lowest, long highest, const TImgInfos& infos,
                   std::size_t* dataRange = nullptr) {
  std::string header;
  header += ValueCard("SIMPLE", "T", "conforms to FITS standard");
  header += ValueCard("BITPIX", "16");
  header += ValueCard("NAXIS", frames > 0 ? "3" : "2");
  header += ValueCard("NAXIS1", Integer(width));
  header += ValueCard("NAXIS2", Integer(height));
  if (frames > 0) header += ValueCard("NAXIS3", Integer(frames));
  header += ValueCard("BZERO", "32768", "unsigned 16-bit samples");
  header += ValueCard("BSCALE", "1");
  if (dataRange) *dataRange = header.size();
  header += ValueCard("DATAMIN", Integer(lowest));
  header += ValueCard("DATAMAX", Integer(highest));
  if (!infos.DateObs.empty()) header += TextCard("DATE-OBS", infos.DateObs);
  if (!infos.Observer.empty()) header += TextCard("OBSERVER", infos.Observer);
  if (!infos.Telescope.empty()) header += TextCard("TELESCOP", infos.Telescope);
  if (!infos.Instrument.empty()) header += TextCard("INSTRUME", infos.Instrument);
  if (!infos.Filters.empty()) header += TextCard("FILTERS", infos.Filters);
  if (!infos.Observatory.empty()) header += TextCard("OBSERVAT", infos.Observatory);
  if (infos.Exposure != 0) header += ValueCard("EXPOSURE", Integer(infos.Exposure), "seconds");
  if (std::isfinite(infos.FocalLength) && infos.FocalLength != 0.0)
    header += ValueCard("FOCLEN", Number(infos.FocalLength / 1000.0), "focal length, m");
  if (std::isfinite(infos.PixelSizeX) && infos.PixelSizeX != 0.0)
    header += ValueCard("XPIXELSZ", Number(infos.PixelSizeX), "pixel width, um");
  if (std::isfinite(infos.PixelSizeY) && infos.PixelSizeY != 0.0)
    header += ValueCard("YPIXELSZ", Number(infos.PixelSizeY), "pixel height, um");
  if (infos.BinX > 0) header += ValueCard("BINX", Integer(infos.BinX));
  if (infos.BinY > 0) header += ValueCard("BINY", Integer(infos.BinY));
  if (std::isfinite(infos.Diameter) && infos.Diameter != 0.0)
    header += ValueCard("DIAMETER", Number(infos.Diameter), "aperture, mm");
  for (int k = 1; k <= 4; ++k)
    if (!infos.Comments[k].empty()) header += PadCard("COMMENT " + Printable(infos.Comments[k], 72));
  header += PadCard("END");
  header.resize((header.size() + kBlockLength - 1) / kBlockLength * kBlockLength, ' ');
  return header;
}

bool SizeUsable(int width, int height, std::string* error) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
    Fail(error,
         "Image size " + std::to_string(width) + " x " + std::to_string(height) + " cannot be written");
    return false;
  }
  return true;
}

bool Covers(const DoublePlanes& samples, int width, int height, std::string* error) {
  if (samples.Empty() || samples.Width() < width || samples.Height() < height) {
    Fail(error, "The samples do not cover the image size");
    return false;
  }
  return true;
}

}  // namespace

bool WriteFits16(const std::string& fileName, const DoublePlanes& samples, int width, int height,
                 const TImgInfos& infos, std::string* error) {
  if (!SizeUsable(width, height, error) || !Covers(samples, width, height, error)) return false;

  // Samples first: DATAMIN and DATAMAX describe what is written.
  std::string data;
  long lowest = 65535, highest = 0;
  Encode(samples, width, height, data, lowest, highest);
  const std::string header = Header(width, height, 0, lowest, highest, infos);
  data.resize((data.size() + kBlockLength - 1) / kBlockLength * kBlockLength, '\0');

  std::string why;
  if (!WriteFileAtomically(fileName, header + data, &why)) {
    Fail(error, "Cannot write " + fileName + (why.empty() ? "" : ": " + why));
    return false;
  }
  return true;
}

Fits16CubeWriter::~Fits16CubeWriter() = default;

bool Fits16CubeWriter::Open(const std::string& fileName, int width, int height, int frames,
                            const TImgInfos& infos, std::string* error) {
  file_ = std::make_unique<AtomicFileWriter>();
  written_ = 0;
  if (!SizeUsable(width, height, error)) return false;
  if (frames < 1 || frames > kMaxCubeFrames) {
    Fail(error, "A cube of " + std::to_string(frames) + " frames cannot be written");
    return false;
  }
  name_ = fileName;
  width_ = width;
  height_ = height;
  frames_ = frames;
  lowest_ = 65535;
  highest_ = 0;
  // The value range is known only at the end: the header is written now
  // with a placeholder of the same length and completed then.
  std::string why;
  if (!file_->Open(fileName, &why) ||
      !file_->Append(Header(width, height, frames, 0, 0, infos, &rangeAt_), &why)) {
    Fail(error, "Cannot write " + fileName + (why.empty() ? "" : ": " + why));
    return false;
  }
  return true;
}

bool Fits16CubeWriter::Append(const DoublePlanes& samples, std::string* error) {
  if (!file_ || !file_->IsOpen() || written_ >= frames_) {
    Fail(error, "No frame of " + name_ + " is awaited");
    return false;
  }
  if (!Covers(samples, width_, height_, error)) return false;
  std::string data;
  Encode(samples, width_, height_, data, lowest_, highest_);
  std::string why;
  if (!file_->Append(data, &why)) {
    Fail(error, "Cannot write " + name_ + (why.empty() ? "" : ": " + why));
    return false;
  }
  ++written_;
  return true;
}

bool Fits16CubeWriter::Finish(std::string* error) {
  if (!file_ || !file_->IsOpen() || written_ != frames_) {
    Fail(error, "The cube " + name_ + " lacks frames (" + std::to_string(written_) + " of " +
                    std::to_string(frames_) + ")");
    file_.reset();
    return false;
  }
  const std::size_t bytes = static_cast<std::size_t>(width_) * height_ * 2 * frames_;
  const std::string padding((kBlockLength - bytes % kBlockLength) % kBlockLength, '\0');
  const std::string range = ValueCard("DATAMIN", Integer(lowest_)) + ValueCard("DATAMAX", Integer(highest_));
  std::string why;
  const bool ok =
      file_->Append(padding, &why) && file_->WriteAt(rangeAt_, range, &why) && file_->Commit(&why);
  file_.reset();
  if (!ok) Fail(error, "Cannot write " + name_ + (why.empty() ? "" : ": " + why));
  return ok;
}

}  // namespace caustica
