#include "ui/DeviceSession.h"

#include "core/Config.h"
#include "link/DeviceCommands.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "ui/DeviceListPanel.h"
#include "ui/MainWindow.h"
#include "ui/ProjectFileCommands.h"
#include "ui/SideChannel.h"
#include "ui/StatusBar.h"

namespace mzr {

DeviceSession::DeviceSession(MainWindow& window, Options options, QObject* parent)
    : QObject(parent), m_window(window) {
  ParamLink::Options linkOptions;
  linkOptions.port = options.port != 0 ? options.port : UdpPort();
  linkOptions.timeoutMs = options.linkTimeoutMs;
  linkOptions.bindAddress = options.bindAddress;
  m_link = std::make_unique<ParamLink>(window.state(), window.image(), linkOptions);
  m_discovery = std::make_unique<DeviceDiscovery>(window.state(), window.image(), *m_link,
                                                  DeviceDiscovery::Options{options.configPath, options.networkSettleMs});
  m_commands = std::make_unique<DeviceCommands>(window.state(), window.image(), *m_link);
  m_files = std::make_unique<ProjectFileCommands>(
      window.state(), window.image(), window.document(),
      ProjectFileCommands::WindowHooks{[&window] { window.SetProjectCaption(); }, [&window] { window.RefreshAll(); }},
      &window);

  SideChannel* drawer = window.deviceListDrawer();
  m_panel = new DeviceListPanel(*m_discovery);
  drawer->setContent(m_panel);
  connect(m_panel, &DeviceListPanel::showRequested, drawer, &SideChannel::ShowPinnedOpen);
  connect(m_panel, &DeviceListPanel::hideRequested, drawer, &QWidget::hide);

  StatusBar* status = window.statusBarPanels();
  connect(m_link.get(), &ParamLink::statusText, status, &StatusBar::SetPanelText);
  connect(m_discovery.get(), &DeviceDiscovery::statusText, status, &StatusBar::SetPanelText);
  connect(m_commands.get(), &DeviceCommands::statusText, status, &StatusBar::SetPanelText);
  connect(m_files.get(), &ProjectFileCommands::statusText, status, &StatusBar::SetPanelText);

  connect(m_link.get(), &ParamLink::imageReceived, this, &DeviceSession::RefreshFromImage);
  connect(m_discovery.get(), &DeviceDiscovery::imageReplaced, this, &DeviceSession::RefreshFromImage);
}

DeviceSession::~DeviceSession() {
  // The discovery unregisters itself from the link, so it goes first.
  m_discovery.reset();
}

void DeviceSession::RefreshFromImage() {
  // The theater-profile dialog is refreshed here too, before the editors, once it shows the
  // image's texts.
  m_window.RefreshAll();
}

}  // namespace mzr
