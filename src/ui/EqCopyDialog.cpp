#include "ui/EqCopyDialog.h"

#include "ui/CaptionTable.h"
#include "ui/DialogPlacement.h"

namespace mzr {

namespace {
constexpr int kCaptionRow = 90;
}

EqCopyDialog::EqCopyDialog(const AppState& state, QWidget* parent) : QDialog(parent), m_state(state) {
  setObjectName(QStringLiteral("Form4"));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowTitle(CaptionTable::Text(kCaptionRow, 0));
}

void EqCopyDialog::ShowModeless() { ShowCentredOnParent(this); }

void EqCopyDialog::ApplyLanguage() { setWindowTitle(Caption(m_state, kCaptionRow)); }

}  // namespace mzr
