#include "ui/TheaterProfileDialog.h"

#include "ui/CaptionTable.h"
#include "ui/DialogPlacement.h"

namespace mzr {

namespace {
constexpr int kCaptionRow = 91;
}

TheaterProfileDialog::TheaterProfileDialog(const AppState& state, QWidget* parent) : QDialog(parent), m_state(state) {
  setObjectName(QStringLiteral("Form5"));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowTitle(CaptionTable::Text(kCaptionRow, 0));
}

void TheaterProfileDialog::ShowModeless() { ShowCentredOnParent(this); }

void TheaterProfileDialog::ApplyLanguage() { setWindowTitle(Caption(m_state, kCaptionRow)); }

}  // namespace mzr
