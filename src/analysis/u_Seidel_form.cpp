#include "analysis/u_Seidel_form.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

#include "analysis/u_Seidel.h"
#include "analysis/u_pupille.h"
#include "app/Unit1.h"
#include "app/program_state.h"
#include "app/session.h"

namespace caustica {

namespace {

constexpr int kRowCount = 6;

// The wavefront a window shows, or nothing for any other kind of grid.
std::shared_ptr<TPupille> WavefrontOf(TForm1* window) {
  if (!window || !window->Grid || window->Grid->Kind != kKindWavefront) return nullptr;
  return window->Grid;
}

void SetCell(QTableWidget* table, int row, int column, const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled);
  table->setItem(row, column, item);
}

}  // namespace

TFormSeidel::TFormSeidel(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle("Seidel abberations");
  Table = new QTableWidget(kRowCount, 3, this);
  Table->setHorizontalHeaderLabels({"Aberration", "Value", "Orientation"});
  Table->verticalHeader()->hide();
  Table->horizontalHeader()->setStretchLastSection(true);
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Table);
  resize(360, 230);
  Fill(nullptr);

  connect(&Session(), &TSession::ActiveImageChanged, this, &TFormSeidel::FollowActive);
  connect(&Session(), &TSession::ReconstructionChanged, this, [this](int) {
    // A replaced slot may have taken the shown wavefront with it.
    if (auto active = WavefrontOf(ActiveImage))
      Fill(active);
    else if (Shown.expired())
      Fill(nullptr);
  });
  connect(&Session(), &TSession::GridValuesChanged, this, [this](const TPupille* grid) {
    if (auto shown = Shown.lock(); shown && shown.get() == grid) Fill(shown);
  });
  connect(&Session(), &TSession::SeidelRequested, this, &TFormSeidel::ShowRequested);
  connect(&Session(), &TSession::TestReset, this, &TFormSeidel::Reset);
}

void TFormSeidel::Fill(const std::shared_ptr<TPupille>& wavefront) {
  Shown = wavefront;
  if (!wavefront) {
    Table->clearContents();
    return;
  }
  const TSeidelFigures figures = SeidelFigures(*wavefront);
  for (int row = 0; row < kRowCount; ++row) {
    const TSeidelRow& f = figures[row];
    SetCell(Table, row, 0, QString::fromStdString(f.Caption));
    SetCell(Table, row, 1, QString::fromStdString(f.ValueText));
    SetCell(Table, row, 2, QString::fromStdString(f.OrientationText));
  }
}

// A wavefront made active takes the window over; any other image leaves the
// last wavefront's figures in place. With no image left the window goes.
void TFormSeidel::FollowActive(TForm1* window) {
  if (!window) {
    // The active window went; another one takes over unless it was the last.
    if (TForm1::ImageWindows().isEmpty())
      Reset();
    else if (Shown.expired())
      Fill(nullptr);
    return;
  }
  if (auto wavefront = WavefrontOf(window)) Fill(wavefront);
}

void TFormSeidel::ShowRequested() {
  auto wavefront = WavefrontOf(ActiveImage);
  if (!wavefront) return;
  Fill(wavefront);
  show();
  raise();
}

void TFormSeidel::Reset() {
  Fill(nullptr);
  hide();
}

}  // namespace caustica
