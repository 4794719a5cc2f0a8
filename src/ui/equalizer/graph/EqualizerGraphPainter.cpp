#include "ui/equalizer/graph/EqualizerGraphPainter.h"

#include <QPainter>
#include <QPen>
#include <QPoint>
#include <QPolygon>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

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

EqualizerGraphPainter::EqualizerGraphPainter() = default;

namespace {

// The background's rows are of four kinds; a row's pixels depend on its kind alone.
enum RowKind { kOutside, kRuledRow, kDottedRow, kPlainRow, kRowKinds };

RowKind KindOfRow(int y) {
  if (y < kFrameTop || y > kFrameBottom) return kOutside;
  if (y == kFrameTop || y == kFrameBottom || y == kZeroRow) return kRuledRow;
  return std::find(std::begin(kDottedRows), std::end(kDottedRows), y) != std::end(kDottedRows) ? kDottedRow : kPlainRow;
}

// Columns first..last of a row of the given kind.
void WriteRow(QRgb* line, RowKind kind, int first, int last) {
  std::fill(line + first, line + last + 1, kBlack);
  if (kind == kOutside) return;
  const auto grey = [&](int from, int to) {  // columns from..to, where they meet first..last
    for (int x = std::max(from, first); x <= std::min(to, last); ++x) line[x] = kGrey;
  };
  if (kind == kRuledRow) {
    grey(kFrameLeft, kFrameRight);  // the frame's rows; the zero line runs between the frame's columns
    return;
  }
  grey(kFrameLeft, kFrameLeft + 1);
  grey(kFrameRight - 1, kFrameRight);
  // The dots fall on even columns, where the curve's points are plotted too.
  if (kind == kDottedRow) {
    int x = std::max(kFrameLeft + 2, first);
    for (x += x % 2; x <= std::min(kFrameRight - 2, last); x += 2) line[x] = kGrey;
  }
}

// One row of each kind: every row of the background is a copy of its kind's.
const QImage& RowAtlas() {
  static const QImage atlas = [] {
    QImage image(kBackgroundWidth, kRowKinds, QImage::Format_RGB32);
    for (int kind = 0; kind < kRowKinds; ++kind) {
      WriteRow(reinterpret_cast<QRgb*>(image.scanLine(kind)), static_cast<RowKind>(kind), 0, kBackgroundWidth - 1);
    }
    return image;
  }();
  return atlas;
}

// The kind of each of the graph's rows.
const std::array<RowKind, kGraphHeight>& RowKinds() {
  static const std::array<RowKind, kGraphHeight> kinds = [] {
    std::array<RowKind, kGraphHeight> table{};
    for (int y = 0; y < kGraphHeight; ++y) table[static_cast<std::size_t>(y)] = KindOfRow(y);
    return table;
  }();
  return kinds;
}

}  // namespace

void EqualizerGraphPainter::PaintBackgroundColumns(QImage& image, int first, int last) {
  // Each row is a copy of its kind's row: a band step puts back a strip of a few columns.
  const QImage& atlas = RowAtlas();
  const auto bytes = static_cast<std::size_t>(last - first + 1) * sizeof(QRgb);
  const std::array<RowKind, kGraphHeight>& kinds = RowKinds();
  uchar* const to = image.bits() + first * sizeof(QRgb);
  const uchar* const from = atlas.constBits() + first * sizeof(QRgb);
  const qsizetype toStride = image.bytesPerLine();
  const qsizetype fromStride = atlas.bytesPerLine();
  for (int y = 0; y < kGraphHeight; ++y) {
    std::memcpy(to + y * toStride, from + kinds[static_cast<std::size_t>(y)] * fromStride, bytes);
  }
}

void EqualizerGraphPainter::PaintBackground(QPainter& painter, const QRect& rect) {
  const QRect area = rect & QRect(0, 0, kBackgroundWidth, kGraphHeight);
  const QImage& atlas = RowAtlas();
  for (int y = area.top(); y <= area.bottom(); ++y) {
    painter.drawImage(QRect(area.left(), y, area.width(), 1), atlas,
                      QRect(area.left(), RowKinds()[static_cast<std::size_t>(y)], area.width(), 1));
  }
}

QImage EqualizerGraphPainter::MakeBackground() {
  QImage image(kBackgroundWidth, kGraphHeight, QImage::Format_RGB32);
  PaintBackgroundColumns(image, 0, kBackgroundWidth - 1);
  return image;
}

const QImage& EqualizerGraphPainter::background() {
  static const QImage picture = MakeBackground();
  return picture;
}

void EqualizerGraphPainter::DrawBackground(QPainter& painter) const {
  PaintBackground(painter, QRect(0, 0, kBackgroundWidth, kGraphHeight));
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
