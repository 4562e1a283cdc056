#include "setup/prefs_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
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
#include <QTabWidget>
#include <QTransform>
#include <QVBoxLayout>
#include <algorithm>

#include "analysis/u_zernike.h"
#include "app/platform.h"
#include "app/session.h"
#include "core/raster.h"
#include "core/u_Palettes.h"
#include "core/u_math.h"
#include "io/u_fichier.h"
#include "setup/frame_settings.h"
#include "setup/reconstruction_method.h"
#include "setup/saisie_zernike_form.h"
#include "setup/u_prefs.h"

namespace caustica {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }
double Parse0(const QLineEdit* e) { return ParseFloatOrZero(e->text().toStdString()); }
QString Fixed2(double v) { return Q(FormatFixed(v, 2)); }

QSpinBox* Spin(QWidget* parent, int low, int high, int step = 1) {
  auto* s = new QSpinBox(parent);
  s->setRange(low, high);
  s->setSingleStep(step);
  return s;
}

// A list index as the byte the preferences keep (255 when none is selected).
std::uint8_t IndexByte(const QComboBox* c) { return static_cast<std::uint8_t>(c->currentIndex() & 0xFF); }

constexpr int kPreviewWidth = 200;
constexpr int kPreviewHeight = 16;

}  // namespace

TPrefs::TPrefs(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Preferences");
  setModal(true);
  Tabs = new QTabWidget(this);

  // "Display".
  TabDisplay = new QWidget;
  auto* display = new QGridLayout(TabDisplay);
  const char* const paletteCaptions[4] = {
      "1. Images and signal:", "2. Wavefront :", "3. PSF :", "4. Interferogram :"};
  for (int i = 0; i < 4; ++i) {
    Palettes[i] = new QComboBox(TabDisplay);
    for (const std::string& name : PaletteNames()) Palettes[i]->addItem(Q(name));
    Previews[i] = new QLabel(TabDisplay);
    Previews[i]->setFixedSize(kPreviewWidth, kPreviewHeight);
    display->addWidget(new QLabel(paletteCaptions[i], TabDisplay), 2 * i, 0);
    display->addWidget(Palettes[i], 2 * i, 1);
    display->addWidget(new QLabel("min", TabDisplay), 2 * i + 1, 0, Qt::AlignRight);
    display->addWidget(Previews[i], 2 * i + 1, 1);
    display->addWidget(new QLabel("max", TabDisplay), 2 * i + 1, 2);
    connect(Palettes[i], &QComboBox::activated, this, [this, i] { PaletteChange(i); });
  }
  CheckMasqueActif = new QCheckBox("Optimise memory when displaying images", TabDisplay);
  display->addWidget(CheckMasqueActif, 8, 0, 1, 3);
  display->setRowStretch(9, 1);
  Tabs->addTab(TabDisplay, "Display");

  // "Algorithms".
  TabAlgorithms = new QWidget;
  auto* algorithms = new QFormLayout(TabAlgorithms);
  SpinNIter = Spin(TabAlgorithms, 1, 20);
  algorithms->addRow("Max number of iterations :", SpinNIter);
  CheckBreak = new QCheckBox(TabAlgorithms);
  EditRMSFront = new QLineEdit(TabAlgorithms);
  auto* breakRow = new QHBoxLayout;
  breakRow->addWidget(CheckBreak);
  breakRow->addWidget(new QLabel("Stop condition : RMS <", TabAlgorithms));
  breakRow->addWidget(EditRMSFront);
  breakRow->addWidget(new QLabel("nanometres", TabAlgorithms));
  algorithms->addRow(breakRow);
  ComboExtractDim = new QComboBox(TabAlgorithms);
  ComboExtractDim->addItems({"8", "16", "32", "64"});
  algorithms->addRow("Reduced size for threshold search in images (pixels) :", ComboExtractDim);
  SpinExtractSeuil = Spin(TabAlgorithms, 0, 100, 5);
  algorithms->addRow("Threshold position (% of height) :", SpinExtractSeuil);
  CheckExtractAuto =
      new QCheckBox("Extract the ranges and calculate the signal to use in the images", TabAlgorithms);
  algorithms->addRow(CheckExtractAuto);
  ComboMethod = new QComboBox(TabAlgorithms);
  ComboMethod->addItems({ReconstructionMethodName(TReconstructionMethod::Classic),
                         ReconstructionMethodName(TReconstructionMethod::Accurate)});
  algorithms->addRow("Reconstruction method", ComboMethod);
  CheckCutOut = new QCheckBox("Cut a large camera frame out around its star on opening", TabAlgorithms);
  algorithms->addRow(CheckCutOut);
  Tabs->addTab(TabAlgorithms, "Algorithms");

  // "Constants".
  TabConstants = new QWidget;
  auto* constants = new QGridLayout(TabConstants);
  EditLambdaRef = new QLineEdit(TabConstants);
  EditLambdaInterfero = new QLineEdit(TabConstants);
  constants->addWidget(new QLabel("Reference wavelength :", TabConstants), 0, 0);
  constants->addWidget(EditLambdaRef, 0, 1);
  constants->addWidget(new QLabel("Interferometric wavelength :", TabConstants), 1, 0);
  constants->addWidget(EditLambdaInterfero, 1, 1);
  constants->addWidget(new QLabel("Rel. weight", TabConstants), 2, 2);
  EditLambdaB = new QLineEdit(TabConstants);
  EditLambdaV = new QLineEdit(TabConstants);
  EditLambdaR = new QLineEdit(TabConstants);
  EditPoidsB = new QLineEdit(TabConstants);
  EditPoidsV = new QLineEdit(TabConstants);
  EditPoidsR = new QLineEdit(TabConstants);
  const char* const colours[3] = {"Blue :", "Green:", "Red :"};
  QLineEdit* const lambdas[3] = {EditLambdaB, EditLambdaV, EditLambdaR};
  QLineEdit* const weights[3] = {EditPoidsB, EditPoidsV, EditPoidsR};
  for (int i = 0; i < 3; ++i) {
    constants->addWidget(new QLabel(colours[i], TabConstants), 3 + i, 0);
    constants->addWidget(lambdas[i], 3 + i, 1);
    constants->addWidget(weights[i], 3 + i, 2);
  }
  ComboOriginFoc = new QComboBox(TabConstants);
  ComboOriginFoc->addItems({"Blue", "Green", "Red"});
  constants->addWidget(new QLabel("Original colour (?home?) :", TabConstants), 6, 0);
  constants->addWidget(ComboOriginFoc, 6, 1);
  auto* decimals = new QGroupBox("Display results to x decimal places", TabConstants);
  auto* decimalsLayout = new QGridLayout(decimals);
  const char* const decimalCaptions[8] = {"Nanometres :", "Millimetres :",         "ADU :",    "Pixels :",
                                          "Degrees:",     "Reduced coordinates :", "Lambda :", "Strehl :"};
  for (int i = 0; i < 8; ++i) {
    Decimals[i] = Spin(decimals, 0, 4);
    decimalsLayout->addWidget(new QLabel(decimalCaptions[i], decimals), i / 2, 2 * (i % 2));
    decimalsLayout->addWidget(Decimals[i], i / 2, 2 * (i % 2) + 1);
  }
  constants->addWidget(decimals, 7, 0, 1, 3);
  Tabs->addTab(TabConstants, "Constants");

  // "Adjustment".
  TabAdjustment = new QWidget;
  auto* adjustment = new QFormLayout(TabAdjustment);
  ComboModePoly = new QComboBox(TabAdjustment);
  ComboModePoly->addItems({"Mahajan", "Zernike"});
  adjustment->addRow("Type of polynomialsadjusted:", ComboModePoly);
  SpinNPolyZern = Spin(TabAdjustment, 0, 42);
  adjustment->addRow("No. of polynomials adjusted :", SpinNPolyZern);
  ComboNormRMS = new QComboBox(TabAdjustment);
  ComboNormRMS->addItems({"None", "RMS value"});
  adjustment->addRow("Normalisation coefficents :", ComboNormRMS);
  ButtonEditor = new QPushButton("Editor", TabAdjustment);
  adjustment->addRow("Warning values :", ButtonEditor);
  CheckAjustAuto = new QCheckBox("Adjust wavefront after reconstruction", TabAdjustment);
  CheckSubTiltFocus = new QCheckBox("Subtract the tilt and defocus", TabAdjustment);
  CheckSubComa = new QCheckBox("Subtract the coma", TabAdjustment);
  adjustment->addRow(CheckAjustAuto);
  adjustment->addRow(CheckSubTiltFocus);
  adjustment->addRow(CheckSubComa);
  Tabs->addTab(TabAdjustment, "Adjustment");

  // "Files".
  TabFiles = new QWidget;
  auto* files = new QGridLayout(TabFiles);
  ComboDirImages = new QComboBox(TabFiles);
  ComboDirImages->setEditable(true);
  ButtonDirImages = new QPushButton("...", TabFiles);
  EditAide = new QLineEdit(TabFiles);
  ButtonAide = new QPushButton("...", TabFiles);
  ComboRapports = new QComboBox(TabFiles);
  ComboRapports->setEditable(true);
  ButtonRapports = new QPushButton("...", TabFiles);
  files->addWidget(new QLabel("Images :", TabFiles), 0, 0);
  files->addWidget(ComboDirImages, 0, 1);
  files->addWidget(ButtonDirImages, 0, 2);
  files->addWidget(new QLabel("Documentation :", TabFiles), 1, 0);
  files->addWidget(EditAide, 1, 1);
  files->addWidget(ButtonAide, 1, 2);
  files->addWidget(new QLabel("Reports :", TabFiles), 2, 0);
  files->addWidget(ComboRapports, 2, 1);
  files->addWidget(ButtonRapports, 2, 2);
  files->setRowStretch(3, 1);
  files->setColumnStretch(1, 1);
  Tabs->addTab(TabFiles, "Files");

  ButtonOK = new QPushButton("OK", this);
  ButtonOK->setDefault(true);
  ButtonCancel = new QPushButton("Cancel", this);
  ButtonReset = new QPushButton("Reset", this);
  ButtonHelp = new QPushButton("Help", this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ButtonHelp);
  buttons->addWidget(ButtonReset);
  buttons->addStretch();
  buttons->addWidget(ButtonOK);
  buttons->addWidget(ButtonCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Tabs, 1);
  layout->addLayout(buttons);

  connect(ButtonOK, &QPushButton::clicked, this, &TPrefs::BitBtn1Click);
  connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(ButtonReset, &QPushButton::clicked, this, &TPrefs::BitBtn4Click);
  connect(ButtonHelp, &QPushButton::clicked, this, &TPrefs::BitBtn3Click);
  connect(Tabs, &QTabWidget::currentChanged, this, [this] {
    if (Tabs->currentWidget() == TabDisplay) DrawPreviews();
  });
  connect(EditLambdaRef, &QLineEdit::textEdited, this, &TPrefs::EDitLambdaRefChange);
  connect(EditLambdaInterfero, &QLineEdit::textEdited, this, &TPrefs::EditLambdaInterferoChange);
  connect(CheckAjustAuto, &QCheckBox::toggled, this, &TPrefs::CheckBoxAjustAutoClick);
  connect(ButtonEditor, &QPushButton::clicked, this, &TPrefs::Button1Click);
  connect(ButtonDirImages, &QPushButton::clicked, this, &TPrefs::Button4Click);
  connect(ComboDirImages, &QComboBox::activated, this, &TPrefs::ComboboxDirImagesChange);
  connect(ButtonAide, &QPushButton::clicked, this, &TPrefs::Button5Click);
  connect(ButtonRapports, &QPushButton::clicked, this, &TPrefs::Button6Click);
}

void TPrefs::showEvent(QShowEvent* event) {
  FormShow();
  QDialog::showEvent(event);
}

void TPrefs::FormShow() {
  const TkwValue& v = Preferences.Valeurs;
  const std::uint8_t palettes[4] = {v.PltSignal, v.PltFront, v.PltPSF, v.PltInterfero};
  for (int i = 0; i < 4; ++i) Palettes[i]->setCurrentIndex(palettes[i] < kPaletteCount ? palettes[i] : -1);
  CheckMasqueActif->setChecked(v.MasqueActif != 0);
  SpinNIter->setValue(v.NIter);
  CheckBreak->setChecked(v.BreakCondition != 0);
  EditRMSFront->setText(Fixed2(v.RMSFront));
  ComboExtractDim->setCurrentIndex(ComboExtractDim->findText(QString::number(v.ExtractDim)));
  SpinExtractSeuil->setValue(v.ExtractSeuil);
  CheckExtractAuto->setChecked(v.ExtractAuto != 0);
  ComboMethod->setCurrentIndex(ReconstructionMethod == TReconstructionMethod::Accurate ? 1 : 0);
  CheckCutOut->setChecked(CutOutOnOpening);
  EditLambdaRef->setText(Fixed2(v.LambdaRef));
  EditLambdaInterfero->setText(Fixed2(v.LambdaInterfero));
  EditLambdaB->setText(Fixed2(v.LambdaB));
  EditLambdaV->setText(Fixed2(v.LambdaV));
  EditLambdaR->setText(Fixed2(v.LambdaR));
  EditPoidsB->setText(Fixed2(v.PoidsB));
  EditPoidsV->setText(Fixed2(v.PoidsV));
  EditPoidsR->setText(Fixed2(v.PoidsR));
  ComboOriginFoc->setCurrentIndex(v.OriginFoc <= 2 ? v.OriginFoc : -1);
  const std::uint8_t decimals[8] = {v.NDecNano, v.NDecMilli, v.NDecADU,    v.NDecPix,
                                    v.NDecDeg,  v.NDecRed,   v.NDecLambda, v.NDecStrehl};
  for (int i = 0; i < 8; ++i) Decimals[i]->setValue(decimals[i]);
  ComboModePoly->setCurrentIndex(v.ModePoly <= 1 ? v.ModePoly : -1);
  SpinNPolyZern->setValue(v.NPolyZern);
  ComboNormRMS->setCurrentIndex(v.NormRMS <= 1 ? v.NormRMS : -1);
  CheckAjustAuto->setChecked(v.AjustAuto != 0);
  CheckSubTiltFocus->setChecked(v.SubTiltFocus != 0);
  CheckSubComa->setChecked(v.SubComa != 0);
  CheckBoxAjustAutoClick();
  FillImageHistory();
  ComboDirImages->setEditText(Q(v.DossierImages));
  EditAide->setText(Q(v.FichierAide));
  ComboRapports->setEditText(Q(v.DossierRapports));
  DrawPreviews();
}

void TPrefs::FillImageHistory() {
  ComboDirImages->clear();
  for (const std::string& folder : ImageFolderHistory) ComboDirImages->addItem(Q(folder));
}

void TPrefs::BitBtn1Click() {
  TkwValue& v = Preferences.Valeurs;
  std::uint8_t* const palettes[4] = {&v.PltSignal, &v.PltFront, &v.PltPSF, &v.PltInterfero};
  for (int i = 0; i < 4; ++i) *palettes[i] = IndexByte(Palettes[i]);
  v.MasqueActif = CheckMasqueActif->isChecked() ? 1 : 0;
  v.NIter = static_cast<std::uint8_t>(SpinNIter->value());
  v.BreakCondition = CheckBreak->isChecked() ? 1 : 0;
  v.RMSFront = Parse0(EditRMSFront);
  // With no size selected the stored one stays.
  if (ComboExtractDim->currentIndex() >= 0)
    v.ExtractDim = static_cast<std::uint8_t>(ComboExtractDim->currentText().toInt());
  v.ExtractSeuil = static_cast<std::uint8_t>(SpinExtractSeuil->value());
  v.ExtractAuto = CheckExtractAuto->isChecked() ? 1 : 0;
  v.LambdaRef = Parse0(EditLambdaRef);
  v.LambdaInterfero = Parse0(EditLambdaInterfero);
  v.LambdaB = Parse0(EditLambdaB);
  v.LambdaV = Parse0(EditLambdaV);
  v.LambdaR = Parse0(EditLambdaR);
  v.PoidsB = Parse0(EditPoidsB);
  v.PoidsV = Parse0(EditPoidsV);
  v.PoidsR = Parse0(EditPoidsR);
  v.OriginFoc = IndexByte(ComboOriginFoc);
  std::uint8_t* const decimals[8] = {&v.NDecNano, &v.NDecMilli, &v.NDecADU,    &v.NDecPix,
                                     &v.NDecDeg,  &v.NDecRed,   &v.NDecLambda, &v.NDecStrehl};
  for (int i = 0; i < 8; ++i) *decimals[i] = static_cast<std::uint8_t>(Decimals[i]->value());
  v.ModePoly = IndexByte(ComboModePoly);
  v.NPolyZern = static_cast<std::uint8_t>(SpinNPolyZern->value());
  v.NormRMS = ComboNormRMS->currentIndex() == 1 ? 1 : 0;
  v.AjustAuto = CheckAjustAuto->isChecked() ? 1 : 0;
  v.SubTiltFocus = CheckSubTiltFocus->isChecked() ? 1 : 0;
  v.SubComa = CheckSubComa->isChecked() ? 1 : 0;
  v.DossierImages = ComboDirImages->currentText().toStdString();
  v.FichierAide = EditAide->text().toStdString();
  v.DossierRapports = ComboRapports->currentText().toStdString();
  SetZernikeBasis(v.NPolyZern, v.ModePoly == 255 ? kKeepPolynomialType : v.ModePoly);
  ReconstructionMethod =
      ComboMethod->currentIndex() == 1 ? TReconstructionMethod::Accurate : TReconstructionMethod::Classic;
  CutOutOnOpening = CheckCutOut->isChecked();
  std::string error;
  if (!WritePreferences(&error) || !WriteReconstructionSettings(&error) || !WriteFrameSettings(&error)) {
    // The values in memory stay; the dialog stays open so the user sees it failed.
    Platform().Warning(Q(error));
    return;
  }
  accept();
}

void TPrefs::BitBtn4Click() {
  Preferences.Valeurs = TkwValue{};
  ReconstructionMethod = kDefaultReconstructionMethod;
  CutOutOnOpening = true;
  FormShow();
}

void TPrefs::BitBtn3Click() { Session().ShowHelp("preferences.htm"); }

void TPrefs::PaletteChange(int which) {
  if (which == 3) MonochromeWavelength = Preferences.Valeurs.LambdaInterfero;
  DrawPreviews();
}

void TPrefs::DrawPreviews() {
  MonochromeWavelength = Preferences.Valeurs.LambdaInterfero;
  for (int i = 0; i < 4; ++i) {
    const int index = Palettes[i]->currentIndex();
    if (index < 0) {
      Previews[i]->clear();
      continue;
    }
    SelectPalette(index);
    // The bar is drawn upright, highest value on top, then laid down with
    // the maximum on the right.
    TRaster bar;
    bar.Resize(kPreviewHeight, kPreviewWidth);
    DrawColourBar(0, 0, kPreviewHeight, kPreviewWidth, bar);
    const QImage upright(bar.Rgb.data(), bar.Width, bar.Height, bar.Width * 3, QImage::Format_RGB888);
    Previews[i]->setPixmap(QPixmap::fromImage(upright.transformed(QTransform().rotate(90))));
  }
}

void TPrefs::EDitLambdaRefChange() { Preferences.Valeurs.LambdaRef = Parse0(EditLambdaRef); }

void TPrefs::EditLambdaInterferoChange() {
  Preferences.Valeurs.LambdaInterfero = Parse0(EditLambdaInterfero);
  DrawPreviews();
}

void TPrefs::CheckBoxAjustAutoClick() {
  CheckSubTiltFocus->setEnabled(CheckAjustAuto->isChecked());
  CheckSubComa->setEnabled(CheckAjustAuto->isChecked());
}

void TPrefs::Button1Click() {
  std::array<double, 43> alerts = Preferences.Valeurs.Alertes;
  TFormSaisieZern editor(&alerts, this);
  if (editor.exec() == QDialog::Accepted) Preferences.Valeurs.Alertes = alerts;
}

void TPrefs::Button4Click() {
  QString folder = ComboDirImages->currentText();
  if (!Platform().BrowseForFolder(folder, "Choose a folder for images :")) return;
  const std::string chosen = folder.toStdString();
  Preferences.Valeurs.DossierImages = chosen;
  // The browsed folder goes first in the history, once.
  auto it = std::find(ImageFolderHistory.begin(), ImageFolderHistory.end(), chosen);
  if (it == ImageFolderHistory.end()) {
    ImageFolderHistory.push_back(chosen);
    it = ImageFolderHistory.end() - 1;
  }
  std::iter_swap(ImageFolderHistory.begin(), it);
  FillImageHistory();
  ComboDirImages->setCurrentIndex(0);
}

void TPrefs::ComboboxDirImagesChange(int index) {
  if (index < 0 || index >= static_cast<int>(ImageFolderHistory.size())) return;
  std::swap(ImageFolderHistory[0], ImageFolderHistory[static_cast<std::size_t>(index)]);
  FillImageHistory();
  ComboDirImages->setCurrentIndex(0);
}

void TPrefs::Button5Click() {
  TFileRequest request;
  request.Title = "Choose home online help file";
  request.Filter = "Html files|*.htm;*.html";
  request.InitialFolder = QFileInfo(EditAide->text()).path();
  const QString file = Platform().OpenFileName(request);
  if (file.isEmpty()) return;
  Preferences.Valeurs.FichierAide = file.toStdString();
  EditAide->setText(file);
}

void TPrefs::Button6Click() {
  QString folder = ComboRapports->currentText();
  if (!Platform().BrowseForFolder(folder, "Select the folder for preferences :")) return;
  Preferences.Valeurs.DossierRapports = folder.toStdString();
  ComboRapports->addItem(folder);
  ComboRapports->setEditText(folder);
}

}  // namespace caustica
