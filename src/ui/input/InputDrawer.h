#pragma once
// The input drawer's contents (the left side channel, "格式（输入设置）"): one framed box
// per input with its name, preset level bar, value text, scale and Preset box, the
// PROLOGIC II boxes of inputs 0 to 3 and the microphone routing group of input 4. Each
// control's handler stores into the image and sends through the context's edit operation.

#include <QWidget>

#include <array>

class QCheckBox;
class QFrame;
class QLabel;
class QSlider;

namespace mzr {

struct UiContext;

class InputDrawer final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(InputDrawer)

 public:
  static constexpr int kInputCount = 5;
  static constexpr int kPrologicInputs = 4;  // the digital inputs 0..3
  static constexpr int kMicInput = 4;

  InputDrawer(UiContext& context, QWidget* parent = nullptr);

  // Step 2 of the refresh of every editor: preset bars and texts, Preset boxes, PROLOGIC II
  // boxes, microphone routing. Leaves refreshing as it finds it.
  void RefreshPresetSection();
  // The drawer's captions in the current language (the drawer's own caption is the window's).
  void ApplyLanguage();

  // Handlers, named after the control and event that raise them; Tag = input.
  void OnPresetLevelMoved(int input, int position);  // preset level bars (suiTrackBar1Change)
  void OnPresetBoxToggled(int input);                // Preset boxes (suiCheckBox1Click)
  void OnPrologicBoxToggled(int input);              // PROLOGIC II boxes (suiCheckBox30Click)
  void OnMicRouteToggled();                          // microphone routing items (suiCheckGroup1Click)

 private:
  UiContext& m_context;
  std::array<QFrame*, kInputCount> m_boxes{};
  std::array<QLabel*, kInputCount> m_names{};
  std::array<QLabel*, kInputCount> m_levelTexts{};
  std::array<QSlider*, kInputCount> m_levelBars{};
  std::array<QCheckBox*, kInputCount> m_presetBoxes{};
  std::array<QCheckBox*, kPrologicInputs> m_prologicBoxes{};
  QWidget* m_micRouting = nullptr;
  std::array<QCheckBox*, 2> m_micRouteItems{};  // 0 center, 1 surround
};

}  // namespace mzr
