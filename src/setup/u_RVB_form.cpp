#include "setup/u_RVB_form.h"

#include <QFormLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include "analysis/u_Roddier.h"
#include "analysis/u_pupille.h"
#include "app/program_state.h"
#include "app/session.h"
#include "setup/u_RVB.h"
#include "setup/u_parametres.h"
#include "setup/u_prefs.h"

namespace caustica {

namespace {

void SetCell(QTableWidget* table, int row, int column, const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled);
  if (column > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
  table->setItem(row, column, item);
}

std::shared_ptr<TPupille> WavefrontOf(int channel) {
  const std::unique_ptr<TRoddier>& slot = TSession::Slot(channel);
  return slot ? slot->Wavefront : nullptr;
}

}  // namespace

TFormRVB::TFormRVB(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle("Tricolour");
  Table = new QTableWidget(0, 4, this);
  Table->setHorizontalHeaderLabels({"", "Blue", "Grn.", "Red"});
  Table->verticalHeader()->hide();
  Table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  Table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  Table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  Table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Edit1 = new QLineEdit(this);
  Edit1->setReadOnly(true);
  auto* strehl = new QFormLayout;
  strehl->addRow("Polychromatic Strehl :", Edit1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Table, 1);
  layout->addLayout(strehl);
  resize(500, 260);

  connect(&Session(), &TSession::TricolourRequested, this, &TFormRVB::Open);
  connect(&Session(), &TSession::ReconstructionChanged, this, [this](int) {
    // A new polychromatic run replaces the fronts; otherwise the kept ones
    // stay while they exist.
    if (!isVisible()) return;
    TakeFronts();
    RemplirRVB();
  });
  connect(&Session(), &TSession::GridValuesChanged, this, [this](const TPupille* grid) {
    for (const auto* front : {&FrontBleu, &FrontVert, &FrontRouge})
      if (auto f = front->lock(); f && f.get() == grid) return RemplirRVB();
  });
  connect(&Session(), &TSession::TestReset, this, [this] {
    Clear();
    hide();
  });
}

bool TFormRVB::TakeFronts() {
  if (Parametres.ModeTraitement != 1 || !Parametres.ParamValides) return false;
  auto rouge = WavefrontOf(kChannelRed), vert = WavefrontOf(kChannelGreen), bleu = WavefrontOf(kChannelBlue);
  if (!rouge || !vert || !bleu) return false;
  FrontRouge = rouge;
  FrontVert = vert;
  FrontBleu = bleu;
  return true;
}

void TFormRVB::Open() {
  if (!TakeFronts()) return;
  RemplirRVB();
  show();
  raise();
}

void TFormRVB::Clear() {
  FrontRouge.reset();
  FrontVert.reset();
  FrontBleu.reset();
  Table->setRowCount(0);
  Edit1->clear();
}

void TFormRVB::RemplirRVB() {
  auto rouge = FrontRouge.lock(), vert = FrontVert.lock(), bleu = FrontBleu.lock();
  if (!rouge || !vert || !bleu) {
    Clear();
    return;
  }
  const TkwValue& v = Preferences.Valeurs;
  const TColourResults results = caustica::RemplirRVB(*bleu, *vert, *rouge, Parametres.Focale,
                                                      Parametres.Rayon, v.PoidsR, v.PoidsV, v.PoidsB);
  Table->setRowCount(0);
  Table->setRowCount(static_cast<int>(results.Rows.size()));
  for (int r = 0; r < Table->rowCount(); ++r) {
    const TColourRow& row = results.Rows[r];
    SetCell(Table, r, 0, QString::fromStdString(row.Name));
    for (int c = 0; c < 3; ++c) SetCell(Table, r, c + 1, QString::fromStdString(row.Values[c]));
  }
  Edit1->setText(QString::fromStdString(results.PolychromaticText));
}

}  // namespace caustica
