// Opening a test image: refusals, frames without a pupil, the pupil found
// and measured, and the colour channels of a picture.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/test_image.h"
#include "support/fits_writer.h"
#include "support/test_files.h"

using namespace caustica;
using namespace caustica::test;

namespace {

// A frame with a background of 100 and a bright disc of the given radius
// centred at (cx, cy), 1-based sample coordinates.
std::string WriteDiscFrame(const ScratchDir& dir, const std::string& name, int w, int h, double cx, double cy,
                           double radius) {
  FitsImage image;
  image.Width = w;
  image.Height = h;
  for (int r = 1; r <= h; ++r)
    for (int c = 1; c <= w; ++c) image.Raw.push_back(std::hypot(c - cx, r - cy) <= radius ? 3000.0 : 100.0);
  const std::string path = dir.File(name);
  WriteBytes(path, BuildFits(image));
  return path;
}

}  // namespace

TEST(OpenTestImage, RefusesWhatIsNotAnImageOfThreeByThree) {
  ScratchDir dir;
  WriteBytes(dir.File("junk.fits"), "SIMPLE  = nonsense");
  FitsImage tiny;
  tiny.Width = 2;
  tiny.Height = 5;
  tiny.Raw.assign(10, 1.0);
  WriteBytes(dir.File("tiny.fits"), BuildFits(tiny));
  for (const char* name : {"junk.fits", "tiny.fits", "missing.fits"}) {
    TPupille g;
    const TOpenOutcome o = OpenTestImage(dir.File(name), TPupilSearch{}, g);
    EXPECT_FALSE(o.Opened) << name;
    EXPECT_FALSE(o.PupilFound) << name;
    EXPECT_EQ(o.Reason, kImageFormatIncompatible) << name;
    EXPECT_FALSE(g.HasArrays()) << name;  // nothing half-read is kept
  }
}

TEST(OpenTestImage, FindsAndMeasuresThePupilOfAFrame) {
  ScratchDir dir;
  const std::string path = WriteDiscFrame(dir, "star.fits", 96, 80, 40.5, 36.5, 12);
  TPupille g;
  const TOpenOutcome o = OpenTestImage(path, TPupilSearch{}, g);
  ASSERT_TRUE(o.Opened);
  EXPECT_TRUE(o.PupilFound);
  EXPECT_TRUE(o.Reason.empty());
  EXPECT_NEAR(g.PupilRadius, 12.0, 0.5);
  EXPECT_NEAR(g.OriginColumn, 40.5, 0.5);
  EXPECT_NEAR(g.OriginRow, 36.5, 0.5);
  // Axes in pupil units: the centre at 0, the edge at 1.
  EXPECT_NEAR(g.XAxis[41], 0.5 / g.PupilRadius, 0.05);
  // The display window is the whole range of the frame.
  EXPECT_EQ(g.DisplayLow, 100.0);
  EXPECT_EQ(g.DisplayHigh, 3000.0);
  EXPECT_EQ(g.RangeFactor, 1.0);
}

TEST(OpenTestImage, AFrameWithoutAPupilStillOpensAndSaysWhy) {
  ScratchDir dir;
  FitsImage flat;
  flat.Width = flat.Height = 32;
  flat.Raw.assign(32 * 32, 500.0);
  WriteBytes(dir.File("flat.fits"), BuildFits(flat));
  TPupille g;
  const TOpenOutcome o = OpenTestImage(dir.File("flat.fits"), TPupilSearch{}, g);
  EXPECT_TRUE(o.Opened);
  EXPECT_FALSE(o.PupilFound);
  EXPECT_NE(o.Reason.find("uniform"), std::string::npos);
  EXPECT_TRUE(g.HasArrays());
  EXPECT_EQ(g.Nx, 32);
}

TEST(SplitColourPicture, ChannelsInBlueGreenRedOrderWithTheirWavelengths) {
  TRaster picture;
  picture.Resize(40, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      std::uint8_t* p = picture.Pixel(x, y);
      const bool inside = std::hypot(x - 20.0, y - 15.0) <= 8;
      p[0] = inside ? 200 : 10;  // red
      p[1] = inside ? 150 : 10;  // green
      p[2] = inside ? 100 : 10;  // blue
    }
  TColourChannels channels;
  const TOpenOutcome o = SplitColourPicture(picture, {450, 530, 640}, TPupilSearch{}, channels);
  ASSERT_TRUE(o.Opened);
  EXPECT_TRUE(o.PupilFound);
  const double peaks[3] = {100, 150, 200};
  const double wavelengths[3] = {450, 530, 640};
  for (std::size_t i = 0; i < 3; ++i) {
    const TPupille& g = *channels.Grids[i];
    EXPECT_EQ(g.Values[1][16][21], peaks[i]) << i;
    EXPECT_EQ(g.Wavelength, wavelengths[i]) << i;
    EXPECT_EQ(g.PaletteIndex, 5) << i;
    EXPECT_EQ(g.Kind, kKindIntra) << i;
    EXPECT_TRUE(channels.Outcomes[i].PupilFound) << i;
    EXPECT_NEAR(g.PupilRadius, 8.0, 0.7) << i;
  }
  TRaster small;
  small.Resize(2, 9);
  EXPECT_FALSE(SplitColourPicture(small, {450, 530, 640}, TPupilSearch{}, channels).Opened);
}
