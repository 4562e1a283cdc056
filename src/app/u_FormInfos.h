// The information panel: a dock that describes and controls the active image
// window (range, size, pupil, read-out, threshold, display range, palette,
// zoom), holds the settings of the products and shows the wavefront figures.
// It hears everything through the session and changes grids through it.
#pragma once

#include <QDockWidget>
#include <QString>
#include <string>

#include "app/Unit1.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace caustica {

class TPupille;

// A vertical bar of maximum M at position p stands for a value between the
// grid's minimum (at the bottom, p = M) and its maximum (at the top, p = 0).
double TrackBarValue(int position, int maximum, double low, double high);
// The position standing for value, to the nearest whole number.
int TrackBarPosition(double value, int maximum, double low, double high);

// The contrast bar q (-100..100) and the range factor 10^(-q / 100).
double ContrastRangeFactor(int position);
int ContrastPosition(double rangeFactor);
// The contrast edit field's text for a bar position: q / 10.
std::string ContrastText(int position);

// LambdaFractionText with LambdaRef and NDecLambda of the preferences.
QString LambdaFraction(double lengthNm);

class TFormInfos : public QDockWidget {
  Q_OBJECT
 public:
  explicit TFormInfos(QWidget* parent = nullptr);

  // Loads every control from the active window.
  void RefreshPanel();
  // Computes the wavefront figures of the active grid; the "Results" page
  // is shown and, with makeCurrent, brought to the front.
  void RefreshResults(bool makeCurrent = true);
  // Tells the session the active grid changed (its display, or with
  // values its samples or mask) and repaints the palette bar.
  void RedrawActive(bool values = false);

  // The selectors that decide the read-out texts.
  TCoordinateUnit CoordinateUnit() const;
  TValueUnit ValueUnit() const;

  // Control handlers.
  void TrackBar1Change();
  void TrackBar2Change();
  void TrackBar3Change();
  void TrackBar4Change();
  void Edit2Change();
  void ButtonSeuilClick();
  void ComboBoxPaletteChange();
  void CheckBoxMasqueClick();
  void CheckBoxEchelleClick();
  void ComboBoxZoomChange();
  void ComboBox1Change();
  void ComboBox2Change();
  void SpinEditAngleChange();
  void SpinEditFrangesChange();
  void SpinEditPasChange();
  void Button1Click();
  void PageControl1Change(int index);

  static constexpr int kTrackMaximum = 100;

  QTabWidget* PageControl1 = nullptr;
  QWidget* TabValeurs = nullptr;
  QWidget* TabResultats = nullptr;
  QWidget* TabAffichage = nullptr;
  QWidget* TabOptions = nullptr;

  // "Values".
  QLineEdit* EditMax = nullptr;
  QLineEdit* EditMin = nullptr;
  QSlider* TrackBar1 = nullptr;
  QLineEdit* EditSeuil = nullptr;
  QPushButton* ButtonSeuil = nullptr;
  QLineEdit* EditDim = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QLineEdit* EditCentreX = nullptr;
  QLineEdit* EditCentreY = nullptr;
  QLineEdit* EditRayon = nullptr;
  QComboBox* ComboBox2 = nullptr;
  QLineEdit* EditX = nullptr;
  QLineEdit* EditY = nullptr;
  QComboBox* ComboBoxCoord = nullptr;
  QComboBox* ComboBoxRectPol = nullptr;
  QLabel* LabelValeur = nullptr;
  QLineEdit* EditValeur = nullptr;
  QComboBox* ComboBoxUnite = nullptr;

  // "Results".
  QLineEdit* EditPtvNano = nullptr;
  QLineEdit* EditPtvLambda = nullptr;
  QLineEdit* EditRmsNano = nullptr;
  QLineEdit* EditRmsLambda = nullptr;
  QLabel* LabelStrehl = nullptr;
  QLabel* LabelSmax = nullptr;
  QLabel* LabelSsurSmax = nullptr;

  // "Display".
  QComboBox* ComboBoxPalette = nullptr;
  QComboBox* ComboBoxZoom = nullptr;
  QCheckBox* CheckBoxMasque = nullptr;
  QCheckBox* CheckBoxEchelle = nullptr;
  QCheckBox* CheckBox3D = nullptr;
  QLabel* ImagePalette = nullptr;
  QSlider* TrackBar2 = nullptr;  // low end of the display range
  QSlider* TrackBar3 = nullptr;  // high end
  QLabel* LabelBas = nullptr;
  QLabel* LabelHaut = nullptr;
  QSlider* TrackBar4 = nullptr;  // "Cont."
  QLineEdit* Edit2 = nullptr;

  // "Options".
  QGroupBox* GroupBoxOptions = nullptr;
  QSpinBox* SpinEditAngle = nullptr;
  QSpinBox* SpinEditPas = nullptr;
  QPushButton* Button1 = nullptr;
  QSpinBox* SpinEditFranges = nullptr;
  QCheckBox* CheckBoxSerie = nullptr;
  QComboBox* ComboBoxPsfType = nullptr;
  QComboBox* ComboBoxPsfEchelle = nullptr;
  QComboBox* ComboBoxPsfTaille = nullptr;

  // Set while the panel loads its controls from a grid or from the session:
  // the control handlers then change nothing and recompute nothing.
  bool Loading = false;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QWidget* BuildValuesPage();
  QWidget* BuildResultsPage();
  QWidget* BuildDisplayPage();
  QWidget* BuildOptionsPage();

  TPupille* ActiveGrid() const;
  void ShowSize();
  void ShowRadius();
  void DrawPaletteBar();
  void WriteProductControls();
  void LoadProductControls();
  void ProductControlChanged(bool recompute);
  // A grid or the preferences changed: everything is read again, the
  // current page kept.
  void Reload();

  // Set while the panel's own change goes round the session.
  bool applying_ = false;
  // Set while the contrast field moves its bar, so the field keeps what
  // the user is typing.
  bool editingContrast_ = false;
};

}  // namespace caustica
