#include "setup/parametres_form.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "analysis/u_pupille.h"
#include "analysis/u_zernike.h"
#include "app/platform.h"
#include "app/session.h"
#include "core/number_format.h"
#include "core/u_math.h"
#include "setup/reconstruction_method.h"
#include "setup/u_prefs.h"

namespace caustica {
namespace {

const char* const kSimpleText =
    "The wavefront is reconstructed from the intra and extra focal images at the top of each list.";
const char* const kPolychromaticText =
    "The wavefronts are reconstructed for the three colors blue, green, and red, in that order, from the "
    "first "
    "three images of each list.";
const char* const kInfoLabels[9] = {"Observer :",  "Observatory :", "Instrument :", "Camera :",   "Filter :",
                                    "Comment 1 :", "Comment 2 :",   "Comment 3 :",  "Comment 4 :"};

QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }

// Integer controls take rounded values; anything out of range is clamped by the control.
int RoundedInt(double v) {
  const double r = std::nearbyint(v);
  if (!(r > -2e9 && r < 2e9)) return 0;
  return static_cast<int>(r);
}

QLineEdit* ReadOnlyField(QWidget* parent) {
  auto* e = new QLineEdit(parent);
  e->setReadOnly(true);
  return e;
}

}  // namespace

TFormParam::TFormParam(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Test parameters");
  setModal(true);

  // The image lists and the processing mode, above the tabs.
  auto* intraBox = new QGroupBox("IntraFocales", this);
  auto* intraLayout = new QVBoxLayout(intraBox);
  ListIntra = new QListWidget(intraBox);
  ButtonIntraUp = new QPushButton("+", intraBox);
  ButtonIntraDown = new QPushButton("-", intraBox);
  auto* intraButtons = new QHBoxLayout;
  intraButtons->addWidget(ButtonIntraUp);
  intraButtons->addWidget(ButtonIntraDown);
  intraLayout->addWidget(ListIntra);
  intraLayout->addLayout(intraButtons);

  auto* extraBox = new QGroupBox("ExtraFocales", this);
  auto* extraLayout = new QVBoxLayout(extraBox);
  ListExtra = new QListWidget(extraBox);
  ButtonExtraUp = new QPushButton("+", extraBox);
  ButtonExtraDown = new QPushButton("-", extraBox);
  auto* extraButtons = new QHBoxLayout;
  extraButtons->addWidget(ButtonExtraUp);
  extraButtons->addWidget(ButtonExtraDown);
  extraLayout->addWidget(ListExtra);
  extraLayout->addLayout(extraButtons);

  ButtonToExtra = new QPushButton(">", this);
  ButtonToIntra = new QPushButton("<", this);
  auto* moveButtons = new QVBoxLayout;
  moveButtons->addStretch();
  moveButtons->addWidget(ButtonToExtra);
  moveButtons->addWidget(ButtonToIntra);
  moveButtons->addStretch();

  ComboMode = new QComboBox(this);
  ComboMode->addItems({"Simple", "Polychromatic"});
  ModeExplanation = new QLabel(this);
  ModeExplanation->setWordWrap(true);
  auto* modeLayout = new QVBoxLayout;
  modeLayout->addWidget(ComboMode);
  modeLayout->addWidget(ModeExplanation);
  modeLayout->addStretch();

  auto* lists = new QHBoxLayout;
  lists->addWidget(intraBox);
  lists->addLayout(moveButtons);
  lists->addWidget(extraBox);
  lists->addLayout(modeLayout, 1);

  Tabs = new QTabWidget(this);

  // "Instrument used".
  TabInstrument = new QWidget;
  auto* instrument = new QFormLayout(TabInstrument);
  SpinDiametre = new QSpinBox(TabInstrument);
  SpinDiametre->setRange(0, 10000);
  SpinDiametre->setSingleStep(10);
  SpinFocale = new QSpinBox(TabInstrument);
  SpinFocale->setRange(0, 1000000);
  SpinFocale->setSingleStep(100);
  EditRapportFD = new QLineEdit(TabInstrument);
  EditPixel = new QLineEdit(TabInstrument);
  SpinBinUsed = new QSpinBox(TabInstrument);
  SpinBinUsed->setRange(0, 255);
  SpinBinLogical = new QSpinBox(TabInstrument);
  SpinBinLogical->setRange(0, 255);
  EditRayonIntra = ReadOnlyField(TabInstrument);
  EditRayonExtra = ReadOnlyField(TabInstrument);
  EditDefocalisation = new QLineEdit(TabInstrument);
  SpeedButton1 = new QToolButton(TabInstrument);
  SpeedButton1->setText("=");
  SpeedButton1->setToolTip("Calculer les distances intra et extra");
  // 0 leaves the obstruction to be measured on the images; a known value
  // wins over a measure spoilt by seeing or a faint central hole.
  SpinObstruction = new QSpinBox(TabInstrument);
  SpinObstruction->setRange(0, 95);
  SpinObstruction->setSuffix(" %");
  SpinObstruction->setSpecialValueText("Measured");
  SpinObstruction->setToolTip(
      "Diameter of the central obstruction over the pupil diameter; Measured: found on the images");
  auto* defocusRow = new QHBoxLayout;
  defocusRow->addWidget(EditDefocalisation);
  defocusRow->addWidget(SpeedButton1);
  instrument->addRow("Diameter (mm) :", SpinDiametre);
  instrument->addRow("Focal length (mm) :", SpinFocale);
  instrument->addRow("F/D :", EditRapportFD);
  instrument->addRow("CCD pixel size (µm) :", EditPixel);
  instrument->addRow("Binning used :", SpinBinUsed);
  instrument->addRow("Logical binning :", SpinBinLogical);
  instrument->addRow("Intra image radius (pixels) :", EditRayonIntra);
  instrument->addRow("Extra image radius (pixels) :", EditRayonExtra);
  instrument->addRow("Defocus (mm) :", defocusRow);
  instrument->addRow("Central obstruction :", SpinObstruction);
  ButtonInfos = new QPushButton("Retrieve information from the image", TabInstrument);
  ButtonSaveDefault = new QPushButton("Save parameters as defaults", TabInstrument);
  ButtonLoadDefault = new QPushButton("Load default settings", TabInstrument);
  instrument->addRow(ButtonInfos);
  instrument->addRow(ButtonSaveDefault);
  instrument->addRow(ButtonLoadDefault);
  Tabs->addTab(TabInstrument, "Instrument used");

  // "Source".
  TabSource = new QWidget;
  auto* source = new QVBoxLayout(TabSource);
  RadioButton1 = new QRadioButton("Star at infinity", TabSource);
  RadioButton2 = new QRadioButton("Artificial star (at finite distance)", TabSource);
  RadioButton3 = new QRadioButton("Source radius of curvature", TabSource);
  RadioButton4 = new QRadioButton("Source at infinity(autocolimation)", TabSource);
  for (QRadioButton* r : {RadioButton1, RadioButton2, RadioButton3, RadioButton4}) source->addWidget(r);
  auto* geometry = new QFormLayout;
  EditDistance = new QLineEdit(TabSource);
  ComboDistanceUnit = new QComboBox(TabSource);
  ComboDistanceUnit->addItems({"millimetres", "metres", "kilometres"});
  auto* distanceRow = new QHBoxLayout;
  distanceRow->addWidget(EditDistance);
  distanceRow->addWidget(ComboDistanceUnit);
  EditAngle = new QLineEdit("0", TabSource);
  ComboAngleUnit = new QComboBox(TabSource);
  ComboAngleUnit->addItems({"Degrés", "Radian"});
  ComboOrientation = new QComboBox(TabSource);
  ComboOrientation->addItems({"by x", "by y"});
  ComboOrientation->setPlaceholderText("Orientation");
  ComboOrientation->setCurrentIndex(-1);
  auto* angleRow = new QHBoxLayout;
  angleRow->addWidget(EditAngle);
  angleRow->addWidget(ComboAngleUnit);
  angleRow->addWidget(ComboOrientation);
  geometry->addRow("Source distance :", distanceRow);
  geometry->addRow("Angle of incidence :", angleRow);
  source->addLayout(geometry);
  auto* subtracted = new QGroupBox("Aberrations subtracted (nanometres)", TabSource);
  auto* subtractedLayout = new QFormLayout(subtracted);
  EditAstig = new QLineEdit(subtracted);
  EditComa = new QLineEdit(subtracted);
  EditSpher = new QLineEdit(subtracted);
  SpeedButton2 = new QToolButton(subtracted);
  SpeedButton2->setText("=");
  SpeedButton2->setToolTip("Calculer les aberrations à soustraire");
  auto* spherRow = new QHBoxLayout;
  spherRow->addWidget(EditSpher);
  spherRow->addWidget(SpeedButton2);
  subtractedLayout->addRow("Astigmatism :", EditAstig);
  subtractedLayout->addRow("Coma :", EditComa);
  subtractedLayout->addRow("Sphericity :", spherRow);
  source->addWidget(subtracted);
  source->addStretch();
  Tabs->addTab(TabSource, "Source");

  // "Additional information".
  TabInfos = new QWidget;
  auto* infos = new QGridLayout(TabInfos);
  EditDate = new QLineEdit(TabInfos);
  EditAlpha = new QLineEdit(TabInfos);
  EditDelta = new QLineEdit(TabInfos);
  EditSeeing = new QLineEdit(TabInfos);
  EditStartIntra = new QLineEdit(TabInfos);
  EditStartExtra = new QLineEdit(TabInfos);
  EditExposureIntra = new QLineEdit(TabInfos);
  EditExposureExtra = new QLineEdit(TabInfos);
  EditTempIntra = new QLineEdit(TabInfos);
  EditTempExtra = new QLineEdit(TabInfos);
  int row = 0;
  auto addRow = [&](const QString& caption, QWidget* a, QWidget* b = nullptr) {
    infos->addWidget(new QLabel(caption, TabInfos), row, 0);
    infos->addWidget(a, row, 1);
    if (b) infos->addWidget(b, row, 2);
    ++row;
  };
  addRow("Date (yyyy-mm-dd) :", EditDate);
  addRow("Alpha :", EditAlpha);
  addRow("Delta :", EditDelta);
  addRow("Seeing :", EditSeeing);
  infos->addWidget(new QLabel("Intra", TabInfos), row, 1);
  infos->addWidget(new QLabel("Extra", TabInfos), row, 2);
  ++row;
  addRow("Start time :", EditStartIntra, EditStartExtra);
  addRow("Exposure time (s) :", EditExposureIntra, EditExposureExtra);
  addRow("Temperature (°C) :", EditTempIntra, EditTempExtra);
  LabelList = new QListWidget(TabInfos);
  ValueList = new QListWidget(TabInfos);
  infos->addWidget(LabelList, row, 0);
  infos->addWidget(ValueList, row, 1, 1, 2);
  Tabs->addTab(TabInfos, "Additional information");

  ButtonOk = new QPushButton("Ok", this);
  ButtonOk->setDefault(true);
  ButtonCancel = new QPushButton("Cancel", this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ButtonOk);
  buttons->addWidget(ButtonCancel);

  // Short lists leave the fields their full height on small screens, and
  // the dialog never shrinks below what its fields need.
  ListIntra->setMaximumHeight(140);
  ListExtra->setMaximumHeight(140);
  auto* layout = new QVBoxLayout(this);
  layout->setSizeConstraint(QLayout::SetMinimumSize);
  layout->addLayout(lists);
  layout->addWidget(Tabs, 1);
  layout->addLayout(buttons);

  connect(ButtonOk, &QPushButton::clicked, this, &TFormParam::BitBtn1Click);
  connect(ButtonCancel, &QPushButton::clicked, this, &TFormParam::BitBtn2Click);
  connect(SpinDiametre, &QSpinBox::valueChanged, this, &TFormParam::OnDiametreChange);
  connect(EditRapportFD, &QLineEdit::textEdited, this, &TFormParam::OnRapportFDChange);
  connect(SpinFocale, &QSpinBox::valueChanged, this, &TFormParam::OnFocaleChange);
  connect(ComboMode, &QComboBox::currentIndexChanged, this, &TFormParam::ComboBox1Change);
  connect(Tabs, &QTabWidget::currentChanged, this, [this] {
    if (Tabs->currentWidget() == TabInstrument) ParamShow();
  });
  connect(SpeedButton1, &QToolButton::clicked, this, &TFormParam::SpeedButton1Click);
  connect(SpeedButton2, &QToolButton::clicked, this, &TFormParam::SpeedButton2Click);
  connect(RadioButton1, &QRadioButton::clicked, this, &TFormParam::RadioButton1Click);
  connect(RadioButton3, &QRadioButton::clicked, this, &TFormParam::RadioButton3Click);
  connect(RadioButton4, &QRadioButton::clicked, this, &TFormParam::RadioButton4Click);
  connect(ButtonToExtra, &QPushButton::clicked, this, &TFormParam::Button1Click);
  connect(ButtonToIntra, &QPushButton::clicked, this, &TFormParam::Button2Click);
  connect(ButtonIntraUp, &QPushButton::clicked, this, &TFormParam::Button4Click);
  connect(ButtonIntraDown, &QPushButton::clicked, this, &TFormParam::Button5Click);
  connect(ButtonExtraUp, &QPushButton::clicked, this, &TFormParam::Button6Click);
  connect(ButtonExtraDown, &QPushButton::clicked, this, &TFormParam::Button7Click);
  connect(ButtonInfos, &QPushButton::clicked, this, &TFormParam::Button3Click);
  connect(ButtonSaveDefault, &QPushButton::clicked, this, &TFormParam::SaveDefaultClick);
  connect(ButtonLoadDefault, &QPushButton::clicked, this, &TFormParam::LoadDefaultClick);
  connect(&Session(), &TSession::TestReset, this, &TFormParam::Reinitialiser);
  connect(&Session(), &TSession::ImageListsChanged, this, &TFormParam::RefreshImageLists);

  Reinitialiser();
}

void TFormParam::Reinitialiser() {
  Session().ClearImageLists();
  RefreshImageLists();
  ComboMode->setCurrentIndex(0);
  ComboBox1Change();
  SpinDiametre->setValue(0);
  SpinFocale->setValue(0);
  OnFocaleChange();
  EditPixel->setText("0");
  SpinBinLogical->setValue(1);
  SpinBinUsed->setValue(1);
  SpinObstruction->setValue(0);
  for (QLineEdit* e : {EditRayonIntra, EditRayonExtra, EditDefocalisation, EditDistance, EditAngle, EditAstig,
                       EditComa, EditSpher})
    e->setText("0");
  RadioButton1->setChecked(true);
  ComboAngleUnit->setCurrentIndex(0);
  for (QLineEdit* e : {EditDate, EditAlpha, EditDelta, EditSeeing, EditStartIntra, EditStartExtra,
                       EditExposureIntra, EditExposureExtra, EditTempIntra, EditTempExtra})
    e->clear();
  ValueList->clear();
}

void TFormParam::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
}

void TFormParam::FormShow() {
  RefreshImageLists();
  SpinDiametre->setValue(RoundedInt(2e-6 * Parametres.Rayon));
  SpinFocale->setValue(RoundedInt(1e-6 * Parametres.Focale));
  SpinObstruction->setValue(RoundedInt(100 * Parametres.Obstruction));
  ParametresSauves = Parametres;
  if (Tabs->currentWidget() == TabInstrument) ParamShow();
}

void TFormParam::RefreshImageLists() {
  auto fill = [](QListWidget* widget, const QList<TImageListEntry>& list) {
    const int selected = widget->currentRow();
    widget->clear();
    for (const TImageListEntry& e : list) widget->addItem(e.Caption);
    if (selected >= 0 && selected < widget->count()) widget->setCurrentRow(selected);
  };
  fill(ListIntra, ListBoxIntra);
  fill(ListExtra, ListBoxExtra);
}

TSourceChoice TFormParam::Source() const {
  if (RadioButton2->isChecked()) return TSourceChoice::ArtificialStar;
  if (RadioButton3->isChecked()) return TSourceChoice::RadiusOfCurvature;
  if (RadioButton4->isChecked()) return TSourceChoice::Autocollimation;
  return TSourceChoice::StarAtInfinity;
}

TParamEntries TFormParam::Entries() {
  TParamEntries e;
  e.Diameter = SpinDiametre->value();
  e.FocalLength = SpinFocale->value();
  e.PixelSize = ParseFloatOrZero(S(EditPixel->text()));
  e.BinningUsed = SpinBinUsed->value();
  e.LogicalBinning = SpinBinLogical->value();
  e.Defocus = ParseFloatOrZero(S(EditDefocalisation->text()));
  e.ObstructionPercent = SpinObstruction->value();
  e.Source = Source();
  if (ComboDistanceUnit->currentIndex() < 0) ComboDistanceUnit->setCurrentIndex(0);
  e.SourceDistance = ParseFloatOrZero(S(EditDistance->text()));
  e.DistanceUnit = static_cast<TDistanceUnit>(ComboDistanceUnit->currentIndex());
  e.Angle = ParseFloatOrZero(S(EditAngle->text()));
  e.AngleUnit = ComboAngleUnit->currentIndex() == 1 ? TAngleUnit::Radians : TAngleUnit::Degrees;
  const int o = ComboOrientation->currentIndex();
  e.Orientation = o == 0 ? TOrientation::ByX : o == 1 ? TOrientation::ByY : TOrientation::None;
  const int m = ComboMode->currentIndex();
  e.Mode = m < 0 ? 255 : static_cast<std::uint8_t>(m);
  return e;
}

double TFormParam::DistanceObjet() {
  const TParamEntries e = Entries();
  return caustica::DistanceObjet(e.SourceDistance, e.DistanceUnit);
}

double TFormParam::angleIncidence() {
  const TParamEntries e = Entries();
  return caustica::angleIncidence(e.Angle, e.AngleUnit);
}

bool TFormParam::StrictField(const QLineEdit* field, double& value) {
  if (StrictParseFloat(S(field->text()), value)) return true;
  Platform().Warning(Q(ConversionErrorText(S(field->text()))));
  return false;
}

void TFormParam::BitBtn1Click() {
  const TParamEntries e = Entries();
  StoreEntries(e, TSetupAberrations{AstigCalc, ComaCalc, SpherCalc}, Parametres);
  bool complete = false;
  auto gridOf = [](const TImageListEntry& entry) { return entry.Grid.lock(); };
  if (ComboMode->currentIndex() == 1) {
    complete = ListBoxIntra.size() >= 3 && ListBoxExtra.size() >= 3;
    if (complete) {
      Parametres.IntraBleu = gridOf(ListBoxIntra[0]);
      Parametres.IntraVert = gridOf(ListBoxIntra[1]);
      Parametres.IntraRouge = gridOf(ListBoxIntra[2]);
      Parametres.ExtraBleu = gridOf(ListBoxExtra[0]);
      Parametres.ExtraVert = gridOf(ListBoxExtra[1]);
      Parametres.ExtraRouge = gridOf(ListBoxExtra[2]);
    }
  } else {
    complete = !ListBoxIntra.isEmpty() && !ListBoxExtra.isEmpty();
    if (complete) {
      const std::shared_ptr<TPupille> intra = gridOf(ListBoxIntra[0]);
      const std::shared_ptr<TPupille> extra = gridOf(ListBoxExtra[0]);
      Parametres.Intra = intra;
      Parametres.Extra = extra;
      if (intra) EditRayonIntra->setText(Q(FormatGeneral(intra->PupilRadius)));
      if (extra) EditRayonExtra->setText(Q(FormatGeneral(extra->PupilRadius)));
    }
  }
  Parametres.ParamValides = false;
  if (complete && ParametersComplete(Parametres)) {
    Parametres.ParamValides = true;
    accept();
    return;
  }
  Platform().Warning(complete ? "The parameters are incomplete." : "The image list is incomplete.");
}

void TFormParam::BitBtn2Click() {
  Parametres = ParametresSauves;
  reject();
}

void TFormParam::OnDiametreChange() {
  SpinFocale->setValue(FocalFromRatio(SpinDiametre->value(), S(EditRapportFD->text())));
}

void TFormParam::OnRapportFDChange() { OnDiametreChange(); }

void TFormParam::OnFocaleChange() {
  EditRapportFD->setText(Q(RatioText(SpinFocale->value(), SpinDiametre->value())));
}

void TFormParam::ComboBox1Change() {
  const int m = ComboMode->currentIndex();
  ModeExplanation->setText(m == 0 ? kSimpleText : m == 1 ? kPolychromaticText : "");
}

void TFormParam::ParamShow() {
  EditRayonIntra->setText("0");
  EditRayonExtra->setText("0");
  const int d = Preferences.Valeurs.NDecPix;
  const int index = ComboMode->currentIndex() == 1 ? Preferences.Valeurs.OriginFoc : 0;
  auto show = [&](const QList<TImageListEntry>& list, QLineEdit* field) {
    if (index >= list.size()) return;
    if (const std::shared_ptr<TPupille> g = list[index].Grid.lock())
      field->setText(Q(FormatFixed(g->PupilRadius, d)));
  };
  show(ListBoxIntra, EditRayonIntra);
  show(ListBoxExtra, EditRayonExtra);
}

void TFormParam::SpeedButton1Click() {
  TParamEntries e = Entries();
  Parametres.Focale = e.FocalLength * 1000000.0;
  Parametres.Rayon = e.Diameter * 500000.0;
  if (!StrictField(EditPixel, e.PixelSize)) return;
  if (Parametres.Rayon == 0) return;
  if (!StrictField(EditRayonIntra, e.IntraRadius) || !StrictField(EditRayonExtra, e.ExtraRadius)) return;
  double defocus = 0.0;
  if (!DefocusFromRadii(e, defocus, ReconstructionMethod == TReconstructionMethod::Accurate)) return;
  Parametres.Defocalisation = defocus;
  EditDefocalisation->setText(Q(DefocusText(defocus)));
}

void TFormParam::SpeedButton2Click() {
  const TParamEntries e = Entries();
  Parametres.Rayon = e.Diameter * 1000000.0 / 2.0;
  Parametres.Focale = e.FocalLength * 1000000.0;
  const TSetupAberrations a = SetupAberrations(e, Parametres.DistanceSource);
  AstigCalc = a.AstigCalc;
  ComaCalc = a.ComaCalc;
  SpherCalc = a.SpherCalc;
  // Shown in the basis' normalised form; a term the basis lacks shows as computed.
  auto shown = [](double v, int term) {
    const double f = ZernikeBasis.NormFactors[static_cast<std::size_t>(term)];
    return Q(FormatFixed((f != 0 ? v / f : v) + 0.0, Preferences.Valeurs.NDecNano));  // no "-0.00"
  };
  EditAstig->setText(shown(AstigCalc, 5));
  EditComa->setText(shown(ComaCalc, 7));
  EditSpher->setText(shown(SpherCalc, 11));
}

void TFormParam::RadioButton1Click() {
  EditDistance->setText("Infini");
  for (QLineEdit* f : {EditAngle, EditAstig, EditComa, EditSpher}) f->setText("0");
  Parametres.DistanceSource = 0.0;
  SpeedButton2Click();
}

void TFormParam::RadioButton3Click() {
  EditDistance->setText(Q(FormatGeneral(2.0 * SpinFocale->value())));
  ComboDistanceUnit->setCurrentIndex(0);
  Parametres.DistanceSource = DistanceObjet();
  Parametres.Rayon = SpinDiametre->value() * 1000000.0 / 2.0;
  SpeedButton2Click();
}

void TFormParam::RadioButton4Click() {
  EditSpher->setText("0");
  EditDistance->setText("Infini");
  SpeedButton2Click();
}

void TFormParam::MoveBetweenLists(int fromKind, QListWidget* fromWidget, int toKind) {
  const QList<TImageListEntry>& from = TSession::ImageList(fromKind);
  const int i = fromWidget->currentRow();
  if (i < 0 || i >= from.size() || !fromWidget->currentItem() || !fromWidget->currentItem()->isSelected())
    return;
  // An extra-focal image is the point reflection of an intra-focal one.
  const std::shared_ptr<TPupille> grid = from[i].Grid.lock();
  if (grid) {
    grid->Rotate180();
    grid->Kind = static_cast<std::uint8_t>(toKind);
  }
  fromWidget->setCurrentRow(-1);
  // The lists are drawn again on the session's signal, the image's window
  // redraws itself on the next one.
  Session().MoveImageListEntry(fromKind, i);
  if (grid) Session().NotifyGridValues(grid.get());
}

void TFormParam::Button1Click() { MoveBetweenLists(kKindIntra, ListIntra, kKindExtra); }
void TFormParam::Button2Click() { MoveBetweenLists(kKindExtra, ListExtra, kKindIntra); }

void TFormParam::MoveWithin(int kind, QListWidget* widget, int step) {
  const int i = widget->currentRow();
  const int j = i + step;
  const qsizetype size = TSession::ImageList(kind).size();
  if (i < 0 || i >= size || j < 0 || j >= size) return;
  Session().SwapImageListEntries(kind, i, j);
  widget->setCurrentRow(j);
}

void TFormParam::Button4Click() { MoveWithin(kKindIntra, ListIntra, -1); }
void TFormParam::Button5Click() { MoveWithin(kKindIntra, ListIntra, 1); }
void TFormParam::Button6Click() { MoveWithin(kKindExtra, ListExtra, -1); }
void TFormParam::Button7Click() { MoveWithin(kKindExtra, ListExtra, 1); }

void TFormParam::Button3Click() {
  // A selected extra entry wins over an intra one.
  std::shared_ptr<TPupille> chosen;
  auto pick = [&chosen](const QList<TImageListEntry>& list, const QListWidget* widget) {
    const int i = widget->currentRow();
    if (i < 0 || i >= list.size() || !widget->currentItem() || !widget->currentItem()->isSelected()) return;
    if (std::shared_ptr<TPupille> g = list[i].Grid.lock()) chosen = std::move(g);
  };
  pick(ListBoxIntra, ListIntra);
  pick(ListBoxExtra, ListExtra);
  if (chosen) InfosImage = chosen->Infos;
  AfficherInfos();
}

void TFormParam::AfficherInfos() {
  const TImgInfos& i = InfosImage;
  SpinDiametre->setValue(RoundedInt(i.Diameter));
  SpinFocale->setValue(RoundedInt(i.FocalLength));
  EditPixel->setText(Q(FormatFixed(i.PixelSizeX, 2)));
  EditDefocalisation->setText(Q(FormatFixed(Parametres.Defocalisation / 1000000.0, 3)));
  SpinBinUsed->setValue(i.BinX == 0 ? 1 : i.BinX);
  EditDate->setText(Q(DatePart(i.DateObs)));
  EditStartIntra->setText(Q(TimePart(i.DateObs)));
  EditStartExtra->setText(Q(TimePart(i.DateObs)));
  EditExposureIntra->setText(QString::number(i.Exposure));
  EditExposureExtra->setText(QString::number(i.Exposure));
  EditAlpha->setText(Q(FormatHours(i.RightAscension)));
  EditDelta->setText(Q(FormatDegrees(i.Declination)));
  LabelList->clear();
  for (const char* label : kInfoLabels) LabelList->addItem(label);
  ValueList->clear();
  for (const std::string* v : {&i.Observer, &i.Observatory, &i.Telescope, &i.Instrument, &i.Filters,
                               &i.Comments[1], &i.Comments[2], &i.Comments[3], &i.Comments[4]}) {
    auto* item = new QListWidgetItem(Q(*v), ValueList);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
  }
  EditSeeing->setText(Q(FormatGeneral(i.Seeing)));
  EditTempIntra->setText(Q(FormatGeneral(i.Temperature)));
  EditTempExtra->setText(Q(FormatGeneral(i.Temperature)));
}

void TFormParam::SaveDefaultClick() {
  Parametres.Focale = SpinFocale->value() * 1000000.0;
  Parametres.Rayon = SpinDiametre->value() * 500000.0;
  double pixel = 0.0;
  if (!StrictField(EditPixel, pixel)) return;
  TkwValue& v = Preferences.Valeurs;
  v.Diametre = RoundedInt(2e-6 * Parametres.Rayon);
  v.Focale = RoundedInt(1e-6 * Parametres.Focale);
  v.PixelCCD = RoundedInt(pixel * 1000.0);
  v.BinAcquisition = static_cast<std::uint8_t>(SpinBinUsed->value());
  v.BinLogiciel = static_cast<std::uint8_t>(SpinBinLogical->value());
  std::string error;
  if (!WritePreferences(&error)) Platform().Warning(Q(error));
}

void TFormParam::LoadDefaultClick() {
  ReadPreferences();
  const TkwValue& v = Preferences.Valeurs;
  SpinDiametre->setValue(v.Diametre);
  SpinFocale->setValue(v.Focale);
  EditPixel->setText(Q(FormatGeneral(v.PixelCCD * 0.001)));
  SpinBinLogical->setValue(v.BinLogiciel);
  SpinBinUsed->setValue(v.BinAcquisition);
}

}  // namespace caustica
