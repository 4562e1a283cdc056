#include "app/Main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTextEdit>
#include <QToolBar>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/channel_run.h"
#include "analysis/test_image.h"
#include "analysis/u_Seidel_form.h"
#include "analysis/u_resultats_form.h"
#include "app/Unit1.h"
#include "app/about_box.h"
#include "app/icons.h"
#include "app/platform.h"
#include "app/program_state.h"
#include "app/sequence_form.h"
#include "app/session.h"
#include "app/u_FormInfos.h"
#include "app/u_progress_bar.h"
#include "core/u_math.h"
#include "io/jpeg_file.h"
#include "setup/frame_settings.h"
#include "setup/help_folder.h"
#include "setup/parametres_form.h"
#include "setup/prefs_form.h"
#include "setup/reconstruction_method.h"
#include "setup/run_settings.h"
#include "setup/saisie_zernike_form.h"
#include "setup/u_FormMeridienne_form.h"
#include "setup/u_RVB_form.h"
#include "setup/u_aide_form.h"
#include "setup/u_prefs.h"
#include "setup/u_saisie_zernike.h"

namespace caustica {

QPointer<TMainForm> MainForm;

namespace {

// Cut, copy and paste act on the focused text field, whatever it is.
template <typename Fn>
void OnFocusedText(Fn fn) {
  QWidget* w = QApplication::focusWidget();
  if (auto* line = qobject_cast<QLineEdit*>(w)) fn(line);
  if (auto* text = qobject_cast<QTextEdit*>(w)) fn(text);
}

std::shared_ptr<TPupille> GridOf(TForm1* window) { return window ? window->Grid : nullptr; }

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  MainForm = this;
  setWindowTitle(QString("%1 %2").arg(kProductName, kProductVersion));
  // Every window, child windows and dialogs included, carries the program's icon.
  QApplication::setWindowIcon(ProgramIcon());
  MdiArea = new QMdiArea(this);
  MdiArea->setActivationOrder(QMdiArea::CreationOrder);
  MdiArea->viewport()->installEventFilter(this);
  setCentralWidget(MdiArea);
  CreateMenus();
  CreateToolBars();
  connect(&Session(), &TSession::ProductRecomputeRequested, this, &TMainForm::RecomputeProduct);
  // The zoom selector shows the zoom of the active window, whoever changed it.
  connect(&Session(), &TSession::ActiveImageChanged, this, &TMainForm::ShowActiveZoom);
  connect(&Session(), &TSession::GridDisplayChanged, this, &TMainForm::ShowActiveZoom);
}

void TMainForm::ShowActiveZoom() {
  if (ActiveImage && ZoomSelector) ZoomSelector->setCurrentIndex(ActiveImage->ZoomIndex);
}

TMainForm::~TMainForm() {
  // Windows still open go without questions.
  ClosingAll = true;
  for (TForm1* w : ImageWindows()) delete w;
  ClosingAll = false;
}

QList<TForm1*> TMainForm::ImageWindows() const { return TForm1::ImageWindows(); }

void TMainForm::CreateMenus() {
  auto add = [this](QMenu* menu, const QString& text, void (TMainForm::*handler)(),
                    const QKeySequence& key = {}) {
    QAction* a = menu->addAction(text);
    if (!key.isEmpty()) a->setShortcut(key);
    if (handler) connect(a, &QAction::triggered, this, handler);
    return a;
  };

  QMenu* file = menuBar()->addMenu("&File");
  FileNew1 = add(file, "&New test", &TMainForm::FileNew1Execute, QKeySequence("Ctrl+N"));
  FileOpen1 = add(file, "&Open", &TMainForm::FileOpen1Execute, QKeySequence("Ctrl+O"));
  Ouvrircommeextrafocale1 =
      add(file, "Open as extra-focal", &TMainForm::Ouvrircommeextrafocale1Click, QKeySequence("Ctrl+Alt+O"));
  OuvrirImageJpeg1 = add(file, "Import a jpeg image", &TMainForm::OuvrirImageJpeg1Click);
  OpenSequence1 = add(file, "Open a sequence...", &TMainForm::OpenSequence1Click);
  OpenSequenceExtra1 = add(file, "Open a sequence as extra-focal...", &TMainForm::OpenSequenceExtra1Click);
  Close1 = add(file, "Close", &TMainForm::Close1Click);
  QMenu* family = file->addMenu("Close image family...");
  add(family, "Extrafocals", &TMainForm::Extrafocales1Click);
  add(family, "Wavefronts", &TMainForm::Frontsdonde2Click);
  add(family, "Interferograms", &TMainForm::Frontsdonde1Click);
  add(family, "Foucaultgram", &TMainForm::Foucaultgrammes1Click);
  add(family, "Spots diagrams", &TMainForm::Spotsdiagrammes1Click);
  Enregistrer1 = add(file, "Save", &TMainForm::Enregistrer1Click, QKeySequence("Ctrl+S"));
  FileSaveAsItem = add(file, "Save as...", &TMainForm::FileSaveAsItemClick, QKeySequence("Ctrl+Alt+S"));
  EnregistrerZernike1 =
      add(file, "Save Zernike coefficients", &TMainForm::EnregistrerlescoefficientsdeZernike1Click);
  ExporterZernike1 = add(file, "Export Zernike coefficients...", &TMainForm::ExporterZernike1Click);
  Exporter1 = add(file, "Export the Wavefront", &TMainForm::Exporter1Click);
  Imprimer1 = add(file, "Print", &TMainForm::Imprimer1Click, QKeySequence("Ctrl+P"));
  FileExit1 = add(file, "Exit", &TMainForm::FileExit1Execute, QKeySequence("Ctrl+Q"));

  WindowsMenu = menuBar()->addMenu("Windows");
  connect(WindowsMenu, &QMenu::aboutToShow, this, &TMainForm::FillWindowsMenu);
  FillWindowsMenu();

  QMenu* image = menuBar()->addMenu("Image");
  Symtrie1801 = add(image, "Mirror   180°", &TMainForm::Symtrie1801Click);
  Centrer1 = add(image, "Centre", &TMainForm::Centrer1Click);
  CutOut1 = add(image, "Cut out around the star", &TMainForm::CutOut1Click);
  Mridienne1 = add(image, "Mid-line", &TMainForm::Mridienne1Click);

  QMenu* values = menuBar()->addMenu("Values");
  Paramtres1 = add(values, "Test parameters", &TMainForm::Paramtres1Click);
  Simulations1 = add(values, "Simulation parameters", &TMainForm::Simulations1Click);
  Valeursdalerte1 = add(values, "Warning values", &TMainForm::Valeursdalerte1Click);

  QMenu* calc = menuBar()->addMenu("Calc.");
  Signal1 = add(calc, "Signal", &TMainForm::Signal1Click);
  Frontdonde1 = add(calc, "Wavefront", &TMainForm::Frontdonde1Click);
  Poisson1 = add(calc, "Roddier", &TMainForm::Poisson1Click);
  Reconstruire = add(calc, "Reconstruct the wavefront", &TMainForm::ReconstruireClick);
  ReconstructSequence1 = add(calc, "Reconstruct the sequence", &TMainForm::ReconstructSequence1Click);
  Ajuster1 = add(calc, "Adjust", &TMainForm::Ajuster1Click);
  Interferogramme1 = add(calc, "Interferogram", &TMainForm::Interfrogramme1Click);
  PSF1 = add(calc, "PSF", &TMainForm::PSFClick);
  FFT1 = add(calc, "FFT", &TMainForm::FFT2Click);
  Foucault1 = add(calc, "Foucaultgram", &TMainForm::FoucaultClick);
  Spots1 = add(calc, "Spots", &TMainForm::Spots1Click);

  QMenu* results = menuBar()->addMenu("Results");
  AberrationsdeSeidel1 = add(results, "Seidel abberations", &TMainForm::AberrationsdeSeidel1Click);
  Trichromie1 = add(results, "Tricolour", &TMainForm::Trichromie1Click);
  Frontrsiduel1 = add(results, "Residual front", &TMainForm::Frontrsiduel1Click);
  Imagesaprscorrection1 = add(results, "Images after correction", &TMainForm::Imagesaprscorrection1Click);
  ForwardCheck1 = add(results, "Measured minus modelled images", &TMainForm::ForwardCheck1Click);
  Gnrerunrapport1 = add(results, "Create a report", &TMainForm::Gnrerunrapport1Click);
  ZernikeCoefficients1 = results->addAction("Zernike coefficents", [] { Session().ShowZernikeResults(); });
  SequenceResults1 = results->addAction("Sequence results", [] { Session().ShowSequenceResults(); });

  Prfrences1 = menuBar()->addAction("Preferences");
  connect(Prfrences1, &QAction::triggered, this, &TMainForm::Prfrences1Click);

  QMenu* help = menuBar()->addMenu("Help");
  Documentation1 = help->addAction("Documentation", [] { Session().ShowHelp(QString()); });
  Documentation1->setShortcut(QKeySequence(Qt::Key_F1));
  HelpAbout1 = add(help, "&About...", &TMainForm::HelpAbout1Execute);
}

void TMainForm::FillWindowsMenu() {
  WindowsMenu->clear();
  auto add = [this](const QString& text, auto handler) {
    QAction* a = WindowsMenu->addAction(text);
    connect(a, &QAction::triggered, this, handler);
    return a;
  };
  Cascade1 = add("&Cascade", [this] { MdiArea->cascadeSubWindows(); });
  TileHorizontal1 = add("Mosaic &horizontal", &TMainForm::TileHorizontal);
  TileVertical1 = add("Mosaic &vertical", &TMainForm::TileVertical);
  MinimiseAll1 = add("Minimise all", &TMainForm::MinimiseAll);
  ArrangeAll1 = add("Arrange all", &TMainForm::ArrangeAll);
  Afficherlesinformations1 = add("View", [this] {
    if (MDIChildCount() > 0) Session().ShowInformationPanel(true);
  });
  const QList<TForm1*> windows = ImageWindows();
  if (!windows.isEmpty()) WindowsMenu->addSeparator();
  for (TForm1* w : windows) {
    QAction* a = WindowsMenu->addAction(w->windowTitle());
    a->setCheckable(true);
    a->setChecked(w == ActiveImage);
    connect(a, &QAction::triggered, this, [this, p = QPointer<TForm1>(w)] {
      if (p) MdiArea->setActiveSubWindow(p);
    });
  }
}

void TMainForm::CreateToolBars() {
  // Icons on the buttons, the entries' texts as their tool tips.
  auto icon = [](QAction* action, const char* name) {
    action->setIcon(ThemeIcon(name));
    action->setToolTip(action->text().remove('&'));
    return action;
  };
  QToolBar* first = addToolBar("Standard");
  first->addAction(icon(FileNew1, "document-new"));
  first->addAction(icon(FileOpen1, "document-open"));
  first->addAction(icon(Enregistrer1, "document-save"));
  first->addAction(icon(Imprimer1, "document-print"));
  first->addSeparator();
  QAction* cut = first->addAction("Cut", [] { OnFocusedText([](auto* w) { w->cut(); }); });
  cut->setShortcut(QKeySequence::Cut);
  icon(cut, "edit-cut");
  QAction* copy = first->addAction("Copy", [] { OnFocusedText([](auto* w) { w->copy(); }); });
  copy->setShortcut(QKeySequence::Copy);
  icon(copy, "edit-copy");
  QAction* paste = first->addAction("Paste", [] { OnFocusedText([](auto* w) { w->paste(); }); });
  paste->setShortcut(QKeySequence::Paste);
  icon(paste, "edit-paste");
  first->addSeparator();
  first->addAction(icon(Symtrie1801, "object-rotate-right"));
  icon(first->addAction("Cascade", [this] { MdiArea->cascadeSubWindows(); }), "window-cascade");
  icon(first->addAction("Mosaic horizontal", this, &TMainForm::TileHorizontal), "window-tile-horizontal");
  icon(first->addAction("Mosaic vertical", this, &TMainForm::TileVertical), "window-tile-vertical");
  first->addSeparator();
  ZoomSelector = new QComboBox(first);
  for (const char* name : ZoomNames) ZoomSelector->addItem(name);
  ZoomSelector->setEditable(false);
  ZoomSelector->setCurrentIndex(kZoomIndexOneToOne);
  ZoomSelector->setToolTip("Zoom");
  connect(ZoomSelector, &QComboBox::activated, this, &TMainForm::ApplyZoomSelector);
  first->addWidget(ZoomSelector);
  ZoomIn1 = icon(first->addAction("Zoom in", this, &TMainForm::ZoomIn), "zoom-in");
  ZoomOut1 = icon(first->addAction("Zoom out", this, &TMainForm::ZoomOut), "zoom-out");
  first->addSeparator();
  first->addAction(icon(Documentation1, "help-contents"));

  addToolBarBreak();
  QToolBar* second = addToolBar("Test");
  second->addAction(icon(Paramtres1, "document-properties"));
  second->addAction(icon(Reconstruire, "system-run"));
  second->addAction(icon(Interferogramme1, "caustica-interferogram"));
  second->addAction(icon(PSF1, "caustica-psf"));
  second->addAction(icon(Foucault1, "caustica-foucaultgram"));
  second->addAction(icon(Spots1, "caustica-spots"));
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
  // A double click on the empty frame opens an image.
  // Double clicks that a window left unhandled reach the frame too: only
  // one on bare frame counts.
  if (watched == MdiArea->viewport() && event->type() == QEvent::MouseButtonDblClick) {
    const QPoint at = static_cast<QMouseEvent*>(event)->position().toPoint();
    if (!MdiArea->viewport()->childAt(at)) {
      FileOpen1Execute();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

TForm1* TMainForm::NewImageWindow(std::shared_ptr<TPupille> grid, const QString& caption) {
  auto* window = new TForm1;
  window->Grid = std::move(grid);
  if (!caption.isNull()) window->setWindowTitle(caption);
  // A map is read by its colour scale: wavefront windows show theirs.
  if (window->Grid && (window->Grid->Kind == kKindWavefront || window->Grid->Kind == kKindResidual))
    window->ShowScale = 1;
  MdiArea->addSubWindow(window);
  window->Visualiser();
  window->show();
  MdiArea->setActiveSubWindow(window);
  Session().SetActiveImage(window);
  return window;
}

// ---- File ----

QString ImagesFolder() {
  const std::string& chosen = Preferences.Valeurs.DossierImages;
  if (!chosen.empty()) return QString::fromStdString(chosen);
  return QString::fromStdString(SampleFolder(QCoreApplication::applicationDirPath().toStdString()));
}

namespace {

// The file name, and the cut-out when the frame was cut ("newt_intra.fits
// [cut out 256 x 256 at (1201, 801) of the 4096 x 2800 frame]").
QString CutOutCaption(const QString& name, const TPupille& grid) {
  const std::string cut = CutOutText(grid);
  return cut.empty() ? name : name + " [" + QString::fromStdString(cut) + "]";
}

}  // namespace

TForm1* TMainForm::OpenImageFile(const QString& title, const char* role) {
  TFileRequest request;
  request.Title = title;
  request.Filter = "Images Fits|*.fit;*.fits";
  request.InitialFolder = ImagesFolder();
  const QString fileName = Platform().OpenFileName(request);
  if (fileName.isEmpty()) return nullptr;
  auto grid = std::make_shared<TPupille>();
  TOpenOutcome outcome;
  {
    THourglass hourglass;
    outcome = OpenTestFrame(fileName.toStdString(), CurrentPupilSearch(), CutOutOnOpening, *grid);
  }
  if (!outcome.Opened) {
    Platform().Warning(QString::fromStdString(outcome.Reason));
    return nullptr;
  }
  // A frame without a usable star still opens (its threshold can be set by
  // hand), but the user hears why it cannot be trusted.
  const QString name = QFileInfo(fileName).fileName();
  if (!outcome.Star.Found())
    Platform().Warning(QString::fromStdString(StarRefusal(outcome.Star, role, name.toStdString())));
  return NewImageWindow(std::move(grid), CutOutCaption(name, *grid));
}

void TMainForm::FileOpen1Execute() {
  TForm1* w = OpenImageFile("Open an image", "intra-focal");
  if (!w) return;
  w->Grid->Kind = kKindIntra;
  Session().AddToImageList(kKindIntra, w);
  w->Visualiser();
  Session().ShowInformationPanel(true);
}

void TMainForm::Ouvrircommeextrafocale1Click() {
  TForm1* w = OpenImageFile("Open an extrafocal image", "extra-focal");
  if (!w) return;
  // Turned into the orientation of the intra-focal image.
  w->Grid->Rotate180();
  w->Grid->Kind = kKindExtra;
  Session().AddToImageList(kKindExtra, w);
  w->Visualiser();
  Session().ShowInformationPanel(true);
}

void TMainForm::OuvrirImageJpeg1Click() {
  TFileRequest request;
  request.Title = "Ouvrir Image JPeg";
  request.Filter = "Image jpeg | *.jpeg;*.jpg";
  request.InitialFolder = ImagesFolder();
  const QString fileName = Platform().OpenFileName(request);
  if (fileName.isEmpty()) return;
  TColourChannels channels;
  TOpenOutcome outcome;
  {
    THourglass hourglass;
    TRaster picture;
    if (!DecodeJpegFile(fileName.toStdString(), picture) || picture.Empty()) return;
    const TkwValue& v = Preferences.Valeurs;
    outcome = SplitColourPicture(picture, {v.LambdaB, v.LambdaV, v.LambdaR}, CurrentPupilSearch(), channels);
  }
  // A picture too small to hold a pupil is refused, after the hourglass.
  if (!outcome.Opened) {
    Platform().Warning(QString::fromStdString(outcome.Reason));
    return;
  }
  THourglass hourglass;
  const QString baseName = QFileInfo(fileName).fileName();
  for (int i = 0; i < 3; ++i) {
    const QString caption =
        baseName +
        QString(" (%1)").arg(QString::fromStdString(ChannelNames[static_cast<std::size_t>(i) + 1]));
    auto* w = new TForm1;
    w->Grid = channels.Grids[static_cast<std::size_t>(i)];
    w->setWindowTitle(caption);
    w->UseGridWavelength = 1;
    MdiArea->addSubWindow(w);
    w->Visualiser();
    w->show();
    MdiArea->setActiveSubWindow(w);
    Session().SetActiveImage(w);
    // The channels are intra-focal images: they join that list, from which
    // the test parameters dialog can move a second picture's to the extra list.
    Session().AddToImageList(kKindIntra, w);
  }
  Session().ShowInformationPanel(true);
}

void TMainForm::Close1Click() {
  if (ActiveImage) ActiveImage->close();
}

void TMainForm::FileNew1Execute() {
  const QList<TForm1*> windows = ImageWindows();
  if (windows.isEmpty()) return;
  if (!Platform().Confirm("Close all images ?")) return;
  ClosingAll = true;
  for (auto it = windows.crbegin(); it != windows.crend(); ++it) (*it)->close();
  // Slots, parameters and image lists back to the start, and every window
  // that listens (the test parameters among them) told; windows showing a
  // reconstruction's grids have kept their own share of them.
  Session().NewTest();
}

void TMainForm::CloseFamily(int kind) {
  ClosingAll = true;
  const QList<TForm1*> windows = ImageWindows();
  for (auto it = windows.crbegin(); it != windows.crend(); ++it)
    if ((*it)->Grid && (*it)->Grid->Kind == kind) (*it)->close();
  ClosingAll = false;
}

void TMainForm::CloseFamilyAsked(const QString& name, std::initializer_list<int> kinds) {
  if (!Platform().Confirm(QString("Close all images of type %1 ?").arg(name))) return;
  for (int kind : kinds) CloseFamily(kind);
}

void TMainForm::Extrafocales1Click() { CloseFamilyAsked("Image intra/extrafocal", {kKindIntra, kKindExtra}); }
void TMainForm::Frontsdonde2Click() { CloseFamilyAsked("Wavefront", {kKindWavefront, kKindResidual}); }
void TMainForm::Frontsdonde1Click() { CloseFamilyAsked("Interferogram", {kKindInterferogram}); }
void TMainForm::Foucaultgrammes1Click() { CloseFamilyAsked("Foucaultgram", {kKindFoucault}); }
void TMainForm::Spotsdiagrammes1Click() { CloseFamilyAsked("Spots", {kKindSpotDiagram}); }

void TMainForm::Enregistrer1Click() {
  if (ImageWindows().isEmpty() || !ActiveImage) return;
  if (!ActiveImage->JpegFileName.isEmpty())
    ActiveImage->EnregistrerJPG(ActiveImage->JpegFileName);
  else
    ActiveImage->Enregistrer1Click();
}

void TMainForm::FileSaveAsItemClick() {
  if (!ImageWindows().isEmpty() && ActiveImage) ActiveImage->Enregistrer1Click();
}

// The results window saves the coefficients of the wavefront it lists.
void TMainForm::EnregistrerlescoefficientsdeZernike1Click() { Session().RequestSaveZernikeCoefficients(); }

void TMainForm::Exporter1Click() {
  if (!ImageWindows().isEmpty() && ActiveImage) ActiveImage->Exporter1Click();
}

void TMainForm::Imprimer1Click() {
  if (!ImageWindows().isEmpty() && ActiveImage) ActiveImage->Imprimer1Click();
}

void TMainForm::FileExit1Execute() { close(); }

void TMainForm::closeEvent(QCloseEvent* event) {
  const QList<TForm1*> windows = ImageWindows();
  if (!windows.isEmpty()) {
    if (!Platform().Confirm(QString("Do you want to quit %1 %2 ? All data will be lost.")
                                .arg(kProductName, kProductVersion))) {
      event->ignore();
      return;
    }
    ClosingAll = true;
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) (*it)->close();
    ClosingAll = false;
  }
  event->accept();
}

// ---- Windows ----

void TMainForm::TileHorizontal() {
  // One above the other, each the full width.
  const QList<TForm1*> windows = ImageWindows();
  if (windows.isEmpty()) return;
  const QRect area = MdiArea->viewport()->rect();
  const int h = area.height() / static_cast<int>(windows.size());
  for (int i = 0; i < windows.size(); ++i) {
    windows[i]->showNormal();
    windows[i]->setGeometry(0, i * h, area.width(), h);
  }
}

void TMainForm::TileVertical() {
  // Side by side, each the full height.
  const QList<TForm1*> windows = ImageWindows();
  if (windows.isEmpty()) return;
  const QRect area = MdiArea->viewport()->rect();
  const int w = area.width() / static_cast<int>(windows.size());
  for (int i = 0; i < windows.size(); ++i) {
    windows[i]->showNormal();
    windows[i]->setGeometry(i * w, 0, w, area.height());
  }
}

void TMainForm::MinimiseAll() {
  for (TForm1* w : ImageWindows()) w->showMinimized();
}

void TMainForm::ArrangeAll() {
  // Minimised windows lined up along the bottom of the frame.
  const QRect area = MdiArea->viewport()->rect();
  int x = 0;
  for (TForm1* w : ImageWindows()) {
    if (!w->isMinimized()) continue;
    w->move(x, area.height() - w->height());
    x += w->width();
  }
}

// ---- Image ----

void TMainForm::Symtrie1801Click() {
  const std::shared_ptr<TPupille> g = GridOf(ActiveImage);
  if (!g) return;
  g->Rotate180();
  if (g->Kind == kKindIntra)
    g->Kind = kKindExtra;
  else if (g->Kind == kKindExtra)
    g->Kind = kKindIntra;
  Session().NotifyGridValues(g.get());
}

void TMainForm::Centrer1Click() {
  const std::shared_ptr<TPupille> g = GridOf(ActiveImage);
  if (ImageWindows().isEmpty() || !g) return;
  // Centring re-thresholds the map: on anything but a star image it would
  // mask the negative values of a wavefront and lose them for good.
  if (g->Kind != kKindIntra && g->Kind != kKindExtra) {
    Platform().Warning("Action impossible. Select an intra-focal or extra-focal image.");
    return;
  }
  g->CentrePupil();
  Session().NotifyGridValues(g.get());
}

void TMainForm::CutOut1Click() {
  const std::shared_ptr<TPupille> g = GridOf(ActiveImage);
  if (!g) return;
  if (g->Kind != kKindIntra && g->Kind != kKindExtra) {
    Platform().Warning("Action impossible. Select an intra-focal or extra-focal image.");
    return;
  }
  TOpenOutcome outcome;
  {
    THourglass hourglass;
    outcome = CutOutTestImage(*g, CurrentPupilSearch());
  }
  const std::string name = ActiveImage->windowTitle().toStdString();
  if (!outcome.Star.Found()) {
    Platform().Warning(QString::fromStdString(
        StarRefusal(outcome.Star, g->Kind == kKindExtra ? "extra-focal" : "intra-focal", name)));
  } else if (!outcome.Cut) {
    Platform().Warning(QString::fromStdString(name + ": the image is not much larger than its donut"));
  }
  if (outcome.Cut) {
    ActiveImage->setWindowTitle(CutOutCaption(ActiveImage->windowTitle(), *g));
    Session().NotifyGridValues(g.get());
  }
}

// ---- Zoom ----

void TMainForm::ApplyZoomSelector() {
  if (ImageWindows().isEmpty() || !ActiveImage) return;
  ActiveImage->ZoomIndex = static_cast<std::uint8_t>(ZoomSelector->currentIndex());
  Session().NotifyGridDisplay(ActiveImage->Grid.get());
}

void TMainForm::ZoomIn() {
  ZoomSelector->setCurrentIndex(std::min(ZoomSelector->currentIndex() + 1, ZoomSelector->count() - 1));
  ApplyZoomSelector();
}

void TMainForm::ZoomOut() {
  ZoomSelector->setCurrentIndex(std::max(ZoomSelector->currentIndex() - 1, 0));
  ApplyZoomSelector();
}

// ---- Help ----

void TMainForm::HelpAbout1Execute() {
  AboutBox->Fill(kProductName, kProductVersion);
  AboutBox->exec();
}

// ---- Start-up ----

std::unique_ptr<TMainForm> CreateApplicationWindows() {
  QApplication::setApplicationName(kProductName);
  auto main = std::make_unique<TMainForm>();
  main->AboutBox = new TAboutBox(main.get());
  InitPreferences();
  main->Prefs = new TPrefs(main.get());
  ReadOrCreateReconstructionSettings();  // the method lives in its own file beside Prefs.txt
  ReadFrameSettings();                   // and so does the cut-out on opening
  main->FormInfos = new TFormInfos(main.get());
  main->addDockWidget(Qt::RightDockWidgetArea, main->FormInfos);
  main->FormInfos->hide();
  main->FormParam = new TFormParam(main.get());
  main->FormProgress = new TFormProgress(main.get());
  main->FormMeridienne = new TFormMeridienne(main.get());
  main->FormMeridienne->hide();
  main->FormSeidel = new TFormSeidel(main.get());
  main->FormSeidel->hide();
  main->FormRVB = new TFormRVB(main.get());
  main->FormRVB->hide();
  main->FormSequence = new TFormSequence(main.get());
  main->FormSequence->hide();
  main->FormAide = new TFormAide(main.get());
  main->FormAide->hide();
  main->Form3 = new TForm3(main.get());
  main->addDockWidget(Qt::RightDockWidgetArea, main->Form3);
  main->Form3->hide();
  if (const QScreen* screen = QApplication::primaryScreen()) main->setGeometry(screen->availableGeometry());
  return main;
}

}  // namespace caustica
