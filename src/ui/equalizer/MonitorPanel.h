#pragma once
// The monitor panel (Panel3, tab 6): how much of each channel goes to the monitor output.
// Six vertical bars suiTrackBar15 ... suiTrackBar20 (0..70, the level is 70 minus the
// position, shown as "0dB" at the top to "-70dB" at the bottom) for left, center, right,
// left surround, right surround and subwoofer, their texts StaticText121 ... StaticText126,
// and the column heads (StaticText120). It covers the whole page when shown.

#include <QWidget>
#include <array>

class QLabel;
class QSlider;

namespace mzr {

struct UiContext;

class MonitorPanel final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(MonitorPanel)

 public:
  static constexpr int kChannels = 6;

  MonitorPanel(UiContext& context, QWidget* parent);

  // Bars and texts from the image.
  void Refresh();
  // Column heads (row 45, one word over each bar) and accessible names.
  void ApplyLanguage();

  QSlider* bar(int i) const { return m_bars[static_cast<std::size_t>(i)]; }
  QLabel* text(int i) const { return m_texts[static_cast<std::size_t>(i)]; }
  QLabel* head(int i) const { return m_heads[static_cast<std::size_t>(i)]; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnMonitorLevelMoved(int i, int position);  // suiTrackBar15Change

  UiContext& m_context;
  QWidget* m_headRow;
  QLabel* m_title;
  std::array<QLabel*, kChannels> m_heads{};
  std::array<QSlider*, kChannels> m_bars{};
  std::array<QLabel*, kChannels> m_texts{};
  std::array<QLabel*, 8> m_scale{};
};

}  // namespace mzr
