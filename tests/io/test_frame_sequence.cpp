#include <gtest/gtest.h>

#include "core/input_limits.h"
#include "io/frame_sequence.h"
#include "io/u_fichier.h"
#include "support/fits_writer.h"
#include "support/ser_writer.h"
#include "support/test_files.h"

namespace caustica {
namespace {

using test::FitsImage;

// A frame whose samples tell their frame and position apart.
std::vector<double> Samples(int w, int h, int planes, int first) {
  std::vector<double> v;
  for (int p = 0; p < planes; ++p)
    for (int i = 0; i < w * h; ++i) v.push_back((first + p) * 100 + i);
  return v;
}

class FrameSequenceTest : public ::testing::Test {
 protected:
  test::ScratchDir dir;
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string path = dir.File(name);
    test::WriteBytes(path, bytes);
    return path;
  }
  std::string Fits(const std::string& name, int w, int h, int planes, int first, int bitpix = 16) {
    FitsImage img;
    img.Bitpix = bitpix;
    img.Width = w;
    img.Height = h;
    img.Planes = planes;
    img.Raw = Samples(w, h, planes, first);
    return Write(name, test::BuildFits(img));
  }
};

TEST_F(FrameSequenceTest, FitsFilesAreFramesInTheGivenOrder) {
  const std::vector<std::string> paths = {Fits("c.fits", 4, 3, 1, 3), Fits("a.fits", 4, 3, 1, 1),
                                          Fits("b.fits", 4, 3, 1, 2, -32)};
  FrameSequence seq;
  ASSERT_TRUE(seq.Open(paths)) << seq.Refusal();
  EXPECT_EQ(seq.GetKind(), FrameSequence::Kind::kFitsFiles);
  EXPECT_EQ(seq.Count(), 3);
  EXPECT_EQ(seq.Description(), "3 FITS files");
  EXPECT_EQ(seq.FrameSource(2), "a.fits");
  EXPECT_EQ(seq.Video(), nullptr);
  DoublePlanes plane;
  ASSERT_TRUE(seq.ReadFrame(3, plane));
  EXPECT_EQ(plane.Width(), 4);
  EXPECT_EQ(plane[1][2][1], 204.0);

  ASSERT_TRUE(seq.Open({paths[1]}));
  EXPECT_EQ(seq.Description(), "1 FITS file");
}

TEST_F(FrameSequenceTest, CubePlanesAreFramesPastTheHeaderRecordsByte) {
  FrameSequence seq;
  ASSERT_TRUE(seq.Open({Fits("cube.fits", 3, 2, 4, 1)}));
  EXPECT_EQ(seq.GetKind(), FrameSequence::Kind::kFitsCube);
  EXPECT_EQ(seq.Description(), "FITS cube of 4 frames");
  EXPECT_EQ(seq.FrameSource(3), "cube.fits, frame 3");
  DoublePlanes plane;
  ASSERT_TRUE(seq.ReadFrame(3, plane));
  EXPECT_EQ(plane[1][1][1], 300.0);
  EXPECT_EQ(plane[1][2][3], 305.0);

  // 300 planes: NAXIS3 no longer fits the header record's byte.
  ASSERT_TRUE(seq.Open({Fits("long.fits", 2, 2, 300, 1, -32)})) << seq.Refusal();
  EXPECT_EQ(seq.Count(), 300);
  ASSERT_TRUE(seq.ReadFrame(300, plane));
  EXPECT_EQ(plane[1][2][2], 30003.0);
  EXPECT_FALSE(seq.ReadFrame(301, plane));

  // The whole-image reader keeps its own rule for that file.
  Int16Planes s16;
  DoublePlanes s64;
  std::int32_t w = 0, h = 0, planes = 0;
  std::uint8_t type = 0;
  TImgInfos infos;
  EXPECT_EQ(ReadFitsFile(dir.File("long.fits"), s16, s64, w, h, planes, type, infos), kFitsIoError);
}

TEST_F(FrameSequenceTest, SerVideoIsDescribedWithItsConversion) {
  test::SerVideo v;
  v.ColorId = kSerBayerRggb;
  v.Depth = 16;
  v.Width = 4;
  v.Height = 4;
  v.Frames = {std::vector<std::uint16_t>(16, 8), std::vector<std::uint16_t>(16, 9)};
  v.Stamps = {10, 20};
  FrameSequence seq;
  ASSERT_TRUE(seq.Open({Write("night.ser", test::BuildSer(v))})) << seq.Refusal();
  EXPECT_EQ(seq.Description(), "SER video of 2 frames, 16-bit, Bayer RGGB, binned 2x2 to luminance");
  EXPECT_EQ(seq.FrameWidth(), 2);
  ASSERT_NE(seq.Video(), nullptr);
  EXPECT_EQ(seq.Video()->TimeStamps().size(), 2u);
  DoublePlanes plane;
  ASSERT_TRUE(seq.ReadFrame(2, plane));
  EXPECT_EQ(plane[1][2][2], 9.0);
}

TEST_F(FrameSequenceTest, RefusalsNameTheFile) {
  const std::string a = Fits("a.fits", 4, 3, 1, 1);
  std::string cut = test::BuildFits(FitsImage{});
  cut.resize(2880 + 10);
  test::SerVideo bad;
  bad.Frames = {std::vector<std::uint16_t>(12, 1)};
  std::string badSer = test::BuildSer(bad);
  test::PutInt32(badSer, test::kSerFrameCountAt, 9);
  FitsImage colour;
  colour.Planes = 3;
  colour.Raw = Samples(4, 3, 3, 1);
  struct Case {
    std::vector<std::string> paths;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {{}, "no file given"},
      {{a, Write("notes.txt", "hello, not an image")}, "notes.txt: neither a FITS image nor a SER video"},
      {{a, dir.File("absent.fits")}, "absent.fits: the file cannot be opened"},
      {{a, Write("cut.fits", cut)}, "cut.fits: the file holds less data"},
      {{a, Fits("wide.fits", 5, 3, 1, 2)},
       "wide.fits: its frame of 5 x 3 differs from the first file's 4 x 3"},
      {{a, Fits("cube.fits", 4, 3, 2, 2)}, "cube.fits: a cube of 2 frames is opened on its own"},
      {{Write("colour.fits", test::BuildFits(colour))}, "colour.fits: a colour image"},
      {{Write("bad.ser", badSer)}, "bad.ser: the video announces 9 frames"},
      {{a, Write("v.ser", test::BuildSer(bad))}, "v.ser: a SER video is opened on its own"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    FrameSequence seq;
    EXPECT_FALSE(seq.Open(c.paths));
    EXPECT_NE(seq.Refusal().find(c.reason), std::string::npos) << seq.Refusal();
    EXPECT_EQ(LastInputRefusal(), seq.Refusal());
    EXPECT_EQ(seq.Count(), 0);
    DoublePlanes plane;
    EXPECT_FALSE(seq.ReadFrame(1, plane));
  }
}

TEST_F(FrameSequenceTest, AFileChangedAfterOpeningIsRefusedByName) {
  const std::string b = Fits("b.fits", 4, 3, 1, 2);
  FrameSequence seq;
  ASSERT_TRUE(seq.Open({Fits("a.fits", 4, 3, 1, 1), b}));
  Fits("b.fits", 6, 3, 1, 2);
  DoublePlanes plane;
  EXPECT_TRUE(seq.ReadFrame(1, plane));
  EXPECT_FALSE(seq.ReadFrame(2, plane));
  EXPECT_TRUE(plane.Empty());
  EXPECT_NE(seq.Refusal().find("b.fits: the frame is no longer the 4 x 3 frame"), std::string::npos)
      << seq.Refusal();
}

}  // namespace
}  // namespace caustica
