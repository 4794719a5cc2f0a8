#include "ui/dialogs/DeviceInfoDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/AppState.h"
#include "link/EditOperation.h"
#include "model/ParameterImage.h"
#include "ui/CaptionTable.h"
#include "ui/dialogs/DialogPlacement.h"
#include "ui/dialogs/GbkLengthValidator.h"
#include "ui/UiContext.h"

namespace mzr {

DeviceInfoDialog::DeviceInfoDialog(UiContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
  setObjectName(QStringLiteral("Form8"));
  setFixedSize(kClientWidth, kClientHeight);
  setWindowTitle(QStringLiteral("序列码写入器"));
}

void DeviceInfoDialog::EnsureBuilt() {
  if (m_button != nullptr) return;

  m_label = new QLabel(QStringLiteral("输入不大于16个字符的序列号"), this);
  m_label->setObjectName(QStringLiteral("Label1"));
  m_label->setGeometry(32, 8, 200, 18);

  m_edit = new QLineEdit(this);
  m_edit->setObjectName(QStringLiteral("Edit1"));
  m_edit->setGeometry(16, 32, 113, 21);
  m_edit->setValidator(new GbkLengthValidator(kSerialBytes, m_edit));
  m_label->setBuddy(m_edit);

  m_button = new QPushButton(QStringLiteral("写入设备"), this);
  m_button->setObjectName(QStringLiteral("Button1"));
  m_button->setGeometry(144, 30, 75, 25);
  m_button->setAutoDefault(false);
  connect(m_button, &QPushButton::clicked, this, &DeviceInfoDialog::OnStoreSerialClicked);
}

void DeviceInfoDialog::showEvent(QShowEvent* event) {
  EnsureBuilt();
  QDialog::showEvent(event);
}

void DeviceInfoDialog::ShowModeless() {
  EnsureBuilt();
  // The dialog is not part of the language switch; its one name follows the language in
  // use when it opens.
  // The edit's name for screen readers; the dialog's own texts stay Chinese in both languages.
  m_edit->setAccessibleName(Caption(m_context.state, "序列号", "Serial number"));
  ShowCentredOnParent(this);
}

void DeviceInfoDialog::OnStoreSerialClicked() {
  // The validator keeps the edit within 16 bytes of GBK; a text it could not hold is never
  // stored, and then nothing is sent either.
  const std::string text = m_edit->text().toStdString();
  ParameterImage probe;
  if (probe.SetText(TextField::serialNumber, text) == TextStoreResult::Refused) return;
  m_context.edits.Apply(EditedField::serialNumber, 0,
                        [&text](ParameterImage& image) { (void)image.SetText(TextField::serialNumber, text); });
}

}  // namespace mzr
