// The preferences dialog: palettes, reconstruction limits, pupil
// extraction, wavelengths, decimals, the automatic fit, the Zernike basis,
// the alert values, folders and the reconstruction method.
#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QWidget;

namespace caustica {

class TPrefs : public QDialog {
  Q_OBJECT
 public:
  explicit TPrefs(QWidget* parent = nullptr);

  void FormShow();
  void BitBtn1Click();            // "OK"
  void BitBtn4Click();            // "Reset"
  void BitBtn3Click();            // "Help"
  void PaletteChange(int which);  // 0..3
  void DrawPreviews();
  void EDitLambdaRefChange();
  void EditLambdaInterferoChange();
  void CheckBoxAjustAutoClick();
  void Button1Click();  // "Editor" of the alert values
  void Button4Click();  // "..." of "Images :"
  void ComboboxDirImagesChange(int index);
  void Button5Click();  // "..." of "Documentation :"
  void Button6Click();  // "..." of "Reports :"

  QTabWidget* Tabs = nullptr;
  QWidget *TabDisplay = nullptr, *TabAlgorithms = nullptr, *TabConstants = nullptr, *TabAdjustment = nullptr,
          *TabFiles = nullptr;
  std::array<QComboBox*, 4> Palettes{};
  std::array<QLabel*, 4> Previews{};
  QCheckBox* CheckMasqueActif = nullptr;
  QSpinBox* SpinNIter = nullptr;
  QCheckBox* CheckBreak = nullptr;
  QLineEdit* EditRMSFront = nullptr;
  QComboBox* ComboExtractDim = nullptr;
  QSpinBox* SpinExtractSeuil = nullptr;
  QCheckBox* CheckExtractAuto = nullptr;
  QComboBox* ComboMethod = nullptr;
  QCheckBox* CheckCutOut = nullptr;
  QLineEdit *EditLambdaRef = nullptr, *EditLambdaInterfero = nullptr;
  QLineEdit *EditLambdaB = nullptr, *EditLambdaV = nullptr, *EditLambdaR = nullptr;
  QLineEdit *EditPoidsB = nullptr, *EditPoidsV = nullptr, *EditPoidsR = nullptr;
  QComboBox* ComboOriginFoc = nullptr;
  // Nanometres, millimetres, ADU, pixels, degrees, reduced, lambda, Strehl.
  std::array<QSpinBox*, 8> Decimals{};
  QComboBox* ComboModePoly = nullptr;
  QSpinBox* SpinNPolyZern = nullptr;
  QComboBox* ComboNormRMS = nullptr;
  QPushButton* ButtonEditor = nullptr;
  QCheckBox *CheckAjustAuto = nullptr, *CheckSubTiltFocus = nullptr, *CheckSubComa = nullptr;
  QComboBox* ComboDirImages = nullptr;
  QPushButton* ButtonDirImages = nullptr;
  QLineEdit* EditAide = nullptr;
  QPushButton* ButtonAide = nullptr;
  QComboBox* ComboRapports = nullptr;
  QPushButton* ButtonRapports = nullptr;
  QPushButton *ButtonOK = nullptr, *ButtonCancel = nullptr, *ButtonReset = nullptr, *ButtonHelp = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FillImageHistory();
};

}  // namespace caustica
