// Sequences against seeing: a 100-frame video of 512 x 512 frames per side
// read, measured, selected, averaged and reconstructed frame pair by frame
// pair with the accurate method, as "caustica-batch reconstruct
// --intra-sequence --extra-sequence" does. The frames come from the
// star-test simulator with seeing, jitter, sky and noise. --frames N sets
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
#include "support/ser_writer.h"
#include "support/test_files.h"

namespace caustica {
namespace {

int frameCount = 100;
constexpr int kSide = 512;

std::vector<std::uint16_t> ToCamera(const TFctXY& frame) {
  std::vector<std::uint16_t> samples;
  samples.reserve(static_cast<std::size_t>(frame.Nx) * frame.Ny);
  for (int r = 1; r <= frame.Ny; ++r)
    for (int c = 1; c <= frame.Nx; ++c)
      samples.push_back(
          static_cast<std::uint16_t>(std::clamp(std::nearbyint(frame.Values[1][r][c]), 0.0, 65535.0)));
  return samples;
}

// 200 mm f/8, 6 mm from focus: a donut of 150 px across in each frame.
struct Videos {
  test::ScratchDir Dir;
  std::string Intra, Extra;
  Videos() {
    test::SerVideo intra, extra;
    for (test::SerVideo* v : {&intra, &extra}) {
      v->Width = v->Height = kSide;
      v->Depth = 16;
    }
    std::mt19937_64 random(3);
    std::normal_distribution<double> jitter(0.0, 2.0);
    std::uniform_real_distribution<double> seeing(1.5, 2.5);
    for (int i = 0; i < frameCount; ++i) {
      StarSimulationOptions o;
      o.Obstruction = 0.25;
      o.PolynomialType = kAnnularPolynomials;
      o.Width = o.Height = 256;
      o.FrameWidth = o.FrameHeight = kSide;
      o.FrameColumn = 128 + static_cast<int>(std::lround(jitter(random)));
      o.FrameRow = 128 + static_cast<int>(std::lround(jitter(random)));
      o.Coefficients[5] = 40.0;
      o.Coefficients[8] = -30.0;
      o.Coefficients[11] = 25.0;
      o.Seeing = seeing(random);
      o.SkyLevel = 120.0;
      o.SourceLevel = 3e6;
      o.PhotonNoise = true;
      o.ReadNoise = 6.0;
      o.Seed = 1000 + i;
      TFctXY a, b;
      if (!SimulateStarPair(o, a, b).Ok) return;
      intra.Frames.push_back(ToCamera(a));
      extra.Frames.push_back(ToCamera(b));
    }
    Intra = Dir.File("intra.ser");
    Extra = Dir.File("extra.ser");
    test::WriteBytes(Intra, test::BuildSer(intra));
    test::WriteBytes(Extra, test::BuildSer(extra));
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
