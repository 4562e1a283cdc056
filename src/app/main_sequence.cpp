// The main window's sequence commands: opening the frames of one side
// (several FITS files, a FITS cube or a SER video), and reconstructing both
// estimates from the two open sequences. The work is the core's; these only
// ask, show progress and show the results.
#include <QFileInfo>
#include <QStatusBar>
#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "analysis/pair_checks.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/platform.h"
#include "app/program_state.h"
#include "app/session.h"
#include "io/frame_sequence.h"
#include "setup/run_settings.h"

namespace caustica {

namespace {

// The progress window for the life of a scope, closed also when the scope
// is left early.
class TProgressScope {
 public:
  TProgressScope() = default;
  ~TProgressScope() { Platform().EndProgress(); }
  TProgressScope(const TProgressScope&) = delete;
  TProgressScope& operator=(const TProgressScope&) = delete;
  TSequenceProgress Callback() const {
    return [](const std::string& stage, int done, int total) {
      return Platform().ShowProgress(QString::fromStdString(stage), done, total);
    };
  }
};

// Of the frames that pass every check, the share kept: the sharpest first.
const std::array<double, 5> kKeptFractions = {1.0, 0.75, 0.5, 0.25, 0.1};
int keptChoice = 0;  // the last answer, offered again

// The square of the other side's average when it is open and holds this
// side's donut too, so that the two averages make a pair; 0 otherwise (the
// square this side's donut takes).
int SquareBeside(const TSequenceSide& side, const TOpenSequence& other) {
  if (!other.IsOpen()) return 0;
  const int own = CutOutSide(side.MedianRadius());
  const int theirs = other.Side.Average->Nx;
  return own <= theirs + 16 ? theirs : 0;
}

QString SideName(int kind) { return kind == kKindExtra ? "extra-focal" : "intra-focal"; }

}  // namespace

void TMainForm::OpenSequence1Click() { OpenSequence(kKindIntra); }
void TMainForm::OpenSequenceExtra1Click() { OpenSequence(kKindExtra); }

void TMainForm::OpenSequence(int kind) {
  const bool extra = kind == kKindExtra;
  TFileRequest request;
  request.Title = extra ? "Open an extra-focal sequence" : "Open an intra-focal sequence";
  request.Filter = "Sequences (FITS files, FITS cube, SER video)|*.fit;*.fits;*.fts;*.ser";
  request.InitialFolder = ImagesFolder();
  const QStringList files = Platform().OpenFileNames(request);
  if (files.isEmpty()) return;
  auto frames = std::make_shared<FrameSequence>();
  std::vector<std::string> paths;
  for (const QString& f : files) paths.push_back(f.toStdString());
  if (!frames->Open(paths)) {
    Platform().Warning(QString("Action impossible. %1").arg(QString::fromStdString(frames->Refusal())));
    return;
  }
  const int choice = Platform().ChooseItem(
      "Open a sequence", "Frames kept, of those that pass the checks:",
      {"All", "The sharpest 75 %", "The sharpest 50 %", "The sharpest 25 %", "The sharpest 10 %"},
      keptChoice);
  if (choice < 0 || choice >= static_cast<int>(kKeptFractions.size())) return;
  keptChoice = choice;

  TSequenceSettings settings;
  settings.KeptFraction = kKeptFractions[static_cast<std::size_t>(choice)];
  settings.Search = CurrentPupilSearch();
  TOpenSequence open;
  open.Frames = frames;
  open.Name = QFileInfo(files.front()).fileName();
  std::string why;
  bool cancelled = false, ok = false;
  {
    const TProgressScope progress;
    ok = MeasureSide(*frames, extra, settings, progress.Callback(), open.Side, why, cancelled) &&
         AverageSide(*frames, extra, SquareBeside(open.Side, OpenSequences[extra ? 0 : 1]), settings,
                     progress.Callback(), open.Side, why, cancelled);
  }
  if (cancelled) {
    statusBar()->showMessage("Opening the " + SideName(kind) +
                             " sequence was cancelled; nothing was changed");
    return;
  }
  if (!ok) {
    Platform().Warning(QString("Action impossible. %1").arg(QString::fromStdString(why)));
    return;
  }
  const TFrameSelection& selection = open.Side.Selection;
  const QString caption = QString("%1 (average of %2 of %3 frames)")
                              .arg(open.Name)
                              .arg(selection.KeptCount)
                              .arg(static_cast<int>(selection.Frames.size()));
  TForm1* w = NewImageWindow(open.Side.Average, caption);
  Session().AddToImageList(kind, w);
  statusBar()->showMessage(QString("%1 sequence: %2; %3")
                               .arg(extra ? "Extra-focal" : "Intra-focal",
                                    QString::fromStdString(frames->Description()),
                                    QString::fromStdString(selection.Summary())));
  Session().SetOpenSequence(kind, std::move(open));
  Session().ShowInformationPanel(true);
}

void TMainForm::ReconstructSequence1Click() {
  if (!OpenSequences[0].IsOpen() || !OpenSequences[1].IsOpen()) {
    Platform().Warning(
        "Action impossible. Open a sequence for each side first (File, \"Open a sequence...\" and \"Open a "
        "sequence as extra-focal...\")");
    return;
  }
  if (!Parametres.ParamValides) {
    Platform().Warning("You must open the images and/or enter the parameters");
    return;
  }
  auto result = std::make_shared<TSequenceResult>();
  result->Intra = OpenSequences[0].Side;
  result->Extra = OpenSequences[1].Side;
  TSequenceSettings settings;
  settings.Search = CurrentPupilSearch();
  const TTestSetup test = CurrentTestSetup();
  {
    const TProgressScope progress;
    ReconstructSequence(*OpenSequences[0].Frames, *OpenSequences[1].Frames, test, CurrentRunSettings(),
                        settings, progress.Callback(), *result);
  }
  if (!result->Refusal.empty()) {
    Platform().Warning(QString("Action impossible. %1").arg(QString::fromStdString(result->Refusal)));
    return;
  }
  if (!result->Averaged.Wavefront) {
    statusBar()->showMessage("The sequence's reconstruction was cancelled; nothing was changed");
    return;
  }
  // The slot gets its own copy of the wavefront: what a later command does
  // to it leaves the sequence's figures as they were made.
  auto mono = std::make_unique<TRoddier>(result->Averaged);
  mono->Wavefront = std::make_shared<TPupille>();
  mono->Wavefront->CloneFrom(*result->Averaged.Wavefront);
  Session().SetReconstruction(kChannelSingle, std::move(mono));
  NewImageWindow(RoddierMono->Wavefront, "Wavefront (sequence average)");
  const int done = static_cast<int>(std::count_if(result->Pairs.begin(), result->Pairs.end(),
                                                  [](const TSequencePair& p) { return p.Reconstructed; }));
  if (result->Cancelled)
    statusBar()->showMessage(
        QString("Cancelled after %1 of %2 frame pairs: the error bars are those of the pairs "
                "reconstructed")
            .arg(done)
            .arg(static_cast<int>(result->Pairs.size())));
  else
    statusBar()->showMessage(QString::fromStdString(SequenceSummary(*result).back()));
  const std::vector<std::string> warnings = CheckResult(*RoddierMono->Wavefront, test);
  Session().SetSequenceResult(result);
  Session().ShowSequenceResults();
  if (!warnings.empty())
    Platform().Warning(QString::fromStdString("With this result: " + JoinedWarnings(warnings)));
}

}  // namespace caustica
