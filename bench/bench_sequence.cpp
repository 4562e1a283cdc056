// Sequences against seeing: a 100-frame video of 512 x 512 frames per side
// read, measured, selected, averaged and reconstructed frame pair by frame
// pair with the accurate method, as "caustica-batch reconstruct
// --intra-sequence --extra-sequence" does. The frames (FITS cubes) come
// from the star-test simulator through Kolmogorov turbulence, with sky and
// noise. --frames N sets
// the length (default 100).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "analysis/sequence_run.h"
#include "analysis/star_simulator.h"
#include "io/frame_sequence.h"
#include "support/seeing_sequence.h"
#include "support/test_files.h"

namespace caustica {
namespace {

int frameCount = 100;
constexpr int kSide = 512;

// 200 mm f/8, 6 mm from focus: a donut of 150 px across in each 512 x 512
// frame, through 2" turbulence (5 ms exposures, 8 m/s wind).
struct Videos {
  test::ScratchDir Dir;
  std::string Intra, Extra;
  Videos() {
    // 256 x 256 images placed in 512 x 512 camera frames.
    StarSimulationOptions o = test::SeeingSequence(frameCount, 3);
    o.Width = o.Height = 256;
    o.FrameWidth = o.FrameHeight = kSide;
    o.FrameColumn = o.FrameRow = 128;
    Intra = Dir.File("intra.fits");
    Extra = Dir.File("extra.fits");
    const StarSimulationStatus made = WriteStarSequence(o, Intra, Extra);
    if (!made.Ok) std::fprintf(stderr, "bench_sequence: %s\n", made.Message.c_str());
  }
};

Videos& TheVideos() {
  static Videos v;
  return v;
}

void BM_SequenceRun(benchmark::State& state) {
  Videos& v = TheVideos();
  TTestSetup test;
  test.Focale = 1600e6;
  test.Rayon = 100e6;
  test.Defocalisation = 6e6;
  TRunSettings settings;
  settings.Method = TReconstructionMethod::Accurate;
  TSequenceResult r;
  for (auto _ : state) {
    FrameSequence intra, extra;
    if (!intra.Open({v.Intra}) || !extra.Open({v.Extra})) {
      state.SkipWithError("cannot open the videos");
      return;
    }
    r = ReconstructSequence(intra, extra, test, settings, {});
    benchmark::DoNotOptimize(r.Mean);
  }
  if (!r.Complete()) state.SkipWithError(r.Refusal.c_str());
  state.counters["frames_per_side"] = frameCount;
  state.counters["pairs_used"] = r.PairsUsed;
  state.counters["s_per_frame_pair"] =
      benchmark::Counter(static_cast<double>(frameCount),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SequenceRun)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
}  // namespace caustica

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc) caustica::frameCount = std::atoi(argv[i + 1]);
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--frames") == 0) {
      ++i;
      continue;
    }
    rest.push_back(argv[i]);
  }
  int n = static_cast<int>(rest.size());
  benchmark::Initialize(&n, rest.data());
  caustica::TheVideos();  // made before the clock starts
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
