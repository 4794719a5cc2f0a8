#include "ui/InputDrawer.h"

#include "ui/UiContext.h"

namespace mzr {

InputDrawer::InputDrawer(UiContext& context, QWidget* parent) : QWidget(parent), m_context(context) {
  setObjectName(QStringLiteral("inputDrawerContent"));
}

void InputDrawer::RefreshPresetSection() {}

void InputDrawer::ApplyLanguage() {}

}  // namespace mzr
