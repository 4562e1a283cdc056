#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "core/u_fonctionxy.h"
#include "io/fits_writer.h"
#include "io/frame_sequence.h"
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

// The cube the simulator writes for a sequence, read back the way frames
// are taken against seeing.
TEST(FitsWriter, ACubeReadsBackFrameByFrameWithItsRangeOverAllFrames) {
  test::ScratchDir dir;
  const std::string file = dir.File("cube.fits");
  const int w = 5, h = 3, frames = 4;  // 120 bytes a frame: the data end mid-block
  TImgInfos infos;
  infos.FocalLength = 1600.0;
  Fits16CubeWriter cube;
  ASSERT_TRUE(cube.Open(file, w, h, frames, infos));
  DoublePlanes p(w, h, 1);
  for (int k = 0; k < frames; ++k) {
    for (int r = 1; r <= h; ++r)
      for (int c = 1; c <= w; ++c) p[1][r][c] = 1000.0 * k + 10.0 * r + c;
    ASSERT_TRUE(cube.Append(p));
  }
  EXPECT_FALSE(std::filesystem::exists(file));  // not before Finish
  ASSERT_TRUE(cube.Finish());
  EXPECT_EQ(std::filesystem::file_size(file) % 2880, 0u);

  FrameSequence sequence;
  ASSERT_TRUE(sequence.Open({file})) << sequence.Refusal();
  EXPECT_EQ(sequence.GetKind(), FrameSequence::Kind::kFitsCube);
  ASSERT_EQ(sequence.Count(), frames);
  EXPECT_EQ(sequence.FrameWidth(), w);
  EXPECT_EQ(sequence.FrameHeight(), h);
  for (int k = 0; k < frames; ++k) {
    DoublePlanes back;
    ASSERT_TRUE(sequence.ReadFrame(k + 1, back));
    for (int r = 1; r <= h; ++r)
      for (int c = 1; c <= w; ++c)
        EXPECT_EQ(back[1][r][c], 1000.0 * k + 10.0 * r + c) << k << " " << r << " " << c;
  }
  // DATAMIN and DATAMAX, completed at the end, span the first and last frames.
  const std::string bytes = test::ReadBytes(file);
  EXPECT_NE(bytes.find("NAXIS   =                    3"), std::string::npos);
  EXPECT_NE(bytes.find("NAXIS3  =                    4"), std::string::npos);
  EXPECT_NE(bytes.find("DATAMIN =                   11"), std::string::npos);
  EXPECT_NE(bytes.find("DATAMAX =                 3035"), std::string::npos);
}

TEST(FitsWriter, AnUnfinishedCubeLeavesTheOldFileAndNoTemporaryOne) {
  test::ScratchDir dir;
  const std::string file = dir.File("cube.fits");
  test::WriteBytes(file, "old");
  DoublePlanes p(4, 4, 1);
  {
    Fits16CubeWriter cube;
    ASSERT_TRUE(cube.Open(file, 4, 4, 3, TImgInfos{}));
    ASSERT_TRUE(cube.Append(p));
    std::string why;
    EXPECT_FALSE(cube.Finish(&why));  // two frames short
    EXPECT_NE(why.find("1 of 3"), std::string::npos) << why;
  }
  {
    Fits16CubeWriter cube;
    ASSERT_TRUE(cube.Open(file, 4, 4, 1, TImgInfos{}));
    ASSERT_TRUE(cube.Append(p));
    EXPECT_FALSE(cube.Append(p));  // one more than announced
    DoublePlanes small(2, 2, 1);
    Fits16CubeWriter other;
    ASSERT_TRUE(other.Open(dir.File("other.fits"), 4, 4, 1, TImgInfos{}));
    EXPECT_FALSE(other.Append(small));
  }  // abandoned
  EXPECT_EQ(test::ReadBytes(file), "old");
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) entries += e.is_regular_file();
  EXPECT_EQ(entries, 1);
  Fits16CubeWriter refused;
  EXPECT_FALSE(refused.Open(file, 4, 4, 0, TImgInfos{}));
  EXPECT_FALSE(refused.Open(file, 0, 4, 2, TImgInfos{}));
}

}  // namespace
}  // namespace caustica
