#include <gtest/gtest.h>

#include <filesystem>

#include "core/input_limits.h"
#include "io/ser_file.h"
#include "support/ser_writer.h"
#include "support/test_files.h"

namespace caustica {
namespace {

using test::SerVideo;

// Samples that differ in every position and in both bytes, so a swapped
// byte order or a shifted frame shows.
std::vector<std::uint16_t> Pattern(int n, int frame, int depth) {
  std::vector<std::uint16_t> v(static_cast<std::size_t>(n));
  const unsigned top = (1u << depth) - 1;
  for (int i = 0; i < n; ++i)
    v[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>((i * 37 + frame * 11 + 0x0102) % (top + 1));
  return v;
}

class SerFileTest : public ::testing::Test {
 protected:
  test::ScratchDir dir;
  std::string Write(const std::string& bytes, const std::string& name = "video.ser") {
    const std::string path = dir.File(name);
    test::WriteBytes(path, bytes);
    return path;
  }
};

TEST_F(SerFileTest, MonoRoundTripsEveryDepthAndByteOrder) {
  for (int depth : {1, 8, 12, 16})
    for (bool big : {false, true}) {
      SerVideo v;
      v.Depth = depth;
      v.BigEndian = big;
      for (int f = 1; f <= 3; ++f) v.Frames.push_back(Pattern(12, f, depth));
      SerFile ser;
      ASSERT_TRUE(ser.Open(Write(test::BuildSer(v)))) << ser.Refusal();
      SCOPED_TRACE(std::to_string(depth) + (big ? " big" : " little"));
      EXPECT_EQ(ser.FrameCount(), 3);
      EXPECT_EQ(ser.FrameWidth(), 4);
      EXPECT_EQ(ser.FrameHeight(), 3);
      EXPECT_EQ(ser.BytesPerSample(), depth <= 8 ? 1 : 2);
      EXPECT_EQ(ser.BigEndianSamples(), big && depth > 8);
      EXPECT_EQ(ser.Conversion(), "mono");
      EXPECT_EQ(ser.Header().Telescope, "scope");
      for (int f : {3, 1, 2}) {  // any order: frames are found by position
        DoublePlanes plane;
        ASSERT_TRUE(ser.ReadFrame(f, plane)) << ser.Refusal();
        const auto want = Pattern(12, f, depth);
        for (int i = 0; i < 12; ++i)
          EXPECT_EQ(plane[1][i / 4 + 1][i % 4 + 1], want[static_cast<std::size_t>(i)]);
      }
    }
}

TEST_F(SerFileTest, FieldTakenAtItsNameSwapsTheBytes) {
  SerVideo v;
  v.Depth = 16;
  v.Frames = {{0x0102, 0xff00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
  SerFile ser;
  ASSERT_TRUE(ser.Open(Write(test::BuildSer(v)), SerEndianRule::kAsNamed));
  EXPECT_TRUE(ser.BigEndianSamples());
  DoublePlanes plane;
  ASSERT_TRUE(ser.ReadFrame(1, plane));
  EXPECT_EQ(plane[1][1][1], 0x0201);
  EXPECT_EQ(plane[1][1][2], 0x00ff);
}

TEST_F(SerFileTest, BayerCellsAndColourPixelsBecomeLuminance) {
  // 5 x 4 RGGB: cells of R G / G B with a value per cell; the odd last
  // column has no full cell and is dropped.
  SerVideo v;
  v.ColorId = kSerBayerRggb;
  v.Width = 5;
  v.Height = 4;
  v.Depth = 16;
  v.BigEndian = true;
  std::vector<std::uint16_t> f(20, 60000);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) {
      const int cell = (r / 2) * 2 + c / 2;
      const int colour = (r % 2) * 2 + c % 2;  // 0 R, 1 and 2 G, 3 B
      f[static_cast<std::size_t>(r * 5 + c)] =
          static_cast<std::uint16_t>(1000 * (cell + 1) + (colour == 0   ? 400
                                                          : colour == 3 ? 0
                                                                        : 100));
    }
  v.Frames = {f};
  SerFile ser;
  ASSERT_TRUE(ser.Open(Write(test::BuildSer(v))));
  EXPECT_EQ(ser.Conversion(), "Bayer RGGB, binned 2x2 to luminance");
  ASSERT_EQ(ser.FrameWidth(), 2);
  ASSERT_EQ(ser.FrameHeight(), 2);
  DoublePlanes plane;
  ASSERT_TRUE(ser.ReadFrame(1, plane));
  EXPECT_EQ(plane[1][1][1], 1150.0);
  EXPECT_EQ(plane[1][1][2], 2150.0);
  EXPECT_EQ(plane[1][2][1], 3150.0);
  EXPECT_EQ(plane[1][2][2], 4150.0);

  for (std::int32_t colour : {kSerRgb, kSerBgr}) {
    SerVideo c;
    c.ColorId = colour;
    c.Width = 2;
    c.Height = 1;
    c.Frames = {{30, 60, 90, 255, 0, 0}};
    SerFile rgb;
    ASSERT_TRUE(rgb.Open(Write(test::BuildSer(c))));
    EXPECT_EQ(rgb.Conversion(), colour == kSerRgb ? "RGB to luminance" : "BGR to luminance");
    ASSERT_TRUE(rgb.ReadFrame(1, plane));
    EXPECT_EQ(plane[1][1][1], 60.0);
    EXPECT_EQ(plane[1][1][2], 85.0);
  }
}

TEST_F(SerFileTest, TimeStampsOnlyFromAWellFormedTrailer) {
  SerVideo v;
  v.Frames = {Pattern(12, 1, 8), Pattern(12, 2, 8), Pattern(12, 3, 8)};
  SerFile ser;
  ASSERT_TRUE(ser.Open(Write(test::BuildSer(v))));
  EXPECT_TRUE(ser.TimeStamps().empty());
  EXPECT_EQ(ser.TimeStampNote(), "no time stamps");

  v.Stamps = {638000000000000000, 638000000000100000, 638000000000200000};
  ASSERT_TRUE(ser.Open(Write(test::BuildSer(v))));
  EXPECT_EQ(ser.TimeStamps(), v.Stamps);
  DoublePlanes plane;
  ASSERT_TRUE(ser.ReadFrame(3, plane));  // the trailer is not taken for a frame
  EXPECT_EQ(plane[1][3][4], Pattern(12, 3, 8)[11]);

  v.Stamps = {638000000000000000, 637000000000000000, 638000000000200000};
  ASSERT_TRUE(ser.Open(Write(test::BuildSer(v))));
  EXPECT_TRUE(ser.TimeStamps().empty());
  EXPECT_NE(ser.TimeStampNote().find("time stamp 2"), std::string::npos);

  std::string shortTrailer = test::BuildSer(v);
  shortTrailer.resize(shortTrailer.size() - 4);
  ASSERT_TRUE(ser.Open(Write(shortTrailer)));
  EXPECT_TRUE(ser.TimeStamps().empty());
  EXPECT_NE(ser.TimeStampNote().find("ignored"), std::string::npos);
}

TEST_F(SerFileTest, DamagedFilesAreRefusedWithAReason) {
  SerVideo v;
  v.Depth = 16;
  v.Frames = {Pattern(12, 1, 16), Pattern(12, 2, 16)};
  const std::string good = test::BuildSer(v);
  struct Case {
    const char* what;
    std::string bytes;
    const char* reason;
  };
  auto with = [&](int at, std::int32_t value) {
    std::string b = good;
    test::PutInt32(b, at, value);
    return b;
  };
  std::string badId = good;
  badId[0] = 'X';
  std::string tinyBayer = with(test::kSerColorIdAt, kSerBayerGrbg);
  test::PutInt32(tinyBayer, test::kSerWidthAt, 1);
  test::PutInt32(tinyBayer, test::kSerHeightAt, 48);
  std::string overflow = with(test::kSerWidthAt, 65536);  // 65536 x 65536 x 2 bytes wraps 32 bits
  test::PutInt32(overflow, test::kSerHeightAt, 65536);
  std::string manyBigFrames = with(test::kSerWidthAt, 6000);  // 48 MB a frame, 4.8 TB in all
  test::PutInt32(manyBigFrames, test::kSerHeightAt, 4000);
  test::PutInt32(manyBigFrames, test::kSerFrameCountAt, 100000);
  const std::vector<Case> cases = {
      {"empty", "", "shorter than the 178-byte header"},
      {"truncated header", good.substr(0, 100), "shorter than the 178-byte header"},
      {"another format", badId, "not a SER video"},
      {"truncated frames", good.substr(0, good.size() - 5), "holds only 1 whole frames"},
      {"more frames than data", with(test::kSerFrameCountAt, 3), "holds only 2 whole frames"},
      {"zero width", with(test::kSerWidthAt, 0), "not positive"},
      {"negative height", with(test::kSerHeightAt, -3), "not positive"},
      {"no frames", with(test::kSerFrameCountAt, 0), "announces 0 frames"},
      {"negative count", with(test::kSerFrameCountAt, -1), "announces -1 frames"},
      {"huge count", with(test::kSerFrameCountAt, 0x7fffffff), "more than 100000"},
      {"depth 0", with(test::kSerDepthAt, 0), "pixel depth 0"},
      {"depth 17", with(test::kSerDepthAt, 17), "pixel depth 17"},
      {"unknown colour", with(test::kSerColorIdAt, 5), "colour code 5"},
      {"Bayer one column wide", tinyBayer, "too small to bin"},
      {"frame past the limits", overflow, "million samples"},
      {"many large frames", manyBigFrames, "holds only 0 whole frames"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SerFile ser;
    EXPECT_FALSE(ser.Open(Write(c.bytes)));
    EXPECT_NE(ser.Refusal().find(c.reason), std::string::npos) << ser.Refusal();
    EXPECT_EQ(LastInputRefusal(), ser.Refusal());
    EXPECT_FALSE(ser.IsOpen());
    DoublePlanes plane;
    EXPECT_FALSE(ser.ReadFrame(1, plane));
    EXPECT_TRUE(plane.Empty());
  }
  SerFile missing;
  EXPECT_FALSE(missing.Open(dir.File("absent.ser")));
  EXPECT_FALSE(missing.Refusal().empty());
}

TEST_F(SerFileTest, FramesOutsideTheVideoOrTheFileAreRefused) {
  SerVideo v;
  v.Frames = {Pattern(12, 1, 8), Pattern(12, 2, 8)};
  const std::string path = Write(test::BuildSer(v));
  SerFile ser;
  ASSERT_TRUE(ser.Open(path));
  DoublePlanes plane;
  EXPECT_FALSE(ser.ReadFrame(0, plane));
  EXPECT_FALSE(ser.ReadFrame(3, plane));
  EXPECT_NE(ser.Refusal().find("not among the 2 frames"), std::string::npos);
  // The file is cut after it was opened: the frame past the end says so.
  std::filesystem::resize_file(path, kSerHeaderSize + 12 + 5);
  EXPECT_TRUE(ser.ReadFrame(1, plane));
  EXPECT_FALSE(ser.ReadFrame(2, plane));
  EXPECT_TRUE(plane.Empty());
  EXPECT_NE(ser.Refusal().find("shorter than its header says"), std::string::npos);
}

}  // namespace
}  // namespace caustica
