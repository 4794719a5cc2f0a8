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
    : QObject(parent), m_refreshFromImage(std::move(refreshFromImage)), m_discovery(workspace.discovery()), m_drawer(drawer) {
  ParamLink& link = workspace.link();
  DeviceCommands& commands = workspace.commands();
  // The panel is made when the drawer first shows or a report of the discovery reaches it;
  // the reports go through the session so that the first one makes it.
  drawer.setContentMaker([this] { panel(); });
  connect(&m_discovery, &DeviceDiscovery::rowsChanged, this, [this](int first, int last) { panel()->UpdateRows(first, last); });
  connect(&m_discovery, &DeviceDiscovery::searchStarted, this, [this] { panel()->OnSearchStarted(); });
  connect(&m_discovery, &DeviceDiscovery::searchCompleted, this, [this] { panel()->OnSearchCompleted(); });
  connect(&m_discovery, &DeviceDiscovery::selectionChanged, this,
          [this](bool rowListed, const QString& ip, const QString& mask, const QString& gateway) {
            panel()->OnSelectionChanged(rowListed, ip, mask, gateway);
          });
  connect(&m_discovery, &DeviceDiscovery::deviceConnected, &drawer, &QWidget::hide);
  connect(&m_discovery, &DeviceDiscovery::errorMessage, this, [this](const QString& text) { panel()->ShowMessage(text); });
  connect(&m_discovery, &DeviceDiscovery::rowSelectionRequested, this, [this](int row) { panel()->SelectRequestedRow(row); });

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

DeviceListPanel* DeviceSession::panel() {
  if (m_panel == nullptr) {
    m_panel = new DeviceListPanel(m_discovery);
    m_drawer.setContent(m_panel);
    connect(m_panel, &DeviceListPanel::showRequested, &m_drawer, &SideChannel::ShowPinnedOpen);
    connect(m_panel, &DeviceListPanel::hideRequested, &m_drawer, &QWidget::hide);
    if (m_caption) m_panel->ApplyCaptions(m_caption);
    if (m_messageSink) m_panel->setMessageSink(m_messageSink);
  }
  return m_panel.data();
}

void DeviceSession::ApplyCaptions(std::function<QString(int row)> caption) {
  m_caption = std::move(caption);
  if (m_panel != nullptr) m_panel->ApplyCaptions(m_caption);
}

void DeviceSession::setMessageSink(DeviceListPanel::MessageSink sink) {
  m_messageSink = std::move(sink);
  if (m_panel != nullptr) m_panel->setMessageSink(m_messageSink);
}

void DeviceSession::RefreshFromImage() {
  if (m_refreshFromImage) m_refreshFromImage();
}

}  // namespace mzr
