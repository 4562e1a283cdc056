// A simulated star pair (spherical aberration) written as FITS files, opened
// through "Open" and "Open as extra-focal", with the test parameters of its
// set-up stored as after an "Ok" (the colour pairs on the same images).
#pragma once

#include <QAction>
#include <memory>
#include <optional>
#include <string>

#include "analysis/star_simulator.h"
#include "app/Main.h"
#include "app/program_state.h"
#include "scripted_platform.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"

namespace caustica::test {

// What a window test starts from: the program-wide records saved, a scripted
// platform, the main window made as at start-up with the built-in
// preferences and basis, the start-up state, a scratch folder.
struct TDesktopTestBed {
  std::optional<ProgramStateGuard> State;  // first made, last undone
  std::unique_ptr<TScriptedPlatform> Platform;
  std::unique_ptr<TMainForm> Main;
  std::unique_ptr<ScratchDir> Dir;

  void Start() {
    State.emplace();
    Platform = std::make_unique<TScriptedPlatform>();
    Main = CreateApplicationWindows();
    Preferences.Valeurs = TkwValue{};
    SetZernikeBasis(Preferences.Valeurs.NPolyZern, Preferences.Valeurs.ModePoly);
    ResetProgramState();
    Dir = std::make_unique<ScratchDir>();
  }
  void Stop() {
    Main.reset();
    ResetProgramState();
    Platform.reset();
    Dir.reset();
    State.reset();
  }
};

// False when the pair could not be made or opened.
inline bool OpenSimulatedStarPair(TMainForm& main, TScriptedPlatform& platform, const ScratchDir& dir) {
  StarSimulationOptions o;
  o.Model = StarModel::Geometric;
  o.Width = o.Height = 128;
  o.PixelSize = 10.0;
  o.Coefficients[11] = 100.0;
  TFctXY intra, extra;
  if (!SimulateStarPair(o, intra, extra).Ok) return false;
  const std::string intraFile = dir.File("intra.fit"), extraFile = dir.File("extra.fit");
  if (!WriteStarPair(intra, extra, intraFile, extraFile).Ok) return false;
  platform.Files = {QString::fromStdString(intraFile), QString::fromStdString(extraFile)};
  main.FileOpen1->trigger();
  main.Ouvrircommeextrafocale1->trigger();
  if (ListBoxIntra.isEmpty() || ListBoxExtra.isEmpty()) return false;
  Parametres.Focale = o.FocalLength * 1e6;
  Parametres.Rayon = o.Diameter * 5e5;
  Parametres.Defocalisation = o.Defocus * 1e6;
  Parametres.Intra = ListBoxIntra.constFirst().Grid;
  Parametres.Extra = ListBoxExtra.constFirst().Grid;
  Parametres.IntraBleu = Parametres.IntraVert = Parametres.IntraRouge = Parametres.Intra;
  Parametres.ExtraBleu = Parametres.ExtraVert = Parametres.ExtraRouge = Parametres.Extra;
  Parametres.ParamValides = true;
  return true;
}

}  // namespace caustica::test
