#include "ui/dialogs/EqCopyDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <array>

#include "core/AppState.h"
#include "link/DeviceCommands.h"
#include "link/EditOperation.h"
#include "workspace/EditIntents.h"
#include "workspace/Workspace.h"
#include "model/ParameterImage.h"
#include "ui/CaptionTable.h"
#include "ui/dialogs/DialogPlacement.h"
#include "ui/UiContext.h"

namespace mzr {

namespace {

constexpr int kFirstItemRow = 82;  // rows 82..86: the five channel names
constexpr int kButtonRow = 89;
constexpr int kCaptionRow = 90;

QGroupBox* MakeGroup(const QString& name, const QRect& bounds, QWidget* parent) {
  auto* group = new QGroupBox(parent);
  group->setObjectName(name);
  group->setGeometry(bounds);
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(18, 10, 8, 10);
  layout->setSpacing(4);
  return group;
}

}  // namespace

EqCopyDialog::EqCopyDialog(UiContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
  setObjectName(QStringLiteral("Form4"));
  setFixedSize(kClientWidth, kClientHeight);
  ApplyLanguage();
}

void EqCopyDialog::EnsureBuilt() {
  if (m_copyButton != nullptr) return;

  // Source on the left, targets on the right, the copy button between them pointing across.
  m_sourceGroup = MakeGroup(QStringLiteral("suiRadioGroup1"), QRect(16, 12, 156, 216), this);
  m_targetGroup = MakeGroup(QStringLiteral("suiCheckGroup1"), QRect(272, 12, 156, 216), this);
  m_sourceButtons = new QButtonGroup(this);
  m_sourceButtons->setExclusive(true);
  for (int i = 0; i < kChannels; ++i) {
    auto* source = new QRadioButton(m_sourceGroup);
    source->setObjectName(QStringLiteral("suiRadioGroup1_%1").arg(i));
    m_sourceButtons->addButton(source, i);
    m_sourceGroup->layout()->addWidget(source);
    m_sourceItems[static_cast<std::size_t>(i)] = source;

    auto* target = new QCheckBox(m_targetGroup);
    target->setObjectName(QStringLiteral("suiCheckGroup1_%1").arg(i));
    m_targetGroup->layout()->addWidget(target);
    m_targetItems[static_cast<std::size_t>(i)] = target;
  }
  m_sourceItems[0]->setChecked(true);

  m_copyButton = new QPushButton(this);
  m_copyButton->setObjectName(QStringLiteral("suiButton1"));
  m_copyButton->setGeometry(184, 105, 76, 30);
  m_copyButton->setAutoDefault(false);
  connect(m_copyButton, &QPushButton::clicked, this, &EqCopyDialog::OnCopyClicked);

  ApplyLanguage();
}

void EqCopyDialog::ShowModeless() {
  EnsureBuilt();
  ShowCentredOnParent(this);
}

void EqCopyDialog::showEvent(QShowEvent* event) {
  EnsureBuilt();
  QDialog::showEvent(event);
}

void EqCopyDialog::ApplyLanguage() {
  setWindowTitle(Caption(m_context.state, kCaptionRow));
  if (m_copyButton == nullptr) return;  // built later, in the language of that moment
  for (int i = 0; i < kChannels; ++i) {
    const QString name = Caption(m_context.state, kFirstItemRow + i);
    m_sourceItems[static_cast<std::size_t>(i)]->setText(name);
    m_targetItems[static_cast<std::size_t>(i)]->setText(name);
  }
  // Names for screen readers of the two groups, which show no caption of their own.
  m_sourceGroup->setAccessibleName(Caption(m_context.state, "源通道", "Source channel"));
  m_targetGroup->setAccessibleName(Caption(m_context.state, "目标通道", "Target channels"));
  m_copyButton->setText(Caption(m_context.state, kButtonRow));
}

int EqCopyDialog::SourceChannel() const {
  const int checked = m_sourceButtons->checkedId();
  return checked < 0 ? 0 : checked;
}

void EqCopyDialog::OnCopyClicked() {
  const int source = SourceChannel();
  std::vector<int> targets;
  for (int target = 0; target < kChannels; ++target) {
    if (m_targetItems[static_cast<std::size_t>(target)]->isChecked()) targets.push_back(target);
  }
  // The copy changes the image only; the whole image is what reaches the unit.
  m_context.edits.Carry(m_context.workspace.intents().CopyEqualizer(source, targets));
  // The copied rows reach the unit with the whole image, followed by the restart; both go
  // while connected even with no target ticked (DownloadAndRestart does nothing otherwise).
  m_context.commands.DownloadAndRestart();
  close();
}

}  // namespace mzr
