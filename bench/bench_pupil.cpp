// Diffraction products and term switching on wavefront maps.
#include <benchmark/benchmark.h>

#include <cmath>

#include "analysis/u_pupille.h"
#include "analysis/u_zernike.h"

using namespace caustica;

namespace {

void Wavefront(TPupille& w, int size, double radius, double obstruction) {
  w.Init(size, size);
  const double centre = (size + 1) / 2.0;
  w.OriginColumn = w.OriginRow = centre;
  w.PupilRadius = radius;
  w.Obstruction = obstruction;
  w.SetPupilAxes();
  for (int k = 1; k <= 22; ++k) w.Coefficients[k] = 30.0 * std::sin(1.3 * k);
  SelectAll(w.Selected);
  w.SynthesiseFromZernike();
  w.Wavelength = 550;
}

}  // namespace

static void BM_ComputePSF(benchmark::State& state) {
  SetZernikeBasis(22, 0);
  TPupille w;
  Wavefront(w, 256, 100.0, 0.25);
  const int factor = static_cast<int>(state.range(0));
  TPupille actual, theory;
  for (auto _ : state) {
    w.ComputePSF(factor, actual, theory);
    benchmark::DoNotOptimize(actual.Values.PlaneData(1));
  }
}
BENCHMARK(BM_ComputePSF)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

static void BM_ApplySelectionToggle(benchmark::State& state) {
  SetZernikeBasis(42, 0);
  TPupille w;
  Wavefront(w, 512, 250.0, 0.25);
  ZernikeSelection on = w.Selected, off = w.Selected;
  off[5] = false;
  w.ApplySelection(off);  // warms the term cache
  bool flip = false;
  for (auto _ : state) {
    w.ApplySelection(flip ? off : on);
    flip = !flip;
  }
}
BENCHMARK(BM_ApplySelectionToggle)->Unit(benchmark::kMillisecond);

static void BM_SynthesiseWarm(benchmark::State& state) {
  SetZernikeBasis(42, 0);
  TPupille w;
  Wavefront(w, 512, 250.0, 0.25);
  for (auto _ : state) w.SynthesiseFromZernike();
}
BENCHMARK(BM_SynthesiseWarm)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
