#include "ui/dialogs/CompareDialog.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/AppState.h"
#include "files/ProjectFile.h"
#include "link/DeviceCommands.h"
#include "link/ParamLink.h"
#include "ui/CaptionTable.h"
#include "ui/dialogs/DialogPlacement.h"
#include "ui/UiContext.h"
#include "ui/window/ProjectFileCommands.h"
#include "workspace/Workspace.h"

namespace mzr {

namespace {

constexpr int kCaptionRow = 142;
constexpr int kFileButtonRow = 143;
constexpr int kUnitButtonRow = 144;
constexpr int kNoDifferencesRow = 145;
constexpr int kHeadingRow = 146;
constexpr int kUnitNameRow = 147;
constexpr int kReadingRow = 148;
constexpr int kNoAnswerRow = 149;
constexpr int kBadFileRow = 150;

}  // namespace

CompareDialog::CompareDialog(UiContext& context, QWidget* parent) : QDialog(parent), m_context(context) {
  setObjectName(QStringLiteral("CompareDialog"));
  resize(640, 420);
  m_path = [this] { return ProjectFileCommands::AskOpenPath(this); };

  m_fileButton = new QPushButton(this);
  m_fileButton->setObjectName(QStringLiteral("compareFileButton"));
  m_unitButton = new QPushButton(this);
  m_unitButton->setObjectName(QStringLiteral("compareUnitButton"));
  m_heading = new QLabel(this);
  m_heading->setObjectName(QStringLiteral("compareHeading"));
  m_heading->setTextInteractionFlags(Qt::TextSelectableByMouse);
  m_list = new QListWidget(this);
  m_list->setObjectName(QStringLiteral("compareList"));
  m_list->setUniformItemSizes(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_fileButton);
  buttons->addWidget(m_unitButton);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(m_heading);
  layout->addWidget(m_list, 1);

  connect(m_fileButton, &QPushButton::clicked, this, [this] { CompareWithFile(); });
  connect(m_unitButton, &QPushButton::clicked, this, &CompareDialog::CompareWithUnit);
  connect(m_list, &QListWidget::itemActivated, this, &CompareDialog::Choose);
  connect(m_list, &QListWidget::itemClicked, this, &CompareDialog::Choose);

  ParamLink& link = m_context.workspace.link();
  connect(&link, &ParamLink::imageReceivedInto, this, [this] {
    if (!m_readingUnit) return;
    m_readingUnit = false;
    ShowDifferences(Caption(m_context.state, kUnitNameRow) + QLatin1Char(' ') + m_context.workspace.link().remoteAddress());
  });
  connect(&link, &ParamLink::timedOut, this, [this] {
    if (!m_readingUnit) return;
    m_readingUnit = false;
    ShowMessage(kNoAnswerRow);
  });
  ApplyLanguage();
}

void CompareDialog::showEvent(QShowEvent* event) {
  UpdateButtons();
  QDialog::showEvent(event);
}

void CompareDialog::ShowModeless() {
  UpdateButtons();
  ShowCentredOnParent(this);
}

void CompareDialog::ApplyLanguage() {
  setWindowTitle(Caption(m_context.state, kCaptionRow));
  m_fileButton->setText(Caption(m_context.state, kFileButtonRow));
  m_unitButton->setText(Caption(m_context.state, kUnitButtonRow));
  if (m_messageRow >= 0) {
    m_heading->setText(Caption(m_context.state, m_messageRow));
  } else if (!m_otherName.isEmpty()) {
    QString heading = Caption(m_context.state, kHeadingRow).arg(m_otherName);
    if (m_differences.empty()) heading += QStringLiteral(": ") + Caption(m_context.state, kNoDifferencesRow);
    m_heading->setText(heading);
  }
}

void CompareDialog::UpdateButtons() {
  m_unitButton->setEnabled(m_context.state.connected == 1 && !m_readingUnit);
}

void CompareDialog::CompareWithFile() {
  const QString path = m_path ? m_path() : QString();
  if (!path.isEmpty()) CompareWithFile(path);
}

void CompareDialog::CompareWithFile(const QString& path) {
  ParameterImage loaded;
  const FileResult result = LoadProjectFile(path.toStdString(), loaded);
  if (result != FileResult::Ok) {
    const std::string_view reason = FileResultText(result);
    m_differences.clear();
    m_list->clear();
    m_otherName.clear();
    m_messageRow = -1;
    m_heading->setText(Caption(m_context.state, kBadFileRow)
                           .arg(QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size()))));
    return;
  }
  m_other = loaded;
  ShowDifferences(QFileInfo(path).fileName());
}

void CompareDialog::CompareWithUnit() {
  if (m_context.state.connected != 1) return;
  m_readingUnit = true;
  ShowMessage(kReadingRow);
  UpdateButtons();
  m_context.commands.ReadInto(m_other);
}

void CompareDialog::ShowMessage(int row) {
  m_differences.clear();
  m_list->clear();
  m_otherName.clear();
  m_messageRow = row;
  m_heading->setText(Caption(m_context.state, row));
  UpdateButtons();
}

void CompareDialog::ShowDifferences(const QString& otherName) {
  m_messageRow = -1;
  m_otherName = otherName;
  m_differences = DiffImages(m_context.image, m_other);
  m_list->clear();
  for (const ImageDifference& d : m_differences) m_list->addItem(QString::fromStdString(d.line));
  ApplyLanguage();
  UpdateButtons();
}

void CompareDialog::Choose(QListWidgetItem* item) {
  const int row = m_list->row(item);
  if (row < 0 || static_cast<std::size_t>(row) >= m_differences.size()) return;
  const ImageDifference& d = m_differences[static_cast<std::size_t>(row)];
  if (d.element) emit showFieldRequested(*d.element);
}

QStringList CompareDialog::lines() const {
  QStringList texts;
  for (int row = 0; row < m_list->count(); ++row) texts << m_list->item(row)->text();
  return texts;
}

}  // namespace mzr
