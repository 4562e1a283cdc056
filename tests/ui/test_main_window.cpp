// The main window's commands end to end on the offscreen platform: images
// opened from FITS and JPEG files, closing, New test, quitting, zoom and the
// reconstruction in both modes.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMdiArea>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <optional>

#include "analysis/star_simulator.h"
#include "analysis/test_image.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/about_box.h"
#include "app/program_state.h"
#include "app/u_progress_bar.h"
#include "io/jpeg_file.h"
#include "scripted_platform.h"
#include "setup/frame_settings.h"
#include "setup/u_prefs.h"
#include "setup/u_saisie_zernike.h"
#include "star_pair.h"
#include "support/fits_writer.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"
#include "ui_test_registry.h"

namespace caustica::test {
namespace {

// A 16-bit FITS image whose sample at row r, column c is 10 r + c.
std::string WriteRampFits(const ScratchDir& dir, const std::string& name, int width, int height) {
  FitsImage image;
  image.Width = width;
  image.Height = height;
  for (int r = 1; r <= height; ++r)
    for (int c = 1; c <= width; ++c) image.Raw.push_back(10.0 * r + c);
  const std::string path = dir.File(name);
  WriteBytes(path, BuildFits(image));
  return path;
}

std::shared_ptr<TPupille> GridOfKind(int kind) {
  auto g = std::make_shared<TPupille>();
  g->Init(4, 4);
  g->Kind = static_cast<std::uint8_t>(kind);
  return g;
}

QStringList Captions(const QList<TForm1*>& windows) {
  QStringList list;
  for (const TForm1* w : windows) list << w->windowTitle();
  return list;
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT
 private:
  TDesktopTestBed bed;
  std::unique_ptr<TScriptedPlatform>& platform = bed.Platform;
  std::unique_ptr<TMainForm>& main = bed.Main;
  std::unique_ptr<ScratchDir>& dir = bed.Dir;

  QString PathOf(const std::string& p) const { return QString::fromStdString(p); }

  void OpenStarPair() { QVERIFY(OpenSimulatedStarPair(*main, *platform, *dir)); }

 private slots:
  void init() { bed.Start(); }
  void cleanup() { bed.Stop(); }

  void startUpState() {
    QCOMPARE(QApplication::applicationName(), QString("Caustica"));
    QCOMPARE(main->windowTitle(), QString("Caustica 3.0"));
    QCOMPARE(main->ZoomSelector->currentIndex(), 3);
    QCOMPARE(main->ZoomSelector->currentText(), QString("100%"));
    QCOMPARE(ZoomFactors[3], 1.0);
    QCOMPARE(QString::fromStdString(ChannelNames[2]), QString("Gree"));
    QVERIFY(!ActiveImage);
    QVERIFY(!RoddierMono && !RoddierBlue && !RoddierGreen && !RoddierRed);
    QCOMPARE(main->FileOpen1->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(main->Ouvrircommeextrafocale1->shortcut(), QKeySequence("Ctrl+Alt+O"));
    QCOMPARE(main->FileExit1->shortcut(), QKeySequence("Ctrl+Q"));
    QVERIFY(main->Gnrerunrapport1->isEnabled());
    QVERIFY(main->Mridienne1->isEnabled() && main->Trichromie1->isEnabled());
    QVERIFY(main->Reconstruire->isEnabled());
    QVERIFY(main->Documentation1->isEnabled());
    QCOMPARE(main->Documentation1->shortcut(), QKeySequence(Qt::Key_F1));
  }

  void openAcceptsThreeByThreeAndRefusesTwoColumns() {
    platform->Files = {PathOf(WriteRampFits(*dir, "thin.fit", 2, 500))};
    main->FileOpen1->trigger();
    QCOMPARE(platform->Warnings, QStringList{"Image format incompatible"});
    QCOMPARE(platform->WarningsUnderHourglass, 0);
    QCOMPARE(main->MDIChildCount(), 0);
    QVERIFY(ListBoxIntra.isEmpty());

    platform->Files = {PathOf(WriteRampFits(*dir, "small.fit", 3, 3))};
    main->FileOpen1->trigger();
    QCOMPARE(main->MDIChildCount(), 1);
    TForm1* w = main->ImageWindows().constFirst();
    QCOMPARE(w->windowTitle(), QString("small.fit"));
    QCOMPARE(static_cast<int>(w->Grid->Kind), 0);
    QCOMPARE(w->Grid->Values[1][3][2], 32.0);
    QCOMPARE(ActiveImage.data(), w);
    QCOMPARE(ListBoxIntra.size(), 1);
    QCOMPARE(ListBoxIntra.constFirst().Window.data(), w);
    QCOMPARE(platform->FileRequests.constLast().Title, QString("Open an image"));
    QCOMPARE(platform->FileRequests.constLast().Filter, QString("Images Fits|*.fit;*.fits"));
    QCOMPARE(platform->CursorDepth, 0);
  }

  void cancellingOpenChangesNothing() {
    platform->Files = {PathOf(WriteRampFits(*dir, "a.fit", 4, 3))};
    main->FileOpen1->trigger();
    TForm1* w = main->ImageWindows().constFirst();
    main->FileOpen1->trigger();
    main->Ouvrircommeextrafocale1->trigger();
    QCOMPARE(main->MDIChildCount(), 1);
    QCOMPARE(static_cast<int>(w->Grid->Kind), 0);
    QCOMPARE(w->Grid->Values[1][1][1], 11.0);
    QCOMPARE(ListBoxIntra.size(), 1);
    QVERIFY(ListBoxExtra.isEmpty());
    QCOMPARE(platform->FileRequests.constLast().Title, QString("Open an extrafocal image"));
  }

  void extraFocalIsTurnedAndMirrorTwiceRestores() {
    platform->Files = {PathOf(WriteRampFits(*dir, "b.fit", 4, 3))};
    main->Ouvrircommeextrafocale1->trigger();
    TForm1* w = main->ImageWindows().constFirst();
    QCOMPARE(static_cast<int>(w->Grid->Kind), 1);
    QCOMPARE(w->Grid->Values[1][1][1], 34.0);  // the last sample comes first
    QCOMPARE(ListBoxExtra.size(), 1);

    main->Symtrie1801->trigger();
    QCOMPARE(static_cast<int>(w->Grid->Kind), 0);
    QCOMPARE(w->Grid->Values[1][1][1], 11.0);
    main->Symtrie1801->trigger();
    QCOMPARE(static_cast<int>(w->Grid->Kind), 1);
    QCOMPARE(w->Grid->Values[1][1][1], 34.0);
    // The lists are not changed by the mirror.
    QCOMPARE(ListBoxExtra.size(), 1);
    QVERIFY(ListBoxIntra.isEmpty());
  }

  void closeWavefrontFamilyTakesKindsThreeAndFour() {
    for (int kind : {0, 3, 4, 7, 3}) main->NewImageWindow(GridOfKind(kind), QString("kind %1").arg(kind));
    platform->Answers = {false};
    main->Frontsdonde2Click();
    QCOMPARE(main->MDIChildCount(), 5);
    QCOMPARE(platform->Questions.constLast(), QString("Close all images of type Wavefront ?"));
    platform->Answers = {true};
    main->Frontsdonde2Click();
    QCOMPARE(Captions(main->ImageWindows()), (QStringList{"kind 0", "kind 7"}));
    QCOMPARE(platform->Questions.size(), 2);  // no question per window
    QVERIFY(!ClosingAll);

    platform->Answers = {true};
    main->Extrafocales1Click();
    QCOMPARE(platform->Questions.constLast(), QString("Close all images of type Image intra/extrafocal ?"));
    QCOMPARE(Captions(main->ImageWindows()), QStringList{"kind 7"});
  }

  void closeAsksAboutTheActiveWindow() {
    main->NewImageWindow(GridOfKind(3), "first");
    main->NewImageWindow(GridOfKind(3), "second");
    platform->Answers = {false, true};
    main->Close1->trigger();
    QCOMPARE(main->MDIChildCount(), 2);
    main->Close1->trigger();
    QCOMPARE(platform->Questions, (QStringList{"Close image second ?", "Close image second ?"}));
    QCOMPARE(Captions(main->ImageWindows()), QStringList{"first"});
  }

  void newTestWithoutWindowsKeepsTheParameters() {
    Parametres.Focale = 5.0;
    main->FileNew1->trigger();
    QVERIFY(platform->Questions.isEmpty());
    QCOMPARE(Parametres.Focale, 5.0);
  }

  void newTestClosesEverythingOnYesOnly() {
    platform->Files = {PathOf(WriteRampFits(*dir, "a.fit", 4, 3))};
    main->FileOpen1->trigger();
    main->NewImageWindow(GridOfKind(3), "front");
    RoddierMono = std::make_unique<TRoddier>();
    Parametres.Focale = 5.0;
    platform->Answers = {false};
    main->FileNew1->trigger();
    QCOMPARE(platform->Questions, QStringList{"Close all images ?"});
    QCOMPARE(main->MDIChildCount(), 2);
    QVERIFY(RoddierMono);

    platform->Answers = {true};
    main->FileNew1->trigger();
    QCOMPARE(platform->Questions.size(), 2);
    QCOMPARE(main->MDIChildCount(), 0);
    QVERIFY(!ActiveImage);
    QVERIFY(!RoddierMono);
    QVERIFY(!ClosingAll);
    QCOMPARE(Parametres.Focale, 0.0);
    QVERIFY(ListBoxIntra.isEmpty());
  }

  void quittingAsksWhenWindowsAreOpen() {
    main->show();
    main->NewImageWindow(GridOfKind(0), "a");
    main->NewImageWindow(GridOfKind(3), "b");
    platform->Answers = {false};
    QVERIFY(!main->close());
    QCOMPARE(platform->Questions, QStringList{"Do you want to quit Caustica 3.0 ? All data will be lost."});
    QCOMPARE(main->MDIChildCount(), 2);
    platform->Answers = {true};
    QVERIFY(main->close());
    QCOMPARE(platform->Questions.size(), 2);  // the windows went without questions
    QCOMPARE(main->MDIChildCount(), 0);

    // Nothing open: no question.
    auto other = CreateApplicationWindows();
    other->show();
    QVERIFY(other->close());
    QCOMPARE(platform->Questions.size(), 2);
  }

  void zoomButtonsStopAtTheEnds() {
    auto g = GridOfKind(0);
    g->Init(100, 80);
    TForm1* w = main->NewImageWindow(g, "z");
    for (int i = 0; i < 5; ++i) main->ZoomOut();
    QCOMPARE(main->ZoomSelector->currentIndex(), 0);
    QCOMPARE(static_cast<int>(w->ZoomIndex), 0);
    QCOMPARE(w->Picture->size(), QSize(25, 20));
    for (int i = 0; i < 8; ++i) main->ZoomIn();
    QCOMPARE(main->ZoomSelector->currentText(), QString("300%"));
    QCOMPARE(static_cast<int>(w->ZoomIndex), 6);
    QCOMPARE(w->Picture->size(), QSize(300, 240));
    // A new window starts at the selector's zoom.
    TForm1* second = main->NewImageWindow(GridOfKind(0), "y");
    QCOMPARE(static_cast<int>(second->ZoomIndex), 6);
  }

  void jpegImportMakesThreeChannelWindows() {
    Preferences.Valeurs.LambdaB = 450.0;
    Preferences.Valeurs.LambdaV = 530.0;
    Preferences.Valeurs.LambdaR = 630.0;
    TRaster picture;
    picture.Resize(16, 8);
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 16; ++x) {
        std::uint8_t* p = picture.Pixel(x, y);
        p[0] = 200;  // red
        p[1] = 100;  // green
        p[2] = 40;   // blue
      }
    const std::string file = dir->File("star.jpg");
    QVERIFY(EncodeJpegFile(file, picture));
    platform->Files = {PathOf(file)};
    main->OuvrirImageJpeg1->trigger();
    QCOMPARE(platform->FileRequests.constLast().Title, QString("Ouvrir Image JPeg"));
    const QList<TForm1*> windows = main->ImageWindows();
    QCOMPARE(Captions(windows), (QStringList{"star.jpg (Blue)", "star.jpg (Gree)", "star.jpg (Red)"}));
    const double expected[3] = {40, 100, 200};
    const double lambdas[3] = {450, 530, 630};
    for (int i = 0; i < 3; ++i) {
      const TPupille& g = *windows[i]->Grid;
      QCOMPARE(g.Nx, 16);
      QCOMPARE(g.Ny, 8);
      QVERIFY(std::abs(g.Values[1][4][8] - expected[i]) <= 2.0);
      QCOMPARE(static_cast<int>(g.Kind), 0);
      QCOMPARE(static_cast<int>(g.PaletteIndex), 5);
      QCOMPARE(g.Wavelength, lambdas[i]);
      QCOMPARE(static_cast<int>(windows[i]->UseGridWavelength), 1);
    }
    // The channels are intra-focal images, in the intra list in colour order.
    QCOMPARE(ListBoxIntra.size(), 3);
    for (int i = 0; i < 3; ++i) QCOMPARE(ListBoxIntra[i].Window.data(), windows[i]);

    // A file that is not a JPEG: nothing, silently.
    WriteBytes(dir->File("bad.jpg"), "not a picture");
    platform->Files = {PathOf(dir->File("bad.jpg"))};
    main->OuvrirImageJpeg1->trigger();
    QCOMPARE(main->MDIChildCount(), 3);
    QVERIFY(platform->Warnings.isEmpty());

    // A picture too small to hold a pupil is refused with the system's text.
    TRaster tiny;
    tiny.Resize(2, 2);
    QVERIFY(EncodeJpegFile(dir->File("tiny.jpg"), tiny));
    platform->Files = {PathOf(dir->File("tiny.jpg"))};
    main->OuvrirImageJpeg1->trigger();
    QCOMPARE(main->MDIChildCount(), 3);
    QCOMPARE(platform->Warnings, QStringList{"Image format incompatible"});
  }

  void reconstructionNeedsParameters() {
    main->Reconstruire->trigger();
    QCOMPARE(platform->Warnings, QStringList{"You must open the images and/or enter the parameters"});
    QVERIFY(!RoddierMono);
  }

  // After a run the status bar states how well the optics found explain the
  // images, and the Results menu shows the two differences.
  void forwardModelCheckAfterAReconstruction() {
    OpenStarPair();
    Parametres.ModeTraitement = 255;
    main->Reconstruire->trigger();
    QVERIFY(RoddierMono && RoddierMono->Forward.Done());
    const QString said = main->statusBar()->currentMessage();
    QVERIFY2(said.startsWith("Forward model: measured minus modelled images: RMS "), qPrintable(said));
    QVERIFY(RoddierMono->Forward.IntraRms > 0 && RoddierMono->Forward.IntraRms < 20);
    const int before = main->MDIChildCount();
    main->ForwardCheck1->trigger();
    QCOMPARE(main->MDIChildCount(), before + 2);
    const QList<TForm1*> windows = main->ImageWindows();
    QVERIFY(windows[windows.size() - 2]->windowTitle().startsWith("Measured - modelled intra (RMS "));
    QVERIFY(windows.constLast()->windowTitle().startsWith("Measured - modelled extra (RMS "));
    QCOMPARE(windows.constLast()->Grid, RoddierMono->Forward.Extra);
    QCOMPARE(windows.constLast()->Grid->Nx, Parametres.Extra.lock()->Nx);  // on the measured image's grid
  }

  void simpleReconstructionAndItsSharedGrids() {
    OpenStarPair();
    Parametres.ModeTraitement = 255;
    ReconstructionMethod = TReconstructionMethod::Classic;  // its passes are counted below
    QList<int> bar;
    connect(main->FormProgress->Bar, &QProgressBar::valueChanged, this, [&bar](int v) { bar << v; });
    main->Reconstruire->trigger();
    // From 0 by steps of 8, one per inner pass, then 100.
    QVERIFY(bar.size() > 3);
    QCOMPARE(bar[1], 8);
    QCOMPARE(bar.constLast(), 100);
    QCOMPARE(main->FormProgress->ChannelCount, 1);
    QVERIFY2(platform->Warnings.isEmpty(), qPrintable(platform->Warnings.join("; ")));
    QVERIFY(RoddierMono && RoddierMono->Wavefront);
    TForm1* front = main->ImageWindows().constLast();
    QCOMPARE(front->windowTitle(), QString("Wavefront Polychromatic"));
    QCOMPARE(front->Grid, RoddierMono->Wavefront);
    QCOMPARE(static_cast<int>(front->Grid->Kind), 3);
    QCOMPARE(static_cast<int>(front->Grid->Channel), 0);
    QCOMPARE(front->Grid->Wavelength, 555.0);
    QCOMPARE(main->FormProgress->windowTitle(),
             QString("Reconstruction of the wavefront Polychromatic (1/1)"));
    QCOMPARE(main->FormProgress->Position(), 100);
    QCOMPARE(main->FormProgress->Step(), 8);  // 100 / (4 x 3)
    QVERIFY(!main->FormProgress->isVisible());
    QCOMPARE(platform->CursorDepth, 0);
    QVERIFY(platform->CursorPushes > 0);

    main->Frontrsiduel1->trigger();
    main->Imagesaprscorrection1->trigger();
    const QList<TForm1*> windows = main->ImageWindows();
    QCOMPARE(Captions(windows.mid(3)),
             (QStringList{"Residual wavefront", "Corrected intra", "Corrected extra"}));
    TForm1* residual = windows[3];
    QCOMPARE(static_cast<int>(residual->Grid->Kind), 4);
    QCOMPARE(static_cast<int>(residual->OwnsGrid), 0);
    QCOMPARE(residual->Grid, RoddierMono->Residual);

    // A new reconstruction replaces the slot; the windows keep their grids.
    const std::weak_ptr<TPupille> oldResidual = RoddierMono->Residual;
    main->Reconstruire->trigger();
    QVERIFY(RoddierMono->Residual != residual->Grid);
    QVERIFY(!oldResidual.expired());
    residual->Visualiser();
    QCOMPARE(residual->Surface.Picture.Width, residual->Grid->Nx);
    // New test empties the slots and closes the windows: nothing is left.
    platform->Answers = {true};
    main->FileNew1->trigger();
    QVERIFY(oldResidual.expired());
    QVERIFY(!RoddierMono);
  }

  void polychromaticReconstruction() {
    OpenStarPair();
    Preferences.Valeurs.LambdaB = 450.0;
    Preferences.Valeurs.LambdaV = 530.0;
    Preferences.Valeurs.LambdaR = 630.0;
    Preferences.Valeurs.AjustAuto = 0;
    Preferences.Valeurs.SubTiltFocus = 1;
    Preferences.Valeurs.OriginFoc = 1;
    Parametres.IntraBleu = Parametres.IntraVert = Parametres.IntraRouge = Parametres.Intra;
    Parametres.ExtraBleu = Parametres.ExtraVert = Parametres.ExtraRouge = Parametres.Extra;
    Parametres.ModeTraitement = 1;
    main->Reconstruire->trigger();
    QVERIFY2(platform->Warnings.isEmpty(), qPrintable(platform->Warnings.join("; ")));
    const QList<TForm1*> windows = main->ImageWindows();
    QCOMPARE(Captions(windows.mid(2)), (QStringList{"Wavefront Blue", "Wavefront Grn.", "Wavefront Red"}));
    QCOMPARE(windows[2]->Grid, RoddierBlue->Wavefront);
    QCOMPARE(windows[3]->Grid, RoddierGreen->Wavefront);
    QCOMPARE(windows[4]->Grid, RoddierRed->Wavefront);
    QCOMPARE(static_cast<int>(windows[3]->Grid->Channel), 2);
    QCOMPARE(windows[4]->Grid->Wavelength, 630.0);
    QVERIFY(std::abs(RoddierGreen->Wavefront->Coefficients[4]) < 1e-9);
    QCOMPARE(static_cast<int>(Preferences.Valeurs.AjustAuto), 0);
    QCOMPARE(static_cast<int>(Preferences.Valeurs.SubTiltFocus), 1);
    QCOMPARE(main->FormProgress->windowTitle(), QString("Reconstruction of the wavefront Red (3/3)"));
    QCOMPARE(main->FormProgress->ChannelCount, 3);
    QCOMPARE(main->FormProgress->Channel, 3);
    QVERIFY(!RoddierMono);

    // Residuals of the three colours in the order blue, green, red.
    main->Frontrsiduel1->trigger();
    QCOMPARE(main->ImageWindows().constLast()->Grid, RoddierRed->Residual);
  }

  void signalThenPoissonOnTheSingleChannelSlot() {
    main->Poisson1->trigger();  // no reconstruction yet: refused silently
    QCOMPARE(main->MDIChildCount(), 0);
    OpenStarPair();
    main->Signal1->trigger();
    QVERIFY(RoddierMono && RoddierMono->Signal);
    TForm1* signal = main->ImageWindows().constLast();
    QCOMPARE(signal->Grid, RoddierMono->Signal);
    QCOMPARE(static_cast<int>(signal->Grid->Kind), 2);
    QCOMPARE(signal->Grid->Nx, 128);
    main->Poisson1->trigger();
    QVERIFY(RoddierMono->Residual);
    QCOMPARE(main->ImageWindows().constLast()->Grid, RoddierMono->Residual);
    QCOMPARE(platform->CursorDepth, 0);
  }

  void windowsMenuListsAndArrangesTheImages() {
    main->resize(800, 600);
    main->show();
    main->NewImageWindow(GridOfKind(0), "one");
    main->NewImageWindow(GridOfKind(3), "two");
    emit main->WindowsMenu->aboutToShow();
    QStringList texts;
    for (QAction* a : main->WindowsMenu->actions())
      if (!a->isSeparator()) texts << a->text();
    QCOMPARE(texts, (QStringList{"&Cascade", "Mosaic &horizontal", "Mosaic &vertical", "Minimise all",
                                 "Arrange all", "View", "one", "two"}));
    main->TileHorizontal();
    const QList<TForm1*> windows = main->ImageWindows();
    QCOMPARE(windows[0]->width(), windows[1]->width());
    QVERIFY(windows[1]->y() > windows[0]->y());
    main->TileVertical();
    QCOMPARE(windows[0]->height(), windows[1]->height());
    QVERIFY(windows[1]->x() > windows[0]->x());
    main->MinimiseAll();
    QVERIFY(windows[0]->isMinimized() && windows[1]->isMinimized());
  }

  void failedReconstructionSaysWhy() {
    OpenStarPair();
    Parametres.Focale = 0.0;
    main->Reconstruire->trigger();
    QCOMPARE(platform->Warnings.size(), 1);
    QVERIFY(platform->Warnings.constFirst().startsWith("Action impossible. "));
    QCOMPARE(platform->WarningsUnderHourglass, 0);
    QCOMPARE(main->MDIChildCount(), 2);
    QVERIFY(!main->FormProgress->isVisible());
    // An unknown mode creates nothing.
    Parametres.Focale = 1.6e9;
    Parametres.ModeTraitement = 7;
    main->Reconstruire->trigger();
    QCOMPARE(main->MDIChildCount(), 2);
  }

  void framesAreCutOutOnOpeningAndStarlessOnesSaySo() {
    // A 37.5 px donut somewhere in a 1000 x 700 frame.
    StarSimulationOptions o;
    o.Model = StarModel::Geometric;
    o.Width = o.Height = 128;
    o.PixelSize = 10.0;
    o.FrameWidth = 1000;
    o.FrameHeight = 700;
    o.FrameColumn = 600;
    o.FrameRow = 100;
    o.SkyLevel = 50;
    TFctXY intra, extra;
    QVERIFY(SimulateStarPair(o, intra, extra).Ok);
    const std::string frame = dir->File("frame_intra.fit");
    QVERIFY(WriteStarPair(intra, extra, frame, dir->File("frame_extra.fit")).Ok);
    test::FitsImage flat;
    flat.Width = flat.Height = 64;
    flat.Raw.assign(64 * 64, 300.0);
    test::WriteBytes(dir->File("flat.fit"), test::BuildFits(flat));
    platform->Files = {QString::fromStdString(frame), QString::fromStdString(frame),
                       QString::fromStdString(dir->File("flat.fit"))};

    main->FileOpen1->trigger();  // cut out on opening: the new setting's default
    QCOMPARE(ActiveImage->Grid->Nx, CutOutSide(37.5));
    QCOMPARE(ActiveImage->Grid->Ny, ActiveImage->Grid->Nx);
    QVERIFY(ActiveImage->windowTitle().contains("[cut out 144 x 144 at ("));
    QVERIFY(ActiveImage->windowTitle().contains("of the 1000 x 700 frame]"));
    CutOutOnOpening = false;
    main->FileOpen1->trigger();
    CutOutOnOpening = true;
    QCOMPARE(ActiveImage->Grid->Nx, 1000);
    main->CutOut1->trigger();  // the Image menu's command does the same
    QCOMPARE(ActiveImage->Grid->Nx, 144);
    QVERIFY(ActiveImage->windowTitle().contains("[cut out 144 x 144"));
    QVERIFY(platform->Warnings.isEmpty());

    main->FileOpen1->trigger();  // still opened, with the reason
    QCOMPARE(platform->Warnings.size(), 1);
    QCOMPARE(platform->Warnings.constFirst(), QString("no star found in flat.fit (the image is uniform)"));
    QCOMPARE(ActiveImage->Grid->Nx, 64);
  }

  void saveRoutesToTheActiveWindow() {
    TForm1* w = main->NewImageWindow(GridOfKind(3), "front");
    main->Enregistrer1->trigger();  // no file yet: "Save as...", cancelled here
    QCOMPARE(platform->FileRequests.size(), 1);
    QCOMPARE(platform->FileRequests.constLast().Title, QString("Register the current image"));
    w->JpegFileName = QString::fromStdString(dir->File("again.jpg"));
    main->Enregistrer1->trigger();  // saved again without a dialog
    QCOMPARE(platform->FileRequests.size(), 1);
    QVERIFY(QFile::exists(w->JpegFileName));
    main->Exporter1->trigger();
    QCOMPARE(platform->FileRequests.constLast().Title, QString("Export the wavefront"));
  }

  void doubleClickOnTheEmptyFrameOpens() {
    main->show();
    QTest::mouseDClick(main->MdiArea->viewport(), Qt::LeftButton);
    QCOMPARE(platform->FileRequests.size(), 1);
    QCOMPARE(platform->FileRequests.constLast().Title, QString("Open an image"));
    // On a picture it is not a click on the frame.
    TForm1* w = main->NewImageWindow(GridOfKind(0), "w");
    w->move(0, 0);
    QTest::mouseDClick(w->Picture, Qt::LeftButton, {}, QPoint(1, 1));
    QCOMPARE(platform->FileRequests.size(), 1);
  }

  void palettePreferencesFollowTheKind() {
    Preferences.Valeurs.PltSignal = 2;
    Preferences.Valeurs.PltFront = 3;
    const int kinds[4] = {0, 2, 3, 7};
    for (int kind : kinds) {
      auto g = GridOfKind(kind);
      g->PaletteIndex = 5;
      main->NewImageWindow(g, "k");
    }
    main->ApplyPalettePreferences();
    const QList<TForm1*> windows = main->ImageWindows();
    QCOMPARE(static_cast<int>(windows[0]->Grid->PaletteIndex), 2);
    QCOMPARE(static_cast<int>(windows[1]->Grid->PaletteIndex), 2);
    QCOMPARE(static_cast<int>(windows[2]->Grid->PaletteIndex), 3);
    QCOMPARE(static_cast<int>(windows[3]->Grid->PaletteIndex), 5);
  }

  void simulatedWavefrontNeedsAConfirmedSize() {
    Simulation = TSimulation{};
    main->Frontdonde1->trigger();
    QCOMPARE(main->MDIChildCount(), 0);
    Simulation.Dimension = 128;
    Simulation.RayonPupille = 50;
    Simulation.CoefZern[5] = 30;
    SelectAll(Simulation.SelZern);
    main->Frontdonde1->trigger();
    QCOMPARE(main->MDIChildCount(), 1);
    TForm1* w = main->ImageWindows().constFirst();
    QCOMPARE(w->windowTitle(), QString("Wavefront"));
    QCOMPARE(static_cast<int>(w->Grid->Kind), 3);
    QVERIFY(w->Grid->MaskActive);
    QVERIFY(w->Grid->MaxValue > w->Grid->MinValue);
  }

  void aboutBoxShowsNameAndVersion() {
    main->AboutBox->Fill(kProductName, kProductVersion);
    QCOMPARE(main->AboutBox->windowTitle(), QString("About"));
    QTimer::singleShot(0, main->AboutBox, &QDialog::accept);
    main->HelpAbout1->trigger();
    QCOMPARE(main->AboutBox->result(), static_cast<int>(QDialog::Accepted));
  }
};

static RegisterUiTest<MainWindowTest> registerMainWindowTest;

}  // namespace caustica::test

#include "setup/reconstruction_method.h"
#include "test_main_window.moc"
