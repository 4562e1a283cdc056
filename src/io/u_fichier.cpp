#include "io/u_fichier.h"

#include <fitsio.h>
#include <zlib.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>

#include "core/input_limits.h"
#include "core/u_math.h"
#include "io/tile_check.h"

namespace caustica {

namespace {

constexpr int kBlockSize = 2880;
constexpr int kCardSize = 80;
constexpr int kCardsPerBlock = kBlockSize / kCardSize;
constexpr std::size_t kMaxText = 80;

// Spaces and control characters, as the header trimming rules count them.
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

[[noreturn]] void ConversionError(std::string_view text) {
  throw std::invalid_argument("'" + std::string(text) + "' is not a valid number");
}

// Strict conversion of a number written with "." as decimal point: an
// optional sign, no surrounding garbage, finite values only.
bool ParseDecimal(std::string_view text, double& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return false;
  }
  if (text.empty()) return false;
  for (char c : text)
    if (c != '-' && c != '.' && c != 'e' && c != 'E' && c != '+' && (c < '0' || c > '9')) return false;
  double v = 0.0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

std::int32_t ParseInteger(std::string_view text) {
  std::string_view t = Trim(text);
  if (!t.empty() && t.front() == '+') {
    t.remove_prefix(1);
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) ConversionError(text);
  }
  if (t.empty()) ConversionError(text);
  std::int64_t v = 0;
  const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || end != t.data() + t.size() || v < std::numeric_limits<std::int32_t>::min() ||
      v > std::numeric_limits<std::int32_t>::max())
    ConversionError(text);
  return static_cast<std::int32_t>(v);
}

double ParseNumber(const std::string& text) { return ParseFloatAnySeparator(text); }

std::string CutText(const std::string& text) {
  return text.size() > kMaxText ? text.substr(0, kMaxText) : text;
}

// How an entry takes part in the precedence rules.
enum class Precedence : std::uint8_t {
  kRanked,  // stored when its rank does not lose against the group's best
  kNone,    // applied every time, ranks untouched
  kCdelt,   // compared against the focal-length group, raises its own group
};

using Setter = void (*)(TImgInfos&, const std::string&);

struct TFitsKeyword {
  const char* Keyword;
  std::uint8_t Group;
  std::uint8_t Rank;
  Precedence Mode;
  Setter Apply;
};

constexpr std::uint8_t kFocalGroup = 22;

void Nothing(TImgInfos&, const std::string&) {}

void SetHigh(TImgInfos& i, const std::string& v) { i.HighLevel[1] = ParseNumber(v); }
void SetLow(TImgInfos& i, const std::string& v) { i.LowLevel[1] = ParseNumber(v); }

// The keyword table, in its fixed order.
const TFitsKeyword kKeywords[62] = {
    {"BITPIX", 1, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.Bitpix = ParseInteger(v); }},
    {"NAXIS", 2, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.Naxis = static_cast<std::uint8_t>(ParseInteger(v)); }},
    {"NAXIS1", 3, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.Naxis1 = ParseInteger(v); }},
    {"NAXIS2", 4, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.Naxis2 = ParseInteger(v); }},
    {"NAXIS3", 5, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.Naxis3 = static_cast<std::uint8_t>(ParseInteger(v)); }},
    {"DATE-OBS", 6, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.DateObs = v; }},
    // Kept exact: rounding would turn a fractional scale into a constant image.
    {"BZERO", 7, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.BZero = ParseNumber(v); }},
    {"BSCALE", 8, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.BScale = ParseNumber(v); }},
    {"OBSERVER", 9, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.Observer = CutText(v); }},
    {"EXPOSURE", 10, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.Exposure = RoundToInt(ParseNumber(v)); }},
    {"TELESCOP", 11, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.Telescope = CutText(v); }},
    {"INSTRUME", 12, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.Instrument = CutText(v); }},
    {"CDELTM1", 13, 2, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.PixelSizeX = ParseNumber(v) * 1000.0; }},
    {"CDELTM2", 14, 2, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.PixelSizeY = ParseNumber(v) * 1000.0; }},
    {"BINX", 15, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.BinX = static_cast<std::int16_t>(ParseInteger(v)); }},
    {"BINY", 16, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.BinY = static_cast<std::int16_t>(ParseInteger(v)); }},
    {"CRVAL1", 17, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.RightAscension = ParseNumber(v) / 15.0; }},
    {"CRVAL2", 18, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.Declination = ParseNumber(v); }},
    {"FILTERS", 19, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.Filters = CutText(v); }},
    {"MIRRORX", 20, 2, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.MirrorX = v == "T"; }},
    {"MIRORX", 20, 3, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.MirrorX = v == "T"; }},
    {"MIRRORY", 21, 2, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.MirrorY = v == "T"; }},
    {"MIRORY", 21, 3, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.MirrorY = v == "T"; }},
    {"FOCLEN", kFocalGroup, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.FocalLength = ParseNumber(v) * 1000.0; }},
    {"WINDOW", 0, 0, Precedence::kNone, Nothing},
    {"DATAMAX", 23, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.HighLevel[1] = i.HighLevel[2] = i.HighLevel[3] = ParseNumber(v); }},
    {"DATAMIN", 24, 0, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.LowLevel[1] = i.LowLevel[2] = i.LowLevel[3] = ParseNumber(v); }},
    {"PLATE", 0, 0, Precedence::kNone, Nothing},
    {"COMMENT", 0, 0, Precedence::kNone,
     [](TImgInfos& i, const std::string& v) {
       for (int k = 1; k <= 4; ++k)
         if (i.Comments[k].empty()) {
           i.Comments[k] = CutText(v);
           return;
         }
     }},
    {"RA", 17, 2, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.RightAscension = ParseNumber(v) / 15.0; }},
    {"DEC", 18, 2, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.Declination = ParseNumber(v); }},
    {"MIPS-HI", 23, 2, Precedence::kRanked, SetHigh},
    {"MIPS-LO", 24, 2, Precedence::kRanked, SetLow},
    {"THRESH", 23, 3, Precedence::kRanked, SetHigh},
    {"THRESL", 24, 3, Precedence::kRanked, SetLow},
    {"MIPS-X1", 25, 2, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.WindowX1 = ParseInteger(v); }},
    {"MIPS-Y1", 26, 2, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.WindowY1 = ParseInteger(v); }},
    {"MIPS-X2", 27, 2, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.WindowX2 = ParseInteger(v); }},
    {"MIPS-Y2", 28, 2, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.WindowY2 = ParseInteger(v); }},
    {"X1", 25, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.WindowX1 = ParseInteger(v); }},
    {"Y1", 26, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.WindowY1 = ParseInteger(v); }},
    {"X2", 27, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.WindowX2 = ParseInteger(v); }},
    {"Y2", 28, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.WindowY2 = ParseInteger(v); }},
    {"MIPS-BIX", 15, 2, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.BinX = static_cast<std::int16_t>(ParseInteger(v)); }},
    {"MIPS-BIY", 16, 2, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.BinY = static_cast<std::int16_t>(ParseInteger(v)); }},
    {"FOCAL", kFocalGroup, 2, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) { i.FocalLength = ParseNumber(v) / 1000.0; }},
    {"TIME-OBS", 33, 3, Precedence::kNone, Nothing},
    {"DIAMETER", 29, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.Diameter = ParseNumber(v); }},
    {"TEMP", 30, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.Temperature = ParseNumber(v); }},
    {"ORIENT", 31, 2, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.Orientation = ParseNumber(v); }},
    {"SEEING", 32, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.Seeing = ParseNumber(v); }},
    {"UT", 33, 2, Precedence::kRanked, Nothing},
    {"CROTA2", 31, 0, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.Orientation = ParseNumber(v); }},
    {"XPIXELSZ", 13, 3, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.PixelSizeX = ParseNumber(v); }},
    {"YPIXELSZ", 14, 3, Precedence::kRanked, [](TImgInfos& i, const std::string& v) { i.PixelSizeY = ParseNumber(v); }},
    {"AMDX1", kFocalGroup, 3, Precedence::kRanked,
     [](TImgInfos& i, const std::string& v) {
       // A zero plate scale gives no focal length rather than an infinite one.
       const double scale = ParseNumber(v);
       if (scale != 0.0) i.FocalLength = 206.27 / scale;
     }},
    {"SUBSAMP", 13, 3, Precedence::kNone,
     [](TImgInfos& i, const std::string& v) {
       i.PixelSizeX = i.PixelSizeX * ParseInteger(v);
       i.PixelSizeY = i.PixelSizeX;
     }},
    {"CDELT1", 13, 9, Precedence::kCdelt, Nothing},
    {"CDELT2", 14, 9, Precedence::kCdelt, Nothing},
    {"OBJCTRA", 17, 9, Precedence::kRanked, Nothing},
    {"OBJCTDEC", 18, 9, Precedence::kRanked, Nothing},
    {"OBSERVAT", 0, 0, Precedence::kNone, [](TImgInfos& i, const std::string& v) { i.Observatory = CutText(v); }},
};

TFitsRanks& SharedRanks() {
  static thread_local TFitsRanks ranks;
  return ranks;
}

// How a header scan ended.
enum class HeaderEnd { kEnd, kNotFits, kConversionError, kNoEnd };

// Reads the next 2880-byte block; false when a whole block is not available.
using BlockSource = std::function<bool(char*)>;

// Interprets header blocks card by card. headerLength receives the number
// of blocks read x 2880 however the scan ends.
HeaderEnd ScanHeader(const BlockSource& next, bool requireSimple, std::int64_t& headerLength,
                     TImgInfos& infos, TFitsRanks& ranks) {
  headerLength = 0;
  char block[kBlockSize];
  bool first = requireSimple;
  std::string keyword, value;
  while (next(block)) {
    headerLength += kBlockSize;
    for (int n = 0; n < kCardsPerBlock; ++n) {
      const char* card = block + n * kCardSize;
      keyword.assign(Trim(std::string_view(card, 8)));
      if (first && keyword != "SIMPLE") return HeaderEnd::kNotFits;
      first = false;
      if (keyword == "END") return HeaderEnd::kEnd;
      try {
        if (card[8] != '=' || card[9] != ' ') {
          if (keyword.empty()) keyword = "COMMENT";
          value.assign(TrimRight(std::string_view(card + 8, kCardSize - 8)));
          ApplyFitsKeyword(keyword, value, infos, ranks);
          continue;
        }
        value.clear();
        bool inString = false;
        bool closed = false;
        for (int k = 10; k < kCardSize && !closed; ++k) {
          const char c = card[k];
          if (!inString) {
            if (c == '/') break;
            if (c == '\'') {
              inString = true;
              value.clear();
            } else {
              value += c;
            }
          } else if (c != '\'') {
            value += c;
          } else if (k + 1 < kCardSize && card[k + 1] == '\'') {
            value += '\'';
            ++k;
          } else {
            closed = true;
          }
        }
        if (closed) {
          ApplyFitsKeyword(keyword, value, infos, ranks);
        } else {
          const std::string trimmed(Trim(value));
          if (!trimmed.empty()) ApplyFitsKeyword(keyword, trimmed, infos, ranks);
        }
      } catch (const std::invalid_argument&) {
        return HeaderEnd::kConversionError;
      }
    }
  }
  return HeaderEnd::kNoEnd;
}

// Plain and gzip-compressed files alike: zlib reads plain files unchanged.
struct GzCloser {
  void operator()(gzFile_s* f) const { gzclose(f); }
};
using GzFile = std::unique_ptr<gzFile_s, GzCloser>;

bool ScanHeaderFile(const std::string& fileName, std::int64_t& headerLength, TImgInfos& infos,
                    TFitsRanks& ranks, HeaderEnd& end) {
  headerLength = 0;
  GzFile file(gzopen(fileName.c_str(), "rb"));
  if (!file) return false;
  const BlockSource next = [&file](char* block) {
    return gzread(file.get(), block, kBlockSize) == kBlockSize;
  };
  end = ScanHeader(next, true, headerLength, infos, ranks);
  return true;
}

void ResetInfos(TImgInfos& infos) {
  // The structure too: a card without a value must not leave the previous
  // file's size in place.
  infos.Bitpix = 0;
  infos.Naxis = 0;
  infos.Naxis1 = infos.Naxis2 = 0;
  infos.Naxis3 = 0;
  infos.BScale = 1.0;
  infos.BZero = 0.0;
  for (int k = 1; k <= 3; ++k) infos.LowLevel[k] = infos.HighLevel[k] = 0.0;
  infos.DateObs.clear();
  infos.Extra1.clear();
  infos.Extra2.clear();
  infos.Extra3.clear();
  infos.BinX = infos.BinY = 1;
  infos.MirrorX = infos.MirrorY = false;
  infos.Telescope.clear();
  infos.Observer.clear();
  infos.Instrument.clear();
  infos.Filters.clear();
  infos.Observatory.clear();
  for (auto& c : infos.Comments) c.clear();
  infos.FocalLength = infos.RightAscension = infos.Declination = 0.0;
  infos.PixelSizeX = infos.PixelSizeY = 0.0;
}

struct FitsCloser {
  void operator()(fitsfile* f) const {
    int status = 0;
    fits_close_file(f, &status);
  }
};
using FitsFile = std::unique_ptr<fitsfile, FitsCloser>;

// The header of a tile-compressed image, as CFITSIO presents it uncompressed,
// cut into blocks for the card scanner.
BlockSource CardBlocks(const std::string& cards) {
  auto text = std::make_shared<std::string>(cards);
  const std::size_t rest = text->size() % kBlockSize;
  if (rest) text->append(kBlockSize - rest, ' ');
  auto offset = std::make_shared<std::size_t>(0);
  return [text, offset](char* block) {
    if (*offset + kBlockSize > text->size()) return false;
    std::memcpy(block, text->data() + *offset, kBlockSize);
    *offset += kBlockSize;
    return true;
  };
}

// Moves to the first tile-compressed image after an empty primary unit and
// applies its header; false when there is none or it cannot be read.
bool OpenCompressedImage(fitsfile* f, TImgInfos& infos) {
  int status = 0;
  int hduCount = 0;
  if (fits_get_num_hdus(f, &hduCount, &status) || hduCount < 2) return false;
  int hduType = 0;
  if (fits_movabs_hdu(f, 2, &hduType, &status) || !fits_is_compressed_image(f, &status)) return false;
  char* header = nullptr;
  int keyCount = 0;
  const bool converted = fits_convert_hdr2str(f, 0, nullptr, 0, &header, &keyCount, &status) == 0;
  // The library may leave its buffer allocated when the conversion fails.
  int freeStatus = 0;
  std::string cards = converted && header ? std::string(header) : std::string();
  if (header) fits_free_memory(header, &freeStatus);
  if (!converted || cards.empty()) return false;
  if (cards.size() % kCardSize) return false;
  // The converted header may stop short of its END card.
  cards.append("END");
  cards.append(kCardSize - 3, ' ');
  TFitsRanks ranks;
  std::int64_t length = 0;
  return ScanHeader(CardBlocks(cards), false, length, infos, ranks) == HeaderEnd::kEnd;
}

bool IsWhole16(double v) { return v >= -32768.0 && v <= 32767.0 && v == std::trunc(v); }

// Applies BZERO/BSCALE to raw 16-bit samples. The 16-bit store is kept only
// when every scaled sample is a whole number that fits; otherwise the data
// move to doubles so nothing is clamped or rounded away.
void ScaleIntegerSamples(Int16Planes& samples16, DoublePlanes& samples64, std::uint8_t& typeCode, int width,
                         int height, int planes, double bzero, double bscale) {
  if (bscale == 1.0 && bzero == 0.0) return;
  const std::size_t n = samples16.PlaneSize();
  bool fits = true;
  for (int p = 1; p <= planes && fits; ++p) {
    const std::int16_t* s = samples16.PlaneData(p);
    for (std::size_t i = 0; i < n; ++i) {
      if (!IsWhole16(bzero + bscale * s[i])) {
        fits = false;
        break;
      }
    }
  }
  if (fits) {
    for (int p = 1; p <= planes; ++p) {
      std::int16_t* s = samples16.PlaneData(p);
      for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<std::int16_t>(bzero + bscale * s[i]);
    }
    return;
  }
  typeCode = typeCode == kTypeColour16 ? kTypeDoubleGrid : kTypeDouble;
  Int16Planes unused;
  AllocPlanes(unused, samples64, width, height, typeCode, planes);
  for (int p = 1; p <= planes; ++p) {
    const std::int16_t* s = samples16.PlaneData(p);
    double* d = samples64.PlaneData(p);
    for (std::size_t i = 0; i < n; ++i) d[i] = bzero + bscale * s[i];
  }
  samples16.Clear();
}

// The data unit may not announce more bytes than the file holds.
bool DataFitsFile(std::int64_t available, int bytesPerSample, std::int32_t width, std::int32_t height,
                  int planes) {
  if (available < 0) return false;
  const unsigned __int128 need =
      static_cast<unsigned __int128>(bytesPerSample) * static_cast<unsigned __int128>(width) *
      static_cast<unsigned __int128>(height) * static_cast<unsigned __int128>(planes);
  return need <= static_cast<unsigned __int128>(available);
}

// Largest expansion accepted for tile-compressed data (zlib's own limit is near 1032:1).
constexpr std::int64_t kMaxCompressionRatio = 1100;

std::uint8_t Refuse(const std::string& why) {
  NoteInputRefusal(why);
  return kFitsIoError;
}

bool IsGzipFile(const std::string& fileName) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(fileName.c_str(), "rb"), &std::fclose);
  unsigned char magic[2] = {0, 0};
  return f && std::fread(magic, 1, 2, f.get()) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
}

// The first want bytes of a file, inflated when it is gzip-compressed; a
// shorter file gives what it holds. Nothing past want is ever inflated.
bool ReadPrefix(const std::string& fileName, std::int64_t want, std::string& bytes) {
  GzFile file(gzopen(fileName.c_str(), "rb"));
  if (!file) return false;
  bytes.clear();
  char buffer[1 << 16];
  while (static_cast<std::int64_t>(bytes.size()) < want) {
    const std::int64_t ask =
        std::min<std::int64_t>(sizeof buffer, want - static_cast<std::int64_t>(bytes.size()));
    const int n = gzread(file.get(), buffer, static_cast<unsigned>(ask));
    if (n < 0) return false;
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

std::int64_t PlainFileSize(const std::string& fileName) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(fileName.c_str(), "rb"), &std::fclose);
  if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) return -1;
  return std::ftell(f.get());
}

// Samples a frame can hold: finite, and neither so large nor so small that
// sums of squares leave the range of doubles. Notes the first one that is not.
bool SamplesUsable(const DoublePlanes& planes, int count) {
  const std::size_t n = planes.PlaneSize();
  const std::size_t width = static_cast<std::size_t>(planes.Width());
  for (int p = 1; p <= count; ++p) {
    const double* d = planes.PlaneData(p);
    for (std::size_t i = 0; i < n; ++i) {
      const double a = std::fabs(d[i]);
      if (a <= 1e30 && (a >= 1e-30 || a == 0.0)) continue;
      NoteInputRefusal("the sample at row " + std::to_string(i / width + 1) + ", column " +
                       std::to_string(i % width + 1) + " (" + std::to_string(d[i]) +
                       ") is not a finite number between 1e-30 and 1e30");
      return false;
    }
  }
  return true;
}

}  // namespace

void ResetFitsRanks() { SharedRanks().Reset(); }

void ApplyFitsKeyword(const std::string& keyword, const std::string& value, TImgInfos& infos) {
  ApplyFitsKeyword(keyword, value, infos, SharedRanks());
}

void ApplyFitsKeyword(const std::string& keyword, const std::string& value, TImgInfos& infos,
                      TFitsRanks& ranks) {
  for (const TFitsKeyword& entry : kKeywords) {
    if (keyword != entry.Keyword) continue;
    switch (entry.Mode) {
      case Precedence::kNone:
        entry.Apply(infos, value);
        break;
      case Precedence::kRanked:
        if (entry.Rank <= ranks.Best[entry.Group]) {
          entry.Apply(infos, value);
          ranks.Best[entry.Group] = entry.Rank;
        }
        break;
      case Precedence::kCdelt:
        if (entry.Rank <= ranks.Best[kFocalGroup]) {
          infos.FocalLength = 1.0;
          ranks.Best[entry.Group] = entry.Rank;
        }
        break;
    }
    return;
  }
}

double ParseFloatAnySeparator(const std::string& text) {
  // "." and "," both count as the decimal separator, whatever the locale.
  std::string normal(text);
  const char local = DecimalSeparator();
  for (char& c : normal)
    if (c == ',' || c == local) c = '.';
  double v = 0.0;
  if (!ParseDecimal(normal, v)) ConversionError(text);
  return v;
}

double ParseFloatOrZero(const std::string& text) {
  const char local = DecimalSeparator();
  std::string normal(text);
  for (char& c : normal) {
    if (c == local)
      c = '.';
    else if (c == '.' || c == ',')
      return 0.0;
  }
  double v = 0.0;
  return ParseDecimal(normal, v) ? v : 0.0;
}

std::string DatePart(const std::string& text) {
  const std::size_t t = text.find('T');
  return t == std::string::npos ? std::string() : text.substr(0, t);
}

std::string TimePart(const std::string& text) {
  const std::size_t t = text.find('T');
  return t == std::string::npos ? text : text.substr(t + 1);
}

bool ReadFitsHeader(const std::string& fileName, std::int64_t& headerLength, TImgInfos& infos) {
  TFitsRanks& ranks = SharedRanks();
  ranks.Reset();
  HeaderEnd end = HeaderEnd::kNoEnd;
  if (!ScanHeaderFile(fileName, headerLength, infos, ranks, end)) return false;
  return end == HeaderEnd::kEnd;
}

namespace {

// An image whose header has been read and whose layout CFITSIO confirms.
struct OpenedImage {
  // A gzip file, inflated here up to what its header announces; declared
  // before File so that the library closes it before it goes.
  struct Memory {
    std::string Bytes;
    void* Data = nullptr;
    std::size_t Size = 0;
  };
  std::unique_ptr<Memory> Inflated;
  FitsFile File;
  std::int32_t Width = 0, Height = 0, PlaneCount = 0;
  std::uint8_t TypeCode = 0;
  bool Integer16 = false;
  bool HasData = false;  // false: a valid file without samples to read
};

// With byFrame the planes are frames read one at a time: the size limits
// hold for one plane, and the plane count is the full NAXIS3 (the header
// record keeps only its low byte).
std::uint8_t OpenImage(const std::string& fileName, TImgInfos& infos, OpenedImage& image,
                       bool byFrame = false) {
  NoteInputRefusal("");
  ResetInfos(infos);
  std::int64_t headerLength = 0;
  TFitsRanks& ranks = SharedRanks();
  ranks.Reset();
  HeaderEnd end = HeaderEnd::kNoEnd;
  // Without a complete header there is no defined place for the data unit.
  if (!ScanHeaderFile(fileName, headerLength, infos, ranks, end) || end != HeaderEnd::kEnd)
    return Refuse("the file does not start with a complete FITS header");
  const bool gzip = IsGzipFile(fileName);

  int status = 0;
  auto open = [&]() {
    if (image.File) return true;
    fitsfile* raw = nullptr;
    if (image.Inflated) {
      OpenedImage::Memory& m = *image.Inflated;
      m.Data = m.Bytes.data();
      m.Size = m.Bytes.size();
      if (fits_open_memfile(&raw, fileName.c_str(), READONLY, &m.Data, &m.Size, 0, nullptr, &status))
        return false;
    } else if (fits_open_diskfile(&raw, fileName.c_str(), READONLY, &status)) {
      return false;
    }
    image.File.reset(raw);
    return true;
  };
  bool compressed = false;
  if (infos.Naxis == 0) {
    if (gzip) return Refuse("a gzip-compressed file must hold its image in the primary unit");
    const std::int64_t size = PlainFileSize(fileName);
    if (size <= headerLength) return kFitsRead;  // a header alone: no image in this file
    if (size > kMaxDecompressedBytes) return Refuse("the compressed file is larger than the largest frame");
    // Nothing reaches the library's decoders before the whole unit is checked.
    std::string bytes, why;
    if (!ReadPrefix(fileName, size, bytes)) return Refuse("the file cannot be read");
    if (!CheckTileCompressedImage(bytes, headerLength, &why)) return Refuse(why);
    if (!open()) return Refuse("the FITS library cannot open the file");
    compressed = OpenCompressedImage(image.File.get(), infos);
    if (!compressed) return Refuse("the FITS library cannot read the compressed image's header");
  }

  const std::int32_t bitpix = infos.Bitpix;
  const std::int32_t width = infos.Naxis1, height = infos.Naxis2;
  if (width < 0 || height < 0) return Refuse("the image size is negative");
  image.Width = width;
  image.Height = height;

  image.Integer16 = bitpix == 8 || bitpix == 16;
  const bool known = image.Integer16 || bitpix == 32 || bitpix == -32 || bitpix == -64;
  bool colour = false;
  if (infos.Naxis == 2) {
    image.PlaneCount = 1;
  } else if (infos.Naxis3 == 3) {
    image.PlaneCount = 3;
    colour = true;
  } else {
    image.PlaneCount = infos.Naxis3;
  }
  if (infos.Naxis < 2) image.PlaneCount = 0;  // a line or nothing: no image planes
  if (colour) {
    image.TypeCode = image.Integer16 ? kTypeColour16 : kTypeDoubleGrid;
    for (int k = 2; k <= 3; ++k) {
      infos.LowLevel[k] = infos.LowLevel[1];
      infos.HighLevel[k] = infos.HighLevel[1];
    }
  } else {
    image.TypeCode = image.Integer16 ? kType16 : kTypeDouble;
  }
  if (!known || image.PlaneCount == 0 || width == 0 || height == 0) return kFitsRead;

  // The limits, against what the header announces, before any allocation.
  const int bytesPerSample = std::abs(bitpix) / 8;
  const std::int64_t pixels = static_cast<std::int64_t>(width) * height;
  // Both sides are at most 2^31: the product of pixels and planes is only
  // formed once pixels is known to be small.
  const std::int64_t heldPlanes = byFrame ? 1 : image.PlaneCount;
  if (pixels > kMaxFramePixels || pixels * heldPlanes * (image.Integer16 ? 2 : 8) > kMaxFrameBytes)
    return Refuse("the image of " + std::to_string(width) + " x " + std::to_string(height) + " x " +
                  std::to_string(image.PlaneCount) + " is larger than the largest frame (" +
                  std::to_string(kMaxFramePixels / 1'000'000) + " million samples per plane)");
  if (gzip && !compressed) {
    const std::int64_t dataBytes = pixels * image.PlaneCount * bytesPerSample;
    const std::int64_t want = headerLength + (dataBytes + kBlockSize - 1) / kBlockSize * kBlockSize;
    if (want > kMaxDecompressedBytes) return Refuse("the gzip file announces more than the largest frame");
    image.Inflated = std::make_unique<OpenedImage::Memory>();
    if (!ReadPrefix(fileName, want, image.Inflated->Bytes)) return Refuse("the gzip file cannot be inflated");
    if (static_cast<std::int64_t>(image.Inflated->Bytes.size()) < headerLength + dataBytes)
      return Refuse("the gzip file holds less data than its header announces");
    // The library reads whole blocks: the last one is padded as a file's would be.
    image.Inflated->Bytes.resize(static_cast<std::size_t>(want), '\0');
  }

  if (!open()) return Refuse("the FITS library cannot open the file");
  fitsfile* f = image.File.get();

  // CFITSIO must see the same image our cards describe.
  int cBitpix = 0, cNaxis = 0;
  LONGLONG cAxes[9] = {};
  if (fits_get_img_paramll(f, 9, &cBitpix, &cNaxis, cAxes, &status))
    return Refuse("the FITS library cannot read the image header");
  const bool sameCount = infos.Naxis < 3 || cAxes[2] == infos.Naxis3 ||
                         (byFrame && cAxes[2] > 0 && cAxes[2] % 256 == infos.Naxis3);
  if (cBitpix != bitpix || cNaxis != infos.Naxis || cAxes[0] != width || cAxes[1] != height || !sameCount)
    return Refuse("the header and the data unit describe different images");
  if (byFrame && infos.Naxis >= 3 && infos.Naxis3 != 3) {
    if (cAxes[2] > kMaxSequenceFrames)
      return Refuse("the cube announces " + std::to_string(cAxes[2]) + " frames, more than " +
                    std::to_string(kMaxSequenceFrames));
    image.PlaneCount = static_cast<std::int32_t>(cAxes[2]);
  }

  if (compressed) {
    // Tiles may expand, but not without bound.
    const std::int64_t limit = f->Fptr->logfilesize * kMaxCompressionRatio;
    if (!DataFitsFile(limit, bytesPerSample, width, height, image.PlaneCount))
      return Refuse("the compressed image expands beyond any real frame");
  } else {
    LONGLONG headStart = 0, dataStart = 0, dataEnd = 0;
    if (fits_get_hduaddrll(f, &headStart, &dataStart, &dataEnd, &status) || dataStart != headerLength)
      return Refuse("the data unit is not where the header ends");
    if (!DataFitsFile(f->Fptr->logfilesize - dataStart, bytesPerSample, width, height, image.PlaneCount))
      return Refuse("the file holds less data than its header announces");
  }
  // Raw values: our own BZERO/BSCALE rules follow.
  if (fits_set_bscale(f, 1.0, 0.0, &status)) return Refuse("the FITS library cannot read the image");
  image.HasData = true;
  return kFitsRead;
}

// Reads the file's planes first..first+planes-1 into planes 1..planes as
// doubles, with the scaling of the sample format.
bool ReadDoublePlanes(fitsfile* f, const TImgInfos& infos, DoublePlanes& samples64, int planes,
                      int first = 1) {
  const LONGLONG planeSize = static_cast<LONGLONG>(samples64.PlaneSize());
  int status = 0, anyNull = 0;
  for (int p = 1; p <= planes; ++p)
    fits_read_img(f, TDOUBLE, 1 + (static_cast<LONGLONG>(first) + p - 2) * planeSize, planeSize, nullptr,
                  samples64.PlaneData(p), &anyNull, &status);
  if (status) {
    NoteInputRefusal("the FITS library cannot decode the data unit");
    return false;
  }
  // 64-bit floats are taken as they stand.
  const double bzero = infos.BZero, bscale = infos.BScale;
  if (infos.Bitpix != -64 && (bscale != 1.0 || bzero != 0.0)) {
    const std::size_t n = samples64.PlaneSize();
    for (int p = 1; p <= planes; ++p) {
      double* d = samples64.PlaneData(p);
      for (std::size_t i = 0; i < n; ++i) d[i] = bzero + bscale * d[i];
    }
  }
  return SamplesUsable(samples64, planes);
}

}  // namespace

std::uint8_t ReadFitsFile(const std::string& fileName, Int16Planes& samples16, DoublePlanes& samples64,
                          std::int32_t& width, std::int32_t& height, std::int32_t& planeCount,
                          std::uint8_t& typeCode, TImgInfos& infos) {
  samples16.Clear();
  samples64.Clear();
  width = height = planeCount = 0;
  typeCode = 0;
  try {
    OpenedImage image;
    const std::uint8_t status = OpenImage(fileName, infos, image);
    if (status != kFitsRead) return status;
    width = image.Width;
    height = image.Height;
    planeCount = image.PlaneCount;
    typeCode = image.TypeCode;
    if (!image.HasData) return kFitsRead;

    fitsfile* f = image.File.get();
    AllocPlanes(samples16, samples64, width, height, typeCode, planeCount);
    if (image.Integer16) {
      const LONGLONG planeSize = static_cast<LONGLONG>(width) * height;
      int readStatus = 0, anyNull = 0;
      for (int p = 1; p <= planeCount; ++p)
        fits_read_img(f, TSHORT, 1 + (p - 1) * planeSize, planeSize, nullptr, samples16.PlaneData(p),
                      &anyNull, &readStatus);
      if (readStatus) {
        samples16.Clear();
        return Refuse("the FITS library cannot decode the data unit");
      }
      ScaleIntegerSamples(samples16, samples64, typeCode, width, height, planeCount, infos.BZero,
                          infos.BScale);
      if (!samples64.Empty() && !SamplesUsable(samples64, planeCount)) {
        samples64.Clear();
        return kFitsIoError;
      }
    } else if (!ReadDoublePlanes(f, infos, samples64, planeCount)) {
      samples64.Clear();
      return kFitsIoError;
    }
    return kFitsRead;
  } catch (const std::bad_alloc&) {
    samples16.Clear();
    samples64.Clear();
    return Refuse("not enough memory for the image");
  }
}

namespace {

// Plane `frame` of the image as doubles; frame 0 reads nothing and only
// gives the sizes and the plane count.
std::uint8_t ReadPlane(const std::string& fileName, bool byFrame, std::int32_t frame, DoublePlanes& plane,
                       std::int32_t& width, std::int32_t& height, std::int32_t& planeCount,
                       TImgInfos& infos) {
  plane.Clear();
  width = height = planeCount = 0;
  try {
    OpenedImage image;
    const std::uint8_t status = OpenImage(fileName, infos, image, byFrame);
    if (status != kFitsRead) return status;
    width = image.Width;
    height = image.Height;
    planeCount = image.HasData ? image.PlaneCount : 0;
    if (!image.HasData || frame == 0) return kFitsRead;
    if (frame < 0 || frame > planeCount)
      return Refuse("frame " + std::to_string(frame) + " is not among the " + std::to_string(planeCount) +
                    " frames of the file");
    plane.Allocate(width, height, 1);
    // Widening after the 16-bit decision gives the same doubles: v itself.
    if (!ReadDoublePlanes(image.File.get(), infos, plane, 1, frame)) {
      plane.Clear();
      return kFitsIoError;
    }
    return kFitsRead;
  } catch (const std::bad_alloc&) {
    plane.Clear();
    return Refuse("not enough memory for the image");
  }
}

}  // namespace

std::uint8_t ReadFitsPlaneAsDoubles(const std::string& fileName, DoublePlanes& plane, std::int32_t& width,
                                    std::int32_t& height, TImgInfos& infos) {
  std::int32_t planes = 0;
  return ReadPlane(fileName, false, 1, plane, width, height, planes, infos);
}

std::uint8_t ProbeFitsFrames(const std::string& fileName, std::int32_t& width, std::int32_t& height,
                             std::int32_t& frameCount, TImgInfos& infos) {
  DoublePlanes none;
  return ReadPlane(fileName, true, 0, none, width, height, frameCount, infos);
}

std::uint8_t ReadFitsFrame(const std::string& fileName, std::int32_t frame, DoublePlanes& plane,
                           std::int32_t& width, std::int32_t& height, TImgInfos& infos) {
  std::int32_t frames = 0;
  return ReadPlane(fileName, true, frame, plane, width, height, frames, infos);
}

}  // namespace caustica
