#include "analysis/u_resultats_form.h"

#include <QAction>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>

#include "analysis/u_saisie_1zernike_form.h"
#include "analysis/zernike_coefficients_file.h"
#include "app/Unit1.h"
#include "app/platform.h"
#include "app/program_state.h"
#include "app/session.h"
#include "setup/u_prefs.h"

namespace caustica {

namespace {

constexpr const char* kTitle = "Zernike polynomials";
constexpr int kColumnCount = 4;

bool ListsTerms(const TPupille& grid) { return grid.Kind == kKindWavefront || grid.Kind == kKindResidual; }

}  // namespace

// ---- The rows ----

TResultsModel::TResultsModel(QObject* parent) : QAbstractTableModel(parent) {}

void TResultsModel::SetGrid(std::weak_ptr<TPupille> grid) {
  beginResetModel();
  grid_ = std::move(grid);
  EndReset();
}

void TResultsModel::SetDisplay(const TResultsDisplay& display) {
  beginResetModel();
  display_ = display;
  EndReset();
}

void TResultsModel::EndReset() {
  endResetModel();
  shownRows_ = rowCount();
}

void TResultsModel::Reload() {
  // The same rows with new values are repainted, not laid out again.
  const int rows = rowCount();
  if (rows == shownRows_ && rows > 0) {
    emit dataChanged(index(0, 0), index(rows - 1, kColumnCount - 1));
    return;
  }
  beginResetModel();
  EndReset();
}

TResultTicks TResultsModel::Ticks() const {
  const std::shared_ptr<TPupille> g = Grid();
  return g ? TicksOf(*g) : TResultTicks{};
}

int TResultsModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  const std::shared_ptr<TPupille> g = Grid();
  return g ? ResultRowCount(*g) : 0;
}

int TResultsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant TResultsModel::data(const QModelIndex& index, int role) const {
  const std::shared_ptr<TPupille> g = Grid();
  if (!g || !index.isValid()) return {};
  const int row = index.row();
  if (role == Qt::CheckStateRole && index.column() == 0) {
    const bool ticked = row == HigherOrdersRow(*g) ? g->HigherOrders : g->Selected[row + 1];
    return ticked ? Qt::Checked : Qt::Unchecked;
  }
  if (role != Qt::DisplayRole) return {};
  const TResultRow texts = ResultRowTexts(*g, row, display_);
  switch (index.column()) {
    case 0:
      return QString::fromStdString(texts.Name);
    case 1:
      return QString::fromStdString(texts.Term);
    case 2:
      return QString::fromStdString(texts.Value);
    default:
      return QString::fromStdString(texts.Alert);
  }
}

QVariant TResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const titles[kColumnCount] = {"Polynomials", "Coefficient", "Value", "Alert"};
  return section >= 0 && section < kColumnCount ? QVariant(titles[section]) : QVariant();
}

Qt::ItemFlags TResultsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

bool TResultsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  const std::shared_ptr<TPupille> g = Grid();
  if (!g || role != Qt::CheckStateRole || index.column() != 0) return false;
  TResultTicks ticks = TicksOf(*g);
  const bool ticked = value.toInt() == Qt::Checked;
  if (index.row() == ticks.Count)
    ticks.HigherOrders = ticked;
  else
    ticks.Terms[index.row() + 1] = ticked;
  if (TicksEdited) TicksEdited(ticks);
  return true;
}

// ---- The window ----

TForm3::TForm3(QWidget* parent) : QDockWidget(parent) {
  setObjectName("Form3");
  setWindowTitle(kTitle);
  setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
              QDockWidget::DockWidgetFloatable);

  Model = new TResultsModel(this);
  Model->TicksEdited = [this](const TResultTicks& ticks) { ApplyTicks(ticks); };
  CheckListBox1 = new QTableView(this);
  CheckListBox1->setModel(Model);
  CheckListBox1->setSelectionBehavior(QAbstractItemView::SelectRows);
  CheckListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  CheckListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  CheckListBox1->verticalHeader()->hide();
  CheckListBox1->verticalHeader()->setDefaultSectionSize(CheckListBox1->fontMetrics().height() + 6);
  // The names give way first, so the values and alerts stay in sight in a narrow dock.
  CheckListBox1->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  CheckListBox1->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
  CheckListBox1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  CheckListBox1->setTextElideMode(Qt::ElideRight);
  CheckListBox1->setContextMenuPolicy(Qt::CustomContextMenu);
  setWidget(CheckListBox1);
  // Wide enough by default for the longest fixed names beside the numbers.
  const QFontMetrics metrics = CheckListBox1->fontMetrics();
  CheckListBox1->setMinimumWidth(metrics.horizontalAdvance("Sec. astigmatism (cos)") +
                                 metrics.horizontalAdvance("Z22 (6,0)-000.00 !!! ") + 80);

  PopupMenu1 = new QMenu(this);
  SelectAllAction = PopupMenu1->addAction("Select all", this, &TForm3::Toutslectionner1Click);
  DeselectAllAction = PopupMenu1->addAction("Deselect all", this, &TForm3::Toutdslectionner1Click);
  InvertAction = PopupMenu1->addAction("Invert", this, &TForm3::Inverserlaslection1Click);
  PopupMenu1->addSeparator();
  SelectThisAction =
      PopupMenu1->addAction("Select this aberration", this, &TForm3::Slectionnercepolynme1Click);
  TiltFocusAction = PopupMenu1->addAction("Enable/Disable tilt and focus", this,
                                          &TForm3::Slectionnerdslectionnertiltetfocus1Click);
  ComaAction =
      PopupMenu1->addAction("Select/Deselect coma", this, &TForm3::SlectionnerDslectionnerlacoma1Click);
  PopupMenu1->addSeparator();
  ModifyAction =
      PopupMenu1->addAction("Modify this aberration", this, &TForm3::Modifiercetteaberration1Click);
  HelpAction = PopupMenu1->addAction("Help for this aberration", this, &TForm3::Aide1Click);
  PopupMenu1->addSeparator();
  SaveAction = PopupMenu1->addAction("Saev coefficents", this, &TForm3::Enregistrerlescoefficients1Click);
  connect(CheckListBox1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { PopupMenu1->popup(CheckListBox1->viewport()->mapToGlobal(p)); });
  connect(CheckListBox1, &QAbstractItemView::doubleClicked, this, &TForm3::Slectionnercepolynme1Click);

  TSession& s = Session();
  connect(&s, &TSession::ActiveImageChanged, this, &TForm3::ShowActive);
  connect(&s, &TSession::ReconstructionChanged, this, [this](int) { ShowActive(ActiveImage); });
  connect(&s, &TSession::GridValuesChanged, this, [this](const TPupille* grid) {
    if (!applying_ && grid && grid == Model->Grid().get()) Model->Reload();
  });
  connect(&s, &TSession::DisplayPreferencesChanged, this, &TForm3::ReadDisplayPreferences);
  connect(&s, &TSession::TestReset, this, [this] {
    Empty();
    hide();
  });
  connect(&s, &TSession::ZernikeResultsRequested, this, [this] {
    Refresh();
    show();
    raise();
  });
  connect(&s, &TSession::SaveZernikeCoefficientsRequested, this, &TForm3::Enregistrerlescoefficients1Click);

  ReadDisplayPreferences();
}

void TForm3::ReadDisplayPreferences() {
  TResultsDisplay d;
  d.Decimals = Preferences.Valeurs.NDecNano;
  d.NormRMS = Preferences.Valeurs.NormRMS == 1;
  d.Alerts = Preferences.Valeurs.Alertes;
  Model->SetDisplay(d);
}

void TForm3::Refresh() { ShowActive(ActiveImage); }

void TForm3::Empty() {
  disconnect(shownGone_);
  shownWindow_ = nullptr;
  Model->SetGrid({});
}

void TForm3::ShowActive(TForm1* window) {
  if (!window) {
    // The active window went; the last one closing takes the list with it.
    if (shownWindow_ && !TForm1::ImageWindows().contains(shownWindow_.data())) Empty();
    if (TForm1::ImageWindows().isEmpty()) {
      Empty();
      hide();
    }
    return;
  }
  const bool wavefront = window->Grid && ListsTerms(*window->Grid);
  // Another kind of image leaves the last wavefront listed, but idle.
  CheckListBox1->setEnabled(wavefront);
  if (!wavefront) return;
  if (window != shownWindow_) {
    disconnect(shownGone_);
    shownWindow_ = window;
    shownGone_ = connect(window, &QObject::destroyed, this, &TForm3::Empty);
  }
  Model->SetGrid(window->Grid);
}

void TForm3::ApplyTicks(const TResultTicks& ticks) {
  const std::shared_ptr<TPupille> grid = Model->Grid();
  // Only the active wavefront follows the check boxes.
  if (!grid || !shownWindow_ || shownWindow_ != ActiveImage || shownWindow_->Grid != grid) return;
  applying_ = true;
  const bool changed = caustica::ApplyTicks(*grid, ticks, shownWindow_->MeasuredMap);
  if (changed) Session().NotifyGridValues(grid.get());
  applying_ = false;
  Model->Reload();
}

void TForm3::ApplyEdited(const std::function<void(TResultTicks&)>& edit) {
  if (!Model->Grid()) return;
  TResultTicks ticks = Model->Ticks();
  edit(ticks);
  ApplyTicks(ticks);
}

int TForm3::SelectedRow() const {
  const QModelIndex current = CheckListBox1->currentIndex();
  return current.isValid() ? current.row() : -1;
}

void TForm3::Toutslectionner1Click() { ApplyEdited(TickAll); }
void TForm3::Toutdslectionner1Click() { ApplyEdited(UntickAll); }
void TForm3::Inverserlaslection1Click() { ApplyEdited(InvertTicks); }
void TForm3::Slectionnerdslectionnertiltetfocus1Click() { ApplyEdited(ToggleTiltAndFocus); }
void TForm3::SlectionnerDslectionnerlacoma1Click() { ApplyEdited(ToggleComa); }

void TForm3::Slectionnercepolynme1Click() {
  const int row = SelectedRow();
  ApplyEdited(UntickAll);
  if (row >= 0) ApplyEdited([row](TResultTicks& t) { TickRow(t, row); });
  if (row >= 0) CheckListBox1->setCurrentIndex(Model->index(row, 0));
}

void TForm3::Modifiercetteaberration1Click() {
  const int row = SelectedRow();
  if (row < 0) return;
  const QString name = Model->data(Model->index(row, 0), Qt::DisplayRole).toString();
  auto* dialog = new TForm1Zernike(name, this);
  dialog->exec();
  delete dialog;
}

void TForm3::Aide1Click() {
  const int row = SelectedRow();
  if (row < 0) return;
  Session().ShowHelp(QString::fromStdString(AberrationHelpPage(row)));
}

void TForm3::Enregistrerlescoefficients1Click() {
  const std::shared_ptr<TPupille> grid = Model->Grid();
  if (!grid) return;
  TFileRequest request;
  request.Title = "Save Zernike coefficients";
  request.Filter = "Text files (*.txt)|*.txt";
  request.ProposedName = windowTitle();
  request.AskOverwrite = true;
  const QString chosen = Platform().SaveFileName(request);
  if (chosen.isEmpty()) return;
  const std::string name = CoefficientFileName(chosen.toStdString());
  std::string error;
  if (!SaveZernikeCoefficients(name, grid->Basis, grid->Coefficients, Preferences.Valeurs.NPolyZern, &error))
    Platform().Warning(QString::fromStdString(error));
}

}  // namespace caustica
