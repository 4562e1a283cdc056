// The Seidel window: the classical Seidel figures of the active wavefront,
// with their orientations. It hears the active image, the reconstructions
// and the shown wavefront's values through the session, and the command
// that asks for it.
#pragma once

#include <QWidget>
#include <memory>

class QTableWidget;

namespace caustica {

class TForm1;
class TPupille;

class TFormSeidel : public QWidget {
  Q_OBJECT
 public:
  explicit TFormSeidel(QWidget* parent = nullptr);

  // The figures of wavefront in the six rows; nullptr empties them.
  void Fill(const std::shared_ptr<TPupille>& wavefront);
  // The wavefront whose figures are shown, if it still exists.
  std::shared_ptr<TPupille> ShownWavefront() const { return Shown.lock(); }

  QTableWidget* Table = nullptr;

 private:
  void FollowActive(TForm1* window);
  void ShowRequested();
  void Reset();

  std::weak_ptr<TPupille> Shown;
};

}  // namespace caustica
