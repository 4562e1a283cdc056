// Speed of a whole reconstruction (3 outer passes) against the transforms it
// runs: ratio = run time / (transform pairs x time of one pair).
#include <benchmark/benchmark.h>

#include <cmath>

#include "analysis/u_Roddier.h"
#include "setup/u_prefs.h"

using namespace caustica;

namespace {

std::shared_ptr<TPupille> Disc(int size, double radius, double level) {
  auto img = std::make_shared<TPupille>();
  img->Init(size, size);
  const double centre = size / 2.0 + 0.3;
  for (int r = 1; r <= size; ++r)
    for (int c = 1; c <= size; ++c) {
      const double rho = std::hypot(c - centre, r - centre);
      // A soft edge and a slight tilt of the illumination, like a real star.
      img->Values[1][r][c] = rho <= radius ? level * (1.0 + 0.05 * (c - centre) / radius) : 0.0;
    }
  img->Threshold = level / 2;
  img->ThresholdMask();
  return img;
}

}  // namespace

static void BM_Reconstruct(benchmark::State& state) {
  const int size = static_cast<int>(state.range(0));  // image side; pads to the next power of two
  Preferences.Valeurs.RMSFront = 0;
  Preferences.Valeurs.BreakCondition = 0;
  const double radius = size * 0.3;
  auto intra = Disc(size, radius, 1000);
  auto extra = Disc(size, radius * 1.05, 1000 / (1.05 * 1.05));
  long pairs = 0, runs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TRoddier run;
    run.IntraImage = std::make_shared<TPupille>();
    run.IntraImage->Init(size, size);
    run.IntraImage->AssignPupil(*intra);
    run.ExtraImage = std::make_shared<TPupille>();
    run.ExtraImage->Init(size, size);
    run.ExtraImage->AssignPupil(*extra);
    run.FocalLength = 1200e6;
    run.Radius = 100e6;
    run.Defocus = 4e6;
    run.MaxIterations = 3;
    state.ResumeTiming();
    run.Reconstruct();
    pairs += run.InnerPasses;
    ++runs;
  }
  state.counters["transform_pairs"] = static_cast<double>(pairs) / runs;
}
BENCHMARK(BM_Reconstruct)->Arg(200)->Arg(400)->Arg(800)->Unit(benchmark::kMillisecond)->UseRealTime();

// One forward + inverse transform pair of a real grid, as the solve runs it.
static void BM_TransformPair(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TFctXY work, spectrum, back;
  work.Init(n, n);
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c) work.Values[1][r][c] = std::sin(0.01 * r * c);
  for (auto _ : state) {
    spectrum.ForwardTransformOf(work);
    spectrum.DivideByFrequencySquared();
    back.InverseTransformOf(spectrum);
    benchmark::DoNotOptimize(back.Values.PlaneData(1));
  }
}
BENCHMARK(BM_TransformPair)->Arg(256)->Arg(512)->Arg(1024)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
