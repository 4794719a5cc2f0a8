#pragma once
// The output drawer's contents (the right side channel, "输出设置"): a column per output
// slot 0 to 5 (OutputColumn: level bar, delay bar, their texts, polarity, mute and
// test-signal box), the column heads and the signal generator group. Which output plays the
// test signal and which signal is the TestSignalSelector's, over this drawer's boxes and
// generator group.

#include <QWidget>

#include <array>
#include <memory>

#include "ui/output/OutputColumn.h"

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
  static constexpr int kSlots = OutputColumn::kSlots;
  static constexpr int kGeneratorItems = 6;  // pink noise and five sine frequencies

  explicit OutputDrawer(UiContext& context, QWidget* parent = nullptr);

  // Step 6 of the refresh of every editor: level, delay, polarity and mute of the six
  // output slots (the window colours the master mute beside it). Sets refreshing to 1 and
  // leaves it so.
  void RefreshOutputSection();
  // The drawer's captions in the current language (the drawer's own caption is the window's).
  void ApplyLanguage();
  // Screen-reader names of every column's controls, from their current texts.
  void ApplyAccessibleNames();

  QSlider* levelBar(int slot) const { return column(slot).levelBar(); }
  QSlider* delayBar(int slot) const { return column(slot).delayBar(); }
  QLabel* levelText(int slot) const { return column(slot).levelText(); }
  QLabel* delayText(int slot) const { return column(slot).delayText(); }
  QPushButton* polarityButton(int slot) const { return column(slot).polarityButton(); }
  QPushButton* muteButton(int slot) const { return column(slot).muteButton(); }
  QCheckBox* testBox(int slot) const { return column(slot).testBox(); }
  QRadioButton* generatorItem(int item) const { return m_generatorItems.at(static_cast<std::size_t>(item)); }
  QButtonGroup* generatorGroup() const { return m_generatorGroup; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  OutputColumn& column(int slot) const { return *m_columns.at(static_cast<std::size_t>(slot)); }
  void BuildGenerator();

  // Handlers; slot is the Tag of the control that raised the event.
  void OnOutputLevelMoved(int slot);  // suiTrackBar6Change
  void OnOutputDelayMoved(int slot);  // TrackBar38Change
  void OnPolarityClicked(int slot);  // suiButton14Click
  void OnMuteClicked(int slot);  // suiButton6Click

  UiContext& m_context;
  ColumnHeadLabel* m_columnHeads = nullptr;
  std::array<std::unique_ptr<OutputColumn>, kSlots> m_columns;
  QGroupBox* m_generator = nullptr;
  QButtonGroup* m_generatorGroup = nullptr;
  std::array<QRadioButton*, kGeneratorItems> m_generatorItems{};
};

}  // namespace mzr
