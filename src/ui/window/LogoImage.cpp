#include "ui/window/LogoImage.h"

#include <QMouseEvent>
#include <QPainter>
#include <QFontMetricsF>

namespace mzr {

LogoImage::LogoImage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Image2"));
  setCursor(Qt::ArrowCursor);
}

void LogoImage::mousePressEvent(QMouseEvent* event) {
  event->accept();
  emit pressed();
}

void LogoImage::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  emit released();
}

void LogoImage::paintEvent(QPaintEvent*) {
  // Drawn rather than loaded, so it stays sharp at any scale factor.
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

  QLinearGradient plate(r.topLeft(), r.bottomLeft());
  plate.setColorAt(0, QColor(0x3A, 0x46, 0x55));
  plate.setColorAt(1, QColor(0x17, 0x1E, 0x27));
  p.setPen(QPen(QColor(0x5B, 0x6B, 0x7E), 1));
  p.setBrush(plate);
  p.drawRoundedRect(r, 5, 5);

  // A small level-meter mark: five bars rising left to right.
  const qreal h = r.height();
  const qreal barW = 4;
  const qreal baseY = r.top() + h * 0.78;
  for (int i = 0; i < 5; ++i) {
    const qreal barH = h * (0.18 + 0.11 * i);
    const QColor c = i < 3 ? QColor(0x4C, 0xC3, 0x6B) : (i == 3 ? QColor(0xF2, 0xC1, 0x3A) : QColor(0xE5, 0x48, 0x3C));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(r.left() + 9 + i * (barW + 2), baseY - barH, barW, barH), 1, 1);
  }

  QFont font = this->font();
  font.setFamily(QStringLiteral("DejaVu Sans"));
  font.setBold(true);
  const QRectF textRect(r.left() + 42, r.top(), r.width() - 46, h * 0.66);
  // The largest size at which the name fits beside the mark.
  for (int size = qRound(h * 0.42); size > 6; --size) {
    font.setPixelSize(size);
    if (QFontMetricsF(font).horizontalAdvance(QStringLiteral("MZR4700")) <= textRect.width()) break;
  }
  p.setFont(font);
  p.setPen(QColor(0xF4, 0xF6, 0xF8));
  p.drawText(textRect, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("MZR4700"));

  QFont small = font;
  small.setBold(false);
  small.setPixelSize(qRound(h * 0.2));
  small.setLetterSpacing(QFont::AbsoluteSpacing, 0.8);
  p.setFont(small);
  p.setPen(QColor(0x9F, 0xB3, 0xC8));
  p.drawText(QRectF(r.left() + 42, r.top() + h * 0.66, r.width() - 46, h * 0.3), Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("CINEMA AUDIO"));
}

}  // namespace mzr
