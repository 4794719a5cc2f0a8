#pragma once
// The graph as it is on show: a 634 x 195 picture kept between edits. A new curve is
// compared with the one on show, and only the columns where a plotted row changed are
// repainted: the background is put back there and the polyline drawn again through them,
// clipped to them. One band step moves a handful of points, so a step repaints a narrow
// strip instead of the whole picture. The pixels are the same as a full drawing of the
// background and the curve (EqualizerGraphPainter), which the tests check.

#include <QImage>
#include <QPainter>
#include <QRect>
#include <optional>

#include "dsp/ResponseEvaluation.h"

namespace mzr {

class GraphFrame final {
 public:
  // Starts showing the background alone (its first 634 columns). The kept picture is made
  // at the first change after the frame was first painted or read: until then a paint draws
  // the background and the curve straight onto the painter, so the window's first frame
  // costs no 495 KB picture.
  GraphFrame();

  // Shows curve (or the background alone for nullopt) and gives the rectangle whose pixels
  // changed, empty when the picture is the same as before.
  QRect Show(const std::optional<ResponseCurve>& curve);
  // Paints rect of the picture on show.
  void Paint(QPainter& painter, const QRect& rect);

  // The picture on show, made first if it is not yet.
  const QImage& image();
  const std::optional<ResponseCurve>& curve() const { return m_curve; }

  // Points drawn past each end of a changed run, so that the joins and the pen's width
  // inside the repainted columns come out as in a full drawing.
  static constexpr int kRunMargin = 4;

 private:
  QRect RedrawAll();
  void RestoreColumns(int first, int last);
  void Make();

  QImage m_frame;  // null until made
  std::optional<ResponseCurve> m_curve;
  bool m_shown = false;  // painted or read at least once
};

}  // namespace mzr
