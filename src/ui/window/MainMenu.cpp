#include "ui/window/MainMenu.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

#include "core/AppState.h"
#include "ui/CaptionTable.h"

namespace mzr {

MainMenu::MainMenu(const AppState& state, QMenuBar* bar, QObject* parent)
    : QObject(parent), m_state(state), m_bar(bar) {
  QMenu* file = AddMenu(QStringLiteral("N1"), 1);
  AddItem(file, QStringLiteral("N2"), 2);
  AddItem(file, QStringLiteral("N3"), 3);
  AddItem(file, QStringLiteral("N4"), 4);
  AddItem(file, QStringLiteral("N5"), 5);
  AddSeparator(file, QStringLiteral("N19"));
  AddItem(file, QStringLiteral("N21"), 6);
  AddItem(file, QStringLiteral("N20"), 7);
  AddSeparator(file, QStringLiteral("N26"));
  AddItem(file, QStringLiteral("N27"), 117);
  // Undo and redo act on the window and its drawers, wherever the focus is in it.
  AddSeparator(file, QStringLiteral("UndoSeparator"));
  QAction* undo = AddItem(file, QStringLiteral("UndoItem"), 131);
  undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
  undo->setShortcutContext(Qt::WindowShortcut);
  QAction* redo = AddItem(file, QStringLiteral("RedoItem"), 132);
  redo->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  redo->setShortcutContext(Qt::WindowShortcut);
  AddSeparator(file, QStringLiteral("CompareSeparator"));
  AddItem(file, QStringLiteral("CompareItem"), 133);

  QMenu* format = AddMenu(QStringLiteral("EQ1"), 9);
  m_formatGroup = new QActionGroup(this);
  m_formatGroup->setExclusive(true);
  const QString formatNames[kFormatCount] = {QStringLiteral("N81"), QStringLiteral("N82"), QStringLiteral("N7"),
                                             QStringLiteral("N8"), QStringLiteral("N9")};
  const Qt::Key formatKeys[kFormatCount] = {Qt::Key_F5, Qt::Key_F6, Qt::Key_F7, Qt::Key_F8, Qt::Key_F9};
  for (int i = 0; i < kFormatCount; ++i) {
    QAction* a = AddItem(format, formatNames[i], 10 + i, i);
    a->setCheckable(true);
    a->setShortcut(QKeySequence(formatKeys[i]));
    // The keys choose an input from anywhere in the window, drawers included.
    a->setShortcutContext(Qt::WindowShortcut);
    m_formatGroup->addAction(a);
    m_formatItems[static_cast<std::size_t>(i)] = a;
  }

  QMenu* eq = AddMenu(QStringLiteral("EQ2"), 15);
  AddItem(eq, QStringLiteral("EQ3"), 16);
  AddItem(eq, QStringLiteral("AlignItem"), 151);

  QMenu* comm = AddMenu(QStringLiteral("N10"), 18);
  AddItem(comm, QStringLiteral("N17"), 20);
  AddItem(comm, QStringLiteral("N18"), 21);

  QMenu* powerOn = AddMenu(QStringLiteral("N11"), 23);
  m_powerOnGroup = new QActionGroup(this);
  m_powerOnGroup->setExclusive(true);
  const QString powerOnNames[kPowerOnCount] = {QStringLiteral("N83"), QStringLiteral("N84"), QStringLiteral("N12"),
                                               QStringLiteral("N13"), QStringLiteral("N14"), QStringLiteral("N15")};
  for (int i = 0; i < kPowerOnCount; ++i) {
    QAction* a = AddItem(powerOn, powerOnNames[i], 24 + i, i);
    a->setCheckable(true);
    m_powerOnGroup->addAction(a);
    m_powerOnItems[static_cast<std::size_t>(i)] = a;
  }

  // The speaker item has no function: greyed, it never opens.
  QAction* speaker = m_bar->addAction(QString());
  speaker->setObjectName(QStringLiteral("N28"));
  speaker->setEnabled(false);

  QAction* profile = m_bar->addAction(QString());
  profile->setObjectName(QStringLiteral("N22"));
  m_captioned.push_back({profile, 30});

  QMenu* language = AddMenu(QStringLiteral("N23"), 31);
  QAction* chinese = language->addAction(QString::fromUtf8("中文"));
  chinese->setObjectName(QStringLiteral("N24"));
  QAction* english = language->addAction(QStringLiteral("English"));
  english->setObjectName(QStringLiteral("Endlish1"));

  // Captions are applied in this order; the speaker item's comes last.
  m_captioned.push_back({speaker, 119});
}

QMenu* MainMenu::AddMenu(const QString& name, int row) {
  auto* menu = new QMenu(m_bar);
  menu->setObjectName(name);
  menu->menuAction()->setObjectName(name);
  m_bar->addMenu(menu);
  m_captioned.push_back({menu->menuAction(), row});
  return menu;
}

QAction* MainMenu::AddItem(QMenu* menu, const QString& name, int row, int tag) {
  QAction* action = menu->addAction(QString());
  action->setObjectName(name);
  if (tag >= 0) action->setData(tag);
  m_captioned.push_back({action, row});
  return action;
}

QAction* MainMenu::AddSeparator(QMenu* menu, const QString& name) {
  QAction* action = menu->addAction(QStringLiteral("--------"));
  action->setObjectName(name);
  action->setSeparator(true);
  action->setEnabled(false);
  return action;
}

QAction* MainMenu::item(const QString& name) const {
  const auto actions = m_bar->findChildren<QAction*>(name);
  return actions.isEmpty() ? nullptr : actions.first();
}

void MainMenu::ApplyMenuLanguage() {
  for (const Captioned& c : m_captioned) c.action->setText(Caption(m_state, c.row));
}

}  // namespace mzr
