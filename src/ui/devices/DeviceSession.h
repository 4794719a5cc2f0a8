#pragma once
// The window's side of the device search: the workspace's discovery with its drawer
// contents, wired to the status bar and to the window's refresh. It takes only what it uses:
// the workspace (link, commands, discovery), the device-list drawer, the status bar and the
// hook that refreshes the editors from the image.

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

namespace mzr {

class DeviceDiscovery;
class DeviceListPanel;
class SideChannel;
class StatusBar;
class Workspace;

class DeviceSession final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(DeviceSession)

 public:
  // Called after a whole image arrived or a unit was connected, with refreshing already 1:
  // the profile dialog first, then every editor.
  using RefreshHook = std::function<void()>;

  // The workspace and the status bar outlive the session; the panel goes into drawer, which
  // owns it.
  DeviceSession(Workspace& workspace, SideChannel& drawer, StatusBar& status, RefreshHook refreshFromImage,
                QObject* parent = nullptr);
  ~DeviceSession() override;

  DeviceDiscovery& discovery() { return m_discovery; }
  DeviceListPanel* panel() const { return m_panel.data(); }

 private:
  void RefreshFromImage();

  RefreshHook m_refreshFromImage;
  DeviceDiscovery& m_discovery;
  QPointer<DeviceListPanel> m_panel;  // owned by the drawer
};

}  // namespace mzr
