// The image window: one grid shown at a chosen magnification, its mouse
// read-out and its context menu (threshold, relief, JPEG, ".opd", print).
#pragma once

#include <QList>
#include <QMdiSubWindow>
#include <QPointer>
#include <QRect>
#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "analysis/u_pupille.h"
#include "app/qt_surface.h"

class QAction;
class QMenu;
class QScrollArea;

namespace caustica {

// Where a picture of W x H goes on a page of pageWidth x pageHeight device
// pixels: from the top-left corner, grown to the page when smaller, shrunk
// to it when larger, keeping the aspect ratio. Empty for an empty picture.
QRect PrintRectangle(int width, int height, int pageWidth, int pageHeight);

// What the mouse points at: the 1-based sample under picture position
// (x, y) at the zoom factor, and its axis position and value.
struct TReadOut {
  int Column = 0;
  int Row = 0;
  double X = 0.0;
  double Y = 0.0;
  double Value = 0.0;
};
// False when the position is outside the grid.
bool ReadOutAt(const TPupille& grid, double factor, int x, int y, TReadOut& out);

// The information panel's selectors that decide the read-out texts.
enum class TCoordinateUnit { Pixels, Reduced, Millimetres };
enum class TValueUnit { NoSelection, Nanometres, Waves };

struct TReadOutTexts {
  QString X;
  QString Y;
  QString Value;
  bool HasValue = false;  // false: the value field is left as it is
};
// The "X =", "Y =" and value texts of a read-out, with the decimals of the
// preferences for each unit.
TReadOutTexts FormatReadOut(const TPupille& grid, const TReadOut& at, TCoordinateUnit coordinates,
                            TValueUnit values);

// The texts at the top and bottom of a window's colour scale: the values
// the two ends of the palette stand for, with the unit of the grid's kind.
struct TScaleTexts {
  QString High;
  QString Low;
};
TScaleTexts ScaleTexts(const TPupille& grid);

class TForm1 : public QMdiSubWindow {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // A grid shared with whatever else keeps it (a reconstruction, the test
  // parameters' weak references); the window only drops its share.
  std::shared_ptr<TPupille> Grid;
  // For products the wavefront they came from, for a PSF its other half.
  // Never owning: it expires by itself once the source lets go of it.
  std::weak_ptr<TPupille> SourceGrid;
  // The other half of a PSF pair, which this window owns.
  std::shared_ptr<TPupille> PairedGrid;
  // The measured map kept while the Zernike results show a wavefront
  // without its higher orders; it goes with the window.
  std::shared_ptr<TPupille> MeasuredMap;
  std::uint8_t OwnsGrid = 1;
  std::uint8_t ShowScale = 0;
  std::uint8_t ZoomIndex = 3;
  std::uint8_t UseGridWavelength = 0;
  double CursorValue = 0.0;
  QString JpegFileName;

  // The grid as products made from this window refer to it: the reference
  // expires when this window lets go of its grid, even while a
  // reconstruction still keeps the grid.
  std::weak_ptr<TPupille> GridReference();

  void Visualiser();
  void TracerEchelle();
  // The tint of the monochrome palette: the grid's wavelength when the
  // window uses it, the program-wide one otherwise.
  std::optional<double> Tint() const;
  void ImageMouseMove(int x, int y);
  // The close question and clean-up; false when the user keeps the window.
  bool FormClose();

  void Seuilcettevaleur1Click();
  // "Mid-line": the mid-line window profiles the active image.
  void mridienne1Click();
  void effet3D1Click();
  void Enregistrer1Click();
  bool EnregistrerJPG(const QString& fileName);
  void Exporter1Click();
  bool ExportOPD(const QString& fileName);
  void Imprimer1Click();

  TQtSurface Surface;
  QScrollArea* Scroller = nullptr;
  TPictureWidget* Picture = nullptr;
  QMenu* ContextMenu = nullptr;
  QAction* ThresholdAction = nullptr;
  QAction* MidLineAction = nullptr;
  QAction* ReliefAction = nullptr;
  QAction* RegisterAction = nullptr;
  QAction* ExportAction = nullptr;
  QAction* PrintAction = nullptr;

  // The open image windows in creation order (the main window's child list).
  static QList<TForm1*> ImageWindows();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Unregister();
  QString AskSaveName(const QString& title, const QString& filter) const;
  // The window sized to show the whole picture (within the frame's area) and the whole caption.
  void FitToPicture();
  // Room the title bar's icon and buttons take beside the caption.
  static constexpr int kTitleBarButtons = 110;
  QSize fittedPicture_;
  // The share behind GridReference: aliases Grid through a keeper of its own.
  std::shared_ptr<TPupille> gridShare_;
};

}  // namespace caustica
