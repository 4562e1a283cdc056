#include "app/Unit1.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QLayout>
#include <QMdiArea>
#include <QMenu>
#include <QPainter>
#include <QPrinter>
#include <QScrollArea>
#include <algorithm>
#include <string>

#include "app/Main.h"
#include "app/platform.h"
#include "app/program_state.h"
#include "app/session.h"
#include "core/grid_picture.h"
#include "core/u_Palettes.h"
#include "core/u_math.h"
#include "io/jpeg_file.h"
#include "io/opd_file.h"
#include "setup/u_prefs.h"

namespace caustica {

namespace {

QList<QPointer<TForm1>>& Registry() {
  static QList<QPointer<TForm1>> windows;
  return windows;
}

double ZoomFactorOf(int index) { return ZoomFactors[index >= 0 && index <= 6 ? index : kZoomIndexOneToOne]; }

}  // namespace

QRect PrintRectangle(int width, int height, int pageWidth, int pageHeight) {
  if (width <= 0 || height <= 0 || pageWidth <= 0 || pageHeight <= 0) return {};
  double w = width, h = height;
  const double ratio = w / h;
  if (pageWidth > w && pageHeight > h) {
    if (w >= h) {
      w = pageWidth;
      h = w / ratio;
    } else {
      h = pageHeight;
      w = h * ratio;
    }
  }
  if (pageWidth < w) {
    w = pageWidth;
    h = w / ratio;
  }
  if (pageHeight < h) {
    h = pageHeight;
    w = h * ratio;
  }
  return QRect(0, 0, static_cast<int>(w), static_cast<int>(h));
}

bool ReadOutAt(const TPupille& grid, double factor, int x, int y, TReadOut& out) {
  if (!(factor > 0)) return false;
  const int c = RoundToInt((x + 1) / factor);
  const int r = RoundToInt((y + 1) / factor);
  if (c < 1 || c > grid.Nx || r < 1 || r > grid.Ny || !grid.HasArrays()) return false;
  out.Column = c;
  out.Row = r;
  out.X = grid.XAxis[c];
  out.Y = grid.YAxis[r];
  out.Value = grid.Values[1][r][c];
  return true;
}

TReadOutTexts FormatReadOut(const TPupille& grid, const TReadOut& at, TCoordinateUnit coordinates,
                            TValueUnit values) {
  const TkwValue& p = Preferences.Valeurs;
  auto fixed = [](double v, int decimals) { return QString::fromStdString(FormatFixed(v, decimals)); };
  TReadOutTexts t;
  switch (coordinates) {
    case TCoordinateUnit::Pixels:
      t.X = QString::number(at.Column);
      t.Y = QString::number(at.Row);
      break;
    case TCoordinateUnit::Reduced:
      t.X = fixed(at.X, p.NDecRed);
      t.Y = fixed(at.Y, p.NDecRed);
      break;
    case TCoordinateUnit::Millimetres:
      t.X = fixed(at.X * grid.Scale * 1e-6, p.NDecMilli);
      t.Y = fixed(at.Y * grid.Scale * 1e-6, p.NDecMilli);
      break;
  }
  if (grid.Kind == kKindIntra || grid.Kind == kKindExtra) {
    t.Value = fixed(at.Value, p.NDecADU);
    t.HasValue = true;
  } else if (values == TValueUnit::Nanometres) {
    t.Value = fixed(at.Value, p.NDecNano);
    t.HasValue = true;
  } else if (values == TValueUnit::Waves) {
    t.Value = fixed(at.Value / p.LambdaRef, p.NDecLambda);
    t.HasValue = true;
  }
  return t;
}

TForm1::TForm1(QWidget* parent) : QMdiSubWindow(parent) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle("Form1");
  if (MainForm) ZoomIndex = static_cast<std::uint8_t>(MainForm->ZoomSelector->currentIndex());
  OwnsGrid = 1;

  // The picture sits in the middle of a window larger than itself (tiled,
  // maximised) and scrolls in a smaller one; the read-out works in the
  // picture's own coordinates either way.
  Scroller = new QScrollArea(this);
  Scroller->setFrameShape(QFrame::NoFrame);
  Scroller->setAlignment(Qt::AlignCenter);
  Scroller->setWidgetResizable(false);
  Picture = new TPictureWidget(Surface, Scroller);
  Picture->setContextMenuPolicy(Qt::CustomContextMenu);
  Scroller->setWidget(Picture);
  setWidget(Scroller);
  connect(Picture, &TPictureWidget::MouseMoved, this, &TForm1::ImageMouseMove);
  connect(this, &QMdiSubWindow::aboutToActivate, this, [this] { Session().SetActiveImage(this); });
  // Whoever changes this window's grid, the window redraws itself.
  auto redrawOwnGrid = [this](const TPupille* grid) {
    if (Grid && grid == Grid.get()) Visualiser();
  };
  connect(&Session(), &TSession::GridValuesChanged, this, redrawOwnGrid);
  connect(&Session(), &TSession::GridDisplayChanged, this, redrawOwnGrid);

  ContextMenu = new QMenu(this);
  ThresholdAction = ContextMenu->addAction("This threshold value", this, &TForm1::Seuilcettevaleur1Click);
  MidLineAction = ContextMenu->addAction("Mid-line", this, &TForm1::mridienne1Click);
  ReliefAction = ContextMenu->addAction("3D look", this, &TForm1::effet3D1Click);
  ReliefAction->setCheckable(true);
  ContextMenu->addSeparator();
  RegisterAction = ContextMenu->addAction("Register", this, &TForm1::Enregistrer1Click);
  ExportAction = ContextMenu->addAction("Export", this, &TForm1::Exporter1Click);
  PrintAction = ContextMenu->addAction("Print", this, &TForm1::Imprimer1Click);
  connect(Picture, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { ContextMenu->popup(Picture->mapToGlobal(p)); });

  Registry().append(this);
}

TForm1::~TForm1() {
  Unregister();
  // Deleted without closing (the main window going): nothing is active.
  if (ActiveImage == this) Session().SetActiveImage(nullptr);
}

std::weak_ptr<TPupille> TForm1::GridReference() {
  if (!Grid) return {};
  if (gridShare_.get() != Grid.get()) {
    auto keeper = std::make_shared<std::shared_ptr<TPupille>>(Grid);
    gridShare_ = std::shared_ptr<TPupille>(keeper, keeper->get());
  }
  return gridShare_;
}

QList<TForm1*> TForm1::ImageWindows() {
  QList<TForm1*> list;
  for (const QPointer<TForm1>& w : Registry())
    if (w) list.append(w.data());
  return list;
}

void TForm1::Unregister() {
  Registry().removeIf([this](const QPointer<TForm1>& w) { return w.isNull() || w.data() == this; });
}

void TForm1::Visualiser() {
  if (!Grid) return;
  if (Grid->Kind == kKindActualPsf) setWindowTitle("Actual PSF");
  const double factor = ZoomFactorOf(ZoomIndex);
  DrawGridPicture(*Grid, factor, Tint(), Surface);
  if (ShowScale) TracerEchelle();
  const QSize picture(RoundToInt(Grid->Nx * factor), RoundToInt(Grid->Ny * factor));
  Picture->setFixedSize(picture);
  // The window is fitted to a new picture size only, so a window the user
  // or a tiling has sized keeps its size across palette or range changes.
  if (picture != fittedPicture_) FitToPicture();
  Picture->update();
}

void TForm1::FitToPicture() {
  fittedPicture_ = Picture->size();
  QSize client = fittedPicture_;
  const QSize frame = size() - contentsRect().size();
  if (mdiArea()) {
    // A picture larger than the frame's area scrolls inside a window that fits.
    const QSize room = mdiArea()->viewport()->size() - frame;
    if (room.isValid() && !room.isEmpty()) client = client.boundedTo(room);
  }
  // Wide enough for the whole caption and the title bar's buttons.
  const int caption = fontMetrics().horizontalAdvance(windowTitle()) + kTitleBarButtons;
  resize(std::max(client.width() + frame.width(), caption), client.height() + frame.height());
}

std::optional<double> TForm1::Tint() const {
  if (UseGridWavelength && Grid) return Grid->Wavelength;
  return std::nullopt;
}

void TForm1::TracerEchelle() {
  TRaster& p = Surface.Picture;
  const int index = Grid ? Grid->PaletteIndex : 0;
  const std::optional<double> tint = Tint();
  DrawColourBar(PaletteFor(index, tint ? *tint : MonochromeWavelength), p.Width - 4, 20, 4, p.Height - 40, p);
  if (Grid) {
    const TScaleTexts texts = ScaleTexts(*Grid);
    Surface.ScaleHigh = texts.High;
    Surface.ScaleLow = texts.Low;
  }
  Picture->update();
}

TScaleTexts ScaleTexts(const TPupille& grid) {
  // The ends of the bar are the ends of the drawing window.
  const double w = (grid.DisplayHigh - grid.DisplayLow) * grid.RangeFactor;
  const double low = (grid.DisplayHigh - grid.DisplayLow) / 2 + grid.DisplayLow - w / 2;
  const double high = low + w;
  const TkwValue& p = Preferences.Valeurs;
  auto text = [](double v, int decimals, const char* unit) {
    return QString::fromStdString(FormatFixed(v, decimals)) + unit;
  };
  switch (grid.Kind) {
    case kKindWavefront:
    case kKindResidual:
      return {text(high, p.NDecNano, " nm"), text(low, p.NDecNano, " nm")};
    case kKindIntra:
    case kKindExtra:
      return {text(high, p.NDecADU, " ADU"), text(low, p.NDecADU, " ADU")};
    default:
      return {text(high, 3, ""), text(low, 3, "")};
  }
}

void TForm1::ImageMouseMove(int x, int y) {
  if (!Grid || ActiveImage != this) return;
  TReadOut at;
  if (!ReadOutAt(*Grid, ZoomFactorOf(ZoomIndex), x, y, at)) return;
  CursorValue = at.Value;
  Session().NotifyReadOut(this, at);
}

bool TForm1::FormClose() {
  if (!ClosingAll && !Platform().Confirm(QString("Close image %1 ?").arg(windowTitle()))) return false;
  Session().RemoveFromImageLists(this);
  // A reconstruction may still hold this grid; the parameters must not hand
  // it out once its window is gone, so they need a new "Ok".
  if (Grid)
    for (const TImageRef* r :
         {&Parametres.Intra, &Parametres.Extra, &Parametres.IntraBleu, &Parametres.ExtraBleu,
          &Parametres.IntraVert, &Parametres.ExtraVert, &Parametres.IntraRouge, &Parametres.ExtraRouge})
      if (r->lock() == Grid) Parametres.ParamValides = false;
  // Dropping our share frees the grid unless a reconstruction still holds
  // it; the test parameters' weak references expire with it, and the
  // products' references to it expire in any case.
  gridShare_.reset();
  Grid.reset();
  SourceGrid.reset();
  PairedGrid.reset();
  Unregister();
  // The last window gone, nothing is active; the tool windows hear it.
  if (ImageWindows().isEmpty() || ActiveImage == this) Session().SetActiveImage(nullptr);
  return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!FormClose()) {
    event->ignore();
    return;
  }
  QMdiSubWindow::closeEvent(event);
}

void TForm1::mridienne1Click() { Session().ShowMidLine(); }

void TForm1::Seuilcettevaleur1Click() {
  if (!Grid) return;
  Grid->Threshold = CursorValue;
  Grid->ThresholdMask();
  Session().NotifyGridValues(Grid.get());
}

void TForm1::effet3D1Click() {
  if (!Grid) return;
  Grid->Relief = !Grid->Relief;
  ReliefAction->setChecked(Grid->Relief);
  Session().NotifyGridDisplay(Grid.get());
}

// The save dialog of "Register" and "Export", proposing the window's caption.
QString TForm1::AskSaveName(const QString& title, const QString& filter) const {
  TFileRequest request;
  request.Title = title;
  request.Filter = filter;
  request.ProposedName = windowTitle();
  request.AskOverwrite = true;
  return Platform().SaveFileName(request);
}

void TForm1::Enregistrer1Click() {
  const QString chosen = AskSaveName("Register the current image", "Image jpeg | *.jpeg;*.jpg");
  if (chosen.isEmpty()) return;
  const QString name = chosen + ".jpg";
  if (EnregistrerJPG(name)) JpegFileName = name;
}

bool TForm1::EnregistrerJPG(const QString& fileName) {
  std::string error;
  if (EncodeJpegFile(fileName.toStdString(), Surface.BurntPicture(), 90, &error)) return true;
  Platform().Warning(QString::fromStdString(error));
  return false;
}

void TForm1::Exporter1Click() {
  const QString chosen = AskSaveName("Export the wavefront", "Optical Path Difference files (*.opd)|*.opd");
  if (chosen.isEmpty()) return;
  ExportOPD(chosen + ".opd");
}

bool TForm1::ExportOPD(const QString& fileName) {
  if (!Grid) return false;
  std::string error;
  if (WriteOpdFile(fileName.toStdString(), *Grid, Grid->Wavelength, &error)) return true;
  Platform().Warning(QString::fromStdString(error));
  return false;
}

void TForm1::Imprimer1Click() {
  const TRaster picture = Surface.BurntPicture();
  if (picture.Empty()) return;
  QPrinter printer;
  if (!Platform().PrintDialog(printer)) return;
  QPainter painter;
  if (!painter.begin(&printer)) {
    Platform().Warning("The printer could not be started.");
    return;
  }
  const QRect target = PrintRectangle(picture.Width, picture.Height, printer.width(), printer.height());
  painter.drawImage(target, Surface.ToImage(picture));
  painter.end();
}

}  // namespace caustica
