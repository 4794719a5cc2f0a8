#include "workspace/Workspace.h"

#include "core/Config.h"
#include "link/DeviceCommands.h"
#include "link/EditOperation.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"

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
      m_commands(std::make_unique<DeviceCommands>(m_state, m_image, *m_link)),
      m_discovery(std::make_unique<DeviceDiscovery>(
          m_state, m_image, *m_link, DeviceDiscovery::Options{m_options.configPath, m_options.networkSettleMs})) {}

Workspace::~Workspace() = default;

quint16 Workspace::port() const { return m_link->port(); }

}  // namespace mzr
