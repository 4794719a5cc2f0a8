#include "link/discovery/DeviceDiscovery.h"

#include <span>

#include "core/Config.h"
#include "link/ParamLink.h"
#include "link/discovery/AddressText.h"
#include "link/discovery/LocalNetwork.h"
#include "model/WriteSpan.h"

namespace mzr {

QString NetworkChangeMessage(NetworkChangeResult result) {
  switch (result) {
    case NetworkChangeResult::IpEmpty: return QStringLiteral("IP设置错误");
    case NetworkChangeResult::DuplicateIp: return QStringLiteral("重复IP");
    case NetworkChangeResult::MaskEmpty: return QStringLiteral("子网掩码设置错误");
    case NetworkChangeResult::GatewayEmpty: return QStringLiteral("网关设置错误");
    case NetworkChangeResult::IpInvalid:
    case NetworkChangeResult::MaskInvalid:
    case NetworkChangeResult::GatewayInvalid: return InvalidAddressMessage();
    case NetworkChangeResult::OutsideSubnet:
      return QStringLiteral(
          "该设备的IP不在本机网段内，只能用广播修改，而列表中还有其他设备，广播会同时改动它们，所以没有发送。\n"
          "The unit's address is outside this PC's subnet, so only a broadcast reaches it, and other units are "
          "listed that the broadcast would change too: nothing was sent.");
    case NetworkChangeResult::Sent:
    case NetworkChangeResult::NoSelection: break;
  }
  return {};
}

QString LocalIpMissingMessage() { return QStringLiteral("获取不到本机IP"); }

QString ErrorCaption() { return QStringLiteral("错误"); }

DeviceDiscovery::DeviceDiscovery(AppState& state, ParameterImage& image, ParamLink& link, Options options, QObject* parent)
    : QObject(parent), m_state(state), m_image(image), m_link(link), m_options(std::move(options)) {
  if (m_options.configPath.isEmpty()) m_options.configPath = Config::DefaultPath();
  // Children so the window and tests find them by name; the members unregister themselves first.
  m_timer3.setParent(this);
  m_timer3.setObjectName(QStringLiteral("Timer3"));
  m_settleTimer.setParent(this);
  m_timer3.setSingleShot(false);
  connect(&m_timer3, &QTimer::timeout, this, &DeviceDiscovery::Timer3Timer);
  m_settleTimer.setSingleShot(true);
  m_settleTimer.setInterval(m_options.settleMs);
  connect(&m_settleTimer, &QTimer::timeout, this, [this] {
    SearchDevices();
    if (m_state.connected == 1) Disconnect();
  });
  m_link.SetSearchReplyHandler([this](const frame::ReadReply& reply, const QString&) { return HandleSearchReply(reply); });
  connect(&m_link, &ParamLink::networkAcknowledged, this, &DeviceDiscovery::NetworkAcknowledged);
}

DeviceDiscovery::~DeviceDiscovery() { m_link.SetSearchReplyHandler({}); }

void DeviceDiscovery::SearchDevices() {
  // The socket is bound when it is first needed, so a program that never searches holds no
  // port; a port that cannot be bound is said plainly instead of ending in "Connect Fail!".
  // Nothing is sent and no time-out is armed without a socket: the bind failure is the one
  // message, not followed by "Connect Fail!".
  if (!m_link.isOpen()) {
    QString error;
    if (!m_link.Open(&error)) {
      emit errorMessage(error);
      return;
    }
  }
  const Config config = Config::Load(m_options.configPath);
  m_devicesFound = 0;

  const QString localIp = FindLocalIp(config);
  if (localIp.isEmpty()) emit errorMessage(LocalIpMissingMessage());
  m_link.setLocalIp(localIp);
  m_link.setRemoteAddress(SearchBroadcastAddress(localIp), ParamLink::Reach::AnyUnit);
  m_state.networkMode = 1;
  m_link.BeginSearch();

  emit testSignalReset();
  m_link.SendRead(0, static_cast<std::uint16_t>(kImageSize));
  m_timer3.start(config.searchTime);

  m_table.ClearIdentityColumns();
  emit rowsChanged(1, DeviceTable::kCapacity);
  emit statusText(0, QStringLiteral("Search.."));
  emit searchStarted();
}

bool DeviceDiscovery::HandleSearchReply(const frame::ReadReply& reply) {
  if (m_devicesFound >= DeviceTable::kCapacity) return false;
  // The search asked every unit for its whole image; a reply carrying less would list the
  // network settings some other unit left in the entry.
  if (reply.address != 0 || reply.count != kImageSize || reply.data.size() != kImageSize) return false;

  const Ip4 ip{reply.data[addr::ipAddress], reply.data[addr::ipAddress + 1], reply.data[addr::ipAddress + 2],
               reply.data[addr::ipAddress + 3]};
  if (RowOf(AddressText(ip)) != 0) return false;  // the same unit again, or a second unit at its address

  if (!m_table.Store(m_devicesFound, reply.address, reply.data)) return false;
  m_table.FillRow(m_devicesFound);
  ++m_devicesFound;
  emit rowsChanged(m_devicesFound, m_devicesFound);
  return true;
}

void DeviceDiscovery::Timer3Timer() {
  m_timer3.stop();
  emit statusText(0, QStringLiteral("Search completed    find:") + QString::number(m_devicesFound));
  emit searchCompleted(m_devicesFound);
  if (m_state.connected == 1) m_link.setRemoteAddress(m_deviceIp);
  if (!m_movedTo.isEmpty()) {
    const int row = RowOf(m_movedTo);
    m_movedTo.clear();
    if (row != 0) emit rowSelectionRequested(row);
  }
}

void DeviceDiscovery::SelectRow(int row) {
  if (row < 1 || row > DeviceTable::kCapacity) return;
  if (m_table.rowIsEmpty(row)) {
    emit selectionChanged(false, QString(), QString(), QString());
    return;
  }
  m_deviceSelected = true;
  m_selectedDevice = row - 1;
  emit selectionChanged(true, m_table.cell(row, DeviceTable::IpColumn), m_table.cell(row, DeviceTable::MaskColumn),
                        m_table.cell(row, DeviceTable::GatewayColumn));
}

void DeviceDiscovery::Connect() {
  if (!m_deviceSelected) return;
  // No frame is sent: the unit's image arrived with its search reply. Only whole images are
  // listed, so the whole entry is taken, not the span of the last read reply accepted (a
  // stray partial reply after the search would otherwise leave most of the image as it was).
  (void)m_image.Store(0, m_table.entry(m_selectedDevice));
  m_deviceIp = AddressText(m_image.ipAddress());
  m_link.setRemoteAddress(m_deviceIp);
  {
    const RefreshingScope refreshing(m_state);
    emit imageReplaced();
  }
  m_state.connected = 1;
  emit statusText(0, QStringLiteral("System Connected    IP:") + m_deviceIp);
  emit statusText(1, QStringLiteral("已连接"));
  emit deviceConnected(m_deviceIp);
}

void DeviceDiscovery::DoubleClickRow(int row) {
  if (row < 1 || row > DeviceTable::kCapacity || m_table.rowIsEmpty(row)) return;
  if (!m_deviceSelected || m_selectedDevice != row - 1) SelectRow(row);
  Connect();
}

void DeviceDiscovery::Disconnect() {
  m_state.connected = 0;
  emit statusText(0, QStringLiteral("DisConnected"));
  emit statusText(1, QStringLiteral("未连接"));
  emit testSignalReset();
  emit disconnected();
}

NetworkChangeResult DeviceDiscovery::ChangeNetworkSettings(const QString& ipText, const QString& maskText,
                                                           const QString& gatewayText) {
  const int selectedRow = m_selectedDevice + 1;
  if (!m_deviceSelected || m_table.rowIsEmpty(selectedRow)) return NetworkChangeResult::NoSelection;

  const auto fail = [this](NetworkChangeResult result) {
    emit errorMessage(NetworkChangeMessage(result));
    return result;
  };
  const AddressTextResult ip = ParseAddressText(ipText);
  if (ip.status == AddressTextStatus::Empty) return fail(NetworkChangeResult::IpEmpty);
  if (!ip.ok()) return fail(NetworkChangeResult::IpInvalid);
  const int holder = RowOf(AddressText(ip.bytes));
  if (holder != 0 && holder != selectedRow) return fail(NetworkChangeResult::DuplicateIp);
  const AddressTextResult mask = ParseAddressText(maskText);
  if (mask.status == AddressTextStatus::Empty) return fail(NetworkChangeResult::MaskEmpty);
  if (!mask.ok()) return fail(NetworkChangeResult::MaskInvalid);
  const AddressTextResult gateway = ParseAddressText(gatewayText);
  if (gateway.status == AddressTextStatus::Empty) return fail(NetworkChangeResult::GatewayEmpty);
  if (!gateway.ok()) return fail(NetworkChangeResult::GatewayInvalid);

  // Only the selected unit may take the new settings: a broadcast gives every unit that hears
  // it the same address. Unicast reaches a unit in the PC's subnet; one outside it (set up
  // for another network) only by broadcast, which is safe only when no other unit answered.
  DeviceTable::Entry& entry = m_table.entry(m_selectedDevice);
  const Ip4 listed{entry[addr::ipAddress], entry[addr::ipAddress + 1], entry[addr::ipAddress + 2],
                   entry[addr::ipAddress + 3]};
  const QString localIp = m_link.localIp();
  const AddressTextResult local = ParseAddressText(localIp);
  const std::optional<Ip4> localMask = LocalSubnetMask(localIp);
  const bool outside = local.ok() && localMask && !InSubnet(listed, local.bytes, *localMask);
  if (outside && m_devicesFound != 1) return fail(NetworkChangeResult::OutsideSubnet);

  // The entry changes only once the change is going out, so a refused change never leaves
  // a half-edited address behind for a later connect to use.
  std::copy(ip.bytes.begin(), ip.bytes.end(), entry.begin() + addr::ipAddress);
  std::copy(mask.bytes.begin(), mask.bytes.end(), entry.begin() + addr::subnetMask);
  std::copy(gateway.bytes.begin(), gateway.bytes.end(), entry.begin() + addr::gateway);
  const auto settings = std::span<const std::uint8_t>(entry).subspan(kNetworkSettings.address, kNetworkSettings.count);
  m_changedTo = AddressText(ip.bytes);
  if (outside) {
    m_link.SendWriteTo(SearchBroadcastAddress(localIp), ParamLink::Reach::AnyUnit, kNetworkSettings.address,
                       kNetworkSettings.count, settings);
  } else {
    m_link.SendWriteTo(AddressText(listed), ParamLink::Reach::OneUnit, kNetworkSettings.address,
                       kNetworkSettings.count, settings);
  }
  return NetworkChangeResult::Sent;
}

void DeviceDiscovery::NetworkAcknowledged() {
  // The unit answers at its new address only after it has switched; waiting on a timer keeps
  // the window responsive meanwhile.
  m_movedTo = m_changedTo;
  m_changedTo.clear();
  m_settleTimer.start();
}

int DeviceDiscovery::RowOf(const QString& ip) const {
  for (int row = 1; row <= m_devicesFound; ++row) {
    if (m_table.cell(row, DeviceTable::IpColumn) == ip) return row;
  }
  return 0;
}

}  // namespace mzr
