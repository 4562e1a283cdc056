// The session: each command that changes what the windows show tells the
// listeners, with the state already written when they hear it, and a window
// that only subscribes redraws when another window's command changes its
// grid.
#include <QAction>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "analysis/star_simulator.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "app/session.h"
#include "scripted_platform.h"
#include "setup/parametres_form.h"
#include "setup/u_prefs.h"
#include "star_pair.h"
#include "support/fits_writer.h"
#include "support/test_files.h"
#include "ui_test_registry.h"

namespace caustica::test {
namespace {

// Rows of 10 r + c: no two samples alike, so a turned picture differs.
std::shared_ptr<TPupille> RampGrid(int kind) {
  auto g = std::make_shared<TPupille>();
  g->Init(6, 4);
  for (int r = 1; r <= 4; ++r)
    for (int c = 1; c <= 6; ++c) g->Values[1][r][c] = 10.0 * r + c;
  g->ComputeRange();
  g->DisplayLow = g->MinValue;
  g->DisplayHigh = g->MaxValue;
  g->Kind = static_cast<std::uint8_t>(kind);
  return g;
}

QList<int> Channels(const QSignalSpy& spy) {
  QList<int> list;
  for (const QList<QVariant>& call : spy) list << call.at(0).toInt();
  return list;
}

TForm1* WindowOf(const QSignalSpy& spy, qsizetype call) { return spy.at(call).at(0).value<TForm1*>(); }

// The picture turned by 180 degrees, pixel by pixel.
bool IsPointReflection(const TRaster& a, const TRaster& b) {
  if (a.Width != b.Width || a.Height != b.Height || a.Empty()) return false;
  for (int y = 0; y < a.Height; ++y)
    for (int x = 0; x < a.Width; ++x) {
      const std::uint8_t* p = a.Pixel(x, y);
      const std::uint8_t* q = b.Pixel(a.Width - 1 - x, a.Height - 1 - y);
      if (p[0] != q[0] || p[1] != q[1] || p[2] != q[2]) return false;
    }
  return true;
}

}  // namespace

class SessionTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<TScriptedPlatform> platform;
  std::unique_ptr<TMainForm> main;
  std::unique_ptr<ScratchDir> dir;

  QString RampFits(const std::string& name) {
    FitsImage image;
    image.Width = 5;
    image.Height = 4;
    for (int i = 1; i <= 20; ++i) image.Raw.push_back(i);
    const std::string path = dir->File(name);
    WriteBytes(path, BuildFits(image));
    return QString::fromStdString(path);
  }

  void OpenStarPair() { QVERIFY(OpenSimulatedStarPair(*main, *platform, *dir)); }

 private slots:
  void init() {
    platform = std::make_unique<TScriptedPlatform>();
    main = CreateApplicationWindows();
    Preferences.Valeurs = TkwValue{};
    SetZernikeBasis(Preferences.Valeurs.NPolyZern, Preferences.Valeurs.ModePoly);
    ResetProgramState();
    dir = std::make_unique<ScratchDir>();
  }
  void cleanup() {
    main.reset();
    ResetProgramState();
    platform.reset();
    dir.reset();
  }

  void openingAnImageTellsTheActiveImageAndTheLists() {
    QSignalSpy active(&Session(), &TSession::ActiveImageChanged);
    QSignalSpy lists(&Session(), &TSession::ImageListsChanged);
    // The dialog's list must hold the entry when the signal arrives.
    int rowsHeard = -1;
    connect(&Session(), &TSession::ImageListsChanged, this,
            [&] { rowsHeard = main->FormParam->ListIntra->count(); });
    platform->Files = {RampFits("a.fit")};
    main->FileOpen1->trigger();
    TForm1* w = main->ImageWindows().constFirst();
    QCOMPARE(active.size(), 1);
    QCOMPARE(WindowOf(active, 0), w);
    QCOMPARE(lists.size(), 1);
    QCOMPARE(rowsHeard, 1);
    QCOMPARE(main->FormParam->ListIntra->item(0)->text(), QString("a.fit"));
    QCOMPARE(ListBoxIntra.constFirst().Grid.lock(), w->Grid);

    // Activating the window that is already active tells nothing.
    Session().SetActiveImage(w);
    QCOMPARE(active.size(), 1);
    platform->Files = {RampFits("b.fit")};
    main->Ouvrircommeextrafocale1->trigger();
    QCOMPARE(active.size(), 2);
    QCOMPARE(WindowOf(active, 1), main->ImageWindows().constLast());
    QCOMPARE(main->FormParam->ListExtra->count(), 1);
    disconnect(&Session(), nullptr, this, nullptr);
  }

  void reconstructionTellsEachChannelWithItsSlotFilled() {
    OpenStarPair();
    QSignalSpy changed(&Session(), &TSession::ReconstructionChanged);
    QList<bool> filled;
    connect(&Session(), &TSession::ReconstructionChanged, this, [&filled](int channel) {
      const std::unique_ptr<TRoddier>& slot = TSession::Slot(channel);
      filled << (slot && slot->Wavefront);
    });
    Parametres.ModeTraitement = 0;
    main->Reconstruire->trigger();
    QVERIFY2(platform->Warnings.isEmpty(), qPrintable(platform->Warnings.join("; ")));
    QCOMPARE(Channels(changed), QList<int>{kChannelSingle});

    changed.clear();
    Parametres.ModeTraitement = 1;
    main->Reconstruire->trigger();
    QCOMPARE(Channels(changed), (QList<int>{kChannelBlue, kChannelGreen, kChannelRed}));
    QCOMPARE(filled, (QList<bool>{true, true, true, true}));
    disconnect(&Session(), nullptr, this, nullptr);

    // The wavefront window that comes last is the active image.
    QCOMPARE(ActiveImage->Grid, RoddierRed->Wavefront);
  }

  void newTestTellsEveryListenerAfterTheReset() {
    platform->Files = {RampFits("a.fit")};
    main->FileOpen1->trigger();
    RoddierBlue = std::make_unique<TRoddier>();
    Parametres.Focale = 5.0;
    QSignalSpy reset(&Session(), &TSession::TestReset);
    QSignalSpy changed(&Session(), &TSession::ReconstructionChanged);
    QSignalSpy active(&Session(), &TSession::ActiveImageChanged);
    bool stateWasReset = false;
    connect(&Session(), &TSession::TestReset, this, [&stateWasReset] {
      stateWasReset =
          !ActiveImage && !RoddierBlue && ListBoxIntra.isEmpty() && Parametres.Focale == 0.0 && !ClosingAll;
    });
    platform->Answers = {true};
    main->FileNew1->trigger();
    disconnect(&Session(), nullptr, this, nullptr);
    QCOMPARE(reset.size(), 1);
    QVERIFY(stateWasReset);
    QCOMPARE(Channels(changed), (QList<int>{kChannelSingle, kChannelBlue, kChannelGreen, kChannelRed}));
    QVERIFY(!active.isEmpty());
    QCOMPARE(WindowOf(active, active.size() - 1), nullptr);
    // The dialog emptied itself on the signal.
    QCOMPARE(main->FormParam->ListIntra->count(), 0);
  }

  void contextMenuCommandsTellTheGrid() {
    TForm1* w = main->NewImageWindow(RampGrid(kKindIntra), "w");
    QSignalSpy values(&Session(), &TSession::GridValuesChanged);
    QSignalSpy display(&Session(), &TSession::GridDisplayChanged);
    w->CursorValue = 25.0;
    w->ThresholdAction->trigger();
    QCOMPARE(values.size(), 1);
    QCOMPARE(values.at(0).at(0).value<const TPupille*>(), w->Grid.get());
    QVERIFY(display.isEmpty());
    w->ReliefAction->trigger();
    QCOMPARE(display.size(), 1);
    QCOMPARE(display.at(0).at(0).value<const TPupille*>(), w->Grid.get());
    // The main window's commands on the active image tell it as well.
    main->Symtrie1801->trigger();
    main->ZoomIn();
    QCOMPARE(values.size(), 2);
    QCOMPARE(display.size(), 2);
  }

  void readOutComesFromTheActiveWindowOnly() {
    TForm1* first = main->NewImageWindow(RampGrid(kKindIntra), "first");
    TForm1* second = main->NewImageWindow(RampGrid(kKindIntra), "second");
    QCOMPARE(ActiveImage.data(), second);
    QSignalSpy readOut(&Session(), &TSession::ReadOutChanged);
    first->ImageMouseMove(2, 1);
    QVERIFY(readOut.isEmpty());
    second->ImageMouseMove(2, 1);  // at 100 %: column 3, row 2
    QCOMPARE(readOut.size(), 1);
    QCOMPARE(WindowOf(readOut, 0), second);
    const TReadOut at = readOut.at(0).at(1).value<TReadOut>();
    QCOMPARE(at.Column, 3);
    QCOMPARE(at.Row, 2);
    QCOMPARE(at.Value, 23.0);
    second->ImageMouseMove(600, 1);  // off the grid
    QCOMPARE(readOut.size(), 1);
  }

  void closingTheLastWindowLeavesNothingActive() {
    platform->Files = {RampFits("a.fit")};
    main->FileOpen1->trigger();
    TForm1* image = main->ImageWindows().constFirst();
    TForm1* other = main->NewImageWindow(RampGrid(kKindWavefront), "front");
    QSignalSpy active(&Session(), &TSession::ActiveImageChanged);
    QSignalSpy lists(&Session(), &TSession::ImageListsChanged);
    ClosingAll = true;
    // The active one goes: nothing is active until the frame activates
    // the window that remains.
    QVERIFY(other->close());
    QVERIFY(!active.isEmpty());
    QCOMPARE(WindowOf(active, 0), nullptr);
    QVERIFY(lists.isEmpty());  // a wavefront is in no list
    Session().SetActiveImage(image);
    QVERIFY(image->close());
    ClosingAll = false;
    QCOMPARE(WindowOf(active, active.size() - 1), nullptr);
    QVERIFY(!ActiveImage);
    QCOMPARE(lists.size(), 1);
    QVERIFY(ListBoxIntra.isEmpty());
    QCOMPARE(main->FormParam->ListIntra->count(), 0);
  }

  void productSourceExpiresWithTheSourceWindow() {
    // A wavefront that a reconstruction keeps as well.
    TForm1* front = main->NewImageWindow(RampGrid(kKindWavefront), "front");
    RoddierMono = std::make_unique<TRoddier>();
    RoddierMono->Wavefront = front->Grid;
    TForm1* fringes = main->NewImageWindow(RampGrid(kKindInterferogram), "fringes");
    fringes->SourceGrid = front->GridReference();
    QCOMPARE(fringes->SourceGrid.lock(), front->Grid);
    // A grid the window shows only.
    TForm1* image = main->NewImageWindow(RampGrid(kKindIntra), "image");
    TForm1* foucault = main->NewImageWindow(RampGrid(kKindFoucault), "foucault");
    foucault->SourceGrid = image->Grid;

    ClosingAll = true;
    QVERIFY(front->close());
    QVERIFY(image->close());
    ClosingAll = false;
    QVERIFY(fringes->SourceGrid.expired());
    QVERIFY(foucault->SourceGrid.expired());
    QVERIFY(RoddierMono->Wavefront);  // the slot keeps its grid
    QVERIFY(fringes->Grid && foucault->Grid);
  }

  void aSubscribedWindowRedrawsWhenAnotherWindowChangesItsGrid() {
    TForm1* w = main->NewImageWindow(RampGrid(kKindIntra), "a");
    Session().AddToImageList(kKindIntra, w);
    const TRaster before = w->Surface.Picture;
    // The test parameters dialog turns the image as it moves it to the
    // extra-focal list; the window was never called.
    TFormParam* form = main->FormParam;
    form->ListIntra->setCurrentRow(0);
    form->ButtonToExtra->click();
    QCOMPARE(int(w->Grid->Kind), int(kKindExtra));
    QVERIFY(IsPointReflection(before, w->Surface.Picture));
    QCOMPARE(form->ListExtra->count(), 1);
    QCOMPARE(form->ListIntra->count(), 0);

    // Two windows on one grid: a threshold in one redraws the other.
    w->Grid->MaskActive = true;
    TForm1* twin = main->NewImageWindow(w->Grid, "twin");
    const TRaster twinBefore = twin->Surface.Picture;
    w->CursorValue = 30.0;
    w->ThresholdAction->trigger();
    QVERIFY(twin->Surface.Picture.Rgb != twinBefore.Rgb);
    QVERIFY(twin->Surface.Picture.Rgb == w->Surface.Picture.Rgb);

    // New palettes from the preferences: every window redraws, and the
    // listeners of display preferences hear it once.
    QSignalSpy preferences(&Session(), &TSession::DisplayPreferencesChanged);
    const TRaster palettes = w->Surface.Picture;
    Preferences.Valeurs.PltSignal = w->Grid->PaletteIndex == 1 ? 2 : 1;
    main->ApplyPalettePreferences();
    QCOMPARE(preferences.size(), 1);
    QVERIFY(w->Surface.Picture.Rgb != palettes.Rgb);
    QVERIFY(twin->Surface.Picture.Rgb == w->Surface.Picture.Rgb);
  }
};

static RegisterUiTest<SessionTest> registerSessionTest;

}  // namespace caustica::test

#include "test_session.moc"
