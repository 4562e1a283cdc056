// The products of the "Calc." menu in the desktop program: which grid each
// one is made from, the windows and captions it makes, series, recomputing
// in place from the panel's controls, refusals and the closing of the
// source wavefront.
#include <QAction>
#include <QMdiArea>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <optional>
#include <vector>

#include "analysis/products.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "app/session.h"
#include "scripted_platform.h"
#include "setup/run_settings.h"
#include "setup/u_prefs.h"
#include "setup/u_saisie_zernike.h"
#include "support/program_state_guard.h"
#include "ui_test_registry.h"

namespace caustica::test {
namespace {

const QString kNotAWavefront = "Action impossible. Select a wavefront image.";

QStringList Captions(const QList<TForm1*>& windows) {
  QStringList list;
  for (const TForm1* w : windows) list << w->windowTitle();
  return list;
}

// The real samples, row by row, with the size first.
std::vector<double> Samples(const TPupille& g) {
  std::vector<double> v{double(g.Nx), double(g.Ny)};
  for (int r = 1; r <= g.Ny; ++r)
    for (int c = 1; c <= g.Nx; ++c) v.push_back(g.Values[1][r][c]);
  return v;
}

}  // namespace

class ProductsWindowTest : public QObject {
  Q_OBJECT
  std::optional<test::ProgramStateGuard> state;
  std::unique_ptr<TScriptedPlatform> platform;
  std::unique_ptr<TMainForm> main;

  // A simulated 64 x 64 wavefront with astigmatism and coma, in its window.
  TForm1* OpenWavefront(double astigmatism = 60.0, double coma = 40.0) {
    Simulation = TSimulation{};
    Simulation.Dimension = 64;
    Simulation.RayonPupille = 28;
    Simulation.CoefZern[5] = astigmatism;
    Simulation.CoefZern[8] = coma;
    SelectAll(Simulation.SelZern);
    main->Frontdonde1->trigger();
    return main->ImageWindows().constLast();
  }
  void Activate(TForm1* w) {
    main->MdiArea->setActiveSubWindow(w);
    Session().SetActiveImage(w);
  }
  void SetControls(int angle, int step, int fringes, bool series, int psfIndex = -1) {
    Session().SetProductControls({angle, step, fringes, series, psfIndex});
  }

 private slots:
  void init() {
    state.emplace();
    platform = std::make_unique<TScriptedPlatform>();
    main = CreateApplicationWindows();
    Preferences.Valeurs = TkwValue{};
    ResetProgramState();
    SetControls(0, 45, 8, false);
  }
  void cleanup() {
    main.reset();
    ResetProgramState();
    platform.reset();
    state.reset();
  }

  void commandsAreEnabledAndIdleWithoutWindows() {
    for (QAction* a : {main->Interferogramme1, main->Foucault1, main->PSF1, main->FFT1, main->Spots1}) {
      QVERIFY2(a->isEnabled(), qPrintable(a->text()));
      a->trigger();
    }
    QCOMPARE(main->MDIChildCount(), 0);
    QVERIFY(platform->Warnings.isEmpty());
  }

  void eachProductKnowsItsKindCaptionAndSource() {
    Parametres.Focale = 1.2e9;
    Parametres.Rayon = 1e8;
    TForm1* front = OpenWavefront();
    SetControls(45, 45, 8, false);

    main->Interferogramme1->trigger();
    TForm1* fringes = main->ImageWindows().constLast();
    QCOMPARE(fringes->windowTitle(), QString("Interferogram45"));
    QCOMPARE(static_cast<int>(fringes->Grid->Kind), 7);
    QCOMPARE(fringes->SourceGrid.lock(), front->Grid);
    QCOMPARE(static_cast<int>(fringes->UseGridWavelength), 1);
    QCOMPARE(static_cast<int>(fringes->OwnsGrid), 1);
    QCOMPARE(fringes->Grid->FringeCount, 8);
    QCOMPARE(fringes->Grid->Wavelength, Preferences.Valeurs.LambdaInterfero);
    QCOMPARE(ActiveImage.data(), fringes);

    Activate(front);
    main->Foucault1->trigger();
    TForm1* knife = main->ImageWindows().constLast();
    QCOMPARE(knife->windowTitle(), QString("Foucaultgram45"));
    QCOMPARE(static_cast<int>(knife->Grid->Kind), 9);
    QCOMPARE(knife->SourceGrid.lock(), front->Grid);
    QVERIFY(knife->Grid->Shapes[1].Visible && knife->Grid->Shapes[2].Visible);

    Activate(front);
    main->PSF1->trigger();
    TForm1* psf = main->ImageWindows().constLast();
    QCOMPARE(psf->windowTitle(), QString("Actual PSF"));
    QCOMPARE(static_cast<int>(psf->Grid->Kind), 5);
    QVERIFY(psf->PairedGrid);
    QCOMPARE(static_cast<int>(psf->PairedGrid->Kind), 6);
    QCOMPARE(psf->SourceGrid.lock(), psf->PairedGrid);

    Activate(front);
    main->FFT1->trigger();
    TForm1* spectrum = main->ImageWindows().constLast();
    QCOMPARE(spectrum->windowTitle(), QString("Form1"));  // a new window's own caption
    QVERIFY(spectrum->Grid->IsComplex);
    QCOMPARE(ActiveImage.data(), spectrum);

    Activate(front);
    main->Spots1->trigger();
    TForm1* spots = main->ImageWindows().constLast();
    QCOMPARE(spots->windowTitle(), QString("Spots"));
    QCOMPARE(static_cast<int>(spots->Grid->Kind), 10);
    QCOMPARE(main->MDIChildCount(), 6);
    QVERIFY2(platform->Warnings.isEmpty(), qPrintable(platform->Warnings.join("; ")));
  }

  void seriesAreMadeFromTheSameWavefront() {
    TForm1* front = OpenWavefront();
    SetControls(0, 45, 8, true);
    main->Interferogramme1->trigger();
    const QList<TForm1*> windows = main->ImageWindows();
    QCOMPARE(Captions(windows.mid(1)),
             (QStringList{"Interferogram135", "Interferogram90", "Interferogram45", "Interferogram0"}));
    for (const TForm1* w : windows.mid(1)) QCOMPARE(w->SourceGrid.lock(), front->Grid);
    QVERIFY(std::abs(windows[1]->Grid->Angle - 135 * 3.141592653589 / 180) < 1e-12);
    QCOMPARE(ActiveImage.data(), front);

    SetControls(10, 180, 8, true);
    main->Interferogramme1->trigger();
    QCOMPARE(Captions(main->ImageWindows().mid(5)), QStringList{"Interferogram10"});

    SetControls(0, 90, 8, true);
    main->Foucault1->trigger();
    QCOMPARE(Captions(main->ImageWindows().mid(6)), (QStringList{"Foucaultgram90", "Foucaultgram0"}));
    QCOMPARE(main->ImageWindows().constLast()->SourceGrid.lock(), front->Grid);
  }

  void refusalsSayWhy() {
    auto intra = std::make_shared<TPupille>();
    intra->Init(16, 16);
    intra->Kind = kKindIntra;
    main->NewImageWindow(intra, "intra");
    for (QAction* a : {main->Interferogramme1, main->Foucault1, main->Spots1}) a->trigger();
    QCOMPARE(platform->Warnings, (QStringList{kNotAWavefront, kNotAWavefront, kNotAWavefront}));
    // Any grid goes to the PSF, but one without a pupil cannot be diffracted.
    main->PSF1->trigger();
    QCOMPARE(platform->Warnings.constLast(), QString("Action impossible. The grid has no pupil."));
    QCOMPARE(platform->WarningsUnderHourglass, 0);
    QCOMPARE(platform->CursorDepth, 0);

    // A residual makes interferograms, not Foucaultgrams nor spots.
    TForm1* front = OpenWavefront();
    front->Grid->Kind = kKindResidual;
    platform->Warnings.clear();
    main->Foucault1->trigger();
    main->Spots1->trigger();
    QCOMPARE(platform->Warnings, (QStringList{kNotAWavefront, kNotAWavefront}));
    main->Interferogramme1->trigger();
    QCOMPARE(platform->Warnings.size(), 2);
    QCOMPARE(main->MDIChildCount(), 3);

    // Spots need the test's focal length and radius, and a slope to scale.
    Activate(front);
    front->Grid->Kind = kKindWavefront;
    main->Spots1->trigger();
    QVERIFY(platform->Warnings.constLast().startsWith("Action impossible. The focal length"));
    Parametres.Focale = 1.2e9;
    Parametres.Rayon = 1e8;
    OpenWavefront(0.0, 0.0);
    main->Spots1->trigger();
    QCOMPARE(platform->Warnings.constLast(),
             QString("Action impossible. The wavefront has no slope: the spot diagram cannot be scaled."));
    QCOMPARE(main->MDIChildCount(), 4);
  }

  void spotsPreferTheSingleChannelReconstruction() {
    Parametres.Focale = 1.2e9;
    Parametres.Rayon = 1e8;
    RoddierMono = std::make_unique<TRoddier>();
    RoddierMono->FocalLength = 2.0e9;
    RoddierMono->Radius = 5e7;
    TForm1* front = OpenWavefront();
    SetControls(0, 45, 3, false);
    main->Spots1->trigger();
    TPupille expected;
    QVERIFY(ComputeSpotDiagram(*front->Grid, 2.0e9, 5e7, 3, CurrentProductSettings(), expected));
    const TPupille& shown = *main->ImageWindows().constLast()->Grid;
    QCOMPARE(shown.Shapes[1].Radius, expected.Shapes[1].Radius);
    QVERIFY(Samples(shown) == Samples(expected));
  }

  void recomputeRequestsChangeTheActiveProductInPlace() {
    TForm1* front = OpenWavefront();
    main->Interferogramme1->trigger();
    TForm1* fringes = main->ImageWindows().constLast();
    const TPupille* grid = fringes->Grid.get();
    const std::vector<double> before = Samples(*grid);
    QList<const TPupille*> redrawn;
    connect(&Session(), &TSession::GridValuesChanged, this, [&redrawn](const TPupille* g) { redrawn << g; });

    SetControls(30, 45, 3, false);
    Session().RequestProductRecompute();
    QCOMPARE(main->MDIChildCount(), 2);
    QCOMPARE(fringes->Grid.get(), grid);
    QCOMPARE(fringes->Grid->FringeCount, 3);
    QVERIFY(std::abs(fringes->Grid->Angle - 30 * 3.141592653589 / 180) < 1e-12);
    QVERIFY(Samples(*grid) != before);
    QCOMPARE(fringes->windowTitle(), QString("Interferogram0"));  // the first caption stays
    QCOMPARE(redrawn, QList<const TPupille*>{grid});
    disconnect(&Session(), &TSession::GridValuesChanged, this, nullptr);

    Activate(front);
    main->Foucault1->trigger();
    TForm1* knife = main->ImageWindows().constLast();
    const double tickBefore = knife->Grid->Shapes[1].X1;
    SetControls(90, 45, 3, false);
    Session().RequestProductRecompute();
    QCOMPARE(main->MDIChildCount(), 3);
    QCOMPARE(knife->windowTitle(), QString("Foucaultgram30"));
    QVERIFY(std::abs(knife->Grid->Shapes[1].X1 - tickBefore) > 0.5);

    // A wavefront active: nothing is made or changed.
    Activate(front);
    const std::vector<double> wavefront = Samples(*front->Grid);
    Session().RequestProductRecompute();
    QCOMPARE(main->MDIChildCount(), 3);
    QVERIFY(Samples(*front->Grid) == wavefront);
    QVERIFY(platform->Warnings.isEmpty());
  }

  void productsOutliveTheirClosedSource() {
    TForm1* front = OpenWavefront();
    // A reconstruction keeping the wavefront must not keep it reachable.
    RoddierMono = std::make_unique<TRoddier>();
    RoddierMono->Wavefront = front->Grid;
    main->Interferogramme1->trigger();
    TForm1* fringes = main->ImageWindows().constLast();
    Activate(front);
    main->Foucault1->trigger();
    TForm1* knife = main->ImageWindows().constLast();

    platform->Answers = {true};
    front->close();
    QCOMPARE(main->MDIChildCount(), 2);
    QVERIFY(fringes->SourceGrid.expired() && knife->SourceGrid.expired());
    QVERIFY(fringes->Grid->HasArrays() && knife->Grid->HasArrays());

    Activate(fringes);
    SetControls(0, 45, 5, false);
    Session().RequestProductRecompute();
    QCOMPARE(platform->Warnings.constLast(),
             QString("Can not change Interferogram. Wavefront could not be found."));
    QCOMPARE(fringes->Grid->FringeCount, 8);
    Activate(knife);
    Session().RequestProductRecompute();
    QCOMPARE(platform->Warnings.constLast(),
             QString("Can not change Foucaultgram. Wavefront could not be found."));
    QCOMPARE(main->MDIChildCount(), 2);
  }

  void psfWithoutSizeTakesThePreferenceAndShowsIt() {
    Preferences.Valeurs.FactMultDiff = 1;
    TForm1* front = OpenWavefront();
    QSignalSpy controlsChanged(&Session(), &TSession::ProductControlsChanged);
    main->PSF1->trigger();
    QCOMPARE(Session().ProductControls().PsfSizeIndex, 1);
    QCOMPARE(controlsChanged.count(), 1);
    QCOMPARE(platform->CursorDepth, 0);
    QVERIFY(platform->CursorPushes > 0);
    TForm1* psf = main->ImageWindows().constLast();
    TPupille actual, theoretical;
    QVERIFY(ComputePsfPair(*front->Grid, 2, CurrentProductSettings(), actual, theoretical));
    QVERIFY(Samples(*psf->Grid) == Samples(actual));
    QVERIFY(Samples(*psf->PairedGrid) == Samples(theoretical));

    // A size chosen in the panel wins and stays as it is.
    Activate(front);
    SetControls(0, 45, 8, false, 0);
    controlsChanged.clear();
    main->PSF1->trigger();
    QCOMPARE(controlsChanged.count(), 0);
    QVERIFY(ComputePsfPair(*front->Grid, 1, CurrentProductSettings(), actual, theoretical));
    QVERIFY(Samples(*main->ImageWindows().constLast()->Grid) == Samples(actual));

    // Closing the PSF window frees both halves.
    const std::weak_ptr<TPupille> half = psf->PairedGrid;
    platform->Answers = {true};
    psf->close();
    QVERIFY(half.expired());
  }
};

static RegisterUiTest<ProductsWindowTest> registerProductsWindowTest;

}  // namespace caustica::test

#include "test_products_window.moc"
