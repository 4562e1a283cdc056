// The simulation parameters window: size, pupil and Zernike terms 2..22 of
// the synthetic wavefront, each term with a preview of its shape.
#pragma once

#include <QDialog>
#include <array>

#include "analysis/u_zernike.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace caustica {

class TFormSaisieZern : public QDialog {
  Q_OBJECT
 public:
  explicit TFormSaisieZern(QWidget* parent = nullptr);
  // The alert editor: "Enter the alert values", working on alerts[1..42]
  // (stored by OK only) and leaving Simulation alone.
  TFormSaisieZern(std::array<double, 43>* alerts, QWidget* parent);

  // Fills the 21 coefficient fields from a coefficient set.
  void ShowCoefficients(const ZernikeCoefficients& coefficients);

  void BitBtn3Click();  // OK
  void BitBtn1Click();  // Cancel
  void Button1Click();  // "RAZ"
  void CheckBoxTousClick();
  void SpinEditObstructionChange();

  std::array<QGroupBox*, 43> TermGroups{};
  std::array<QLabel*, 43> Previews{};
  std::array<QLineEdit*, 43> CoefficientFields{};
  std::array<QCheckBox*, 43> TermBoxes{};
  QGroupBox* CoefficientGroup = nullptr;
  QGroupBox* ImagesGroup = nullptr;
  QCheckBox* CheckBoxTous = nullptr;
  QComboBox* DimensionList = nullptr;
  QSpinBox* SpinEditRayon = nullptr;
  QSpinBox* SpinEditObstruction = nullptr;
  QSpinBox* SpinEditMin = nullptr;
  QSpinBox* SpinEditMax = nullptr;
  QPushButton* ButtonRAZ = nullptr;
  QPushButton* ButtonOK = nullptr;
  QPushButton* ButtonCancel = nullptr;
  std::array<double, 43>* Alerts = nullptr;  // set in the alert editor

 private:
  void BuildWindow();
  void FormCreate();
  void DessinerApercus();
};

}  // namespace caustica
