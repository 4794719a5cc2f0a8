#include "ui/SkinRole.h"

#include <QStyle>

namespace mzr {

void SetSkinRole(QWidget* widget, SkinRole role) {
  widget->setProperty(skinrole::kProperty, static_cast<int>(role));
  // The style gives a widget its face and colours when it polishes it: normally later, at
  // its first show.
  if (!widget->testAttribute(Qt::WA_WState_Polished)) return;
  widget->style()->unpolish(widget);
  widget->style()->polish(widget);
  widget->update();
}

}  // namespace mzr
