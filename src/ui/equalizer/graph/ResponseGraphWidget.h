#pragma once
// The equalizer page's response graph, 634 x 195. The page designs the sections an edit
// touched (or all of a channel's on a refresh) and asks for a redraw; the widget evaluates
// the curve once and repaints only the columns where it moved (GraphFrame). Painting
// replays the kept picture, after telling the page (aboutToPaint), which refreshes the
// visible channel quietly from the image before the picture is shown.

#include <QImage>
#include <QWidget>
#include <optional>

#include "dsp/FilterDesign.h"
#include "dsp/ResponseEvaluation.h"
#include "dsp/SectionStore.h"
#include "model/ParameterImage.h"
#include "ui/equalizer/graph/EqualizerGraphPainter.h"
#include "ui/equalizer/graph/GraphFrame.h"

namespace mzr {

class ResponseGraphWidget final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(ResponseGraphWidget)

 public:
  explicit ResponseGraphWidget(QWidget* parent = nullptr);

  // Designs every section of `channel` from `image` and redraws. Channel 6 (monitor) and
  // anything outside 0..5 show the background alone.
  void ShowChannel(const ParameterImage& image, int channel);

  // Redraws from sections the caller designed itself; evaluates that channel's run of slots.
  void ShowSections(const SectionStore& store, int channel);

  // Redesigns one slot of the graph's own store from the image (see DesignChannelSection).
  void DesignSection(const ParameterImage& image, int channel, int band, SectionKind kind);
  // Redesigns every slot the channel's curve uses.
  void DesignChannelSections(const ParameterImage& image, int channel);
  // Evaluates the channel's run of slots of the graph's own store and redraws the curve.
  void DrawEqualizerGraph(int channel);

  int channel() const { return m_channel; }
  // The curve on show, if the channel has one.
  const std::optional<ResponseCurve>& curve() const { return m_frame.curve(); }
  // The picture on show (background and curve), kept up to date at every redraw.
  const QImage& picture() { return m_frame.image(); }

 signals:
  // Raised at the start of every paint, before the picture is put on screen.
  void aboutToPaint();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  EqualizerGraphPainter m_painter;
  SectionStore m_store;
  GraphFrame m_frame;
  int m_channel = 0;
};

}  // namespace mzr
