#include "setup/run_settings.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "analysis/pair_checks.h"
#include "setup/reconstruction_method.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"

namespace caustica {

TRunSettings RunSettingsOf(const TkwValue& v, TReconstructionMethod method, const TZernikeBasis& basis) {
  TRunSettings s;
  s.Method = method;
  s.Passes = v.NIter;
  s.StopRms = v.RMSFront;
  s.StopWhenConverged = v.BreakCondition != 0;
  s.Basis = basis;
  s.AutoFit = v.AjustAuto != 0;
  s.SubtractTiltFocus = v.SubTiltFocus != 0;
  s.SubtractComa = v.SubComa != 0;
  s.LambdaRef = v.LambdaRef;
  s.ChannelWavelengths = {v.LambdaB, v.LambdaV, v.LambdaR};
  s.FocusReference = v.OriginFoc;
  s.WavefrontPalette = v.PltFront;
  return s;
}

TTestSetup TestSetupOf(const TParametres& p) {
  TTestSetup t;
  t.Focale = p.Focale;
  t.Rayon = p.Rayon;
  t.Defocalisation = p.Defocalisation;
  t.AstigX = p.AstigX;
  t.AstigY = p.AstigY;
  t.ComaX = p.ComaX;
  t.ComaY = p.ComaY;
  t.Spherique = p.Spherique;
  t.Autocollimation = p.Autocollimation;
  t.Obstruction = p.Obstruction;
  return t;
}

TProductSettings ProductSettingsOf(const TkwValue& v) {
  TProductSettings s;
  s.LambdaInterfero = v.LambdaInterfero;
  s.LambdaRef = v.LambdaRef;
  s.InterferogramPalette = v.PltInterfero;
  s.PsfPalette = v.PltPSF;
  return s;
}

TPupilSearch PupilSearchOf(const TkwValue& v) {
  TPupilSearch s;
  s.BlockCount = v.ExtractDim;
  s.Percentage = v.ExtractSeuil;
  return s;
}

TRunSettings CurrentRunSettings() {
  return RunSettingsOf(Preferences.Valeurs, ReconstructionMethod, ZernikeBasis);
}
TTestSetup CurrentTestSetup() { return TestSetupOf(Parametres); }
TProductSettings CurrentProductSettings() { return ProductSettingsOf(Preferences.Valeurs); }
TPupilSearch CurrentPupilSearch() { return PupilSearchOf(Preferences.Valeurs); }

bool PrepareChannel(TRoddier& slot, int channel, const TRunProgress& progress, std::string* error) {
  return PrepareChannel(slot, channel, {Parametres.Intra.lock(), Parametres.Extra.lock()}, CurrentTestSetup(),
                        CurrentRunSettings(), progress, error);
}

bool ReconstructSingle(TRoddier& mono, const TRunProgress& progress, std::string* error) {
  return ReconstructSingle(mono, {Parametres.Intra.lock(), Parametres.Extra.lock()}, CurrentTestSetup(),
                           CurrentRunSettings(), progress, error);
}

std::vector<std::string> CurrentPairChecks() {
  const TParametres& p = Parametres;
  const bool polychromatic = p.ModeTraitement == 1;
  const std::vector<std::pair<TImageRef, TImageRef>> pairs =
      polychromatic ? std::vector<std::pair<TImageRef, TImageRef>>{{p.IntraBleu, p.ExtraBleu},
                                                                   {p.IntraVert, p.ExtraVert},
                                                                   {p.IntraRouge, p.ExtraRouge}}
                    : std::vector<std::pair<TImageRef, TImageRef>>{{p.Intra, p.Extra}};
  const TTestSetup test = CurrentTestSetup();
  std::vector<std::string> warnings;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    const std::shared_ptr<TPupille> intra = pairs[i].first.lock(), extra = pairs[i].second.lock();
    if (!intra || !extra) continue;
    const TStarFinding si = FindStar(*intra), se = FindStar(*extra);
    if (!si.Found() || !se.Found()) continue;  // said when the image was opened
    TPairFacts facts;
    facts.EnteredObstruction = test.Obstruction;
    if (intra->Infos.PixelSizeX > 0)
      facts.PixelSize = intra->Infos.PixelSizeX * std::max<int>(1, intra->Infos.BinX) * 1e3;
    for (const std::string& w : CheckPair(si, se, test, facts))
      warnings.push_back(polychromatic ? ChannelNames[i + 1] + ": " + w : w);
  }
  return warnings;
}

bool ReconstructPolychromatic(TRoddier& blue, TRoddier& green, TRoddier& red, const TRunProgress& progress,
                              std::string* error) {
  TParametres& p = Parametres;
  const std::array<TImagePair, 3> pairs = {TImagePair{p.IntraBleu.lock(), p.ExtraBleu.lock()},
                                           TImagePair{p.IntraVert.lock(), p.ExtraVert.lock()},
                                           TImagePair{p.IntraRouge.lock(), p.ExtraRouge.lock()}};
  const bool ok = ReconstructPolychromatic(blue, green, red, pairs, CurrentTestSetup(), CurrentRunSettings(),
                                           progress, error);
  p.Intra = p.IntraRouge;
  p.Extra = p.ExtraRouge;
  return ok;
}

bool SaveZernikeCoefficients(const std::string& fileName, const ZernikeCoefficients& coefficients,
                             std::string* error) {
  return SaveZernikeCoefficients(fileName, coefficients, Preferences.Valeurs.NPolyZern, error);
}

}  // namespace caustica
