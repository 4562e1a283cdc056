#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "core/u_fonctionxy.h"
#include "io/fits_writer.h"
#include "support/test_files.h"

namespace caustica {
namespace {

DoublePlanes Plane(int w, int h, std::initializer_list<double> values) {
  DoublePlanes p(w, h, 1);
  double* d = p.PlaneData(1);
  for (double v : values) *d++ = v;
  return p;
}

TEST(FitsWriter, SamplesRoundTripRoundedAndClampedToTheUnsignedRange) {
  test::ScratchDir dir;
  const std::string file = dir.File("frame.fits");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  DoublePlanes p = Plane(4, 2, {2.5, 3.5, -7.0, 70000.0, nan, 65535.0, 32768.0, 1234.4});
  TImgInfos infos;
  ASSERT_TRUE(WriteFits16(file, p, 4, 2, infos));
  EXPECT_EQ(std::filesystem::file_size(file) % 2880, 0u);

  TFctXY g;
  g.LoadFromFits(file);
  ASSERT_EQ(g.Nx, 4);
  ASSERT_EQ(g.Ny, 2);
  const double expected[2][4] = {{2, 4, 0, 65535}, {0, 65535, 32768, 1234}};
  for (int r = 1; r <= 2; ++r)
    for (int c = 1; c <= 4; ++c) EXPECT_EQ(g.Values[1][r][c], expected[r - 1][c - 1]) << r << "," << c;
  EXPECT_EQ(g.Infos.BZero, 32768.0);
  EXPECT_EQ(g.Infos.LowLevel[1], 0.0);
  EXPECT_EQ(g.Infos.HighLevel[1], 65535.0);
}

TEST(FitsWriter, HeaderValuesComeBackThroughTheReaderTable) {
  test::ScratchDir dir;
  const std::string file = dir.File("header.fits");
  TImgInfos infos;
  infos.FocalLength = 1600.0;  // mm; written as FOCLEN in metres
  infos.PixelSizeX = 5.2;
  infos.PixelSizeY = 4.8;
  infos.BinX = 2;
  infos.BinY = 3;
  infos.Diameter = 203.2;
  infos.Exposure = 12;
  infos.DateObs = "2024-03-01T21:30:05";
  infos.Observer = "O'Brien";
  infos.Instrument = std::string(100, 'x');  // cut so that the closing quote stays on the card
  infos.Comments[1] = "first";
  infos.Comments[3] = "third";
  DoublePlanes p = Plane(3, 3, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  ASSERT_TRUE(WriteFits16(file, p, 3, 3, infos));

  TFctXY g;
  g.LoadFromFits(file);
  ASSERT_EQ(g.Nx, 3);
  EXPECT_DOUBLE_EQ(g.Infos.FocalLength, 1600.0);
  EXPECT_DOUBLE_EQ(g.Infos.PixelSizeX, 5.2);
  EXPECT_DOUBLE_EQ(g.Infos.PixelSizeY, 4.8);
  EXPECT_EQ(g.Infos.BinX, 2);
  EXPECT_EQ(g.Infos.BinY, 3);
  EXPECT_DOUBLE_EQ(g.Infos.Diameter, 203.2);
  EXPECT_EQ(g.Infos.Exposure, 12);
  EXPECT_EQ(g.Infos.DateObs, "2024-03-01T21:30:05");
  EXPECT_EQ(g.Infos.Observer, "O'Brien");
  EXPECT_EQ(g.Infos.Instrument.substr(0, 60), std::string(60, 'x'));
  EXPECT_LE(g.Infos.Instrument.size(), 68u);
  EXPECT_EQ(g.Infos.Comments[1], "first");
  EXPECT_EQ(g.Infos.Comments[2], "third");
  EXPECT_EQ(g.Values[1][3][1], 7.0);  // file row 3 is row 3: no flip
}

TEST(FitsWriter, RefusesUnusableSizesAndUnwritablePlacesWithoutTouchingFiles) {
  test::ScratchDir dir;
  DoublePlanes p = Plane(2, 2, {1, 2, 3, 4});
  TImgInfos infos;
  std::string error;
  EXPECT_FALSE(WriteFits16(dir.File("a.fits"), p, 0, 2, infos, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(WriteFits16(dir.File("a.fits"), p, 3, 2, infos, &error));  // larger than the samples
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.fits")));

  error.clear();
  EXPECT_FALSE(WriteFits16(dir.File("missing/folder/a.fits"), p, 2, 2, infos, &error));
  EXPECT_FALSE(error.empty());

  // A successful rewrite replaces the file whole; a failed one leaves it.
  const std::string file = dir.File("keep.fits");
  ASSERT_TRUE(WriteFits16(file, p, 2, 2, infos));
  const std::string before = test::ReadBytes(file);
  EXPECT_FALSE(WriteFits16(file, p, 2, 3, infos));
  EXPECT_EQ(test::ReadBytes(file), before);
}

}  // namespace
}  // namespace caustica
