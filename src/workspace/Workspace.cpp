#include "workspace/Workspace.h"

#include "core/Config.h"
#include "link/DeviceCommands.h"
#include "link/EditOperation.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "workspace/EditHistory.h"
#include "workspace/EditIntents.h"

namespace mzr {

namespace {

ParamLink::Options LinkOptions(const Workspace::Options& options) {
  ParamLink::Options link;
  link.port = options.udpPort != 0 ? options.udpPort : UdpPort();
  link.timeoutMs = options.linkTimeoutMs;
  link.bindAddress = options.bindAddress;
  return link;
}

}  // namespace

Workspace::Workspace() : Workspace(Options{}) {}

Workspace::Workspace(Options options, QObject* parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_link(std::make_unique<ParamLink>(m_state, m_image, LinkOptions(m_options))),
      m_edits(std::make_unique<EditOperation>(m_state, m_image, *m_link)),
      m_history(std::make_unique<EditHistory>(m_image, *m_edits)),
      m_intents(std::make_unique<EditIntents>(m_image)),
      m_commands(std::make_unique<DeviceCommands>(m_state, m_image, *m_link)),
      m_discovery(std::make_unique<DeviceDiscovery>(
          m_state, m_image, *m_link, DeviceDiscovery::Options{m_options.configPath, m_options.networkSettleMs})) {
  // A whole image replaced: nothing before it can be taken back, and the unit holds what
  // was read from it.
  const auto replaced = [this] {
    m_history->Clear();
    SetUnitUnsaved(false);
  };
  connect(m_link.get(), &ParamLink::imageReceived, this, replaced);
  connect(m_discovery.get(), &DeviceDiscovery::deviceConnected, this, replaced);
  connect(m_discovery.get(), &DeviceDiscovery::disconnected, this, [this] { SetUnitUnsaved(false); });
  connect(m_link.get(), &ParamLink::timedOut, this, [this] { SetUnitUnsaved(false); });
  connect(m_commands.get(), &DeviceCommands::imageStored, this, [this] { SetUnitUnsaved(false); });
  // An edit with a frame, or an undo or redo, sends while connected.
  connect(m_edits.get(), &EditOperation::applied, this, [this](const EditStep& step) {
    if (step.field && m_state.connected == 1) SetUnitUnsaved(true);
  });
  connect(m_history.get(), &EditHistory::restored, this, [this](bool framesSent) {
    if (framesSent && m_state.connected == 1) SetUnitUnsaved(true);
  });
}

Workspace::~Workspace() = default;

quint16 Workspace::port() const { return m_link->port(); }

void Workspace::SetUnitUnsaved(bool unsaved) {
  if (m_unitUnsaved == unsaved) return;
  m_unitUnsaved = unsaved;
  emit unitUnsavedChanged(unsaved);
}

}  // namespace mzr
