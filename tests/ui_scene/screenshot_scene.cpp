// Draws the README's pictures: the main window with the bundled sample pair
// opened through its own commands, the wavefront reconstructed and its
// residual shown; with a folder as third argument also the information
// panel after the reconstruction, each product window and an imported
// colour picture, the help window on its contents page, the mid-line of the
// wavefront and the colour results of a three-colour run, as PNG files in
// that folder; and a simulated sequence opened and its results.
//   ui_screenshot <samples folder> <output.png> [<screenshots folder>]
#include <QApplication>
#include <QDir>
#include <QMdiArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

#include "analysis/star_simulator.h"
#include "analysis/u_Seidel_form.h"
#include "analysis/u_resultats_form.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "app/sequence_form.h"
#include "app/session.h"
#include "app/u_FormInfos.h"
#include "io/jpeg_file.h"
#include "setup/reconstruction_method.h"
#include "setup/u_FormMeridienne_form.h"
#include "setup/u_RVB_form.h"
#include "setup/u_aide_form.h"
#include "setup/u_prefs.h"
#include "support/seeing_sequence.h"
#include "ui/scripted_platform.h"

using namespace caustica;

namespace {

void Settle() {
  for (int i = 0; i < 10; ++i) QApplication::processEvents();
}

bool Save(QWidget* widget, const QDir& folder, const char* name) {
  Settle();
  const QString path = folder.filePath(name);
  if (widget->grab().save(path)) return true;
  std::fprintf(stderr, "ui_screenshot: cannot write %s\n", qPrintable(path));
  return false;
}

// Each product of the wavefront window, alone in the frame, saved.
bool SaveProducts(TMainForm& main, TForm1* front, const QDir& folder) {
  struct Product {
    void (TMainForm::*Command)();
    const char* File;
  };
  const Product products[] = {{&TMainForm::Interfrogramme1Click, "interferogram.png"},
                              {&TMainForm::FoucaultClick, "foucaultgram.png"},
                              {&TMainForm::PSFClick, "psf.png"},
                              {&TMainForm::FFT2Click, "fft.png"},
                              {&TMainForm::Spots1Click, "spots.png"}};
  bool ok = true;
  for (const Product& p : products) {
    main.MdiArea->setActiveSubWindow(front);
    const int before = main.MDIChildCount();
    (main.*p.Command)();
    if (main.MDIChildCount() == before) {
      std::fprintf(stderr, "ui_screenshot: no window for %s\n", p.File);
      ok = false;
      continue;
    }
    TForm1* made = main.ImageWindows().constLast();
    made->ZoomIndex = 5;  // 200 %
    made->Visualiser();
    made->move(0, 0);
    ok = Save(made, folder, p.File) && ok;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: ui_screenshot <samples folder> <output.png> [<screenshots folder>]\n");
    return 2;
  }
  QApplication app(argc, argv);
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
  main->Frontrsiduel1Click();
  // Images at 75 %, the maps at 200 %.
  for (TForm1* w : main->ImageWindows()) {
    w->ZoomIndex = w->Grid->Kind <= kKindExtra ? 2 : 5;
    w->Visualiser();
  }
  main->MdiArea->tileSubWindows();
  main->MdiArea->setActiveSubWindow(front);
  Settle();
  // The README's picture: the windows without the tool windows.
  main->FormInfos->hide();
  main->Form3->hide();
  bool ok = Save(main.get(), QDir(), argv[2]);

  if (argc == 4) {
    const QDir folder(QString::fromLocal8Bit(argv[3]));
    if (!QDir().mkpath(folder.path())) return 1;
    // The panel beside the active wavefront, on its Results page.
    Session().ShowInformationPanel(true);
    main->MdiArea->setActiveSubWindow(front);
    ok = Save(main.get(), folder, "main_panel.png") && ok;
    // Its other pages.
    const char* pages[] = {"panel_values.png", nullptr, "panel_display.png", "panel_options.png"};
    for (int page : {0, 2, 3}) {
      main->FormInfos->PageControl1->setCurrentIndex(page);
      ok = Save(main->FormInfos, folder, pages[page]) && ok;
    }

    // The Zernike results and the Seidel figures of the wavefront.
    main->MdiArea->setActiveSubWindow(front);
    main->FormInfos->hide();  // the results window then has the whole side
    Session().ShowZernikeResults();
    ok = Save(main.get(), folder, "zernike_results.png") && ok;
    main->AberrationsdeSeidel1Click();
    ok = Save(main->FormSeidel, folder, "seidel.png") && ok;
    main->FormSeidel->hide();
    main->Form3->hide();
    // The wavefront's profile along its horizontal diameter.
    main->MdiArea->setActiveSubWindow(front);
    main->Mridienne1Click();
    main->FormMeridienne->resize(640, 440);
    ok = Save(main->FormMeridienne, folder, "midline.png") && ok;
    main->FormMeridienne->close();  // takes the diameter off the wavefront
    // The forward-model check: the measured images minus the modelled ones.
    main->ForwardCheck1Click();
    for (TForm1* w : main->ImageWindows()) {
      w->ZoomIndex = w->Grid->Kind <= kKindExtra ? 2 : 5;
      w->Visualiser();
    }
    main->MdiArea->tileSubWindows();
    main->statusBar()->showMessage("Forward model: " +
                                   QString::fromStdString(ForwardCheckText(RoddierMono->Forward)));
    ok = Save(main.get(), folder, "forward_check.png") && ok;

    main->FormInfos->hide();
    for (TForm1* w : main->ImageWindows())
      if (w != front) w->showMinimized();
    ok = SaveProducts(*main, front, folder) && ok;

    // A colour picture of the sample star (a tinted copy), imported.
    const TPupille& intra = *ListBoxIntra.constFirst().Window->Grid;
    TRaster picture;
    picture.Resize(intra.Nx, intra.Ny);
    const double peak = intra.MaxValue > 0 ? intra.MaxValue : 1.0;
    for (int r = 1; r <= intra.Ny; ++r)
      for (int c = 1; c <= intra.Nx; ++c) {
        const double v = 255.0 * intra.Values[1][r][c] / peak;
        std::uint8_t* p = picture.Pixel(c - 1, r - 1);
        p[0] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
        p[1] = static_cast<std::uint8_t>(std::clamp(0.8 * v, 0.0, 255.0));
        p[2] = static_cast<std::uint8_t>(std::clamp(0.55 * v, 0.0, 255.0));
      }
    QTemporaryDir scratch;
    const QString jpeg = scratch.filePath("star.jpg");
    if (!EncodeJpegFile(jpeg.toStdString(), picture)) return 1;
    ClosingAll = true;
    for (TForm1* w : main->ImageWindows()) w->close();
    ClosingAll = false;
    Preferences.Valeurs.LambdaB = 470;
    Preferences.Valeurs.LambdaV = 540;
    Preferences.Valeurs.LambdaR = 640;
    platform.Files = {jpeg};
    main->OuvrirImageJpeg1Click();
    for (TForm1* w : main->ImageWindows()) {
      w->ZoomIndex = 2;
      Session().NotifyGridDisplay(w->Grid.get());
    }
    main->MdiArea->tileSubWindows();
    main->FormInfos->PageControl1->setCurrentIndex(0);  // "Values": what an image shows
    ok = Save(main.get(), folder, "jpeg_import.png") && ok;

    // The help window on its contents page, alone.
    Session().ShowHelp(QString());
    ok = Save(main->FormAide, folder, "help.png") && ok;
    main->FormAide->hide();
    // The sample pair again, reconstructed in the three colours.
    ClosingAll = true;
    for (TForm1* w : main->ImageWindows()) w->close();
    ClosingAll = false;
    platform.Files = {samples.filePath("newtonian200_intra.fits"),
                      samples.filePath("newtonian200_extra.fits")};
    main->FileOpen1Execute();
    main->Ouvrircommeextrafocale1Click();
    if (ListBoxIntra.isEmpty() || ListBoxExtra.isEmpty()) return 1;
    Parametres.Intra = Parametres.IntraBleu = Parametres.IntraVert = Parametres.IntraRouge =
        ListBoxIntra.constLast().Window->Grid;
    Parametres.Extra = Parametres.ExtraBleu = Parametres.ExtraVert = Parametres.ExtraRouge =
        ListBoxExtra.constLast().Window->Grid;
    Parametres.ModeTraitement = 1;
    Parametres.ParamValides = true;
    main->ReconstruireClick();
    main->Trichromie1Click();
    if (!main->FormRVB->isVisible()) {
      std::fprintf(stderr, "ui_screenshot: no colour results\n");
      return 1;
    }
    ok = Save(main->FormRVB, folder, "tricolour.png") && ok;
    main->FormRVB->hide();

    // A sequence of 20 frame pairs through 2" turbulence, both sides
    // opened, reconstructed, and the sequence results.
    ClosingAll = true;
    for (TForm1* w : main->ImageWindows()) w->close();
    ClosingAll = false;
    const StarSimulationOptions o = test::SeeingSequence(20, 1);
    const QString intraCube = scratch.filePath("intra_cube.fits"),
                  extraCube = scratch.filePath("extra_cube.fits");
    if (!WriteStarSequence(o, intraCube.toStdString(), extraCube.toStdString()).Ok) return 1;
    platform.FileLists = {{intraCube}, {extraCube}};
    platform.Choices = {0, 0};
    main->OpenSequence1Click();
    main->OpenSequenceExtra1Click();
    if (ListBoxIntra.isEmpty() || ListBoxExtra.isEmpty()) return 1;
    Parametres = DefaultParametres;
    Parametres.Focale = o.FocalLength * 1e6;
    Parametres.Rayon = o.Diameter * 5e5;
    Parametres.Defocalisation = o.Defocus * 1e6;
    Parametres.Intra = ListBoxIntra.constLast().Window->Grid;
    Parametres.Extra = ListBoxExtra.constLast().Window->Grid;
    Parametres.ParamValides = true;
    ReconstructionMethod = TReconstructionMethod::Accurate;
    main->ReconstructSequence1Click();
    if (!main->FormSequence->isVisible()) {
      std::fprintf(stderr, "ui_screenshot: no sequence results (%s)\n",
                   qPrintable(platform.Warnings.join("; ")));
      return 1;
    }
    for (TForm1* w : main->ImageWindows()) {
      w->ZoomIndex = w->Grid->Kind <= kKindExtra ? 3 : 5;
      w->Visualiser();
    }
    main->MdiArea->tileSubWindows();
    main->FormSequence->hide();
    ok = Save(main.get(), folder, "sequence_opened.png") && ok;
    Session().ShowSequenceResults();
    ok = Save(main->FormSequence, folder, "sequence_results.png") && ok;
  }
  ClosingAll = true;
  return ok ? 0 : 1;
}
