// The mid-line window: the profile of one image window's grid along a
// diameter at the grid's azimuth, as a line chart, with the diameter marked
// on the picture. It hears the command that opens it and the changes of
// the grid it profiles through the session.
#pragma once

#include <QPointer>
#include <QWidget>

#include "setup/u_FormMeridienne.h"

class QChart;
class QChartView;
class QLineSeries;
class QPushButton;
class QSpinBox;
class QValueAxis;

namespace caustica {

class TForm1;

class TFormMeridienne : public QWidget {
  Q_OBJECT
 public:
  explicit TFormMeridienne(QWidget* parent = nullptr);

  // Draws the profile of Fenetre's grid; with no window left, empties it.
  void Tracer();

  void Button1Click() { Tracer(); }  // "Tracer"
  void Button2Click();               // "Zero"
  void SpinEdit1Change(int azimuth);
  void SpinEdit2Change(int step);
  void SpinEdit3Change(int) { Tracer(); }

  QPointer<TForm1> Fenetre;  // the window whose grid is profiled
  const TMidLineProfile& Profile() const { return Current; }

  QChart* Chart = nullptr;
  QChartView* View = nullptr;
  QValueAxis* AxisX = nullptr;
  QValueAxis* AxisY = nullptr;
  // The curve, one piece between two gaps.
  QList<QLineSeries*> Pieces;
  QSpinBox* SpinEdit1 = nullptr;  // azimuth
  QSpinBox* SpinEdit2 = nullptr;  // step
  QSpinBox* SpinEdit3 = nullptr;  // zoom
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* CloseButton = nullptr;

 protected:
  // Closing takes the diameter off the picture.
  void closeEvent(QCloseEvent* event) override;

 private:
  void Open();
  void Clear();
  // Takes the diameter off the picture it was drawn on.
  void RemoveMark();

  TMidLineProfile Current;
};

}  // namespace caustica
