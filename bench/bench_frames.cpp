// Whole camera frames: a 6000 x 4000 16-bit frame read and cut out around
// its donut (the cost a user pays on opening), and the star search alone.
// The frame comes from the star-test simulator with sky, gradient, hot
// pixels, cosmic rays and noise, the donut away from the centre.
#include <benchmark/benchmark.h>

#include "analysis/star_finder.h"
#include "analysis/star_simulator.h"
#include "analysis/test_image.h"
#include "support/test_files.h"

namespace caustica {
namespace {

constexpr int kFrameWidth = 6000;
constexpr int kFrameHeight = 4000;

const std::string& FramePath() {
  static test::ScratchDir dir;
  static const std::string path = [] {
    StarSimulationOptions o;
    o.Diameter = 250.0;
    o.FocalLength = 1250.0;
    o.Obstruction = 0.3;
    o.Defocus = 4.0;
    o.PixelSize = 5.0;  // a donut of 160 px across
    o.Width = o.Height = 256;
    o.Coefficients[5] = 60.0;
    o.Coefficients[8] = 40.0;
    o.Coefficients[11] = -50.0;
    o.Seeing = 1.5;
    o.SourceLevel = 3e6;
    o.SkyLevel = 180.0;
    o.SkyGradientX = 0.01;
    o.PhotonNoise = true;
    o.ReadNoise = 8.0;
    o.FrameWidth = kFrameWidth;
    o.FrameHeight = kFrameHeight;
    o.FrameColumn = 4100;
    o.FrameRow = 900;
    o.HotPixels = 300;
    o.CosmicRays = 40;
    TFctXY intra, extra;
    if (!SimulateStarPair(o, intra, extra).Ok) return std::string();
    const std::string p = dir.File("frame_intra.fits");
    WriteStarPair(intra, extra, p, dir.File("frame_extra.fits"));
    return p;
  }();
  return path;
}

// Read and cut out: what "Open" with the cut-out preference does.
void BM_ReadAndCutOutFrame(benchmark::State& state) {
  const std::string& path = FramePath();
  if (path.empty()) return state.SkipWithError("the frame could not be simulated");
  int side = 0;
  for (auto _ : state) {
    TPupille grid;
    const TOpenOutcome o = OpenTestFrame(path, TPupilSearch{}, true, grid);
    if (!o.Cut) return state.SkipWithError("the frame was not cut out");
    side = grid.Nx;
    benchmark::DoNotOptimize(grid.Values.PlaneData(1));
  }
  state.counters["cut_side"] = side;
  state.SetBytesProcessed(state.iterations() * 2LL * kFrameWidth * kFrameHeight);
}
BENCHMARK(BM_ReadAndCutOutFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// The read and the star search, without the cut and the pupil search.
void BM_ReadFrameAndFindStar(benchmark::State& state) {
  const std::string& path = FramePath();
  if (path.empty()) return state.SkipWithError("the frame could not be simulated");
  for (auto _ : state) {
    TPupille grid;
    benchmark::DoNotOptimize(LoadTestFrame(path, grid).Opened);
  }
  state.SetBytesProcessed(state.iterations() * 2LL * kFrameWidth * kFrameHeight);
}
BENCHMARK(BM_ReadFrameAndFindStar)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace caustica

BENCHMARK_MAIN();
