#include "ui/DeviceInfoDialog.h"

#include "ui/DialogPlacement.h"
#include "ui/UiContext.h"

namespace mzr {

DeviceInfoDialog::DeviceInfoDialog(UiContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
  setObjectName(QStringLiteral("Form8"));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowTitle(QString::fromUtf8("序列码写入器"));
}

void DeviceInfoDialog::ShowModeless() { ShowCentredOnParent(this); }

}  // namespace mzr
