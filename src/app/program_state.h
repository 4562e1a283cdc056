// The state every command of the desktop program shares: the active image
// window, the bulk-close flag, the last reconstruction of each channel, the
// image lists and the zoom table. Windows hear of its changes through the
// session (app/session.h), which is also where the changes are written.
#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <array>
#include <memory>

#include "analysis/channel_run.h"
#include "analysis/sequence_run.h"
#include "analysis/u_Roddier.h"
#include "setup/u_parametres.h"

namespace caustica {

class TForm1;

// The image window last activated; turns empty by itself when it is freed.
extern QPointer<TForm1> ActiveImage;
// Set while windows are closed in bulk: they close without a question.
extern bool ClosingAll;

// The last reconstruction of the single-channel mode and of each colour.
// Their grids are shared with the windows showing them, so replacing or
// emptying a slot never leaves a window on a freed grid.
extern std::unique_ptr<TRoddier> RoddierMono;
extern std::unique_ptr<TRoddier> RoddierBlue;
extern std::unique_ptr<TRoddier> RoddierGreen;
extern std::unique_ptr<TRoddier> RoddierRed;

// A sequence of frames opened for one side: the frames, what was measured
// of them and their average (also shown in an image window of that side).
struct TOpenSequence {
  std::shared_ptr<FrameSequence> Frames;
  TSequenceSide Side;
  QString Name;  // for captions: the first file's name
  bool IsOpen() const { return Frames && Side.Average; }
};
// By image kind: kKindIntra, kKindExtra.
extern std::array<TOpenSequence, 2> OpenSequences;
// The last "Reconstruct the sequence", shown by the sequence results window.
extern std::shared_ptr<const TSequenceResult> SequenceResult;

// Every field 0, no images, ParamValides false: what "New test" restores.
inline const TParametres DefaultParametres{};

inline constexpr std::array<double, 7> ZoomFactors = {0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 3.0};
inline constexpr std::array<const char*, 7> ZoomNames = {"25%", "50%", "75%", "100%", "150%", "200%", "300%"};
inline constexpr int kZoomIndexOneToOne = 3;

// One entry of the intra-focal or extra-focal image list.
struct TImageListEntry {
  TImageListEntry() = default;
  // The grid is the one the window shows now.
  TImageListEntry(const QString& caption, TForm1* window);

  QString Caption;
  QPointer<TForm1> Window;
  // The window's grid, for readers that know nothing of the image window.
  std::weak_ptr<TPupille> Grid;
};
// The image lists of the test parameters: images opened as intra-focal or
// extra-focal, from which the pairs to reconstruct are chosen.
extern QList<TImageListEntry> ListBoxIntra;
extern QList<TImageListEntry> ListBoxExtra;

// Removes the entries of window from list.
void RemoveFromImageList(QList<TImageListEntry>& list, const TForm1* window);

// Back to the start-up state, told to every listener: the session's NewTest.
void ResetProgramState();

}  // namespace caustica
