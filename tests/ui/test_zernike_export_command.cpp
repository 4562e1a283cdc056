// "Export Zernike coefficients...": where it sits, what it asks, the file it
// writes for the active wavefront, and its refusals and failures.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <optional>

#include "analysis/zernike_conventions.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "scripted_platform.h"
#include "setup/u_prefs.h"
#include "setup/u_saisie_zernike.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"
#include "ui_test_registry.h"

namespace caustica::test {

class ZernikeExportCommandTest : public QObject {
  Q_OBJECT
  std::optional<test::ProgramStateGuard> state;
  std::unique_ptr<TScriptedPlatform> platform;
  std::unique_ptr<TMainForm> main;

  TForm1* OpenWavefront() {
    Simulation = TSimulation{};
    Simulation.Dimension = 48;
    Simulation.RayonPupille = 20;
    Simulation.CoefZern[11] = 50;
    Simulation.CoefZern[6] = -20;
    SelectAll(Simulation.SelZern);
    main->Frontdonde1->trigger();
    return main->ImageWindows().constLast();
  }

 private slots:
  void init() {
    state.emplace();
    platform = std::make_unique<TScriptedPlatform>();
    main = CreateApplicationWindows();
    Preferences.Valeurs = TkwValue{};
    ResetProgramState();
  }
  void cleanup() {
    main.reset();
    ResetProgramState();
    platform.reset();
    state.reset();
  }

  void sitsAfterSaveZernikeCoefficientsEnabled() {
    const QList<QAction*> file = main->menuBar()->actions().constFirst()->menu()->actions();
    const qsizetype save = file.indexOf(main->EnregistrerZernike1);
    QVERIFY(save >= 0);
    QCOMPARE(file.value(save + 1), main->ExporterZernike1);
    QCOMPARE(main->ExporterZernike1->text(), QString("Export Zernike coefficients..."));
    QVERIFY(main->ExporterZernike1->isEnabled());
  }

  void refusesWithoutAWavefront() {
    main->ExporterZernike1->trigger();
    QCOMPARE(platform->Warnings, QStringList{"Action impossible. Select a wavefront image."});
    QVERIFY(platform->ChoiceLabels.isEmpty());
    QVERIFY(platform->FileRequests.isEmpty());
  }

  void writesTheChosenOrderingAndNormalisation() {
    ScratchDir dir;
    TForm1* w = OpenWavefront();
    platform->Choices = {2, 0};  // ANSI, RMS-normalised
    platform->Files = {QString::fromStdString(dir.File("coefficients"))};
    main->ExporterZernike1->trigger();
    QVERIFY2(platform->Warnings.isEmpty(), qPrintable(platform->Warnings.join('\n')));
    QCOMPARE(platform->FileRequests.size(), 1);
    QCOMPARE(platform->FileRequests[0].ProposedName, QString("zernike_ansi.csv"));
    QVERIFY(platform->FileRequests[0].AskOverwrite);
    const std::string written = ReadBytes(dir.File("coefficients.csv"));
    // The wavefront has no wavelength of its own: the reference one of the preferences.
    QCOMPARE(written, ZernikeExportText(*w->Grid, {TZernikeOrdering::Ansi, true, 555.0}));
    QVERIFY(written.find("# ordering: ansi") != std::string::npos);
    QVERIFY(written.find("# wavelength: 555.000 nm") != std::string::npos);

    // Fringe proposes "not normalised" first.
    platform->Choices = {3, 1};
    platform->Files = {QString::fromStdString(dir.File("fringe.csv"))};
    main->ExporterZernike1->trigger();
    QVERIFY(platform->ChoiceLabels.last().endsWith("[1]"));
    QCOMPARE(ReadBytes(dir.File("fringe.csv")),
             ZernikeExportText(*w->Grid, {TZernikeOrdering::Fringe, false, 555.0}));
  }

  void cancellingAnyQuestionWritesNothing() {
    OpenWavefront();
    platform->Choices = {};  // ordering cancelled
    main->ExporterZernike1->trigger();
    platform->Choices = {1};  // normalisation cancelled
    main->ExporterZernike1->trigger();
    QVERIFY(platform->FileRequests.isEmpty());
    platform->Choices = {1, 0};  // no file name
    main->ExporterZernike1->trigger();
    QCOMPARE(platform->FileRequests.size(), 1);
    QVERIFY(platform->Warnings.isEmpty());
  }

  void aFailedWriteIsShown() {
    ScratchDir dir;
    OpenWavefront();
    platform->Choices = {1, 0};
    platform->Files = {QString::fromStdString(dir.File("missing/folder/z.csv"))};
    main->ExporterZernike1->trigger();
    QCOMPARE(platform->Warnings.size(), 1);
    QVERIFY(!platform->Warnings[0].isEmpty());
  }
};

static RegisterUiTest<ZernikeExportCommandTest> registerZernikeExportCommandTest;

}  // namespace caustica::test

#include "test_zernike_export_command.moc"
