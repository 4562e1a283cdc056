// A simulated star pair (spherical aberration) written as FITS files, opened
// through "Open" and "Open as extra-focal", with the test parameters of its
// set-up stored as after an "Ok" (the colour pairs on the same images).
#pragma once

#include <QAction>
#include <string>

#include "analysis/star_simulator.h"
#include "app/Main.h"
#include "app/program_state.h"
#include "scripted_platform.h"
#include "setup/u_parametres.h"
#include "support/test_files.h"

namespace caustica::test {

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
