#pragma once
// The input selector (five buttons left of the channel pages) and the master row at the
// bottom of the window: fade time, master mute, main fader and its value. Its refresher
// shows the selected input, the menu check marks, the fader and the fade time. Its handlers
// serve the input buttons, the Format and Power on Format items and the master row; each
// stores into the image and hands the field to the context's edit operation.

#include <QObject>

#include <array>

class QAction;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QWidget;

namespace mzr {

struct EditPlan;
struct UiContext;

class InputSection final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(InputSection)

 public:
  static constexpr int kInputCount = 5;
  static constexpr int kPowerOnChoices = 6;

  // client: the widget the controls are placed on. formatItems / powerOnItems: the
  // Format and Power on Format menu items in Tag order (radio groups).
  InputSection(UiContext& context, QWidget* client, std::array<QAction*, kInputCount> formatItems,
               std::array<QAction*, kPowerOnChoices> powerOnItems, QObject* parent = nullptr);

  // Step 1 of the refresh of every editor: input buttons, menu marks, fader, fade time.
  void RefreshInputSection();
  // The master row's captions; the fade-time items are replaced and reselected, then the
  // input refresh runs.
  void ApplyMasterRowLanguage();
  // The master mute button red while bit 0 of masterFlags is set, black otherwise.
  void ShowMasterMute();

  // Handlers, named after the control and event that raise them.
  void OnInputButtonClicked(int input);  // input buttons, Tag = input (suiButton1Click)
  void OnFormatItemChosen(int input);    // Format items, Tag = input (N81Click)
  void OnPowerOnItemChosen(int choice);  // Power on Format items, Tag 0..5 (N83Click)
  void OnFadeTimeChosen(int index);      // fade time, chosen by the user (ComboBox1Change)
  void OnMasterMuteClicked();            // master mute (suiButton23Click)
  void OnFaderMoved(int position);       // main fader (suiTrackBar14Change)

  QPushButton* inputButton(int input) const { return m_inputButtons.at(static_cast<std::size_t>(input)); }
  QComboBox* fadeTimeBox() const { return m_fadeTime; }
  QPushButton* masterMuteButton() const { return m_masterMute; }
  QSlider* mainFader() const { return m_mainFader; }
  QLabel* faderText() const { return m_faderText; }

 private:
  // Checks the Format menu item of the image's input (the group clears the others).
  void ShowFormatMark();
  // Input buttons and Format items: carries out the input intent's plan, then refreshes.
  void SelectInput(const EditPlan& plan);

  UiContext& m_context;
  std::array<QPushButton*, kInputCount> m_inputButtons{};
  std::array<QAction*, kInputCount> m_formatItems;
  std::array<QAction*, kPowerOnChoices> m_powerOnItems;
  QComboBox* m_fadeTime = nullptr;
  QPushButton* m_masterMute = nullptr;
  QLabel* m_mainFaderCaption = nullptr;
  QSlider* m_mainFader = nullptr;
  QLabel* m_faderText = nullptr;
};

}  // namespace mzr
