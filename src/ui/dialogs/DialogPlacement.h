#pragma once
// Dialogs of the main window open centred on it; an open dialog is only raised.

#include <QDialog>

namespace mzr {

inline void ShowCentredOnParent(QDialog* dialog) {
  if (!dialog->isVisible()) {
    if (const QWidget* parent = dialog->parentWidget()) {
      const QRect frame = parent->window()->geometry();
      dialog->move(frame.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
    }
    dialog->show();
  }
  dialog->raise();
  dialog->activateWindow();
}

}  // namespace mzr
