#include "app/qt_surface.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace caustica {

void TQtSurface::DrawRaster(const TRaster& raster) {
  Picture = raster;
  overlays_.clear();
  ScaleHigh.clear();
  ScaleLow.clear();
}

void TQtSurface::SetDisplaySize(int width, int height) {
  DisplayWidth = width;
  DisplayHeight = height;
}

void TQtSurface::DrawLine(int x1, int y1, int x2, int y2) { overlays_.push_back({false, x1, y1, x2, y2}); }

void TQtSurface::DrawEllipse(int x1, int y1, int x2, int y2) { overlays_.push_back({true, x1, y1, x2, y2}); }

TRaster TQtSurface::BurntPicture() const {
  TSoftwareSurface soft;
  soft.DrawRaster(Picture);
  for (const Overlay& o : overlays_) {
    if (o.Ellipse)
      soft.DrawEllipse(o.X1, o.Y1, o.X2, o.Y2);
    else
      soft.DrawLine(o.X1, o.Y1, o.X2, o.Y2);
  }
  return soft.Picture;
}

QImage TQtSurface::ToImage(const TRaster& raster) const {
  if (raster.Empty()) return {};
  QImage image(raster.Width, raster.Height, QImage::Format_RGB888);
  for (int y = 0; y < raster.Height; ++y)
    std::copy_n(raster.Pixel(0, y), static_cast<std::size_t>(raster.Width) * 3, image.scanLine(y));
  return image;
}

void TQtSurface::Paint(QPainter& painter) const {
  if (Picture.Empty() || DisplayWidth <= 0 || DisplayHeight <= 0) return;
  painter.drawImage(QRect(0, 0, DisplayWidth, DisplayHeight), ToImage(Picture));
  PaintScaleTexts(painter);
  if (overlays_.empty()) return;
  // Overlays are in raster pixels; the pen follows the stretch.
  const double sx = static_cast<double>(DisplayWidth) / Picture.Width;
  const double sy = static_cast<double>(DisplayHeight) / Picture.Height;
  painter.save();
  painter.setPen(QPen(Qt::red));
  painter.setBrush(Qt::NoBrush);
  for (const Overlay& o : overlays_) {
    const QPointF a((o.X1 + 0.5) * sx, (o.Y1 + 0.5) * sy);
    const QPointF b((o.X2 + 0.5) * sx, (o.Y2 + 0.5) * sy);
    if (o.Ellipse)
      painter.drawEllipse(QRectF(a, b));
    else
      painter.drawLine(a, b);
  }
  painter.restore();
}

void TQtSurface::PaintScaleTexts(QPainter& painter) const {
  if (ScaleHigh.isEmpty() && ScaleLow.isEmpty()) return;
  // Beside the bar, which runs from 20 raster rows below the top to 20
  // above the bottom at the right edge; on a box so any palette shows them.
  const double sy = static_cast<double>(DisplayHeight) / Picture.Height;
  const int right = DisplayWidth - 8;
  painter.save();
  QFont font = painter.font();
  font.setPointSizeF(std::max(7.0, font.pointSizeF() - 1));
  painter.setFont(font);
  const QFontMetrics metrics(font);
  auto text = [&](const QString& t, double centreY) {
    if (t.isEmpty()) return;
    QRect box = metrics.boundingRect(t).adjusted(-3, -1, 3, 1);
    box.moveTo(std::max(0, right - box.width()), static_cast<int>(centreY - box.height() / 2.0));
    box.moveTop(std::clamp(box.top(), 0, std::max(0, DisplayHeight - box.height())));
    painter.fillRect(box, QColor(0, 0, 0, 150));
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter, t);
  };
  text(ScaleHigh, 20 * sy);
  text(ScaleLow, (Picture.Height - 20) * sy);
  painter.restore();
}

TPictureWidget::TPictureWidget(TQtSurface& surface, QWidget* parent) : QWidget(parent), surface_(surface) {
  setMouseTracking(true);
  setCursor(Qt::CrossCursor);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPictureWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  surface_.Paint(painter);
}

void TPictureWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  emit MouseMoved(p.x(), p.y());
}

}  // namespace caustica
