// The sequence results window: what a sequence run gave, as the summary
// lines, a table of each coefficient from the averaged pair and from the
// frame pairs with its standard error, the same as a chart with error bars,
// and the main terms frame pair by frame pair. It hears of new results and
// of the request to show them through the session.
#pragma once

#include <QWidget>

class QChart;
class QChartView;
class QLabel;
class QPushButton;
class QTableWidget;

namespace caustica {

class TFormSequence : public QWidget {
  Q_OBJECT
 public:
  explicit TFormSequence(QWidget* parent = nullptr);

  // Fills every part from the last sequence result; empties them without one.
  void Redraw();

  // The terms drawn frame by frame: astigmatism, coma and spherical aberration.
  static const int kMainTerms[5];

  QLabel* Summary = nullptr;
  QTableWidget* Table = nullptr;
  QChart* ErrorChart = nullptr;
  QChartView* ErrorView = nullptr;
  QChart* FrameChart = nullptr;
  QChartView* FrameView = nullptr;
  QPushButton* CloseButton = nullptr;

 private:
  void Open();
};

}  // namespace caustica
