#include "app/QtLanguage.h"

#include <QAction>
#include <QCoreApplication>
#include <QLibraryInfo>

#include "ui/window/MainMenu.h"
#include "ui/window/MainWindow.h"

namespace mzr {

QtLanguage::QtLanguage(QObject* parent) : QObject(parent) {
  m_loaded = m_translator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

QtLanguage::~QtLanguage() {
  if (m_installed) QCoreApplication::removeTranslator(&m_translator);
}

void QtLanguage::Apply(int languageIndex) {
  const bool chinese = languageIndex == 0 && m_loaded;
  if (chinese == m_installed) return;
  if (chinese) {
    QCoreApplication::installTranslator(&m_translator);
  } else {
    QCoreApplication::removeTranslator(&m_translator);
  }
  m_installed = chinese;
}

void QtLanguage::Follow(MainWindow& window) {
  // The menu's own handlers set languageIndex first (they were connected when the window
  // was built); these run after them.
  const auto follow = [this, &window] { Apply(window.state().languageIndex); };
  for (const QString& item : {QStringLiteral("N24"), QStringLiteral("Endlish1")}) {
    connect(window.mainMenu()->item(item), &QAction::triggered, this, follow);
  }
  follow();
}

}  // namespace mzr
