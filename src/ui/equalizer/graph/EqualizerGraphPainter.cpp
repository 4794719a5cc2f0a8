#include "ui/equalizer/graph/EqualizerGraphPainter.h"

#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QPolygon>

#include "dsp/FilterDesign.h"

namespace mzr {
namespace {

constexpr QRgb kGrey = qRgb(128, 128, 128);
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kLime = qRgb(0, 255, 0);

constexpr int kFrameTop = 1;
constexpr int kFrameBottom = 193;
constexpr int kFrameLeft = 1;    // columns 1 and 2
constexpr int kFrameRight = 633; // columns 632 and 633
constexpr int kZeroRow = 97;
constexpr int kDottedRows[] = {25, 49, 73, 121, 145, 169};

}  // namespace

EqualizerGraphPainter::EqualizerGraphPainter() : m_background(MakeBackground()) {}

QImage EqualizerGraphPainter::MakeBackground() {
  QImage image(kBackgroundWidth, kGraphHeight, QImage::Format_RGB32);
  image.fill(kBlack);
  for (int x = kFrameLeft; x <= kFrameRight; ++x) {
    image.setPixel(x, kFrameTop, kGrey);
    image.setPixel(x, kFrameBottom, kGrey);
  }
  for (int y = kFrameTop; y <= kFrameBottom; ++y) {
    for (int x : {kFrameLeft, kFrameLeft + 1, kFrameRight - 1, kFrameRight}) {
      image.setPixel(x, y, kGrey);
    }
  }
  // Rulings run between the frame's inner edges; the dots fall on even columns, where the
  // curve's points are plotted too.
  for (int x = kFrameLeft + 2; x <= kFrameRight - 2; ++x) {
    image.setPixel(x, kZeroRow, kGrey);
    if (x % 2 == 0) {
      for (int row : kDottedRows) image.setPixel(x, row, kGrey);
    }
  }
  return image;
}

void EqualizerGraphPainter::DrawBackground(QPainter& painter) const {
  painter.drawImage(QPoint(0, 0), m_background);
}

void EqualizerGraphPainter::DrawCurve(QPainter& painter, const ResponseCurve& curve) {
  DrawCurve(painter, curve, 0, static_cast<int>(curve.size()) - 1);
}

void EqualizerGraphPainter::DrawCurve(QPainter& painter, const ResponseCurve& curve, int first, int last) {
  // Point n is plotted at column 6 + 2n and joined to the one before.
  QPolygon line;
  line.reserve(last - first + 1);
  for (int i = first; i <= last; ++i) {
    const CurvePoint& p = curve[static_cast<std::size_t>(i)];
    line.append(QPoint(p.column, p.row));
  }
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(QColor(kLime), 2, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  painter.drawPolyline(line);
  painter.restore();
}

ResponseCurve EqualizerGraphPainter::EvaluateCurve(QPainter& painter, const SectionStore& store,
                                                   int n, int y0) const {
  const ResponseCurve curve = EvaluateResponse(m_grid, store.First(n), y0);
  DrawCurve(painter, curve);
  return curve;
}

void EqualizerGraphPainter::DrawEqualizerGraph(QPainter& painter, const SectionStore& store,
                                               int channel) const {
  DrawBackground(painter);
  const int n = SectionCount(channel);
  if (n > 0) EvaluateCurve(painter, store, n, ZeroLineRow(channel));
}

QImage EqualizerGraphPainter::RenderEqualizerGraph(const ParameterImage& image,
                                                   int channel) const {
  SectionStore store;
  DesignChannel(store, image, channel);
  QImage out(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
  QPainter painter(&out);
  DrawEqualizerGraph(painter, store, channel);
  painter.end();
  return out;
}

}  // namespace mzr
