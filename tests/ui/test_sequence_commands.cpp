// Sequences in the desktop program: "Open a sequence..." for each side with
// its progress window, "Reconstruct the sequence" and the sequence results
// window; a cancel changes nothing, a damaged video is refused, "New test"
// forgets the sequences.
#include <QAction>
#include <QChart>
#include <QLabel>
#include <QLineSeries>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <cmath>

#include "app/Main.h"
#include "app/Unit1.h"
#include "app/sequence_form.h"
#include "app/session.h"
#include "setup/reconstruction_method.h"
#include "star_pair.h"
#include "support/ser_writer.h"
#include "ui_test_registry.h"

namespace caustica::test {

namespace {

constexpr int kFrames = 4;

// Both videos of one star: 200 mm f/8 at 2.8 mm, jittered, seeing and noise.
bool WriteVideos(const ScratchDir& dir) {
  SerVideo intra, extra;
  for (SerVideo* v : {&intra, &extra}) {
    v->Width = v->Height = 160;
    v->Depth = 16;
  }
  for (int i = 0; i < kFrames; ++i) {
    StarSimulationOptions o;
    o.Defocus = 2.8;
    o.Width = o.Height = 128;
    o.FrameWidth = o.FrameHeight = 160;
    o.FrameColumn = 14 + 2 * i;
    o.FrameRow = 18 - i;
    o.Seeing = 1.5 + 0.3 * i;
    o.SkyLevel = 100.0;
    o.SourceLevel = 3e6;
    o.PhotonNoise = true;
    o.Seed = 20 + i;
    o.Coefficients[5] = 40.0;
    o.Coefficients[11] = 30.0;
    TFctXY a, b;
    if (!SimulateStarPair(o, a, b).Ok) return false;
    intra.Frames.push_back(CameraSamples(a));
    extra.Frames.push_back(CameraSamples(b));
  }
  WriteBytes(dir.File("intra.ser"), BuildSer(intra));
  WriteBytes(dir.File("extra.ser"), BuildSer(extra));
  return true;
}

}  // namespace

class SequenceCommandsTest : public QObject {
  Q_OBJECT
  TDesktopTestBed bed;

  TMainForm& Main() { return *bed.Main; }
  void Open(const std::string& file, bool extra, int choice = 0) {
    bed.Platform->FileLists.push_back({QString::fromStdString(bed.Dir->File(file))});
    bed.Platform->Choices.push_back(choice);
    (extra ? Main().OpenSequenceExtra1 : Main().OpenSequence1)->trigger();
  }
  void EnterParameters() {
    Parametres.Focale = 1600e6;
    Parametres.Rayon = 100e6;
    Parametres.Defocalisation = 2.8e6;
    Parametres.Intra = ListBoxIntra.constFirst().Grid;
    Parametres.Extra = ListBoxExtra.constFirst().Grid;
    Parametres.ParamValides = true;
  }

 private slots:
  void init() {
    bed.Start();
    QVERIFY(WriteVideos(*bed.Dir));
  }
  void cleanup() { bed.Stop(); }

  void opensEachSideAndReconstructsBothEstimates() {
    Open("intra.ser", false);
    QVERIFY2(bed.Platform->Warnings.isEmpty(), qPrintable(bed.Platform->Warnings.join("; ")));
    QCOMPARE(bed.Platform->FileRequests.constLast().Title, QString("Open an intra-focal sequence"));
    QCOMPARE(bed.Platform->ProgressCaptions,
             QStringList({"Measuring the intra-focal frames", "Averaging the intra-focal frames"}));
    QCOMPARE(bed.Platform->ProgressEnds, 1);
    QCOMPARE(ListBoxIntra.size(), 1);
    QCOMPARE(ListBoxIntra.constFirst().Caption, QString("intra.ser (average of 4 of 4 frames)"));
    QVERIFY(Main().statusBar()->currentMessage().contains("Intra-focal sequence: SER video of 4 frames"));
    QVERIFY(OpenSequences[0].IsOpen());

    Open("extra.ser", true);
    QCOMPARE(ListBoxExtra.size(), 1);
    const std::shared_ptr<TPupille> extraAverage = ListBoxExtra.constFirst().Grid.lock();
    QCOMPARE(static_cast<int>(extraAverage->Kind), static_cast<int>(kKindExtra));
    // Both averages on the square their donuts take: one size, as a pair needs.
    QCOMPARE(extraAverage->Nx, ListBoxIntra.constFirst().Grid.lock()->Nx);

    EnterParameters();
    ReconstructionMethod = TReconstructionMethod::Accurate;
    Main().ReconstructSequence1->trigger();
    QVERIFY2(bed.Platform->Warnings.isEmpty(), qPrintable(bed.Platform->Warnings.join("; ")));
    QVERIFY(SequenceResult);
    QVERIFY(SequenceResult->Complete());
    QCOMPARE(static_cast<int>(SequenceResult->Pairs.size()), kFrames);
    QVERIFY(bed.Platform->ProgressCaptions.contains("Reconstructing the frame pairs"));
    // The slot's wavefront is a copy: the sequence's figures stay as made.
    QVERIFY(RoddierMono && RoddierMono->Wavefront);
    QVERIFY(RoddierMono->Wavefront != SequenceResult->Averaged.Wavefront);
    QCOMPARE(Main().ImageWindows().constLast()->windowTitle(), QString("Wavefront (sequence average)"));

    TFormSequence* window = Main().FormSequence;
    QVERIFY(window->isVisible());
    QCOMPARE(window->Table->rowCount(), 22);
    QVERIFY(window->Summary->text().contains("Frame pairs: 4 reconstructed of 4"));
    QVERIFY(window->Table->item(10, 4)->text().startsWith(QString::fromUtf8("± ")));
    // Astigmatism from both estimates near the 40 / sqrt(6) nm RMS simulated.
    const double z5 = window->Table->item(4, 3)->text().toDouble();
    QVERIFY2(std::abs(z5 - 40.0 / std::sqrt(6.0)) < 3.0, qPrintable(QString::number(z5)));
    QVERIFY(std::abs(window->Table->item(4, 2)->text().toDouble() - z5) < 3.0);
    // Five main terms frame by frame, each a line and its hollow outliers.
    int lines = 0;
    for (QAbstractSeries* s : window->FrameChart->series())
      if (auto* line = qobject_cast<QLineSeries*>(s);
          line && line->type() == QAbstractSeries::SeriesTypeLine) {
        QCOMPARE(line->count(), kFrames);
        ++lines;
      }
    QCOMPARE(lines, 5);

    // "New test" forgets both sequences and the result; the window says so.
    Session().NewTest();
    QVERIFY(!OpenSequences[0].IsOpen() && !OpenSequences[1].IsOpen());
    QVERIFY(!SequenceResult);
    Session().ShowSequenceResults();
    QCOMPARE(window->Table->rowCount(), 0);
    QVERIFY(window->Summary->text().startsWith("No sequence has been reconstructed"));
  }

  void aCancelChangesNothingAndRefusalsAreSaid() {
    bed.Platform->CancelAfter = 2;
    Open("intra.ser", false);
    QVERIFY(ListBoxIntra.isEmpty());
    QVERIFY(!OpenSequences[0].IsOpen());
    QVERIFY(Main().statusBar()->currentMessage().contains("cancelled"));
    QCOMPARE(bed.Platform->ProgressEnds, 1);
    QVERIFY(bed.Platform->Warnings.isEmpty());

    // No answer to the kept fraction: nothing is read.
    bed.Platform->CancelAfter = -1;
    bed.Platform->ProgressCalls = 0;
    bed.Platform->FileLists.push_back({QString::fromStdString(bed.Dir->File("intra.ser"))});
    Main().OpenSequence1->trigger();
    QCOMPARE(bed.Platform->ProgressCalls, 0);
    QVERIFY(ListBoxIntra.isEmpty());

    // A damaged video is refused with the reader's reason.
    std::string bytes = ReadBytes(bed.Dir->File("extra.ser"));
    WriteBytes(bed.Dir->File("cut.ser"), bytes.substr(0, bytes.size() / 3));
    Open("cut.ser", true);
    QCOMPARE(bed.Platform->Warnings.size(), 1);
    QVERIFY2(bed.Platform->Warnings.constFirst().startsWith("Action impossible. "),
             qPrintable(bed.Platform->Warnings.constFirst()));
    QVERIFY(bed.Platform->Warnings.constFirst().contains("cut.ser"));
    QVERIFY(ListBoxExtra.isEmpty());

    // Without both sequences there is nothing to reconstruct.
    Open("intra.ser", false);
    Main().ReconstructSequence1->trigger();
    QCOMPARE(bed.Platform->Warnings.size(), 2);
    QVERIFY(bed.Platform->Warnings.constLast().contains("Open a sequence for each side first"));
    QVERIFY(!SequenceResult);

    // Cancelled among the frame pairs: the pairs done give the figures.
    Open("extra.ser", true);
    EnterParameters();
    bed.Platform->ProgressCalls = 0;
    bed.Platform->CancelAfter = 2;  // the averaged pair reports twice; the first frame pair cancels
    Main().ReconstructSequence1->trigger();
    QVERIFY(SequenceResult);
    QVERIFY(SequenceResult->Cancelled);
    QCOMPARE(static_cast<int>(std::count_if(SequenceResult->Pairs.begin(), SequenceResult->Pairs.end(),
                                            [](const TSequencePair& p) { return p.Reconstructed; })),
             1);
    QVERIFY(Main().statusBar()->currentMessage().startsWith("Cancelled after 1 of 4 frame pairs"));
    QVERIFY(Main().FormSequence->Summary->text().contains("Cancelled before every frame pair"));
  }
};

static RegisterUiTest<SequenceCommandsTest> registerSequenceCommandsTest;

}  // namespace caustica::test

#include "test_sequence_commands.moc"
