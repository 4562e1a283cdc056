#include "setup/u_FormMeridienne_form.h"

#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QPen>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>

#include "analysis/u_pupille.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "app/session.h"

namespace caustica {

namespace {

// The overlay that carries the diameter; the products use the first two.
constexpr int kMarkShape = 3;

QSpinBox* SpinBox(int low, int high, int value, QWidget* parent) {
  auto* s = new QSpinBox(parent);
  s->setRange(low, high);
  s->setValue(value);
  return s;
}

}  // namespace

TFormMeridienne::TFormMeridienne(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle("Mid-line");
  Chart = new QChart;
  Chart->legend()->hide();
  AxisX = new QValueAxis;
  AxisY = new QValueAxis;
  AxisX->setTitleText(kMidLineInitialHorizontalTitle);
  AxisY->setTitleText(kMidLineInitialVerticalTitle);
  Chart->addAxis(AxisX, Qt::AlignBottom);
  Chart->addAxis(AxisY, Qt::AlignLeft);
  View = new QChartView(Chart, this);
  View->setRenderHint(QPainter::Antialiasing);

  SpinEdit1 = SpinBox(-180, 180, 0, this);
  SpinEdit2 = SpinBox(1, 90, 1, this);
  SpinEdit3 = SpinBox(1, 10, 1, this);
  Button1 = new QPushButton("Tracer", this);
  Button2 = new QPushButton("Zero", this);
  CloseButton = new QPushButton("Close", this);

  auto* controls = new QGridLayout;
  controls->addWidget(new QLabel("Azimuth(degrees):", this), 0, 0);
  controls->addWidget(SpinEdit1, 0, 1);
  controls->addWidget(Button2, 0, 2);
  controls->addWidget(new QLabel("Pas (degrés) :", this), 1, 0);
  controls->addWidget(SpinEdit2, 1, 1);
  controls->addWidget(new QLabel("Zoom", this), 2, 0);
  controls->addWidget(SpinEdit3, 2, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addLayout(controls);
  buttons->addStretch();
  buttons->addWidget(Button1);
  buttons->addWidget(CloseButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(View, 1);
  layout->addLayout(buttons);
  resize(560, 420);

  connect(Button1, &QPushButton::clicked, this, &TFormMeridienne::Button1Click);
  connect(Button2, &QPushButton::clicked, this, &TFormMeridienne::Button2Click);
  connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);
  connect(SpinEdit1, &QSpinBox::valueChanged, this, &TFormMeridienne::SpinEdit1Change);
  connect(SpinEdit2, &QSpinBox::valueChanged, this, &TFormMeridienne::SpinEdit2Change);
  connect(SpinEdit3, &QSpinBox::valueChanged, this, &TFormMeridienne::SpinEdit3Change);

  connect(&Session(), &TSession::MidLineRequested, this, &TFormMeridienne::Open);
  connect(&Session(), &TSession::ActiveImageChanged, this, [this](TForm1*) {
    // The profiled window may be the one that went: a closing window has
    // already let go of its grid.
    if (Fenetre && Fenetre->Grid) return;
    Fenetre = nullptr;
    Clear();
  });
  connect(&Session(), &TSession::GridValuesChanged, this, [this](const TPupille* grid) {
    if (isVisible() && Fenetre && Fenetre->Grid && Fenetre->Grid.get() == grid) Tracer();
  });
  connect(&Session(), &TSession::ReconstructionChanged, this, [this](int) {
    if (isVisible()) Tracer();
  });
  connect(&Session(), &TSession::TestReset, this, [this] {
    RemoveMark();
    Fenetre = nullptr;
    Clear();
  });
}

void TFormMeridienne::Open() {
  if (TForm1::ImageWindows().isEmpty() || !ActiveImage) return;
  if (Fenetre != ActiveImage) RemoveMark();
  Fenetre = ActiveImage;
  if (Fenetre->Grid) {
    // Each grid keeps its own direction; the control shows it.
    const QSignalBlocker block(SpinEdit1);
    SpinEdit1->setValue(RadiansToAzimuth(Fenetre->Grid->Angle));
  }
  show();
  raise();
  Tracer();
}

void TFormMeridienne::Clear() {
  Current = TMidLineProfile{};
  Chart->removeAllSeries();
  Pieces.clear();
}

void TFormMeridienne::Tracer() {
  if (!Fenetre || !Fenetre->Grid) {
    Clear();
    return;
  }
  TPupille& g = *Fenetre->Grid;
  Clear();
  Current = MidLineProfile(g, SpinEdit3->value());
  Chart->setTitle(Fenetre->windowTitle());

  MarkMidLine(g, Current, g.Shapes[kMarkShape]);
  Session().NotifyGridDisplay(&g);

  if (!Current.VerticalTitle.empty()) AxisY->setTitleText(QString::fromStdString(Current.VerticalTitle));
  AxisX->setTitleText(QString::fromStdString(Current.HorizontalTitle));

  QLineSeries* piece = nullptr;
  double left = 0, right = 0;
  for (const TProfilePoint& p : Current.Points) {
    if (p.Gap) {
      piece = nullptr;
      continue;
    }
    if (!piece) {
      // Every piece drawn alike: together they are one curve.
      piece = new QLineSeries;
      Chart->addSeries(piece);
      piece->setPen(QPen(QColor(32, 159, 223), 2));
      piece->attachAxis(AxisX);
      piece->attachAxis(AxisY);
      if (Pieces.isEmpty()) left = right = p.X;
      Pieces.append(piece);
    }
    piece->append(p.X, p.Y);
    left = std::min(left, p.X);
    right = std::max(right, p.X);
  }
  if (!Current.Points.empty()) {
    left = std::min(left, Current.Points.front().X);
    right = std::max(right, Current.Points.back().X);
  }
  if (right > left) {
    AxisX->setRange(left, right);
    AxisX->applyNiceNumbers();
  }
  // A flat grid still gets an axis with some height.
  double low = Current.Low, high = Current.High;
  if (!(high > low)) {
    low -= 1;
    high += 1;
  }
  AxisY->setRange(low, high);
}

void TFormMeridienne::Button2Click() {
  if (SpinEdit1->value() == 0)
    SpinEdit1Change(0);
  else
    SpinEdit1->setValue(0);
}

void TFormMeridienne::SpinEdit1Change(int azimuth) {
  if (Fenetre && Fenetre->Grid) Fenetre->Grid->Angle = AzimuthToRadians(azimuth);
  Tracer();
}

void TFormMeridienne::SpinEdit2Change(int step) { SpinEdit1->setSingleStep(step); }

void TFormMeridienne::RemoveMark() {
  if (!Fenetre || !Fenetre->Grid) return;
  TShape& mark = Fenetre->Grid->Shapes[kMarkShape];
  if (!mark.Visible) return;
  mark.Visible = false;
  Session().NotifyGridDisplay(Fenetre->Grid.get());
}

void TFormMeridienne::closeEvent(QCloseEvent* event) {
  RemoveMark();
  QWidget::closeEvent(event);
}

}  // namespace caustica
