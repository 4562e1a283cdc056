// The progress window of a reconstruction: a stay-on-top bar from 0 to 100
// that advances one step per inner pass and repaints at once, with the
// program's windows behind it.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

namespace caustica {

class TFormProgress : public QWidget {
  Q_OBJECT
 public:
  explicit TFormProgress(QWidget* parent = nullptr);

  int Iterations = 0;
  double StepsPerIteration = 4.0;
  int ChannelCount = 1;
  int Channel = 0;

  // Bar back to 0, step = 100 / (iterations x steps) in whole numbers.
  void Start(int iterations, double stepsPerIteration);
  // Shows the window with its caption, wide enough for the whole caption,
  // over the centre of its owner, and painted before the run goes on.
  void Present(const QString& caption);
  void StepIt();
  void Finish();
  int Position() const;
  int Step() const { return step_; }

  QProgressBar* Bar = nullptr;
  QLabel* Caption = nullptr;

 private:
  // The run holds the event loop: this window and the ones it covers are
  // painted now, without taking the user's clicks or keys.
  void PaintNow();
  int step_ = 1;
};

}  // namespace caustica
