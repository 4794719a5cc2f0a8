#include "ui/graph/ResponseGraphWidget.h"

#include <QPainter>

#include "dsp/FilterDesign.h"

namespace mzr {

ResponseGraphWidget::ResponseGraphWidget(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PaintBox1"));
  setFixedSize(kGraphWidth, kGraphHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ResponseGraphWidget::ShowChannel(const ParameterImage& image, int channel) {
  DesignChannel(m_store, image, channel);
  ShowSections(m_store, channel);
}

void ResponseGraphWidget::ShowSections(const SectionStore& store, int channel) {
  if (&store != &m_store) m_store = store;
  m_channel = channel;
  const int n = SectionCount(channel);
  if (n > 0) {
    m_curve = EvaluateResponse(m_painter.grid(), m_store.First(n), ZeroLineRow(channel));
  } else {
    m_curve.reset();
  }
  update();
}

void ResponseGraphWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  m_painter.DrawBackground(painter);
  if (m_curve) EqualizerGraphPainter::DrawCurve(painter, *m_curve);
}

}  // namespace mzr
