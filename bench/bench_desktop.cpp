// The desktop program's own costs on a 512 x 512 wavefront: a change made in
// the information panel (palette, display range, contrast) until the image
// window and the panel are repainted, an interferogram recomputed in place
// when the panel's angle changes, and a term switched in the Zernike results.
// Runs on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QSlider>
#include <QTableView>
#include <cmath>

#include "analysis/products.h"
#include "analysis/test_image.h"
#include "analysis/u_resultats_form.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/session.h"
#include "app/u_FormInfos.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"

using namespace caustica;

namespace {

std::shared_ptr<TPupille> Wavefront512() {
  auto w = std::make_shared<TPupille>();
  w->Init(512, 512);
  w->Kind = kKindWavefront;
  w->OriginColumn = w->OriginRow = 256.5;
  w->PupilRadius = 240.0;
  w->Obstruction = 0.25;
  w->SetPupilAxes();
  for (int k = 1; k <= 22; ++k) w->Coefficients[k] = 30.0 * std::sin(1.3 * k);
  SelectAll(w->Selected);
  w->SynthesiseFromZernike();
  w->MaskActive = true;
  w->PaletteIndex = 1;
  return w;
}

// The main window with one wavefront window, active, and the panel shown.
struct Desktop {
  std::unique_ptr<TMainForm> Main = CreateApplicationWindows();
  TForm1* Front = nullptr;
  Desktop() {
    Main->setGeometry(0, 0, 1400, 900);
    Main->show();
    Front = Main->NewImageWindow(Wavefront512(), "Wavefront");
    Session().ShowInformationPanel(true);
    QApplication::processEvents();
  }
  ~Desktop() { ClosingAll = true; }
  // Everything the change asked for painted.
  void Paint() {
    Front->Picture->repaint();
    Main->FormInfos->repaint();
  }
};

void BM_PanelPaletteChange(benchmark::State& state) {
  Desktop d;
  QComboBox* palette = d.Main->FormInfos->ComboBoxPalette;
  int i = 0;
  for (auto _ : state) {
    palette->setCurrentIndex(++i % 5);  // runs the handler, which redraws
    d.Paint();
  }
}
BENCHMARK(BM_PanelPaletteChange)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PanelRangeChange(benchmark::State& state) {
  Desktop d;
  QSlider* low = d.Main->FormInfos->TrackBar2;
  int i = 0;
  for (auto _ : state) {
    low->setValue(60 + (++i % 30));
    d.Paint();
  }
}
BENCHMARK(BM_PanelRangeChange)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PanelContrastChange(benchmark::State& state) {
  Desktop d;
  QSlider* contrast = d.Main->FormInfos->TrackBar4;
  int i = 0;
  for (auto _ : state) {
    contrast->setValue(-50 + (++i % 100));
    d.Paint();
  }
}
BENCHMARK(BM_PanelContrastChange)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_InterferogramRecomputeOnAngleChange(benchmark::State& state) {
  Desktop d;
  d.Main->Interfero(0, 8);  // the interferogram window, now active
  TForm1* fringes = ActiveImage;
  int angle = 0;
  for (auto _ : state) {
    TProductControls c = Session().ProductControls();
    c.Angle = (angle += 5) % 360;
    Session().SetProductControls(c);
    Session().RequestProductRecompute();
    fringes->Picture->repaint();
  }
}
BENCHMARK(BM_InterferogramRecomputeOnAngleChange)->Unit(benchmark::kMillisecond)->UseRealTime();

// One term of the results list ticked or unticked, until the map and the
// panel with its new figures are repainted.
void BM_ToggleOneTerm(benchmark::State& state) {
  Desktop d;
  Session().ShowZernikeResults();
  QApplication::processEvents();
  QAbstractItemModel* rows = d.Main->Form3->CheckListBox1->model();
  const QModelIndex coma = rows->index(6, 0);
  bool on = true;
  for (auto _ : state) {
    on = !on;
    rows->setData(coma, on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    d.Paint();
  }
}
BENCHMARK(BM_ToggleOneTerm)->Unit(benchmark::kMillisecond)->UseRealTime();

// "Reconstruct the wavefront" on the bundled sample, from the command to
// the wavefront window drawn, with the progress window painted at every step.
void BM_DesktopReconstruction(benchmark::State& state) {
  Desktop d;
  const std::string samples = CAUSTICA_SAMPLES_DIR;
  for (auto _ : state) {
    state.PauseTiming();
    ClosingAll = true;
    for (TForm1* w : d.Main->ImageWindows()) delete w;
    ClosingAll = false;
    Session().NewTest();
    std::shared_ptr<TPupille> images[2];
    for (int i = 0; i < 2; ++i) {
      images[i] = std::make_shared<TPupille>();
      OpenTestImage(samples + (i ? "/newtonian200_extra.fits" : "/newtonian200_intra.fits"), TPupilSearch{},
                    *images[i]);
      if (i) images[i]->Rotate180();
      images[i]->Kind = static_cast<std::uint8_t>(i);
      d.Main->NewImageWindow(images[i], i ? "extra" : "intra");
    }
    Parametres.Focale = 1200e6;
    Parametres.Rayon = 100e6;
    Parametres.Defocalisation = 3.6e6;
    Parametres.Intra = images[0];
    Parametres.Extra = images[1];
    Parametres.ParamValides = true;
    state.ResumeTiming();
    d.Main->ReconstruireClick();
  }
}
BENCHMARK(BM_DesktopReconstruction)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  Preferences.Valeurs = TkwValue{};
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
