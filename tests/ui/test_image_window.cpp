// The image window on its own: zoom, mouse read-out, close question and
// clean-up, JPEG and ".opd" files, printing; and the platform helpers.
#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTest>
#include <optional>
#include <stdexcept>

#include "app/Unit1.h"
#include "app/platform.h"
#include "app/program_state.h"
#include "core/u_math.h"
#include "scripted_platform.h"
#include "setup/u_prefs.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"
#include "ui_test_registry.h"

namespace caustica::test {
namespace {

std::shared_ptr<TPupille> RampGrid(int nx, int ny) {
  auto g = std::make_shared<TPupille>();
  g->Init(nx, ny);
  for (int r = 1; r <= ny; ++r)
    for (int c = 1; c <= nx; ++c) g->Values[1][r][c] = 10.0 * r + c;
  g->ComputeRange();
  g->DisplayLow = g->MinValue;
  g->DisplayHigh = g->MaxValue;
  return g;
}

// A window left open by a test is closed without a question.
void CloseAll() {
  ClosingAll = true;
  for (TForm1* w : TForm1::ImageWindows()) delete w;
  ClosingAll = false;
  ResetProgramState();
}

}  // namespace

class ImageWindowTest : public QObject {
  Q_OBJECT
  std::optional<test::ProgramStateGuard> state;

 private slots:
  void init() { state.emplace(); }
  void cleanup() {
    CloseAll();
    state.reset();
  }

  void printRectangleFollowsThePageRule() {
    // Twice as wide as tall and smaller than the page: the full page width.
    QCOMPARE(PrintRectangle(100, 50, 1000, 1400), QRect(0, 0, 1000, 500));
    // Taller than wide: the full page height.
    QCOMPARE(PrintRectangle(50, 100, 1000, 1400), QRect(0, 0, 700, 1400));
    // Wider than the page: shrunk to its width.
    QCOMPARE(PrintRectangle(3000, 1000, 1000, 1400), QRect(0, 0, 1000, 333));
    // Grown to the width, then too tall: cut back to the page height.
    QCOMPARE(PrintRectangle(100, 90, 1000, 800), QRect(0, 0, 888, 800));
    QVERIFY(PrintRectangle(0, 10, 1000, 1000).isEmpty());
  }

  void zoomSetsTheClientSize() {
    TForm1 w;
    w.Grid = RampGrid(100, 80);
    w.ZoomIndex = 0;
    w.Visualiser();
    QCOMPARE(w.Picture->size(), QSize(25, 20));
    QCOMPARE(w.Grid->Zoom, 0.25);
    w.ZoomIndex = 6;
    w.Visualiser();
    QCOMPARE(w.Picture->size(), QSize(300, 240));
    // The picture itself is rendered at the grid's size.
    QCOMPARE(w.Surface.Picture.Width, 100);
    QCOMPARE(w.Surface.DisplayWidth, 300);
  }

  void mouseReadOutAtQuarterZoom() {
    auto g = RampGrid(100, 80);
    TReadOut at;
    QVERIFY(ReadOutAt(*g, 0.25, 0, 0, at));
    QCOMPARE(at.Column, 4);
    QCOMPARE(at.Row, 4);
    QCOMPARE(at.Value, 44.0);
    QVERIFY(!ReadOutAt(*g, 0.25, 25, 0, at));  // (25 + 1) / 0.25 = 104 > 100
    QVERIFY(!ReadOutAt(*g, 1.0, 0, 80, at));

    TForm1 w;
    w.Grid = g;
    w.ZoomIndex = 0;
    w.ImageMouseMove(0, 0);
    QCOMPARE(w.CursorValue, 0.0);  // not the active window: nothing read
    ActiveImage = &w;
    w.ImageMouseMove(0, 0);
    QCOMPARE(w.CursorValue, 44.0);
  }

  void readOutTextsFollowTheSelectors() {
    Preferences.Valeurs = TkwValue{};
    Preferences.Valeurs.NDecRed = 3;
    Preferences.Valeurs.NDecMilli = 1;
    Preferences.Valeurs.NDecNano = 2;
    Preferences.Valeurs.NDecLambda = 3;
    Preferences.Valeurs.NDecADU = 0;
    Preferences.Valeurs.LambdaRef = 500.0;
    SetDecimalSeparator('.');
    auto g = RampGrid(10, 10);
    g->Scale = 1e8;  // pupil radius 100 mm
    TReadOut at;
    at.Column = 7;
    at.Row = 2;
    at.X = 0.25;
    at.Y = -0.5;
    at.Value = 125.456;
    TReadOutTexts t = FormatReadOut(*g, at, TCoordinateUnit::Pixels, TValueUnit::NoSelection);
    QCOMPARE(t.X, QString("7"));
    QCOMPARE(t.Y, QString("2"));
    QCOMPARE(t.Value, QString("125"));  // an image: ADU whatever the unit selector says
    QVERIFY(t.HasValue);
    g->Kind = kKindWavefront;
    t = FormatReadOut(*g, at, TCoordinateUnit::Reduced, TValueUnit::NoSelection);
    QCOMPARE(t.X, QString("0.250"));
    QCOMPARE(t.Y, QString("-0.500"));
    QVERIFY(!t.HasValue);  // no unit chosen yet: the field is left alone
    t = FormatReadOut(*g, at, TCoordinateUnit::Millimetres, TValueUnit::Nanometres);
    QCOMPARE(t.X, QString("25.0"));
    QCOMPARE(t.Y, QString("-50.0"));
    QCOMPARE(t.Value, QString("125.46"));
    t = FormatReadOut(*g, at, TCoordinateUnit::Pixels, TValueUnit::Waves);
    QCOMPARE(t.Value, QString("0.251"));
  }

  void thresholdAndReliefFromTheContextMenu() {
    TForm1 w;
    w.Grid = RampGrid(5, 5);
    w.Visualiser();
    const QList<QAction*> items = w.ContextMenu->actions();
    QCOMPARE(items.size(), 7);
    QCOMPARE(items[0]->text(), QString("This threshold value"));
    QCOMPARE(items[1]->text(), QString("Mid-line"));
    QCOMPARE(items[2]->text(), QString("3D look"));
    QVERIFY(items[3]->isSeparator());
    QCOMPARE(items[4]->text(), QString("Register"));
    QCOMPARE(items[5]->text(), QString("Export"));
    QCOMPARE(items[6]->text(), QString("Print"));

    w.CursorValue = 33.0;
    w.ThresholdAction->trigger();
    QCOMPARE(w.Grid->Threshold, 33.0);
    QCOMPARE(static_cast<int>(w.Grid->Mask[1][3][3]), 1);  // 33 is at the threshold
    QCOMPARE(static_cast<int>(w.Grid->Mask[1][1][1]), 0);

    w.ReliefAction->trigger();
    QVERIFY(w.Grid->Relief);
    QVERIFY(w.ReliefAction->isChecked());
    w.ReliefAction->trigger();
    QVERIFY(!w.Grid->Relief);
  }

  void closeQuestionNoKeepsEverything() {
    TScriptedPlatform platform;
    auto* w = new TForm1;
    w->Grid = RampGrid(4, 4);
    w->setWindowTitle("star.fit");
    ListBoxIntra.append({"star.fit", w});
    QPointer<TForm1> alive(w);
    platform.Answers = {false};
    QVERIFY(!w->close());
    QCOMPARE(platform.Questions, QStringList{"Close image star.fit ?"});
    QVERIFY(alive);
    QVERIFY(w->Grid);
    QCOMPARE(ListBoxIntra.size(), 1);
    QCOMPARE(TForm1::ImageWindows().size(), 1);
  }

  void closeYesClearsListsAndSourceReferences() {
    TScriptedPlatform platform;
    auto* wavefront = new TForm1;
    wavefront->Grid = RampGrid(4, 4);
    wavefront->Grid->Kind = kKindIntra;
    ListBoxIntra.append({"a", wavefront});
    std::weak_ptr<TPupille> grid = wavefront->Grid;
    TImageRef intra = wavefront->Grid;
    auto* product = new TForm1;
    product->Grid = RampGrid(4, 4);
    product->SourceGrid = wavefront->Grid;
    ActiveImage = wavefront;

    platform.Answers = {true};
    QVERIFY(wavefront->close());
    QVERIFY(ListBoxIntra.isEmpty());
    QVERIFY(product->SourceGrid.expired());
    QVERIFY(grid.expired());  // freed: only the window held it
    QVERIFY(intra.expired());
    QVERIFY(!ActiveImage);
    QCOMPARE(TForm1::ImageWindows().size(), 1);

    // The last window: nothing active any more, no question in bulk close.
    ClosingAll = true;
    QVERIFY(product->close());
    ClosingAll = false;
    QCOMPARE(platform.Questions.size(), 1);
    QVERIFY(TForm1::ImageWindows().isEmpty());
  }

  void closingAPsfWindowFreesBothHalves() {
    ClosingAll = true;
    auto* w = new TForm1;
    w->Grid = RampGrid(4, 4);
    w->Grid->Kind = kKindActualPsf;
    w->PairedGrid = RampGrid(4, 4);
    w->PairedGrid->Kind = kKindTheoreticalPsf;
    w->SourceGrid = w->PairedGrid;
    std::weak_ptr<TPupille> actual = w->Grid, theoretical = w->SourceGrid;
    QVERIFY(w->close());
    ClosingAll = false;
    QVERIFY(actual.expired());
    QVERIFY(theoretical.expired());
  }

  void registerAppendsJpgAndSaveReusesTheName() {
    TScriptedPlatform platform;
    ScratchDir dir;
    TForm1 w;
    w.Grid = RampGrid(16, 12);
    w.setWindowTitle("star.jpg");
    w.Visualiser();
    platform.Files = {QString::fromStdString(dir.File("star.jpg"))};
    w.RegisterAction->trigger();
    const QString expected = QString::fromStdString(dir.File("star.jpg.jpg"));
    QCOMPARE(w.JpegFileName, expected);
    QVERIFY(QFile::exists(expected));
    QVERIFY(!QFile::exists(QString::fromStdString(dir.File("star.jpg"))));
    const TFileRequest& asked = platform.FileRequests.constLast();
    QCOMPARE(asked.Title, QString("Register the current image"));
    QCOMPARE(asked.ProposedName, QString("star.jpg"));
    QCOMPARE(asked.Filter, QString("Image jpeg | *.jpeg;*.jpg"));
    QVERIFY(asked.AskOverwrite);

    // Cancelled: nothing written, the name kept.
    w.RegisterAction->trigger();
    QCOMPARE(w.JpegFileName, expected);

    // A folder that does not exist: the failure is reported, no name stored.
    TForm1 other;
    other.Grid = RampGrid(4, 4);
    other.Visualiser();
    platform.Files = {QString::fromStdString(dir.File("missing/x"))};
    other.Enregistrer1Click();
    QVERIFY(other.JpegFileName.isEmpty());
    QCOMPARE(platform.Warnings.size(), 1);
  }

  void exportWritesTheOpdFile() {
    TScriptedPlatform platform;
    ScratchDir dir;
    TForm1 w;
    auto g = std::make_shared<TPupille>();
    g->Init(3, 3);
    g->SetAxes(1, 1, -1.0, 1.0, 3, 3, 1.0, -1.0);
    g->Mask[1][2][2] = 1;
    g->Values[1][2][2] = 277.5;
    g->Wavelength = 555.0;
    g->Scale = 1e8;  // pupil radius 100 mm in nanometres
    w.Grid = g;
    w.setWindowTitle("Wavefront Polychromatic");
    platform.Files = {QString::fromStdString(dir.File("front"))};
    w.ExportAction->trigger();
    QCOMPARE(platform.FileRequests.constLast().Title, QString("Export the wavefront"));
    QCOMPARE(platform.FileRequests.constLast().Filter,
             QString("Optical Path Difference files (*.opd)|*.opd"));
    const std::string text = ReadBytes(dir.File("front.opd"));
    QCOMPARE(QString::fromStdString(text), QString("555,200\r\n0,0,0.5\r\n"));
  }

  void printSendsOnePage() {
    TScriptedPlatform platform;
    ScratchDir dir;
    TForm1 w;
    w.Grid = RampGrid(20, 10);
    w.Visualiser();
    w.PrintAction->trigger();  // cancelled: nothing printed
    platform.PdfFile = QString::fromStdString(dir.File("page.pdf"));
    w.PrintAction->trigger();
    const std::string pdf = ReadBytes(dir.File("page.pdf"));
    QVERIFY(pdf.rfind("%PDF", 0) == 0);
  }

  void hourglassIsRestoredWhenAnOperationFails() {
    TScriptedPlatform platform;
    try {
      THourglass hourglass;
      QCOMPARE(platform.CursorDepth, 1);
      throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
    QCOMPARE(platform.CursorDepth, 0);
    QCOMPARE(platform.CursorPushes, 1);
  }

  void filtersBecomeQtNameFilters() {
    QCOMPARE(QtNameFilter("Images Fits|*.fit;*.fits"), QString("Images Fits (*.fit *.fits)"));
    QCOMPARE(QtNameFilter("Image jpeg | *.jpeg;*.jpg"), QString("Image jpeg (*.jpeg *.jpg)"));
  }
};

static RegisterUiTest<ImageWindowTest> registerImageWindowTest;

}  // namespace caustica::test

#include "test_image_window.moc"
