// caustica-batch on sequences of frames: the per-frame table and both
// estimates in the summary, and the refusals of a sequence run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/batch_runner.h"
#include "support/test_files.h"

using caustica::test::ScratchDir;

namespace {

caustica::test::BatchResult RunBatch(const ScratchDir& dir, const std::vector<std::string>& args) {
  return caustica::test::RunBatchTool(CAUSTICA_BATCH_EXE, dir, args);
}

constexpr int kFrames = 4;

// Frames of one star at f/8, jittered in a larger camera frame, each with
// its own seeing and noise; frame 3 of the intra-focal side has no star.
void MakeFrames(const ScratchDir& dir) {
  for (int i = 1; i <= kFrames; ++i) {
    const std::string n = std::to_string(i);
    const std::string intra = dir.File(std::string("i").append(n).append(".fits"));
    const std::string extra = dir.File(std::string("e").append(n).append(".fits"));
    const std::vector<std::string> args = {"simulate",
                                           "--defocus",
                                           "3",
                                           "--zernike",
                                           "5=40",
                                           "--zernike",
                                           "8=-30",
                                           "--seeing",
                                           i % 2 ? "1.5" : "2.5",
                                           "--sky",
                                           "100",
                                           "--photon-noise",
                                           "--seed",
                                           n,
                                           "--width",
                                           "128",
                                           "--height",
                                           "128",
                                           "--frame-width",
                                           "192",
                                           "--frame-height",
                                           "176",
                                           "--frame-column",
                                           std::to_string(20 + 4 * i),
                                           "--frame-row",
                                           std::to_string(30 - 3 * i),
                                           "--intra",
                                           intra,
                                           "--extra",
                                           extra};
    ASSERT_EQ(RunBatch(dir, args).Status, 0);
  }
  // Sky only: a frame the camera took with the star gone.
  const std::vector<std::string> sky = {"simulate", "--level",
                                        "1",        "--sky",
                                        "100",      "--photon-noise",
                                        "--width",  "192",
                                        "--height", "176",
                                        "--seed",   "9",
                                        "--intra",  dir.File("i3.fits"),
                                        "--extra",  dir.File("unused.fits")};
  ASSERT_EQ(RunBatch(dir, sky).Status, 0);
}

std::vector<std::string> SequenceArgs(const ScratchDir& dir, const std::string& output) {
  std::vector<std::string> args = {"reconstruct", "--diameter", "200",    "--focal",  "1600",
                                   "--defocus",   "3",          "--json", "--output", dir.File(output)};
  for (int i = 1; i <= kFrames; ++i) {
    const std::string n = std::to_string(i);
    args.insert(args.end(), {"--intra-sequence", dir.File(std::string("i").append(n).append(".fits"))});
    args.insert(args.end(), {"--extra-sequence", dir.File(std::string("e").append(n).append(".fits"))});
  }
  return args;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(BatchSequence, WritesTheAveragedWavefrontAndTheFrameByFrameTable) {
  ScratchDir dir;
  MakeFrames(dir);
  const auto r = RunBatch(dir, SequenceArgs(dir, "out"));
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::string& j = r.Out;
  EXPECT_NE(j.find("\"sequence\": {"), std::string::npos);
  EXPECT_NE(j.find("\"description\": \"4 FITS files\""), std::string::npos) << j;
  EXPECT_NE(j.find("{\"frame\": 3, \"kept\": false, \"reason\": \"no star\""), std::string::npos) << j;
  EXPECT_EQ(Count(j, "{\"frame\": "), 2u * kFrames);
  // Three intra-focal frames kept, so three pairs: the fewest that give error bars.
  EXPECT_EQ(Count(j, "{\"intra_frame\": "), 3u);
  EXPECT_NE(j.find("{\"intra_frame\": 4, \"extra_frame\": 3, \"reconstructed\": true"), std::string::npos)
      << j;
  EXPECT_EQ(Count(j, "\"standard_error_rms_nm\": "), 22u);
  EXPECT_NE(j.find("\"has_errors\": true"), std::string::npos) << j;
  EXPECT_NE(j.find("Intra-focal frames: 3 of 4 frames kept; rejected: 1 no star"), std::string::npos) << j;
  // The averaged pair's wavefront is written as a single pair's is.
  for (const char* f : {"wavefront.opd", "zernike.txt", "summary.txt", "forward_intra.jpg"})
    EXPECT_TRUE(std::filesystem::exists(dir.File(std::string("out/") + f))) << f;
  const std::string text = caustica::test::ReadBytes(dir.File("out/summary.txt"));
  EXPECT_NE(text.find("mean of the frame pairs +- standard error"), std::string::npos) << text;
  EXPECT_NE(text.find("[Soustrait]"), std::string::npos) << text;  // tilt and focus

  // Keeping half of the frames that pass leaves one pair.
  std::vector<std::string> half = SequenceArgs(dir, "half");
  half.insert(half.end(), {"--keep-fraction", "0.5"});
  const auto h = RunBatch(dir, half);
  ASSERT_EQ(h.Status, 0) << h.Err;
  EXPECT_EQ(Count(h.Out, "{\"intra_frame\": "), 1u);
  EXPECT_NE(h.Out.find("\"has_errors\": false"), std::string::npos);
  EXPECT_NE(h.Out.find("Too few frame pairs for standard errors"), std::string::npos);
}

TEST(BatchSequence, RefusalsAreOneLineAndLeaveNoFiles) {
  ScratchDir dir;
  MakeFrames(dir);
  caustica::test::WriteBytes(dir.File("junk.fits"), "SIMPLE  = nonsense");
  struct Case {
    std::vector<std::string> Extra;
    int Status;
    std::string Message;
  };
  const std::vector<Case> cases = {
      {{"--keep-fraction", "0"}, 2, "the kept fraction must lie in (0, 1]"},
      {{"--keep-fraction", "x"}, 2, "--keep-fraction"},
      {{"--intra", dir.File("i1.fits")}, 2, "give either sequences"},
      {{"--intra-sequence", dir.File("junk.fits")}, 1, "cannot read the intra-focal sequence: "},
      {{"--intra-sequence", dir.File("missing.fits")}, 1, "cannot read the intra-focal sequence: "},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = SequenceArgs(dir, "out");
    args.insert(args.end(), c.Extra.begin(), c.Extra.end());
    const auto r = RunBatch(dir, args);
    EXPECT_EQ(r.Status, c.Status) << c.Message;
    EXPECT_NE(r.Err.find(c.Message), std::string::npos) << r.Err;
    EXPECT_EQ(Count(r.Err, "\n"), 1u) << r.Err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out"))) << c.Message;
  }
  // One side only.
  const auto r = RunBatch(dir, {"reconstruct", "--diameter", "200", "--focal", "1600", "--defocus", "3",
                                "--output", dir.File("out"), "--intra-sequence", dir.File("i1.fits")});
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("needs both sides (--extra-sequence FILE)"), std::string::npos) << r.Err;
}
