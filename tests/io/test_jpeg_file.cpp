#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "io/jpeg_file.h"
#include "support/test_files.h"

using namespace caustica;
using caustica::test::ReadBytes;
using caustica::test::ScratchDir;
using caustica::test::WriteBytes;

namespace {

// A smooth colour test card: gradients in each channel and a bright disc.
TRaster TestCard(int width, int height) {
  TRaster r;
  r.Resize(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = r.Pixel(x, y);
      const double dx = x - width / 2.0, dy = y - height / 2.0;
      const bool disc = dx * dx + dy * dy < (width / 4.0) * (width / 4.0);
      p[0] = static_cast<std::uint8_t>(255 * x / (width - 1));
      p[1] = static_cast<std::uint8_t>(255 * y / (height - 1));
      p[2] = disc ? 230 : 40;
    }
  return r;
}

double Psnr(const TRaster& a, const TRaster& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.Rgb.size(); ++i) {
    const double d = double(a.Rgb[i]) - double(b.Rgb[i]);
    sum += d * d;
  }
  const double mse = sum / a.Rgb.size();
  return 10 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace

TEST(JpegFile, RoundTripKeepsThePicture) {
  ScratchDir dir;
  const TRaster card = TestCard(97, 61);  // odd sizes exercise partial blocks
  const std::string path = dir.File("card.jpg");
  std::string error;
  ASSERT_TRUE(EncodeJpegFile(path, card, 90, &error)) << error;
  TRaster back;
  ASSERT_TRUE(DecodeJpegFile(path, back, &error)) << error;
  ASSERT_EQ(back.Width, 97);
  ASSERT_EQ(back.Height, 61);
  EXPECT_GT(Psnr(card, back), 35.0);
  // No temporary file is left beside the picture.
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
}

TEST(JpegFile, GreyPictureGivesThreeEqualChannels) {
  ScratchDir dir;
  TRaster grey;
  grey.Resize(32, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) {
      std::uint8_t* p = grey.Pixel(x, y);
      p[0] = p[1] = p[2] = static_cast<std::uint8_t>(8 * x);
    }
  ASSERT_TRUE(EncodeJpegFile(dir.File("g.jpg"), grey));
  TRaster back;
  ASSERT_TRUE(DecodeJpegFile(dir.File("g.jpg"), back));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 32; ++x) {
      const std::uint8_t* p = back.Pixel(x, y);
      EXPECT_NEAR(p[0], p[1], 2);
      EXPECT_NEAR(p[1], p[2], 2);
    }
}

TEST(JpegFile, DamagedFilesFailCleanly) {
  ScratchDir dir;
  const TRaster card = TestCard(64, 64);
  ASSERT_TRUE(EncodeJpegFile(dir.File("ok.jpg"), card));
  const std::string good = ReadBytes(dir.File("ok.jpg"));
  TRaster out;
  std::string error;

  EXPECT_FALSE(DecodeJpegFile(dir.File("missing.jpg"), out, &error));
  EXPECT_TRUE(out.Empty());

  WriteBytes(dir.File("empty.jpg"), "");
  EXPECT_FALSE(DecodeJpegFile(dir.File("empty.jpg"), out));

  WriteBytes(dir.File("text.jpg"), "SIMPLE  =                    T");
  EXPECT_FALSE(DecodeJpegFile(dir.File("text.jpg"), out, &error));
  EXPECT_FALSE(error.empty());

  // Cut in the header, and cut in the entropy-coded data.
  for (std::size_t cut :
       {std::size_t(3), std::size_t(20), std::size_t(200), good.size() / 2, good.size() - 3}) {
    WriteBytes(dir.File("cut.jpg"), good.substr(0, cut));
    EXPECT_FALSE(DecodeJpegFile(dir.File("cut.jpg"), out)) << cut;
    EXPECT_TRUE(out.Empty());
  }

  // Random byte damage: never a crash or an abort, whatever the outcome.
  std::mt19937 rng(1234);
  for (int trial = 0; trial < 300; ++trial) {
    std::string bad = good;
    const int hits = 1 + trial % 8;
    for (int h = 0; h < hits; ++h) bad[rng() % bad.size()] = static_cast<char>(rng() & 0xFF);
    TRaster r;
    if (DecodeJpegBytes(reinterpret_cast<const unsigned char*>(bad.data()), bad.size(), r)) {
      EXPECT_EQ(r.Rgb.size(), static_cast<std::size_t>(r.Width) * r.Height * 3);
    } else {
      EXPECT_TRUE(r.Empty());
    }
  }
}

TEST(JpegFile, ForgedHugeDimensionsAreRefused) {
  ScratchDir dir;
  ASSERT_TRUE(EncodeJpegFile(dir.File("s.jpg"), TestCard(16, 16)));
  std::string bytes = ReadBytes(dir.File("s.jpg"));
  // Patch the frame header (SOF0) to announce 65000 x 65000 pixels.
  const std::size_t sof = bytes.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  bytes[sof + 5] = bytes[sof + 7] = static_cast<char>(0xFD);
  bytes[sof + 6] = bytes[sof + 8] = static_cast<char>(0xE8);
  TRaster r;
  std::string error;
  EXPECT_FALSE(
      DecodeJpegBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), r, &error));
  EXPECT_TRUE(r.Empty());
}

TEST(JpegFile, EmptyPictureWritesNothing) {
  ScratchDir dir;
  EXPECT_FALSE(EncodeJpegFile(dir.File("empty.jpg"), TRaster{}));
  EXPECT_FALSE(std::filesystem::exists(dir.File("empty.jpg")));
}
