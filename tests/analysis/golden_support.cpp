#include "golden_support.h"

#include <cmath>
#include <memory>

#include "analysis/channel_run.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"

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

}  // namespace

GoldenResult RunGoldenCase(const GoldenCase& c, int iterations) {
  GoldenResult result;
  const TkwValue savedPrefs = Preferences.Valeurs;
  const TParametres savedParams = Parametres;
  const TZernikeBasis savedBasis = ZernikeBasis;
  Preferences.Valeurs = TkwValue{};
  Preferences.Valeurs.NIter = static_cast<std::uint8_t>(iterations);
  SetZernikeBasis(Preferences.Valeurs.NPolyZern, Preferences.Valeurs.ModePoly);

  TFctXY intraFrame, extraFrame;
  const StarSimulationStatus status = SimulateStarPair(c.Star, intraFrame, extraFrame);
  if (!status.Ok) {
    result.Error = status.Message;
  } else {
    auto intra = Open(intraFrame, false);
    auto extra = Open(extraFrame, true);
    result.PupilRadius = intra->PupilRadius;
    Parametres = TParametres{};
    Parametres.Focale = c.Star.FocalLength * 1e6;
    Parametres.Rayon = c.Star.Diameter * 5e5;
    Parametres.Defocalisation = c.Star.Defocus * 1e6;
    Parametres.Intra = intra;
    Parametres.Extra = extra;
    Parametres.ParamValides = true;
    TRoddier run;
    std::string error;
    if (!ReconstructSingle(run, {}, &error)) {
      result.Error = error;
    } else {
      TPupille& w = *run.Wavefront;
      result.Recovered = w.Coefficients;
      ToNormalised(result.Recovered);
      // Map error: the reconstructed map with every fitted term on, minus the
      // true map synthesised on the same samples; tilt and focus taken off both.
      ZernikeSelection all{};
      SelectAll(all);
      w.ApplySelection(all);
      TPupille truth;
      truth.Init(w.Nx, w.Ny);
      truth.AssignPupil(w);
      truth.Obstruction = w.Obstruction;
      truth.Coefficients = c.Star.Coefficients;
      FromNormalised(truth.Coefficients);
      SelectAll(truth.Selected);
      truth.SynthesiseFromZernike();
      ZernikeSelection noTiltFocus = SelectionWithout(all, true, false);
      w.ApplySelection(noTiltFocus);
      truth.ApplySelection(noTiltFocus);
      long double sum = 0, sumTrue = 0, sumD = 0, sumT = 0;
      long count = 0;
      for (int r = 1; r <= w.Ny; ++r)
        for (int col = 1; col <= w.Nx; ++col) {
          if (w.Mask[1][r][col] != 1 || truth.Mask[1][r][col] != 1) continue;
          const double d = w.Values[1][r][col] - truth.Values[1][r][col];
          sumD += d;
          sum += d * d;
          sumT += truth.Values[1][r][col];
          sumTrue += truth.Values[1][r][col] * truth.Values[1][r][col];
          ++count;
        }
      if (count > 0) {
        const long double meanD = sumD / count, meanT = sumT / count;
        result.MapError = static_cast<double>(std::sqrt(std::max(0.0L, sum / count - meanD * meanD)));
        result.TrueRms = static_cast<double>(std::sqrt(std::max(0.0L, sumTrue / count - meanT * meanT)));
      }
      result.Ok = true;
    }
  }
  Preferences.Valeurs = savedPrefs;
  Parametres = savedParams;
  ZernikeBasis = savedBasis;
  return result;
}

}  // namespace caustica::testing
