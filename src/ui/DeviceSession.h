#pragma once
// The window's side of the units: the UDP link, the device search with its drawer contents,
// the whole-unit commands and the project-file commands, wired to the status bar and to the
// window's refresh. Owned by MainWindow; the File and Communication menu items call it.

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>

namespace mzr {

class DeviceCommands;
class DeviceDiscovery;
class DeviceListPanel;
class MainWindow;
class ParamLink;
class ProjectFileCommands;

class DeviceSession final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(DeviceSession)

 public:
  struct Options {
    quint16 port = 0;            // 0: MZR4700_PORT, else 2305
    QHostAddress bindAddress = QHostAddress(QHostAddress::AnyIPv4);
    QString configPath;          // empty: Config.ini beside the program
    int linkTimeoutMs = 2000;    // Timer2
    int networkSettleMs = 300;   // between "ModiNet!" and the new search
  };

  // The panel goes into the window's device-list drawer.
  DeviceSession(MainWindow& window, Options options, QObject* parent = nullptr);
  ~DeviceSession() override;

  ParamLink& link() { return *m_link; }
  DeviceDiscovery& discovery() { return *m_discovery; }
  DeviceCommands& commands() { return *m_commands; }
  ProjectFileCommands& files() { return *m_files; }
  DeviceListPanel* panel() const { return m_panel; }

 private:
  // After a whole image arrived or a unit was connected, with refreshing already 1.
  void RefreshFromImage();

  MainWindow& m_window;
  std::unique_ptr<ParamLink> m_link;
  std::unique_ptr<DeviceDiscovery> m_discovery;
  std::unique_ptr<DeviceCommands> m_commands;
  std::unique_ptr<ProjectFileCommands> m_files;
  DeviceListPanel* m_panel = nullptr;  // owned by the drawer
};

}  // namespace mzr
