// Products made from a 256 x 256 wavefront with a 100-sample pupil radius.
#include <benchmark/benchmark.h>

#include <cmath>

#include "analysis/products.h"
#include "setup/run_settings.h"
#include "setup/u_prefs.h"

using namespace caustica;

namespace {

void Wavefront(TPupille& w, int size = 256) {
  w.Init(size, size);
  w.Kind = kKindWavefront;
  w.OriginColumn = w.OriginRow = size / 2.0 + 0.5;
  w.PupilRadius = size * 100.0 / 256;
  w.Obstruction = 0.25;
  w.SetPupilAxes();
  for (int k = 1; k <= 22; ++k) w.Coefficients[k] = 30.0 * std::sin(1.3 * k);
  SelectAll(w.Selected);
  w.SynthesiseFromZernike();
}

}  // namespace

static void BM_Interferogram(benchmark::State& state) {
  TPupille w, t;
  Wavefront(w, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ComputeInterferogram(w, 45, 8, CurrentProductSettings(), t);
    benchmark::DoNotOptimize(t.Values.PlaneData(1));
  }
}
BENCHMARK(BM_Interferogram)->Arg(256)->Arg(512)->Unit(benchmark::kMillisecond);

static void BM_Foucaultgram(benchmark::State& state) {
  TPupille w, t;
  Wavefront(w);
  for (auto _ : state) {
    ComputeFoucaultgram(w, 30, t);
    benchmark::DoNotOptimize(t.Values.PlaneData(1));
  }
}
BENCHMARK(BM_Foucaultgram)->Unit(benchmark::kMillisecond);

static void BM_PsfPair(benchmark::State& state) {
  TPupille w, a, t;
  Wavefront(w);
  const int factor = static_cast<int>(state.range(0));
  for (auto _ : state) {
    ComputePsfPair(w, factor, CurrentProductSettings(), a, t);
    benchmark::DoNotOptimize(a.Values.PlaneData(1));
  }
}
BENCHMARK(BM_PsfPair)->Arg(1)->Arg(4)->Arg(8)->Unit(benchmark::kMillisecond);

static void BM_SpotDiagram(benchmark::State& state) {
  TPupille w, d;
  Wavefront(w);
  for (auto _ : state) {
    ComputeSpotDiagram(w, 1200e6, 100e6, 1, CurrentProductSettings(), d);
    benchmark::DoNotOptimize(d.Values.PlaneData(1));
  }
}
BENCHMARK(BM_SpotDiagram)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
