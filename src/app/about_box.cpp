#include "app/about_box.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace caustica {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About");
  setModal(true);
  ProductName = new QLabel(this);
  QFont big = ProductName->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  ProductName->setFont(big);
  Version = new QLabel(this);
  auto* text = new QLabel("Telescope optics tested by curvature sensing.\nGPL-3.0-or-later.", this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(ProductName);
  layout->addWidget(Version);
  layout->addWidget(text);
  layout->addWidget(buttons);
}

void TAboutBox::Fill(const QString& productName, const QString& version) {
  ProductName->setText(productName);
  Version->setText(version);
}

}  // namespace caustica
