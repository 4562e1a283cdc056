// The colour results window: the blue, green and red wavefronts of a
// polychromatic test side by side, with the weighted polychromatic Strehl
// ratio. It hears the command that opens it and the reconstructions through
// the session.
#pragma once

#include <QWidget>
#include <memory>

class QLineEdit;
class QTableWidget;

namespace caustica {

class TPupille;

class TFormRVB : public QWidget {
  Q_OBJECT
 public:
  explicit TFormRVB(QWidget* parent = nullptr);

  // Fills the table from the three wavefronts; empties it when one is gone.
  void RemplirRVB();

  std::weak_ptr<TPupille> FrontRouge, FrontVert, FrontBleu;

  QTableWidget* Table = nullptr;
  QLineEdit* Edit1 = nullptr;  // "Polychromatic Strehl :"

 private:
  // The three colour slots' wavefronts, when the test is a confirmed
  // polychromatic one and all three exist.
  bool TakeFronts();
  void Open();
  void Clear();
};

}  // namespace caustica
