#pragma once
// Turns the user's mouse gestures on the window's controls into undo steps: a press on a
// slider or a button of the window (its drawers and dialogs included) opens a gesture of
// the edit history and the release closes it, so a slider dragged from press to release, or
// a click, is taken back in one step. An application event filter, because the press and
// the release of one drag may reach different widgets (the release goes to the grabber).

#include <QObject>

class QWidget;

namespace mzr {

class EditHistory;

class GestureTracker final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(GestureTracker)

 public:
  // window and history outlive the tracker; it installs itself on the application.
  GestureTracker(QWidget& window, EditHistory& history, QObject* parent = nullptr);
  ~GestureTracker() override;

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool IsEditorOfWindow(QObject* watched) const;
  // Ends the open gesture, if any.
  void Close();

  QWidget& m_window;
  EditHistory& m_history;
  bool m_open = false;
  bool m_released = false;  // the release came; the gesture closes with the next loop turn
};

}  // namespace mzr
