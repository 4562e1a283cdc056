// The test parameters dialog: which images form the pairs, the instrument,
// the acquisition, the defocus, the source and its set-up aberrations, and
// the observation notes the report prints. Lives for the whole run and keeps
// its entries between openings.
#pragma once

#include <QDialog>

#include "app/program_state.h"
#include "io/u_fichier.h"
#include "setup/u_parametres.h"
#include "setup/u_parametres_model.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QWidget;

namespace caustica {

class TFormParam : public QDialog {
  Q_OBJECT
 public:
  explicit TFormParam(QWidget* parent = nullptr);

  // The saved copy that Cancel restores.
  TParametres ParametresSauves;
  // The set-up aberrations last computed, nanometres, un-normalised.
  double AstigCalc = 0.0;
  double ComaCalc = 0.0;
  double SpherCalc = 0.0;
  TImgInfos InfosImage;

  // Empties the dialog and the image lists; also on every new test.
  void Reinitialiser();
  void FormShow();
  void BitBtn1Click();  // "Ok"
  void BitBtn2Click();  // Cancel
  void OnDiametreChange();
  void OnRapportFDChange();
  void OnFocaleChange();
  void ComboBox1Change();
  void ParamShow();
  void SpeedButton1Click();  // defocus from the radii
  void SpeedButton2Click();  // set-up aberrations
  void RadioButton1Click();
  void RadioButton3Click();
  void RadioButton4Click();
  void Button1Click();  // ">"
  void Button2Click();  // "<"
  void Button4Click();  // intra up
  void Button5Click();  // intra down
  void Button6Click();  // extra up
  void Button7Click();  // extra down
  void Button3Click();  // "Retrieve information from the image"
  void AfficherInfos();
  void SaveDefaultClick();
  void LoadDefaultClick();
  double DistanceObjet();
  double angleIncidence();

  // The list widgets drawn again from ListBoxIntra / ListBoxExtra; also
  // whenever the session says the lists changed.
  void RefreshImageLists();

  QListWidget* ListIntra = nullptr;
  QListWidget* ListExtra = nullptr;
  QPushButton *ButtonToExtra = nullptr, *ButtonToIntra = nullptr;
  QPushButton *ButtonIntraUp = nullptr, *ButtonIntraDown = nullptr;
  QPushButton *ButtonExtraUp = nullptr, *ButtonExtraDown = nullptr;
  QComboBox* ComboMode = nullptr;
  QLabel* ModeExplanation = nullptr;
  QTabWidget* Tabs = nullptr;
  QWidget* TabInstrument = nullptr;
  QWidget* TabSource = nullptr;
  QWidget* TabInfos = nullptr;
  // "Instrument used".
  QSpinBox* SpinDiametre = nullptr;
  QSpinBox* SpinFocale = nullptr;
  QLineEdit* EditRapportFD = nullptr;
  QLineEdit* EditPixel = nullptr;
  QSpinBox* SpinBinUsed = nullptr;
  QSpinBox* SpinBinLogical = nullptr;
  QLineEdit* EditRayonIntra = nullptr;
  QLineEdit* EditRayonExtra = nullptr;
  QLineEdit* EditDefocalisation = nullptr;
  QSpinBox* SpinObstruction = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QPushButton* ButtonInfos = nullptr;
  QPushButton* ButtonSaveDefault = nullptr;
  QPushButton* ButtonLoadDefault = nullptr;
  // "Source".
  QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr, *RadioButton3 = nullptr,
               *RadioButton4 = nullptr;
  QLineEdit* EditDistance = nullptr;
  QComboBox* ComboDistanceUnit = nullptr;
  QLineEdit* EditAngle = nullptr;
  QComboBox* ComboAngleUnit = nullptr;
  QComboBox* ComboOrientation = nullptr;
  QLineEdit* EditAstig = nullptr;
  QLineEdit* EditComa = nullptr;
  QLineEdit* EditSpher = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  // "Additional information".
  QLineEdit *EditDate = nullptr, *EditAlpha = nullptr, *EditDelta = nullptr, *EditSeeing = nullptr;
  QLineEdit *EditStartIntra = nullptr, *EditStartExtra = nullptr;
  QLineEdit *EditExposureIntra = nullptr, *EditExposureExtra = nullptr;
  QLineEdit *EditTempIntra = nullptr, *EditTempExtra = nullptr;
  QListWidget* LabelList = nullptr;
  QListWidget* ValueList = nullptr;
  QPushButton* ButtonOk = nullptr;
  QPushButton* ButtonCancel = nullptr;

  // The source the radio buttons choose.
  TSourceChoice Source() const;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TParamEntries Entries();
  // Strict number of a field; shows the conversion message and gives false
  // when the text is not a number.
  bool StrictField(const QLineEdit* field, double& value);
  void MoveBetweenLists(int fromKind, QListWidget* fromWidget, int toKind);
  void MoveWithin(int kind, QListWidget* widget, int step);
};

}  // namespace caustica
