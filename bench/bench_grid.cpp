// Speed of the grid's resizing and moving operations on reconstruction-sized
// grids, with a plain plane copy of the same size for scale.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "core/u_fonctionxy.h"

using namespace caustica;

namespace {

void FillStar(TFctXY& g) {
  for (int r = 1; r <= g.Ny; ++r) {
    double* row = g.Values[1][r];
    for (int c = 1; c <= g.Nx; ++c) row[c] = static_cast<double>((r * 31 + c * 17) % 4096);
  }
}

void BM_ShiftBy(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TFctXY g;
  g.Init(n, n);
  FillStar(g);
  bool flip = false;
  for (auto _ : state) {
    // Alternate the direction so both row orders are measured.
    g.ShiftBy(flip ? -0.37 : 0.37, flip ? 0.61 : -0.61);
    flip = !flip;
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n) * n);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n) * n * sizeof(double));
}
BENCHMARK(BM_ShiftBy)->Arg(2048)->Unit(benchmark::kMillisecond);

void BM_PadToPowerOfTwo(benchmark::State& state) {
  const int nx = static_cast<int>(state.range(0));
  const int ny = static_cast<int>(state.range(1));
  TFctXY g;
  for (auto _ : state) {
    state.PauseTiming();
    g.Release();
    g.Init(nx, ny);
    FillStar(g);
    state.ResumeTiming();
    g.PadToPowerOfTwo();
    benchmark::DoNotOptimize(g.Values[1][1]);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(nx) * ny);
}
// The set-up of each iteration is untimed; a fixed iteration count keeps the
// already-square case (which returns at once) from running for ever.
BENCHMARK(BM_PadToPowerOfTwo)
    ->Args({2000, 1900})
    ->Args({2048, 2048})
    ->Iterations(30)
    ->Unit(benchmark::kMillisecond);

// Reference: the cheapest pass over every sample (read, multiply, write).
void BM_MultiplyBy(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  TFctXY g;
  g.Init(n, n);
  FillStar(g);
  for (auto _ : state) {
    g.MultiplyBy(1.0);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(n) * n);
}
BENCHMARK(BM_MultiplyBy)->Arg(2048)->Unit(benchmark::kMillisecond);

// Reference: one plane of 2048 x 2048 doubles copied with memcpy.
void BM_PlaneCopy(benchmark::State& state) {
  const std::size_t n = static_cast<std::size_t>(state.range(0)) * state.range(0);
  std::vector<double> a(n, 1.0), b(n, 0.0);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), n * sizeof(double));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(n * sizeof(double)));
}
BENCHMARK(BM_PlaneCopy)->Arg(2048)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
