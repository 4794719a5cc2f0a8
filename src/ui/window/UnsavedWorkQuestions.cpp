#include "ui/window/UnsavedWorkQuestions.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "core/AppState.h"
#include "link/DeviceCommands.h"
#include "ui/CaptionTable.h"
#include "ui/window/ProjectFileCommands.h"
#include "workspace/Workspace.h"

namespace mzr {

namespace {

constexpr int kFileQuestionRow = 134;
constexpr int kUnitQuestionRow = 135;
constexpr int kSaveRow = 136;
constexpr int kDiscardRow = 137;
constexpr int kCancelRow = 138;
constexpr int kStoreRow = 139;
constexpr int kDontStoreRow = 140;

}  // namespace

UnsavedWorkQuestions::UnsavedWorkQuestions(Workspace& workspace, ProjectFileCommands& files, QWidget* dialogParent,
                                           QObject* parent)
    : QObject(parent), m_workspace(workspace), m_files(files) {
  m_asker = [this, dialogParent](Question question, const QString& text) {
    return AskWithBox(dialogParent, m_workspace.state(), question, text);
  };
}

QString UnsavedWorkQuestions::Text(Question question) const {
  const AppState& state = m_workspace.state();
  if (question == Question::StoreInUnit) return Caption(state, kUnitQuestionRow);
  const QString name = QFileInfo(QString::fromStdString(m_workspace.document().currentName().string())).fileName();
  return Caption(state, kFileQuestionRow).arg(name);
}

bool UnsavedWorkQuestions::SettleFile() {
  if (!m_workspace.document().IsModified(m_workspace.image())) return true;
  switch (m_asker(Question::SaveFile, Text(Question::SaveFile))) {
    case Answer::Discard:
      return true;
    case Answer::Cancel:
      return false;
    case Answer::Save:
      break;
  }
  // "Untitle.KVdat" has no place of its own yet: ask where, as Save As does.
  if (m_workspace.document().isUntitled()) {
    m_files.SaveProjectAs();
  } else {
    m_files.SaveProject();
  }
  return !m_workspace.document().IsModified(m_workspace.image());
}

UnsavedWorkQuestions::UnitOutcome UnsavedWorkQuestions::SettleUnit() {
  if (m_workspace.state().connected != 1 || !m_workspace.unitUnsaved()) return UnitOutcome::Proceed;
  switch (m_asker(Question::StoreInUnit, Text(Question::StoreInUnit))) {
    case Answer::Discard:
      return UnitOutcome::Proceed;
    case Answer::Cancel:
      return UnitOutcome::Cancel;
    case Answer::Save:
      break;
  }
  m_workspace.commands().DownloadAll();
  return UnitOutcome::Storing;
}

UnsavedWorkQuestions::Answer UnsavedWorkQuestions::AskWithBox(QWidget* parent, const AppState& state, Question question,
                                                              const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("MZR4700"), text, QMessageBox::NoButton, parent);
  const bool unit = question == Question::StoreInUnit;
  box.setObjectName(unit ? QStringLiteral("storeInUnitQuestion") : QStringLiteral("saveFileQuestion"));
  // Buttons of our own: Qt would caption its standard buttons anew in its own language when
  // its translations change, over the program's.
  QPushButton* save = box.addButton(Caption(state, unit ? kStoreRow : kSaveRow), QMessageBox::AcceptRole);
  QPushButton* discard = box.addButton(Caption(state, unit ? kDontStoreRow : kDiscardRow), QMessageBox::DestructiveRole);
  QPushButton* cancel = box.addButton(Caption(state, kCancelRow), QMessageBox::RejectRole);
  save->setObjectName(QStringLiteral("saveButton"));
  discard->setObjectName(QStringLiteral("discardButton"));
  cancel->setObjectName(QStringLiteral("cancelButton"));
  box.setDefaultButton(save);
  box.setEscapeButton(cancel);
  box.exec();
  if (box.clickedButton() == save) return Answer::Save;
  if (box.clickedButton() == discard) return Answer::Discard;
  return Answer::Cancel;
}

}  // namespace mzr
