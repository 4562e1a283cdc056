// The preferences dialog: what it shows, OK / Cancel / Reset and the file
// they write, the immediate wavelength edits, the fit boxes, the folder
// buttons, the reconstruction method, the alert editor, and the main
// window's entries that use them.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <optional>

#include "analysis/u_zernike.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "scripted_platform.h"
#include "setup/prefs_form.h"
#include "setup/reconstruction_method.h"
#include "setup/saisie_zernike_form.h"
#include "setup/u_prefs.h"
#include "setup/u_saisie_zernike.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"
#include "ui_test_registry.h"

namespace caustica::test {
namespace {

// The settings files beside the test program, put back as they were.
class KeptFile {
 public:
  explicit KeptFile(std::string path) : path_(std::move(path)) {
    QFile f(QString::fromStdString(path_));
    if (f.open(QIODevice::ReadOnly)) saved_ = f.readAll();
    QFile::remove(QString::fromStdString(path_));
  }
  ~KeptFile() {
    QFile::remove(QString::fromStdString(path_));
    if (!saved_) return;
    QFile f(QString::fromStdString(path_));
    if (f.open(QIODevice::WriteOnly)) f.write(*saved_);
  }
  bool Exists() const { return QFile::exists(QString::fromStdString(path_)); }
  std::string Text() const { return ReadBytes(path_); }

 private:
  std::string path_;
  std::optional<QByteArray> saved_;
};

void Retype(QLineEdit* field, const QString& text) {
  field->selectAll();
  QTest::keyClicks(field, text);
}

}  // namespace

class PrefsFormTest : public QObject {
  Q_OBJECT
 private:
  std::optional<test::ProgramStateGuard> state;  // first made, last undone
  std::unique_ptr<TScriptedPlatform> platform;
  std::unique_ptr<TMainForm> main;
  std::unique_ptr<KeptFile> prefsFile, methodFile;
  TPrefs* prefs = nullptr;

 private slots:
  void init() {
    state.emplace();
    prefsFile = std::make_unique<KeptFile>(PreferencesFilePath());
    methodFile = std::make_unique<KeptFile>(ReconstructionSettingsFilePath());
    platform = std::make_unique<TScriptedPlatform>();
    main = CreateApplicationWindows();
    Preferences.Valeurs = TkwValue{};
    ImageFolderHistory.clear();
    ReconstructionMethod = TReconstructionMethod::Classic;
    SetZernikeBasis(Preferences.Valeurs.NPolyZern, Preferences.Valeurs.ModePoly);
    ResetProgramState();
    prefs = main->Prefs;
    prefs->FormShow();
  }
  void cleanup() {
    main.reset();
    ResetProgramState();
    platform.reset();
    state.reset();
    prefsFile.reset();
    methodFile.reset();
  }

  void showsTheValues() {
    QCOMPARE(prefs->windowTitle(), QString("Preferences"));
    QVERIFY(main->Prfrences1->isEnabled());
    QStringList tabs;
    for (int i = 0; i < prefs->Tabs->count(); ++i) tabs << prefs->Tabs->tabText(i);
    QCOMPARE(tabs, (QStringList{"Display", "Algorithms", "Constants", "Adjustment", "Files"}));
    QCOMPARE(prefs->Palettes[1]->currentText(), QString("False colours 1."));
    QCOMPARE(prefs->Palettes[3]->currentIndex(), 5);
    QVERIFY(!prefs->Previews[0]->pixmap().isNull());
    QCOMPARE(prefs->ComboExtractDim->currentText(), QString("16"));
    QCOMPARE(prefs->EditLambdaRef->text(), QString("555.00"));
    QCOMPARE(prefs->ComboNormRMS->currentText(), QString("RMS value"));
    QCOMPARE(prefs->ComboMethod->currentText(), QString("Classic"));
    QVERIFY(prefs->CheckSubComa->isEnabled());
    prefs->CheckAjustAuto->click();
    QVERIFY(!prefs->CheckSubComa->isEnabled());
    QVERIFY(!prefs->CheckSubTiltFocus->isEnabled());
    // A size that is not in the list selects nothing, and OK keeps it.
    Preferences.Valeurs.ExtractDim = 20;
    prefs->FormShow();
    QCOMPARE(prefs->ComboExtractDim->currentIndex(), -1);
    prefs->ButtonOK->click();
    QCOMPARE(int(Preferences.Valeurs.ExtractDim), 20);
  }

  void okStoresWritesAndSetsTheBasis() {
    prefs->SpinNPolyZern->setValue(36);
    prefs->ComboModePoly->setCurrentIndex(1);
    prefs->EditLambdaB->setText("450.5");
    prefs->EditPoidsR->setText("heavy");  // not a number: 0
    prefs->ComboExtractDim->setCurrentIndex(3);
    prefs->Decimals[0]->setValue(3);
    prefs->ComboMethod->setCurrentIndex(1);
    prefs->ButtonOK->click();
    QCOMPARE(prefs->result(), int(QDialog::Accepted));
    QVERIFY(platform->Warnings.isEmpty());
    const TkwValue& v = Preferences.Valeurs;
    QCOMPARE(int(v.NPolyZern), 36);
    QCOMPARE(int(v.ModePoly), 1);
    QCOMPARE(v.LambdaB, 450.5);
    QCOMPARE(v.PoidsR, 0.0);
    QCOMPARE(int(v.ExtractDim), 64);
    QCOMPARE(int(v.NDecNano), 3);
    QCOMPARE(int(ZernikeBasis.PolynomialCount), 36);
    QCOMPARE(int(ZernikeBasis.PolynomialType), 1);
    QCOMPARE(prefsFile->Text(), PreferencesText(Preferences, ImageFolderHistory));
    QCOMPARE(ReconstructionMethod, TReconstructionMethod::Accurate);
    QCOMPARE(methodFile->Text(), ReconstructionSettingsText(TReconstructionMethod::Accurate));
    // The next opening shows what was stored.
    prefs->FormShow();
    QCOMPARE(prefs->ComboMethod->currentText(), QString("Accurate"));
    QCOMPARE(prefs->EditLambdaB->text(), QString("450.50"));
  }

  void resetThenOkKeepsTheImageHistory() {
    Preferences.Valeurs.FichierAide = "/doc/index.htm";
    Preferences.Valeurs.DossierRapports = "/reports";
    Preferences.Valeurs.NIter = 9;
    ImageFolderHistory = {"/images/a", "/images/b"};
    prefs->FormShow();
    prefs->ButtonReset->click();
    QCOMPARE(Preferences.Valeurs, TkwValue{});
    QCOMPARE(prefs->SpinNIter->value(), 3);
    QCOMPARE(prefs->EditAide->text(), QString());
    QVERIFY(!prefsFile->Exists());  // Reset writes nothing
    QCOMPARE(prefs->ComboDirImages->count(), 2);
    prefs->ButtonOK->click();
    const std::string text = prefsFile->Text();
    QVERIFY(text.find("Aide=\r\n") != std::string::npos);
    QVERIFY(text.find("Rapports=\r\n") != std::string::npos);
    QVERIFY(text.find("Images=/images/a\r\nImages=/images/b\r\n") != std::string::npos);
  }

  void cancelKeepsOnlyTheImmediateEdits() {
    Retype(prefs->EditLambdaRef, "632.8");
    QCOMPARE(Preferences.Valeurs.LambdaRef, 632.8);
    Retype(prefs->EditLambdaInterfero, "500");
    QCOMPARE(Preferences.Valeurs.LambdaInterfero, 500.0);
    prefs->SpinNIter->setValue(12);
    prefs->ButtonCancel->click();
    QCOMPARE(prefs->result(), int(QDialog::Rejected));
    QCOMPARE(Preferences.Valeurs.LambdaRef, 632.8);
    QCOMPARE(int(Preferences.Valeurs.NIter), 3);
    QVERIFY(!prefsFile->Exists());
  }

  void folderButtonsGoThroughThePlatform() {
    ImageFolderHistory = {"/old"};
    prefs->FormShow();
    platform->Files = {"/new/images", "/new/reports", "/doc/home.html"};
    prefs->ButtonDirImages->click();
    QCOMPARE(ImageFolderHistory, (TImageFolderHistory{"/new/images", "/old"}));
    QCOMPARE(Preferences.Valeurs.DossierImages, std::string("/new/images"));
    QCOMPARE(prefs->ComboDirImages->currentText(), QString("/new/images"));
    prefs->ButtonRapports->click();
    QCOMPARE(Preferences.Valeurs.DossierRapports, std::string("/new/reports"));
    QCOMPARE(prefs->ComboRapports->currentText(), QString("/new/reports"));
    prefs->ButtonAide->click();
    QCOMPARE(Preferences.Valeurs.FichierAide, std::string("/doc/home.html"));
    QCOMPARE(prefs->EditAide->text(), QString("/doc/home.html"));
    // A cancelled chooser changes nothing.
    prefs->ButtonDirImages->click();
    QCOMPARE(ImageFolderHistory.size(), std::size_t{2});
    // Choosing an entry of the history puts it first.
    prefs->ComboboxDirImagesChange(1);
    QCOMPARE(ImageFolderHistory, (TImageFolderHistory{"/old", "/new/images"}));
  }

  void alertEditorWorksOnACopy() {
    Preferences.Valeurs.Alertes[30] = 4.0;
    const TSimulation simulation = Simulation;
    QString title;
    bool imagesHidden = false;
    QTimer::singleShot(0, [&] {
      auto* editor = qobject_cast<TFormSaisieZern*>(QApplication::activeModalWidget());
      QVERIFY(editor);
      title = editor->windowTitle();
      imagesHidden = editor->ImagesGroup->isHidden();
      editor->CoefficientFields[4]->setText("10");
      editor->ButtonOK->click();
    });
    prefs->ButtonEditor->click();
    QCOMPARE(title, QString("Enter the alert values"));
    QVERIFY(imagesHidden);
    QCOMPARE(Preferences.Valeurs.Alertes[4], 10.0 * std::sqrt(3.0));
    QCOMPARE(Preferences.Valeurs.Alertes[30], 4.0);
    QCOMPARE(Simulation.CoefZern, simulation.CoefZern);
    QCOMPARE(Simulation.SelZern, simulation.SelZern);

    QTimer::singleShot(0, [] {
      auto* editor = qobject_cast<TFormSaisieZern*>(QApplication::activeModalWidget());
      QVERIFY(editor);
      QCOMPARE(editor->CoefficientFields[4]->text(), QString("10.00"));
      editor->CoefficientFields[4]->setText("99");
      editor->ButtonCancel->click();
    });
    prefs->ButtonEditor->click();
    QCOMPARE(Preferences.Valeurs.Alertes[4], 10.0 * std::sqrt(3.0));
  }

  void mainWindowEntries() {
    auto grid = std::make_shared<TPupille>();
    grid->Init(4, 4);
    grid->Kind = kKindIntra;
    TForm1* w = main->NewImageWindow(grid, "image");
    QTimer::singleShot(0, [] {
      auto* dialog = qobject_cast<TPrefs*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      dialog->Palettes[0]->setCurrentIndex(3);
      dialog->ButtonOK->click();
    });
    main->Prfrences1->trigger();
    QCOMPARE(int(Preferences.Valeurs.PltSignal), 3);
    QCOMPARE(int(w->Grid->PaletteIndex), 3);

    QVERIFY(main->Valeursdalerte1->isEnabled());
    QTimer::singleShot(0, [] {
      auto* editor = qobject_cast<TFormSaisieZern*>(QApplication::activeModalWidget());
      QVERIFY(editor);
      editor->CoefficientFields[11]->setText("5");
      editor->ButtonOK->click();
    });
    main->Valeursdalerte1->trigger();
    QVERIFY(Preferences.Valeurs.Alertes[11] > 5.0);
    QCOMPARE(prefsFile->Text(), PreferencesText(Preferences, ImageFolderHistory));
  }
};

static RegisterUiTest<PrefsFormTest> registerPrefsForm;

}  // namespace caustica::test

#include "test_prefs_form.moc"
