#pragma once
// The window's two-panel status bar: panel 0 (600 px) for the last link or file event,
// panel 1 (100 px) for the link state. Both start empty; a language change leaves them.

#include <QStatusBar>

#include <array>

class QLabel;

namespace mzr {

class StatusBar final : public QStatusBar {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(StatusBar)

 public:
  static constexpr int kPanelCount = 2;
  static constexpr int kPanelWidths[kPanelCount] = {600, 100};

  explicit StatusBar(QWidget* parent = nullptr);

  // Panels outside 0..1 are ignored.
  void SetPanelText(int panel, const QString& text);
  QString panelText(int panel) const;

 private:
  std::array<QLabel*, kPanelCount> m_panels{};
};

}  // namespace mzr
