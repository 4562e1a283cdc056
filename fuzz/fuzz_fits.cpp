// FITS files as the user gives them: plain and tile-compressed (the seeds
// hold both); with CAUSTICA_FUZZ_GZIP the input is gzip-compressed first,
// so that mutations reach the inflated content.
#include <zlib.h>

#include <cmath>

#include "core/input_limits.h"
#include "fuzz_common.h"
#include "io/u_fichier.h"

using namespace caustica;

namespace {

bool Finite(const DoublePlanes& p) {
  for (int k = 1; k <= p.PlaneCount(); ++k)
    for (std::size_t i = 0; i < p.PlaneSize(); ++i)
      if (!std::isfinite(p.PlaneData(k)[i])) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
#ifdef CAUSTICA_FUZZ_GZIP
  const std::string& path = fuzz::ScratchFile(".fits.gz");
  gzFile gz = gzopen(path.c_str(), "wb1");
  if (!gz) return 0;
  if (size) gzwrite(gz, data, static_cast<unsigned>(size));
  gzclose(gz);
#else
  const std::string& path = fuzz::WriteScratch(data, size, ".fits");
#endif
  Int16Planes s16;
  DoublePlanes s64;
  std::int32_t w = 0, h = 0, planes = 0;
  std::uint8_t type = 0;
  TImgInfos infos;
  const std::uint8_t status = ReadFitsFile(path, s16, s64, w, h, planes, type, infos);
  fuzz::Require(status == kFitsRead || status == kFitsIoError, "status");
  fuzz::Require(s16.Empty() || s64.Empty(), "one array at most");
  if (status == kFitsIoError) fuzz::Require(s16.Empty() && s64.Empty(), "no array on failure");
  fuzz::Require(Finite(s64), "finite samples");
  DoublePlanes plane;
  const std::uint8_t status2 = ReadFitsPlaneAsDoubles(path, plane, w, h, infos);
  fuzz::Require(status2 == status, "both readers agree");
  fuzz::Require(static_cast<std::int64_t>(plane.PlaneSize()) <= kMaxFramePixels, "frame limit");
  if (status2 == kFitsIoError) fuzz::Require(!LastInputRefusal().empty(), "a refusal says why");
  return 0;
}
