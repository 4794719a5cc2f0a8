#pragma once
// Qt's own texts (the standard open and save dialogs, message-box buttons, context menus of
// edits) in the program's language: Qt's Chinese translation is installed while the program
// shows Chinese and removed for English. The program's own captions are not touched; they
// come from its caption table.

#include <QObject>
#include <QTranslator>

namespace mzr {

class MainWindow;

class QtLanguage final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(QtLanguage)

 public:
  explicit QtLanguage(QObject* parent = nullptr);
  ~QtLanguage() override;

  // languageIndex as AppState holds it: 0 Chinese, 1 English.
  void Apply(int languageIndex);
  // Follows the window's language from now on: its language menu, and its state now.
  void Follow(MainWindow& window);

  // False when Qt's Chinese translation is not installed on this machine.
  bool chineseAvailable() const { return m_loaded; }

 private:
  QTranslator m_translator;
  bool m_loaded = false;
  bool m_installed = false;
};

}  // namespace mzr
