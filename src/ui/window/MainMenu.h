#pragma once
// The window's menu bar: eight top-level items (File, Format, EQ, Communication, Power on
// Format, the disabled speaker item, Profile, Language), each item named as the program
// knows it (N2, EQ3, Endlish1, ...). It owns the captions; MainWindow connects the handlers.

#include <QObject>

#include <array>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;

namespace mzr {

struct AppState;

class MainMenu final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(MainMenu)

 public:
  static constexpr int kFormatCount = 5;
  static constexpr int kPowerOnCount = 6;

  MainMenu(const AppState& state, QMenuBar* bar, QObject* parent = nullptr);

  // The item of that name (a top-level menu's own action for N1, EQ1, ...); nullptr if none.
  QAction* item(const QString& name) const;
  // Format items N81, N82, N7, N8, N9 and Power on Format items N83 ... N15, in Tag order.
  std::array<QAction*, kFormatCount> formatItems() const { return m_formatItems; }
  std::array<QAction*, kPowerOnCount> powerOnItems() const { return m_powerOnItems; }
  // Every captioned item with its caption row, in the order the captions are applied.
  struct Captioned {
    QAction* action;
    int row;
  };
  const std::vector<Captioned>& captionedItems() const { return m_captioned; }

  // Menu captions in the current language (the two Language items never change).
  void ApplyMenuLanguage();

 private:
  QMenu* AddMenu(const QString& name, int row);
  QAction* AddItem(QMenu* menu, const QString& name, int row, int tag = -1);
  QAction* AddSeparator(QMenu* menu, const QString& name);

  const AppState& m_state;
  QMenuBar* m_bar;
  std::vector<Captioned> m_captioned;
  std::array<QAction*, kFormatCount> m_formatItems{};
  std::array<QAction*, kPowerOnCount> m_powerOnItems{};
  QActionGroup* m_formatGroup = nullptr;
  QActionGroup* m_powerOnGroup = nullptr;
};

}  // namespace mzr
