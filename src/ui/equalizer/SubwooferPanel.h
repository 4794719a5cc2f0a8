#pragma once
// The subwoofer panel (Panel1, tab 5): two parametric sections, each with a gain bar
// (TrackBar31, TrackBar35: 0..150, the gain in tenths of a dB is 30 minus the position), a
// frequency bar (TrackBar33, TrackBar37: 20..120 Hz) and a Q bar (TrackBar34, TrackBar36:
// index 0..38), their texts, the low-pass switch suiCheckBox15 with its slope group
// suiRadioGroup4, and LR->SW (suiCheckBox29). The low-pass frequency is TrackBar3 of the
// tone panel, which stays visible beside this panel.

#include <QWidget>
#include <array>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QRadioButton;
class QSlider;

namespace mzr {

class ResponseGraphWidget;
struct UiContext;

class SubwooferPanel final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(SubwooferPanel)

 public:
  static constexpr int kWidth = 668;
  static constexpr int kHeight = 196;
  static constexpr int kSections = 2;
  static constexpr int kSlopes = 4;

  SubwooferPanel(UiContext& context, ResponseGraphWidget& graph, QWidget* parent);

  // Bars, texts, low-pass switch and slope, LR->SW from the image.
  void Refresh();
  // Both gain bars to 0 dB; each bar that moves runs its handler.
  void Flatten();
  // Low-pass caption (row 112), slope group caption (row 113) and accessible names.
  void ApplyLanguage();

  QSlider* gainBar(int k) const { return m_gain[static_cast<std::size_t>(k)]; }
  QSlider* freqBar(int k) const { return m_freq[static_cast<std::size_t>(k)]; }
  QSlider* qBar(int k) const { return m_q[static_cast<std::size_t>(k)]; }
  QCheckBox* lowPassBox() const { return m_lowPass; }
  QRadioButton* slopeItem(int i) const { return m_slopes[static_cast<std::size_t>(i)]; }
  QCheckBox* lrToSwBox() const { return m_lrToSw; }

 private:
  void OnPeakGainMoved(int k, int position);  // TrackBar31Change
  void OnPeakFreqMoved(int k, int position);  // TrackBar37Change
  void OnPeakQMoved(int k, int position);  // TrackBar36Change
  void OnLowPassSlopeChanged();  // suiCheckBox15Click
  void OnLrToSubwooferToggled(bool checked);  // suiCheckBox29Click
  // The two parametric sections redesigned and the curve redrawn (the low-pass slots keep
  // what the last subwoofer refresh designed).
  void RedrawSections();

  UiContext& m_context;
  ResponseGraphWidget& m_graph;
  std::array<QSlider*, kSections> m_gain{};
  std::array<QSlider*, kSections> m_freq{};
  std::array<QSlider*, kSections> m_q{};
  std::array<QLabel*, kSections> m_gainText{};
  std::array<QLabel*, kSections> m_freqText{};
  std::array<QLabel*, kSections> m_qText{};
  QCheckBox* m_lowPass;
  QGroupBox* m_slopeGroup;
  QButtonGroup* m_slopeButtons;
  std::array<QRadioButton*, kSlopes> m_slopes{};
  QCheckBox* m_lrToSw;
};

}  // namespace mzr
