#include "reconstruction_accuracy.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "analysis/channel_run.h"
#include "setup/run_settings.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"
#include "support/program_state_guard.h"

namespace caustica::testing {

namespace {

std::shared_ptr<TPupille> Open(const TFctXY& frame, bool extraFocal) {
  auto img = std::make_shared<TPupille>();
  img->Init(frame.Nx, frame.Ny);
  img->Assign(frame);
  const TkwValue& p = Preferences.Valeurs;
  img->ExtractThreshold(p.ExtractDim, p.ExtractSeuil);
  img->MeasurePupil();
  img->SetPupilAxes();
  if (extraFocal) img->Rotate180();
  img->Kind = extraFocal ? kKindExtra : kKindIntra;
  return img;
}

void Compare(TPupille& w, const StarSimulationOptions& star, AccuracyResult& result) {
  ZernikeSelection all{};
  SelectAll(all);
  w.ApplySelection(all);
  TPupille truth;
  truth.Init(w.Nx, w.Ny);
  truth.AssignPupil(w);
  truth.Obstruction = star.Obstruction;
  truth.Coefficients = star.Coefficients;
  FromNormalised(truth.Coefficients);
  SelectAll(truth.Selected);
  truth.SynthesiseFromZernike();
  const ZernikeSelection noTiltFocus = SelectionWithout(all, true, false);
  w.ApplySelection(noTiltFocus);
  truth.ApplySelection(noTiltFocus);
  long double sum = 0, sumTrue = 0, sumD = 0, sumT = 0;
  long count = 0;
  for (int r = 1; r <= w.Ny; ++r)
    for (int c = 1; c <= w.Nx; ++c) {
      if (w.Mask[1][r][c] != 1 || truth.Mask[1][r][c] != 1) continue;
      const double d = w.Values[1][r][c] - truth.Values[1][r][c];
      sumD += d;
      sum += d * d;
      sumT += truth.Values[1][r][c];
      sumTrue += truth.Values[1][r][c] * truth.Values[1][r][c];
      ++count;
    }
  if (count == 0) return;
  const long double meanD = sumD / count, meanT = sumT / count;
  result.MapError = static_cast<double>(std::sqrt(std::max(0.0L, sum / count - meanD * meanD)));
  result.TrueRms = static_cast<double>(std::sqrt(std::max(0.0L, sumTrue / count - meanT * meanT)));
}

}  // namespace

AccuracyResult MeasureReconstruction(const StarSimulationOptions& star, TReconstructionMethod method,
                                     int iterations) {
  TFctXY intraFrame, extraFrame;
  const StarSimulationStatus status = SimulateStarPair(star, intraFrame, extraFrame);
  if (!status.Ok) {
    AccuracyResult result;
    result.Error = status.Message;
    return result;
  }
  return MeasureReconstruction(star, intraFrame, extraFrame, method, iterations);
}

AccuracyResult MeasureReconstruction(const StarSimulationOptions& star, const TFctXY& intraFrame,
                                     const TFctXY& extraFrame, TReconstructionMethod method, int iterations,
                                     int basisTerms, bool paraxial) {
  AccuracyResult result;
  const caustica::test::ProgramStateGuard state;
  Preferences.Valeurs = TkwValue{};
  Preferences.Valeurs.NIter = static_cast<std::uint8_t>(iterations);
  if (basisTerms > 0)
    Preferences.Valeurs.NPolyZern = static_cast<decltype(Preferences.Valeurs.NPolyZern)>(basisTerms);
  SetZernikeBasis(Preferences.Valeurs.NPolyZern, Preferences.Valeurs.ModePoly);
  ReconstructionMethod = method;

  {
    auto intra = Open(intraFrame, false);
    auto extra = Open(extraFrame, true);
    Parametres = TParametres{};
    Parametres.Focale = star.FocalLength * 1e6;
    Parametres.Rayon = star.Diameter * 5e5;
    Parametres.Defocalisation = star.Defocus * 1e6;
    Parametres.Intra = intra;
    Parametres.Extra = extra;
    Parametres.ParamValides = true;
    TRoddier run;
    std::string error;
    TRunSettings settings = CurrentRunSettings();
    settings.ParaxialGeometry = paraxial;
    if (!ReconstructSingle(run, {Parametres.Intra.lock(), Parametres.Extra.lock()}, CurrentTestSetup(),
                           settings, {}, &error)) {
      result.Error = error;
    } else {
      result.Passes = run.OuterPasses;
      result.Converged = run.AccurateConverged;
      result.Warning = AccurateConvergenceWarning(run);
      result.Recovered = run.Wavefront->Coefficients;
      ToNormalised(result.Recovered);
      Compare(*run.Wavefront, star, result);
      result.Ok = true;
    }
  }
  return result;
}

double MidTermError(const AccuracyResult& r, const StarSimulationOptions& star) {
  double sum = 0;
  for (std::size_t k = 5; k <= 22; ++k) {
    const double d = r.Recovered[k] - star.Coefficients[k];
    sum += d * d;
  }
  return std::sqrt(sum);
}

bool RunAccurateOnPair(const StarSimulationOptions& star, TAccurateRunInfo& info) {
  TFctXY intraFrame, extraFrame;
  if (!SimulateStarPair(star, intraFrame, extraFrame).Ok) return false;
  TRoddier slot;
  slot.IntraImage = std::make_shared<TPupille>();
  slot.IntraImage->Init(intraFrame.Nx, intraFrame.Ny);
  slot.IntraImage->Assign(intraFrame);
  slot.ExtraImage = std::make_shared<TPupille>();
  slot.ExtraImage->Init(extraFrame.Nx, extraFrame.Ny);
  slot.ExtraImage->Assign(extraFrame);
  slot.ExtraImage->Rotate180();
  slot.FocalLength = star.FocalLength * 1e6;
  slot.Radius = star.Diameter * 5e5;
  slot.Defocus = star.Defocus * 1e6;
  ReconstructAccurate(slot, &info);
  return static_cast<bool>(slot.Wavefront);
}

}  // namespace caustica::testing
