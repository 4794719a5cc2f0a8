#pragma once
// The EQ copy dialog: copies one full-range channel's graphic equalizer and shelves to
// other full-range channels, then downloads the image to a connected unit and restarts it.
// Created hidden with the main window, it lives until the program ends and is shown
// modeless, so its source and targets stay chosen between showings. Its controls are built
// when it is first shown (or asked for by EnsureBuilt), so the start-up pays only for the
// empty window.

#include <QDialog>

#include <array>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace mzr {

struct UiContext;

class EqCopyDialog final : public QDialog {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(EqCopyDialog)

 public:
  static constexpr int kClientWidth = 444;
  static constexpr int kClientHeight = 244;
  // Left, center, right, left surround, right surround: the channels with a full equalizer.
  static constexpr int kChannels = 5;

  EqCopyDialog(UiContext& context, QWidget* parent);

  // Opens the dialog modeless, centred on the main window, or raises it when open.
  void ShowModeless();
  void ApplyLanguage();
  // Builds the controls, in the current language, if they are not built yet.
  void EnsureBuilt();

  // The copy button: source over every ticked target, then the transfer and the restart
  // (while connected, whether or not a target was ticked), then the dialog closes.
  void OnCopyClicked();  // suiButton1Click

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  int SourceChannel() const;

  UiContext& m_context;
  QGroupBox* m_sourceGroup = nullptr;
  QGroupBox* m_targetGroup = nullptr;
  QButtonGroup* m_sourceButtons = nullptr;
  std::array<QRadioButton*, kChannels> m_sourceItems{};
  std::array<QCheckBox*, kChannels> m_targetItems{};
  QPushButton* m_copyButton = nullptr;
};

}  // namespace mzr
