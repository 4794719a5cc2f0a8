#pragma once
// The window's side of the device search: the discovery with its drawer contents, wired to
// the status bar and to the window's refresh. It takes only what it uses: the program state,
// the image, the link, the whole-unit commands, the device-list drawer, the status bar and
// the hook that refreshes the editors from the image.

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

namespace mzr {

struct AppState;
class DeviceCommands;
class DeviceDiscovery;
class DeviceListPanel;
class ParamLink;
class ParameterImage;
class SideChannel;
class StatusBar;

class DeviceSession final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(DeviceSession)

 public:
  struct Options {
    QString configPath;          // empty: Config.ini beside the program
    int networkSettleMs = 300;   // between "ModiNet!" and the new search
  };

  // Called after a whole image arrived or a unit was connected, with refreshing already 1:
  // the profile dialog first, then every editor.
  using RefreshHook = std::function<void()>;

  // state, image, link, commands and the status bar outlive the session; the panel goes
  // into drawer, which owns it.
  DeviceSession(AppState& state, ParameterImage& image, ParamLink& link, DeviceCommands& commands,
                SideChannel& drawer, StatusBar& status, RefreshHook refreshFromImage, Options options,
                QObject* parent = nullptr);
  ~DeviceSession() override;

  DeviceDiscovery& discovery() { return *m_discovery; }
  DeviceListPanel* panel() const { return m_panel.data(); }

 private:
  void RefreshFromImage();

  RefreshHook m_refreshFromImage;
  std::unique_ptr<DeviceDiscovery> m_discovery;
  QPointer<DeviceListPanel> m_panel;  // owned by the drawer
};

}  // namespace mzr
