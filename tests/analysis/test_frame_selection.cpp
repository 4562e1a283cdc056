// Frame selection against seeing: a simulated video with frames spoiled on
// purpose (blank, donut on the border, saturated, faint, blurred) among good
// ones of varying seeing; only the spoiled ones go, each for its reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "analysis/frame_selection.h"
#include "analysis/star_simulator.h"
#include "io/frame_sequence.h"
#include "support/ser_writer.h"
#include "support/test_files.h"

using namespace caustica;

namespace {

constexpr int kFrameWidth = 192, kFrameHeight = 160;

// 200 mm f/8, 2.8 mm from focus: outer radius 35 px in a 128 px image.
StarSimulationOptions Good(double seeing, std::uint64_t seed) {
  StarSimulationOptions o;
  o.Obstruction = 0.3;
  o.Defocus = 2.8;
  o.Width = o.Height = 128;
  o.FrameWidth = kFrameWidth;
  o.FrameHeight = kFrameHeight;
  o.FrameColumn = 32;
  o.FrameRow = 16;
  o.Seeing = seeing;
  o.SkyLevel = 100.0;
  o.SourceLevel = 2e6;
  o.PhotonNoise = true;
  o.ReadNoise = 5.0;
  o.Seed = seed;
  return o;
}

std::vector<std::uint16_t> Simulated(const StarSimulationOptions& o) {
  TFctXY intra, extra;
  const StarSimulationStatus s = SimulateStarPair(o, intra, extra);
  EXPECT_TRUE(s.Ok) << s.Message;
  return test::CameraSamples(intra);
}

// Sky and noise only.
std::vector<std::uint16_t> Blank(std::uint64_t seed) {
  std::mt19937_64 random(seed);
  std::normal_distribution<double> noise(100.0, 11.0);
  std::vector<std::uint16_t> samples(kFrameWidth * kFrameHeight);
  for (auto& s : samples) s = static_cast<std::uint16_t>(std::max(0.0, std::nearbyint(noise(random))));
  return samples;
}

enum Spoiled { kBlankAt = 1, kBorderAt = 3, kSaturatedAt = 5, kFaintAt = 7, kBlurredAt = 9 };
constexpr int kFrames = 12;

// Seeing of the good frames, 1.0" to 3.4" in shuffled order, and the frames.
const double kSeeing[kFrames] = {2.2, 0, 1.0, 0, 3.4, 0, 1.8, 0, 2.6, 0, 1.4, 3.0};

class FrameSelectionVideo : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::ScratchDir;
    test::SerVideo video;
    video.Width = kFrameWidth;
    video.Height = kFrameHeight;
    video.Depth = 16;
    for (int i = 0; i < kFrames; ++i) {
      StarSimulationOptions o = Good(kSeeing[i], 100 + i);
      switch (i) {
        case kBlankAt:
          video.Frames.push_back(Blank(7));
          continue;
        case kBorderAt:  // a 64 px image at the frame's right edge cuts the 35 px ring
          o = Good(1.5, 100 + i);
          o.Width = o.Height = 64;
          o.FrameColumn = kFrameWidth - 64;
          o.FrameRow = 48;
          break;
        case kSaturatedAt:
          o = Good(1.5, 100 + i), o.SourceLevel = 2e9;
          break;
        case kFaintAt:
          o = Good(1.5, 100 + i), o.SourceLevel = 0.25 * 2e6;
          break;
        case kBlurredAt:
          o = Good(8.0, 100 + i);
          break;
        default:
          break;
      }
      video.Frames.push_back(Simulated(o));
    }
    path_ = dir_->File("seeing.ser");
    test::WriteBytes(path_, test::BuildSer(video));
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static test::ScratchDir* dir_;
  static std::string path_;
};

test::ScratchDir* FrameSelectionVideo::dir_ = nullptr;
std::string FrameSelectionVideo::path_;

}  // namespace

TEST_F(FrameSelectionVideo, ExactlyTheSpoiledFramesAreRejectedForTheirReasons) {
  FrameSequence sequence;
  ASSERT_TRUE(sequence.Open({path_})) << sequence.Refusal();
  int calls = 0;
  const TFrameMeasures m = MeasureFrames(sequence, [&](int done, int total) {
    EXPECT_EQ(done, ++calls);
    EXPECT_EQ(total, kFrames);
    return true;
  });
  ASSERT_TRUE(m.Complete()) << m.Refusal;
  ASSERT_EQ(m.Stars.size(), static_cast<std::size_t>(kFrames));
  EXPECT_EQ(calls, kFrames);

  const TFrameSelection s = SelectFrames(m.Stars, m.Sharpness, 1.0);
  ASSERT_EQ(s.Frames.size(), static_cast<std::size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    const char* expected = i == kBlankAt       ? kNoStar
                           : i == kBorderAt    ? kAtBorder
                           : i == kSaturatedAt ? kSaturated
                           : i == kFaintAt     ? kFluxOff
                           : i == kBlurredAt   ? kBlurred
                                               : "";
    EXPECT_EQ(s.Frames[i].Reason, expected) << "frame " << i << ", sharpness " << m.Sharpness[i] << ", flux "
                                            << m.Stars[i].Flux << ", radius " << m.Stars[i].Radius;
    EXPECT_EQ(s.Frames[i].Kept, *expected == '\0') << "frame " << i;
  }
  EXPECT_EQ(s.KeptCount, 7);
  EXPECT_EQ(s.Summary(),
            "7 of 12 frames kept; rejected: 1 no star, 1 at the border, 1 saturated, 1 flux off, 1 blurred");

  // Worse seeing, a softer edge: the good frames rank by their seeing.
  std::vector<int> good;
  for (int i = 0; i < kFrames; ++i)
    if (s.Frames[i].Kept) good.push_back(i);
  std::sort(good.begin(), good.end(), [&](int a, int b) { return kSeeing[a] < kSeeing[b]; });
  for (std::size_t k = 1; k < good.size(); ++k)
    EXPECT_GT(m.Sharpness[good[k - 1]], m.Sharpness[good[k]])
        << kSeeing[good[k - 1]] << "\" vs " << kSeeing[good[k]];

  // The kept fraction keeps the sharpest of those that passed: 3 of 7.
  const TFrameSelection best = SelectFrames(m.Stars, m.Sharpness, 3.0 / 7.0);
  EXPECT_EQ(best.KeptCount, 3);
  for (const int i : {2, 10, 6}) EXPECT_TRUE(best.Frames[i].Kept) << kSeeing[i];
  for (const int i : {0, 4, 8, 11}) EXPECT_EQ(best.Frames[i].Reason, kNotSharpest) << kSeeing[i];
  EXPECT_EQ(best.RejectedBy.at(kNotSharpest), 4);
  EXPECT_EQ(best.RejectedBy.at(kNoStar), 1);
}

TEST_F(FrameSelectionVideo, CancellingStopsTheReading) {
  FrameSequence sequence;
  ASSERT_TRUE(sequence.Open({path_})) << sequence.Refusal();
  int calls = 0;
  const TFrameMeasures m = MeasureFrames(sequence, [&](int done, int) {
    ++calls;
    return done < 3;
  });
  EXPECT_TRUE(m.Cancelled);
  EXPECT_FALSE(m.Complete());
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(m.Stars.size(), 3u);
  EXPECT_EQ(m.Sharpness.size(), 3u);
  EXPECT_TRUE(m.Stars[0].Found());
}

namespace {

TStarFinding Finding(double flux, double radius) {
  TStarFinding f;
  f.Problem = TStarProblem::None;
  f.Flux = flux;
  f.Radius = radius;
  f.Level = 100.0;
  return f;
}

}  // namespace

TEST(SelectFrames, OutliersAreJudgedAgainstTheMedianNotTheMean) {
  std::vector<TStarFinding> stars;
  std::vector<double> sharp;
  for (int i = 0; i < 10; ++i) {
    stars.push_back(Finding(1000.0 + 10.0 * (i % 3), 50.0 + 0.1 * (i % 2)));
    sharp.push_back(0.20 + 0.001 * i);
  }
  stars[2].Flux = 2100.0;  // just over twice the median
  stars[4].Flux = 1900.0;  // under it: kept
  stars[5].Radius = 53.0;  // 6 % larger
  stars[6].Radius = 52.0;  // 4 %: kept
  sharp[7] = 0.13;         // 0.65 of the median
  sharp[8] = 0.9;          // far sharper: a lucky frame, kept
  stars[9].Problem = TStarProblem::TwoStars;
  const TFrameSelection s = SelectFrames(stars, sharp, 1.0);
  EXPECT_EQ(s.Frames[2].Reason, kFluxOff);
  EXPECT_TRUE(s.Frames[4].Kept);
  EXPECT_EQ(s.Frames[5].Reason, kRadiusOff);
  EXPECT_TRUE(s.Frames[6].Kept);
  EXPECT_EQ(s.Frames[7].Reason, kBlurred);
  EXPECT_TRUE(s.Frames[8].Kept);
  EXPECT_EQ(s.Frames[9].Reason, kNoStar);
  EXPECT_EQ(s.Summary(), "6 of 10 frames kept; rejected: 1 no star, 1 flux off, 1 radius off, 1 blurred");

  // A spread wider than the tolerances protects ordinary frames.
  std::vector<TStarFinding> loose;
  for (int i = 0; i < 9; ++i)
    loose.push_back(Finding(1000.0 * (1.0 + 0.3 * (i % 3)), 50.0 * (1.0 + 0.04 * (i % 3))));
  loose.push_back(Finding(2700.0, 55.0));  // beyond 2x and 5 %, within 5 MADs
  EXPECT_EQ(SelectFrames(loose, std::vector<double>(10, 0.2), 1.0).KeptCount, 10);
}

TEST(SelectFrames, TheFractionKeepsAtLeastOneAndNothingPassingKeepsNone) {
  std::vector<TStarFinding> stars(5, Finding(1000.0, 50.0));
  const std::vector<double> sharp = {0.21, 0.25, 0.20, 0.24, 0.22};
  TFrameSelection s = SelectFrames(stars, sharp, 0.01);
  EXPECT_EQ(s.KeptCount, 1);
  EXPECT_TRUE(s.Frames[1].Kept);
  EXPECT_EQ(s.Summary(), "1 of 5 frames kept; rejected: 4 not among the sharpest");
  s = SelectFrames(stars, sharp, 0.5);  // 2.5 frames: 2
  EXPECT_EQ(s.KeptCount, 2);
  EXPECT_TRUE(s.Frames[1].Kept && s.Frames[3].Kept);
  EXPECT_EQ(SelectFrames(stars, sharp, 7.0).KeptCount, 5);  // clamped to all

  std::vector<TStarFinding> none(2);  // NoStar by default
  none[1].Problem = TStarProblem::TouchesBorder;
  s = SelectFrames(none, {}, 1.0);
  EXPECT_EQ(s.KeptCount, 0);
  EXPECT_EQ(s.Summary(), "0 of 2 frames kept; rejected: 1 no star, 1 at the border");
  EXPECT_EQ(SelectFrames({}, {}, 1.0).Summary(), "0 of 0 frames kept");
}

TEST(DonutSharpness, IsZeroWithoutAStarAndFallsWithTheEdgeWidthNotTheBrightness) {
  TFctXY frame;
  frame.Init(120, 120);
  TStarFinding star = Finding(0.0, 40.0);
  star.Column = star.Row = 60.5;
  // A flat disc whose edge is a linear ramp of the given width.
  auto disc = [&](double width, double level) {
    for (int r = 1; r <= 120; ++r)
      for (int c = 1; c <= 120; ++c) {
        const double d = std::hypot(c - 60.5, r - 60.5);
        frame.Values[1][r][c] = level * std::clamp((40.0 + 0.5 * width - d) / width, 0.0, 1.0);
      }
    star.Level = level;
    return DonutSharpness(frame, star);
  };
  const double sharp = disc(1.0, 100.0), soft = disc(4.0, 100.0), brighter = disc(4.0, 400.0);
  // Band half-width 4 px: a ramp of w px gives 1 / sqrt(8 w).
  EXPECT_NEAR(soft, 1.0 / std::sqrt(32.0), 0.02);
  EXPECT_GT(sharp, 1.4 * soft);  // ideally 2; the central difference widens a 1 px ramp
  EXPECT_NEAR(brighter, soft, 1e-12);
  star.Problem = TStarProblem::NoStar;
  EXPECT_EQ(DonutSharpness(frame, star), 0.0);
}
