// Rendering speed of a camera-sized wavefront map with relief shading.
#include <benchmark/benchmark.h>

#include <cmath>

#include "core/image_surface.h"
#include "core/u_fonctionxy.h"

using namespace caustica;

static void BM_Render(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool relief = state.range(1) != 0;
  TFctXY g;
  g.Init(n, n);
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c) {
      const double x = (c - n / 2.0) / (n / 2.0), y = (r - n / 2.0) / (n / 2.0);
      const double rr = x * x + y * y;
      g.Values[1][r][c] = 100 * (2 * rr - 1) + 30 * x * y;
      g.Mask[1][r][c] = rr <= 1 ? 1 : 0;
    }
  g.MaskActive = true;
  g.Relief = relief;
  g.PaletteIndex = 1;
  TSoftwareSurface surface;
  for (auto _ : state) {
    g.Render(surface);
    benchmark::DoNotOptimize(surface.Picture.Rgb.data());
  }
}
BENCHMARK(BM_Render)->Args({1024, 0})->Args({1024, 1})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
