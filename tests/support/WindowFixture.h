#pragma once
// What every window test sets up: a temporary folder with the Config.ini (searchTime, local
// address 127.0.0.1), a free UDP port, the real main window built on it with short timers
// (the one place a window is built), the unit it talks to (an in-process LoopbackUnit, or
// mzr4700-sim as a process), and the installer's steps: search from the Communication menu,
// pick a row, connect, read the unit. Controls are found by objectName within a region.
// Every datagram stays on 127.0.0.0/8: the window's socket is bound to 127.0.0.1.
//
// Keep one per test class and call Reset() in cleanup(); a test builds the window and the
// unit it needs.

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>

#include <memory>

#include "support/LoopbackUnit.h"
#include "support/SimProcess.h"

class QAction;
class QTableWidget;

namespace mzr {
class DeviceDiscovery;
class DeviceListPanel;
class MainWindow;
class Workspace;
class ParameterImage;
struct AppState;
}  // namespace mzr

namespace mzr::test {

class WindowFixture final {
  Q_DISABLE_COPY_MOVE(WindowFixture)

 public:
  // The window's timers and waits. The defaults are short where a test only waits for them,
  // and long for Timer2, so that a slow answer on a loaded machine never becomes a time-out.
  struct Settings {
    int timer1IntervalMs = 100;      // the logo's long-press tick (the program's own)
    int drawerStepIntervalMs = 1;
    int linkTimeoutMs = 60000;
    int networkSettleMs = 20;
    bool show = true;
  };

  // A message the device list would show in a box.
  struct Message {
    QString text;
    bool errorIcon = false;
  };

  explicit WindowFixture(int searchTimeMs = 500);
  ~WindowFixture();

  // Writes Config.ini anew with this search time (the local address stays 127.0.0.1).
  void WriteConfig(int searchTimeMs);
  QString configPath() const;
  // A file name in the temporary folder.
  QString Path(const QString& name) const;

  // A new free port for the next window and unit; called by Reset.
  void NewPort();
  quint16 port() const { return m_port; }

  // Builds the main window on the port and the Config.ini and shows it; the one place the
  // window is made. The previous window goes first.
  MainWindow& MakeWindow(const Settings& settings);
  MainWindow& MakeWindow() { return MakeWindow(Settings{}); }
  MainWindow& window();
  bool hasWindow() const { return m_window != nullptr; }

  // The in-process unit at address on the port (the previous one goes first).
  LoopbackUnit& StartUnit(const QString& address = QStringLiteral("127.0.0.2"));
  LoopbackUnit& unit();
  // mzr4700-sim on the port, with --port added to arguments; the previous one is stopped first
  // so the new one can take its addresses. Fails the test when it does not start.
  SimProcess& StartSim(const QStringList& arguments);
  SimProcess& sim();
  void StopSim() { m_sim.reset(); }

  // Window, unit and simulator go; a new port for the next test.
  void Reset();

  // Shortcuts into the window.
  AppState& state();
  ParameterImage& image();
  DeviceDiscovery& discovery();
  DeviceListPanel* panel();
  QTableWidget* grid();
  QString Status(int panel);
  const QList<Message>& messages() const { return m_messages; }
  void ClearMessages() { m_messages.clear(); }

  // A menu item by name; the test stops when it is missing.
  QAction* Item(const char* name);
  // A control by objectName within region (the window when null); the test stops when it
  // is missing.
  template <typename T>
  T* Control(const char* name, QWidget* region = nullptr) {
    T* control = Region(region, false)->template findChild<T*>(QString::fromUtf8(name));
    if (control == nullptr && MakeDrawerContents()) control = Region(region, false)->template findChild<T*>(QString::fromUtf8(name));
    if (control == nullptr) Missing(name);
    return control;
  }
  // A control that is a direct child of region (the client area when null): the input
  // buttons and the master row, whose names the drawers use too.
  template <typename T>
  T* DirectControl(const char* name, QWidget* region = nullptr) {
    T* control = Region(region, true)->template findChild<T*>(QString::fromUtf8(name), Qt::FindDirectChildrenOnly);
    if (control == nullptr && MakeDrawerContents()) {
      control = Region(region, true)->template findChild<T*>(QString::fromUtf8(name), Qt::FindDirectChildrenOnly);
    }
    if (control == nullptr) Missing(name);
    return control;
  }

  // Communication > Connect and the end of the search.
  void SearchFromMenu();
  // The row's cell clicked as the user does; a double click as the window system reports it.
  void SelectRow(int row);
  void DoubleClickRow(int row);
  // Selects the row that lists ip and presses the Connect button; the window is connected.
  void ConnectListed(const QString& ip = QStringLiteral("127.0.0.2"));
  void SearchAndConnect(const QString& ip = QStringLiteral("127.0.0.2"));
  // File > Read all, waited for.
  void ReadAll();
  // What a caller of the refresh of every editor does: the refresh inside the refreshing bracket.
  void RefreshAll();
  // The drawers' contents are made when first needed, as when the user opens a drawer (a
  // control not found may be in one): makes them; false when there is no window.
  bool MakeDrawerContents();

 private:
  QWidget* Region(QWidget* region, bool clientArea);
  [[noreturn]] static void Missing(const char* name);

  QTemporaryDir m_dir;
  quint16 m_port = 0;
  std::unique_ptr<SimProcess> m_sim;
  std::unique_ptr<LoopbackUnit> m_unit;
  std::unique_ptr<Workspace> m_workspace;  // built before the window, outlives it
  std::unique_ptr<MainWindow> m_window;
  QList<Message> m_messages;
};

// A text as written in the source, UTF-8.
inline QString U(const char* text) { return QString::fromUtf8(text); }

}  // namespace mzr::test
