// The main window's test commands (the "Values", "Calc." and "Results"
// menus): the dialogs, the signal, the Poisson solution, the reconstruction
// of one or three colours, the fit, the simulated wavefront, the residual
// and corrected images, and the tool windows that show their figures.
#include <QApplication>
#include <QMdiArea>
#include <QStatusBar>
#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/channel_run.h"
#include "analysis/pair_checks.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/platform.h"
#include "app/program_state.h"
#include "app/session.h"
#include "app/u_progress_bar.h"
#include "core/u_math.h"
#include "setup/parametres_form.h"
#include "setup/prefs_form.h"
#include "setup/run_settings.h"
#include "setup/saisie_zernike_form.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"
#include "setup/u_saisie_zernike.h"

namespace caustica {

namespace {

std::shared_ptr<TPupille> GridOf(TForm1* window) { return window ? window->Grid : nullptr; }

}  // namespace

std::string JoinedWarnings(const std::vector<std::string>& warnings) {
  std::string text;
  for (const std::string& w : warnings) text += (text.empty() ? "" : "\n") + w + ".";
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text;
}

// ---- Calc. ----

// With no image window open there is nothing to profile.
void TMainForm::Mridienne1Click() {
  if (ImageWindows().isEmpty() || !ActiveImage) return;
  Session().ShowMidLine();
}

bool TMainForm::Polychromatic() const { return Parametres.ModeTraitement == 1; }

void TMainForm::Signal1Click() {
  const std::shared_ptr<TPupille> intra = Parametres.Intra.lock();
  const std::shared_ptr<TPupille> extra = Parametres.Extra.lock();
  if (!intra || !extra) return;
  // The signal of two images of different sizes has no meaning.
  if (intra->Nx != extra->Nx || intra->Ny != extra->Ny) {
    Platform().Warning("Action impossible. The intra-focal and extra-focal images differ in size");
    return;
  }
  THourglass hourglass;
  if (!RoddierMono) Session().SetReconstruction(kChannelSingle, std::make_unique<TRoddier>());
  RoddierMono->IntraImage = ImageCopy(*intra);
  RoddierMono->ExtraImage = ImageCopy(*extra);
  if (!RoddierMono->IntraImage || !RoddierMono->ExtraImage) return;
  RoddierMono->Signal = std::make_shared<TPupille>();
  RoddierMono->Signal->Init(intra->Nx, intra->Ny);
  RoddierMono->ComputeSignal();
  RoddierMono->Signal->ComputeRange();
  RoddierMono->Signal->DisplayLow = RoddierMono->Signal->MinValue;
  RoddierMono->Signal->DisplayHigh = RoddierMono->Signal->MaxValue;
  Session().NotifyReconstruction(kChannelSingle);
  TForm1* w = NewImageWindow(RoddierMono->Signal, "Signal");
  w->OwnsGrid = 0;
}

void TMainForm::Poisson1Click() {
  // Without a signal there is nothing to solve: refused silently.
  if (!RoddierMono || !RoddierMono->Signal || !RoddierMono->Signal->HasArrays()) return;
  if (!(RoddierMono->Defocus > 0) || !(RoddierMono->FocalLength > RoddierMono->Defocus)) {
    RoddierMono->FocalLength = Parametres.Focale;
    RoddierMono->Defocus = Parametres.Defocalisation;
    RoddierMono->Radius = Parametres.Rayon;
  }
  if (!(RoddierMono->Defocus > 0) || !(RoddierMono->FocalLength > RoddierMono->Defocus)) {
    Platform().Warning("You must open the images and/or enter the parameters");
    return;
  }
  THourglass hourglass;
  RoddierMono->SolvePoisson();
  Session().NotifyReconstruction(kChannelSingle);
  if (!RoddierMono->Residual) return;
  // The solution is shown over the pupil, where it means something: the
  // values on the boundary ring and beyond would swamp the colours.
  TPupille& solution = *RoddierMono->Residual;
  solution.ComputeMaskedRange();
  solution.DisplayLow = solution.MinValue;
  solution.DisplayHigh = solution.MaxValue;
  solution.MaskActive = true;
  solution.PaletteIndex = Preferences.Valeurs.PltFront;
  TForm1* w = NewImageWindow(RoddierMono->Residual, "Roddier");
  w->OwnsGrid = 0;
  Session().ShowZernikeResults();
}

void TMainForm::ReconstruireClick() {
  if (!Parametres.ParamValides) {
    Platform().Warning("You must open the images and/or enter the parameters");
    return;
  }
  const bool polychromatic = Parametres.ModeTraitement == 1;
  if (!polychromatic && Parametres.ModeTraitement != 0 && Parametres.ModeTraitement != 255) return;
  // What the pair's checks say comes before the work, and again with the result.
  std::vector<std::string> warnings = CurrentPairChecks();
  if (!warnings.empty()) Platform().Warning(QString::fromStdString(JoinedWarnings(warnings)));
  FormProgress->ChannelCount = polychromatic ? 3 : 1;
  FormProgress->Channel = 0;
  TRunProgress progress;
  progress.Start = [this, polychromatic](const std::string& caption, int iterations, double steps) {
    if (polychromatic) ++FormProgress->Channel;
    FormProgress->Start(iterations, steps);
    FormProgress->Present(QString::fromStdString(caption));
  };
  progress.Step = [this] { FormProgress->StepIt(); };
  progress.Finish = [this] { FormProgress->Finish(); };
  progress.Hide = [this] { FormProgress->hide(); };

  std::string error;
  bool ok = false;
  {
    THourglass hourglass;
    if (polychromatic) {
      auto red = std::make_unique<TRoddier>();
      auto green = std::make_unique<TRoddier>();
      auto blue = std::make_unique<TRoddier>();
      ok = ReconstructPolychromatic(*blue, *green, *red, progress, &error);
      // Into the slots once run, failed or not, so listeners find results.
      Session().SetReconstruction(kChannelBlue, std::move(blue));
      Session().SetReconstruction(kChannelGreen, std::move(green));
      Session().SetReconstruction(kChannelRed, std::move(red));
    } else {
      auto mono = std::make_unique<TRoddier>();
      ok = ReconstructSingle(*mono, progress, &error);
      Session().SetReconstruction(kChannelSingle, std::move(mono));
    }
  }
  // Bad images or parameters are refused with the reason, never shown as
  // an empty wavefront.
  if (!ok) {
    Platform().Warning(QString("Action impossible. %1").arg(QString::fromStdString(error)));
    return;
  }
  if (polychromatic) {
    const std::pair<TRoddier*, const char*> channels[3] = {
        {RoddierBlue.get(), "Blue"}, {RoddierGreen.get(), "Grn."}, {RoddierRed.get(), "Red"}};
    for (const auto& [slot, colour] : channels)
      NewImageWindow(slot->Wavefront, QString("Wavefront %1").arg(colour));
  } else {
    NewImageWindow(RoddierMono->Wavefront,
                   QString("Wavefront %1").arg(QString::fromStdString(ChannelNames[0])));
  }
  // The forward-model check: how well the optics found explain the images.
  {
    THourglass hourglass;
    const TRunSettings settings = CurrentRunSettings();
    QStringList figures;
    if (polychromatic) {
      const std::pair<TRoddier*, TImagePair> channels[3] = {
          {RoddierBlue.get(), {Parametres.IntraBleu.lock(), Parametres.ExtraBleu.lock()}},
          {RoddierGreen.get(), {Parametres.IntraVert.lock(), Parametres.ExtraVert.lock()}},
          {RoddierRed.get(), {Parametres.IntraRouge.lock(), Parametres.ExtraRouge.lock()}}};
      for (const auto& [slot, images] : channels) {
        slot->Forward = CheckChannelForwardModel(*slot, images, settings);
        figures << QString::fromStdString(ChannelNames[slot->Wavefront->Channel & 3] + ": " +
                                          ForwardCheckText(slot->Forward));
        if (const std::string w = AccurateConvergenceWarning(*slot); !w.empty())
          figures << QString::fromStdString(ChannelNames[slot->Wavefront->Channel & 3] + ": " + w);
      }
    } else {
      RoddierMono->Forward = CheckChannelForwardModel(
          *RoddierMono, {Parametres.Intra.lock(), Parametres.Extra.lock()}, settings);
      figures << QString::fromStdString(ForwardCheckText(RoddierMono->Forward));
      if (const std::string w = AccurateConvergenceWarning(*RoddierMono); !w.empty())
        figures << QString::fromStdString(w);
    }
    statusBar()->showMessage("Forward model: " + figures.join("; "));
  }
  const TTestSetup test = CurrentTestSetup();
  for (TRoddier* slot : {RoddierMono.get(), RoddierBlue.get(), RoddierGreen.get(), RoddierRed.get()})
    if (slot && slot->Wavefront && (polychromatic ? slot != RoddierMono.get() : slot == RoddierMono.get()))
      for (const std::string& w : CheckResult(*slot->Wavefront, test)) warnings.push_back(w);
  for (TRoddier* slot : {RoddierMono.get(), RoddierBlue.get(), RoddierGreen.get(), RoddierRed.get()})
    if (slot && slot->Wavefront && (polychromatic ? slot != RoddierMono.get() : slot == RoddierMono.get()))
      if (const std::string w = AccurateConvergenceWarning(*slot); !w.empty()) warnings.push_back(w);
  if (!warnings.empty())
    Platform().Warning(QString::fromStdString("With this result: " + JoinedWarnings(warnings)));
  if (Preferences.Valeurs.AjustAuto) Session().ShowZernikeResults();
}

void TMainForm::Ajuster1Click() {
  const std::shared_ptr<TPupille> g = GridOf(ActiveImage);
  if (!g) return;
  {
    THourglass hourglass;
    g->FitZernike();
  }
  Session().NotifyGridValues(g.get());
  Session().ShowZernikeResults();
  // Say in a line what the fit found.
  double rms = 0.0;
  int terms = 0;
  for (int k = 1; k <= g->Basis.PolynomialCount; ++k)
    if (g->Selected[k]) {
      ++terms;
      if (k >= 4)
        rms +=
            (g->Coefficients[k] / g->Basis.NormFactors[k]) * (g->Coefficients[k] / g->Basis.NormFactors[k]);
    }
  statusBar()->showMessage(
      QString("Adjust: %1 Zernike terms fitted, RMS beyond tilt %2 nm")
          .arg(terms)
          .arg(QString::fromStdString(FormatFixed(std::sqrt(rms), Preferences.Valeurs.NDecNano))));
}

// The wavefront described by the simulation parameters; nothing until a
// size has been confirmed there.
void TMainForm::Frontdonde1Click() {
  std::shared_ptr<TPupille> w = SimulatedWavefront(Simulation);
  if (!w) return;
  w->PaletteIndex = Preferences.Valeurs.PltFront;
  NewImageWindow(w, "Wavefront")->Visualiser();
  Session().ShowZernikeResults();
  Session().ShowInformationPanel(true);
}

void TMainForm::Paramtres1Click() {
  if (!FormParam) return;
  FormParam->exec();
  ApplyPalettePreferences();
}

void TMainForm::Prfrences1Click() {
  if (!Prefs) return;
  Prefs->exec();
  ApplyPalettePreferences();
}

// The alert editor of the preferences, then the file keeps what it stored.
void TMainForm::Valeursdalerte1Click() {
  std::array<double, 43> alerts = Preferences.Valeurs.Alertes;
  TFormSaisieZern editor(&alerts, this);
  if (editor.exec() != QDialog::Accepted) return;
  Preferences.Valeurs.Alertes = alerts;
  std::string error;
  if (!WritePreferences(&error)) Platform().Warning(QString::fromStdString(error));
}

// The window lives only while it is shown; Simulation outlives it.
void TMainForm::Simulations1Click() {
  TFormSaisieZern form(this);
  form.exec();
}

// ---- Results ----

void TMainForm::ShowResidual(const std::unique_ptr<TRoddier>& slot) {
  if (!slot || !slot->Residual) return;
  TPupille& g = *slot->Residual;
  g.Kind = kKindResidual;
  g.PaletteIndex = Preferences.Valeurs.PltFront;
  g.RangeFactor = 1.0;
  TForm1* w = NewImageWindow(slot->Residual, "Residual wavefront");
  w->OwnsGrid = 0;
  w->Visualiser();
}

void TMainForm::ShowCorrectedImages(const std::unique_ptr<TRoddier>& slot) {
  if (!slot) return;
  if (slot->IntraImage) NewImageWindow(slot->IntraImage, "Corrected intra")->OwnsGrid = 0;
  if (slot->ExtraImage) NewImageWindow(slot->ExtraImage, "Corrected extra")->OwnsGrid = 0;
}

// Only a wavefront has Seidel figures; on any other grid nothing happens.
void TMainForm::AberrationsdeSeidel1Click() {
  const std::shared_ptr<TPupille> grid = GridOf(ActiveImage);
  if (!grid || grid->Kind != kKindWavefront) return;
  Session().ShowSeidel();
}

// Only a confirmed polychromatic test with its three reconstructions.
void TMainForm::Trichromie1Click() {
  if (!Polychromatic() || !Parametres.ParamValides) return;
  for (int channel : {kChannelRed, kChannelGreen, kChannelBlue})
    if (!TSession::Slot(channel) || !TSession::Slot(channel)->Wavefront) return;
  Session().ShowTricolour();
}

void TMainForm::Frontrsiduel1Click() {
  if (Polychromatic()) {
    ShowResidual(RoddierBlue);
    ShowResidual(RoddierGreen);
    ShowResidual(RoddierRed);
  } else {
    ShowResidual(RoddierMono);
  }
}

// The measured images minus those the optics found would give, one window
// each, captioned with the RMS of the difference.
void TMainForm::ForwardCheck1Click() {
  auto show = [this](const std::unique_ptr<TRoddier>& slot, const QString& prefix) {
    if (!slot || !slot->Forward.Done()) return;
    const TForwardCheck& f = slot->Forward;
    for (const auto& [grid, side, rms] :
         {std::tuple{f.Intra, "intra", f.IntraRms}, std::tuple{f.Extra, "extra", f.ExtraRms}}) {
      grid->PaletteIndex = Preferences.Valeurs.PltSignal;
      grid->DisplayLow = grid->DisplayHigh = 0.0;
      grid->RangeFactor = 1.0;
      grid->MaskActive = false;
      NewImageWindow(grid,
                     QString("%1Measured - modelled %2 (RMS %3 %)").arg(prefix, side).arg(rms, 0, 'f', 1))
          ->OwnsGrid = 0;
    }
  };
  if (Polychromatic()) {
    show(RoddierBlue, "Blue: ");
    show(RoddierGreen, "Grn.: ");
    show(RoddierRed, "Red: ");
  } else {
    show(RoddierMono, "");
  }
}

void TMainForm::Imagesaprscorrection1Click() {
  if (Polychromatic()) {
    ShowCorrectedImages(RoddierBlue);
    ShowCorrectedImages(RoddierGreen);
    ShowCorrectedImages(RoddierRed);
  } else {
    ShowCorrectedImages(RoddierMono);
  }
}

void TMainForm::ApplyPalettePreferences() {
  // Every shown grid is told, changed or not: other preferences may change
  // how it is drawn. A grid shown twice is told once.
  std::vector<const TPupille*> told;
  for (TForm1* w : ImageWindows()) {
    TPupille* g = w->Grid.get();
    if (!g || std::find(told.begin(), told.end(), g) != told.end()) continue;
    if (g->Kind < kKindWavefront)
      g->PaletteIndex = Preferences.Valeurs.PltSignal;
    else if (g->Kind == kKindWavefront)
      g->PaletteIndex = Preferences.Valeurs.PltFront;
    told.push_back(g);
    Session().NotifyGridDisplay(g);
  }
  Session().NotifyDisplayPreferences();
}

}  // namespace caustica
