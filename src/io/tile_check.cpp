#include "io/tile_check.h"

#include <zlib.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "core/input_limits.h"

namespace caustica {

namespace {

constexpr std::int64_t kBlock = 2880;
constexpr int kMaxHeaderBlocks = 200;

bool Fail(std::string* why, const std::string& text) {
  if (why) *why = text;
  return false;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
  return s;
}

// The value cards of one header unit: keyword -> value, strings unquoted.
struct Header {
  std::map<std::string, std::string, std::less<>> Cards;
  std::int64_t Length = 0;  // bytes, whole blocks

  const std::string* Find(std::string_view key) const {
    const auto it = Cards.find(key);
    return it == Cards.end() ? nullptr : &it->second;
  }
  bool Integer(std::string_view key, std::int64_t& value) const {
    const std::string* v = Find(key);
    if (!v || v->empty()) return false;
    std::string_view t = *v;
    if (t.front() == '+') t.remove_prefix(1);
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    return ec == std::errc() && end == t.data() + t.size();
  }
  std::int64_t IntegerOr(std::string_view key, std::int64_t fallback, bool& ok) const {
    if (!Find(key)) return fallback;
    std::int64_t v = 0;
    if (!Integer(key, v)) ok = false;
    return v;
  }
  std::string Text(std::string_view key) const {
    const std::string* v = Find(key);
    return v ? std::string(Trim(*v)) : std::string();
  }
};

bool CardIsWellFormed(std::string_view card) {
  for (char c : card)
    if (c < ' ' || c > '~') return false;
  bool ended = false;
  for (std::size_t k = 0; k < 8; ++k) {
    const char c = card[k];
    if (c == ' ') {
      ended = true;
    } else if (ended || !((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_')) {
      return false;
    }
  }
  return true;
}

bool ReadHeader(std::string_view file, std::int64_t start, Header& h) {
  for (int b = 0; b < kMaxHeaderBlocks; ++b) {
    const std::int64_t at = start + b * kBlock;
    if (at + kBlock > static_cast<std::int64_t>(file.size())) return false;
    for (int n = 0; n < 36; ++n) {
      const std::string_view card = file.substr(static_cast<std::size_t>(at + n * 80), 80);
      // The library copies every card when it converts the header; a card
      // that is not plain text with a well-formed keyword is refused first.
      if (!CardIsWellFormed(card)) return false;
      const std::string key(Trim(card.substr(0, 8)));
      if (key == "END") {
        h.Length = (b + 1) * kBlock;
        return true;
      }
      if (card[8] != '=' || card[9] != ' ' || key.empty()) continue;
      std::string_view rest = Trim(card.substr(10));
      std::string value;
      if (!rest.empty() && rest.front() == '\'') {
        for (std::size_t k = 1; k < rest.size(); ++k) {
          if (rest[k] != '\'') {
            value += rest[k];
          } else if (k + 1 < rest.size() && rest[k + 1] == '\'') {
            value += '\'';
            ++k;
          } else {
            break;
          }
        }
        value = std::string(Trim(value));
      } else {
        value = std::string(Trim(rest.substr(0, rest.find('/'))));
      }
      h.Cards.emplace(key, std::move(value));  // the first card of a keyword counts
    }
  }
  return false;
}

std::uint64_t BigEndian(std::string_view bytes, std::size_t at, int count) {
  std::uint64_t v = 0;
  for (int i = 0; i < count; ++i)
    v = (v << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return v;
}

// A binary table column: its byte width in a row and its type letter.
struct Column {
  std::string Name;
  char Type = 0;
  std::int64_t Width = 0;
  std::int64_t Offset = 0;
};

bool ParseColumn(const std::string& form, Column& column) {
  std::size_t i = 0;
  std::int64_t repeat = 0;
  bool digits = false;
  while (i < form.size() && form[i] >= '0' && form[i] <= '9') {
    repeat = repeat * 10 + (form[i++] - '0');
    if (repeat > 1'000'000) return false;
    digits = true;
  }
  if (!digits) repeat = 1;
  if (i >= form.size()) return false;
  column.Type = form[i];
  std::int64_t size = 0;
  switch (column.Type) {
    case 'L':
    case 'B':
    case 'A':
      size = 1;
      break;
    case 'I':
      size = 2;
      break;
    case 'J':
    case 'E':
      size = 4;
      break;
    case 'K':
    case 'D':
    case 'C':
      size = 8;
      break;
    case 'M':
      size = 16;
      break;
    case 'X':
      column.Width = (repeat + 7) / 8;
      return true;
    case 'P':
      size = 8;
      break;
    case 'Q':
      size = 16;
      break;
    default:
      return false;
  }
  column.Width = repeat * size;
  if ((column.Type == 'P' || column.Type == 'Q') && repeat > 1) return false;
  return true;
}

// Bits of a Rice stream, read most significant first, never past the end.
class BitReader {
 public:
  explicit BitReader(std::string_view bytes)
      : bytes_(bytes), total_(static_cast<std::int64_t>(bytes.size()) * 8) {}
  bool Read(int count, std::uint32_t& value) {
    if (pos_ + count > total_) return false;
    value = 0;
    for (int k = 0; k < count; ++k, ++pos_)
      value = (value << 1) |
              ((static_cast<unsigned char>(bytes_[static_cast<std::size_t>(pos_ >> 3)]) >> (7 - (pos_ & 7))) &
               1u);
    return true;
  }
  // Zero bits up to the next one bit, which is consumed too.
  bool Unary(std::int64_t& zeros) {
    zeros = 0;
    for (;;) {
      if (pos_ >= total_) return false;
      const bool one =
          (static_cast<unsigned char>(bytes_[static_cast<std::size_t>(pos_ >> 3)]) >> (7 - (pos_ & 7))) & 1u;
      ++pos_;
      if (one) return true;
      ++zeros;
    }
  }
  bool Skip(std::int64_t count) {
    if (pos_ + count > total_) return false;
    pos_ += count;
    return true;
  }

 private:
  std::string_view bytes_;
  std::int64_t total_;
  std::int64_t pos_ = 0;
};

// GZIP_1 and GZIP_2 tiles: the stream inflates to exactly expected bytes.
bool GzipTileIsWhole(std::string_view bytes, std::int64_t expected) {
  z_stream s{};
  if (inflateInit2(&s, 15 + 32) != Z_OK) return false;
  std::vector<unsigned char> out(static_cast<std::size_t>(std::min<std::int64_t>(expected + 1, 1 << 16)));
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  s.avail_in = static_cast<uInt>(bytes.size());
  std::int64_t produced = 0;
  int rc = Z_OK;
  while (rc == Z_OK && produced <= expected) {
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    rc = inflate(&s, Z_NO_FLUSH);
    produced += static_cast<std::int64_t>(out.size() - s.avail_out);
    if (rc == Z_BUF_ERROR && s.avail_in == 0) break;
  }
  inflateEnd(&s);
  return rc == Z_STREAM_END && produced == expected;
}

}  // namespace

bool RiceTileIsWhole(std::string_view bytes, std::int64_t pixels, int bytePix, int blockSize) {
  int fsBits = 0, fsMax = 0;
  switch (bytePix) {
    case 1:
      fsBits = 3;
      fsMax = 6;
      break;
    case 2:
      fsBits = 4;
      fsMax = 14;
      break;
    case 4:
      fsBits = 5;
      fsMax = 25;
      break;
    default:
      return false;
  }
  if (pixels <= 0 || blockSize <= 0) return false;
  // The first value stands as it is, then one stream byte at least (the
  // decoder loads it before looking at anything).
  if (static_cast<std::int64_t>(bytes.size()) < bytePix + 1) return false;
  BitReader bits(bytes.substr(static_cast<std::size_t>(bytePix)));
  const int rawBits = bytePix * 8;
  for (std::int64_t i = 0; i < pixels; i += blockSize) {
    const std::int64_t count = std::min<std::int64_t>(blockSize, pixels - i);
    std::uint32_t code = 0;
    if (!bits.Read(fsBits, code)) return false;
    const int fs = static_cast<int>(code) - 1;
    if (fs < 0) continue;  // a block of equal values
    if (fs > fsMax) return false;
    if (fs == fsMax) {
      if (!bits.Skip(count * rawBits)) return false;
      continue;
    }
    for (std::int64_t k = 0; k < count; ++k) {
      std::int64_t zeros = 0;
      if (!bits.Unary(zeros) || !bits.Skip(fs)) return false;
      // The decoded difference must fit the sample width.
      if (zeros >= (std::int64_t{1} << (rawBits - fs))) return false;
    }
  }
  return true;
}

bool CheckTileCompressedImage(std::string_view file, std::int64_t unitStart, std::string* why) {
  Header h;
  if (!ReadHeader(file, unitStart, h))
    return Fail(why, "the compressed image's header is incomplete or holds a malformed card");
  bool ok = true;
  if (h.Text("XTENSION") != "BINTABLE" || h.Text("ZIMAGE") != "T")
    return Fail(why, "the extension is not a tile-compressed image");
  const std::int64_t bitpix = h.IntegerOr("BITPIX", 0, ok), naxis = h.IntegerOr("NAXIS", 0, ok);
  const std::int64_t rowBytes = h.IntegerOr("NAXIS1", -1, ok), rows = h.IntegerOr("NAXIS2", -1, ok);
  const std::int64_t pcount = h.IntegerOr("PCOUNT", 0, ok), gcount = h.IntegerOr("GCOUNT", 1, ok);
  const std::int64_t fields = h.IntegerOr("TFIELDS", -1, ok);
  if (!ok || bitpix != 8 || naxis != 2 || gcount != 1 || rowBytes <= 0 || rows <= 0 || pcount < 0 ||
      fields < 1 || fields > 999 || rowBytes > kMaxDecompressedBytes || rows > kMaxFramePixels ||
      pcount > kMaxDecompressedBytes)
    return Fail(why, "the compressed image's table keywords are out of range");
  const std::int64_t tableBytes = rowBytes * rows;
  const std::int64_t theap = h.IntegerOr("THEAP", tableBytes, ok);
  if (!ok || theap < tableBytes || theap > tableBytes + pcount)
    return Fail(why, "the compressed image's heap offset is out of range");
  const std::int64_t dataStart = unitStart + h.Length;
  if (dataStart + tableBytes + pcount > static_cast<std::int64_t>(file.size()))
    return Fail(why, "the compressed image announces more data than the file holds");
  const std::int64_t heapStart = dataStart + theap;
  const std::int64_t heapSize = tableBytes + pcount - theap;

  // The columns, which must fill the row exactly.
  std::vector<Column> columns;
  std::int64_t offset = 0;
  for (std::int64_t k = 1; k <= fields; ++k) {
    Column c;
    c.Name = h.Text("TTYPE" + std::to_string(k));
    if (!ParseColumn(h.Text("TFORM" + std::to_string(k)), c))
      return Fail(why, "column " + std::to_string(k) + " of the compressed image has no valid format");
    c.Offset = offset;
    offset += c.Width;
    columns.push_back(c);
  }
  if (offset != rowBytes) return Fail(why, "the compressed image's columns do not fill its rows");
  const Column* data = nullptr;
  const Column* zscale = nullptr;
  const Column* zzero = nullptr;
  for (const Column& c : columns) {
    if (c.Name == "COMPRESSED_DATA" && (c.Type == 'P' || c.Type == 'Q'))
      data = &c;
    else if (c.Name == "ZSCALE" && (c.Type == 'D' || c.Type == 'E') && c.Width == (c.Type == 'D' ? 8 : 4))
      zscale = &c;
    else if (c.Name == "ZZERO" && (c.Type == 'D' || c.Type == 'E') && c.Width == (c.Type == 'D' ? 8 : 4))
      zzero = &c;
    else if (c.Name == "UNCOMPRESSED_DATA" || c.Name == "GZIP_COMPRESSED_DATA" || c.Name == "ZBLANK" ||
             c.Name == "ZSCALE" || c.Name == "ZZERO" || c.Name == "COMPRESSED_DATA")
      return Fail(why, "the compressed image stores its tiles in a way that is not read (" + c.Name + ")");
  }
  if (!data) return Fail(why, "the compressed image has no compressed data column");

  // The image the tiles make.
  const std::int64_t zbitpix = h.IntegerOr("ZBITPIX", 0, ok), znaxis = h.IntegerOr("ZNAXIS", 0, ok);
  if (!ok || (zbitpix != 8 && zbitpix != 16 && zbitpix != 32 && zbitpix != -32 && zbitpix != -64))
    return Fail(why, "the compressed image's sample format (ZBITPIX) is not read");
  if (znaxis < 2 || znaxis > 3) return Fail(why, "the compressed image must have 2 or 3 axes (ZNAXIS)");
  std::int64_t axes[3] = {1, 1, 1}, tiles[3] = {1, 1, 1};
  std::int64_t tileCount = 1, samples = 1;
  for (int k = 0; k < znaxis; ++k) {
    const std::string n = std::to_string(k + 1);
    axes[k] = h.IntegerOr("ZNAXIS" + n, 0, ok);
    if (!ok || axes[k] < 1 || axes[k] > kMaxFramePixels)
      return Fail(why, "the compressed image's size ZNAXIS" + n + " is out of range");
    tiles[k] = h.IntegerOr("ZTILE" + n, k == 0 ? axes[0] : 1, ok);
    if (!ok || tiles[k] < 1 || tiles[k] > axes[k])
      return Fail(why, "the compressed image's tile size ZTILE" + n + " is out of range");
    samples *= axes[k];
    if (samples > kMaxFramePixels * 3)
      return Fail(why, "the compressed image is larger than the largest frame");
    tileCount *= (axes[k] + tiles[k] - 1) / tiles[k];
  }
  const bool isFloat = zbitpix < 0;
  const std::int64_t sampleBytes = (zbitpix < 0 ? -zbitpix : zbitpix) / 8;
  if (axes[0] * axes[1] > kMaxFramePixels || samples * sampleBytes > kMaxFrameBytes)
    return Fail(why, "the compressed image is larger than the largest frame");
  if (tileCount != rows) return Fail(why, "the compressed image's tiles do not match its table rows");

  const std::string method = h.Text("ZCMPTYPE");
  const bool rice = method == "RICE_1" || method == "RICE_ONE";
  const bool gzip = method == "GZIP_1" || method == "GZIP_2";
  if (!rice && !gzip)
    return Fail(why, "the compression " + (method.empty() ? "(none)" : method) + " is not read");

  // The compression parameters, ZNAMEi / ZVALi.
  std::int64_t blockSize = 32, bytePix = isFloat ? 4 : sampleBytes;
  for (int k = 1; k <= 9; ++k) {
    const std::string name = h.Text("ZNAME" + std::to_string(k));
    if (name == "BLOCKSIZE") blockSize = h.IntegerOr("ZVAL" + std::to_string(k), -1, ok);
    if (name == "BYTEPIX") bytePix = h.IntegerOr("ZVAL" + std::to_string(k), -1, ok);
  }
  if (!ok || (rice && blockSize != 16 && blockSize != 32) ||
      (rice && bytePix != 1 && bytePix != 2 && bytePix != 4))
    return Fail(why, "the compressed image's Rice parameters are out of range");

  // Floating-point samples arrive quantised, with a scale and offset per tile.
  const std::string quantize = h.Text("ZQUANTIZ");
  const bool quantized = isFloat && quantize != "NONE";
  if (quantized) {
    if (!quantize.empty() && quantize != "NO_DITHER" && quantize != "SUBTRACTIVE_DITHER_1" &&
        quantize != "SUBTRACTIVE_DITHER_2")
      return Fail(why, "the quantisation " + quantize + " is not read");
    if (!zscale || !zzero) return Fail(why, "the compressed image's scale or offset column is missing");
    if (quantize.rfind("SUBTRACTIVE", 0) == 0) {
      const std::int64_t dither = h.IntegerOr("ZDITHER0", 1, ok);
      if (!ok || dither < 1 || dither > 10000) return Fail(why, "the dither offset ZDITHER0 is out of range");
    }
  } else if (isFloat && rice) {
    return Fail(why, "Rice tiles of floating-point samples must be quantised");
  }
  std::int64_t blank = 0;
  if (h.Find("ZBLANK") && !h.Integer("ZBLANK", blank))
    return Fail(why, "the blank value ZBLANK is not a whole number");
  const std::int64_t tileSampleBytes = quantized ? 4 : sampleBytes;

  // Every tile: its place in the heap and its stream.
  const std::string_view heap =
      file.substr(static_cast<std::size_t>(heapStart), static_cast<std::size_t>(heapSize));
  const int descriptor = data->Type == 'P' ? 4 : 8;
  for (std::int64_t t = 0; t < rows; ++t) {
    const std::size_t row = static_cast<std::size_t>(dataStart + t * rowBytes);
    const std::uint64_t length = BigEndian(file, row + static_cast<std::size_t>(data->Offset), descriptor);
    const std::uint64_t start =
        BigEndian(file, row + static_cast<std::size_t>(data->Offset) + descriptor, descriptor);
    if (length == 0 || length > static_cast<std::uint64_t>(heapSize) ||
        start > static_cast<std::uint64_t>(heapSize) - length)
      return Fail(why, "tile " + std::to_string(t + 1) + " lies outside the compressed image's heap");
    // The tile's own size: edge tiles are cut by the image border.
    std::int64_t index = t, pixels = 1;
    for (int k = 0; k < znaxis; ++k) {
      const std::int64_t across = (axes[k] + tiles[k] - 1) / tiles[k];
      const std::int64_t at = index % across;
      index /= across;
      pixels *= std::min(tiles[k], axes[k] - at * tiles[k]);
    }
    for (const Column* c : {zscale, zzero}) {
      if (!c) continue;
      const std::uint64_t raw =
          BigEndian(file, row + static_cast<std::size_t>(c->Offset), static_cast<int>(c->Width));
      double v = 0;
      if (c->Width == 8) {
        std::memcpy(&v, &raw, 8);
      } else {
        const std::uint32_t r32 = static_cast<std::uint32_t>(raw);
        float f = 0;
        std::memcpy(&f, &r32, 4);
        v = f;
      }
      if (!std::isfinite(v) || (c == zscale && v == 0.0))
        return Fail(why, "tile " + std::to_string(t + 1) + " has an unusable scale or offset");
    }
    const std::string_view bytes =
        heap.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length));
    const bool whole =
        rice ? RiceTileIsWhole(bytes, pixels, static_cast<int>(bytePix), static_cast<int>(blockSize))
             : GzipTileIsWhole(bytes, pixels * tileSampleBytes);
    if (!whole) return Fail(why, "tile " + std::to_string(t + 1) + " of the compressed image is damaged");
  }
  return true;
}

}  // namespace caustica
