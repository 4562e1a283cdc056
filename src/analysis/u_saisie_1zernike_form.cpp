#include "analysis/u_saisie_1zernike_form.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace caustica {

TForm1Zernike::TForm1Zernike(const QString& caption, QWidget* parent) : QDialog(parent) {
  setWindowTitle(caption);
  setWindowFlag(Qt::WindowStaysOnTopHint);
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  GroupBox1 = new QGroupBox(caption, this);
  auto* group = new QHBoxLayout(GroupBox1);
  Image1 = new QLabel(GroupBox1);
  Image1->setMinimumSize(64, 64);
  Image1->setFrameShape(QFrame::StyledPanel);
  group->addWidget(Image1);
  auto* fields = new QVBoxLayout;
  CheckBox1 = new QCheckBox("Correct", GroupBox1);
  Edit1 = new QLineEdit(GroupBox1);
  Edit1->setMaxLength(1);
  Edit1->setMaximumWidth(40);
  Edit2 = new QLineEdit(GroupBox1);
  fields->addWidget(CheckBox1);
  fields->addWidget(Edit1);
  fields->addWidget(Edit2);
  group->addLayout(fields);
  layout->addWidget(GroupBox1);

  auto* buttons = new QHBoxLayout;
  BitBtnOK = new QPushButton("OK", this);
  BitBtnCancel = new QPushButton("Cancel", this);
  BitBtnOK->setDefault(true);
  buttons->addStretch();
  buttons->addWidget(BitBtnOK);
  buttons->addWidget(BitBtnCancel);
  layout->addLayout(buttons);
  connect(BitBtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

}  // namespace caustica
