// JPEG pictures for "Import a jpeg image", progressive ones included.
#include "core/input_limits.h"
#include "fuzz_common.h"
#include "io/jpeg_file.h"

using namespace caustica;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TRaster picture;
  std::string why;
  const bool ok = DecodeJpegBytes(data, size, picture, &why);
  if (!ok) {
    fuzz::Require(picture.Empty() && !why.empty(), "a refusal says why and gives nothing");
    return 0;
  }
  const std::int64_t pixels = static_cast<std::int64_t>(picture.Width) * picture.Height;
  fuzz::Require(pixels <= kMaxFramePixels, "picture limit");
  fuzz::Require(picture.Rgb.size() == static_cast<std::size_t>(pixels) * 3, "whole rows");
  return 0;
}
