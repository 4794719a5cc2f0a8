#pragma once
// The fixed captions of a scale (the graph's frequencies, the bands' names, the decibel marks
// beside the bars) painted by one widget rather than a label each: they never change and take
// no input, and sixty labels cost the window's start-up a widget each to make, polish, show
// and paint. The widget covers the captions' rectangles, lets the mouse through, and takes
// the scale captions' face and colour from the style (property "scaleLabel").

#include <QRect>
#include <QString>
#include <QWidget>

#include <vector>

namespace mzr {

class ScaleCaptions final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(ScaleCaptions)

 public:
  explicit ScaleCaptions(QWidget* parent);

  // A caption drawn in rect (parent coordinates) with alignment, as a label of that geometry
  // would draw it.
  void Add(const QRect& rect, const QString& text, Qt::Alignment alignment);

  struct Caption {
    QRect rect;  // in the parent's coordinates
    QString text;
    Qt::Alignment alignment;
  };
  const std::vector<Caption>& captions() const { return m_captions; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<Caption> m_captions;
  QRect m_bounds;  // the union of the captions' rectangles
};

}  // namespace mzr
