#include "analysis/channel_run.h"

#include <cmath>

#include "analysis/accurate_reconstruction.h"
#include "setup/reconstruction_method.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"

namespace caustica {

namespace {

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

std::shared_ptr<TPupille> CopyOf(const TPupille& src) {
  auto copy = std::make_shared<TPupille>();
  copy->IsComplex = 0;
  copy->Init(src.Nx, src.Ny);
  copy->AssignPupil(src);
  return copy;
}

// Puts two preferences back when the run ends, also on failure.
class PreferenceRestorer {
 public:
  PreferenceRestorer()
      : ajust_(Preferences.Valeurs.AjustAuto), subTiltFocus_(Preferences.Valeurs.SubTiltFocus) {}
  ~PreferenceRestorer() {
    Preferences.Valeurs.AjustAuto = ajust_;
    Preferences.Valeurs.SubTiltFocus = subTiltFocus_;
  }

 private:
  std::uint8_t ajust_;
  std::uint8_t subTiltFocus_;
};

}  // namespace

bool PrepareChannel(TRoddier& slot, int channel, const TRunProgress& progress, std::string* error) {
  const TParametres& p = Parametres;
  const std::shared_ptr<TPupille> intra = p.Intra.lock();
  const std::shared_ptr<TPupille> extra = p.Extra.lock();
  if (!intra || !extra) return Fail(error, "the intra-focal or extra-focal image is no longer open");
  if (!intra->HasArrays() || !extra->HasArrays() || intra->Nx < 3 || intra->Ny < 3 || extra->Nx < 3 ||
      extra->Ny < 3)
    return Fail(error, "the intra-focal or extra-focal image is empty");
  if (intra->Nx != extra->Nx || intra->Ny != extra->Ny)
    return Fail(error, "the intra-focal and extra-focal images differ in size");
  if (!(p.Focale > 0) || !(p.Rayon > 0) || !(p.Defocalisation > 0) || !std::isfinite(p.Focale) ||
      !std::isfinite(p.Rayon) || !std::isfinite(p.Defocalisation))
    return Fail(error, "the focal length, diameter and defocus must all be greater than zero");
  if (p.Defocalisation >= p.Focale) return Fail(error, "the defocus must be smaller than the focal length");

  slot.FocalLength = p.Focale;
  slot.Radius = p.Rayon;
  slot.Defocus = p.Defocalisation;
  slot.MaxIterations = Preferences.Valeurs.NIter;
  slot.IntraImage = CopyOf(*intra);
  slot.ExtraImage = CopyOf(*extra);

  const bool polychromatic = channel != 0;
  const int n = polychromatic ? channel : 1;
  const int total = polychromatic ? 3 : 1;
  const std::string caption = "Reconstruction of the wavefront " + ChannelNames[channel & 3] + " (" +
                              std::to_string(n) + "/" + std::to_string(total) + ")";
  const bool accurate = ReconstructionMethod == TReconstructionMethod::Accurate;
  if (progress.Start) {
    if (accurate)
      progress.Start(caption, kAccuratePasses, 1.0);  // one step per outer pass
    else
      progress.Start(caption, Preferences.Valeurs.NIter, 4.0);
  }
  slot.Progress.Step = progress.Step;
  slot.Progress.Finish = progress.Finish;
  if (accurate)
    ReconstructAccurate(slot);
  else
    slot.Reconstruct();
  slot.Progress = {};
  if (!slot.Wavefront) {
    if (progress.Hide) progress.Hide();
    return Fail(error, "the two images cannot be paired");
  }

  TPupille& w = *slot.Wavefront;
  // The set-up aberrations of the test arrangement are taken off.
  const double setup[] = {p.AstigX, p.AstigY, p.ComaX, p.ComaY};
  for (int i = 0; i < 4; ++i)
    if (setup[i] != 0) w.AddZernikeTerm(5 + i, -setup[i]);
  if (p.Spherique != 0) w.AddZernikeTerm(11, -p.Spherique);
  if (p.Autocollimation) w.MultiplyBy(0.5);
  if (Preferences.Valeurs.AjustAuto) {
    w.FitZernike();
    w.ApplySelection(SelectionWithout(w.Selected, Preferences.Valeurs.SubTiltFocus != 0,
                                      Preferences.Valeurs.SubComa != 0));
  }
  if (progress.Hide) progress.Hide();
  w.PaletteIndex = Preferences.Valeurs.PltFront;
  w.MaskActive = true;
  w.Kind = kKindWavefront;
  w.Channel = static_cast<std::uint8_t>(channel);
  return true;
}

bool ReconstructSingle(TRoddier& mono, const TRunProgress& progress, std::string* error) {
  if (!PrepareChannel(mono, 0, progress, error)) return false;
  mono.Wavefront->Wavelength = Preferences.Valeurs.LambdaRef;
  return true;
}

bool ReconstructPolychromatic(TRoddier& blue, TRoddier& green, TRoddier& red, const TRunProgress& progress,
                              std::string* error) {
  PreferenceRestorer restore;
  Preferences.Valeurs.AjustAuto = 1;
  Preferences.Valeurs.SubTiltFocus = 0;

  struct Channel {
    TRoddier* slot;
    TImageRef* intra;
    TImageRef* extra;
    double wavelength;
  };
  const Channel channels[3] = {
      {&blue, &Parametres.IntraBleu, &Parametres.ExtraBleu, Preferences.Valeurs.LambdaB},
      {&green, &Parametres.IntraVert, &Parametres.ExtraVert, Preferences.Valeurs.LambdaV},
      {&red, &Parametres.IntraRouge, &Parametres.ExtraRouge, Preferences.Valeurs.LambdaR},
  };
  for (int i = 0; i < 3; ++i) {
    Parametres.Intra = *channels[i].intra;
    Parametres.Extra = *channels[i].extra;
    std::string why;
    if (!PrepareChannel(*channels[i].slot, i + 1, progress, &why))
      return Fail(error, ChannelNames[i + 1] + ": " + why);
    channels[i].slot->Wavefront->Wavelength = channels[i].wavelength;
  }

  const int reference = Preferences.Valeurs.OriginFoc <= 2 ? Preferences.Valeurs.OriginFoc : 1;
  const double focus = channels[reference].slot->Wavefront->Coefficients[4];
  for (int i = 2; i >= 0; --i) {
    TPupille& w = *channels[i].slot->Wavefront;
    w.ApplySelection(SelectionWithoutTilt(w.Selected));
    w.AddZernikeTerm(4, -focus);
  }
  return true;
}

}  // namespace caustica
