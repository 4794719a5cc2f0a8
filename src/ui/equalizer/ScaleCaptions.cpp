#include "ui/equalizer/ScaleCaptions.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>

#include "ui/SkinRole.h"

namespace mzr {

ScaleCaptions::ScaleCaptions(QWidget* parent) : QWidget(parent) {
  SetSkinRole(this, SkinRole::ScaleCaption);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
}

void ScaleCaptions::Add(const QRect& rect, const QString& text, Qt::Alignment alignment) {
  m_captions.push_back({rect, text, alignment});
  m_bounds = m_bounds.isNull() ? rect : m_bounds.united(rect);
  setGeometry(m_bounds);
  update();
}

void ScaleCaptions::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.setClipRegion(event->region());
  const QPoint origin = m_bounds.topLeft();
  for (const Caption& caption : m_captions) {
    const QRect at = caption.rect.translated(-origin);
    if (!event->region().intersects(at)) continue;
    style()->drawItemText(&painter, at, static_cast<int>(caption.alignment), palette(), isEnabled(), caption.text,
                          QPalette::WindowText);
  }
}

}  // namespace mzr
