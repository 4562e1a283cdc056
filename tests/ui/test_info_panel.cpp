// The information panel: its bar mappings, the loading of each kind of
// grid, the read-out, the product settings and how it follows the session.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <cmath>
#include <optional>

#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "app/session.h"
#include "app/u_FormInfos.h"
#include "core/u_math.h"
#include "scripted_platform.h"
#include "setup/u_prefs.h"
#include "support/program_state_guard.h"
#include "ui_test_registry.h"

namespace caustica::test {
namespace {

// Samples low at the first column rising to high at the last, every row alike.
std::shared_ptr<TPupille> GridOf(int kind, int nx, int ny, double low, double high) {
  auto g = std::make_shared<TPupille>();
  g->Init(nx, ny);
  g->Kind = static_cast<std::uint8_t>(kind);
  for (int r = 1; r <= ny; ++r)
    for (int c = 1; c <= nx; ++c) g->Values[1][r][c] = nx > 1 ? low + (high - low) * (c - 1) / (nx - 1) : low;
  g->ComputeRange();
  g->DisplayLow = g->MinValue;
  g->DisplayHigh = g->MaxValue;
  g->RangeFactor = 1.0;
  return g;
}

QString Str(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

class InfoPanelTest : public QObject {
  Q_OBJECT
  std::optional<ProgramStateGuard> state;
  std::unique_ptr<TScriptedPlatform> platform;
  std::unique_ptr<TMainForm> main;
  TFormInfos* panel = nullptr;

  TForm1* Open(std::shared_ptr<TPupille> grid, const QString& caption = "star.fit") {
    return main->NewImageWindow(std::move(grid), caption);
  }

 private slots:
  void init() {
    state.emplace();
    platform = std::make_unique<TScriptedPlatform>();
    main = CreateApplicationWindows();
    Preferences.Valeurs = TkwValue{};
    ResetProgramState();
    Session().SetProductControls({});
    panel = main->FormInfos;
  }
  void cleanup() {
    main.reset();
    ResetProgramState();
    platform.reset();
    state.reset();
  }

  void barsAndTextsFollowTheirMappings() {
    // Position 0 is the top (the maximum), 100 the bottom (the minimum).
    QCOMPARE(TrackBarValue(25, 100, 0, 1000), 750.0);
    QCOMPARE(TrackBarValue(0, 100, -5, 5), 5.0);
    QCOMPARE(TrackBarValue(100, 100, -5, 5), -5.0);
    QCOMPARE(TrackBarPosition(250, 100, 0, 1000), 75);
    QCOMPARE(TrackBarPosition(252.5, 100, 0, 1000), 75);  // 74.75 to the nearest
    // The contrast bar and its field.
    QVERIFY(std::abs(ContrastRangeFactor(100) - 0.1) < 1e-15);
    QVERIFY(std::abs(ContrastRangeFactor(-100) - 10.0) < 1e-13);
    QCOMPARE(ContrastRangeFactor(0), 1.0);
    QCOMPARE(Str(ContrastText(100)), QString("10"));
    QCOMPARE(Str(ContrastText(-100)), QString("-10"));
    QCOMPARE(Str(ContrastText(0)), QString("0"));
    QCOMPARE(Str(ContrastText(5)), QString("0.5"));
    QCOMPARE(ContrastPosition(0.1), 100);
    QCOMPARE(ContrastPosition(10.0), -100);
    QCOMPARE(ContrastPosition(1.0), 0);
    // Fractions of the reference wavelength; r = 1 is not above 1.
    QCOMPARE(Str(LambdaFractionText(555, 555, 0)), QString("1 lambda"));
    QCOMPARE(Str(LambdaFractionText(138.75, 555, 0)), QString("Lambda/4"));
    QCOMPARE(Str(LambdaFractionText(1110, 555, 0)), QString("2 lambda"));
    QCOMPARE(Str(LambdaFractionText(0, 555, 0)), QString("0 lambda"));
    QCOMPARE(Str(LambdaFractionText(222, 555, 1)), QString("Lambda/2.5"));
    Preferences.Valeurs.LambdaRef = 555;
    Preferences.Valeurs.NDecLambda = 0;
    QCOMPARE(LambdaFraction(138.75), QString("Lambda/4"));
  }

  void thresholdBarWritesAndLoadsTheThreshold() {
    auto g = GridOf(kKindIntra, 11, 3, 0, 1000);
    g->Threshold = 250;
    Open(g);
    QCOMPARE(panel->TrackBar1->value(), 75);
    QCOMPARE(panel->EditSeuil->text(), QString("250.0"));
    panel->TrackBar1->setValue(25);
    QCOMPARE(g->Threshold, 750.0);
    QCOMPARE(panel->EditSeuil->text(), QString("750.0"));
    // The mask follows: columns 9..11 of 0, 100, ..., 1000 reach 750.
    QCOMPARE(g->Mask[1][2][8], std::int16_t{0});
    QCOMPARE(g->Mask[1][2][9], std::int16_t{1});
    // A threshold out of the range goes to the minimum, the bar to the bottom.
    g->Threshold = 5000;
    Session().NotifyGridValues(g.get());
    QCOMPARE(g->Threshold, 0.0);
    QCOMPARE(panel->TrackBar1->value(), 100);
  }

  void constantGridOpensTheDisplayRangeOnItsValue() {
    auto g = GridOf(kKindIntra, 4, 4, 7, 7);
    g->DisplayLow = 1;
    g->DisplayHigh = 9;
    Open(g);
    QCOMPARE(g->DisplayLow, 7.0);
    QCOMPARE(g->DisplayHigh, 7.0);
    QCOMPARE(panel->TrackBar2->value(), 100);  // low bar at the bottom
    QCOMPARE(panel->TrackBar3->value(), 0);    // high bar at the top
    QCOMPARE(panel->LabelBas->text(), QString("7.0"));
    QCOMPARE(panel->LabelHaut->text(), QString("7.0"));
    QCOMPARE(panel->TrackBar1->value(), 100);
  }

  void displayBarsAndContrastWriteTheGrid() {
    auto g = GridOf(kKindWavefront, 11, 3, -500, 500);
    Open(g);
    panel->TrackBar3->setValue(10);
    QCOMPARE(g->DisplayHigh, 400.0);
    QCOMPARE(panel->LabelHaut->text(), QString("400.0"));
    panel->TrackBar2->setValue(80);
    QCOMPARE(g->DisplayLow, -300.0);

    panel->TrackBar4->setValue(100);
    QVERIFY(std::abs(g->RangeFactor - 0.1) < 1e-15);
    QCOMPARE(panel->Edit2->text(), QString("10"));
    panel->TrackBar4->setValue(-100);
    QVERIFY(std::abs(g->RangeFactor - 10.0) < 1e-13);
    QCOMPARE(panel->Edit2->text(), QString("-10"));
    panel->TrackBar4->setValue(0);
    QCOMPARE(g->RangeFactor, 1.0);
    QCOMPARE(panel->Edit2->text(), QString("0"));
    // Typing in the field moves the bar, and the field keeps what is typed.
    panel->Edit2->clear();
    QTest::keyClicks(panel->Edit2, "05");
    QCOMPARE(panel->TrackBar4->value(), 50);
    QCOMPARE(panel->Edit2->text(), QString("05"));
    QVERIFY(std::abs(g->RangeFactor - std::pow(10.0, -0.5)) < 1e-15);

    // Another window loads its own range factor into the bar.
    auto other = GridOf(kKindWavefront, 5, 5, 0, 1);
    other->RangeFactor = 0.1;
    Open(other, "other");
    QCOMPARE(panel->TrackBar4->value(), 100);
    QCOMPARE(panel->Edit2->text(), QString("10"));
  }

  void eachKindLoadsItsLabelsAndControls() {
    Open(GridOf(kKindIntra, 256, 128, 0, 100), "star.fit");
    QCOMPARE(panel->windowTitle(), QString("Information star.fit Polychromatic"));
    QCOMPARE(panel->EditDim->text(), QString("[256x128]"));
    QCOMPARE(panel->LabelValeur->text(), QString("I ="));
    QVERIFY(panel->TrackBar1->isEnabled() && panel->ButtonSeuil->isEnabled());
    QVERIFY(panel->ComboBoxUnite->isHidden());
    QCOMPARE(panel->EditMax->text(), QString("100.0"));

    auto signal = GridOf(kKindSignal, 4, 4, -1, 1);
    signal->Channel = 2;
    Open(signal, "Signal");
    QCOMPARE(panel->windowTitle(), QString("Information Signal Gree"));
    QCOMPARE(panel->LabelValeur->text(), QString("S ="));
    QVERIFY(!panel->TrackBar1->isEnabled() && !panel->ButtonSeuil->isEnabled());
    QVERIFY(panel->EditSeuil->text().isEmpty());
    QVERIFY(panel->ComboBoxUnite->isHidden());

    Open(GridOf(kKindWavefront, 4, 4, -50, 50), "Wavefront");
    QCOMPARE(panel->LabelValeur->text(), QString("W="));
    QVERIFY(!panel->ComboBoxUnite->isHidden());
    QCOMPARE(panel->ComboBoxUnite->currentText(), QString("Nanometres"));
    QCOMPARE(panel->EditMin->text(), QString("-50.0 nm"));
    QVERIFY(!panel->TrackBar1->isEnabled());

    auto foucault = GridOf(kKindFoucault, 4, 4, 0, 1);
    Open(foucault, "Foucault");
    QCOMPARE(panel->GroupBoxOptions->title(), QString("Foucaultgram"));
    Open(GridOf(kKindInterferogram, 4, 4, 0, 1), "Interferogram");
    QCOMPARE(panel->GroupBoxOptions->title(), QString("Interferogram"));
    QVERIFY(panel->ComboBoxUnite->isHidden());
  }

  void sizeAndRadiusFollowTheirSelectors() {
    auto g = GridOf(kKindIntra, 20, 10, 0, 100);
    g->PupilRadius = 8;
    g->Obstruction = 0.25;
    g->Scale = 60e6;  // nanometres per pupil radius
    g->Threshold = 50;
    g->ThresholdMask();
    g->ComputeMaskedStatistics();
    Open(g);
    QCOMPARE(panel->EditRayon->text(), QString("8"));
    panel->ComboBox2->setCurrentIndex(1);
    QCOMPARE(panel->EditRayon->text(), QString("2"));
    panel->ComboBoxCoord->setCurrentIndex(1);
    QCOMPARE(panel->EditRayon->text(), QString("0"));  // 0.25 with no reduced decimals
    Preferences.Valeurs.NDecRed = 2;
    Session().NotifyDisplayPreferences();
    QCOMPARE(panel->EditRayon->text(), QString("0.25"));
    panel->ComboBoxCoord->setCurrentIndex(2);
    QCOMPARE(panel->EditRayon->text(), QString("15"));  // 1e-6 x 60e6 x 2 / 8
    panel->ComboBox1->setCurrentIndex(1);
    QCOMPARE(panel->EditDim->text(), QString("100"));  // columns 11..20 of 10 rows
  }

  void resultsPageShowsTheWavefrontFigures() {
    const int results = panel->PageControl1->indexOf(panel->TabResultats);
    Open(GridOf(kKindIntra, 4, 4, 0, 1));
    QVERIFY(!panel->PageControl1->isTabVisible(results));

    // A flat wavefront: no fraction of the wavelength.
    auto flat = GridOf(kKindWavefront, 4, 4, 0, 0);
    for (int r = 1; r <= 4; ++r)
      for (int c = 1; c <= 4; ++c) flat->Mask[1][r][c] = 1;
    flat->Wavelength = 555;
    Open(flat, "Wavefront");
    QVERIFY(panel->PageControl1->isTabVisible(results));
    QCOMPARE(panel->PageControl1->currentIndex(), results);
    QCOMPARE(panel->EditPtvNano->text(), QString("0.00 nm"));
    QVERIFY(panel->EditPtvLambda->text().isEmpty());
    QVERIFY(panel->EditRmsLambda->text().isEmpty());
    QCOMPARE(panel->LabelStrehl->text(), QString("S = 1"));

    // Two samples in the pupil, -277.5 and +277.5: PTV 555 = 1 lambda, RMS 277.5.
    auto w = GridOf(kKindWavefront, 2, 1, -277.5, 277.5);
    w->Mask[1][1][1] = w->Mask[1][1][2] = 1;
    w->Wavelength = 555;
    w->Obstruction = 0.5;
    Open(w, "Wavefront 2");
    QCOMPARE(panel->EditPtvNano->text(), QString("555.00 nm"));
    QCOMPARE(panel->EditPtvLambda->text(), QString("1 lambda"));
    QCOMPARE(panel->EditRmsNano->text(), QString("277.50 nm"));
    QCOMPARE(panel->EditRmsLambda->text(), QString("Lambda/2"));
    Preferences.Valeurs.NDecStrehl = 4;
    Session().NotifyDisplayPreferences();
    QCOMPARE(panel->LabelSmax->text(), QString("Smax = 0.5625"));  // (1 - 0.25)^2
  }

  void readOutFollowsTheMouseInTheImageWindow() {
    auto g = GridOf(kKindIntra, 11, 3, 0, 1000);
    g->SetAxes(1, 1, -1, -1, 11, 3, 1, 1);
    TForm1* w = Open(g);
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 1), QPointF(3, 1), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w->Picture, &move);
    QCOMPARE(panel->EditX->text(), QString("4"));
    QCOMPARE(panel->EditY->text(), QString("2"));
    QCOMPARE(panel->EditValeur->text(), QString("300"));
    Preferences.Valeurs.NDecRed = 1;
    panel->ComboBoxCoord->setCurrentIndex(1);
    QApplication::sendEvent(w->Picture, &move);
    QCOMPARE(panel->EditX->text(), QString("-0.4"));
    QCOMPARE(panel->EditY->text(), QString("0.0"));

    // A wavefront read in waves when that unit is chosen.
    auto front = GridOf(kKindWavefront, 11, 3, 0, 5550);
    TForm1* f = Open(front, "Wavefront");
    panel->ComboBoxUnite->setCurrentIndex(1);
    QApplication::sendEvent(f->Picture, &move);
    QCOMPARE(panel->EditValeur->text(), QString("3"));  // 1665 nm / 555 nm, no decimals
  }

  void fringeChangeRecomputesOnlyAnInterferogram() {
    QSignalSpy recompute(&Session(), &TSession::ProductRecomputeRequested);
    Open(GridOf(kKindWavefront, 4, 4, 0, 1), "Wavefront");
    panel->SpinEditFranges->setValue(12);
    QCOMPARE(recompute.count(), 0);
    QCOMPARE(Session().ProductControls().Fringes, 12);

    // Loading an interferogram's angle and fringes recomputes nothing.
    auto fringes = GridOf(kKindInterferogram, 4, 4, 0, 1);
    fringes->Angle = M_PI / 4;
    fringes->FringeCount = 5;
    Open(fringes, "Interferogram");
    QCOMPARE(recompute.count(), 0);
    QCOMPARE(panel->SpinEditAngle->value(), 45);
    QCOMPARE(Session().ProductControls().Fringes, 5);
    QCOMPARE(Session().ProductControls().Angle, 45);

    panel->SpinEditFranges->setValue(6);
    QCOMPARE(recompute.count(), 1);
    QCOMPARE(recompute.constLast().at(0).toInt(), 45);
    QCOMPARE(recompute.constLast().at(1).toInt(), 6);
    panel->Button1->click();  // "Zero"
    QCOMPARE(recompute.count(), 2);
    QCOMPARE(recompute.constLast().at(0).toInt(), 0);
    // The step becomes the angle's increment, without a recompute.
    panel->SpinEditPas->setValue(30);
    QCOMPARE(panel->SpinEditAngle->singleStep(), 30);
    QCOMPARE(Session().ProductControls().Step, 30);
    QCOMPARE(recompute.count(), 2);
  }

  void productSettingsSetElsewhereAreShownWithoutRecompute() {
    QSignalSpy recompute(&Session(), &TSession::ProductRecomputeRequested);
    Open(GridOf(kKindInterferogram, 4, 4, 0, 1), "Interferogram");
    QCOMPARE(panel->ComboBoxPsfTaille->currentIndex(), -1);
    TProductControls c = Session().ProductControls();
    c.PsfSizeIndex = 2;
    c.Angle = 90;
    c.Fringes = 3;
    Session().SetProductControls(c);
    QCOMPARE(panel->ComboBoxPsfTaille->currentText(), QString("x4"));
    QCOMPARE(panel->SpinEditAngle->value(), 90);
    QCOMPARE(panel->SpinEditFranges->value(), 3);
    QCOMPARE(recompute.count(), 0);
    QCOMPARE(Session().ProductControls().PsfSizeIndex, 2);
  }

  void displayControlsRedrawTheImageWindow() {
    auto g = GridOf(kKindIntra, 16, 8, 0, 100);
    TForm1* w = Open(g);
    const std::vector<std::uint8_t> before = w->Surface.Picture.Rgb;
    const QImage barBefore = panel->ImagePalette->pixmap().toImage();
    panel->ComboBoxPalette->setCurrentIndex(3);
    QCOMPARE(static_cast<int>(g->PaletteIndex), 3);
    QVERIFY(w->Surface.Picture.Rgb != before);
    QVERIFY(panel->ImagePalette->pixmap().toImage() != barBefore);

    panel->ComboBoxZoom->setCurrentIndex(5);
    QCOMPARE(static_cast<int>(w->ZoomIndex), 5);
    QCOMPARE(w->Picture->size(), QSize(32, 16));
    panel->CheckBoxEchelle->setChecked(true);
    QCOMPARE(static_cast<int>(w->ShowScale), 1);
    panel->CheckBoxMasque->setChecked(true);
    QVERIFY(g->MaskActive);

    // A change made elsewhere reloads the panel.
    g->PaletteIndex = 1;
    w->ZoomIndex = 2;
    Session().NotifyGridDisplay(g.get());
    QCOMPARE(panel->ComboBoxPalette->currentIndex(), 1);
    QCOMPARE(panel->ComboBoxZoom->currentIndex(), 2);
  }

  void panelHidesWithTheLastWindowAndOnNewTest() {
    QVERIFY(panel->isHidden());
    main->Afficherlesinformations1->trigger();  // no window: stays hidden
    QVERIFY(panel->isHidden());
    TForm1* first = Open(GridOf(kKindIntra, 4, 4, 0, 1), "a");
    TForm1* second = Open(GridOf(kKindIntra, 4, 4, 0, 1), "b");
    main->Afficherlesinformations1->trigger();
    QVERIFY(!panel->isHidden());
    platform->Answers = {true, true};
    second->close();
    QVERIFY(!panel->isHidden());
    first->close();
    QVERIFY(panel->isHidden());

    Open(GridOf(kKindIntra, 4, 4, 0, 1), "c");
    Session().ShowInformationPanel(true);
    QVERIFY(!panel->isHidden());
    platform->Answers = {true};
    main->FileNew1Execute();
    QVERIFY(panel->isHidden());

    // A reset hides it even with a window still open.
    Open(GridOf(kKindIntra, 4, 4, 0, 1), "d");
    Session().ShowInformationPanel(true);
    ResetProgramState();
    QVERIFY(panel->isHidden());
  }
};

static RegisterUiTest<InfoPanelTest> registerInfoPanelTest;

}  // namespace caustica::test

#include "test_info_panel.moc"
