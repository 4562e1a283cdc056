#include "support/program_state_guard.h"

#include "core/u_math.h"

namespace caustica::test {

ProgramStateGuard::ProgramStateGuard()
    : parametres_(Parametres),
      preferences_(Preferences),
      imageFolders_(ImageFolderHistory),
      simulation_(Simulation),
      basis_(ZernikeBasis),
      method_(ReconstructionMethod),
      palette_(CurrentPalette),
      monochromeWavelength_(MonochromeWavelength),
      displayStart_(DisplayStart),
      displayWidth_(DisplayWidth),
      decimalSeparator_(DecimalSeparatorSetting()) {}

ProgramStateGuard::~ProgramStateGuard() {
  Parametres = parametres_;
  Preferences = preferences_;
  ImageFolderHistory = imageFolders_;
  Simulation = simulation_;
  ZernikeBasis = basis_;
  ReconstructionMethod = method_;
  CurrentPalette = palette_;
  MonochromeWavelength = monochromeWavelength_;
  DisplayStart = displayStart_;
  DisplayWidth = displayWidth_;
  SetDecimalSeparator(decimalSeparator_);
}

}  // namespace caustica::test
