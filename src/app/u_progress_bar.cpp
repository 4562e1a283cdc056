#include "app/u_progress_bar.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "core/u_math.h"

namespace caustica {

TFormProgress::TFormProgress(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  Caption = new QLabel(this);
  Bar = new QProgressBar(this);
  Bar->setRange(0, 100);
  Bar->setTextVisible(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Caption);
  layout->addWidget(Bar);
  resize(420, 60);
}

void TFormProgress::Present(const QString& caption) {
  setWindowTitle(caption);
  Caption->setText(caption);
  // Title bars cut long captions: the window is as wide as its caption
  // needs, whatever the window manager draws.
  const int width = std::max(420, Caption->fontMetrics().horizontalAdvance(caption) + 80);
  resize(width, sizeHint().height());
  const QWidget* owner = parentWidget();
  QRect area = owner ? owner->frameGeometry() : QRect();
  if (area.isEmpty() && QApplication::primaryScreen())
    area = QApplication::primaryScreen()->availableGeometry();
  if (!area.isEmpty()) move(area.center() - QPoint(this->width() / 2, this->height() / 2));
  show();
  raise();
  PaintNow();
}

void TFormProgress::PaintNow() {
  repaint();
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TFormProgress::Start(int iterations, double stepsPerIteration) {
  Iterations = iterations;
  StepsPerIteration = stepsPerIteration;
  const int steps = RoundToInt(iterations * stepsPerIteration);
  step_ = steps > 0 ? std::max(100 / steps, 0) : 100;
  Bar->setValue(0);
  if (isVisible()) PaintNow();
}

void TFormProgress::StepIt() {
  Bar->setValue(std::min(Bar->value() + step_, 100));
  if (isVisible()) PaintNow();
}

void TFormProgress::Finish() {
  Bar->setValue(100);
  if (isVisible()) PaintNow();
}

int TFormProgress::Position() const { return Bar->value(); }

}  // namespace caustica
