// Inputs that once crashed the readers, ran for seconds or asked for
// gigabytes: each must now be refused with a reason (or read cleanly), in a
// child process that may not take more than 200 MB.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis/channel_run.h"
#include "analysis/test_image.h"
#include "core/input_limits.h"
#include "io/jpeg_file.h"
#include "io/tile_check.h"
#include "io/u_fichier.h"
#include "setup/u_prefs.h"
#include "support/bounded_child.h"
#include "support/fits_writer.h"
#include "support/test_files.h"

namespace caustica {
namespace {

namespace fs = std::filesystem;
const std::string kRegressions = std::string(CAUSTICA_TEST_DATA_DIR) + "/fuzz_regressions";
constexpr long kMemoryMb = 200;

std::vector<std::string> Inputs(const std::string& folder, const std::string& prefix,
                                const std::string& ext) {
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(prefix, 0) == 0 && (ext.empty() || e.path().extension() == ext)) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

bool AllFinite(const DoublePlanes& p) {
  for (int k = 1; k <= p.PlaneCount(); ++k)
    for (std::size_t i = 0; i < p.PlaneSize(); ++i)
      if (!std::isfinite(p.PlaneData(k)[i])) return false;
  return true;
}

// Both readers refuse with a reason, or give finite samples within the limits.
bool ReadsCleanly(const std::string& path) {
  Int16Planes s16;
  DoublePlanes s64;
  std::int32_t w = 0, h = 0, planes = 0;
  std::uint8_t type = 0;
  TImgInfos infos;
  const std::uint8_t status = ReadFitsFile(path, s16, s64, w, h, planes, type, infos);
  if (status == kFitsIoError && (LastInputRefusal().empty() || !s16.Empty() || !s64.Empty())) return false;
  if (status == kFitsRead && !AllFinite(s64)) return false;
  DoublePlanes plane;
  const std::uint8_t status2 = ReadFitsPlaneAsDoubles(path, plane, w, h, infos);
  if (status2 != status) return false;
  return status2 == kFitsIoError || (AllFinite(plane) && static_cast<std::int64_t>(w) * h <= kMaxFramePixels);
}

TEST(FuzzRegressions, EveryFitsInputIsRefusedWithAReasonOrReadWithinTheMemoryLimit) {
  std::vector<std::string> files = Inputs(kRegressions, "fits-", "");
  for (const std::string& f : Inputs(kRegressions + "/e2e", "", ".fits")) files.push_back(f);
  ASSERT_EQ(files.size(), 18u);
  for (const std::string& f : files) {
    ASSERT_TRUE(test::RunWithMemoryLimit(kMemoryMb, [&] { return ReadsCleanly(f); })) << f;
    // Once more in this process, whose exit the leak checker of the sanitized build sees.
    EXPECT_TRUE(ReadsCleanly(f)) << f;
  }
}

TEST(FuzzRegressions, TheDamagedTileCompressedFilesNeverReachTheLibrary) {
  // The tile check itself refuses them: the library's decoder is never asked.
  std::vector<std::string> files = Inputs(kRegressions, "fits-crash-", "");
  for (const std::string& f : Inputs(kRegressions, "fits-timeout-", "")) files.push_back(f);
  for (const char* name :
       {"ztile1-zero-sigfpe.fits", "rice-bitflips-cfitsio-overread.fits", "rice-znaxis1-neg-leak.fits"})
    files.push_back(kRegressions + "/e2e/" + name);
  for (const std::string& f : files) {
    const std::string bytes = test::ReadBytes(f);
    std::string why;
    EXPECT_FALSE(CheckTileCompressedImage(bytes, 2880, &why)) << f;
    EXPECT_FALSE(why.empty()) << f;
  }
}

// A frame that opens but cannot hold a pupil is refused before the
// reconstruction pads it to a square of its longer side.
std::string ReconstructionRefusal(const std::string& path) {
  auto intra = std::make_shared<TPupille>(), extra = std::make_shared<TPupille>();
  if (!OpenTestImage(path, TPupilSearch{}, *intra).Opened) return "not opened: " + LastInputRefusal();
  OpenTestImage(path, TPupilSearch{}, *extra);
  TTestSetup setup;
  setup.Focale = 1.2e9;
  setup.Rayon = 1e8;
  setup.Defocalisation = 3.6e6;
  TRoddier slot;
  std::string why;
  return ReconstructSingle(slot, {intra, extra}, setup, TRunSettings{}, TRunProgress{}, &why) ? "" : why;
}

TEST(FuzzRegressions, FramesThatCannotHoldAPupilAreRefusedBeforeTheyArePadded) {
  test::ScratchDir dir;
  test::FitsImage img;
  img.Width = 20;
  img.Height = 400;
  img.Raw.assign(20 * 400, 10.0);
  img.Raw[200 * 20 + 10] = 900.0;
  test::WriteBytes(dir.File("thin.fits"), test::BuildFits(img));
  struct Case {
    std::string Path;
    const char* Reason;
  };
  for (const Case& c : {Case{kRegressions + "/e2e/frame-5x4000-44s-2.3GB.fits", "smaller than 16 x 16"},
                        Case{kRegressions + "/e2e/frame-3x9000-over9GB.fits", "smaller than 16 x 16"},
                        Case{dir.File("thin.fits"), "too thin"}})
    EXPECT_TRUE(test::RunWithMemoryLimit(kMemoryMb, [&] {
      return ReconstructionRefusal(c.Path).find(c.Reason) != std::string::npos;
    })) << c.Path;
}

TEST(FuzzRegressions, ANonFiniteSampleIsRefusedWithItsPlace) {
  TPupille g;
  const TOpenOutcome o =
      OpenTestImage(kRegressions + "/e2e/nan-pixel-exit0-empty-wavefront.fits", TPupilSearch{}, g);
  EXPECT_FALSE(o.Opened);
  EXPECT_EQ(o.Reason, kImageFormatIncompatible);
  EXPECT_NE(LastInputRefusal().find("row 129, column 159"), std::string::npos) << LastInputRefusal();
  // The gzip file holds a real frame followed by junk: read, the junk ignored.
  EXPECT_TRUE(test::RunWithMemoryLimit(kMemoryMb, [&] {
    TPupille f;
    return OpenTestImage(kRegressions + "/e2e/gzip-trailing-2GB.fits", TPupilSearch{}, f).Opened &&
           f.Nx == 256;
  }));
}

TEST(FuzzRegressions, LimitsAreCheckedOnTheHeaderBeforeAnyAllocation) {
  test::ScratchDir dir;
  // Headers announcing huge frames over a few bytes of data, plain and gzip:
  // the refusal names the limit, not the missing data, so nothing was read.
  std::string header =
      test::BuildHeader({test::Card("SIMPLE", "T"), test::Card("BITPIX", "16"), test::Card("NAXIS", "2"),
                         test::Card("NAXIS1", "16384"), test::Card("NAXIS2", "16384")});
  test::WriteBytes(dir.File("big.fits"), header + std::string(2880, '\0'));
  test::WriteGzipFile(dir.File("big.fits.gz"), header + std::string(2880, '\0'));
  for (const char* name : {"big.fits", "big.fits.gz"}) {
    EXPECT_TRUE(test::RunWithMemoryLimit(kMemoryMb, [&] {
      DoublePlanes plane;
      std::int32_t w = 0, h = 0;
      TImgInfos infos;
      return ReadFitsPlaneAsDoubles(dir.File(name), plane, w, h, infos) == kFitsIoError && plane.Empty() &&
             LastInputRefusal().find("largest frame") != std::string::npos;
    })) << name;
  }
}

TEST(FuzzRegressions, TheJpegBombsAreRefusedFromTheirHeader) {
  for (const std::string& f : Inputs(kRegressions, "jpeg-", "")) {
    EXPECT_TRUE(test::RunWithMemoryLimit(kMemoryMb, [&] {
      TRaster picture;
      std::string why;
      return !DecodeJpegFile(f, picture, &why) && picture.Empty() && !why.empty();
    })) << f;
  }
}

TEST(FuzzRegressions, DamagedPreferencesFilesReadAndWriteBackTheSameValues) {
  std::vector<std::string> files = Inputs(kRegressions, "prefs-", "");
  files.push_back(kRegressions + "/e2e/prefs-lambdaref-1e300-ubsan-drawellipse.txt");
  test::ScratchDir dir;
  for (const std::string& f : files) {
    TPreferences first;
    TImageFolderHistory history;
    ASSERT_TRUE(ReadPreferences(f, first, history)) << f;
    ASSERT_TRUE(WritePreferences(dir.File("Prefs.txt"), first, history)) << f;
    TPreferences second;
    TImageFolderHistory again;
    ASSERT_TRUE(ReadPreferences(dir.File("Prefs.txt"), second, again)) << f;
    EXPECT_TRUE(first.Valeurs == second.Valeurs) << f;
    EXPECT_EQ(history, again) << f;
  }
}

// Every single-byte change of a valid tile-compressed file's table and
// heap is refused or read cleanly: the sanitized build sees any over-read.
TEST(TileCheck, EveryDamagedByteOfTheTableAndHeapIsRefusedOrReadCleanly) {
  test::ScratchDir dir;
  for (const char* method : {"R", "G"}) {
    std::vector<std::int16_t> raw(32 * 24);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::int16_t>((i * 37) % 2000 - 300);
    const std::string good = dir.File(std::string("good") + method + ".fits");
    ASSERT_TRUE(test::WriteTileCompressed16(good, 32, 24, raw, 0.0, method));
    const std::string bytes = test::ReadBytes(good);
    std::string why;
    ASSERT_TRUE(CheckTileCompressedImage(bytes, 2880, &why)) << method << ": " << why;
    // The data unit of the extension starts after its header.
    const std::size_t dataStart = bytes.find("END     ", 2880) / 2880 * 2880 + 2880;
    int refused = 0, read = 0;
    for (std::size_t at = dataStart; at < bytes.size() && at < dataStart + 2880; at += 5) {
      std::string damaged = bytes;
      damaged[at] = static_cast<char>(damaged[at] ^ 0x5A);
      if (damaged == bytes) continue;
      const std::string path = dir.File("damaged.fits");
      test::WriteBytes(path, damaged);
      DoublePlanes plane;
      std::int32_t w = 0, h = 0;
      TImgInfos infos;
      const std::uint8_t status = ReadFitsPlaneAsDoubles(path, plane, w, h, infos);
      if (status == kFitsIoError) {
        ++refused;
        ASSERT_TRUE(plane.Empty());
        ASSERT_FALSE(LastInputRefusal().empty()) << at;
      } else {
        ++read;
        ASSERT_EQ(plane.PlaneSize(), raw.size()) << at;
      }
    }
    EXPECT_GT(refused, 0) << method;
  }
}

TEST(TileCheck, RiceStreamsCutShortOrOverlongAreRefused) {
  // One block of 32 equal 16-bit values: first value, then the code 0 (fs = -1).
  const std::string flat = std::string("\x01\x02", 2) + std::string(1, '\0');
  EXPECT_TRUE(RiceTileIsWhole(flat, 32, 2, 32));
  EXPECT_FALSE(RiceTileIsWhole(flat.substr(0, 2), 32, 2, 32));  // no stream byte
  // Two blocks need two codes: 8 bits hold both (4 bits each).
  EXPECT_TRUE(RiceTileIsWhole(flat, 64, 2, 32));
  EXPECT_FALSE(RiceTileIsWhole(flat, 96, 2, 32));  // a third code past the end
  // Raw blocks (code fs = fsmax) need 32 x 16 bits that are not there.
  EXPECT_FALSE(RiceTileIsWhole(std::string("\x00\x00\xF0", 3), 32, 2, 32));
  EXPECT_FALSE(RiceTileIsWhole(flat, 32, 3, 32));  // no such sample width
}

}  // namespace
}  // namespace caustica
