#pragma once
// The 27 graphic-equalizer bands of a full-range channel (tabs 0 to 4): one vertical bar per
// band (TrackBar4 ... TrackBar30, 0..120, the gain in tenths of a dB is 60 minus the
// position), its value text (Edit4 ... Edit30), the band labels above and the "+6" ... "-6"
// scale beside them. One handler serves every bar; the bar's band is its index.

#include <QWidget>
#include <array>

#include "model/ParameterImage.h"

class QLabel;
class QSlider;
class QTabBar;

namespace mzr {

class ResponseGraphWidget;
struct UiContext;

class GraphicEqPanel final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(GraphicEqPanel)

 public:
  static constexpr int kWidth = 568;
  static constexpr int kHeight = 196;

  // tabs: the channel tabs, whose index is the channel the bars edit.
  GraphicEqPanel(UiContext& context, ResponseGraphWidget& graph, const QTabBar& tabs, QWidget* parent);

  // Bars and texts from the image's row ch, and the 27 band sections designed (the caller
  // designs the shelves and draws).
  void Refresh(int ch);
  // Every bar to the middle; each bar that moves runs its handler.
  void Flatten();
  // Accessible names in the current language.
  void ApplyLanguage();

  QSlider* bar(int band) const { return m_bars[static_cast<std::size_t>(band)]; }
  QLabel* text(int band) const { return m_texts[static_cast<std::size_t>(band)]; }

 private:
  void OnBandGainMoved(int band, int position);  // TrackBar4Change

  UiContext& m_context;
  ResponseGraphWidget& m_graph;
  const QTabBar& m_tabs;
  std::array<QSlider*, kGeqBands> m_bars{};
  std::array<QLabel*, kGeqBands> m_texts{};
};

}  // namespace mzr
