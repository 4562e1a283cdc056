#include "app/program_state.h"

#include "app/Unit1.h"
#include "app/session.h"
#include "io/frame_sequence.h"

namespace caustica {

QPointer<TForm1> ActiveImage;
bool ClosingAll = false;
std::unique_ptr<TRoddier> RoddierMono;
std::unique_ptr<TRoddier> RoddierBlue;
std::unique_ptr<TRoddier> RoddierGreen;
std::unique_ptr<TRoddier> RoddierRed;
QList<TImageListEntry> ListBoxIntra;
QList<TImageListEntry> ListBoxExtra;
std::array<TOpenSequence, 2> OpenSequences;
std::shared_ptr<const TSequenceResult> SequenceResult;

TImageListEntry::TImageListEntry(const QString& caption, TForm1* window)
    : Caption(caption), Window(window), Grid(window ? window->Grid : nullptr) {}

void RemoveFromImageList(QList<TImageListEntry>& list, const TForm1* window) {
  list.removeIf([window](const TImageListEntry& e) { return e.Window.data() == window; });
}

void ResetProgramState() { Session().NewTest(); }

}  // namespace caustica
