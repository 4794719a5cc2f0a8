#include "ui/EqCopyDialog.h"

#include "ui/CaptionTable.h"
#include "ui/UiContext.h"
#include "ui/DialogPlacement.h"

namespace mzr {

namespace {
constexpr int kCaptionRow = 90;
}

EqCopyDialog::EqCopyDialog(UiContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
  setObjectName(QStringLiteral("Form4"));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowTitle(CaptionTable::Text(kCaptionRow, 0));
}

void EqCopyDialog::ShowModeless() { ShowCentredOnParent(this); }

void EqCopyDialog::ApplyLanguage() { setWindowTitle(Caption(m_context.state, kCaptionRow)); }

}  // namespace mzr
