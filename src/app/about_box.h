// The About box: product name and version, closed by its OK button.
#pragma once

#include <QDialog>

class QLabel;

namespace caustica {

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
  // Fills the name and version lines.
  void Fill(const QString& productName, const QString& version);

  QLabel* ProductName = nullptr;
  QLabel* Version = nullptr;
};

}  // namespace caustica
