#include "support/fits_writer.h"

#include <fitsio.h>
#include <zlib.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace caustica::test {

namespace {

template <typename T>
void AppendBigEndian(std::string& out, T value) {
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  if constexpr (std::endian::native == std::endian::little)
    for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
  out.append(reinterpret_cast<const char*>(bytes), sizeof(T));
}

}  // namespace

std::string RawCard(const std::string& text) {
  std::string card = text.substr(0, 80);
  card.resize(80, ' ');
  return card;
}

std::string Card(const std::string& keyword, const std::string& value, const std::string& comment) {
  std::string key = keyword.substr(0, 8);
  key.resize(8, ' ');
  std::string text = key + "= " + value;
  if (!comment.empty()) text += " / " + comment;
  return RawCard(text);
}

std::string TextCard(const std::string& keyword, const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  quoted += "'";
  return Card(keyword, quoted);
}

std::string BuildHeader(const std::vector<std::string>& cards, bool withEnd) {
  std::string header;
  for (const auto& c : cards) header += RawCard(c);
  if (withEnd) header += RawCard("END");
  header.resize((header.size() + 2879) / 2880 * 2880, ' ');
  return header;
}

std::string EncodeSamples(int bitpix, const std::vector<double>& raw) {
  std::string out;
  out.reserve(raw.size() * static_cast<std::size_t>(std::abs(bitpix) / 8));
  for (double v : raw) {
    switch (bitpix) {
      case 8:
        out += static_cast<char>(static_cast<std::uint8_t>(v));
        break;
      case 16:
        AppendBigEndian(out, static_cast<std::int16_t>(v));
        break;
      case 32:
        AppendBigEndian(out, static_cast<std::int32_t>(v));
        break;
      case -32:
        AppendBigEndian(out, static_cast<float>(v));
        break;
      case -64:
        AppendBigEndian(out, v);
        break;
      default:
        throw std::invalid_argument("unknown BITPIX");
    }
  }
  return out;
}

std::string BuildFits(const FitsImage& image) {
  std::vector<std::string> cards = {Card("SIMPLE", "T"), Card("BITPIX", std::to_string(image.Bitpix)),
                                    Card("NAXIS", image.Planes > 1 ? "3" : "2"),
                                    Card("NAXIS1", std::to_string(image.Width)),
                                    Card("NAXIS2", std::to_string(image.Height))};
  if (image.Planes > 1) cards.push_back(Card("NAXIS3", std::to_string(image.Planes)));
  cards.insert(cards.end(), image.Cards.begin(), image.Cards.end());
  std::string data = EncodeSamples(image.Bitpix, image.Raw);
  data.resize((data.size() + 2879) / 2880 * 2880, '\0');
  return BuildHeader(cards, image.WithEnd) + data;
}

void WriteGzipFile(const std::string& path, const std::string& bytes) {
  gzFile f = gzopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  gzwrite(f, bytes.data(), static_cast<unsigned>(bytes.size()));
  gzclose(f);
}

bool WriteTileCompressed16(const std::string& path, int width, int height,
                           const std::vector<std::int16_t>& raw, double bzero, const std::string& method) {
  int status = 0;
  fitsfile* f = nullptr;
  std::remove(path.c_str());
  const std::string name = path + "[compress " + method + "]";
  if (fits_create_file(&f, name.c_str(), &status)) return false;
  long axes[2] = {width, height};
  fits_create_img(f, SHORT_IMG, 2, axes, &status);
  if (bzero != 0.0) {
    fits_write_key(f, TDOUBLE, "BZERO", &bzero, nullptr, &status);
    fits_set_bscale(f, 1.0, 0.0, &status);
  }
  const char* observer = "Tile";
  fits_write_key(f, TSTRING, "OBSERVER", const_cast<char*>(observer), nullptr, &status);
  std::vector<std::int16_t> copy(raw);
  fits_write_img(f, TSHORT, 1, static_cast<LONGLONG>(copy.size()), copy.data(), &status);
  fits_close_file(f, &status);
  return status == 0;
}

}  // namespace caustica::test
