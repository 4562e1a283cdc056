// The Zernike results window: a tool window listing the terms of the active
// wavefront with check boxes that switch them on and off in the map, a last
// row for the higher orders, and the coefficient file. It hears everything
// through the session and tells it when it changed the wavefront.
#pragma once

#include <QAbstractTableModel>
#include <QDockWidget>
#include <QPointer>
#include <functional>
#include <memory>

#include "analysis/u_resultats.h"

class QAction;
class QMenu;
class QTableView;

namespace caustica {

class TForm1;

// The rows of the results list over a wavefront's coefficients and ticks.
class TResultsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit TResultsModel(QObject* parent = nullptr);

  // The wavefront shown (none: no rows) and the display preferences.
  void SetGrid(std::weak_ptr<TPupille> grid);
  void SetDisplay(const TResultsDisplay& display);
  // The rows read again from the wavefront.
  void Reload();
  std::shared_ptr<TPupille> Grid() const { return grid_.lock(); }
  // The ticks as the list shows them.
  TResultTicks Ticks() const;

  // Called with the new ticks when the user ticks or unticks a row.
  std::function<void(const TResultTicks&)> TicksEdited;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  void EndReset();

  std::weak_ptr<TPupille> grid_;
  TResultsDisplay display_;
  int shownRows_ = 0;  // rows the views were last told of
};

class TForm3 : public QDockWidget {
  Q_OBJECT
 public:
  explicit TForm3(QWidget* parent = nullptr);

  // Takes the active image window and its wavefront and rebuilds the rows.
  void Refresh();
  // The ticks put on the wavefront, the other windows told.
  void ApplyTicks(const TResultTicks& ticks);
  // The window whose wavefront is listed, if any.
  TForm1* ShownWindow() const { return shownWindow_; }

  void Toutslectionner1Click();
  void Toutdslectionner1Click();
  void Inverserlaslection1Click();
  void Slectionnercepolynme1Click();
  void Slectionnerdslectionnertiltetfocus1Click();
  void SlectionnerDslectionnerlacoma1Click();
  void Modifiercetteaberration1Click();
  void Aide1Click();
  void Enregistrerlescoefficients1Click();

  TResultsModel* Model = nullptr;
  QTableView* CheckListBox1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QAction* SelectAllAction = nullptr;
  QAction* DeselectAllAction = nullptr;
  QAction* InvertAction = nullptr;
  QAction* SelectThisAction = nullptr;
  QAction* TiltFocusAction = nullptr;
  QAction* ComaAction = nullptr;
  QAction* ModifyAction = nullptr;
  QAction* HelpAction = nullptr;
  QAction* SaveAction = nullptr;

 private:
  void ShowActive(TForm1* window);
  void Empty();
  void ReadDisplayPreferences();
  // The list row selected, or -1.
  int SelectedRow() const;
  // The ticks as they stand, changed by edit, then applied.
  void ApplyEdited(const std::function<void(TResultTicks&)>& edit);

  QPointer<TForm1> shownWindow_;
  QMetaObject::Connection shownGone_;
  // Set while this window's own change goes round the session.
  bool applying_ = false;
};

}  // namespace caustica
