// How far to trust a sequence's coefficients: sequences of 10, 30 and 100
// frame pairs through 2" turbulence (Kolmogorov screens, 5 ms exposures in
// an 8 m/s wind), each reconstructed for both estimates; per term Z5-Z11,
// the RMS error of the frame-pair mean against the truth over the seeds,
// the RMS of the standard error it reported, the share of seeds whose truth
// lies within one and two standard errors, and the averaged pair's RMS error.
//   sequence_accuracy [--frames 10,30,100] [--seeds N]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/sequence_run.h"
#include "analysis/star_simulator.h"
#include "io/frame_sequence.h"
#include "support/seeing_sequence.h"
#include "support/test_files.h"

using namespace caustica;

int main(int argc, char** argv) {
  std::vector<int> lengths = {10, 30, 100};
  int seeds = 5;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--seeds") == 0) seeds = std::atoi(argv[++i]);
    if (std::strcmp(argv[i], "--frames") == 0) {
      lengths.clear();
      std::stringstream list(argv[++i]);
      for (std::string n; std::getline(list, n, ',');) lengths.push_back(std::atoi(n.c_str()));
    }
  }
  test::ScratchDir dir;
  TTestSetup test;
  test.Focale = 1600e6;
  test.Rayon = 100e6;
  test.Defocalisation = 6e6;
  TRunSettings settings;
  settings.Method = TReconstructionMethod::Accurate;
  const int first = 5, last = 11;

  std::printf(
      "| frames | term | truth (nm RMS) | RMS error of the mean | RMS standard error | within 1 SE | "
      "within 2 SE | RMS error of the averaged pair |\n|---|---|---|---|---|---|---|---|\n");
  for (int frames : lengths) {
    std::vector<double> err2(last + 1, 0.0), se2(last + 1, 0.0), avg2(last + 1, 0.0);
    std::vector<int> in1(last + 1, 0), in2(last + 1, 0);
    std::vector<double> truth(last + 1, 0.0);
    int done = 0;
    for (int s = 1; s <= seeds; ++s) {
      const StarSimulationOptions o = test::SeeingSequence(frames, 100 * frames + s);
      const std::string a = dir.File("intra.fits"), b = dir.File("extra.fits");
      const StarSimulationStatus made = WriteStarSequence(o, a, b);
      if (!made.Ok) {
        std::fprintf(stderr, "simulation failed: %s\n", made.Message.c_str());
        return 1;
      }
      FrameSequence intra, extra;
      if (!intra.Open({a}) || !extra.Open({b})) return 1;
      const TSequenceResult r = ReconstructSequence(intra, extra, test, settings, {});
      if (!r.Complete()) {
        std::fprintf(stderr, "sequence refused: %s\n", r.Refusal.c_str());
        continue;
      }
      ZernikeCoefficients t = o.Coefficients;
      ToNormalised(r.Averaged.Wavefront->Basis, t);
      for (const TSequenceTerm& term : SequenceTerms(r)) {
        if (term.Term < first || term.Term > last) continue;
        const int k = term.Term;
        truth[k] = t[k];
        const double e = term.Mean - t[k];
        err2[k] += e * e;
        se2[k] += term.StandardError * term.StandardError;
        avg2[k] += (term.Averaged - t[k]) * (term.Averaged - t[k]);
        in1[k] += std::abs(e) <= term.StandardError ? 1 : 0;
        in2[k] += std::abs(e) <= 2 * term.StandardError ? 1 : 0;
      }
      ++done;
      std::fprintf(stderr, "%d frames, seed %d: %d pairs used\n", frames, s, r.PairsUsed);
    }
    if (done == 0) continue;
    for (int k = first; k <= last; ++k)
      std::printf("| %d | Z%d | %.1f | %.2f | %.2f | %d/%d | %d/%d | %.2f |\n", frames, k, truth[k],
                  std::sqrt(err2[k] / done), std::sqrt(se2[k] / done), in1[k], done, in2[k], done,
                  std::sqrt(avg2[k] / done));
    std::fflush(stdout);
  }
  return 0;
}
