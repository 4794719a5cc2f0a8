#include "ui/output/ColumnHeadLabel.h"

#include <QPainter>
#include <QRegularExpression>
#include <QStyleOption>

namespace mzr {

ColumnHeadLabel::ColumnHeadLabel(QList<int> centres, QWidget* parent) : QLabel(parent), m_centres(std::move(centres)) {}

QStringList ColumnHeadLabel::Heads(const QString& text) {
  static const QRegularExpression blanks(QStringLiteral("\\s+"));
  return text.split(blanks, Qt::SkipEmptyParts);
}

void ColumnHeadLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOption option;
  option.initFrom(this);
  style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
  painter.setPen(palette().color(QPalette::WindowText));
  const QStringList heads = Heads(text());
  const QRect area = contentsRect();
  for (qsizetype i = 0; i < heads.size() && i < m_centres.size(); ++i) {
    const int width = fontMetrics().horizontalAdvance(heads[i]) + 2;
    const QRect box(m_centres[i] - width / 2, area.top(), width, area.height());
    painter.drawText(box, Qt::AlignCenter, heads[i]);
  }
}

}  // namespace mzr
