// The test parameters dialog: the F/D coupling, the defocus from the image
// radii, units, source choices and their aberrations, "Ok" and Cancel, the
// image lists, defaults through the preferences file, and the whole road
// from the sample pair to the wavefront window.
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <optional>

#include "analysis/u_zernike.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "io/jpeg_file.h"
#include "scripted_platform.h"
#include "setup/parametres_form.h"
#include "setup/reconstruction_method.h"
#include "setup/run_settings.h"
#include "setup/u_prefs.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"
#include "ui_test_registry.h"

namespace caustica::test {
namespace {

const QString kSamples = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../resources/samples/");

std::shared_ptr<TPupille> Ramp(int kind, double radius) {
  auto g = std::make_shared<TPupille>();
  g->Init(4, 3);
  for (int r = 1; r <= 3; ++r)
    for (int c = 1; c <= 4; ++c) g->Values[1][r][c] = 10.0 * r + c;
  g->Kind = static_cast<std::uint8_t>(kind);
  g->PupilRadius = radius;
  return g;
}

void Retype(QLineEdit* field, const QString& text) {
  field->selectAll();
  QTest::keyClicks(field, text);
}

}  // namespace

class ParametresFormTest : public QObject {
  Q_OBJECT
 private:
  std::optional<test::ProgramStateGuard> state;  // first made, last undone
  std::unique_ptr<TScriptedPlatform> platform;
  std::unique_ptr<TMainForm> main;
  TFormParam* form = nullptr;

  TForm1* AddImage(bool intra, const QString& caption, double radius = 40.0) {
    TForm1* w = main->NewImageWindow(Ramp(intra ? kKindIntra : kKindExtra, radius), caption);
    (intra ? ListBoxIntra : ListBoxExtra).append({caption, w});
    return w;
  }

 private slots:
  void init() {
    state.emplace();
    platform = std::make_unique<TScriptedPlatform>();
    main = CreateApplicationWindows();
    Preferences.Valeurs = TkwValue{};
    SetZernikeBasis(Preferences.Valeurs.NPolyZern, Preferences.Valeurs.ModePoly);
    ResetProgramState();
    form = main->FormParam;
    form->FormShow();
  }
  void cleanup() {
    main.reset();
    ResetProgramState();
    platform.reset();
    state.reset();
  }

  void startsReset() {
    QCOMPARE(form->windowTitle(), QString("Test parameters"));
    QVERIFY(main->Paramtres1->isEnabled());
    QCOMPARE(form->Tabs->tabText(0), QString("Instrument used"));
    QCOMPARE(form->Tabs->tabText(1), QString("Source"));
    QCOMPARE(form->Tabs->tabText(2), QString("Additional information"));
    QCOMPARE(form->SpinDiametre->value(), 0);
    QCOMPARE(form->EditPixel->text(), QString("0"));
    QCOMPARE(form->SpinBinLogical->value(), 1);
    QVERIFY(form->RadioButton1->isChecked());
    QCOMPARE(form->ComboAngleUnit->currentText(), QString("Degrés"));
    QCOMPARE(form->ComboOrientation->currentIndex(), -1);
    QCOMPARE(form->ComboMode->currentText(), QString("Simple"));
    QCOMPARE(
        form->ModeExplanation->text(),
        QString(
            "The wavefront is reconstructed from the intra and extra focal images at the top of each list."));
    form->ComboMode->setCurrentIndex(1);
    QVERIFY(
        form->ModeExplanation->text().startsWith("The wavefronts are reconstructed for the three colors"));
  }

  void ratioAndFocalLengthFollowEachOther() {
    form->SpinDiametre->setValue(200);
    form->SpinFocale->setValue(2000);
    QCOMPARE(form->EditRapportFD->text(), QString("10"));
    Retype(form->EditRapportFD, "8");
    QCOMPARE(form->SpinFocale->value(), 1600);
    form->SpinDiametre->setValue(0);
    QCOMPARE(form->EditRapportFD->text(), QString("0"));
  }

  void defocusFromTheRadiiAndItsStrictFields() {
    form->SpinDiametre->setValue(200);
    form->SpinFocale->setValue(2000);
    form->EditPixel->setText("9");
    form->EditRayonIntra->setText("40");
    form->EditRayonExtra->setText("42");
    // The classic method keeps the first-order f / R; the accurate one
    // (the default) follows the rim ray's tangent, sqrt(f^2 - R^2) / R.
    ReconstructionMethod = TReconstructionMethod::Accurate;
    form->SpeedButton1->click();
    QCOMPARE(form->EditDefocalisation->text(), QString("7.371"));
    ReconstructionMethod = TReconstructionMethod::Classic;
    form->SpeedButton1->click();
    QCOMPARE(form->EditDefocalisation->text(), QString("7.380"));
    QCOMPARE(Parametres.Defocalisation, 7380000.0);
    QVERIFY(platform->Warnings.isEmpty());

    // A pixel size that is not a number stops with a message, nothing changed.
    form->EditPixel->setText("nine");
    form->EditRayonIntra->setText("50");
    form->SpeedButton1->click();
    QCOMPARE(platform->Warnings, QStringList{"'nine' is not a valid floating point value"});
    QCOMPARE(form->EditDefocalisation->text(), QString("7.380"));
    QCOMPARE(Parametres.Defocalisation, 7380000.0);
  }

  void distanceAndAngleUnits() {
    form->RadioButton2->setChecked(true);
    form->EditDistance->setText("1.5");
    form->ComboDistanceUnit->setCurrentIndex(1);
    QCOMPARE(form->DistanceObjet(), 1.5e9);
    form->ComboDistanceUnit->setCurrentIndex(-1);
    QCOMPARE(form->DistanceObjet(), 1.5e6);  // no unit: millimetres, and selected
    QCOMPARE(form->ComboDistanceUnit->currentText(), QString("millimetres"));
    form->EditAngle->setText("2");
    QCOMPARE(form->angleIncidence(), 2 * 3.141592653589 / 180);
    form->ComboAngleUnit->setCurrentIndex(1);
    QCOMPARE(form->angleIncidence(), 2.0);
  }

  void sourceChoicesAndTheirAberrations() {
    form->SpinDiametre->setValue(200);
    form->SpinFocale->setValue(1200);
    form->ComboDistanceUnit->setCurrentIndex(2);
    form->RadioButton3->click();
    QCOMPARE(form->EditDistance->text(), QString("2400"));
    QCOMPARE(form->ComboDistanceUnit->currentText(), QString("millimetres"));
    QCOMPARE(Parametres.DistanceSource, 2400e6);
    QCOMPARE(form->ComaCalc, 0.0);
    const double R = 100e6, rho = -2400e6;
    QVERIFY(std::abs(form->SpherCalc - (std::pow(R, 4) * -1 / (24 * std::pow(rho, 3)))) < 1e-9);
    QVERIFY(form->EditSpher->text() != "0");

    form->RadioButton1->click();
    QCOMPARE(form->EditDistance->text(), QString("Infini"));
    QCOMPARE(Parametres.DistanceSource, 0.0);
    QCOMPARE(form->AstigCalc, 0.0);
    QCOMPARE(form->ComaCalc, 0.0);
    QCOMPARE(form->SpherCalc, 0.0);
    QCOMPARE(form->EditAstig->text(), QString("0.00"));

    // Autocollimation with an angle: astigmatism only, and "Ok" says so.
    form->EditAngle->setText("1");
    form->RadioButton4->click();
    QCOMPARE(form->EditDistance->text(), QString("Infini"));
    QVERIFY(form->AstigCalc != 0.0);
    QCOMPARE(form->SpherCalc, 0.0);
    form->ButtonOk->click();
    QVERIFY(Parametres.Autocollimation);

    // Artificial star: the sphericity waits for a stored distance.
    Parametres.DistanceSource = 0;
    form->RadioButton2->click();
    form->EditDistance->setText("10");
    form->ComboDistanceUnit->setCurrentIndex(1);
    form->SpeedButton2->click();
    QCOMPARE(form->SpherCalc, 0.0);
    Parametres.DistanceSource = form->DistanceObjet();
    form->SpeedButton2->click();
    QVERIFY(form->SpherCalc != 0.0);
  }

  void okMessagesAndOrientation() {
    form->ComboMode->setCurrentIndex(1);
    AddImage(true, "i1");
    AddImage(true, "i2");
    AddImage(true, "i3");
    AddImage(false, "e1");
    AddImage(false, "e2");
    form->RefreshImageLists();
    form->SpinDiametre->setValue(200);
    form->SpinFocale->setValue(1200);
    form->ButtonOk->click();
    QCOMPARE(platform->Warnings, QStringList{"The image list is incomplete."});
    QVERIFY(!Parametres.ParamValides);
    AddImage(false, "e3");
    form->EditDefocalisation->setText("0");
    form->ButtonOk->click();
    QCOMPARE(platform->Warnings.last(), QString("The parameters are incomplete."));
    QVERIFY(!Parametres.ParamValides);

    // No orientation: the astigmatism and coma fields keep their values.
    Parametres.AstigX = 5;
    Parametres.ComaY = 7;
    form->EditAngle->setText("1");
    form->SpeedButton2->click();
    form->EditDefocalisation->setText("3.6");
    form->ButtonOk->click();
    QVERIFY(Parametres.ParamValides);
    QCOMPARE(form->result(), int(QDialog::Accepted));
    QCOMPARE(Parametres.AstigX, 5.0);
    QCOMPARE(Parametres.ComaY, 7.0);
    QCOMPARE(Parametres.Defocalisation, 3.6e6);
    QCOMPARE(Parametres.ModeTraitement, std::uint8_t{1});
    QCOMPARE(Parametres.IntraRouge.lock(), ListBoxIntra[2].Window->Grid);
    QCOMPARE(Parametres.ExtraBleu.lock(), ListBoxExtra[0].Window->Grid);
    // "by y": the computed values, the other orientation cleared.
    form->ComboOrientation->setCurrentIndex(1);
    form->ButtonOk->click();
    QCOMPARE(Parametres.AstigX, 0.0);
    QCOMPARE(Parametres.AstigY, form->AstigCalc);
    QVERIFY(Parametres.AstigY != 0.0);
  }

  void cancelRestoresWhatTheButtonsWrote() {
    Parametres.Focale = 1e9;
    form->FormShow();
    QCOMPARE(form->SpinFocale->value(), 1000);
    form->SpinDiametre->setValue(300);
    form->SpinFocale->setValue(1500);
    form->SpeedButton2->click();  // writes Focale and Rayon
    QCOMPARE(Parametres.Focale, 1.5e9);
    form->ButtonCancel->click();
    QCOMPARE(Parametres.Focale, 1e9);
    QCOMPARE(Parametres.Rayon, 0.0);
  }

  void movingAnImageBackAndForthRestoresIt() {
    TForm1* w = AddImage(true, "a");
    AddImage(true, "b");
    form->RefreshImageLists();
    const std::vector<double> before(w->Grid->Values.PlaneData(1), w->Grid->Values.PlaneData(1) + 12);
    form->ButtonToExtra->click();  // nothing selected: nothing moves
    QCOMPARE(ListBoxExtra.size(), 0);
    form->ListIntra->setCurrentRow(0);
    form->ButtonToExtra->click();
    QCOMPARE(ListBoxIntra.size(), 1);
    QCOMPARE(ListBoxExtra.size(), 1);
    QCOMPARE(ListBoxExtra[0].Caption, QString("a"));
    QCOMPARE(int(w->Grid->Kind), int(kKindExtra));
    QCOMPARE(w->Grid->Values[1][1][1], before[11]);  // turned by 180 degrees
    form->ListExtra->setCurrentRow(0);
    form->ButtonToIntra->click();
    QCOMPARE(ListBoxIntra.last().Caption, QString("a"));
    QCOMPARE(int(w->Grid->Kind), int(kKindIntra));
    QVERIFY(std::equal(before.begin(), before.end(), w->Grid->Values.PlaneData(1)));
    // Up and down, stopping at the ends.
    form->ListIntra->setCurrentRow(1);
    form->ButtonIntraUp->click();
    QCOMPARE(ListBoxIntra[0].Caption, QString("a"));
    form->ButtonIntraUp->click();
    QCOMPARE(ListBoxIntra[0].Caption, QString("a"));
    form->ButtonIntraDown->click();
    QCOMPARE(ListBoxIntra[1].Caption, QString("a"));
    QCOMPARE(form->ListIntra->item(1)->text(), QString("a"));
  }

  void retrieveInformationFromTheImage() {
    TForm1* w = AddImage(true, "a");
    TForm1* x = AddImage(false, "b");
    w->Grid->Infos.Diameter = 150.4;
    x->Grid->Infos.Diameter = 254.6;
    x->Grid->Infos.FocalLength = 1000;
    x->Grid->Infos.PixelSizeX = 7.4;
    x->Grid->Infos.DateObs = "2024-05-01T21:30:00";
    x->Grid->Infos.Exposure = 12;
    x->Grid->Infos.Observer = "Anne";
    x->Grid->Infos.Telescope = "Dob";
    form->RefreshImageLists();
    form->ListIntra->setCurrentRow(0);
    form->ListExtra->setCurrentRow(0);
    form->ButtonInfos->click();  // the extra entry wins
    QCOMPARE(form->SpinDiametre->value(), 255);
    QCOMPARE(form->SpinFocale->value(), 1000);
    QCOMPARE(form->EditPixel->text(), QString("7.40"));
    QCOMPARE(form->SpinBinUsed->value(), 1);
    QCOMPARE(form->EditDate->text(), QString("2024-05-01"));
    QCOMPARE(form->EditStartExtra->text(), QString("21:30:00"));
    QCOMPARE(form->EditExposureIntra->text(), QString("12"));
    QCOMPARE(form->LabelList->count(), 9);
    QCOMPARE(form->LabelList->item(3)->text(), QString("Camera :"));
    QCOMPARE(form->ValueList->item(0)->text(), QString("Anne"));
    QCOMPARE(form->ValueList->item(2)->text(), QString("Dob"));
  }

  void defaultsGoThroughThePreferencesFile() {
    const std::string path = PreferencesFilePath();
    QFile file(QString::fromStdString(path));
    const bool existed = file.exists();
    QByteArray saved;
    if (existed && file.open(QIODevice::ReadOnly)) {
      saved = file.readAll();
      file.close();
    }
    form->SpinDiametre->setValue(250);
    form->SpinFocale->setValue(1250);
    form->EditPixel->setText("5.2");
    form->SpinBinUsed->setValue(2);
    form->ButtonSaveDefault->click();
    QCOMPARE(Preferences.Valeurs.Diametre, 250);
    QCOMPARE(Preferences.Valeurs.PixelCCD, 5200);
    const std::string text = ReadBytes(path);
    QVERIFY(text.find("Diametre=250\r\n") != std::string::npos);
    QVERIFY(text.find("BinAcquisition=2\r\n") != std::string::npos);

    form->Reinitialiser();
    Preferences.Valeurs = TkwValue{};
    form->ButtonLoadDefault->click();
    QCOMPARE(form->SpinDiametre->value(), 250);
    QCOMPARE(form->SpinFocale->value(), 1250);
    QCOMPARE(form->EditPixel->text(), QString("5.2"));
    QCOMPARE(form->SpinBinUsed->value(), 2);

    // A pixel size that is not a number saves nothing.
    form->EditPixel->setText("x");
    form->SpinDiametre->setValue(300);
    form->ButtonSaveDefault->click();
    QCOMPARE(platform->Warnings.last(), QString("'x' is not a valid floating point value"));
    QCOMPARE(Preferences.Valeurs.Diametre, 250);

    if (existed) {
      QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
      file.write(saved);
      file.close();
    } else {
      QFile::remove(QString::fromStdString(path));
    }
  }

  void closingAnImageAfterOkNeedsANewOk() {
    AddImage(true, "a");
    TForm1* extra = AddImage(false, "b");
    Parametres.Intra = ListBoxIntra[0].Window->Grid;
    Parametres.Extra = extra->Grid;
    Parametres.ParamValides = true;
    const std::shared_ptr<TPupille> kept = extra->Grid;  // as a reconstruction would
    platform->Answers = {true};
    extra->close();
    QVERIFY(!Parametres.ParamValides);
  }

  void newTestResetsTheDialog() {
    AddImage(true, "a");
    form->SpinDiametre->setValue(200);
    form->EditPixel->setText("9");
    form->RadioButton3->setChecked(true);
    form->EditDate->setText("2024-01-01");
    platform->Answers = {true};
    main->FileNew1->trigger();
    QCOMPARE(main->MDIChildCount(), 0);
    QCOMPARE(form->SpinDiametre->value(), 0);
    QCOMPARE(form->EditPixel->text(), QString("0"));
    QVERIFY(form->RadioButton1->isChecked());
    QVERIFY(form->EditDate->text().isEmpty());
    QCOMPARE(form->ListIntra->count(), 0);
  }

  void wholeRoadFromTheSamplePairToTheWavefront() {
    platform->Files = {kSamples + "newtonian200_intra.fits", kSamples + "newtonian200_extra.fits"};
    main->FileOpen1->trigger();
    main->Ouvrircommeextrafocale1->trigger();
    QCOMPARE(ListBoxIntra.size(), 1);
    QCOMPARE(ListBoxExtra.size(), 1);

    bool filled = false;
    QTimer::singleShot(0, [this, &filled] {
      auto* dialog = qobject_cast<TFormParam*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      QCOMPARE(dialog->ListIntra->count(), 1);
      dialog->SpinDiametre->setValue(200);
      dialog->SpinFocale->setValue(1200);
      QCOMPARE(dialog->EditRapportFD->text(), QString("6"));
      dialog->EditPixel->setText("5");
      dialog->Tabs->setCurrentIndex(1);
      dialog->Tabs->setCurrentIndex(0);  // the radii of the two images
      QVERIFY(dialog->EditRayonIntra->text().toDouble() > 50);
      dialog->SpeedButton1->click();
      QVERIFY(std::abs(dialog->EditDefocalisation->text().toDouble() - 3.6) < 0.4);
      dialog->EditDefocalisation->setText("3.6");
      dialog->ButtonOk->click();
      filled = true;
    });
    main->Paramtres1->trigger();
    QVERIFY(filled);
    QVERIFY(platform->Warnings.isEmpty());
    QVERIFY(Parametres.ParamValides);
    QCOMPARE(Parametres.Focale, 1200e6);
    QCOMPARE(Parametres.Rayon, 100e6);

    main->Reconstruire->trigger();
    QVERIFY(RoddierMono && RoddierMono->Wavefront);
    TForm1* front = main->ImageWindows().constLast();
    QVERIFY(front->windowTitle().startsWith("Wavefront"));
    QCOMPARE(int(front->Grid->Kind), int(kKindWavefront));
    // The sample's spherical aberration is recovered with its sign.
    ZernikeCoefficients c = RoddierMono->Wavefront->Coefficients;
    ToNormalised(c);
    QVERIFY2(c[11] < -10 && c[11] > -30, qPrintable(QString::number(c[11])));
  }

  // A known obstruction entered in the dialog reaches the run and wins over
  // the one measured on the images; "Measured" (0) leaves it to the images.
  void aKnownObstructionWinsOverTheMeasuredOne() {
    QCOMPARE(form->SpinObstruction->text(), QString("Measured"));
    platform->Files = {kSamples + "newtonian200_intra.fits", kSamples + "newtonian200_extra.fits"};
    main->FileOpen1->trigger();
    main->Ouvrircommeextrafocale1->trigger();
    form->FormShow();
    form->SpinDiametre->setValue(200);
    form->SpinFocale->setValue(1200);
    form->EditDefocalisation->setText("3.6");
    form->SpinObstruction->setValue(40);  // the sample's secondary is 25 %
    form->ButtonOk->click();
    QVERIFY(Parametres.ParamValides);
    QCOMPARE(Parametres.Obstruction, 0.4);
    QCOMPARE(CurrentTestSetup().Obstruction, 0.4);

    main->Reconstruire->trigger();
    QVERIFY(RoddierMono && RoddierMono->Wavefront);
    QCOMPARE(RoddierMono->Wavefront->Obstruction, 0.4);

    form->FormShow();  // shown again as stored
    QCOMPARE(form->SpinObstruction->value(), 40);
    form->SpinObstruction->setValue(0);
    form->ButtonOk->click();
    QCOMPARE(Parametres.Obstruction, 0.0);
    main->Reconstruire->trigger();
    const double measured = RoddierMono->Wavefront->Obstruction;
    QVERIFY2(std::abs(measured - 0.25) < 0.05, qPrintable(QString::number(measured)));
    form->SpinObstruction->setValue(40);
    form->Reinitialiser();
    QCOMPARE(form->SpinObstruction->value(), 0);
  }

  // Two colour pictures of the sample pair, as a camera would record them,
  // imported, the second's channels moved to the extra list, and the three
  // colours reconstructed.
  void colourRoadFromTwoPicturesToThreeWavefronts() {
    Preferences.Valeurs.LambdaB = 470;
    Preferences.Valeurs.LambdaV = 540;
    Preferences.Valeurs.LambdaR = 640;
    ScratchDir scratch;
    QStringList pictures;
    for (const char* name : {"newtonian200_intra", "newtonian200_extra"}) {
      TFctXY frame;
      frame.LoadFromFits((kSamples + name + ".fits").toStdString());
      QVERIFY(frame.HasArrays());
      frame.ComputeRange();
      TRaster picture;
      picture.Resize(frame.Nx, frame.Ny);
      for (int r = 1; r <= frame.Ny; ++r)
        for (int c = 1; c <= frame.Nx; ++c) {
          const double v = 250.0 * frame.Values[1][r][c] / frame.MaxValue;
          std::uint8_t* p = picture.Pixel(c - 1, r - 1);
          p[0] = p[1] = p[2] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
        }
      const std::string file = scratch.File(std::string(name) + ".jpg");
      QVERIFY(EncodeJpegFile(file, picture, 95));
      pictures << QString::fromStdString(file);
    }
    platform->Files = {pictures[0]};
    main->OuvrirImageJpeg1->trigger();
    platform->Files = {pictures[1]};
    main->OuvrirImageJpeg1->trigger();
    QCOMPARE(ListBoxIntra.size(), 6);

    bool filled = false;
    QTimer::singleShot(0, [this, &filled] {
      auto* dialog = qobject_cast<TFormParam*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      QCOMPARE(dialog->ListIntra->count(), 6);
      for (int i = 0; i < 3; ++i) {
        dialog->ListIntra->setCurrentRow(3);
        dialog->ButtonToExtra->click();
      }
      QCOMPARE(dialog->ListIntra->count(), 3);
      QCOMPARE(dialog->ListExtra->count(), 3);
      dialog->ComboMode->setCurrentIndex(1);
      dialog->SpinDiametre->setValue(200);
      dialog->SpinFocale->setValue(1200);
      dialog->EditDefocalisation->setText("3.6");
      dialog->ButtonOk->click();
      filled = true;
    });
    main->Paramtres1->trigger();
    QVERIFY(filled);
    QVERIFY(platform->Warnings.isEmpty());
    QVERIFY(Parametres.ParamValides);
    // The moved channels were turned like any extra-focal image.
    QCOMPARE(int(ListBoxExtra[0].Grid.lock()->Kind), int(kKindExtra));

    main->Reconstruire->trigger();
    QVERIFY(platform->Warnings.isEmpty());
    QVERIFY(RoddierBlue && RoddierGreen && RoddierRed);
    const QList<TForm1*> windows = main->ImageWindows();
    QStringList captions;
    for (int i = windows.size() - 3; i < windows.size(); ++i) captions << windows[i]->windowTitle();
    QCOMPARE(captions, (QStringList{"Wavefront Blue", "Wavefront Grn.", "Wavefront Red"}));
    const double wavelengths[3] = {470, 540, 640};
    const TRoddier* runs[3] = {RoddierBlue.get(), RoddierGreen.get(), RoddierRed.get()};
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(runs[i]->Wavefront->Wavelength, wavelengths[i]);
      ZernikeCoefficients c = runs[i]->Wavefront->Coefficients;
      ToNormalised(c);
      // The same spherical aberration in every colour, from 8-bit pictures.
      QVERIFY2(c[11] < -8 && c[11] > -35, qPrintable(QString::number(c[11])));
    }
  }
};

static RegisterUiTest<ParametresFormTest> registerParametresForm;

}  // namespace caustica::test

#include "test_parametres_form.moc"
