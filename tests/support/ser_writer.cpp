#include "support/ser_writer.h"

#include <algorithm>
#include <cmath>

namespace caustica::test {

namespace {

void AppendLittle(std::string& out, std::uint64_t v, int bytes) {
  for (int k = 0; k < bytes; ++k) out.push_back(static_cast<char>(v >> (8 * k) & 0xff));
}

void AppendText(std::string& out, const std::string& text) {
  std::string field = text.substr(0, 40);
  field.resize(40, '\0');
  out += field;
}

}  // namespace

std::int32_t SerEndianField(bool bigEndian) { return bigEndian ? 1 : 0; }

std::string BuildSer(const SerVideo& v) {
  std::string out = "LUCAM-RECORDER";
  AppendLittle(out, 0, 4);
  AppendLittle(out, static_cast<std::uint32_t>(v.ColorId), 4);
  AppendLittle(out, static_cast<std::uint32_t>(SerEndianField(v.BigEndian)), 4);
  AppendLittle(out, static_cast<std::uint32_t>(v.Width), 4);
  AppendLittle(out, static_cast<std::uint32_t>(v.Height), 4);
  AppendLittle(out, static_cast<std::uint32_t>(v.Depth), 4);
  AppendLittle(out, static_cast<std::uint32_t>(v.Frames.size()), 4);
  AppendText(out, v.Observer);
  AppendText(out, v.Instrument);
  AppendText(out, v.Telescope);
  AppendLittle(out, 638000000000000000ull, 8);
  AppendLittle(out, 638000000000000000ull, 8);
  const bool wide = v.Depth > 8;
  for (const auto& frame : v.Frames)
    for (std::uint16_t s : frame) {
      if (!wide) {
        out.push_back(static_cast<char>(s & 0xff));
      } else if (v.BigEndian) {
        out.push_back(static_cast<char>(s >> 8));
        out.push_back(static_cast<char>(s & 0xff));
      } else {
        AppendLittle(out, s, 2);
      }
    }
  for (std::int64_t t : v.Stamps) AppendLittle(out, static_cast<std::uint64_t>(t), 8);
  return out;
}

void PutInt32(std::string& bytes, int offset, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int k = 0; k < 4; ++k)
    bytes[static_cast<std::size_t>(offset + k)] = static_cast<char>(u >> (8 * k) & 0xff);
}

std::vector<std::uint16_t> CameraSamples(const TFctXY& frame) {
  std::vector<std::uint16_t> samples;
  samples.reserve(static_cast<std::size_t>(frame.Nx) * frame.Ny);
  for (int r = 1; r <= frame.Ny; ++r)
    for (int c = 1; c <= frame.Nx; ++c)
      samples.push_back(
          static_cast<std::uint16_t>(std::clamp(std::nearbyint(frame.Values[1][r][c]), 0.0, 65535.0)));
  return samples;
}

}  // namespace caustica::test
