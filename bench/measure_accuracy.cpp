// The accuracy table of both reconstruction methods on simulated star pairs
// (Fresnel model, a band of wavelengths), and the speed of both methods on
// one pair. Run without arguments for the benchmarks, with --table for the
// table: RMS of reconstructed - true after piston, tilt and focus removed,
// and recovered / true for each main term.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "analysis/channel_run.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"
#include "support/reconstruction_accuracy.h"

using namespace caustica;
using namespace caustica::testing;

namespace {

struct Case {
  const char* Name;
  double Diameter, Focal, Defocus, Pixel, Obstruction;
  int Size;
  std::initializer_list<std::pair<int, double>> Terms;  // RMS-normalised nm
  bool Noisy;
};

int basisTerms = 0;      // --terms N: the Zernike basis size (default 22)
bool geometric = false;  // --geometric: the ray model instead of the Fresnel one
double seeing = -1;      // --seeing S: this seeing (arcseconds) on every case

StarSimulationOptions Options(const Case& c) {
  StarSimulationOptions s;
  s.Model = geometric ? StarModel::Geometric : StarModel::Fresnel;
  s.Diameter = c.Diameter;
  s.FocalLength = c.Focal;
  s.Defocus = c.Defocus;
  s.PixelSize = c.Pixel;
  s.Obstruction = c.Obstruction;
  s.Width = s.Height = c.Size;
  s.Normalised = true;
  s.PolynomialType = kAnnularPolynomials;
  s.Wavelength = 550;
  s.Bandwidth = 100;
  s.WavelengthCount = 3;
  s.SourceLevel = 2e7;
  for (const auto& [k, v] : c.Terms) s.Coefficients[static_cast<std::size_t>(k)] = v;
  if (c.Noisy) {
    s.Seeing = 1.5;
    s.SkyLevel = 200;
    s.PhotonNoise = true;
    s.ReadNoise = 8;
    s.SourceLevel = 5e6;
  }
  if (seeing >= 0) s.Seeing = seeing;
  return s;
}

const Case kCases[] = {
    {"200 f/6 e0 d4, astig 60", 200, 1200, 4, 5, 0, 256, {{5, 60}}, false},
    {"150 f/8 e0 d6, coma 50", 150, 1200, 6, 5.4, 0, 256, {{7, 50}}, false},
    {"300 f/4 e.35 d2, sph 80", 300, 1200, 2, 4, 0.35, 256, {{11, 80}}, false},
    {"250 f/10 e0 d8, sph 40", 250, 2500, 8, 6, 0, 256, {{11, 40}}, false},
    {"200 f/5 e.25 d6, mixed", 200, 1000, 6, 5, 0.25, 512, {{5, 40}, {8, 30}, {11, 50}}, false},
    {"200 f/6 e.25 d5, trefoil 60", 200, 1200, 5, 5, 0.25, 256, {{9, 60}}, false},
    {"150 f/8 e0 d6, sec. sph 30", 150, 1200, 6, 5, 0, 256, {{22, 30}}, false},
    {"200 f/6 e0 d8, astig 250", 200, 1200, 8, 5, 0, 512, {{6, 250}}, false},
    {"200 f/6 e.25 d4, astig 20 coma 20", 200, 1200, 4, 5, 0.25, 256, {{5, 20}, {7, 20}}, false},
    {"250 f/6 e.25 d6, all five",
     250,
     1500,
     6,
     5,
     0.25,
     512,
     {{5, 100}, {8, 60}, {10, 40}, {11, 80}, {22, 20}},
     false},
    {"200 f/6 e0 d4, astig 60, noise+seeing", 200, 1200, 4, 5, 0, 256, {{5, 60}}, true},
    {"200 f/5 e.35 d6, mixed, noise+seeing", 200, 1000, 6, 5, 0.35, 512, {{6, 50}, {7, 40}, {11, 60}}, true},
    {"150 f/8 e0 d6, coma 80 tref 40, noise+seeing", 150, 1200, 6, 5, 0, 256, {{8, 80}, {9, 40}}, true},
    {"300 f/4 e.3 d3, sph 120 astig 50, noise+seeing", 300, 1200, 3, 4, 0.3, 512, {{11, 120}, {5, 50}}, true},
    // Large aberrations at small defocus: the images come close to a caustic.
    {"250 f/4 e0 d2.5, 250 nm near caustic",
     250,
     1000,
     2.5,
     5,
     0,
     256,
     {{5, 100}, {6, 60}, {7, 120}, {8, 150}, {9, 50}, {10, 45}, {11, 80}},
     false},
    {"200 f/4 e.25 d2, 250 nm near caustic",
     200,
     800,
     2,
     4.5,
     0.25,
     256,
     {{5, 100}, {6, 60}, {7, 120}, {8, 150}, {9, 50}, {10, 45}, {11, 80}},
     false},
    {"250 f/4 e0 d2.5, 300 nm near caustic",
     250,
     1000,
     2.5,
     5,
     0,
     256,
     {{5, 120}, {6, 72}, {7, 144}, {8, 180}, {9, 60}, {10, 54}, {11, 96}},
     false},
};

void PrintTable(int only) {
  std::printf(
      "| case | true RMS | classic err | accurate err | Z5-Z22 err classic / accurate | terms: classic ratio "
      "/ "
      "accurate ratio |\n");
  std::printf("|---|---|---|---|---|---|\n");
  int index = -1;
  for (const Case& c : kCases) {
    ++index;
    if (only >= 0 && only != index) continue;
    const StarSimulationOptions s = Options(c);
    TFctXY intra, extra;
    SimulateStarPair(s, intra, extra);
    const AccuracyResult a =
        MeasureReconstruction(s, intra, extra, TReconstructionMethod::Classic, 3, basisTerms);
    const AccuracyResult b =
        MeasureReconstruction(s, intra, extra, TReconstructionMethod::Accurate, 3, basisTerms);
    if (!a.Ok || !b.Ok) {
      std::printf("| %s | failed: %s %s |\n", c.Name, a.Error.c_str(), b.Error.c_str());
      continue;
    }
    std::printf("| %s | %.1f | %.1f | %.1f | %.1f / %.1f |", c.Name, b.TrueRms, a.MapError, b.MapError,
                MidTermError(a, s), MidTermError(b, s));
    for (const auto& [k, v] : c.Terms)
      std::printf(" Z%d: %.3f / %.3f;", k, a.Recovered[static_cast<std::size_t>(k)] / v,
                  b.Recovered[static_cast<std::size_t>(k)] / v);
    std::printf(" |\n");
    std::fflush(stdout);
  }
}

void RunMethod(benchmark::State& state, TReconstructionMethod method) {
  const StarSimulationOptions s = Options(kCases[4]);  // 512 x 512, r = 120 px
  TFctXY intra, extra;
  SimulateStarPair(s, intra, extra);
  for (auto _ : state) {
    const AccuracyResult r = MeasureReconstruction(s, intra, extra, method);
    benchmark::DoNotOptimize(r.MapError);
  }
}

}  // namespace

// Both time the opening checks, the channel run and the comparison with the
// true map on the same simulated pair.
static void BM_Classic(benchmark::State& state) { RunMethod(state, TReconstructionMethod::Classic); }
static void BM_Accurate(benchmark::State& state) { RunMethod(state, TReconstructionMethod::Accurate); }
BENCHMARK(BM_Classic)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Accurate)->Unit(benchmark::kMillisecond)->UseRealTime();

// --table [--case N] [--geometric] [--seeing S] prints the table (or one row of it).
int main(int argc, char** argv) {
  bool table = false;
  int only = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--table") == 0) table = true;
    if (std::strcmp(argv[i], "--geometric") == 0) geometric = true;
    if (std::strcmp(argv[i], "--case") == 0 && i + 1 < argc) only = std::atoi(argv[++i]);
    if (std::strcmp(argv[i], "--seeing") == 0 && i + 1 < argc) seeing = std::atof(argv[++i]);
    if (std::strcmp(argv[i], "--terms") == 0 && i + 1 < argc) basisTerms = std::atoi(argv[++i]);
  }
  if (table) {
    PrintTable(only);
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
