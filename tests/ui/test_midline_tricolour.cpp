// The mid-line and colour results windows: created hidden, opened by their
// commands, the profile of the active wavefront with its titles, azimuth,
// step, zoom and mark, following the profiled grid; the colour table after
// a three-colour reconstruction and following the next one.
#include <QAction>
#include <QChart>
#include <QLineEdit>
#include <QLineSeries>
#include <QMdiArea>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QValueAxis>
#include <cmath>
#include <optional>

#include "analysis/u_Roddier.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "app/session.h"
#include "scripted_platform.h"
#include "setup/u_FormMeridienne_form.h"
#include "setup/u_RVB.h"
#include "setup/u_RVB_form.h"
#include "setup/u_prefs.h"
#include "star_pair.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"
#include "ui_test_registry.h"

namespace caustica::test {
namespace {

constexpr double kPi = 3.141592653589793;

// A 45 x 45 wavefront, pupil radius 20 samples worth 100 mm, centred on
// sample 23: 100 nm of tilt along x and a paraboloid of 50 nm at the edge.
std::shared_ptr<TPupille> Paraboloid() {
  auto g = std::make_shared<TPupille>();
  g->Init(45, 45);
  g->Kind = kKindWavefront;
  g->OriginColumn = g->OriginRow = 23;
  g->PupilRadius = 20;
  g->Scale = 100e6;
  g->SetPupilAxes();
  for (int r = 1; r <= 45; ++r)
    for (int c = 1; c <= 45; ++c) {
      const double x = g->XAxis[c], y = g->YAxis[r];
      g->Values[1][r][c] = 100 * x + 50 * (x * x + y * y);
    }
  return g;
}

// Every point of the curve, piece after piece.
QList<QPointF> Curve(const TFormMeridienne* w) {
  QList<QPointF> points;
  for (const QLineSeries* s : w->Pieces) points += s->points();
  return points;
}

QStringList Rows(const QTableWidget* table) {
  QStringList rows;
  for (int r = 0; r < table->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < table->columnCount(); ++c)
      cells << (table->item(r, c) ? table->item(r, c)->text() : "");
    rows << cells.join('|');
  }
  return rows;
}

}  // namespace

class MidLineTricolourTest : public QObject {
  Q_OBJECT
  TDesktopTestBed bed;
  std::unique_ptr<TScriptedPlatform>& platform = bed.Platform;
  std::unique_ptr<TMainForm>& main = bed.Main;
  std::unique_ptr<ScratchDir>& dir = bed.Dir;

  TForm1* OpenParaboloid(const QString& caption = "Paraboloid") {
    return main->NewImageWindow(Paraboloid(), caption);
  }
  void Activate(TForm1* w) {
    main->MdiArea->setActiveSubWindow(w);
    Session().SetActiveImage(w);
  }
  TFormMeridienne* MidLine() const { return main->FormMeridienne; }

  void RunThreeColours(double lambdaB = 450.0) {
    Preferences.Valeurs.LambdaB = lambdaB;
    Preferences.Valeurs.LambdaV = 530.0;
    Preferences.Valeurs.LambdaR = 630.0;
    Parametres.ModeTraitement = 1;
    main->Reconstruire->trigger();
    QVERIFY2(platform->Warnings.isEmpty(), qPrintable(platform->Warnings.join("; ")));
    QVERIFY(RoddierBlue && RoddierGreen && RoddierRed);
  }

 private slots:
  void init() { bed.Start(); }
  void cleanup() { bed.Stop(); }

  void createdHiddenWithTheirControlsAndEnabledCommands() {
    TFormMeridienne* m = MidLine();
    QVERIFY(m && !m->isVisible());
    QCOMPARE(m->windowTitle(), QString("Mid-line"));
    QCOMPARE(m->AxisY->titleText(), QString("Path difference (nm)"));
    QCOMPARE(m->AxisX->titleText(), QString("Radial coordinate (mm)"));
    QCOMPARE(m->SpinEdit1->minimum(), -180);
    QCOMPARE(m->SpinEdit1->maximum(), 180);
    QCOMPARE(m->SpinEdit1->value(), 0);
    QCOMPARE(m->SpinEdit2->minimum(), 1);
    QCOMPARE(m->SpinEdit2->maximum(), 90);
    QCOMPARE(m->SpinEdit3->maximum(), 10);
    QCOMPARE(m->SpinEdit3->value(), 1);
    QCOMPARE(m->Button1->text(), QString("Tracer"));
    QCOMPARE(m->Button2->text(), QString("Zero"));

    TFormRVB* t = main->FormRVB;
    QVERIFY(t && !t->isVisible());
    QCOMPARE(t->windowTitle(), QString("Tricolour"));
    QStringList headers;
    for (int c = 1; c < 4; ++c) headers << t->Table->horizontalHeaderItem(c)->text();
    QCOMPARE(headers, QStringList({"Blue", "Grn.", "Red"}));
    QVERIFY(t->Edit1->isReadOnly());

    QVERIFY(main->Mridienne1->isEnabled());
    QVERIFY(main->Trichromie1->isEnabled());
    TForm1* w = OpenParaboloid();
    QVERIFY(w->MidLineAction->isEnabled());
    QCOMPARE(w->MidLineAction->text(), QString("Mid-line"));
  }

  void commandsDoNothingWithoutTheirData() {
    main->Mridienne1->trigger();  // no image window
    QVERIFY(!MidLine()->isVisible());
    main->Trichromie1->trigger();  // no polychromatic test
    QVERIFY(!main->FormRVB->isVisible());
    QVERIFY(platform->Warnings.isEmpty());
  }

  void showsTheProfileOfTheActiveWavefront() {
    OpenParaboloid("Other");
    TForm1* w = OpenParaboloid("Wavefront Mono");
    Activate(w);
    main->Mridienne1->trigger();
    TFormMeridienne* m = MidLine();
    QVERIFY(m->isVisible());
    QCOMPARE(m->Fenetre.data(), w);
    QCOMPARE(m->Chart->title(), QString("Wavefront Mono"));
    QCOMPARE(m->AxisY->titleText(), QString("Path difference (nm)"));
    QCOMPARE(m->AxisX->titleText(), QString("Coordonnée radiale (mm)"));
    const QList<QPointF> curve = Curve(m);
    QCOMPARE(curve.size(), 41);
    for (int i = 0; i <= 40; ++i) {
      const double t = i - 20;
      QVERIFY(std::abs(curve[i].x() - 5 * t) < 1e-9);
      QVERIFY(std::abs(curve[i].y() - (5 * t + 50 * (t / 20) * (t / 20))) < 1e-9);
    }
    // The axis holds the grid's whole range.
    QCOMPARE(m->AxisY->min(), w->Grid->MinValue);
    QCOMPARE(m->AxisY->max(), w->Grid->MaxValue);
    // The diameter is marked on the picture, across the pupil.
    const TShape& mark = w->Grid->Shapes[3];
    QVERIFY(mark.Visible);
    QCOMPARE(w->Grid->ColumnOf(mark.X1), 3);
    QCOMPARE(w->Grid->ColumnOf(mark.X2), 43);
    QCOMPARE(w->Grid->RowOf(mark.Y1), 23);

    // Closing the window takes the mark off.
    m->CloseButton->click();
    QVERIFY(!m->isVisible());
    QVERIFY(!w->Grid->Shapes[3].Visible);
  }

  void azimuthStepZoomAndZero() {
    TForm1* w = OpenParaboloid();
    main->Mridienne1->trigger();
    TFormMeridienne* m = MidLine();
    m->SpinEdit1->setValue(90);
    QVERIFY(std::abs(w->Grid->Angle - kPi / 2) < 1e-15);
    // Upwards from below the centre: only the paraboloid is left.
    QCOMPARE(m->Profile().Row1, 43);
    QCOMPARE(m->Profile().Row2, 3);
    const QList<QPointF> curve = Curve(m);
    QCOMPARE(curve.size(), 41);
    QVERIFY(std::abs(curve.front().y() - 50) < 1e-9);
    QVERIFY(std::abs(curve[20].y()) < 1e-9);

    m->SpinEdit2->setValue(15);
    QCOMPARE(m->SpinEdit1->singleStep(), 15);
    m->SpinEdit3->setValue(2);
    QCOMPARE(Curve(m).size(), 21);  // t = -10 .. 10

    m->Button2->click();
    QCOMPARE(m->SpinEdit1->value(), 0);
    QCOMPARE(w->Grid->Angle, 0.0);

    // Each grid keeps its direction: the control shows it when reopened.
    w->Grid->Angle = -kPi / 4;
    main->Mridienne1->trigger();
    QCOMPARE(m->SpinEdit1->value(), -45);
  }

  void contextMenuOpensTheWindow() {
    TForm1* w = OpenParaboloid();
    w->MidLineAction->trigger();
    QVERIFY(MidLine()->isVisible());
    QCOMPARE(MidLine()->Fenetre.data(), w);
    QCOMPARE(Curve(MidLine()).size(), 41);
  }

  void followsTheProfiledGridAndItsWindow() {
    TForm1* w = OpenParaboloid();
    main->Mridienne1->trigger();
    TFormMeridienne* m = MidLine();
    w->Grid->MultiplyBy(2);
    Session().NotifyGridValues(w->Grid.get());
    QVERIFY(std::abs(Curve(m).front().y() - 2 * (-100 + 50)) < 1e-9);

    // Another window's values leave the curve alone.
    TForm1* other = OpenParaboloid("Other");
    other->Grid->MultiplyBy(3);
    Session().NotifyGridValues(other->Grid.get());
    QVERIFY(std::abs(Curve(m).front().y() - 2 * (-100 + 50)) < 1e-9);

    // Opening again on another window moves the mark there.
    main->Mridienne1->trigger();
    QCOMPARE(m->Fenetre.data(), other);
    QVERIFY(!w->Grid->Shapes[3].Visible);
    QVERIFY(other->Grid->Shapes[3].Visible);

    // The profiled window closes: nothing is left to show.
    platform->Answers = {true};
    QVERIFY(other->close());
    QVERIFY(m->Fenetre.isNull());
    QVERIFY(Curve(m).isEmpty());
    QVERIFY(m->Profile().Points.empty());
  }

  void tricolourFollowsAPolychromaticReconstruction() {
    QVERIFY(OpenSimulatedStarPair(*main, *platform, *dir));
    // A simple-mode result is no colour test.
    Parametres.ModeTraitement = 0;
    main->Reconstruire->trigger();
    main->Trichromie1->trigger();
    QVERIFY(!main->FormRVB->isVisible());

    RunThreeColours();
    Preferences.Valeurs.PoidsB = 1;
    Preferences.Valeurs.PoidsV = 2;
    Preferences.Valeurs.PoidsR = 3;
    main->Trichromie1->trigger();
    TFormRVB* t = main->FormRVB;
    QVERIFY(t->isVisible());
    QCOMPARE(t->FrontBleu.lock(), RoddierBlue->Wavefront);
    QCOMPARE(t->FrontVert.lock(), RoddierGreen->Wavefront);
    QCOMPARE(t->FrontRouge.lock(), RoddierRed->Wavefront);
    const QStringList rows = Rows(t->Table);
    QCOMPARE(rows.size(), 6);
    QCOMPARE(rows[0], QString("Lambda (nm)|450|530|630"));
    QStringList names;
    for (const QString& r : rows) names << r.section('|', 0, 0);
    QCOMPARE(names, QStringList({"Lambda (nm)", "Foyers (mm)", "Defocus Z4 (nm RMS)",
                                 "Sphéricité Z11 (nm RMS)", "Ecart (nm RMS)", "Strehl"}));
    const double sB = RoddierBlue->Wavefront->Strehl, sV = RoddierGreen->Wavefront->Strehl,
                 sR = RoddierRed->Wavefront->Strehl;
    QVERIFY(sB > 0 && sB <= 1);
    QCOMPARE(rows[5], QString::asprintf("Strehl|%.3f|%.3f|%.3f", sB, sV, sR));
    QCOMPARE(t->Edit1->text(), QString::asprintf("%.3f", (sB + 2 * sV + 3 * sR) / 6));

    // The next three-colour run is shown while the window is open.
    const std::shared_ptr<TPupille> oldBlue = RoddierBlue->Wavefront;
    RunThreeColours(470.0);
    QVERIFY(RoddierBlue->Wavefront != oldBlue);
    QCOMPARE(t->FrontBleu.lock(), RoddierBlue->Wavefront);
    QCOMPARE(Rows(t->Table)[0], QString("Lambda (nm)|470|530|630"));

    // A new test hides it and lets the wavefronts go.
    platform->Answers = {true};
    main->FileNew1->trigger();
    QVERIFY(!t->isVisible());
    QVERIFY(t->FrontBleu.expired());
    QCOMPARE(t->Table->rowCount(), 0);
  }
};

static RegisterUiTest<MidLineTricolourTest> registerMidLineTricolourTest;

}  // namespace caustica::test

#include "test_midline_tricolour.moc"
