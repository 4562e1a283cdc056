// The Zernike results window: its list over the active wavefront, terms
// switched off and on in the map, the other windows following, the
// coefficient file and how the window follows the session.
#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <optional>

#include "analysis/u_resultats_form.h"
#include "analysis/u_saisie_1zernike_form.h"
#include "analysis/zernike_coefficients_file.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "app/session.h"
#include "app/u_FormInfos.h"
#include "core/u_math.h"
#include "scripted_platform.h"
#include "setup/u_prefs.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"
#include "ui_test_registry.h"

namespace caustica::test {
namespace {

// A wavefront of count circle terms, term k worth k RMS nanometres, plus a
// bump that no term describes.
std::shared_ptr<TPupille> Wavefront(int count = 22, int size = 48) {
  auto w = std::make_shared<TPupille>();
  w->Init(size, size);
  w->Kind = kKindWavefront;
  w->OriginColumn = w->OriginRow = (size + 1) / 2.0;
  w->PupilRadius = size / 2.0 - 2;
  w->Basis = MakeZernikeBasis(count, kCirclePolynomials);
  w->SetPupilAxes();
  for (int k = 1; k <= count; ++k) w->Coefficients[k] = k * w->Basis.NormFactors[k];
  SelectAll(w->Selected);
  w->SynthesiseFromZernike();
  for (int r = 1; r <= size; ++r)
    for (int c = 1; c <= size; ++c)
      if (w->Mask[1][r][c] == 1)
        w->Values[1][r][c] += 5.0 * std::exp(-((r - 15) * (r - 15) + (c - 30) * (c - 30)) / 6.0);
  w->HigherOrders = true;
  w->ComputeRange();
  w->DisplayLow = w->MinValue;
  w->DisplayHigh = w->MaxValue;
  w->MaskActive = true;
  w->PaletteIndex = 1;
  return w;
}

double MaxDifference(const TPupille& a, const TPupille& b) {
  double d = 0.0;
  for (int r = 1; r <= a.Ny; ++r)
    for (int c = 1; c <= a.Nx; ++c) d = std::max(d, std::abs(a.Values[1][r][c] - b.Values[1][r][c]));
  return d;
}

QString ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll());
}

}  // namespace

class ResultsWindowTest : public QObject {
  Q_OBJECT
  std::optional<ProgramStateGuard> state;
  std::unique_ptr<TScriptedPlatform> platform;
  std::unique_ptr<TMainForm> main;
  std::optional<ScratchDir> dir;
  TForm3* results = nullptr;

  QAbstractItemModel* Rows() const { return results->CheckListBox1->model(); }
  QString Cell(int row, int column) const { return Rows()->index(row, column).data().toString(); }
  void Tick(int row, bool ticked) {
    QVERIFY(Rows()->setData(Rows()->index(row, 0), ticked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole));
  }
  void SelectRow(int row) { results->CheckListBox1->setCurrentIndex(Rows()->index(row, 0)); }
  TForm1* OpenShown(std::shared_ptr<TPupille> grid, const QString& caption = "Wavefront") {
    TForm1* w = main->NewImageWindow(std::move(grid), caption);
    Session().ShowZernikeResults();
    return w;
  }

 private slots:
  void init() {
    state.emplace();
    platform = std::make_unique<TScriptedPlatform>();
    main = CreateApplicationWindows();
    Preferences.Valeurs = TkwValue{};
    ResetProgramState();
    SetDecimalSeparator('.');
    dir.emplace();
    results = main->Form3;
  }
  void cleanup() {
    main.reset();
    ResetProgramState();
    dir.reset();
    platform.reset();
    state.reset();
  }

  void listsTheActiveWavefrontWithItsColumns() {
    QVERIFY(results);
    QVERIFY(results->isHidden());
    QCOMPARE(results->windowTitle(), QString("Zernike polynomials"));
    OpenShown(Wavefront(22));
    QVERIFY(!results->isHidden());
    QCOMPARE(Rows()->rowCount(), 23);
    QCOMPARE(Rows()->headerData(0, Qt::Horizontal).toString(), QString("Polynomials"));
    QCOMPARE(Rows()->headerData(1, Qt::Horizontal).toString(), QString("Coefficient"));
    QCOMPARE(Rows()->headerData(2, Qt::Horizontal).toString(), QString("Value"));
    QCOMPARE(Rows()->headerData(3, Qt::Horizontal).toString(), QString("Alert"));
    QCOMPARE(Cell(5, 0), QString("Astigmatisme (sin)"));
    QCOMPARE(Cell(5, 1), QString("Z6 (2,-2)"));
    QCOMPARE(Cell(5, 2), QString("6.00"));  // RMS-normalised by default
    QCOMPARE(Cell(22, 0), QString("Ordres sup."));
    QCOMPARE(Rows()->index(22, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));

    // Warning values and decimals come in with the display preferences.
    Preferences.Valeurs.Alertes[6] = 6.0;
    Preferences.Valeurs.Alertes[7] = 20.0;  // raw coefficient 7 sqrt(8) = 19.8
    Preferences.Valeurs.NDecNano = 0;
    Preferences.Valeurs.NormRMS = 0;
    Session().NotifyDisplayPreferences();
    QCOMPARE(Cell(5, 3), QString("!!!"));
    QCOMPARE(Cell(6, 3), QString(""));
    QCOMPARE(Cell(3, 2), QString::fromStdString(FormatFixed(4 * std::sqrt(3.0), 0)));
  }

  void togglingATermKeepsTheSelectionInvariant() {
    TForm1* w = OpenShown(Wavefront(22));
    TPupille before;
    before.CloneFrom(*w->Grid);
    Tick(10, false);
    QVERIFY(!w->Grid->Selected[11]);
    QCOMPARE(Rows()->index(10, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(MaxDifference(*w->Grid, before) > 1.0);
    Tick(10, true);
    QVERIFY(w->Grid->Selected[11]);
    QVERIFY(MaxDifference(*w->Grid, before) < 1e-9);

    // The higher orders off and on: the polynomials alone, then exactly the measured map.
    Tick(22, false);
    QVERIFY(w->MeasuredMap);
    QVERIFY(!w->Grid->HigherOrders);
    Tick(22, true);
    QVERIFY(!w->MeasuredMap);
    QCOMPARE(MaxDifference(*w->Grid, before), 0.0);
  }

  void aToggleRedrawsTheMapAndThePanel() {
    TForm1* w = OpenShown(Wavefront(22));
    Session().ShowInformationPanel(true);
    TFormInfos* panel = main->FormInfos;
    const QString rms = panel->EditRmsNano->text();
    const QString ptv = panel->EditPtvNano->text();
    const TRaster picture = w->Surface.Picture;
    QSignalSpy values(&Session(), &TSession::GridValuesChanged);
    results->Slectionnerdslectionnertiltetfocus1Click();
    QCOMPARE(values.count(), 1);
    QCOMPARE(values.at(0).at(0).value<const TPupille*>(), w->Grid.get());
    for (int k = 1; k <= 4; ++k) QVERIFY(!w->Grid->Selected[k]);
    QVERIFY(w->Surface.Picture.Rgb != picture.Rgb);
    QVERIFY(panel->EditRmsNano->text() != rms);
    QVERIFY(panel->EditPtvNano->text() != ptv);
    // The list still shows the wavefront as it now is.
    QCOMPARE(Rows()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
  }

  void commandsChangeTheirRowsAndApply() {
    TForm1* w = OpenShown(Wavefront(22));
    results->SlectionnerDslectionnerlacoma1Click();
    for (int k : {7, 8, 16, 17}) QVERIFY(!w->Grid->Selected[k]);
    QVERIFY(w->Grid->Selected[6]);
    results->Inverserlaslection1Click();
    for (int k = 1; k <= 22; ++k) QCOMPARE(w->Grid->Selected[k], k == 7 || k == 8 || k == 16 || k == 17);
    QVERIFY(!w->Grid->HigherOrders);
    results->Toutslectionner1Click();
    QVERIFY(w->Grid->HigherOrders);
    QVERIFY(!w->MeasuredMap);

    // One aberration alone: term 5 and nothing else, not even the bump.
    SelectRow(4);
    results->Slectionnercepolynme1Click();
    for (int k = 1; k <= 22; ++k) QCOMPARE(w->Grid->Selected[k], k == 5);
    QVERIFY(!w->Grid->HigherOrders);
    TPupille alone;
    alone.CloneFrom(*w->Grid);
    ClearCoefficients(alone.Coefficients);
    alone.Coefficients[5] = w->Grid->Coefficients[5];
    alone.SynthesiseFromZernike();
    QVERIFY(MaxDifference(*w->Grid, alone) < 1e-9);
    results->Toutdslectionner1Click();
    QCOMPARE(w->Grid->MaxValue, 0.0);
    QCOMPARE(w->Grid->MinValue, 0.0);
  }

  void anotherKindOfImageIgnoresTheList() {
    TForm1* front = OpenShown(Wavefront(22));
    auto image = Wavefront(22);
    image->Kind = kKindIntra;
    main->NewImageWindow(image, "intra.fit");
    QVERIFY(!results->CheckListBox1->isEnabled());
    TPupille before;
    before.CloneFrom(*image);
    results->Toutdslectionner1Click();
    QCOMPARE(MaxDifference(*image, before), 0.0);
    QVERIFY(front->Grid->HigherOrders);
    QVERIFY(image->HigherOrders);
  }

  void followsTheActiveWavefrontAndHidesWithTheLastWindow() {
    TForm1* a = OpenShown(Wavefront(22), "a");
    TForm1* b = main->NewImageWindow(Wavefront(15), "b");
    QCOMPARE(results->ShownWindow(), b);
    QCOMPARE(Rows()->rowCount(), 16);
    main->MdiArea->setActiveSubWindow(a);
    QCOMPARE(Rows()->rowCount(), 23);
    // A change made elsewhere to the shown wavefront is listed.
    a->Grid->Coefficients[5] = 0.0;
    Session().NotifyGridValues(a->Grid.get());
    QCOMPARE(Cell(4, 2), QString("0.00"));

    platform->Answers = {true, true};
    QVERIFY(a->close());
    QVERIFY(!results->isHidden());
    QVERIFY(b->close());
    QVERIFY(results->isHidden());
    QCOMPARE(Rows()->rowCount(), 0);

    OpenShown(Wavefront(8));
    QVERIFY(!results->isHidden());
    platform->Answers = {true};
    main->FileNew1Execute();
    QVERIFY(results->isHidden());
  }

  void theMenusAndTheCommandsShowIt() {
    QVERIFY(main->EnregistrerZernike1->isEnabled());
    QVERIFY(main->ZernikeCoefficients1->isEnabled());
    main->NewImageWindow(Wavefront(22), "Wavefront");
    QVERIFY(results->isHidden());
    main->ZernikeCoefficients1->trigger();
    QVERIFY(!results->isHidden());
    results->hide();
    main->Ajuster1->trigger();
    QVERIFY(!results->isHidden());
    QVERIFY(main->statusBar()->currentMessage().startsWith("Adjust: "));
  }

  void coefficientFileHoldsTheNormalisedTerms() {
    Preferences.Valeurs.NPolyZern = 22;
    SetZernikeBasis(36, kAnnularPolynomials);  // not the wavefront's basis
    OpenShown(Wavefront(22));
    const QString chosen = QString::fromStdString(dir->File("mirror"));
    platform->Files = {chosen};
    main->EnregistrerZernike1->trigger();
    QCOMPARE(platform->FileRequests.size(), 1);
    QCOMPARE(platform->FileRequests[0].Filter, QString("Text files (*.txt)|*.txt"));
    QCOMPARE(platform->FileRequests[0].ProposedName, QString("Zernike polynomials"));
    QString expected;
    for (int k = 1; k <= 22; ++k)
      expected += QString("%1;%2;%3\r\n").arg(k).arg(QString::fromStdString(ZernikeTermName(k))).arg(k);
    QCOMPARE(ReadAll(chosen + ".txt"), expected);
    QVERIFY(expected.contains(QString::fromUtf8("11;Sph\xC3\xA9ricit\xC3\xA9;11\r\n")));
    QVERIFY(platform->Warnings.isEmpty());

    // The context menu's entry writes the same; a folder that is not there is refused.
    platform->Files = {QString::fromStdString(dir->File("none/mirror"))};
    results->SaveAction->trigger();
    QCOMPARE(platform->Warnings.size(), 1);
    // Cancelled: nothing written, nothing said.
    results->Enregistrerlescoefficients1Click();
    QCOMPARE(platform->Warnings.size(), 1);
  }

  void modifyShowsTheSingleTermDialogAndFreesIt() {
    OpenShown(Wavefront(22));
    results->Modifiercetteaberration1Click();  // no row selected: nothing
    SelectRow(6);
    QString shown;
    QTimer::singleShot(0, [&shown] {
      if (auto* d = qobject_cast<TForm1Zernike*>(QApplication::activeModalWidget())) {
        shown = d->windowTitle();
        d->BitBtnCancel->click();
      }
    });
    const bool before =
        results->CheckListBox1->model()->index(6, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    results->Modifiercetteaberration1Click();
    QCOMPARE(shown, QString("Coma (cos)"));
    QVERIFY(results->findChildren<TForm1Zernike*>().isEmpty());
    QCOMPARE(Rows()->index(6, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked, before);
  }
};

static RegisterUiTest<ResultsWindowTest> registerResultsWindowTest;

}  // namespace caustica::test

#include "test_results_window.moc"
