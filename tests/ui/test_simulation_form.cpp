// The simulation parameters window: what it shows on opening, what OK and
// Cancel keep, "RAZ", "All", the obstruction written at once, and the main
// window's entries that use it.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <optional>

#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "scripted_platform.h"
#include "setup/saisie_zernike_form.h"
#include "setup/u_prefs.h"
#include "setup/u_saisie_zernike.h"
#include "support/program_state_guard.h"
#include "ui_test_registry.h"

namespace caustica::test {

class SimulationFormTest : public QObject {
  Q_OBJECT
  std::optional<ProgramStateGuard> state;

 private slots:
  void init() {
    state.emplace();
    Simulation = TSimulation{};
    Preferences.Valeurs = TkwValue{};
    SetZernikeBasis(36, 1);  // so that opening visibly changes it
  }
  void cleanup() { state.reset(); }

  void firstOpeningShowsTheEmptySimulation() {
    TFormSaisieZern form;
    QCOMPARE(form.windowTitle(), QString("Simulation parameters"));
    QCOMPARE(form.CoefficientGroup->title(), QString("Zernike coefficients (nm RMS)"));
    QCOMPARE(form.DimensionList->count(), 5);
    QCOMPARE(form.DimensionList->currentText(), QString("64"));
    QCOMPARE(form.SpinEditRayon->value(), 0);
    QCOMPARE(form.SpinEditObstruction->value(), 0);
    QCOMPARE(form.SpinEditObstruction->maximum(), 99);
    QVERIFY(form.CheckBoxTous->isChecked());
    QCOMPARE(form.CheckBoxTous->text(), QString("All"));
    for (int k = 2; k <= 22; ++k) {
      QCOMPARE(form.CoefficientFields[k]->text(), QString("0.00"));
      QVERIFY(form.TermBoxes[k]->isChecked());
      QCOMPARE(form.TermBoxes[k]->text(), QString("Z%1").arg(k));
      QVERIFY(!form.TermGroups[k]->title().isEmpty());
      QVERIFY(!form.Previews[k]->pixmap().isNull());
      QCOMPARE(form.Previews[k]->pixmap().width(), 80);
    }
    // The previews replace the basis by 22 annular terms.
    QCOMPARE(int(ZernikeBasis.PolynomialCount), 22);
    QCOMPARE(ZernikeBasis.PolynomialType, kAnnularPolynomials);
    // Terms 16 and 17 share a name.
    QCOMPARE(form.TermGroups[16]->title(), form.TermGroups[17]->title());
  }

  void okStoresNormalisedEntriesAndReopeningShowsThemAgain() {
    Preferences.Valeurs.NormRMS = 1;
    {
      TFormSaisieZern form;
      form.CoefficientFields[4]->setText("10");
      form.CoefficientFields[7]->setText("abc");  // not a number: 0
      form.TermBoxes[5]->setChecked(false);
      form.DimensionList->setCurrentIndex(2);
      form.SpinEditRayon->setValue(100);
      form.SpinEditMin->setValue(-3);
      form.SpinEditMax->setValue(7);
      form.ButtonOK->click();
      QCOMPARE(form.result(), int(QDialog::Accepted));
    }
    QCOMPARE(Simulation.CoefZern[4], 10.0 * std::sqrt(3.0));
    QCOMPARE(Simulation.CoefZern[7], 0.0);
    QVERIFY(!Simulation.SelZern[5]);
    QVERIFY(Simulation.SelZern[4]);
    QVERIFY(!Simulation.SelZern[1]);
    QCOMPARE(Simulation.Dimension, 256);
    QCOMPARE(Simulation.IndexDimension, 2);
    QCOMPARE(Simulation.RayonPupille, 100);
    QCOMPARE(Simulation.NiveauMin, -3.0);
    QCOMPARE(Simulation.NiveauMax, 7.0);

    TFormSaisieZern again;
    QCOMPARE(again.CoefficientFields[4]->text(), QString("10.00"));
    QCOMPARE(again.DimensionList->currentText(), QString("256"));
    QCOMPARE(again.SpinEditRayon->value(), 100);
    // Switches do not survive an opening: every box ticked again.
    QVERIFY(again.TermBoxes[5]->isChecked());
  }

  void razThenCancelKeepsTheCoefficients() {
    Simulation.CoefZern[6] = 25.0;
    Preferences.Valeurs.NormRMS = 0;
    TFormSaisieZern form;
    QCOMPARE(form.CoefficientFields[6]->text(), QString("25.00"));
    form.ButtonRAZ->click();
    for (int k = 2; k <= 22; ++k) QCOMPARE(form.CoefficientFields[k]->text(), QString("0.00"));
    form.ButtonCancel->click();
    QCOMPARE(form.result(), int(QDialog::Rejected));
    QCOMPARE(Simulation.CoefZern[6], 25.0);
  }

  void allTogglesEveryTermBox() {
    TFormSaisieZern form;
    form.CheckBoxTous->click();
    for (int k = 2; k <= 22; ++k) QVERIFY(!form.TermBoxes[k]->isChecked());
    form.CheckBoxTous->click();
    for (int k = 2; k <= 22; ++k) QVERIFY(form.TermBoxes[k]->isChecked());
  }

  void obstructionIsWrittenAtOnceEvenWhenCancelled() {
    TFormSaisieZern form;
    const QImage before = form.Previews[4]->pixmap().toImage();
    form.SpinEditObstruction->setValue(50);
    QCOMPARE(Simulation.ObstructionCentrale, 0.5);
    QVERIFY(form.Previews[4]->pixmap().toImage() != before);  // drawn again with the hole
    form.ButtonCancel->click();
    QCOMPARE(Simulation.ObstructionCentrale, 0.5);
    TFormSaisieZern again;
    QCOMPARE(again.SpinEditObstruction->value(), 50);
  }

  void mainWindowEntryThenWavefrontCommand() {
    TScriptedPlatform platform;
    std::unique_ptr<TMainForm> main = CreateApplicationWindows();
    ResetProgramState();
    QVERIFY(main->Simulations1->isEnabled());
    main->Frontdonde1->trigger();  // nothing while no size was confirmed
    QCOMPARE(main->MDIChildCount(), 0);

    bool seen = false;
    QTimer::singleShot(0, [&seen] {
      auto* form = qobject_cast<TFormSaisieZern*>(QApplication::activeModalWidget());
      QVERIFY(form);
      seen = true;
      form->DimensionList->setCurrentIndex(1);
      form->SpinEditRayon->setValue(50);
      form->CoefficientFields[5]->setText("30");
      form->ButtonOK->click();
    });
    main->Simulations1->trigger();
    QVERIFY(seen);
    QCOMPARE(Simulation.Dimension, 128);
    // The window is released once closed.
    QVERIFY(main->findChildren<TFormSaisieZern*>().isEmpty());

    main->Frontdonde1->trigger();
    QCOMPARE(main->MDIChildCount(), 1);
    TForm1* w = main->ImageWindows().constFirst();
    QCOMPARE(w->windowTitle(), QString("Wavefront"));
    QCOMPARE(w->Grid->Nx, 128);
    main.reset();
    ResetProgramState();
  }
};

static RegisterUiTest<SimulationFormTest> registerSimulationForm;

}  // namespace caustica::test

#include "test_simulation_form.moc"
