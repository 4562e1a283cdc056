#include "app/session.h"

#include "app/Unit1.h"

namespace caustica {

TSession& Session() {
  static TSession session;
  return session;
}

std::unique_ptr<TRoddier>& TSession::Slot(int channel) {
  switch (channel) {
    case kChannelBlue:
      return RoddierBlue;
    case kChannelGreen:
      return RoddierGreen;
    case kChannelRed:
      return RoddierRed;
    default:
      return RoddierMono;
  }
}

QList<TImageListEntry>& TSession::ImageList(int kind) {
  return kind == kKindIntra ? ListBoxIntra : ListBoxExtra;
}

void TSession::SetActiveImage(TForm1* window) {
  if (ActiveImage.data() == window) return;
  ActiveImage = window;
  emit ActiveImageChanged(window);
}

void TSession::SetReconstruction(int channel, std::unique_ptr<TRoddier> reconstruction) {
  Slot(channel) = std::move(reconstruction);
  emit ReconstructionChanged(channel);
}

void TSession::NotifyReconstruction(int channel) { emit ReconstructionChanged(channel); }

void TSession::ClearReconstructions() {
  for (int channel : {kChannelSingle, kChannelBlue, kChannelGreen, kChannelRed}) Slot(channel).reset();
  for (int channel : {kChannelSingle, kChannelBlue, kChannelGreen, kChannelRed})
    emit ReconstructionChanged(channel);
}

void TSession::AddToImageList(int kind, TForm1* window) {
  if (!window) return;
  ImageList(kind).append({window->windowTitle(), window});
  emit ImageListsChanged();
}

void TSession::RemoveFromImageLists(const TForm1* window) {
  if (!window) return;
  // From whichever list holds it: "Mirror" changes an image's kind without
  // moving its entry, and a dead entry must never reach the parameters.
  const qsizetype before = ListBoxIntra.size() + ListBoxExtra.size();
  RemoveFromImageList(ListBoxIntra, window);
  RemoveFromImageList(ListBoxExtra, window);
  if (ListBoxIntra.size() + ListBoxExtra.size() != before) emit ImageListsChanged();
}

void TSession::MoveImageListEntry(int fromKind, int index) {
  QList<TImageListEntry>& from = ImageList(fromKind);
  if (index < 0 || index >= from.size()) return;
  QList<TImageListEntry>& to = ImageList(fromKind == kKindIntra ? kKindExtra : kKindIntra);
  to.append(from.takeAt(index));
  emit ImageListsChanged();
}

void TSession::SwapImageListEntries(int kind, int i, int j) {
  QList<TImageListEntry>& list = ImageList(kind);
  if (i < 0 || i >= list.size() || j < 0 || j >= list.size()) return;
  list.swapItemsAt(i, j);
  emit ImageListsChanged();
}

void TSession::ClearImageLists() {
  if (ListBoxIntra.isEmpty() && ListBoxExtra.isEmpty()) return;
  ListBoxIntra.clear();
  ListBoxExtra.clear();
  emit ImageListsChanged();
}

void TSession::NotifyGridValues(const TPupille* grid) {
  if (grid) emit GridValuesChanged(grid);
}

void TSession::NotifyGridDisplay(const TPupille* grid) {
  if (grid) emit GridDisplayChanged(grid);
}

void TSession::NotifyReadOut(TForm1* window, const TReadOut& at) { emit ReadOutChanged(window, at); }

void TSession::NotifyDisplayPreferences() { emit DisplayPreferencesChanged(); }

void TSession::NewTest() {
  // All state first, so that every listener finds it consistent.
  ActiveImage.clear();
  ClosingAll = false;
  for (int channel : {kChannelSingle, kChannelBlue, kChannelGreen, kChannelRed}) Slot(channel).reset();
  Parametres = DefaultParametres;
  ListBoxIntra.clear();
  ListBoxExtra.clear();
  OpenSequences = {};
  SequenceResult.reset();
  emit ActiveImageChanged(nullptr);
  for (int channel : {kChannelSingle, kChannelBlue, kChannelGreen, kChannelRed})
    emit ReconstructionChanged(channel);
  emit ImageListsChanged();
  emit OpenSequencesChanged();
  emit SequenceResultChanged();
  emit TestReset();
}

void TSession::SetProductControls(const TProductControls& controls) {
  controls_ = controls;
  emit ProductControlsChanged();
}

void TSession::RequestProductRecompute() {
  emit ProductRecomputeRequested(controls_.Angle, controls_.Fringes);
}

void TSession::ShowInformationPanel(bool visible) { emit InformationPanelRequested(visible); }

void TSession::ShowSeidel() { emit SeidelRequested(); }
void TSession::ShowZernikeResults() { emit ZernikeResultsRequested(); }

void TSession::RequestSaveZernikeCoefficients() { emit SaveZernikeCoefficientsRequested(); }

void TSession::ShowMidLine() { emit MidLineRequested(); }
void TSession::ShowTricolour() { emit TricolourRequested(); }
void TSession::SetOpenSequence(int kind, TOpenSequence sequence) {
  OpenSequences[kind == kKindExtra ? 1 : 0] = std::move(sequence);
  emit OpenSequencesChanged();
}

void TSession::SetSequenceResult(std::shared_ptr<const TSequenceResult> result) {
  SequenceResult = std::move(result);
  emit SequenceResultChanged();
}

void TSession::ShowSequenceResults() { emit SequenceResultsRequested(); }

void TSession::ShowHelp(const QString& page) { emit HelpRequested(page); }

}  // namespace caustica
