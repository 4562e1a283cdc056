#include <gtest/gtest.h>

#include <random>

#include "io/u_fichier.h"
#include "support/fits_writer.h"
#include "support/test_files.h"

namespace caustica {
namespace {

using test::Card;

// Cards likely to upset a reader: absurd sizes, odd formats, broken values.
const char* const kNastyCards[] = {"NAXIS1  = 100000",
                                   "NAXIS2  = 2147483647",
                                   "NAXIS3  = 255",
                                   "NAXIS   = 3",
                                   "NAXIS   = 1",
                                   "NAXIS   = 0",
                                   "NAXIS   = 999",
                                   "NAXIS1  = -4",
                                   "BITPIX  = 32",
                                   "BITPIX  = -64",
                                   "BITPIX  = 7",
                                   "BITPIX  = 8",
                                   "BZERO   = 32768",
                                   "BSCALE  = 0,5",
                                   "BSCALE  = 1e308",
                                   "BZERO   = nan",
                                   "END",
                                   "SUBSAMP = 99999",
                                   "CDELT1  = 1",
                                   "AMDX1   = 0",
                                   "OBSERVER= 'unclosed",
                                   "DATAMAX = 1.5",
                                   "COMMENT x",
                                   "        ",
                                   "EXPOSURE= 1e300",
                                   "BINX    = 70000",
                                   "X1      = 1O",
                                   "SIMPLE  = T"};

std::uint64_t MaxSamplesFor(std::size_t fileBytes, int bitpix) {
  const int bytes = std::abs(bitpix) / 8;
  return bytes ? fileBytes / static_cast<std::uint64_t>(bytes) : 0;
}

std::string Mutate(std::string bytes, std::mt19937& rng) {
  std::uniform_int_distribution<int> kind(0, 5);
  const std::size_t headerCards = std::min<std::size_t>(bytes.size() / 80, 72);
  switch (kind(rng)) {
    case 0: {  // flip a few header bytes
      const int flips = 1 + static_cast<int>(rng() % 8);
      for (int i = 0; i < flips && !bytes.empty(); ++i)
        bytes[rng() % std::min<std::size_t>(bytes.size(), 5760)] = static_cast<char>(rng());
      break;
    }
    case 1:
    case 2: {  // replace a card with a nasty one
      if (headerCards == 0) break;
      const std::string card = test::RawCard(kNastyCards[rng() % std::size(kNastyCards)]);
      bytes.replace((rng() % headerCards) * 80, 80, card);
      break;
    }
    case 3:  // truncate anywhere
      bytes.resize(rng() % (bytes.size() + 1));
      break;
    case 4:  // insert a byte, shifting every later card
      bytes.insert(bytes.begin() + static_cast<long>(rng() % (bytes.size() + 1)), static_cast<char>(rng()));
      break;
    default:  // drop a whole block
      if (bytes.size() >= 2880) bytes.erase((rng() % (bytes.size() / 2880)) * 2880, 2880);
      break;
  }
  return bytes;
}

TEST(FitsFuzz, MutatedFilesGiveACleanStatusAndBoundedArrays) {
  std::vector<std::string> seeds;
  for (int bitpix : {8, 16, 32, -32, -64})
    for (int planes : {1, 3}) {
      test::FitsImage img;
      img.Bitpix = bitpix;
      img.Width = 9;
      img.Height = 7;
      img.Planes = planes;
      img.Raw.assign(static_cast<std::size_t>(9 * 7 * planes), 3.0);
      img.Cards = {Card("BZERO", "0"), Card("OBSERVER", "'someone'"), Card("DATAMAX", "100")};
      seeds.push_back(test::BuildFits(img));
    }

  test::ScratchDir dir;
  std::mt19937 rng(20240517u);
  int readOk = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string bytes = seeds[rng() % seeds.size()];
    const int mutations = 1 + static_cast<int>(rng() % 3);
    for (int m = 0; m < mutations; ++m) bytes = Mutate(std::move(bytes), rng);
    const bool gzip = round % 10 == 0;
    const std::string path = dir.File(gzip ? "f.fits.gz" : "f.fits");
    if (gzip)
      test::WriteGzipFile(path, bytes);
    else
      test::WriteBytes(path, bytes);

    Int16Planes s16;
    DoublePlanes s64;
    std::int32_t w = 0, h = 0, planes = 0;
    std::uint8_t type = 0;
    TImgInfos infos;
    const std::uint8_t status = ReadFitsFile(path, s16, s64, w, h, planes, type, infos);
    ASSERT_TRUE(status == kFitsRead || status == kFitsIoError) << round;
    ASSERT_FALSE(!s16.Empty() && !s64.Empty()) << round;
    if (status == kFitsIoError) {
      ASSERT_TRUE(s16.Empty() && s64.Empty()) << round;
      continue;
    }
    if (s16.Empty() && s64.Empty()) continue;
    ++readOk;
    const int count = s16.Empty() ? s64.PlaneCount() : s16.PlaneCount();
    const std::size_t size = s16.Empty() ? s64.PlaneSize() : s16.PlaneSize();
    ASSERT_EQ(count, planes) << round;
    ASSERT_EQ(size, static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) << round;
    ASSERT_LE(static_cast<std::uint64_t>(size) * static_cast<std::uint64_t>(count),
              MaxSamplesFor(bytes.size(), infos.Bitpix))
        << round;
  }
  EXPECT_GT(readOk, 100);  // the mutations leave plenty of readable files
}

}  // namespace
}  // namespace caustica
