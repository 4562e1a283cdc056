// The main window's products of the active image: interferograms and
// Foucaultgrams (single, series, recomputed in place), the PSF pair, the
// Fourier transform and the spot diagram. The numbers come from the same
// kernels as caustica-batch; this file only chooses the source, asks the
// user and shows the result.
#include <QMdiArea>
#include <QPointer>
#include <algorithm>
#include <memory>
#include <string>

#include "analysis/products.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/platform.h"
#include "app/program_state.h"
#include "app/session.h"
#include "setup/run_settings.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"

namespace caustica {

namespace {

constexpr const char* kSourceLostText = "Wavefront could not be found.";

bool IsWavefront(int kind) { return kind == kKindWavefront || kind == kKindResidual; }

void ActionImpossible(const std::string& reason) {
  Platform().Warning(QString("Action impossible. %1").arg(QString::fromStdString(reason)));
}

void CannotChange(const char* product) {
  Platform().Warning(QString("Can not change %1. %2").arg(product, kSourceLostText));
}

// Where a product comes from and goes to: a new grid for a wavefront, the
// window's own grid when an existing product is made again.
struct TProductRoute {
  std::shared_ptr<TPupille> Source;
  std::shared_ptr<TPupille> Target;
  bool InPlace = false;
};

// False when the command was refused (and the user told why).
bool ChooseRoute(TForm1& active, int productKind, const char* productName, TProductRoute& route) {
  const int kind = active.Grid->Kind;
  if (IsWavefront(kind)) {
    route.Source = active.Grid;
    route.Target = std::make_shared<TPupille>();
    return true;
  }
  if (kind == productKind) {
    route.Source = active.SourceGrid.lock();
    if (!route.Source) {
      CannotChange(productName);
      return false;
    }
    route.Target = active.Grid;
    route.InPlace = true;
    return true;
  }
  ActionImpossible(kSelectWavefrontText);
  return false;
}

// Each member becomes active as it opens; the next one must again be made
// from the wavefront, so the wavefront's window is made active in between.
void MakeActiveAgain(QMdiArea* area, const QPointer<TForm1>& window) {
  if (!window) return;
  area->setActiveSubWindow(window);
  Session().SetActiveImage(window);
}

}  // namespace

// ---- Interferogram ----

void TMainForm::Interfrogramme1Click() {
  if (!ActiveIsWavefront()) return;
  const TProductControls controls = Session().ProductControls();
  if (controls.Series)
    SerieInterfero();
  else
    Interfero(controls.Angle, controls.Fringes);
}

bool TMainForm::ActiveIsWavefront() {
  if (ImageWindows().isEmpty() || !ActiveImage || !ActiveImage->Grid) return false;
  if (IsWavefront(ActiveImage->Grid->Kind)) return true;
  ActionImpossible(kSelectWavefrontText);
  return false;
}

bool TMainForm::Interfero(int angle, int fringes) {
  TForm1* active = ActiveImage;
  if (ImageWindows().isEmpty() || !active || !active->Grid) return false;
  TProductRoute route;
  if (!ChooseRoute(*active, kKindInterferogram, "Interferogram", route)) return false;
  const TProductSettings settings = CurrentProductSettings();
  std::string why;
  if (!ComputeInterferogram(*route.Source, angle, fringes, settings, *route.Target, &why)) {
    ActionImpossible(why);
    return false;
  }
  if (route.InPlace) {
    active->UseGridWavelength = 1;
    Session().NotifyGridValues(route.Target.get());
    return true;
  }
  TForm1* window = NewImageWindow(route.Target, QString("Interferogram%1").arg(angle));
  window->SourceGrid = active->GridReference();
  window->UseGridWavelength = 1;
  window->Visualiser();
  return true;
}

void TMainForm::SerieInterfero() {
  const TProductControls controls = Session().ProductControls();
  const QPointer<TForm1> source = ActiveImage.data();
  for (int angle : SeriesAngles(controls.Angle, controls.Step)) {
    const bool made = Interfero(angle, controls.Fringes);
    MakeActiveAgain(MdiArea, source);
    if (!made) return;  // one refusal is enough
  }
}

// ---- Foucaultgram ----

void TMainForm::FoucaultClick() {
  if (!ActiveIsWavefront()) return;
  const TProductControls controls = Session().ProductControls();
  if (controls.Series)
    SerieGradient();
  else
    Gradient(controls.Angle);
}

bool TMainForm::Gradient(int angle) {
  TForm1* active = ActiveImage;
  if (ImageWindows().isEmpty() || !active || !active->Grid) return false;
  TProductRoute route;
  if (!ChooseRoute(*active, kKindFoucault, "Foucaultgram", route)) return false;
  // A residual wavefront is refused here, by the kernel.
  std::string why;
  if (!ComputeFoucaultgram(*route.Source, angle, *route.Target, &why)) {
    ActionImpossible(why);
    return false;
  }
  if (route.InPlace) {
    Session().NotifyGridValues(route.Target.get());
    return true;
  }
  TForm1* window = NewImageWindow(route.Target, QString("Foucaultgram%1").arg(angle));
  window->SourceGrid = active->GridReference();
  return true;
}

void TMainForm::SerieGradient() {
  const TProductControls controls = Session().ProductControls();
  const QPointer<TForm1> source = ActiveImage.data();
  for (int angle : SeriesAngles(controls.Angle, controls.Step)) {
    const bool made = Gradient(angle);
    MakeActiveAgain(MdiArea, source);
    if (!made) return;
  }
}

void TMainForm::RecomputeProduct(int angle, int fringes) {
  if (!ActiveImage || !ActiveImage->Grid) return;
  const int kind = ActiveImage->Grid->Kind;
  if (kind == kKindInterferogram)
    Interfero(angle, fringes);
  else if (kind == kKindFoucault)
    Gradient(angle);
}

// ---- PSF, FFT, spots ----

void TMainForm::PSFClick() {
  if (ImageWindows().isEmpty() || !ActiveImage || !ActiveImage->Grid) return;
  const std::shared_ptr<TPupille> source = ActiveImage->Grid;
  const TProductSettings settings = CurrentProductSettings();
  std::string why;
  {
    THourglass hourglass;
    // Nothing selected in the panel: the preferred size, shown selected.
    TProductControls controls = Session().ProductControls();
    if (controls.PsfSizeIndex < 0) {
      controls.PsfSizeIndex = std::clamp<int>(Preferences.Valeurs.FactMultDiff, 0, 3);
      Session().SetProductControls(controls);
    }
    auto actual = std::make_shared<TPupille>();
    auto theoretical = std::make_shared<TPupille>();
    if (ComputePsfPair(*source, PsfFactor(controls.PsfSizeIndex), settings, *actual, *theoretical, &why)) {
      TForm1* window = NewImageWindow(actual, "Actual PSF");
      // The window owns the theoretical half and frees it as it closes.
      window->PairedGrid = theoretical;
      window->SourceGrid = window->PairedGrid;
      return;
    }
  }
  ActionImpossible(why);  // after the hourglass
}

void TMainForm::FFT2Click() {
  if (ImageWindows().isEmpty() || !ActiveImage || !ActiveImage->Grid) return;
  auto spectrum = std::make_shared<TPupille>();
  std::string why;
  bool made = false;
  {
    THourglass hourglass;
    made = ComputeFftProduct(*ActiveImage->Grid, *spectrum, &why);
  }
  if (!made) {
    ActionImpossible(why);
    return;
  }
  TForm1* window = NewImageWindow(spectrum, QString());
  window->raise();
}

void TMainForm::Spots1Click() {
  if (ImageWindows().isEmpty() || !ActiveImage || !ActiveImage->Grid) return;
  const std::shared_ptr<TPupille> source = ActiveImage->Grid;
  if (source->Kind != kKindWavefront) {
    ActionImpossible(kSelectWavefrontText);
    return;
  }
  // The single-channel reconstruction knows the test it was made for; a
  // simulated or colour wavefront falls back on the test parameters.
  double focalLength = Parametres.Focale;
  double pupilRadius = Parametres.Rayon;
  if (RoddierMono && RoddierMono->FocalLength > 0.0 && RoddierMono->Radius > 0.0) {
    focalLength = RoddierMono->FocalLength;
    pupilRadius = RoddierMono->Radius;
  }
  if (!(focalLength > 0.0) || !(pupilRadius > 0.0)) {
    ActionImpossible("The focal length and the diameter are not known: enter the test parameters.");
    return;
  }
  const TProductSettings settings = CurrentProductSettings();
  auto diagram = std::make_shared<TPupille>();
  std::string why;
  if (!ComputeSpotDiagram(*source, focalLength, pupilRadius, Session().ProductControls().Fringes, settings,
                          *diagram, &why)) {
    ActionImpossible(why);
    return;
  }
  NewImageWindow(diagram, "Spots");
}

}  // namespace caustica
