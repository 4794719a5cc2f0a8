#include "ui/window/ProjectFileCommands.h"

#include <QFileDialog>
#include <QFileInfo>

#include <filesystem>

namespace mzr {
namespace {

const QString kFilter = QStringLiteral("*.kvdat (*.kvdat)");

QString StatusOf(FileResult result) {
  const std::string_view text = FileResultText(result);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::filesystem::path PathOf(const QString& text) { return std::filesystem::path(text.toStdString()); }

}  // namespace

ProjectFileCommands::ProjectFileCommands(AppState& state, ParameterImage& image, ProjectDocument& document,
                                         WindowHooks hooks, QWidget* dialogParent, QObject* parent)
    : QObject(parent), m_state(state), m_image(image), m_document(document), m_hooks(std::move(hooks)) {
  m_paths.openPath = [this, dialogParent] { return AskOpenPath(dialogParent, OpenDialogFolder()); };
  m_paths.savePath = [dialogParent] { return AskSavePath(dialogParent); };
}

void ProjectFileCommands::OpenProject() {
  const QString path = m_paths.openPath ? m_paths.openPath() : QString();
  if (path.isEmpty()) return;
  OpenProjectFile(path);
}

void ProjectFileCommands::OpenProjectFile(const QString& path) {
  const FileResult result = m_document.Open(PathOf(path), m_image);
  if (result == FileResult::Ok) {
    m_lastFolder = QFileInfo(path).absolutePath();
    SetCaption();
  }
  emit statusText(0, StatusOf(result));  // "Open File Success" or the failure
  if (result == FileResult::Ok) {
    Refresh();
    emit projectOpened();
  }
}

QString ProjectFileCommands::OpenDialogFolder() const {
  // "Untitle.KVdat" has no folder of its own until Save writes it beside the program's
  // working folder; a project opened or saved under a path has one.
  const QFileInfo current(QString::fromStdString(m_document.currentName().string()));
  if (m_document.currentName().has_parent_path() && current.absoluteDir().exists()) return current.absolutePath();
  return m_lastFolder;
}

void ProjectFileCommands::SaveProject() {
  const FileResult result = m_document.Save(m_image);
  if (result != FileResult::Ok) {
    emit statusText(0, StatusOf(result));
    return;
  }
  emit projectSaved();
}

void ProjectFileCommands::SaveProjectAs() {
  const QString path = m_paths.savePath ? m_paths.savePath() : QString();
  if (path.isEmpty()) return;
  const FileResult result = m_document.SaveAs(PathOf(path), m_image);
  if (result != FileResult::Ok) {
    emit statusText(0, StatusOf(result));
    return;
  }
  m_lastFolder = QFileInfo(path).absolutePath();
  SetCaption();
  emit projectSaved();
}

void ProjectFileCommands::SetCaption() {
  if (m_hooks.setProjectCaption) m_hooks.setProjectCaption();
}

void ProjectFileCommands::Refresh() {
  const RefreshingScope refreshing(m_state);
  if (m_hooks.refreshAll) m_hooks.refreshAll();
}

QString ProjectFileCommands::AskOpenPath(QWidget* parent, const QString& folder) {
  QFileDialog dialog(parent);
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(kFilter);
  dialog.setDefaultSuffix(QStringLiteral("kvdat"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

QString ProjectFileCommands::AskSavePath(QWidget* parent) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(kFilter);
  dialog.setDefaultSuffix(QStringLiteral("kvdat"));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

}  // namespace mzr
