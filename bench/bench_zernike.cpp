// Zernike term cache and least-squares fit on a 512 x 512 pupil.
#include <benchmark/benchmark.h>

#include <cmath>

#include "analysis/u_fit.h"
#include "analysis/u_zernike.h"
#include "analysis/zernike_cache.h"
#include "core/u_fonctionxy.h"

using namespace caustica;

namespace {

constexpr int kSize = 512;
constexpr double kRadius = 255.0;  // about 204 000 samples inside

// A pupil of radius kRadius centred on the grid with a smooth map on it.
void MakePupil(TFctXY& grid, double obstruction) {
  grid.Init(kSize, kSize);
  const double centre = (kSize + 1) / 2.0;
  for (int c = 1; c <= kSize; ++c) grid.XAxis[c] = (c - centre) / kRadius;
  for (int r = 1; r <= kSize; ++r) grid.YAxis[r] = -(r - centre) / kRadius;
  for (int r = 1; r <= kSize; ++r) {
    for (int c = 1; c <= kSize; ++c) {
      const double x = grid.XAxis[c];
      const double y = grid.YAxis[r];
      const double rho2 = x * x + y * y;
      grid.Mask[1][r][c] = rho2 <= 1.0 && rho2 >= obstruction * obstruction ? 1 : 0;
      grid.Values[1][r][c] = 120.0 * x - 40.0 * y + 300.0 * (2.0 * rho2 - 1.0) + 25.0 * std::sin(7.0 * x * y);
    }
  }
}

void BM_BuildTermCache42(benchmark::State& state) {
  SetZernikeBasis(42, kAnnularPolynomials);
  TFctXY grid;
  MakePupil(grid, 0.3);
  ZernikeTermCache cache;
  double obstruction = 0.3;
  for (auto _ : state) {
    // A fresh obstruction each time forces a rebuild.
    obstruction = obstruction == 0.3 ? 0.3000001 : 0.3;
    benchmark::DoNotOptimize(cache.Prepare(grid, obstruction));
  }
  state.counters["samples"] = static_cast<double>(kSize) * kSize;
}
BENCHMARK(BM_BuildTermCache42)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FitZernike42WarmCache(benchmark::State& state) {
  SetZernikeBasis(42, static_cast<int>(state.range(0)));
  TFctXY grid;
  MakePupil(grid, 0.3);
  ZernikeTermCache cache;
  ZernikeSelection selected;
  SelectAll(selected);
  ZernikeCoefficients coefficients{};
  FitZernike(grid, 0.3, selected, coefficients, cache);  // warms the cache
  for (auto _ : state) {
    FitZernike(grid, 0.3, selected, coefficients, cache);
    benchmark::DoNotOptimize(coefficients.data());
  }
  state.counters["builds"] = static_cast<double>(cache.BuildCount());
}
BENCHMARK(BM_FitZernike42WarmCache)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
