// The picture of an image window: the grid's raster shown stretched to the
// display size, with the red overlays scaled along.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>
#include <vector>

#include "core/image_surface.h"

namespace caustica {

class TQtSurface : public TImageSurface {
 public:
  void DrawRaster(const TRaster& raster) override;
  void SetDisplaySize(int width, int height) override;
  void DrawLine(int x1, int y1, int x2, int y2) override;
  void DrawEllipse(int x1, int y1, int x2, int y2) override;

  // The raster as rendered, at its own size, without overlays. Drawing into
  // it (the colour bar) shows on the next paint.
  TRaster Picture;
  int DisplayWidth = 0;
  int DisplayHeight = 0;

  // The values at the two ends of the colour scale, written beside it on
  // screen; empty texts draw nothing. A new raster clears them.
  QString ScaleHigh;
  QString ScaleLow;

  // The raster with the overlays burnt in by the software surface, so a
  // saved or printed picture matches the screen.
  TRaster BurntPicture() const;
  QImage ToImage(const TRaster& raster) const;
  // Paints the picture stretched to the display size at the origin.
  void Paint(QPainter& painter) const;

 private:
  void PaintScaleTexts(QPainter& painter) const;
  struct Overlay {
    bool Ellipse;
    int X1, Y1, X2, Y2;
  };
  std::vector<Overlay> overlays_;
};

// The widget that shows a surface and reports mouse moves in its own pixels.
class TPictureWidget : public QWidget {
  Q_OBJECT
 public:
  explicit TPictureWidget(TQtSurface& surface, QWidget* parent = nullptr);

 signals:
  void MouseMoved(int x, int y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  TQtSurface& surface_;
};

}  // namespace caustica
