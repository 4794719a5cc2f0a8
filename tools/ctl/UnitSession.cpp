#include "UnitSession.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QTimer>

#include "core/Config.h"
#include "link/discovery/AddressText.h"
#include "link/discovery/LocalNetwork.h"

namespace mzr::ctl {

namespace {

// The one-line refusal of a network change, with the program's own message in brackets.
CtlResult ChangeRefused(NetworkChangeResult result, const QString& ip, const QString& newIp, const QString& mask,
                        const QString& gateway) {
  switch (result) {
    case NetworkChangeResult::Sent:
      break;
    case NetworkChangeResult::DuplicateIp:
      return CtlResult::Fail(ExitCode::usage, QStringLiteral("--ip %1: another unit on the network already uses this "
                                                             "address (%2)")
                                                  .arg(newIp, NetworkChangeMessage(result)));
    case NetworkChangeResult::IpEmpty:
    case NetworkChangeResult::IpInvalid:
      return CtlResult::Fail(ExitCode::usage, QStringLiteral("--ip '%1' is not a valid address (%2)")
                                                  .arg(newIp, NetworkChangeMessage(result)));
    case NetworkChangeResult::MaskEmpty:
    case NetworkChangeResult::MaskInvalid:
      return CtlResult::Fail(ExitCode::usage, QStringLiteral("--mask '%1' is not a valid mask (%2)")
                                                  .arg(mask, NetworkChangeMessage(result)));
    case NetworkChangeResult::GatewayEmpty:
    case NetworkChangeResult::GatewayInvalid:
      return CtlResult::Fail(ExitCode::usage, QStringLiteral("--gateway '%1' is not a valid address (%2)")
                                                  .arg(gateway, NetworkChangeMessage(result)));
    case NetworkChangeResult::OutsideSubnet:
      return CtlResult::Fail(ExitCode::usage,
                             QStringLiteral("%1 is outside this PC's subnet, so only a broadcast reaches it, and the "
                                            "search found other units that the broadcast would change too; nothing "
                                            "was sent")
                                 .arg(ip));
    case NetworkChangeResult::NoSelection:
      return CtlResult::Fail(ExitCode::noAnswerOrDiffer, QStringLiteral("%1 did not answer the search").arg(ip));
  }
  return CtlResult::Ok();
}

// The address texts alone decide most refusals, so they are checked before the search: a
// mistyped mask sends nothing at all.
std::optional<NetworkChangeResult> AddressTextRefusal(const QString& newIp, const QString& mask,
                                                      const QString& gateway) {
  const auto check = [](const QString& text, NetworkChangeResult empty,
                        NetworkChangeResult invalid) -> std::optional<NetworkChangeResult> {
    const AddressTextResult parsed = ParseAddressText(text);
    if (parsed.status == AddressTextStatus::Empty) return empty;
    if (!parsed.ok()) return invalid;
    return std::nullopt;
  };
  if (auto refused = check(newIp, NetworkChangeResult::IpEmpty, NetworkChangeResult::IpInvalid)) return refused;
  if (auto refused = check(mask, NetworkChangeResult::MaskEmpty, NetworkChangeResult::MaskInvalid)) return refused;
  return check(gateway, NetworkChangeResult::GatewayEmpty, NetworkChangeResult::GatewayInvalid);
}

Workspace::Options WorkspaceOptions(const UnitSession::Options& options) {
  Workspace::Options workspace;
  workspace.udpPort = options.port;
  workspace.linkTimeoutMs = options.timeoutMs;
  workspace.configPath = options.configPath.isEmpty() ? Config::DefaultPath() : options.configPath;
  return workspace;
}

}  // namespace

UnitSession::UnitSession(Options options, QObject* parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_workspace(WorkspaceOptions(m_options)),
      m_state(m_workspace.state()),
      m_image(m_workspace.image()),
      m_link(m_workspace.link()),
      m_commands(m_workspace.commands()),
      m_discovery(m_workspace.discovery()) {
  if (m_options.configPath.isEmpty()) m_options.configPath = Config::DefaultPath();
}

UnitSession::~UnitSession() = default;

CtlResult UnitSession::Open() {
  QString error;
  if (!m_link.Open(&error)) return CtlResult::Fail(ExitCode::noAnswerOrDiffer, error);
  m_link.setLocalIp(localIp());
  return CtlResult::Ok();
}

QString UnitSession::localIp() const { return FindLocalIp(Config::Load(m_options.configPath)); }

CtlResult UnitSession::Target(const QString& ip) {
  if (ip == SearchBroadcastAddress(localIp())) {
    return CtlResult::Fail(ExitCode::usage,
                           QStringLiteral("%1 is the broadcast address of the local network, not one unit's address")
                               .arg(ip));
  }
  m_state.networkMode = 1;
  m_state.connected = 1;
  m_link.setRemoteAddress(ip);
  return CtlResult::Ok();
}

CtlResult UnitSession::NoAnswer(const QString& ip, const QString& what) const {
  return CtlResult::Fail(ExitCode::noAnswerOrDiffer, QStringLiteral("%1 did not answer %2 within %3 ms (port %4)")
                                                         .arg(ip, what)
                                                         .arg(m_options.timeoutMs)
                                                         .arg(m_options.port));
}

CtlResult UnitSession::Search(std::optional<int> searchTimeMs, QList<FoundUnit>* units) {
  const QString local = localIp();
  if (local.isEmpty()) {
    return CtlResult::Fail(ExitCode::usage,
                           QStringLiteral("cannot find this PC's IPv4 address; give it with --local IP"));
  }
  // The program falls back to 192.168.0.255 when it knows no mask; a tool that scripts
  // many sites must not broadcast into a network it merely guessed.
  if (!SubnetMaskOf(local) && !QHostAddress(local).isLoopback()) {
    return CtlResult::Fail(ExitCode::usage,
                           QStringLiteral("no network interface holds the local address %1; give this PC's address "
                                          "with --local IP")
                               .arg(local));
  }
  const int waitMs = searchTimeMs.value_or(Config::Load(m_options.configPath).searchTime);

  QEventLoop loop;
  QTimer done;
  done.setSingleShot(true);
  connect(&done, &QTimer::timeout, &loop, &QEventLoop::quit);
  m_state.connected = 0;
  m_discovery.SearchDevices();
  done.start(waitMs);
  loop.exec();

  units->clear();
  const DeviceTable& table = m_discovery.table();
  for (int row = 1; row <= m_discovery.devicesFound(); ++row) {
    FoundUnit unit;
    unit.ip = table.cell(row, DeviceTable::IpColumn);
    unit.hall = table.cell(row, DeviceTable::TheaterNameColumn);
    unit.screen = table.cell(row, DeviceTable::ScreenNumberColumn);
    unit.model = table.cell(row, DeviceTable::ModelColumn);
    unit.mac = table.cell(row, DeviceTable::MacColumn);
    unit.mask = table.cell(row, DeviceTable::MaskColumn);
    unit.gateway = table.cell(row, DeviceTable::GatewayColumn);
    unit.port = table.cell(row, DeviceTable::PortColumn);
    unit.entry = row - 1;
    units->append(unit);
  }
  if (units->isEmpty()) {
    return CtlResult::Fail(ExitCode::noAnswerOrDiffer,
                           QStringLiteral("no unit answered the search within %1 ms (broadcast %2, port %3)")
                               .arg(waitMs)
                               .arg(m_link.remoteAddress())
                               .arg(m_options.port));
  }
  return CtlResult::Ok();
}

ParameterImage UnitSession::SearchImage(const FoundUnit& unit) const {
  ParameterImage image;
  image.ReplaceAll(m_discovery.table().entry(unit.entry));
  return image;
}

CtlResult UnitSession::ReadImage(const QString& ip, ParameterImage* image) {
  QEventLoop loop;
  connect(&m_link, &ParamLink::imageReceived, &loop, [&loop] { loop.exit(0); });
  connect(&m_link, &ParamLink::timedOut, &loop, [&loop] { loop.exit(1); });
  if (auto targeted = Target(ip); targeted.code != ExitCode::ok) return targeted;
  m_commands.ReadAll();
  if (loop.exec() != 0) return NoAnswer(ip, QStringLiteral("the read of its settings"));
  // The link takes a reply's own address and count; a backup of a shorter reply would keep
  // stale or zero bytes in the rest and still look like the unit's settings.
  if (m_link.lastReplyAddress() != 0 || m_link.lastReplyCount() != kImageSize) {
    return CtlResult::Fail(ExitCode::noAnswerOrDiffer,
                           QStringLiteral("%1 answered the read of its settings with %2 bytes at address %3 instead of "
                                          "all %4")
                               .arg(ip)
                               .arg(m_link.lastReplyCount())
                               .arg(m_link.lastReplyAddress())
                               .arg(kImageSize));
  }
  *image = m_image;
  return CtlResult::Ok();
}

CtlResult UnitSession::Download(const QString& ip, const ParameterImage& image) {
  QEventLoop loop;
  connect(&m_commands, &DeviceCommands::downloadSucceeded, &loop, [&loop] { loop.exit(0); });
  connect(&m_link, &ParamLink::timedOut, &loop, [&loop] { loop.exit(1); });
  if (auto targeted = Target(ip); targeted.code != ExitCode::ok) return targeted;
  m_image = image;
  m_commands.DownloadAll();
  if (loop.exec() != 0) return NoAnswer(ip, QStringLiteral("the download and store command"));
  return CtlResult::Ok();
}

CtlResult UnitSession::Restore(const QString& ip, const ParameterImage& image) {
  if (auto downloaded = Download(ip, image); downloaded.code != ExitCode::ok) return downloaded;
  // The acknowledgements say the frames arrived; reading the image back says the unit holds it.
  ParameterImage unit;
  if (auto read = ReadImage(ip, &unit); read.code != ExitCode::ok) return read;
  int differing = 0;
  int first = -1;
  for (int at = 0; at < static_cast<int>(kImageSize); ++at) {
    if (at >= addr::macAddress && at < addr::udpPort + 2) continue;
    if (unit.All()[static_cast<std::size_t>(at)] == image.All()[static_cast<std::size_t>(at)]) continue;
    if (first < 0) first = at;
    ++differing;
  }
  if (differing > 0) {
    return CtlResult::Fail(ExitCode::noAnswerOrDiffer,
                           QStringLiteral("%1 acknowledged the restore but holds other settings: %2 bytes differ from "
                                          "the file, the first at byte %3")
                               .arg(ip)
                               .arg(differing)
                               .arg(first));
  }
  return CtlResult::Ok();
}

CtlResult UnitSession::Restart(const QString& ip) {
  QEventLoop loop;
  connect(&m_link, &ParamLink::acknowledged, &loop, [&loop](int command) {
    if (command == static_cast<int>(frame::Command::Write)) loop.exit(0);
  });
  connect(&m_link, &ParamLink::timedOut, &loop, [&loop] { loop.exit(1); });
  if (auto targeted = Target(ip); targeted.code != ExitCode::ok) return targeted;
  m_commands.Restart();
  if (loop.exec() != 0) return NoAnswer(ip, QStringLiteral("the restart command"));
  return CtlResult::Ok();
}

CtlResult UnitSession::ChangeNetwork(const QString& ip, const QString& newIp, const QString& mask,
                                     const QString& gateway, std::optional<int> searchTimeMs) {
  // The duplicate-address check needs the other units of the network, and the change edits
  // the unit's listed entry: search first, as the program's device list does.
  if (const auto refused = AddressTextRefusal(newIp, mask, gateway)) {
    return ChangeRefused(*refused, ip, newIp, mask, gateway);
  }
  QList<FoundUnit> units;
  if (auto searched = Search(searchTimeMs, &units); searched.code == ExitCode::usage) return searched;
  const int row = m_discovery.RowOf(ip);
  if (row == 0) {
    return CtlResult::Fail(ExitCode::noAnswerOrDiffer, QStringLiteral("%1 did not answer the search").arg(ip));
  }
  m_discovery.SelectRow(row);

  QEventLoop loop;
  bool confirmed = false;
  connect(&m_link, &ParamLink::networkAcknowledged, &loop, [&loop, &confirmed] {
    confirmed = true;
    loop.exit(0);
  });
  // A plain acknowledgement stops the link's time-out, so waiting on for "ModiNet!" would
  // wait for ever: end there and say so.
  connect(&m_link, &ParamLink::acknowledged, &loop, [&loop, &confirmed](int command) {
    if (!confirmed && command == static_cast<int>(frame::Command::Write)) loop.exit(2);
  });
  connect(&m_link, &ParamLink::timedOut, &loop, [&loop] { loop.exit(1); });
  // The discovery sends the change to the listed unit alone, as the program's device list
  // does (by broadcast only to a unit outside this PC's subnet that the search found alone).
  m_state.networkMode = 1;
  const NetworkChangeResult result = m_discovery.ChangeNetworkSettings(newIp, mask, gateway);
  if (result != NetworkChangeResult::Sent) return ChangeRefused(result, ip, newIp, mask, gateway);
  const int outcome = loop.exec();
  if (outcome == 1) return NoAnswer(ip, QStringLiteral("the new network settings"));
  if (outcome == 2) {
    return CtlResult::Fail(ExitCode::noAnswerOrDiffer,
                           QStringLiteral("%1 acknowledged the new network settings without confirming them "
                                          "(\"ModiNet!\"); search to see which address it answers at")
                               .arg(ip));
  }
  return CtlResult::Ok();
}

}  // namespace mzr::ctl
