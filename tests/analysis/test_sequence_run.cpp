// Sequences against seeing: both estimates on simulated videos of a known
// wavefront (frames jittered, blurred by varying seeing, noisy, one blank),
// the robust mean and the registration on their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "analysis/sequence_run.h"
#include "analysis/star_simulator.h"
#include "io/frame_sequence.h"
#include "support/ser_writer.h"
#include "support/test_files.h"

using namespace caustica;

namespace {

constexpr int kFrameSide = 160;

// 200 mm f/8, 2.8 mm from focus, 30 % obstruction: outer radius 35 px.
StarSimulationOptions Frame(double seeing, int dx, int dy, std::uint64_t seed) {
  StarSimulationOptions o;
  o.Obstruction = 0.3;
  o.PolynomialType = kAnnularPolynomials;
  o.Defocus = 2.8;
  o.Width = o.Height = 128;
  o.FrameWidth = o.FrameHeight = kFrameSide;
  o.FrameColumn = 16 + dx;
  o.FrameRow = 16 + dy;
  o.Seeing = seeing;
  o.SkyLevel = 100.0;
  o.SourceLevel = 3e6;
  o.PhotonNoise = true;
  o.ReadNoise = 5.0;
  o.Seed = seed;
  o.Coefficients[5] = 40.0;
  o.Coefficients[8] = -30.0;
  o.Coefficients[11] = 25.0;
  return o;
}

constexpr int kFrames = 8;
constexpr int kBlankIntra = 4;  // 1-based

class SequenceRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new test::ScratchDir;
    test::SerVideo intra, extra;
    for (test::SerVideo* v : {&intra, &extra}) {
      v->Width = v->Height = kFrameSide;
      v->Depth = 16;
    }
    std::mt19937_64 random(5);
    std::uniform_int_distribution<int> jitter(-6, 6);
    std::uniform_real_distribution<double> seeing(1.0, 2.5);
    for (int i = 1; i <= kFrames; ++i) {
      TFctXY a, b, unused;
      ASSERT_TRUE(
          SimulateStarPair(Frame(seeing(random), jitter(random), jitter(random), 10 + i), a, unused).Ok);
      ASSERT_TRUE(
          SimulateStarPair(Frame(seeing(random), jitter(random), jitter(random), 50 + i), unused, b).Ok);
      std::vector<std::uint16_t> intraFrame = test::CameraSamples(a);
      if (i == kBlankIntra) std::fill(intraFrame.begin(), intraFrame.end(), 100);
      intra.Frames.push_back(intraFrame);
      extra.Frames.push_back(test::CameraSamples(b));
    }
    test::WriteBytes(dir_->File("intra.ser"), test::BuildSer(intra));
    test::WriteBytes(dir_->File("extra.ser"), test::BuildSer(extra));
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  static TTestSetup Test() {
    TTestSetup t;
    t.Focale = 1600e6;
    t.Rayon = 100e6;
    t.Defocalisation = 2.8e6;
    return t;
  }
  static TRunSettings Accurate() {
    TRunSettings s;
    s.Method = TReconstructionMethod::Accurate;
    return s;
  }
  void Open() {
    ASSERT_TRUE(intra_.Open({dir_->File("intra.ser")})) << intra_.Refusal();
    ASSERT_TRUE(extra_.Open({dir_->File("extra.ser")})) << extra_.Refusal();
  }

  static test::ScratchDir* dir_;
  FrameSequence intra_, extra_;
};

test::ScratchDir* SequenceRun::dir_ = nullptr;

}  // namespace

TEST_F(SequenceRun, BothEstimatesFindTheWavefrontAndTheBlankFrameIsLeftOut) {
  Open();
  std::vector<std::string> stages;
  const TSequenceResult r =
      ReconstructSequence(intra_, extra_, Test(), Accurate(), {}, [&](const std::string& stage, int, int) {
        if (stages.empty() || stages.back() != stage) stages.push_back(stage);
        return true;
      });
  ASSERT_TRUE(r.Complete()) << r.Refusal;
  EXPECT_EQ(r.Intra.Selection.KeptCount, kFrames - 1);
  EXPECT_FALSE(r.Intra.Selection.Frames[kBlankIntra - 1].Kept);
  EXPECT_EQ(r.Intra.Selection.Frames[kBlankIntra - 1].Reason, kNoStar);
  EXPECT_EQ(r.Extra.Selection.KeptCount, kFrames);
  // The k-th kept intra-focal frame goes with the k-th kept extra-focal one.
  ASSERT_EQ(r.Pairs.size(), static_cast<std::size_t>(kFrames - 1));
  EXPECT_EQ(r.Pairs[kBlankIntra - 1].IntraFrame, kBlankIntra + 1);
  EXPECT_EQ(r.Pairs[kBlankIntra - 1].ExtraFrame, kBlankIntra);
  EXPECT_EQ(r.Pairs.back().ExtraFrame, kFrames - 1);
  EXPECT_EQ(r.PairsUsed + static_cast<int>(std::count_if(r.Pairs.begin(), r.Pairs.end(),
                                                         [](const TSequencePair& p) { return p.Outlier; })),
            kFrames - 1);
  ASSERT_TRUE(r.HasErrors());

  const ZernikeCoefficients& a = r.Averaged.Wavefront->Coefficients;
  for (const auto& [term, truth] : {std::pair{5, 40.0}, {8, -30.0}, {11, 25.0}}) {
    SCOPED_TRACE(::testing::Message() << "Z" << term);
    EXPECT_NEAR(r.Mean[term], truth, 6.0);
    EXPECT_NEAR(a[term], truth, 6.0);
    EXPECT_GT(r.StandardError[term], 0.0);
    EXPECT_LT(r.StandardError[term], 5.0);
  }
  // Terms absent from the optics stay near zero in both estimates.
  for (int term : {6, 7, 9, 10}) {
    EXPECT_NEAR(r.Mean[term], 0.0, 6.0) << "Z" << term;
    EXPECT_NEAR(a[term], 0.0, 6.0) << "Z" << term;
  }
  EXPECT_EQ(stages.front(), "Measuring the intra-focal frames");
  EXPECT_EQ(stages.back(), "Reconstructing the frame pairs");
  const std::vector<std::string> summary = SequenceSummary(r);
  EXPECT_EQ(summary[0], "Intra-focal frames: " + r.Intra.Selection.Summary());
}

TEST_F(SequenceRun, CancellingStopsBetweenFramesAndSaysSo) {
  Open();
  int calls = 0;
  const TSequenceResult r =
      ReconstructSequence(intra_, extra_, Test(), Accurate(), {}, [&](const std::string& stage, int, int) {
        ++calls;
        return stage != "Reconstructing the frame pairs";
      });
  EXPECT_TRUE(r.Cancelled);
  EXPECT_FALSE(r.Complete());
  EXPECT_TRUE(r.Averaged.Wavefront);  // what was done is kept
  EXPECT_EQ(r.Pairs.size(), static_cast<std::size_t>(kFrames - 1));
  EXPECT_TRUE(r.Pairs[0].Reconstructed);
  EXPECT_FALSE(r.Pairs[1].Reconstructed);
}

TEST_F(SequenceRun, ASequenceWithoutAnyStarIsRefusedNamingItsSide) {
  test::SerVideo blank;
  blank.Width = blank.Height = 64;
  blank.Depth = 16;
  blank.Frames.assign(3, std::vector<std::uint16_t>(64 * 64, 500));
  test::WriteBytes(dir_->File("blank.ser"), test::BuildSer(blank));
  FrameSequence none;
  ASSERT_TRUE(none.Open({dir_->File("blank.ser")}));
  ASSERT_TRUE(intra_.Open({dir_->File("intra.ser")}));
  const TSequenceResult r = ReconstructSequence(intra_, none, Test(), Accurate(), {});
  EXPECT_FALSE(r.Complete());
  EXPECT_FALSE(r.Cancelled);
  EXPECT_EQ(r.Refusal.rfind("no usable frame in the extra-focal sequence (0 of 3 frames kept", 0), 0u)
      << r.Refusal;
}

TEST(RobustMean, LeavesOutTheOddPairAndGivesTheStandardErrorOfTheOthers) {
  std::vector<TSequencePair> pairs(7);
  const double values[6] = {10, 12, 11, 9, 13, 11};
  for (std::size_t i = 0; i < 6; ++i) {
    pairs[i].Reconstructed = true;
    pairs[i].Coefficients[5] = values[i];
    pairs[i].Coefficients[7] = -values[i];
  }
  pairs[6].Reconstructed = true;
  pairs[6].Coefficients[5] = 60;  // a frame spoiled by a gust
  pairs[6].Coefficients[7] = -11;
  TSequencePair failed;  // never counted
  failed.Coefficients[5] = 1000;
  pairs.push_back(failed);
  ZernikeCoefficients mean{}, se{};
  int used = 0;
  RobustMean(pairs, 11, 3.0, mean, se, used);
  EXPECT_EQ(used, 6);
  EXPECT_TRUE(pairs[6].Outlier);
  EXPECT_FALSE(pairs[7].Outlier);
  EXPECT_NEAR(mean[5], 11.0, 1e-12);
  EXPECT_NEAR(mean[7], -11.0, 1e-12);
  // Sample deviation sqrt(10 / 5) over sqrt(6).
  EXPECT_NEAR(se[5], std::sqrt(2.0 / 6.0), 1e-12);
  EXPECT_EQ(se[6], 0.0);

  // Tilt is the pointing's: a pair far off in tilt alone is no outlier.
  pairs[6].Coefficients[5] = 11;
  pairs[6].Coefficients[2] = 500;
  RobustMean(pairs, 11, 3.0, mean, se, used);
  EXPECT_EQ(used, 7);
  EXPECT_FALSE(pairs[6].Outlier);

  // Four pairs are too few to call one of them odd.
  std::vector<TSequencePair> four(pairs.begin() + 3, pairs.begin() + 7);
  four.back().Coefficients[5] = 60;
  RobustMean(four, 11, 3.0, mean, se, used);
  EXPECT_EQ(used, 4);

  // Two pairs give a mean but no standard error.
  std::vector<TSequencePair> two(pairs.begin(), pairs.begin() + 2);
  RobustMean(two, 11, 3.0, mean, se, used);
  EXPECT_EQ(used, 2);
  EXPECT_NEAR(mean[5], 11.0, 1e-12);
  EXPECT_EQ(se[5], 0.0);
}

TEST(RegisteredSquare, PutsTheStarOnTheCentreAndTakesTheSkyOff) {
  TFctXY frame;
  frame.Init(60, 50);
  const double cx = 23.3, cy = 31.7;  // 1-based
  for (int r = 1; r <= 50; ++r)
    for (int c = 1; c <= 60; ++c)
      frame.Values[1][r][c] =
          100.0 + 0.5 * c - 0.25 * r + 1000.0 * std::exp(-((c - cx) * (c - cx) + (r - cy) * (r - cy)) / 8.0);
  TStarFinding star;
  star.Problem = TStarProblem::None;
  star.Column = cx;
  star.Row = cy;
  star.Background = 100.0 + 0.5 * cx - 0.25 * cy;
  star.SkySlopeColumn = 0.5;
  star.SkySlopeRow = -0.25;
  std::vector<double> square;
  const int side = 32;
  RegisteredSquare(frame, star, side, square);
  double sum = 0, sx = 0, sy = 0;
  for (int j = 0; j < side; ++j)
    for (int i = 0; i < side; ++i) {
      const double v = square[static_cast<std::size_t>(j) * side + i];
      sum += v;
      sx += v * (i + 1);
      sy += v * (j + 1);
    }
  EXPECT_NEAR(sx / sum, 0.5 * (side + 1), 0.02);
  EXPECT_NEAR(sy / sum, 0.5 * (side + 1), 0.02);
  EXPECT_NEAR(sum, 1000.0 * 8.0 * 3.141592653589793, 20.0);
  EXPECT_NEAR(square[0], 0.0, 1e-9);  // a corner: sky only
  // Beyond the frame (the square runs off its top) counts as sky too.
  star.Row = 3.0;
  RegisteredSquare(frame, star, side, square);
  EXPECT_NEAR(square[0], 0.0, 1e-9);
}

// Sequences through 2" Kolmogorov turbulence, many seeds: the standard
// errors cover the truth about as often as they claim, and the mean of more
// frame pairs is nearer the truth than that of a few.
TEST(SequenceThroughTurbulence, ErrorBarsCoverTheTruthAndTheMeanConverges) {
  test::ScratchDir dir;
  constexpr int kSeeds = 8, kPairs = 8;
  TTestSetup setup;
  setup.Focale = 1000e6;
  setup.Rayon = 50e6;
  setup.Defocalisation = 2.5e6;
  TRunSettings settings;
  settings.Method = TReconstructionMethod::Accurate;
  int within1 = 0, within2 = 0, counted = 0;
  double few2 = 0, all2 = 0;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    StarSimulationOptions o;
    o.Diameter = 100;
    o.FocalLength = 1000;
    o.Defocus = 2.5;  // a donut of 25 px radius
    o.Width = o.Height = 96;
    o.Coefficients[5] = 30.0;
    o.Coefficients[7] = -20.0;
    o.SkyLevel = 50.0;
    o.SourceLevel = 2e6;
    o.PhotonNoise = true;
    o.Seed = seed;
    o.Atmosphere.Enabled = true;
    o.Atmosphere.R0 = 0.05;
    o.Atmosphere.Seed = 1000 + seed;
    o.Frames = kPairs;
    const std::string a = dir.File("intra.fits"), b = dir.File("extra.fits");
    ASSERT_TRUE(WriteStarSequence(o, a, b).Ok);
    FrameSequence intra, extra;
    ASSERT_TRUE(intra.Open({a}) && extra.Open({b}));
    TSequenceResult r = ReconstructSequence(intra, extra, setup, settings, {});
    ASSERT_TRUE(r.Complete()) << r.Refusal;
    ASSERT_TRUE(r.HasErrors());
    ZernikeCoefficients truth = o.Coefficients;
    ToNormalised(r.Averaged.Wavefront->Basis, truth);
    for (const TSequenceTerm& t : SequenceTerms(r)) {
      if (t.Term < 5 || t.Term > 11) continue;
      const double e = std::abs(t.Mean - truth[t.Term]);
      within1 += e <= t.StandardError ? 1 : 0;
      within2 += e <= 2 * t.StandardError ? 1 : 0;
      ++counted;
    }
    // The first two pairs alone.
    std::vector<TSequencePair> two(r.Pairs.begin(), r.Pairs.begin() + 2);
    ZernikeCoefficients fewMean{}, unused{};
    int used = 0;
    RobustMean(two, r.Terms, 3.0, fewMean, unused, used);
    const TZernikeBasis& basis = r.Averaged.Wavefront->Basis;
    ZernikeCoefficients allMean = r.Mean;
    ToNormalised(basis, fewMean);
    ToNormalised(basis, allMean);
    for (int k = 5; k <= 11; ++k) {
      few2 += (fewMean[k] - truth[k]) * (fewMean[k] - truth[k]);
      all2 += (allMean[k] - truth[k]) * (allMean[k] - truth[k]);
    }
  }
  // From 8 pairs, a standard error covers the truth 64 % of the time, two 90 %.
  const double share1 = static_cast<double>(within1) / counted,
               share2 = static_cast<double>(within2) / counted;
  EXPECT_GT(share1, 0.40) << within1 << " of " << counted;
  EXPECT_LT(share1, 0.90) << within1 << " of " << counted;
  EXPECT_GT(share2, 0.75) << within2 << " of " << counted;
  // Four times the pairs: half the error expected.
  EXPECT_LT(std::sqrt(all2), 0.75 * std::sqrt(few2));
}
