#pragma once
// An icon drawn by a function when it is shown, at the size and pixel density it is shown at.
// Building one costs nothing: no picture is drawn or read until the icon is painted, so icons
// of widgets that start hidden cost nothing at start-up, and reading no picture file keeps the
// image readers unloaded.

#include <QIcon>
#include <QIconEngine>
#include <QPainter>

#include <functional>
#include <utility>

namespace mzr {

// draw(painter, rect, mode, state) paints into rect; the painter is saved and restored around it.
using IconDrawing = std::function<void(QPainter&, const QRectF&, QIcon::Mode, QIcon::State)>;

class PaintedIconEngine final : public QIconEngine {
 public:
  explicit PaintedIconEngine(IconDrawing draw) : m_draw(std::move(draw)) {}
  void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, true);
    m_draw(*painter, QRectF(rect), mode, state);
    painter->restore();
  }
  QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
    return scaledPixmap(size, mode, state, 1.0);
  }
  QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override {
    QPixmap pixmap(size * scale);
    pixmap.setDevicePixelRatio(scale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(&painter, QRect(QPoint(0, 0), size), mode, state);
    return pixmap;
  }
  QIconEngine* clone() const override { return new PaintedIconEngine(m_draw); }

 private:
  IconDrawing m_draw;
};

inline QIcon PaintedIcon(IconDrawing draw) { return QIcon(new PaintedIconEngine(std::move(draw))); }

}  // namespace mzr
