#include "app/u_progress_bar.h"

#include <QProgressBar>
#include <QVBoxLayout>
#include <algorithm>

#include "core/u_math.h"

namespace caustica {

TFormProgress::TFormProgress(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  Bar = new QProgressBar(this);
  Bar->setRange(0, 100);
  Bar->setTextVisible(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Bar);
  resize(420, 60);
}

void TFormProgress::Start(int iterations, double stepsPerIteration) {
  Iterations = iterations;
  StepsPerIteration = stepsPerIteration;
  const int steps = RoundToInt(iterations * stepsPerIteration);
  step_ = steps > 0 ? std::max(100 / steps, 0) : 100;
  Bar->setValue(0);
  Bar->repaint();
}

void TFormProgress::StepIt() {
  Bar->setValue(std::min(Bar->value() + step_, 100));
  // The run holds the event loop: paint now, not later.
  Bar->repaint();
}

void TFormProgress::Finish() {
  Bar->setValue(100);
  Bar->repaint();
}

int TFormProgress::Position() const { return Bar->value(); }

}  // namespace caustica
