#include <gtest/gtest.h>

#include <cmath>

#include "core/u_fonctionxy.h"
#include "io/u_fichier.h"
#include "support/fits_writer.h"
#include "support/test_files.h"

namespace caustica {
namespace {

using test::Card;
using test::FitsImage;

struct Read {
  std::uint8_t status = 255;
  Int16Planes s16;
  DoublePlanes s64;
  std::int32_t width = -1, height = -1, planes = -1;
  std::uint8_t type = 255;
  TImgInfos infos;
};

class FitsData : public ::testing::Test {
 protected:
  test::ScratchDir dir;

  std::string Write(const std::string& bytes, const std::string& name = "img.fits") {
    const std::string path = dir.File(name);
    test::WriteBytes(path, bytes);
    return path;
  }
  static Read Load(const std::string& path) {
    Read r;
    r.status = ReadFitsFile(path, r.s16, r.s64, r.width, r.height, r.planes, r.type, r.infos);
    return r;
  }
  Read LoadImage(const FitsImage& image) { return Load(Write(test::BuildFits(image))); }
};

std::vector<double> Ramp(std::size_t n, double start, double step) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = start + step * static_cast<double>(i);
  return v;
}

TEST_F(FitsData, EveryBitpixInFileOrder) {
  for (int bitpix : {8, 16, 32, -32, -64}) {
    FitsImage img;
    img.Bitpix = bitpix;
    img.Raw = Ramp(12, bitpix == 8 ? 0 : -5, bitpix < 0 ? 0.25 : 1);
    const Read r = LoadImage(img);
    ASSERT_EQ(r.status, kFitsRead) << bitpix;
    EXPECT_EQ(r.width, 4);
    EXPECT_EQ(r.height, 3);
    EXPECT_EQ(r.planes, 1);
    const bool int16 = bitpix == 8 || bitpix == 16;
    EXPECT_EQ(r.type, int16 ? kType16 : kTypeDouble) << bitpix;
    ASSERT_EQ(r.s16.Empty(), !int16);
    ASSERT_EQ(r.s64.Empty(), int16);
    for (int row = 1; row <= 3; ++row)
      for (int c = 1; c <= 4; ++c) {
        const double expected = img.Raw[(row - 1) * 4 + (c - 1)];
        const double got = int16 ? r.s16[1][row][c] : r.s64[1][row][c];
        EXPECT_EQ(got, expected) << bitpix << " " << row << " " << c;
      }
  }
}

TEST_F(FitsData, UnsignedCameraBecomesDoubles) {
  FitsImage img;
  img.Cards = {Card("BZERO", "32768"), Card("BSCALE", "1")};
  img.Raw = {-32768, -1, 0, 1, 32767, 0, 0, 0, 0, 0, 0, 0};
  const Read r = LoadImage(img);
  ASSERT_EQ(r.status, kFitsRead);
  EXPECT_EQ(r.type, kTypeDouble);
  ASSERT_TRUE(r.s16.Empty());
  EXPECT_EQ(r.s64[1][1][1], 0.0);
  EXPECT_EQ(r.s64[1][1][2], 32767.0);
  EXPECT_EQ(r.s64[1][2][1], 65535.0);
}

TEST_F(FitsData, ScaledSamplesStay16BitOnlyWhenWholeAndInRange) {
  FitsImage img;
  img.Cards = {Card("BZERO", "-100"), Card("BSCALE", "2")};
  img.Raw = Ramp(12, -6, 1);
  Read r = LoadImage(img);
  ASSERT_EQ(r.type, kType16);
  EXPECT_EQ(r.s16[1][1][1], -112);
  EXPECT_EQ(r.s16[1][3][4], -90);

  img.Cards = {Card("BSCALE", "0.5")};
  r = LoadImage(img);
  ASSERT_EQ(r.type, kTypeDouble);
  EXPECT_EQ(r.s64[1][1][1], -3.0);
  EXPECT_EQ(r.s64[1][1][2], -2.5);

  img.Bitpix = 8;
  img.Raw = Ramp(12, 0, 1);
  img.Cards = {Card("BZERO", "32760")};
  r = LoadImage(img);
  ASSERT_EQ(r.type, kTypeDouble);  // 8-bit data beyond 16 bits are not clamped
  EXPECT_EQ(r.s64[1][3][4], 32771.0);

  img.Bitpix = -32;
  img.Cards = {Card("BZERO", "1,5"), Card("BSCALE", "2")};
  r = LoadImage(img);
  EXPECT_EQ(r.s64[1][1][2], 3.5);
  img.Bitpix = -64;  // 64-bit floats are taken as they stand
  r = LoadImage(img);
  EXPECT_EQ(r.s64[1][1][2], 1.0);
}

TEST_F(FitsData, ColourAndCubes) {
  FitsImage img;
  img.Planes = 3;
  img.Raw = Ramp(36, 0, 1);
  img.Cards = {Card("DATAMIN", "5"), Card("MIPS-HI", "77")};
  Read r = LoadImage(img);
  ASSERT_EQ(r.status, kFitsRead);
  EXPECT_EQ(r.type, kTypeColour16);
  EXPECT_EQ(r.planes, 3);
  EXPECT_EQ(r.s16[2][1][1], 12);
  EXPECT_EQ(r.s16[3][3][4], 35);
  EXPECT_EQ(r.infos.LowLevel[3], 5.0);
  EXPECT_EQ(r.infos.HighLevel[2], 77.0);

  img.Cards = {Card("BZERO", "32768")};
  r = LoadImage(img);
  EXPECT_EQ(r.type, kTypeDoubleGrid);
  EXPECT_EQ(r.s64[3][3][4], 32768.0 + 35);

  img.Planes = 2;
  img.Raw = Ramp(24, 0, 1);
  img.Cards = {};
  r = LoadImage(img);
  EXPECT_EQ(r.type, kType16);
  EXPECT_EQ(r.planes, 2);
  EXPECT_EQ(r.s16[2][3][4], 23);

  img.Bitpix = 32;
  r = LoadImage(img);
  EXPECT_EQ(r.type, kTypeDouble);
  EXPECT_EQ(r.s64[2][3][4], 23.0);
}

TEST_F(FitsData, HeaderFailuresMakeTheFileUnreadable) {
  FitsImage img;
  img.Raw = Ramp(12, 0, 1);
  img.WithEnd = false;
  Read r = LoadImage(img);
  EXPECT_EQ(r.status, kFitsIoError);
  EXPECT_TRUE(r.s16.Empty() && r.s64.Empty());

  img.WithEnd = true;
  img.Cards = {Card("BINX", "2.0")};
  r = LoadImage(img);
  EXPECT_EQ(r.status, kFitsIoError);

  r = Load(Write("This is a text file, not an image.\n"));
  EXPECT_EQ(r.status, kFitsIoError);
  r = Load(dir.File("missing.fits"));
  EXPECT_EQ(r.status, kFitsIoError);
}

TEST_F(FitsData, TruncatedOrOversizedDataIsRefused) {
  FitsImage img;
  img.Raw = Ramp(12, 0, 1);
  const std::string bytes = test::BuildFits(img);
  Read r = Load(Write(bytes.substr(0, 2880 + 10)));
  EXPECT_EQ(r.status, kFitsIoError);
  EXPECT_TRUE(r.s16.Empty());

  img.Width = img.Height = 100000;  // 3 kB announcing 10^10 samples
  img.Raw.clear();
  r = LoadImage(img);
  EXPECT_EQ(r.status, kFitsIoError);
  EXPECT_TRUE(r.s16.Empty() && r.s64.Empty());

  img.Width = 2147483647;
  img.Height = 2147483647;
  img.Planes = 255;
  img.Bitpix = -64;
  r = LoadImage(img);
  EXPECT_EQ(r.status, kFitsIoError);
}

TEST_F(FitsData, CardsThatDisagreeWithTheLayoutAreRefused) {
  FitsImage img;
  img.Raw = Ramp(12, 0, 1);
  img.Cards = {Card("NAXIS1", "3")};  // a later card overrides the size
  EXPECT_EQ(LoadImage(img).status, kFitsIoError);

  img.Cards = {};
  img.Raw.clear();
  img.Bitpix = 12;
  const Read r = LoadImage(img);
  EXPECT_TRUE(r.s16.Empty() && r.s64.Empty());
}

TEST_F(FitsData, GzipAndTileCompressedFiles) {
  FitsImage img;
  img.Raw = Ramp(12, -3, 7);
  img.Cards = {test::TextCard("OBSERVER", "gz")};
  const std::string gz = dir.File("img.fits.gz");
  test::WriteGzipFile(gz, test::BuildFits(img));
  Read r = Load(gz);
  ASSERT_EQ(r.status, kFitsRead);
  EXPECT_EQ(r.infos.Observer, "gz");
  EXPECT_EQ(r.s16[1][3][4], -3 + 7 * 11);

  std::int64_t length = 0;
  TImgInfos infos;
  EXPECT_TRUE(ReadFitsHeader(gz, length, infos));
  EXPECT_EQ(length, 2880);

  img.Width = img.Height = 1000;
  img.Raw.clear();
  test::WriteGzipFile(gz, test::BuildFits(img));
  EXPECT_EQ(Load(gz).status, kFitsIoError);

  const std::string tile = dir.File("tile.fits");
  std::vector<std::int16_t> raw(64 * 32);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::int16_t>(i * 13 % 2000 - 1000);
  ASSERT_TRUE(test::WriteTileCompressed16(tile, 64, 32, raw, 0.0));
  r = Load(tile);
  ASSERT_EQ(r.status, kFitsRead);
  EXPECT_EQ(r.infos.Observer, "Tile    ");  // quoted text keeps its padding
  EXPECT_EQ(r.width, 64);
  EXPECT_EQ(r.type, kType16);
  EXPECT_EQ(r.s16[1][32][64], raw.back());

  ASSERT_TRUE(test::WriteTileCompressed16(tile, 64, 32, raw, 32768.0));
  r = Load(tile);
  ASSERT_EQ(r.status, kFitsRead);
  EXPECT_EQ(r.type, kTypeDouble);
  EXPECT_EQ(r.s64[1][2][1], 32768.0 + raw[64]);
}

TEST_F(FitsData, LoadFromFitsWidensPlaneOne) {
  FitsImage img;
  img.Planes = 3;
  img.Raw = Ramp(36, -18, 1);
  TFctXY grid;
  grid.Dx = 0.5;
  grid.LoadFromFits(Write(test::BuildFits(img)));
  ASSERT_TRUE(grid.HasArrays());
  EXPECT_EQ(grid.Nx, 4);
  EXPECT_EQ(grid.Ny, 3);
  EXPECT_EQ(grid.Values.PlaneCount(), 1);
  EXPECT_EQ(grid.Values[1][1][1], -18.0);
  EXPECT_EQ(grid.Values[1][3][4], -7.0);
  EXPECT_EQ(grid.Mask[1][2][2], 0);
  EXPECT_EQ(grid.XAxis.size(), 5u);
  EXPECT_EQ(grid.YAxis.size(), 4u);
  EXPECT_EQ(grid.Dx, 0.5);
  EXPECT_EQ(grid.Infos.Naxis3, 3);

  img.Planes = 1;
  img.Bitpix = -32;
  img.Raw = Ramp(12, 0, 0.5);
  grid.LoadFromFits(Write(test::BuildFits(img)));
  EXPECT_EQ(grid.Values[1][3][4], 5.5);

  // The same scaled values ReadFitsFile gives, for both of its representations.
  img.Bitpix = 16;
  img.Raw = Ramp(12, -6, 1);
  for (const char* bzero : {"32768", "0"}) {
    img.Cards = {Card("BZERO", bzero), Card("BSCALE", "0,5")};
    const std::string path = Write(test::BuildFits(img));
    const Read r = Load(path);
    grid.LoadFromFits(path);
    ASSERT_EQ(r.status, kFitsRead);
    for (int row = 1; row <= 3; ++row)
      for (int c = 1; c <= 4; ++c) EXPECT_EQ(grid.Values[1][row][c], r.s64[1][row][c]);
  }
  img.Cards = {Card("BZERO", "-7")};
  grid.LoadFromFits(Write(test::BuildFits(img)));
  EXPECT_EQ(grid.Values[1][3][4], -2.0);

  img.WithEnd = false;
  grid.LoadFromFits(Write(test::BuildFits(img)));
  EXPECT_FALSE(grid.HasArrays());
  EXPECT_TRUE(grid.Mask.Empty());
  EXPECT_EQ(grid.Nx, 0);
}

}  // namespace
}  // namespace caustica
