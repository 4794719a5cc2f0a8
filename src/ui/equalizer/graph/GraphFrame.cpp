#include "ui/equalizer/graph/GraphFrame.h"

#include <QPainter>
#include <algorithm>

#include "ui/equalizer/graph/EqualizerGraphPainter.h"

namespace mzr {
namespace {

// How far a segment's pixels reach beyond its end points: half the pen's width plus the
// longest miter a join may grow (miter limit 2 at width 2), rounded up.
constexpr int kPenReach = 3;

int FirstColumnOfSegmentTo(int point) { return 6 + 2 * (point - 1); }


bool SameRows(const std::optional<ResponseCurve>& a, const std::optional<ResponseCurve>& b) {
  if (!a || !b) return a.has_value() == b.has_value();
  for (int i = 0; i < kGridPoints; ++i) {
    if ((*a)[static_cast<std::size_t>(i)].row != (*b)[static_cast<std::size_t>(i)].row) return false;
  }
  return true;
}

}  // namespace

GraphFrame::GraphFrame() = default;

void GraphFrame::Make() {
  m_frame = QImage(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
  RestoreColumns(0, kGraphWidth - 1);
  if (m_curve) {
    QPainter painter(&m_frame);
    EqualizerGraphPainter::DrawCurve(painter, *m_curve);
  }
}

const QImage& GraphFrame::image() {
  m_shown = true;
  if (m_frame.isNull()) Make();
  return m_frame;
}

void GraphFrame::Paint(QPainter& painter, const QRect& rect) {
  m_shown = true;
  if (!m_frame.isNull()) {
    painter.drawImage(rect, m_frame, rect);
    return;
  }
  // Until the first change after it was shown, the picture is drawn straight where it shows.
  EqualizerGraphPainter::PaintBackground(painter, rect);
  if (m_curve) {
    painter.save();
    painter.setClipRect(rect);
    EqualizerGraphPainter::DrawCurve(painter, *m_curve);
    painter.restore();
  }
}

void GraphFrame::RestoreColumns(int first, int last) {
  EqualizerGraphPainter::PaintBackgroundColumns(m_frame, first, last);
}

QRect GraphFrame::RedrawAll() {
  RestoreColumns(0, kGraphWidth - 1);
  if (m_curve) {
    QPainter painter(&m_frame);
    EqualizerGraphPainter::DrawCurve(painter, *m_curve);
  }
  return m_frame.rect();
}

QRect GraphFrame::Show(const std::optional<ResponseCurve>& curve) {
  if (m_frame.isNull()) {
    if (!m_shown) {  // nothing shown yet: the curve is drawn when the picture is painted
      const bool same = SameRows(m_curve, curve);
      m_curve = curve;
      return same ? QRect() : QRect(0, 0, kGraphWidth, kGraphHeight);
    }
    Make();
  }
  if (!curve) {
    if (!m_curve) return {};
    m_curve.reset();
    return RedrawAll();
  }
  if (!m_curve) {
    m_curve = curve;
    return RedrawAll();
  }
  const ResponseCurve& before = *m_curve;
  const ResponseCurve& after = *curve;

  // Runs of points whose plotted row changed; runs closer than two margins are one run.
  struct Run {
    int first;
    int last;
  };
  Run runs[kGridPoints];
  int runCount = 0;
  for (int i = 0; i < kGridPoints; ++i) {
    if (before[static_cast<std::size_t>(i)].row == after[static_cast<std::size_t>(i)].row) continue;
    if (runCount > 0 && i - runs[runCount - 1].last <= 2 * kRunMargin) {
      runs[runCount - 1].last = i;
    } else {
      runs[runCount++] = {i, i};
    }
  }
  m_curve = curve;
  if (runCount == 0) return {};

  QRect dirty;
  QPainter painter(&m_frame);
  for (int r = 0; r < runCount; ++r) {
    const Run& run = runs[r];
    // Segment i joins point i-1 to point i; the changed points touch segments first..last+1.
    const int left = std::max(0, FirstColumnOfSegmentTo(run.first) - kPenReach);
    const int right = std::min(kGraphWidth - 1, FirstColumnOfSegmentTo(run.last + 1) + 2 + kPenReach);
    RestoreColumns(left, right);
    const QRect strip(left, 0, right - left + 1, kGraphHeight);
    painter.setClipRect(strip);
    EqualizerGraphPainter::DrawCurve(painter, after, std::max(0, run.first - kRunMargin),
                                     std::min(kGridPoints - 1, run.last + kRunMargin));
    dirty |= strip;
  }
  return dirty;
}

}  // namespace mzr
