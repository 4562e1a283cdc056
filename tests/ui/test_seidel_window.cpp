// The Seidel window: the figures of the active wavefront with their exact
// texts, the command that shows it, following the active wavefront, a term
// switched off, and hiding when the last image goes or a new test starts.
#include <QAction>
#include <QMdiArea>
#include <QTableWidget>
#include <QTest>
#include <optional>

#include "analysis/u_Seidel_form.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "app/session.h"
#include "scripted_platform.h"
#include "setup/u_prefs.h"
#include "setup/u_saisie_zernike.h"
#include "support/program_state_guard.h"
#include "ui_test_registry.h"

namespace caustica::test {
namespace {

// Rows of the window as "caption|value|orientation".
QStringList Rows(const QTableWidget* table) {
  QStringList rows;
  for (int r = 0; r < table->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < 3; ++c) cells << (table->item(r, c) ? table->item(r, c)->text() : QString());
    rows << cells.join('|');
  }
  return rows;
}

// Tilt (30, 40), defocus 100, astigmatism (30, 40), coma (4, -3),
// spherical aberration 5, un-normalised nanometres.
const QStringList kMixedRows = {
    "Piston|-95.000|",           // 0 - 100 + 5
    "Inclinaison|50.990|64.4°",  // tx = 30 - 8, ty = 40 + 6
    "Defocus       |120.000|",   // F0 = 200 - 30, m = 50: 120 beats 220
    "Astigmatism |100.000|26.6°",
    "Coma|15.000|-36.9°",
    "Sphericity|30.000|",
};
const QStringList kDefocusRows = {
    "Piston|-100.000|",        "Inclinaison|0.000|0.0°", "Defocus       |200.000|",
    "Astigmatism |0.000|0.0°", "Coma|0.000|0.0°",        "Sphericity|0.000|",
};

}  // namespace

class SeidelWindowTest : public QObject {
  Q_OBJECT
  std::optional<test::ProgramStateGuard> state;
  std::unique_ptr<TScriptedPlatform> platform;
  std::unique_ptr<TMainForm> main;

  TForm1* OpenWavefront(std::initializer_list<std::pair<int, double>> terms) {
    Simulation = TSimulation{};
    Simulation.Dimension = 48;
    Simulation.RayonPupille = 20;
    for (const auto& [k, v] : terms) Simulation.CoefZern[k] = v;
    SelectAll(Simulation.SelZern);
    main->Frontdonde1->trigger();
    return main->ImageWindows().constLast();
  }
  TForm1* OpenMixed() {
    return OpenWavefront({{2, 30}, {3, 40}, {4, 100}, {5, 30}, {6, 40}, {7, 4}, {8, -3}, {11, 5}});
  }
  // An image that is no wavefront.
  TForm1* OpenIntraImage() {
    auto g = std::make_shared<TPupille>();
    g->Init(16, 16);
    g->Kind = kKindIntra;
    g->Coefficients[4] = 500;  // would show if the window took it
    return main->NewImageWindow(g, "Intra");
  }
  void Activate(TForm1* w) {
    main->MdiArea->setActiveSubWindow(w);
    Session().SetActiveImage(w);
  }
  QStringList Shown() const { return Rows(main->FormSeidel->Table); }

 private slots:
  void init() {
    state.emplace();
    platform = std::make_unique<TScriptedPlatform>();
    main = CreateApplicationWindows();
    Preferences.Valeurs = TkwValue{};
    ResetProgramState();
    SetZernikeBasis(22, kCirclePolynomials);
  }
  void cleanup() {
    main.reset();
    ResetProgramState();
    platform.reset();
    state.reset();
  }

  void createdHiddenWithTitleAndColumns() {
    TFormSeidel* w = main->FormSeidel;
    QVERIFY(w);
    QVERIFY(!w->isVisible());
    QCOMPARE(w->windowTitle(), QString("Seidel abberations"));
    QCOMPARE(w->Table->columnCount(), 3);
    QCOMPARE(w->Table->rowCount(), 6);
    QStringList headers;
    for (int c = 0; c < 3; ++c) headers << w->Table->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, QStringList({"Aberration", "Value", "Orientation"}));
    QVERIFY(main->AberrationsdeSeidel1->isEnabled());
  }

  void commandShowsTheFiguresOfTheActiveWavefront() {
    OpenMixed();
    main->AberrationsdeSeidel1->trigger();
    QVERIFY(main->FormSeidel->isVisible());
    QCOMPARE(Shown(), kMixedRows);
    QVERIFY(platform->Warnings.isEmpty());
  }

  void commandDoesNothingOnAnotherGrid() {
    main->AberrationsdeSeidel1->trigger();  // no image at all
    QVERIFY(!main->FormSeidel->isVisible());
    OpenIntraImage();
    main->AberrationsdeSeidel1->trigger();
    QVERIFY(!main->FormSeidel->isVisible());
    QVERIFY(!main->FormSeidel->ShownWavefront());
    QVERIFY(platform->Warnings.isEmpty());
  }

  void followsTheActiveWavefrontOnly() {
    TForm1* mixed = OpenMixed();
    main->AberrationsdeSeidel1->trigger();
    TForm1* defocus = OpenWavefront({{4, 100}});
    QCOMPARE(Shown(), kDefocusRows);
    OpenIntraImage();  // another kind of image leaves the last wavefront's figures
    QCOMPARE(Shown(), kDefocusRows);
    QCOMPARE(main->FormSeidel->ShownWavefront(), defocus->Grid);
    Activate(mixed);
    QCOMPARE(Shown(), kMixedRows);
    QVERIFY(main->FormSeidel->isVisible());
  }

  void switchedOffTermLeavesTheFigures() {
    TForm1* w = OpenMixed();
    main->AberrationsdeSeidel1->trigger();
    ZernikeSelection on = w->Grid->Selected;
    on[11] = false;
    w->Grid->ApplySelection(on);
    Session().NotifyGridValues(w->Grid.get());
    QStringList expected = kMixedRows;
    expected[0] = "Piston|-100.000|";
    expected[2] = "Defocus       |150.000|";  // F0 = 200, m = 50: 150 beats 250
    expected[5] = "Sphericity|0.000|";
    QCOMPARE(Shown(), expected);

    // Values of another grid leave the window as it is.
    TForm1* other = OpenIntraImage();
    other->Grid->Coefficients[11] = 9;
    Session().NotifyGridValues(other->Grid.get());
    QCOMPARE(Shown(), expected);
  }

  void hidesWhenTheLastImageClosesOrANewTestStarts() {
    TForm1* w = OpenMixed();
    main->AberrationsdeSeidel1->trigger();
    QVERIFY(main->FormSeidel->isVisible());
    platform->Answers = {true};
    QVERIFY(w->close());
    QCOMPARE(main->MDIChildCount(), 0);
    QVERIFY(!main->FormSeidel->isVisible());

    OpenMixed();
    main->AberrationsdeSeidel1->trigger();
    QVERIFY(main->FormSeidel->isVisible());
    Session().NewTest();
    QVERIFY(!main->FormSeidel->isVisible());
    QVERIFY(!main->FormSeidel->ShownWavefront());
  }
};

static RegisterUiTest<SeidelWindowTest> registerSeidelWindowTest;

}  // namespace caustica::test

#include "test_seidel_window.moc"
