// Saves every program-wide record of the Qt-free layers when made and puts
// it back when destroyed, so that a test which changes one leaves no trace
// for the next.
#pragma once

#include "analysis/u_zernike.h"
#include "core/u_Palettes.h"
#include "setup/reconstruction_method.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"
#include "setup/u_saisie_zernike.h"

namespace caustica::test {

class ProgramStateGuard {
 public:
  ProgramStateGuard();
  ~ProgramStateGuard();
  ProgramStateGuard(const ProgramStateGuard&) = delete;
  ProgramStateGuard& operator=(const ProgramStateGuard&) = delete;

 private:
  TParametres parametres_;
  TPreferences preferences_;
  TImageFolderHistory imageFolders_;
  TSimulation simulation_;
  TZernikeBasis basis_;
  TReconstructionMethod method_;
  TPaletteDef palette_;
  double monochromeWavelength_;
  double displayStart_;
  double displayWidth_;
  char decimalSeparator_;  // 0 while the locale's is followed
};

}  // namespace caustica::test
