#include "link/discovery/LocalNetwork.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkAddressEntry>
#include <QNetworkInterface>

#include "link/discovery/AddressText.h"

namespace mzr {
namespace {

std::optional<Ip4> Ip4Of(const QHostAddress& address) {
  bool ok = false;
  const quint32 value = address.toIPv4Address(&ok);
  if (!ok) return std::nullopt;
  return Ip4{static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
             static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

bool IsIpv4(const QHostAddress& address) {
  return address.protocol() == QAbstractSocket::IPv4Protocol;
}

}  // namespace

QString FindLocalIp(const Config& config) {
  const QString explicitIp = ExplicitLocalIp(config);
  if (!explicitIp.isEmpty()) {
    const QHostAddress address(explicitIp);
    return IsIpv4(address) ? address.toString() : QString();
  }
  const QHostInfo info = QHostInfo::fromName(QHostInfo::localHostName());
  for (const QHostAddress& address : info.addresses()) {
    if (IsIpv4(address)) return address.toString();
  }
  return {};
}

std::optional<Ip4> SubnetMaskOf(const QString& address) {
  const QHostAddress wanted(address);
  if (!IsIpv4(wanted)) return std::nullopt;
  for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
    for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
      if (entry.ip().isEqual(wanted, QHostAddress::StrictConversion)) return Ip4Of(entry.netmask());
    }
  }
  return std::nullopt;
}

std::optional<Ip4> LocalSubnetMask(const QString& localIp) {
  const QHostAddress local(localIp);
  if (!IsIpv4(local)) return std::nullopt;
  std::optional<Ip4> mask = SubnetMaskOf(localIp);
  if (local.isLoopback()) {
    // A loopback run must stay on loopback whatever the interface table says.
    if (!mask || (*mask)[0] != 255) mask = Ip4{255, 0, 0, 0};
  }
  return mask;
}

bool InSubnet(const Ip4& address, const Ip4& localIp, const Ip4& mask) {
  for (std::size_t i = 0; i < mask.size(); ++i) {
    if ((address[i] & mask[i]) != (localIp[i] & mask[i])) return false;
  }
  return true;
}

QString SearchBroadcastAddress(const QString& localIp) {
  const QHostAddress local(localIp);
  const std::optional<Ip4> localBytes = IsIpv4(local) ? Ip4Of(local) : std::nullopt;
  if (!localBytes) return FallbackBroadcastAddress();
  const std::optional<Ip4> mask = LocalSubnetMask(localIp);
  if (!mask) return FallbackBroadcastAddress();
  return AddressText(BroadcastAddress(*localBytes, *mask));
}

}  // namespace mzr
