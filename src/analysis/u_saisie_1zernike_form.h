// The single-term dialog of the Zernike results window: shown modally for
// one term and closed; nothing is read back from it.
#pragma once

#include <QDialog>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace caustica {

class TForm1Zernike : public QDialog {
  Q_OBJECT
 public:
  // caption names the term the dialog was opened for.
  explicit TForm1Zernike(const QString& caption, QWidget* parent = nullptr);

  QGroupBox* GroupBox1 = nullptr;
  QLabel* Image1 = nullptr;
  QCheckBox* CheckBox1 = nullptr;  // "Correct"
  QLineEdit* Edit1 = nullptr;      // one character
  QLineEdit* Edit2 = nullptr;
  QPushButton* BitBtnOK = nullptr;
  QPushButton* BitBtnCancel = nullptr;
};

}  // namespace caustica
