#include "ui/equalizer/graph/ResponseGraphWidget.h"

#include <QPaintEvent>
#include <QPainter>

namespace mzr {

ResponseGraphWidget::ResponseGraphWidget(QWidget* parent)
    : QWidget(parent) {
  setObjectName(QStringLiteral("PaintBox1"));
  setFixedSize(kGraphWidth, kGraphHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ResponseGraphWidget::ShowChannel(const ParameterImage& image, int channel) {
  DesignChannel(m_store, image, channel);
  DrawEqualizerGraph(channel);
}

void ResponseGraphWidget::ShowSections(const SectionStore& store, int channel) {
  if (&store != &m_store) m_store = store;
  DrawEqualizerGraph(channel);
}

void ResponseGraphWidget::DesignSection(const ParameterImage& image, int channel, int band, SectionKind kind) {
  DesignChannelSection(m_store, image, channel, band, kind);
}

void ResponseGraphWidget::DesignChannelSections(const ParameterImage& image, int channel) {
  DesignChannel(m_store, image, channel);
}

void ResponseGraphWidget::DrawEqualizerGraph(int channel) {
  m_channel = channel;
  const int n = SectionCount(channel);
  std::optional<ResponseCurve> curve;
  if (n > 0) curve = EvaluateResponse(m_painter.grid(), m_store.First(n), ZeroLineRow(channel));
  const QRect changed = m_frame.Show(curve);
  if (!changed.isEmpty()) update(changed);
}

void ResponseGraphWidget::paintEvent(QPaintEvent* event) {
  emit aboutToPaint();
  QPainter painter(this);
  m_frame.Paint(painter, event->rect());
}

}  // namespace mzr
