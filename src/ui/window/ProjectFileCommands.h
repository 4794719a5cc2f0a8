#pragma once
// The File menu's Open, Save and Save As on the current image and the current project file
// name, with the status texts and the window caption they set (New Project is the window's
// own start-up step). Nothing here talks to the unit. The file dialogs sit behind a path provider so tests can
// answer them without a modal dialog.

#include <QObject>
#include <QString>

#include <functional>

#include "core/AppState.h"
#include "files/ProjectDocument.h"
#include "model/ParameterImage.h"

class QWidget;

namespace mzr {

class ProjectFileCommands final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(ProjectFileCommands)

 public:
  // Asks for a path; an empty text means the user cancelled.
  struct PathProvider {
    std::function<QString()> openPath;
    std::function<QString()> savePath;
  };

  // What the window does around a file operation.
  struct WindowHooks {
    std::function<void()> setProjectCaption;  // row 0, three blanks, the project file name
    std::function<void()> refreshAll;         // RefreshAll; called with refreshing = 1
  };

  // state, image and document are owned by the window and outlive the commands. dialogParent
  // is the parent of the default file dialogs.
  ProjectFileCommands(AppState& state, ParameterImage& image, ProjectDocument& document, WindowHooks hooks,
                      QWidget* dialogParent, QObject* parent = nullptr);

  void setPathProvider(PathProvider provider) { m_paths = std::move(provider); }

  void OpenProject();
  void SaveProject();
  void SaveProjectAs();
  // Open without the dialog: a project file named on the command line. The same status
  // texts and caption as Open; a bad file leaves the image and the name as they were.
  void OpenProjectFile(const QString& path);

  // Where the open dialog starts: the folder of the current project file, else the folder
  // last opened from or saved to, else empty (the dialog's own choice).
  QString OpenDialogFolder() const;

  // The dialogs the program uses: "*.kvdat" files, default extension "kvdat".
  static QString AskOpenPath(QWidget* parent, const QString& folder = {});
  static QString AskSavePath(QWidget* parent);

 signals:
  void statusText(int panel, const QString& text);
  // A project file was opened (the image replaced) or the image was saved to one.
  void projectOpened();
  void projectSaved();

 private:
  void Refresh();
  void SetCaption();

  AppState& m_state;
  ParameterImage& m_image;
  ProjectDocument& m_document;
  WindowHooks m_hooks;
  PathProvider m_paths;
  QString m_lastFolder;
};

}  // namespace mzr
