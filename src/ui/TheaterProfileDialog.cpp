#include "ui/TheaterProfileDialog.h"

#include "ui/CaptionTable.h"
#include "ui/UiContext.h"
#include "ui/DialogPlacement.h"

namespace mzr {

namespace {
constexpr int kCaptionRow = 91;
}

TheaterProfileDialog::TheaterProfileDialog(UiContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
  setObjectName(QStringLiteral("Form5"));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowTitle(CaptionTable::Text(kCaptionRow, 0));
}

void TheaterProfileDialog::ShowModeless() { ShowCentredOnParent(this); }

void TheaterProfileDialog::RefreshProfileDialog() {}

void TheaterProfileDialog::ApplyLanguage() { setWindowTitle(Caption(m_context.state, kCaptionRow)); }

}  // namespace mzr
