#pragma once
// The equalizer page's response graph, 634 x 195. The page hands it the image and the
// channel tab after every edit; it redesigns that channel's sections, evaluates the curve
// once and repaints. Painting itself only replays the last curve, so uncovering the window
// costs no evaluation and never touches the image.

#include <QWidget>
#include <optional>

#include "dsp/ResponseEvaluation.h"
#include "dsp/SectionStore.h"
#include "model/ParameterImage.h"
#include "ui/graph/EqualizerGraphPainter.h"

namespace mzr {

class ResponseGraphWidget final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(ResponseGraphWidget)

 public:
  explicit ResponseGraphWidget(QWidget* parent = nullptr);

  // Designs every section of `channel` from `image` and redraws. Channel 6 (monitor) and
  // anything outside 0..5 show the background alone.
  void ShowChannel(const ParameterImage& image, int channel);

  // Redraws from sections the caller designed itself (for example after redesigning one
  // band); evaluates that channel's run of slots.
  void ShowSections(const SectionStore& store, int channel);

  int channel() const { return m_channel; }
  // The curve on show, if the channel has one.
  const std::optional<ResponseCurve>& curve() const { return m_curve; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  EqualizerGraphPainter m_painter;
  SectionStore m_store;
  std::optional<ResponseCurve> m_curve;
  int m_channel = 0;
};

}  // namespace mzr
