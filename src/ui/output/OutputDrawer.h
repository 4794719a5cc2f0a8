#pragma once
// The output drawer's contents (the right side channel, "输出设置"): a column per output
// slot 0 to 5 with level bar, delay bar, their texts, polarity, mute and test-signal box,
// the column heads and the signal generator group. It also serves the channel page's
// test-signal box (suiCheckBox14), which the equalizer page places and refreshes per tab.
//
// The test signal plays on at most one output: a box handler sets refreshing to 1 while it
// unchecks the other boxes, so the events those changes raise are ignored, and the image's
// testSignalMask never holds more than one bit.

#include <QWidget>

#include <array>
#include <cstdint>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace mzr {

class ColumnHeadLabel;
struct UiContext;

class OutputDrawer final : public QWidget {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(OutputDrawer)

 public:
  static constexpr int kSlots = 6;           // outputs 0..5 have controls; 6 and 7 have none
  static constexpr int kGeneratorItems = 6;  // pink noise and five sine frequencies

  // channelTestBox: suiCheckBox14 on the channel pages, owned by the equalizer page.
  OutputDrawer(UiContext& context, QCheckBox* channelTestBox, QWidget* parent = nullptr);

  // Step 6 of the refresh of every editor: level, delay, polarity and mute of the six
  // output slots (the window colours the master mute beside it). Sets refreshing to 1 and
  // leaves it so.
  void RefreshOutputSection();
  // The drawer's captions in the current language (the drawer's own caption is the window's).
  void ApplyLanguage();
  // A search, a disconnect or a network-settings change: the generator back to item 0 and
  // every test-signal box unchecked; the handlers of the controls that change run.
  void ResetTestSignal();
  // After an undo or redo put the test-signal bytes back: the boxes and the generator show
  // the image's mask and type. Called with refreshing 1; nothing is stored or sent.
  void ShowTestSignal();

  QSlider* levelBar(int slot) const { return m_levelBars.at(static_cast<std::size_t>(slot)); }
  QSlider* delayBar(int slot) const { return m_delayBars.at(static_cast<std::size_t>(slot)); }
  QLabel* levelText(int slot) const { return m_levelTexts.at(static_cast<std::size_t>(slot)); }
  QLabel* delayText(int slot) const { return m_delayTexts.at(static_cast<std::size_t>(slot)); }
  QPushButton* polarityButton(int slot) const { return m_polarityButtons.at(static_cast<std::size_t>(slot)); }
  QPushButton* muteButton(int slot) const { return m_muteButtons.at(static_cast<std::size_t>(slot)); }
  QCheckBox* testBox(int slot) const { return m_testBoxes.at(static_cast<std::size_t>(slot)); }
  QRadioButton* generatorItem(int item) const { return m_generatorItems.at(static_cast<std::size_t>(item)); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  template <typename T>
  using PerSlot = std::array<T*, kSlots>;

  void BuildColumn(int slot);
  void BuildGenerator();

  // Handlers; slot is the Tag of the control that raised the event.
  void suiTrackBar6Change(int slot);
  void TrackBar38Change(int slot);
  void suiButton14Click(int slot);
  void suiButton6Click(int slot);
  void suiRadioGroup3Click(int item);
  void suiCheckBox6Click(int slot);
  void suiCheckBox14Click();

  // The generator item the group shows (0 when none is checked).
  std::uint8_t ShownGeneratorType() const;

  void ShowLevel(int slot);
  void ShowDelay(int slot);
  // Accessible names of the value texts and descriptions of the bars, from the texts.
  void NameValues(int slot);
  // Polarity caption and colour; the accessible name follows the caption.
  void ShowPolarity(int slot, const QString& caption, bool inverted);
  void ShowMute(int slot);
  // The six output boxes and suiCheckBox14 read the name of the current test signal.
  void ShowGeneratorName(const QString& name);
  void ApplyAccessibleNames();
  QString OutputName(int slot) const;

  UiContext& m_context;
  QCheckBox* m_channelTestBox;
  ColumnHeadLabel* m_columnHeads = nullptr;
  PerSlot<QSlider> m_levelBars{};
  PerSlot<QSlider> m_delayBars{};
  PerSlot<QLabel> m_levelTexts{};
  PerSlot<QLabel> m_delayTexts{};
  PerSlot<QPushButton> m_polarityButtons{};
  PerSlot<QPushButton> m_muteButtons{};
  PerSlot<QCheckBox> m_testBoxes{};
  QGroupBox* m_generator = nullptr;
  QButtonGroup* m_generatorGroup = nullptr;
  std::array<QRadioButton*, kGeneratorItems> m_generatorItems{};
};

}  // namespace mzr
