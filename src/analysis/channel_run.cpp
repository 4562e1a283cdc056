#include "analysis/channel_run.h"

#include <algorithm>
#include <cmath>

#include "analysis/accurate_reconstruction.h"
#include "core/input_limits.h"
#include "core/vector_state.h"

namespace caustica {

namespace {

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

// A map with no sample inside the pupil, a flat one or one holding a value
// that is not finite is no result: it would pass for a perfect mirror.
bool WavefrontUsable(const TPupille& w, std::string* error) {
  std::size_t inside = 0;
  double low = 0.0, high = 0.0;
  for (int r = 1; r <= w.Ny; ++r)
    for (int c = 1; c <= w.Nx; ++c) {
      if (w.Mask[1][r][c] == 0) continue;
      const double v = w.Values[1][r][c];
      if (!std::isfinite(v)) return Fail(error, "the reconstruction gives a wavefront that is not finite");
      low = inside ? std::min(low, v) : v;
      high = inside ? std::max(high, v) : v;
      ++inside;
    }
  if (inside == 0) return Fail(error, "the reconstruction gives an empty wavefront (no sample in the pupil)");
  if (!(high > low))
    return Fail(error, "the reconstruction gives a flat wavefront: the images hold no signal");
  for (int k = 1; k <= 42; ++k)
    if (!std::isfinite(w.Coefficients[k]))
      return Fail(error, "the Zernike fit of the wavefront is not finite");
  return true;
}

}  // namespace

bool PrepareChannel(TRoddier& slot, int channel, const TImagePair& images, const TTestSetup& p,
                    const TRunSettings& settings, const TRunProgress& progress, std::string* error) {
  ClearUpperVectorState();
  const std::shared_ptr<TPupille>& intra = images.Intra;
  const std::shared_ptr<TPupille>& extra = images.Extra;
  if (!intra || !extra) return Fail(error, "the intra-focal or extra-focal image is no longer open");
  if (!intra->HasArrays() || !extra->HasArrays() || intra->Nx < 3 || intra->Ny < 3 || extra->Nx < 3 ||
      extra->Ny < 3)
    return Fail(error, "the intra-focal or extra-focal image is empty");
  if (intra->Nx != extra->Nx || intra->Ny != extra->Ny)
    return Fail(error, "the intra-focal and extra-focal images differ in size");
  // The images are padded to a square of the longer side: a frame that
  // cannot hold a pupil would cost that square for nothing.
  if (const std::string why = FrameShapeRefusal(intra->Nx, intra->Ny); !why.empty()) return Fail(error, why);
  if (!(p.Focale > 0) || !(p.Rayon > 0) || !(p.Defocalisation > 0) || !std::isfinite(p.Focale) ||
      !std::isfinite(p.Rayon) || !std::isfinite(p.Defocalisation))
    return Fail(error, "the focal length, diameter and defocus must all be greater than zero");
  if (p.Defocalisation >= p.Focale) return Fail(error, "the defocus must be smaller than the focal length");

  slot.FocalLength = p.Focale;
  slot.Radius = p.Rayon;
  slot.Defocus = p.Defocalisation;
  const double wavelength = channel == 0
                                ? settings.LambdaRef
                                : settings.ChannelWavelengths[static_cast<std::size_t>((channel - 1) % 3)];
  slot.Wavelength = wavelength > 0 ? wavelength : 555.0;
  slot.KnownObstruction = p.Obstruction > 0 && p.Obstruction < 1 ? p.Obstruction : 0.0;
  slot.MaxIterations = settings.Passes;
  slot.StopRms = settings.StopRms;
  slot.StopWhenConverged = settings.StopWhenConverged;
  slot.IntraImage = ImageCopy(*intra);
  slot.ExtraImage = ImageCopy(*extra);
  if (!slot.IntraImage || !slot.ExtraImage)
    return Fail(error, "the intra-focal or extra-focal image is not a camera image");

  const bool polychromatic = channel != 0;
  const int n = polychromatic ? channel : 1;
  const int total = polychromatic ? 3 : 1;
  const std::string caption = "Reconstruction of the wavefront " + ChannelNames[channel & 3] + " (" +
                              std::to_string(n) + "/" + std::to_string(total) + ")";
  const bool accurate = settings.Method == TReconstructionMethod::Accurate;
  if (progress.Start) {
    if (accurate)
      progress.Start(caption, kAccuratePasses, 1.0);  // one step per outer pass
    else
      progress.Start(caption, settings.Passes, 4.0);
  }
  // The progress callbacks run window code between the passes; the numeric
  // loops then start again from a clean vector state.
  slot.Progress.Step = [step = progress.Step] {
    if (step) step();
    ClearUpperVectorState();
  };
  slot.Progress.Finish = [finish = progress.Finish] {
    if (finish) finish();
    ClearUpperVectorState();
  };
  slot.Accurate = accurate;
  slot.ParaxialGeometry = settings.ParaxialGeometry;
  slot.AccurateConverged = true;
  slot.AccurateNote.clear();
  if (accurate) {
    TAccurateRunInfo info;
    ReconstructAccurate(slot, settings.Basis, &info);
    slot.AccurateConverged = info.Converged;
    slot.AccurateNote = AccurateConvergenceNote(info);
  } else {
    slot.Reconstruct();
  }
  slot.Progress = {};
  if (!slot.Wavefront) {
    if (progress.Hide) progress.Hide();
    // Say what failed: the accurate method measures a donut in each image.
    return Fail(error, accurate ? "the accurate method could not measure a donut in both images (each must "
                                  "hold one star, well inside the frame; cut whole frames out around it)"
                                : "the two images pad to squares of different sizes");
  }

  TPupille& w = *slot.Wavefront;
  // Every term the run adds or fits belongs to the run's basis.
  w.Basis = settings.Basis;
  {
    TPupille seen;
    seen.CloneFrom(w);
    seen.FitZernike(settings.Basis);
    slot.ImageCoefficients = seen.Coefficients;
  }
  // The set-up aberrations of the test arrangement are taken off.
  const double setup[] = {p.AstigX, p.AstigY, p.ComaX, p.ComaY};
  for (int i = 0; i < 4; ++i)
    if (setup[i] != 0) w.AddZernikeTerm(5 + i, -setup[i]);
  if (p.Spherique != 0) w.AddZernikeTerm(11, -p.Spherique);
  if (p.Autocollimation) w.MultiplyBy(0.5);
  if (settings.AutoFit) {
    w.FitZernike(settings.Basis);
    w.ApplySelection(SelectionWithout(w.Selected, settings.SubtractTiltFocus, settings.SubtractComa));
  }
  if (progress.Hide) progress.Hide();
  if (!WavefrontUsable(w, error)) {
    slot.Wavefront.reset();
    return false;
  }
  w.PaletteIndex = settings.WavefrontPalette;
  w.MaskActive = true;
  w.Kind = kKindWavefront;
  w.Channel = static_cast<std::uint8_t>(channel);
  return true;
}

std::string AccurateConvergenceWarning(const TRoddier& slot) {
  if (!slot.Accurate || slot.AccurateConverged) return {};
  return std::string("the accurate method did not converge: ").append(slot.AccurateNote);
}

TForwardCheck CheckChannelForwardModel(const TRoddier& slot, const TImagePair& images,
                                       const TRunSettings& settings) {
  if (!slot.Wavefront || !images.Intra || !images.Extra) {
    TForwardCheck none;
    none.Reason = "there is no result to check";
    return none;
  }
  TForwardModel model;
  model.Radius = slot.Radius;
  model.FocalLength = slot.FocalLength;
  model.Defocus = slot.Defocus;
  model.Obstruction = slot.Wavefront->Obstruction;
  model.Wavelength = slot.Wavefront->Wavelength;
  model.Coefficients = slot.ImageCoefficients;
  model.PolynomialType = settings.Basis.PolynomialType;
  return CheckForwardModel(*images.Intra, *images.Extra, model);
}

bool ReconstructSingle(TRoddier& mono, const TImagePair& images, const TTestSetup& test,
                       const TRunSettings& settings, const TRunProgress& progress, std::string* error) {
  if (!PrepareChannel(mono, 0, images, test, settings, progress, error)) return false;
  mono.Wavefront->Wavelength = settings.LambdaRef;
  return true;
}

bool ReconstructPolychromatic(TRoddier& blue, TRoddier& green, TRoddier& red,
                              const std::array<TImagePair, 3>& images, const TTestSetup& test,
                              const TRunSettings& settings, const TRunProgress& progress,
                              std::string* error) {
  // The three maps are compared on their focus: always fitted, focus kept.
  TRunSettings colour = settings;
  colour.AutoFit = true;
  colour.SubtractTiltFocus = false;

  TRoddier* const slots[3] = {&blue, &green, &red};
  for (int i = 0; i < 3; ++i) {
    std::string why;
    if (!PrepareChannel(*slots[i], i + 1, images[static_cast<std::size_t>(i)], test, colour, progress, &why))
      return Fail(error, ChannelNames[static_cast<std::size_t>(i) + 1] + ": " + why);
    slots[i]->Wavefront->Wavelength = settings.ChannelWavelengths[static_cast<std::size_t>(i)];
  }

  const int reference =
      settings.FocusReference >= 0 && settings.FocusReference <= 2 ? settings.FocusReference : 1;
  const double focus = slots[reference]->Wavefront->Coefficients[4];
  for (int i = 2; i >= 0; --i) {
    TPupille& w = *slots[i]->Wavefront;
    w.ApplySelection(SelectionWithoutTilt(w.Selected));
    w.AddZernikeTerm(4, -focus);
  }
  return true;
}

}  // namespace caustica
