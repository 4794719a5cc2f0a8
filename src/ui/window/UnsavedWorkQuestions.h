#pragma once
// The questions a desktop program asks before work is lost: before New, Open and closing
// the window when the image holds changes not saved in the project file (Save / Don't Save
// / Cancel), and before disconnecting or closing while the connected unit holds edits it has
// not stored (Store / Don't Store / Cancel), in the current language. The asking sits behind
// a provider, so tests answer without a modal box; the default shows a QMessageBox.

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace mzr {

struct AppState;
class ProjectFileCommands;
class Workspace;

class UnsavedWorkQuestions final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(UnsavedWorkQuestions)

 public:
  enum class Question {
    SaveFile,     // the image holds changes not in the project file
    StoreInUnit,  // the unit holds edits it has not stored
  };
  enum class Answer { Save, Discard, Cancel };  // Save: "Store" for the unit
  // Gets the question and its text in the current language.
  using Asker = std::function<Answer(Question, const QString& text)>;

  // What settling the unit's question came to.
  enum class UnitOutcome {
    Proceed,  // nothing unsaved, or the user let it go
    Storing,  // a download with the store is on its way; go on once it is acknowledged
    Cancel,
  };

  // workspace and files outlive the questions; dialogParent parents the default box.
  UnsavedWorkQuestions(Workspace& workspace, ProjectFileCommands& files, QWidget* dialogParent,
                       QObject* parent = nullptr);

  void setAsker(Asker asker) { m_asker = std::move(asker); }

  // Asks about the project file when the image holds unsaved changes. True: go on (saved,
  // or discarded, or nothing to ask); false: stop, everything as it was (Cancel, or the
  // save did not happen: its path was not given or the write failed).
  bool SettleFile();
  // Asks about the unit when it holds edits it has not stored; Save starts the download.
  UnitOutcome SettleUnit();

  // The texts of the questions in the current language.
  QString Text(Question question) const;
  // The default asker: a message box with the three buttons captioned in the language.
  static Answer AskWithBox(QWidget* parent, const AppState& state, Question question, const QString& text);

 private:
  Workspace& m_workspace;
  ProjectFileCommands& m_files;
  Asker m_asker;
};

}  // namespace mzr
