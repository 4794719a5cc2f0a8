#include "ui/window/GestureTracker.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QEvent>
#include <QWidget>

#include "workspace/EditHistory.h"

namespace mzr {

GestureTracker::GestureTracker(QWidget& window, EditHistory& history, QObject* parent)
    : QObject(parent), m_window(window), m_history(history) {
  qApp->installEventFilter(this);
}

GestureTracker::~GestureTracker() {
  qApp->removeEventFilter(this);
  Close();
}

bool GestureTracker::IsEditorOfWindow(QObject* watched) const {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (widget == nullptr) return false;
  if (qobject_cast<QAbstractSlider*>(widget) == nullptr && qobject_cast<QAbstractButton*>(widget) == nullptr) return false;
  // The window itself, or one of its dialogs (their parent chain reaches the window).
  for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
    if (w == &m_window) return true;
  }
  return false;
}

bool GestureTracker::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (IsEditorOfWindow(watched)) {
        Close();  // a press whose release never came (a modal box took it) ends here
        m_history.BeginGesture();
        m_open = true;
        m_released = false;
      }
      break;
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
      // A key after the release is a gesture of its own, even before the loop turned.
      if (m_open && m_released) Close();
      break;
    case QEvent::MouseButtonRelease:
      // The release may reach another widget than the press, and a click's handler runs
      // while the release is delivered, after this filter: the gesture closes once the
      // event loop has finished with the release.
      if (m_open && !m_released) {
        m_released = true;
        QMetaObject::invokeMethod(this, &GestureTracker::Close, Qt::QueuedConnection);
      }
      break;
    default:
      break;
  }
  return QObject::eventFilter(watched, event);
}

void GestureTracker::Close() {
  if (!m_open) return;
  m_open = false;
  m_history.EndGesture();
}

}  // namespace mzr
