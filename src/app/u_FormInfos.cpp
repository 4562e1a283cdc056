#include "app/u_FormInfos.h"

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
#include <QScopedValueRollback>
#include <QSizePolicy>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <cmath>

#include "app/program_state.h"
#include "app/session.h"
#include "core/number_format.h"
#include "core/raster.h"
#include "core/u_Palettes.h"
#include "core/u_math.h"
#include "io/u_fichier.h"
#include "setup/u_prefs.h"

namespace caustica {

namespace {

QString Fixed(double value, int decimals) { return QString::fromStdString(FormatFixed(value, decimals)); }

bool IsImage(const TPupille& g) { return g.Kind == kKindIntra || g.Kind == kKindExtra; }
bool IsWavefront(const TPupille& g) { return g.Kind == kKindWavefront || g.Kind == kKindResidual; }

QLineEdit* ReadOnlyField(QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setReadOnly(true);
  return e;
}

QSlider* VerticalBar(QWidget* parent, int position) {
  auto* s = new QSlider(Qt::Vertical, parent);
  s->setRange(0, TFormInfos::kTrackMaximum);
  // Position 0 at the top: the top of a bar is the grid's maximum.
  s->setInvertedAppearance(true);
  s->setInvertedControls(true);
  s->setValue(position);
  return s;
}

}  // namespace

double TrackBarValue(int position, int maximum, double low, double high) {
  return low + static_cast<double>(maximum - position) / maximum * (high - low);
}

int TrackBarPosition(double value, int maximum, double low, double high) {
  return RoundToInt((1.0 - (value - low) / (high - low)) * maximum);
}

double ContrastRangeFactor(int position) { return std::pow(10.0, -position / 100.0); }

int ContrastPosition(double rangeFactor) { return RoundToInt(-std::log10(rangeFactor) * 100.0); }

std::string ContrastText(int position) { return FormatGeneral(position / 10.0); }

QString LambdaFraction(double lengthNm) {
  const TkwValue& p = Preferences.Valeurs;
  return QString::fromStdString(LambdaFractionText(lengthNm, p.LambdaRef, p.NDecLambda));
}

TFormInfos::TFormInfos(QWidget* parent) : QDockWidget(parent) {
  setObjectName("FormInfos");
  setWindowTitle("Information");
  setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
  // Floating, a dock is a tool window, which stays above the main window
  // and so above every image window.
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
              QDockWidget::DockWidgetFloatable);

  PageControl1 = new QTabWidget(this);
  TabValeurs = BuildValuesPage();
  TabResultats = BuildResultsPage();
  TabAffichage = BuildDisplayPage();
  TabOptions = BuildOptionsPage();
  PageControl1->addTab(TabValeurs, "Values");
  PageControl1->addTab(TabResultats, "Results");
  PageControl1->addTab(TabAffichage, "Display");
  PageControl1->addTab(TabOptions, "Options");
  // No figures yet.
  PageControl1->setTabVisible(PageControl1->indexOf(TabResultats), false);
  PageControl1->setCurrentWidget(TabValeurs);
  setWidget(PageControl1);

  connect(PageControl1, &QTabWidget::currentChanged, this, &TFormInfos::PageControl1Change);
  connect(TrackBar1, &QSlider::valueChanged, this, &TFormInfos::TrackBar1Change);
  connect(TrackBar2, &QSlider::valueChanged, this, &TFormInfos::TrackBar2Change);
  connect(TrackBar3, &QSlider::valueChanged, this, &TFormInfos::TrackBar3Change);
  connect(TrackBar4, &QSlider::valueChanged, this, &TFormInfos::TrackBar4Change);
  connect(Edit2, &QLineEdit::textEdited, this, &TFormInfos::Edit2Change);
  connect(ButtonSeuil, &QPushButton::clicked, this, &TFormInfos::ButtonSeuilClick);
  connect(ComboBoxPalette, &QComboBox::currentIndexChanged, this, &TFormInfos::ComboBoxPaletteChange);
  connect(CheckBoxMasque, &QCheckBox::toggled, this, &TFormInfos::CheckBoxMasqueClick);
  connect(CheckBoxEchelle, &QCheckBox::toggled, this, &TFormInfos::CheckBoxEchelleClick);
  connect(ComboBoxZoom, &QComboBox::currentIndexChanged, this, &TFormInfos::ComboBoxZoomChange);
  connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TFormInfos::ComboBox1Change);
  connect(ComboBox2, &QComboBox::currentIndexChanged, this, &TFormInfos::ComboBox2Change);
  connect(ComboBoxCoord, &QComboBox::currentIndexChanged, this, &TFormInfos::ShowRadius);
  connect(SpinEditAngle, &QSpinBox::valueChanged, this, &TFormInfos::SpinEditAngleChange);
  connect(SpinEditFranges, &QSpinBox::valueChanged, this, &TFormInfos::SpinEditFrangesChange);
  connect(SpinEditPas, &QSpinBox::valueChanged, this, &TFormInfos::SpinEditPasChange);
  connect(Button1, &QPushButton::clicked, this, &TFormInfos::Button1Click);
  connect(CheckBoxSerie, &QCheckBox::toggled, this, [this] { ProductControlChanged(false); });
  connect(ComboBoxPsfTaille, &QComboBox::currentIndexChanged, this, [this] { ProductControlChanged(false); });

  TSession& s = Session();
  connect(&s, &TSession::ActiveImageChanged, this, [this](TForm1* window) {
    if (!window) {
      // The active window went; another one takes over unless it was the last.
      if (TForm1::ImageWindows().isEmpty()) hide();
      return;
    }
    RefreshPanel();
    if (const TPupille* g = ActiveGrid(); g && IsWavefront(*g)) RefreshResults();
  });
  connect(&s, &TSession::ReconstructionChanged, this, [this](int) {
    if (const TPupille* g = ActiveGrid(); g && IsWavefront(*g)) RefreshResults();
  });
  auto activeGridChanged = [this](const TPupille* grid) {
    if (!applying_ && grid && grid == ActiveGrid()) Reload();
  };
  connect(&s, &TSession::GridValuesChanged, this, activeGridChanged);
  connect(&s, &TSession::GridDisplayChanged, this, activeGridChanged);
  connect(&s, &TSession::ReadOutChanged, this, [this](TForm1* window, const TReadOut& at) {
    if (!window || window != ActiveImage || !window->Grid) return;
    const TReadOutTexts t = FormatReadOut(*window->Grid, at, CoordinateUnit(), ValueUnit());
    EditX->setText(t.X);
    EditY->setText(t.Y);
    if (t.HasValue) EditValeur->setText(t.Value);
  });
  connect(&s, &TSession::InformationPanelRequested, this, [this](bool visible) {
    setVisible(visible);
    if (!visible) return;
    raise();
    // The command that asks may have changed the grid since it was activated.
    if (ActiveGrid()) Reload();
  });
  connect(&s, &TSession::TestReset, this, &QWidget::hide);
  connect(&s, &TSession::DisplayPreferencesChanged, this, [this] {
    if (ActiveGrid()) Reload();
  });
  connect(&s, &TSession::ProductControlsChanged, this, [this] {
    if (!applying_) LoadProductControls();
  });

  LoadProductControls();
}

void TFormInfos::showEvent(QShowEvent* event) {
  // As tall as its tallest page needs once styled, never stretched.
  setFixedHeight(sizeHint().height());
  QDockWidget::showEvent(event);
}

// ---- Pages ----

QWidget* TFormInfos::BuildValuesPage() {
  auto* page = new QWidget;
  auto* columns = new QHBoxLayout(page);

  auto* thresholdColumn = new QVBoxLayout;
  TrackBar1 = VerticalBar(page, kTrackMaximum);
  thresholdColumn->addWidget(TrackBar1, 1, Qt::AlignHCenter);
  columns->addLayout(thresholdColumn);

  auto* fields = new QVBoxLayout;
  columns->addLayout(fields, 1);

  auto* range = new QFormLayout;
  EditMax = ReadOnlyField(page);
  EditMin = ReadOnlyField(page);
  range->addRow("Max", EditMax);
  range->addRow("Min", EditMin);
  fields->addLayout(range);

  auto* threshold = new QHBoxLayout;
  EditSeuil = ReadOnlyField(page);
  ButtonSeuil = new QPushButton("Auto thres", page);
  threshold->addWidget(EditSeuil, 1);
  threshold->addWidget(ButtonSeuil);
  fields->addLayout(threshold);

  auto* size = new QHBoxLayout;
  ComboBox1 = new QComboBox(page);
  ComboBox1->addItems({"Dim. (pix)", "Effective(pix)"});
  EditDim = ReadOnlyField(page);
  size->addWidget(ComboBox1);
  size->addWidget(EditDim, 1);
  fields->addLayout(size);

  auto* centre = new QGroupBox("Centre", page);
  auto* centreGrid = new QGridLayout(centre);
  EditCentreX = ReadOnlyField(centre);
  EditCentreY = ReadOnlyField(centre);
  ComboBox2 = new QComboBox(centre);
  ComboBox2->addItems({"Radus", "Obstruction"});
  EditRayon = ReadOnlyField(centre);
  centreGrid->addWidget(new QLabel("X =", centre), 0, 0);
  centreGrid->addWidget(EditCentreX, 0, 1);
  centreGrid->addWidget(new QLabel("Y =", centre), 1, 0);
  centreGrid->addWidget(EditCentreY, 1, 1);
  centreGrid->addWidget(ComboBox2, 2, 0);
  centreGrid->addWidget(EditRayon, 2, 1);
  fields->addWidget(centre);

  auto* cursor = new QGroupBox("Cursor", page);
  auto* cursorGrid = new QGridLayout(cursor);
  EditX = ReadOnlyField(cursor);
  EditY = ReadOnlyField(cursor);
  ComboBoxCoord = new QComboBox(cursor);
  ComboBoxCoord->addItems({"(pixels)", "(reduced)", "(millimetres)"});
  ComboBoxRectPol = new QComboBox(cursor);
  ComboBoxRectPol->addItems({"Coord. rect.", "Coord. pol."});
  LabelValeur = new QLabel("I = ", cursor);
  EditValeur = ReadOnlyField(cursor);
  ComboBoxUnite = new QComboBox(cursor);
  ComboBoxUnite->addItems({"Nanometres", "Lambda(s)"});
  ComboBoxUnite->setCurrentIndex(-1);  // chosen when a wavefront is first shown
  // Its room is kept while hidden, so the panel's height fits every kind.
  QSizePolicy keepRoom = ComboBoxUnite->sizePolicy();
  keepRoom.setRetainSizeWhenHidden(true);
  ComboBoxUnite->setSizePolicy(keepRoom);
  ComboBoxUnite->hide();
  cursorGrid->addWidget(new QLabel("X =", cursor), 0, 0);
  cursorGrid->addWidget(EditX, 0, 1);
  cursorGrid->addWidget(new QLabel("Y =", cursor), 1, 0);
  cursorGrid->addWidget(EditY, 1, 1);
  cursorGrid->addWidget(ComboBoxCoord, 2, 0, 1, 2);
  cursorGrid->addWidget(ComboBoxRectPol, 3, 0, 1, 2);
  cursorGrid->addWidget(LabelValeur, 4, 0);
  cursorGrid->addWidget(EditValeur, 4, 1);
  cursorGrid->addWidget(ComboBoxUnite, 5, 0, 1, 2);
  fields->addWidget(cursor);
  fields->addStretch(1);
  return page;
}

QWidget* TFormInfos::BuildResultsPage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);

  auto* loss = new QGroupBox("Loss on the wave", page);
  auto* lossGrid = new QGridLayout(loss);
  EditPtvNano = ReadOnlyField(loss);
  EditPtvLambda = ReadOnlyField(loss);
  EditRmsNano = ReadOnlyField(loss);
  EditRmsLambda = ReadOnlyField(loss);
  lossGrid->addWidget(new QLabel("PTV", loss), 0, 0);
  lossGrid->addWidget(EditPtvNano, 0, 1);
  lossGrid->addWidget(EditPtvLambda, 1, 1);
  lossGrid->addWidget(new QLabel("RMS", loss), 2, 0);
  lossGrid->addWidget(EditRmsNano, 2, 1);
  lossGrid->addWidget(EditRmsLambda, 3, 1);
  column->addWidget(loss);

  auto* strehl = new QGroupBox("Strehl ratio", page);
  auto* strehlColumn = new QVBoxLayout(strehl);
  LabelStrehl = new QLabel("S =", strehl);
  LabelSmax = new QLabel("Smax =", strehl);
  LabelSsurSmax = new QLabel("S/Smax =", strehl);
  strehlColumn->addWidget(LabelStrehl);
  strehlColumn->addWidget(LabelSmax);
  strehlColumn->addWidget(LabelSsurSmax);
  column->addWidget(strehl);
  column->addStretch(1);
  return page;
}

QWidget* TFormInfos::BuildDisplayPage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);

  auto* choices = new QFormLayout;
  ComboBoxPalette = new QComboBox(page);
  for (const std::string& name : PaletteNames()) ComboBoxPalette->addItem(QString::fromStdString(name));
  ComboBoxZoom = new QComboBox(page);
  for (const char* name : ZoomNames) ComboBoxZoom->addItem(name);
  ComboBoxZoom->setCurrentIndex(kZoomIndexOneToOne);
  choices->addRow("Palette", ComboBoxPalette);
  choices->addRow("Zoom", ComboBoxZoom);
  column->addLayout(choices);

  CheckBoxMasque = new QCheckBox("Mask visible", page);
  CheckBoxEchelle = new QCheckBox("Display scale", page);
  CheckBox3D = new QCheckBox("3D", page);
  CheckBox3D->setEnabled(false);
  column->addWidget(CheckBoxMasque);
  column->addWidget(CheckBoxEchelle);
  column->addWidget(CheckBox3D);

  auto* bars = new QHBoxLayout;
  ImagePalette = new QLabel(page);
  ImagePalette->setFixedSize(24, 160);
  bars->addWidget(ImagePalette);
  auto barColumn = [](QSlider* bar, QLabel* value, bool valueOnTop) {
    auto* c = new QVBoxLayout;
    if (valueOnTop) c->addWidget(value, 0, Qt::AlignHCenter);
    c->addWidget(bar, 1, Qt::AlignHCenter);
    if (!valueOnTop) c->addWidget(value, 0, Qt::AlignHCenter);
    return c;
  };
  TrackBar3 = VerticalBar(page, 0);
  LabelHaut = new QLabel(page);
  TrackBar2 = VerticalBar(page, kTrackMaximum);
  LabelBas = new QLabel(page);
  bars->addLayout(barColumn(TrackBar3, LabelHaut, true), 1);
  bars->addLayout(barColumn(TrackBar2, LabelBas, false), 1);
  column->addLayout(bars);

  auto* contrast = new QHBoxLayout;
  TrackBar4 = new QSlider(Qt::Horizontal, page);
  TrackBar4->setRange(-100, 100);
  TrackBar4->setValue(0);
  Edit2 = new QLineEdit("0", page);
  Edit2->setMaximumWidth(60);
  contrast->addWidget(new QLabel("Cont.", page));
  contrast->addWidget(TrackBar4, 1);
  contrast->addWidget(Edit2);
  column->addLayout(contrast);
  column->addStretch(1);
  return page;
}

QWidget* TFormInfos::BuildOptionsPage() {
  auto* page = new QWidget;
  auto* column = new QVBoxLayout(page);

  GroupBoxOptions = new QGroupBox("Interferogram", page);
  auto* form = new QFormLayout(GroupBoxOptions);
  SpinEditAngle = new QSpinBox(GroupBoxOptions);
  SpinEditAngle->setRange(-360, 360);
  SpinEditAngle->setValue(0);
  SpinEditPas = new QSpinBox(GroupBoxOptions);
  SpinEditPas->setRange(1, 180);
  SpinEditPas->setValue(45);
  SpinEditAngle->setSingleStep(SpinEditPas->value());
  Button1 = new QPushButton("Zero", GroupBoxOptions);
  SpinEditFranges = new QSpinBox(GroupBoxOptions);
  SpinEditFranges->setRange(1, 24);
  SpinEditFranges->setValue(8);
  CheckBoxSerie = new QCheckBox("Calculate series", GroupBoxOptions);
  form->addRow("Angle (deg) :", SpinEditAngle);
  form->addRow("Pas (deg) :", SpinEditPas);
  form->addRow(QString(), Button1);
  form->addRow("Fringes :", SpinEditFranges);
  form->addRow(CheckBoxSerie);
  column->addWidget(GroupBoxOptions);

  auto* psf = new QGroupBox("PSF", page);
  auto* psfForm = new QFormLayout(psf);
  ComboBoxPsfType = new QComboBox(psf);
  ComboBoxPsfType->addItems({"Actual", "Theoreti."});
  ComboBoxPsfEchelle = new QComboBox(psf);
  ComboBoxPsfEchelle->addItems({"Linear", "Log"});
  ComboBoxPsfTaille = new QComboBox(psf);
  ComboBoxPsfTaille->addItems({"x1", "x2", "x4", "x8"});
  ComboBoxPsfTaille->setCurrentIndex(-1);  // the preference decides until chosen
  psfForm->addRow(ComboBoxPsfType);
  psfForm->addRow(ComboBoxPsfEchelle);
  psfForm->addRow("Size", ComboBoxPsfTaille);
  column->addWidget(psf);
  column->addStretch(1);
  return page;
}

// ---- Reading the active window ----

TPupille* TFormInfos::ActiveGrid() const {
  return ActiveImage && ActiveImage->Grid ? ActiveImage->Grid.get() : nullptr;
}

TCoordinateUnit TFormInfos::CoordinateUnit() const {
  switch (ComboBoxCoord->currentIndex()) {
    case 1:
      return TCoordinateUnit::Reduced;
    case 2:
      return TCoordinateUnit::Millimetres;
    default:
      return TCoordinateUnit::Pixels;
  }
}

TValueUnit TFormInfos::ValueUnit() const {
  switch (ComboBoxUnite->currentIndex()) {
    case 0:
      return TValueUnit::Nanometres;
    case 1:
      return TValueUnit::Waves;
    default:
      return TValueUnit::NoSelection;
  }
}

void TFormInfos::ShowSize() {
  const TPupille* g = ActiveGrid();
  if (!g) return;
  if (ComboBox1->currentIndex() == 1)
    EditDim->setText(QString::number(g->MaskCount));
  else
    EditDim->setText(QString("[%1x%2]").arg(g->Nx).arg(g->Ny));
}

void TFormInfos::ShowRadius() {
  const TPupille* g = ActiveGrid();
  if (!g) return;
  const TkwValue& p = Preferences.Valeurs;
  const double radius = g->PupilRadius;
  double value = ComboBox2->currentIndex() == 1 ? g->Obstruction * radius : radius;
  switch (CoordinateUnit()) {
    case TCoordinateUnit::Pixels:
      EditRayon->setText(Fixed(value, p.NDecPix));
      break;
    case TCoordinateUnit::Reduced:
      if (radius != 0) value /= radius;
      EditRayon->setText(Fixed(value, p.NDecRed));
      break;
    case TCoordinateUnit::Millimetres:
      if (radius != 0) value = 1e-6 * g->Scale * value / radius;
      EditRayon->setText(Fixed(value, p.NDecMilli));
      break;
  }
}

void TFormInfos::RefreshPanel() {
  TForm1* w = ActiveImage.data();
  TPupille* g = ActiveGrid();
  if (!g) return;
  const QScopedValueRollback loading(Loading, true);
  const std::size_t channel = g->Channel < ChannelNames.size() ? g->Channel : 0;
  setWindowTitle(
      QString("Information %1 %2").arg(w->windowTitle(), QString::fromStdString(ChannelNames[channel])));

  QString maxText = Fixed(g->MaxValue, 1), minText = Fixed(g->MinValue, 1);
  ShowSize();
  EditCentreX->setText(Fixed(g->OriginColumn, 1));
  EditCentreY->setText(Fixed(g->OriginRow, 1));
  ShowRadius();

  TrackBar1->setEnabled(false);
  ButtonSeuil->setEnabled(false);
  EditSeuil->setEnabled(false);
  EditSeuil->clear();
  LabelValeur->setText("I =");
  ComboBoxUnite->hide();

  CheckBoxEchelle->setChecked(w->ShowScale != 0);
  ComboBoxZoom->setCurrentIndex(w->ZoomIndex);
  if (g->PaletteIndex < kPaletteCount) ComboBoxPalette->setCurrentIndex(g->PaletteIndex);
  CheckBoxMasque->setChecked(g->MaskActive);
  if (g->RangeFactor > 0) {
    TrackBar4->setValue(ContrastPosition(g->RangeFactor));
    Edit2->setText(QString::fromStdString(ContrastText(TrackBar4->value())));
  }

  if (g->Kind == kKindInterferogram || g->Kind == kKindFoucault) {
    // Loading: the handlers keep the product settings but recompute nothing.
    SpinEditAngle->setValue(RoundToInt(180.0 * g->Angle / M_PI));
    SpinEditFranges->setValue(g->FringeCount);
  }

  // Values outside the grid's range come back to it; the picture then changes.
  const double low = g->MinValue, high = g->MaxValue;
  const bool flat = high == low;
  bool corrected = false;
  if (IsImage(*g)) {
    TrackBar1->setEnabled(true);
    ButtonSeuil->setEnabled(true);
    EditSeuil->setEnabled(true);
    if (!flat && low <= g->Threshold && g->Threshold <= high) {
      TrackBar1->setValue(TrackBarPosition(g->Threshold, kTrackMaximum, low, high));
    } else {
      g->Threshold = low;
      TrackBar1->setValue(kTrackMaximum);
    }
    EditSeuil->setText(Fixed(g->Threshold, 1));
  }
  if (!flat && low <= g->DisplayLow && g->DisplayLow <= high) {
    TrackBar2->setValue(TrackBarPosition(g->DisplayLow, kTrackMaximum, low, high));
  } else {
    corrected = corrected || g->DisplayLow != low;
    g->DisplayLow = low;
    TrackBar2->setValue(kTrackMaximum);
  }
  if (!flat && low <= g->DisplayHigh && g->DisplayHigh <= high) {
    TrackBar3->setValue(TrackBarPosition(g->DisplayHigh, kTrackMaximum, low, high));
  } else {
    corrected = corrected || g->DisplayHigh != high;
    g->DisplayHigh = high;
    TrackBar3->setValue(0);
  }
  LabelHaut->setText(Fixed(g->DisplayHigh, 1));
  LabelBas->setText(Fixed(g->DisplayLow, 1));

  switch (g->Kind) {
    case kKindSignal:
      LabelValeur->setText("S =");
      break;
    case kKindWavefront:
    case kKindResidual:
      LabelValeur->setText("W=");
      ComboBoxUnite->show();
      if (ComboBoxUnite->currentIndex() < 0) ComboBoxUnite->setCurrentIndex(0);
      maxText += " nm";
      minText += " nm";
      break;
    case kKindInterferogram:
      GroupBoxOptions->setTitle("Interferogram");
      break;
    case kKindFoucault:
      GroupBoxOptions->setTitle("Foucaultgram");
      break;
    default:
      break;
  }
  EditMax->setText(maxText);
  EditMin->setText(minText);

  if (corrected)
    RedrawActive();
  else
    DrawPaletteBar();
}

void TFormInfos::RefreshResults(bool makeCurrent) {
  PageControl1->setTabVisible(PageControl1->indexOf(TabResultats), true);
  if (makeCurrent) PageControl1->setCurrentWidget(TabResultats);
  TPupille* g = ActiveGrid();
  if (!g) {
    EditPtvNano->clear();
    EditPtvLambda->clear();
    EditRmsNano->clear();
    EditRmsLambda->clear();
    return;
  }
  const TkwValue& p = Preferences.Valeurs;
  // The figures are over the pupil only; the grid keeps its whole range,
  // which its picture and the display bars are drawn against.
  const double low = g->MinValue, high = g->MaxValue;
  g->ComputeMaskedStatistics();
  g->ComputeMaskedRange();
  g->MinValue = low;
  g->MaxValue = high;
  EditPtvNano->setText(Fixed(g->PtvValue, p.NDecNano) + " nm");
  EditRmsNano->setText(Fixed(g->RmsValue, p.NDecNano) + " nm");
  if (g->PtvValue > 1e-300) {
    EditPtvLambda->setText(LambdaFraction(g->PtvValue));
    EditRmsLambda->setText(LambdaFraction(g->RmsValue));
  } else {
    EditPtvLambda->clear();
    EditRmsLambda->clear();
  }
  g->ComputeStrehl();
  LabelStrehl->setText("S = " + Fixed(g->StrehlObstructed, p.NDecStrehl));
  LabelSmax->setText("Smax = " + Fixed(g->ObstructionFactor, p.NDecStrehl));
  LabelSsurSmax->setText("S/Smax = " + Fixed(g->Strehl, p.NDecStrehl));
}

void TFormInfos::Reload() {
  RefreshPanel();
  const TPupille* g = ActiveGrid();
  if (g && IsWavefront(*g)) RefreshResults(false);
}

void TFormInfos::DrawPaletteBar() {
  const QSize size = ImagePalette->size();
  TRaster bar;
  bar.Resize(size.width(), size.height());
  if (bar.Empty()) return;
  const TPupille* g = ActiveGrid();
  const int index = g ? g->PaletteIndex : ComboBoxPalette->currentIndex();
  const std::optional<double> tint = ActiveImage ? ActiveImage->Tint() : std::nullopt;
  DrawColourBar(PaletteFor(index, tint ? *tint : MonochromeWavelength), 0, 0, bar.Width, bar.Height, bar);
  const QImage image(bar.Rgb.data(), bar.Width, bar.Height, bar.Width * 3, QImage::Format_RGB888);
  ImagePalette->setPixmap(QPixmap::fromImage(image.copy()));
}

void TFormInfos::RedrawActive(bool values) {
  DrawPaletteBar();
  const TPupille* g = ActiveGrid();
  if (!g) return;
  // The image windows redraw themselves (with their scale bar when shown);
  // the panel does not reload what it has just written.
  const QScopedValueRollback guard(applying_, true);
  if (values)
    Session().NotifyGridValues(g);
  else
    Session().NotifyGridDisplay(g);
}

// ---- Handlers ----

void TFormInfos::TrackBar1Change() {
  TPupille* g = ActiveGrid();
  if (Loading || !g) return;
  g->Threshold = TrackBarValue(TrackBar1->value(), kTrackMaximum, g->MinValue, g->MaxValue);
  EditSeuil->setText(Fixed(g->Threshold, 1));
  g->ThresholdMask();
  g->MeasurePupil();
  RedrawActive(true);
}

void TFormInfos::TrackBar2Change() {
  TPupille* g = ActiveGrid();
  if (Loading || !g) return;
  g->DisplayLow = TrackBarValue(TrackBar2->value(), kTrackMaximum, g->MinValue, g->MaxValue);
  EditSeuil->setText(Fixed(g->Threshold, 1));
  LabelBas->setText(Fixed(g->DisplayLow, 1));
  RedrawActive();
}

void TFormInfos::TrackBar3Change() {
  TPupille* g = ActiveGrid();
  if (Loading || !g) return;
  g->DisplayHigh = TrackBarValue(TrackBar3->value(), kTrackMaximum, g->MinValue, g->MaxValue);
  EditSeuil->setText(Fixed(g->Threshold, 1));
  LabelHaut->setText(Fixed(g->DisplayHigh, 1));
  RedrawActive();
}

void TFormInfos::TrackBar4Change() {
  TPupille* g = ActiveGrid();
  if (Loading || !g) return;
  g->RangeFactor = ContrastRangeFactor(TrackBar4->value());
  if (!editingContrast_) Edit2->setText(QString::fromStdString(ContrastText(TrackBar4->value())));
  RedrawActive();
}

void TFormInfos::Edit2Change() {
  const double e = ParseFloatOrZero(Edit2->text().toStdString());
  const QScopedValueRollback editing(editingContrast_, true);
  TrackBar4->setValue(RoundToInt(e * 100 / 10));
}

void TFormInfos::ButtonSeuilClick() {
  TPupille* g = ActiveGrid();
  if (!g) return;
  const TkwValue& p = Preferences.Valeurs;
  g->ExtractThreshold(p.ExtractDim, p.ExtractSeuil);
  g->MeasurePupil();
  RedrawActive(true);
  RefreshPanel();
}

void TFormInfos::ComboBoxPaletteChange() {
  TPupille* g = ActiveGrid();
  if (Loading || !g || ComboBoxPalette->currentIndex() < 0) return;
  g->PaletteIndex = static_cast<std::uint8_t>(ComboBoxPalette->currentIndex());
  RedrawActive();
}

void TFormInfos::CheckBoxMasqueClick() {
  TPupille* g = ActiveGrid();
  if (Loading || !g) return;
  g->MaskActive = CheckBoxMasque->isChecked();
  RedrawActive();
}

void TFormInfos::CheckBoxEchelleClick() {
  if (Loading || !ActiveGrid()) return;
  ActiveImage->ShowScale = CheckBoxEchelle->isChecked() ? 1 : 0;
  RedrawActive();
}

void TFormInfos::ComboBoxZoomChange() {
  if (Loading || !ActiveGrid() || ComboBoxZoom->currentIndex() < 0) return;
  ActiveImage->ZoomIndex = static_cast<std::uint8_t>(ComboBoxZoom->currentIndex());
  RedrawActive();
}

void TFormInfos::ComboBox1Change() { ShowSize(); }

void TFormInfos::ComboBox2Change() { ShowRadius(); }

void TFormInfos::SpinEditAngleChange() { ProductControlChanged(true); }

void TFormInfos::SpinEditFrangesChange() { ProductControlChanged(true); }

void TFormInfos::SpinEditPasChange() {
  SpinEditAngle->setSingleStep(SpinEditPas->value());
  ProductControlChanged(false);
}

void TFormInfos::Button1Click() { SpinEditAngle->setValue(0); }

void TFormInfos::PageControl1Change(int index) {
  if (index == PageControl1->indexOf(TabValeurs)) RefreshPanel();
}

// ---- Product settings ----

void TFormInfos::WriteProductControls() {
  TProductControls c;
  c.Angle = SpinEditAngle->value();
  c.Step = SpinEditPas->value();
  c.Fringes = SpinEditFranges->value();
  c.Series = CheckBoxSerie->isChecked();
  c.PsfSizeIndex = ComboBoxPsfTaille->currentIndex();
  const QScopedValueRollback guard(applying_, true);
  Session().SetProductControls(c);
}

void TFormInfos::LoadProductControls() {
  // Shown as set elsewhere; nothing fires, nothing is recomputed.
  const TProductControls c = Session().ProductControls();
  const QSignalBlocker angle(SpinEditAngle), step(SpinEditPas), fringes(SpinEditFranges),
      series(CheckBoxSerie), size(ComboBoxPsfTaille);
  SpinEditPas->setValue(c.Step);
  SpinEditAngle->setSingleStep(SpinEditPas->value());
  SpinEditAngle->setValue(c.Angle);
  SpinEditFranges->setValue(c.Fringes);
  CheckBoxSerie->setChecked(c.Series);
  ComboBoxPsfTaille->setCurrentIndex(c.PsfSizeIndex >= 0 && c.PsfSizeIndex <= 3 ? c.PsfSizeIndex : -1);
}

void TFormInfos::ProductControlChanged(bool recompute) {
  WriteProductControls();
  if (!recompute || Loading) return;
  // Only an interferogram or a Foucaultgram is made again from the angle
  // and the fringe count.
  const TPupille* g = ActiveGrid();
  if (g && (g->Kind == kKindInterferogram || g->Kind == kKindFoucault)) Session().RequestProductRecompute();
}

}  // namespace caustica
