#include "ui/devices/DeviceSession.h"

#include "link/DeviceCommands.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "ui/devices/DeviceListPanel.h"
#include "ui/window/SideChannel.h"
#include "ui/window/StatusBar.h"

namespace mzr {

DeviceSession::DeviceSession(AppState& state, ParameterImage& image, ParamLink& link, DeviceCommands& commands,
                             SideChannel& drawer, StatusBar& status, RefreshHook refreshFromImage, Options options,
                             QObject* parent)
    : QObject(parent), m_refreshFromImage(std::move(refreshFromImage)) {
  m_discovery = std::make_unique<DeviceDiscovery>(state, image, link,
                                                  DeviceDiscovery::Options{options.configPath, options.networkSettleMs});

  m_panel = new DeviceListPanel(*m_discovery);
  drawer.setContent(m_panel);
  connect(m_panel, &DeviceListPanel::showRequested, &drawer, &SideChannel::ShowPinnedOpen);
  connect(m_panel, &DeviceListPanel::hideRequested, &drawer, &QWidget::hide);

  connect(&link, &ParamLink::statusText, &status, &StatusBar::SetPanelText);
  connect(m_discovery.get(), &DeviceDiscovery::statusText, &status, &StatusBar::SetPanelText);
  connect(&commands, &DeviceCommands::statusText, &status, &StatusBar::SetPanelText);

  connect(&link, &ParamLink::imageReceived, this, &DeviceSession::RefreshFromImage);
  connect(m_discovery.get(), &DeviceDiscovery::imageReplaced, this, &DeviceSession::RefreshFromImage);
}

DeviceSession::~DeviceSession() {
  // The panel refers to the discovery; the drawer may outlive the session, so the panel goes
  // first. The discovery then unregisters itself from the link.
  delete m_panel.data();
  m_discovery.reset();
}

void DeviceSession::RefreshFromImage() {
  if (m_refreshFromImage) m_refreshFromImage();
}

}  // namespace mzr
