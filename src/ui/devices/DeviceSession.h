#pragma once
// The window's side of the device search: the workspace's discovery with its drawer
// contents, wired to the status bar and to the window's refresh. It takes only what it uses:
// the workspace (link, commands, discovery), the device-list drawer, the status bar and the
// hook that refreshes the editors from the image.

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include "ui/devices/DeviceListPanel.h"

namespace mzr {

class DeviceDiscovery;
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
  // owns it, when it is first needed.
  DeviceSession(Workspace& workspace, SideChannel& drawer, StatusBar& status, RefreshHook refreshFromImage,
                QObject* parent = nullptr);
  ~DeviceSession() override;

  DeviceDiscovery& discovery() { return m_discovery; }
  // The drawer's contents, made first if they are not yet.
  DeviceListPanel* panel();
  // The panel's captions by caption-table row, now and for a panel made later.
  void ApplyCaptions(std::function<QString(int row)> caption);
  // Where the panel's messages go instead of a box (tests), now and for a panel made later.
  void setMessageSink(DeviceListPanel::MessageSink sink);

 private:
  void RefreshFromImage();

  RefreshHook m_refreshFromImage;
  DeviceDiscovery& m_discovery;
  SideChannel& m_drawer;
  QPointer<DeviceListPanel> m_panel;  // owned by the drawer
  std::function<QString(int row)> m_caption;
  DeviceListPanel::MessageSink m_messageSink;
};

}  // namespace mzr
