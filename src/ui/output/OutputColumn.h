#pragma once
// One output slot's column in the output drawer: the level bar with its scale, the delay bar,
// the two value texts, the polarity and mute buttons and the test-signal box, and how each
// shows the image. The widgets are the drawer's own children, placed in the drawer's
// coordinates under the names they always had; the drawer connects their events.

#include <QString>
#include <QtGlobal>

#include <cstdint>

class QCheckBox;
class QLabel;
class QPainter;
class QPushButton;
class QSlider;
class QWidget;

namespace mzr {

struct UiContext;

class OutputColumn final {
  Q_DISABLE_COPY_MOVE(OutputColumn)

 public:
  static constexpr int kSlots = 6;  // outputs 0..5 have controls; 6 and 7 have none

  // Builds the slot's widgets as children of drawer.
  OutputColumn(UiContext& context, int slot, QWidget* drawer);

  // The x (drawer content pixels) under which the column's texts and buttons are centred.
  static int CentreX(int slot);

  // The stored values the bars' positions stand for (both bars run upside down).
  std::uint8_t LevelFromBar() const;
  std::uint8_t DelayFromBar() const;

  // Moves the bars to the image's values and shows level, delay, polarity (with the fixed
  // Chinese captions the refresh writes whatever the language) and mute.
  void Refresh();
  // Polarity and mute captions in the current language.
  void ApplyLanguage();

  void ShowLevel();
  void ShowDelay();
  // Polarity with the caption of the current language, as a click leaves it.
  void ShowPolarity();
  void ShowMute();
  void ApplyAccessibleNames();
  // Tick marks right of both bars (a styled bar draws none itself).
  void PaintTicks(QPainter& painter) const;

  QSlider* levelBar() const { return m_levelBar; }
  QSlider* delayBar() const { return m_delayBar; }
  QLabel* levelText() const { return m_levelText; }
  QLabel* delayText() const { return m_delayText; }
  QPushButton* polarityButton() const { return m_polarity; }
  QPushButton* muteButton() const { return m_mute; }
  QCheckBox* testBox() const { return m_testBox; }

 private:
  // Caption and colour; the accessible name follows the caption.
  void ShowPolarity(const QString& caption, bool inverted);
  // Accessible names of the value texts and descriptions of the bars, from the texts.
  void NameValues();
  QString OutputName() const;

  UiContext& m_context;
  int m_slot;
  QSlider* m_levelBar = nullptr;
  QSlider* m_delayBar = nullptr;
  QLabel* m_levelText = nullptr;
  QLabel* m_delayText = nullptr;
  QPushButton* m_polarity = nullptr;
  QPushButton* m_mute = nullptr;
  QCheckBox* m_testBox = nullptr;
};

}  // namespace mzr
