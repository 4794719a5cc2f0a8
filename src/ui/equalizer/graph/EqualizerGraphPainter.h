#pragma once
// Paints the equalizer graph: the generated background picture (black, framed and ruled in
// grey) and the channel's response curve in lime, pen width 2. It paints into any QPainter,
// so the window's widget and the command-line companion's PNG share one drawing.

#include <QImage>
#include <QRect>

#include "dsp/ResponseEvaluation.h"
#include "dsp/ResponseGrid.h"
#include "dsp/SectionStore.h"
#include "model/ParameterImage.h"

class QPainter;

namespace mzr {

class EqualizerGraphPainter final {
 public:
  EqualizerGraphPainter();

  // Evaluates slots 0..n-1 of the store on the grid and draws the curve with its zero line
  // on row y0. Designs nothing and draws no background; returns what it plotted.
  ResponseCurve EvaluateCurve(QPainter& painter, const SectionStore& store, int n, int y0) const;

  // The complete drawing for a channel tab whose sections are already designed: the
  // background, then the curve of that channel's section count and zero line. The monitor
  // tab has no curve.
  void DrawEqualizerGraph(QPainter& painter, const SectionStore& store, int channel) const;

  // Designs the channel from the image into a private store and renders the graph into a
  // new image of the paint box's size (634 x 195). The image is only read.
  QImage RenderEqualizerGraph(const ParameterImage& image, int channel) const;

  void DrawBackground(QPainter& painter) const;
  static void DrawCurve(QPainter& painter, const ResponseCurve& curve);
  // The polyline through points first..last only (for a repaint clipped to a strip).
  static void DrawCurve(QPainter& painter, const ResponseCurve& curve, int first, int last);

  // The background picture, made on first use and shared by every painter.
  static const QImage& background();
  const ResponseGrid& grid() const { return m_grid; }

  // The background picture: 635 x 195, black; grey frame rows 1 and 193 and columns 1-2 and
  // 632-633; a solid grey line on row 97 and dotted ones every 24 rows, 2.5 dB apart.
  static QImage MakeBackground();
  // Writes the background's pixels into columns first..last of image (RGB32, the graph's
  // height), so a picture on show can be put back column by column without keeping a copy
  // of the background.
  static void PaintBackgroundColumns(QImage& image, int first, int last);
  // Paints the background's pixels in rect through a painter, row by row from a small picture
  // of one row of each kind, without making the whole background.
  static void PaintBackground(QPainter& painter, const QRect& rect);

 private:
  ResponseGrid m_grid;
};

}  // namespace mzr
