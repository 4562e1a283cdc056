// The main window: the multiple-document frame with its menus, tool bars
// and the commands that take a test from the two images to the wavefront.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <string>
#include <vector>

#include "analysis/u_Roddier.h"
#include "analysis/u_pupille.h"

class QAction;
class QComboBox;
class QMdiArea;
class QMenu;

namespace caustica {

class TAboutBox;
class TForm1;
class TRoddier;
class TFormProgress;
class TFormInfos;
class TForm3;
class TFormParam;
class TFormSeidel;
class TFormMeridienne;
class TFormRVB;
class TFormSequence;
class TFormAide;
class TPrefs;

inline constexpr const char* kProductName = "Caustica";
inline constexpr const char* kProductVersion = "3.0";

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  QMdiArea* MdiArea = nullptr;
  QComboBox* ZoomSelector = nullptr;
  TAboutBox* AboutBox = nullptr;
  TFormProgress* FormProgress = nullptr;
  TFormParam* FormParam = nullptr;  // lives for the run, keeps its entries
  TPrefs* Prefs = nullptr;
  TFormInfos* FormInfos = nullptr;
  TFormMeridienne* FormMeridienne = nullptr;
  TFormSeidel* FormSeidel = nullptr;
  TFormRVB* FormRVB = nullptr;
  TFormSequence* FormSequence = nullptr;
  TFormAide* FormAide = nullptr;
  TForm3* Form3 = nullptr;  // the Zernike results

  // The child list: open image windows in creation order.
  QList<TForm1*> ImageWindows() const;
  int MDIChildCount() const { return static_cast<int>(ImageWindows().size()); }

  // A new image window showing grid, added to the frame and made active.
  // A null caption leaves the window's own.
  TForm1* NewImageWindow(std::shared_ptr<TPupille> grid, const QString& caption);

  // File.
  void FileNew1Execute();
  void FileOpen1Execute();
  void Ouvrircommeextrafocale1Click();
  void OuvrirImageJpeg1Click();
  // "Open a sequence...", for each side: the frames measured, chosen and
  // averaged with a progress window that can be cancelled; the average
  // joins the side's image list.
  void OpenSequence1Click();
  void OpenSequenceExtra1Click();
  void Close1Click();
  void Extrafocales1Click();
  void Frontsdonde2Click();
  void Frontsdonde1Click();
  void Foucaultgrammes1Click();
  void Spotsdiagrammes1Click();
  void Enregistrer1Click();
  void FileSaveAsItemClick();
  void ExporterZernike1Click();
  void EnregistrerlescoefficientsdeZernike1Click();
  void Exporter1Click();
  void Imprimer1Click();
  void FileExit1Execute();
  // Windows.
  void TileHorizontal();
  void TileVertical();
  void MinimiseAll();
  void ArrangeAll();
  // Image.
  void Symtrie1801Click();
  void Centrer1Click();
  void CutOut1Click();
  void Mridienne1Click();
  // Values.
  void Paramtres1Click();
  void Valeursdalerte1Click();
  void Prfrences1Click();
  void Simulations1Click();
  // Calc.
  void Signal1Click();
  void Frontdonde1Click();
  void Poisson1Click();
  void ReconstruireClick();
  // Both estimates from the two open sequences, the averaged pair's
  // wavefront shown and the coefficients with their error bars.
  void ReconstructSequence1Click();
  void Ajuster1Click();
  // Products of the active image (main_products.cpp). Interfero and
  // Gradient return false when they refused.
  void Interfrogramme1Click();
  bool Interfero(int angle, int fringes);
  void SerieInterfero();
  void FoucaultClick();
  bool Gradient(int angle);
  void SerieGradient();
  void PSFClick();
  void FFT2Click();
  void Spots1Click();
  // The panel's angle or fringes changed: the active interferogram or
  // Foucaultgram is made again in place.
  void RecomputeProduct(int angle, int fringes);
  // Results.
  void AberrationsdeSeidel1Click();
  void Trichromie1Click();
  void Frontrsiduel1Click();
  void Imagesaprscorrection1Click();
  void ForwardCheck1Click();
  // "Create a report" (main_report.cpp).
  void Gnrerunrapport1Click();
  TRoddier* ReportedReconstruction() const;
  // The last report written, for the rest of the run.
  QString FichierRapport;
  // Zoom.
  void ApplyZoomSelector();
  void ZoomIn();
  void ZoomOut();
  // The zoom selector set to the active window's zoom.
  void ShowActiveZoom();
  // Help.
  void HelpAbout1Execute();

  // After the test parameters or the preferences: images and signals take
  // PltSignal, wavefronts PltFront, other kinds keep theirs; all redrawn.
  void ApplyPalettePreferences();

  // Closes, without questions, every image window whose grid has kind.
  void CloseFamily(int kind);

  // Every action by its handler's name, for tests and tool bars.
  QAction *FileNew1 = nullptr, *FileOpen1 = nullptr, *Ouvrircommeextrafocale1 = nullptr,
          *OuvrirImageJpeg1 = nullptr, *Close1 = nullptr, *Enregistrer1 = nullptr, *FileSaveAsItem = nullptr,
          *EnregistrerZernike1 = nullptr, *ExporterZernike1 = nullptr, *Exporter1 = nullptr,
          *Imprimer1 = nullptr, *FileExit1 = nullptr;
  QAction *Cascade1 = nullptr, *TileHorizontal1 = nullptr, *TileVertical1 = nullptr, *MinimiseAll1 = nullptr,
          *ArrangeAll1 = nullptr, *Afficherlesinformations1 = nullptr;
  QAction *Symtrie1801 = nullptr, *Centrer1 = nullptr, *Mridienne1 = nullptr, *CutOut1 = nullptr;
  QAction *Paramtres1 = nullptr, *Simulations1 = nullptr, *Valeursdalerte1 = nullptr;
  QAction *Signal1 = nullptr, *Frontdonde1 = nullptr, *Poisson1 = nullptr, *Reconstruire = nullptr,
          *Ajuster1 = nullptr, *Interferogramme1 = nullptr, *PSF1 = nullptr, *FFT1 = nullptr,
          *Foucault1 = nullptr, *Spots1 = nullptr;
  QAction *AberrationsdeSeidel1 = nullptr, *Trichromie1 = nullptr, *Frontrsiduel1 = nullptr,
          *Imagesaprscorrection1 = nullptr, *ForwardCheck1 = nullptr, *Gnrerunrapport1 = nullptr;
  QAction *Prfrences1 = nullptr, *Documentation1 = nullptr, *HelpAbout1 = nullptr;
  QAction *ZoomIn1 = nullptr, *ZoomOut1 = nullptr;
  QAction* ZernikeCoefficients1 = nullptr;  // Results menu: shows the Zernike results
  QAction *OpenSequence1 = nullptr, *OpenSequenceExtra1 = nullptr, *ReconstructSequence1 = nullptr,
          *SequenceResults1 = nullptr;
  QMenu* WindowsMenu = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // An image window is open and the active one shows a wavefront; a grid of
  // another kind is refused with the reason.
  bool ActiveIsWavefront();
  void CreateMenus();
  void CreateToolBars();
  void FillWindowsMenu();
  TForm1* OpenImageFile(const QString& title, const char* role);
  void OpenSequence(int kind);
  void CloseFamilyAsked(const QString& name, std::initializer_list<int> kinds);
  void ShowResidual(const std::unique_ptr<TRoddier>& slot);
  void ShowCorrectedImages(const std::unique_ptr<TRoddier>& slot);
  bool Polychromatic() const;
};

// The checks' warnings for a message box: one a line, each a sentence.
std::string JoinedWarnings(const std::vector<std::string>& warnings);

// The images folder of the preferences; before one is chosen, the bundled
// sample's folder, so a new installation opens on something to try.
QString ImagesFolder();

// The main window of the run; empty before start-up and after it ends.
extern QPointer<TMainForm> MainForm;

// Start-up: the title, then the windows in their order (main window, About
// box, preferences, progress window), the main window placed on the whole
// screen. The caller runs the message loop and owns the returned window.
std::unique_ptr<TMainForm> CreateApplicationWindows();

}  // namespace caustica
