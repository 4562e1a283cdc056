// Draws the README's picture: the main window with the bundled sample pair
// opened through its own commands, the wavefront reconstructed and its
// residual shown, saved as a PNG file.
//   ui_screenshot <samples folder> <output.png>
#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <cstdio>

#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "setup/u_prefs.h"
#include "ui/scripted_platform.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ui_screenshot <samples folder> <output.png>\n");
    return 2;
  }
  QApplication app(argc, argv);
  using namespace caustica;
  test::TScriptedPlatform platform;
  const std::unique_ptr<TMainForm> main = CreateApplicationWindows();
  Preferences.Valeurs = TkwValue{};
  SetZernikeBasis(Preferences.Valeurs.NPolyZern, Preferences.Valeurs.ModePoly);
  main->setGeometry(0, 0, 1280, 800);
  main->show();

  const QDir samples(QString::fromLocal8Bit(argv[1]));
  platform.Files = {samples.filePath("newtonian200_intra.fits"), samples.filePath("newtonian200_extra.fits")};
  main->FileOpen1Execute();
  main->Ouvrircommeextrafocale1Click();
  if (ListBoxIntra.isEmpty() || ListBoxExtra.isEmpty()) {
    std::fprintf(stderr, "ui_screenshot: the sample images could not be opened\n");
    return 1;
  }
  // The sample's test: 200 mm f/6, 3.6 mm of defocus (lengths in nanometres).
  Parametres.Focale = 1200e6;
  Parametres.Rayon = 100e6;
  Parametres.Defocalisation = 3.6e6;
  Parametres.Intra = ListBoxIntra.constFirst().Window->Grid;
  Parametres.Extra = ListBoxExtra.constFirst().Window->Grid;
  Parametres.ParamValides = true;
  main->ReconstruireClick();
  if (!RoddierMono || !RoddierMono->Wavefront) {
    std::fprintf(stderr, "ui_screenshot: the reconstruction failed\n");
    return 1;
  }
  TForm1* front = main->ImageWindows().constLast();
  front->ShowScale = 1;
  main->Frontrsiduel1Click();
  // Images at 75 %, the maps at 200 %.
  for (TForm1* w : main->ImageWindows()) {
    w->ZoomIndex = w->Grid->Kind <= kKindExtra ? 2 : 5;
    w->Visualiser();
  }
  main->MdiArea->tileSubWindows();
  main->MdiArea->setActiveSubWindow(front);
  for (int i = 0; i < 10; ++i) QApplication::processEvents();

  const bool saved = main->grab().save(QString::fromLocal8Bit(argv[2]));
  ClosingAll = true;
  return saved ? 0 : 1;
}
