#include "ui/DeviceInfoDialog.h"

#include "ui/DialogPlacement.h"

namespace mzr {

DeviceInfoDialog::DeviceInfoDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Form8"));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowTitle(QString::fromUtf8("序列码写入器"));
}

void DeviceInfoDialog::ShowModeless() { ShowCentredOnParent(this); }

}  // namespace mzr
