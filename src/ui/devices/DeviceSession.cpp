#include "ui/devices/DeviceSession.h"

#include "link/DeviceCommands.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "ui/devices/DeviceListPanel.h"
#include "ui/window/SideChannel.h"
#include "ui/window/StatusBar.h"
#include "workspace/Workspace.h"

namespace mzr {

DeviceSession::DeviceSession(Workspace& workspace, SideChannel& drawer, StatusBar& status,
                             RefreshHook refreshFromImage, QObject* parent)
    : QObject(parent), m_refreshFromImage(std::move(refreshFromImage)), m_discovery(workspace.discovery()) {
  ParamLink& link = workspace.link();
  DeviceCommands& commands = workspace.commands();
  m_panel = new DeviceListPanel(m_discovery);
  drawer.setContent(m_panel);
  connect(m_panel, &DeviceListPanel::showRequested, &drawer, &SideChannel::ShowPinnedOpen);
  connect(m_panel, &DeviceListPanel::hideRequested, &drawer, &QWidget::hide);

  connect(&link, &ParamLink::statusText, &status, &StatusBar::SetPanelText);
  connect(&m_discovery, &DeviceDiscovery::statusText, &status, &StatusBar::SetPanelText);
  connect(&commands, &DeviceCommands::statusText, &status, &StatusBar::SetPanelText);

  connect(&link, &ParamLink::imageReceived, this, &DeviceSession::RefreshFromImage);
  connect(&m_discovery, &DeviceDiscovery::imageReplaced, this, &DeviceSession::RefreshFromImage);
}

DeviceSession::~DeviceSession() {
  // The panel refers to the session's wiring; the drawer may outlive the session.
  delete m_panel.data();
}

void DeviceSession::RefreshFromImage() {
  if (m_refreshFromImage) m_refreshFromImage();
}

}  // namespace mzr
