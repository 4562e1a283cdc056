// What a user met in the desktop program and should not meet again: the
// progress window's place and caption, cut captions, pictures in larger
// windows, the zoom selector, colour channels in the lists, dead list
// entries, "Centre" on a map, "Roddier" and "Adjust" showing nothing, and
// the colour scale of a wavefront window.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QProgressBar>
#include <QScrollArea>
#include <QStatusBar>
#include <QTest>
#include <optional>

#include "analysis/star_simulator.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "app/session.h"
#include "app/u_progress_bar.h"
#include "core/u_Palettes.h"
#include "io/jpeg_file.h"
#include "scripted_platform.h"
#include "setup/u_prefs.h"
#include "star_pair.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"
#include "ui_test_registry.h"

namespace caustica::test {

namespace {

// Pixels of the picture that are not black.
int LitPixels(const TRaster& picture) {
  int lit = 0;
  for (int y = 0; y < picture.Height; ++y)
    for (int x = 0; x < picture.Width; ++x) {
      const std::uint8_t* p = picture.Pixel(x, y);
      if (p[0] || p[1] || p[2]) ++lit;
    }
  return lit;
}

}  // namespace

class DesktopBehaviourTest : public QObject {
  Q_OBJECT
 private:
  TDesktopTestBed bed;
  std::unique_ptr<TScriptedPlatform>& platform = bed.Platform;
  std::unique_ptr<TMainForm>& main = bed.Main;
  std::unique_ptr<ScratchDir>& dir = bed.Dir;

  void OpenStarPair() { QVERIFY(OpenSimulatedStarPair(*main, *platform, *dir)); }

  std::shared_ptr<TPupille> Grid(int kind, int size) {
    auto g = std::make_shared<TPupille>();
    g->Init(size, size);
    g->Kind = static_cast<std::uint8_t>(kind);
    for (int r = 1; r <= size; ++r)
      for (int c = 1; c <= size; ++c) g->Values[1][r][c] = r - c;
    return g;
  }

 private slots:
  void init() {
    bed.Start();
    main->setGeometry(0, 0, 1000, 700);
    main->show();
  }
  void cleanup() { bed.Stop(); }

  void progressWindowSitsOverTheMainWindowWithItsWholeCaption() {
    OpenStarPair();
    QRect seen;
    QString caption;
    int captionWidth = 0;
    // Looked at while the run is going on, at its first step.
    QObject::connect(main->FormProgress->Bar, &QProgressBar::valueChanged, main.get(), [&](int value) {
      if (value == 0 || seen.isValid()) return;
      seen = main->FormProgress->frameGeometry();
      caption = main->FormProgress->Caption->text();
      captionWidth = main->FormProgress->Caption->fontMetrics().horizontalAdvance(caption);
    });
    main->Reconstruire->trigger();
    QVERIFY(seen.isValid());
    QCOMPARE(caption, QString("Reconstruction of the wavefront Polychromatic (1/1)"));
    QVERIFY(seen.width() >= captionWidth);
    // Over the middle of the main window, clear of its menu bar.
    QVERIFY(std::abs(seen.center().x() - main->frameGeometry().center().x()) <= 2);
    QVERIFY(std::abs(seen.center().y() - main->frameGeometry().center().y()) <= 2);
    QVERIFY(seen.top() > main->menuBar()->geometry().bottom());
    QVERIFY(!main->FormProgress->isVisible());
  }

  void windowsShowTheirWholeCaptionAndCentreTheirPicture() {
    TForm1* w = main->NewImageWindow(Grid(kKindIntra, 20), "A caption much wider than the picture");
    const int needed = w->fontMetrics().horizontalAdvance(w->windowTitle());
    QVERIFY(w->width() >= needed);
    // In a window larger than the picture, the picture sits in the middle.
    w->resize(400, 300);
    QApplication::processEvents();
    const QRect picture(w->Picture->mapTo(w->Scroller->viewport(), QPoint(0, 0)), w->Picture->size());
    const QRect area = w->Scroller->viewport()->rect();
    QVERIFY(std::abs(picture.center().x() - area.center().x()) <= 1);
    QVERIFY(std::abs(picture.center().y() - area.center().y()) <= 1);
    // A palette change keeps the size the window was given.
    w->Grid->PaletteIndex = 2;
    Session().NotifyGridDisplay(w->Grid.get());
    QCOMPARE(w->size(), QSize(400, 300));
    // A picture larger than the frame scrolls inside a window that fits it.
    TForm1* big = main->NewImageWindow(Grid(kKindIntra, 2000), "big");
    QVERIFY(big->width() <= main->MdiArea->viewport()->width());
    QCOMPARE(big->Picture->size(), QSize(2000, 2000));
  }

  void zoomSelectorFollowsTheActiveWindow() {
    TForm1* a = main->NewImageWindow(Grid(kKindIntra, 16), "a");
    a->ZoomIndex = 5;
    Session().NotifyGridDisplay(a->Grid.get());
    QCOMPARE(main->ZoomSelector->currentIndex(), 5);
    TForm1* b = main->NewImageWindow(Grid(kKindIntra, 16), "b");
    b->ZoomIndex = 1;
    Session().SetActiveImage(b);
    Session().NotifyGridDisplay(b->Grid.get());
    QCOMPARE(main->ZoomSelector->currentIndex(), 1);
    main->MdiArea->setActiveSubWindow(a);
    QCOMPARE(main->ZoomSelector->currentIndex(), 5);
  }

  void colourChannelsAreTintedAndJoinTheIntraList() {
    // No channel wavelengths set (the preference default 0): not black.
    TRaster picture;
    picture.Resize(24, 24);
    for (int y = 0; y < 24; ++y)
      for (int x = 0; x < 24; ++x) {
        std::uint8_t* p = picture.Pixel(x, y);
        p[0] = p[1] = p[2] = static_cast<std::uint8_t>(std::hypot(x - 12.0, y - 12.0) < 7 ? 220 : 20);
      }
    QVERIFY(EncodeJpegFile(dir->File("star.jpg"), picture));
    platform->Files = {QString::fromStdString(dir->File("star.jpg"))};
    main->OuvrirImageJpeg1->trigger();
    const QList<TForm1*> windows = main->ImageWindows();
    QCOMPARE(windows.size(), 3);
    for (TForm1* w : windows) {
      const TRaster shown = w->Surface.BurntPicture();
      const std::uint8_t* centre = shown.Pixel(12, 12);
      QVERIFY2(centre[0] > 150 && centre[1] > 150 && centre[2] > 150, qPrintable(w->windowTitle()));
    }
    QCOMPARE(ListBoxIntra.size(), 3);
  }

  void aClosedImageLeavesWhicheverListHoldsIt() {
    TForm1* w = main->NewImageWindow(Grid(kKindIntra, 16), "x.fit");
    Session().AddToImageList(kKindIntra, w);
    // "Mirror" turns it into an extra-focal image; its entry stays in the intra list.
    main->Symtrie1801->trigger();
    QCOMPARE(static_cast<int>(w->Grid->Kind), static_cast<int>(kKindExtra));
    QCOMPARE(ListBoxIntra.size(), 1);
    platform->Answers = {true};
    w->close();
    QVERIFY(ListBoxIntra.isEmpty());
    QVERIFY(ListBoxExtra.isEmpty());
  }

  void centreIsRefusedOnAMapAndKeepsItIntact() {
    auto map = Grid(kKindWavefront, 32);
    for (int r = 1; r <= 32; ++r)
      for (int c = 1; c <= 32; ++c) map->Mask[1][r][c] = 1;
    TForm1* w = main->NewImageWindow(map, "Wavefront");
    const double before = w->Grid->Values[1][3][30];
    QVERIFY(before < 0);
    main->Centrer1->trigger();
    QCOMPARE(platform->Warnings,
             QStringList{"Action impossible. Select an intra-focal or extra-focal image."});
    QCOMPARE(w->Grid->Values[1][3][30], before);
    QCOMPARE(w->Grid->Mask[1][3][30], static_cast<std::int16_t>(1));
  }

  void roddierAndAdjustShowWhatTheyComputed() {
    OpenStarPair();
    main->Signal1->trigger();
    main->Poisson1->trigger();
    TForm1* solution = main->ImageWindows().constLast();
    QCOMPARE(solution->windowTitle(), QString("Roddier"));
    const TRaster shown = solution->Surface.BurntPicture();
    // More than a black square: the pupil's values spread over the palette.
    QVERIFY(LitPixels(shown) > shown.Width * shown.Height / 4);

    main->Reconstruire->trigger();
    main->Ajuster1->trigger();
    // Tilt, focus and coma were switched off after the run: 22 - 8 terms.
    QVERIFY2(
        main->statusBar()->currentMessage().startsWith("Adjust: 14 Zernike terms fitted, RMS beyond tilt "),
        qPrintable(main->statusBar()->currentMessage()));
  }

  void wavefrontWindowsShowAScaleWithItsUnit() {
    OpenStarPair();
    main->Reconstruire->trigger();
    TForm1* front = main->ImageWindows().constLast();
    QCOMPARE(static_cast<int>(front->ShowScale), 1);
    QVERIFY(front->Surface.ScaleHigh.endsWith(" nm"));
    QVERIFY(front->Surface.ScaleLow.endsWith(" nm"));
    const TScaleTexts texts = ScaleTexts(*front->Grid);
    QVERIFY(texts.High != texts.Low);
    // Images keep their plain picture.
    QCOMPARE(static_cast<int>(main->ImageWindows().constFirst()->ShowScale), 0);
  }
};

static RegisterUiTest<DesktopBehaviourTest> registerDesktopBehaviourTest;

}  // namespace caustica::test

#include "test_desktop_behaviour.moc"
