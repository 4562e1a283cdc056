// The session: how the windows hear about the program-wide state. The
// globals of program_state keep the values; every change that a window
// shows goes through a method here, which writes the global and then emits
// the matching signal. A window subscribes to what it shows and redraws
// itself; no window calls another one to refresh it.
#pragma once

#include <QObject>
#include <memory>

#include "app/program_state.h"

namespace caustica {

class TForm1;
class TPupille;
struct TReadOut;

// Channel codes of the reconstruction slots and of TPupille::Channel.
inline constexpr int kChannelSingle = 0;
inline constexpr int kChannelBlue = 1;
inline constexpr int kChannelGreen = 2;
inline constexpr int kChannelRed = 3;

// The product settings of the information panel's "Options" page, read by
// the product commands.
struct TProductControls {
  int Angle = 0;          // degrees, -360..360: fringe direction, knife edge, start of a series
  int Step = 45;          // degrees, 1..180: step of a series
  int Fringes = 8;        // 1..24: tilt fringes; sampling step of the spot diagram
  bool Series = false;    // "Calculate series"
  int PsfSizeIndex = -1;  // 0..3 for "x1".."x8"; -1 while nothing is selected
};

class TSession : public QObject {
  Q_OBJECT
  Q_MOC_INCLUDE("app/Unit1.h")
 public:
  // RoddierMono, RoddierBlue, RoddierGreen or RoddierRed by channel code;
  // RoddierMono for a code out of range.
  static std::unique_ptr<TRoddier>& Slot(int channel);
  // ListBoxIntra for kind 0, ListBoxExtra for kind 1 (and any other kind).
  static QList<TImageListEntry>& ImageList(int kind);

  // Emits only when the active window really changes.
  void SetActiveImage(TForm1* window);

  // Replaces (or with nullptr empties) the slot; the previous object goes.
  void SetReconstruction(int channel, std::unique_ptr<TRoddier> reconstruction);
  // The slot's object was changed in place (its signal, its wavefront).
  void NotifyReconstruction(int channel);
  void ClearReconstructions();

  // The window goes at the end of the list of kind, under its caption.
  void AddToImageList(int kind, TForm1* window);
  // The window's entries leave both lists.
  void RemoveFromImageLists(const TForm1* window);
  // The entry at index goes to the end of the other list.
  void MoveImageListEntry(int fromKind, int index);
  void SwapImageListEntries(int kind, int i, int j);
  void ClearImageLists();

  // A grid's samples, mask, geometry or coefficients changed.
  void NotifyGridValues(const TPupille* grid);
  // How a grid is drawn changed: palette, range, relief, zoom.
  void NotifyGridDisplay(const TPupille* grid);
  void NotifyReadOut(TForm1* window, const TReadOut& at);
  // The test parameters or preferences dialog has closed.
  void NotifyDisplayPreferences();

  // The panel's product settings; setting them emits ProductControlsChanged
  // (nothing is recomputed).
  const TProductControls& ProductControls() const { return controls_; }
  void SetProductControls(const TProductControls& controls);
  // The user changed the angle or the fringe count: the active interferogram
  // or Foucaultgram is to be recomputed in place with the current controls.
  void RequestProductRecompute();
  // A command wants the information panel shown ("Open", "Import a jpeg
  // image", "View", the simulated "Wavefront") or hidden.
  void ShowInformationPanel(bool visible);
  // The "Seidel abberations" command wants the Seidel window shown for the
  // active wavefront.
  void ShowSeidel();
  // A command wants the Zernike results window shown and refreshed for the
  // active wavefront (a reconstruction with fitting, "Roddier", "Adjust").
  void ShowZernikeResults();
  // "Mid-line": the mid-line window takes the active image and draws it.
  void ShowMidLine();
  // "Tricolour": the colour results window takes the three colour
  // wavefronts and shows them.
  void ShowTricolour();
  // "Save Zernike coefficients": the results window saves what it shows.
  void RequestSaveZernikeCoefficients();
  // A command wants the help window shown at a page of the help folder;
  // an empty page asks for the contents page.
  void ShowHelp(const QString& page);

  // A sequence was opened for the side of kind (kKindIntra, kKindExtra).
  void SetOpenSequence(int kind, TOpenSequence sequence);
  // The result of "Reconstruct the sequence"; null empties it.
  void SetSequenceResult(std::shared_ptr<const TSequenceResult> result);
  // A command wants the sequence results window shown.
  void ShowSequenceResults();

  // Back to the start-up state: no active image, empty slots, default
  // parameters, empty image lists (the windows are not touched), then
  // every listener is told, whatever was there before.
  void NewTest();

 signals:
  void ActiveImageChanged(TForm1* window);
  void ReconstructionChanged(int channel);
  void GridValuesChanged(const TPupille* grid);
  void GridDisplayChanged(const TPupille* grid);
  void ReadOutChanged(TForm1* window, const TReadOut& at);
  void ImageListsChanged();
  void TestReset();
  void DisplayPreferencesChanged();
  void ProductControlsChanged();
  void ProductRecomputeRequested(int angle, int fringes);
  void InformationPanelRequested(bool visible);
  void SeidelRequested();
  void ZernikeResultsRequested();
  void SaveZernikeCoefficientsRequested();
  void MidLineRequested();
  void TricolourRequested();
  void HelpRequested(QString page);
  void OpenSequencesChanged();
  void SequenceResultChanged();
  void SequenceResultsRequested();

 private:
  TProductControls controls_;
};

// The one session of the run.
TSession& Session();

}  // namespace caustica
