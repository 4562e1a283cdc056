#include "setup/saisie_zernike_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/zernike_coefficients_file.h"
#include "setup/u_saisie_zernike.h"

namespace caustica {
namespace {

QPixmap ToPixmap(const TRaster& raster) {
  if (raster.Empty()) return {};
  QImage image(raster.Rgb.data(), raster.Width, raster.Height, raster.Width * 3, QImage::Format_RGB888);
  return QPixmap::fromImage(image.copy());
}

int RoundedLevel(double v) {
  const double r = std::nearbyint(v);
  if (!(r > -1e9 && r < 1e9)) return 0;
  return static_cast<int>(r);
}

}  // namespace

TFormSaisieZern::TFormSaisieZern(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Simulation parameters");
  BuildWindow();
  FormCreate();
  connect(SpinEditObstruction, &QSpinBox::valueChanged, this, &TFormSaisieZern::SpinEditObstructionChange);
}

TFormSaisieZern::TFormSaisieZern(std::array<double, 43>* alerts, QWidget* parent)
    : QDialog(parent), Alerts(alerts) {
  setWindowTitle("Enter the alert values");
  BuildWindow();
  DessinerApercus();
  ShowCoefficients(*Alerts);
  ImagesGroup->hide();
  for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k) {
    TermGroups[k]->setTitle(QString::fromStdString(ZernikeTermName(k)));
    TermBoxes[k]->setChecked(true);
  }
}

void TFormSaisieZern::BuildWindow() {
  setModal(true);

  CoefficientGroup = new QGroupBox("Zernike coefficients (nm RMS)", this);
  auto* terms = new QGridLayout(CoefficientGroup);
  for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k) {
    auto* group = new QGroupBox(CoefficientGroup);
    auto* box = new QVBoxLayout(group);
    Previews[k] = new QLabel(group);
    Previews[k]->setFixedSize(80, 80);
    CoefficientFields[k] = new QLineEdit(group);
    CoefficientFields[k]->setObjectName(QString("Coef%1").arg(k));
    CoefficientFields[k]->setFixedWidth(72);  // every field wide enough for its number
    TermBoxes[k] = new QCheckBox(QString("Z%1").arg(k), group);
    auto* row = new QHBoxLayout;
    row->addWidget(CoefficientFields[k]);
    row->addWidget(TermBoxes[k]);
    box->addWidget(Previews[k], 0, Qt::AlignHCenter);
    box->addLayout(row);
    TermGroups[k] = group;
    const int j = k - kFirstSimulationTerm;
    terms->addWidget(group, j / 7, j % 7);
  }

  ImagesGroup = new QGroupBox("Images", this);
  auto* form = new QFormLayout(ImagesGroup);
  DimensionList = new QComboBox(ImagesGroup);
  for (int d : kSimulationDimensions) DimensionList->addItem(QString::number(d));
  SpinEditRayon = new QSpinBox(ImagesGroup);
  SpinEditRayon->setRange(0, 100000);
  SpinEditObstruction = new QSpinBox(ImagesGroup);
  SpinEditObstruction->setRange(0, 99);
  SpinEditMin = new QSpinBox(ImagesGroup);
  SpinEditMin->setRange(-1000000, 1000000);
  SpinEditMax = new QSpinBox(ImagesGroup);
  SpinEditMax->setRange(-1000000, 1000000);
  form->addRow(DimensionList);
  form->addRow("Radius:", SpinEditRayon);
  form->addRow("Central obstruction :", SpinEditObstruction);
  form->addRow("Min Level :", SpinEditMin);
  form->addRow("Max Level :", SpinEditMax);

  CheckBoxTous = new QCheckBox("All", this);
  CheckBoxTous->setChecked(true);
  ButtonRAZ = new QPushButton("RAZ", this);
  ButtonOK = new QPushButton("OK", this);
  ButtonOK->setDefault(true);
  ButtonCancel = new QPushButton("Cancel", this);

  auto* side = new QVBoxLayout;
  side->addWidget(ImagesGroup);
  side->addWidget(CheckBoxTous);
  side->addWidget(ButtonRAZ);
  side->addStretch();
  side->addWidget(ButtonOK);
  side->addWidget(ButtonCancel);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(CoefficientGroup, 1);
  layout->addLayout(side);

  connect(CheckBoxTous, &QCheckBox::clicked, this, &TFormSaisieZern::CheckBoxTousClick);
  connect(ButtonRAZ, &QPushButton::clicked, this, &TFormSaisieZern::Button1Click);
  connect(ButtonOK, &QPushButton::clicked, this, &TFormSaisieZern::BitBtn3Click);
  connect(ButtonCancel, &QPushButton::clicked, this, &TFormSaisieZern::BitBtn1Click);
}

void TFormSaisieZern::FormCreate() {
  DessinerApercus();
  ShowCoefficients(Simulation.CoefZern);
  const int index = Simulation.IndexDimension;
  DimensionList->setCurrentIndex(index >= 0 && index < DimensionList->count() ? index : 0);
  SpinEditRayon->setValue(Simulation.RayonPupille);
  SpinEditObstruction->setValue(RoundedLevel(Simulation.ObstructionCentrale * 100.0));
  SpinEditObstructionChange();  // the value may not have changed, the previews still follow it
  SelectAll(Simulation.SelZern);
  SpinEditMin->setValue(RoundedLevel(Simulation.NiveauMin));
  SpinEditMax->setValue(RoundedLevel(Simulation.NiveauMax));
  for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k) {
    TermGroups[k]->setTitle(QString::fromStdString(ZernikeTermName(k)));
    TermBoxes[k]->setChecked(Simulation.SelZern[k]);
  }
}

void TFormSaisieZern::DessinerApercus() {
  const std::array<TRaster, 43> pictures = DrawTermPreviews(Simulation.ObstructionCentrale);
  for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k)
    Previews[k]->setPixmap(ToPixmap(pictures[k]));
}

void TFormSaisieZern::ShowCoefficients(const ZernikeCoefficients& coefficients) {
  const std::array<std::string, 43> texts = CoefficientTexts(coefficients);
  for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k)
    CoefficientFields[k]->setText(QString::fromStdString(texts[k]));
}

void TFormSaisieZern::BitBtn3Click() {
  if (Alerts) {
    std::array<std::string, 43> texts;
    for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k)
      texts[k] = CoefficientFields[k]->text().toStdString();
    StoreAlertValues(texts, *Alerts);
    accept();
    return;
  }
  TSimulationEntries entries;
  for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k) {
    entries.CoefficientTexts[k] = CoefficientFields[k]->text().toStdString();
    entries.Selected[k] = TermBoxes[k]->isChecked();
  }
  entries.DimensionIndex = DimensionList->currentIndex();
  entries.Radius = SpinEditRayon->value();
  entries.ObstructionPercent = SpinEditObstruction->value();
  entries.MinLevel = SpinEditMin->value();
  entries.MaxLevel = SpinEditMax->value();
  StoreSimulation(entries, Simulation);
  accept();
}

void TFormSaisieZern::BitBtn1Click() { reject(); }

void TFormSaisieZern::Button1Click() {
  ZernikeCoefficients cleared;
  ClearCoefficients(cleared);
  ShowCoefficients(cleared);
}

void TFormSaisieZern::CheckBoxTousClick() {
  for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k)
    TermBoxes[k]->setChecked(CheckBoxTous->isChecked());
}

// Written at once: the previews and the wavefront command follow the
// obstruction even when the window is cancelled.
void TFormSaisieZern::SpinEditObstructionChange() {
  Simulation.ObstructionCentrale = SpinEditObstruction->value() / 100.0;
  DessinerApercus();
}

}  // namespace caustica
