// Time of one simulated pair of 512 x 512 frames: 200 mm f/8, 8 mm of
// defocus on 5 um pixels (a pupil image of 100 pixels radius), with
// astigmatism, coma and spherical aberration; and the same through
// turbulence of 2" seeing (r0 5 cm), an instant and a 20 ms exposure in a
// 10 m/s wind (16 sub-exposures).
#include <benchmark/benchmark.h>

#include "analysis/star_simulator.h"

namespace caustica {
namespace {

StarSimulationOptions Setup(StarModel model, int wavelengths) {
  StarSimulationOptions o;
  o.Model = model;
  o.Diameter = 200.0;
  o.FocalLength = 1600.0;
  o.Defocus = 8.0;
  o.PixelSize = 5.0;
  o.Width = o.Height = 512;
  o.Coefficients[5] = 80.0;
  o.Coefficients[7] = 60.0;
  o.Coefficients[11] = 50.0;
  if (wavelengths > 1) {
    o.Bandwidth = 100.0;
    o.WavelengthCount = wavelengths;
  }
  o.SkyLevel = 100.0;
  o.PhotonNoise = true;
  o.ReadNoise = 10.0;
  return o;
}

void Run(benchmark::State& state, StarModel model, int wavelengths, double exposure = -1.0) {
  StarSimulationOptions o = Setup(model, wavelengths);
  if (exposure >= 0.0) {
    o.Atmosphere.Enabled = true;
    o.Atmosphere.R0 = 0.05;
    o.Atmosphere.Exposure = exposure;
    o.Atmosphere.WindSpeed = 10.0;
  }
  TFctXY intra, extra;
  StarSimulationReport report;
  SimulateStarPair(o, intra, extra, &report);  // plans the transforms once
  for (auto _ : state) {
    SimulateStarPair(o, intra, extra, &report);
    benchmark::DoNotOptimize(intra.Values.PlaneData(1));
  }
  state.counters["transform"] = report.TransformSize;
  state.counters["pupil_samples"] = report.PupilSamples;
  state.counters["rays"] = static_cast<double>(report.RayCount);
  if (exposure >= 0.0) {
    state.counters["screen"] = report.ScreenSamples;
    state.counters["sub_exposures"] = report.SubExposures;
  }
}

void BM_FresnelPairMonochromatic(benchmark::State& state) { Run(state, StarModel::Fresnel, 1); }
void BM_FresnelPairFiveWavelengths(benchmark::State& state) { Run(state, StarModel::Fresnel, 5); }
void BM_GeometricPair(benchmark::State& state) { Run(state, StarModel::Geometric, 1); }
void BM_TurbulentPairInstant(benchmark::State& state) { Run(state, StarModel::Fresnel, 1, 0.0); }
void BM_TurbulentPair20msWindy(benchmark::State& state) { Run(state, StarModel::Fresnel, 1, 0.02); }

BENCHMARK(BM_FresnelPairMonochromatic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FresnelPairFiveWavelengths)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GeometricPair)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TurbulentPairInstant)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TurbulentPair20msWindy)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace caustica

BENCHMARK_MAIN();
