// The progress window of a reconstruction: a stay-on-top bar from 0 to 100
// that advances one step per inner pass and repaints at once.
#pragma once

#include <QWidget>

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
  void StepIt();
  void Finish();
  int Position() const;
  int Step() const { return step_; }

  QProgressBar* Bar = nullptr;

 private:
  int step_ = 1;
};

}  // namespace caustica
