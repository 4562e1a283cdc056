#include "setup/run_settings.h"

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
