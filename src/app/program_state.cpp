#include "app/program_state.h"

#include "app/Unit1.h"

namespace caustica {

QPointer<TForm1> ActiveImage;
bool ClosingAll = false;
std::unique_ptr<TRoddier> RoddierMono;
std::unique_ptr<TRoddier> RoddierBlue;
std::unique_ptr<TRoddier> RoddierGreen;
std::unique_ptr<TRoddier> RoddierRed;
QList<TImageListEntry> ListBoxIntra;
QList<TImageListEntry> ListBoxExtra;

void RemoveFromImageList(QList<TImageListEntry>& list, const TForm1* window) {
  list.removeIf([window](const TImageListEntry& e) { return e.Window.data() == window; });
}

void ResetProgramState() {
  ActiveImage.clear();
  ClosingAll = false;
  RoddierMono.reset();
  RoddierBlue.reset();
  RoddierGreen.reset();
  RoddierRed.reset();
  Parametres = DefaultParametres;
  ListBoxIntra.clear();
  ListBoxExtra.clear();
}

}  // namespace caustica
