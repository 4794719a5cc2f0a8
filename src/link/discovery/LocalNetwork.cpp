#include "link/discovery/LocalNetwork.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>

#include "link/UdpEndpoint.h"
#include "link/discovery/AddressText.h"

namespace mzr {
namespace {

Ip4 Ip4Of(std::uint32_t value) {
  return Ip4{static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
             static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

std::uint32_t HostOrder(const sockaddr* address) {
  return ntohl(reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr);
}

}  // namespace

QString FindLocalIp(const Config& config) {
  const QString explicitIp = ExplicitLocalIp(config);
  if (!explicitIp.isEmpty()) {
    const std::optional<std::uint32_t> address = ParseIpv4(explicitIp);
    return address ? Ipv4Text(*address) : QString();
  }
  std::array<char, 256> host{};
  if (::gethostname(host.data(), host.size() - 1) != 0) return {};
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.data(), nullptr, &hints, &found) != 0 || found == nullptr) return {};
  QString first;
  for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family == AF_INET && entry->ai_addr != nullptr) {
      first = Ipv4Text(HostOrder(entry->ai_addr));
      break;
    }
  }
  ::freeaddrinfo(found);
  return first;
}

std::optional<Ip4> SubnetMaskOf(const QString& address) {
  const std::optional<std::uint32_t> wanted = ParseIpv4(address);
  if (!wanted) return std::nullopt;
  ifaddrs* interfaces = nullptr;
  if (::getifaddrs(&interfaces) != 0) return std::nullopt;
  std::optional<Ip4> mask;
  for (const ifaddrs* entry = interfaces; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_netmask == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    if (HostOrder(entry->ifa_addr) == *wanted) {
      mask = Ip4Of(HostOrder(entry->ifa_netmask));
      break;
    }
  }
  ::freeifaddrs(interfaces);
  return mask;
}

std::optional<Ip4> LocalSubnetMask(const QString& localIp) {
  const std::optional<std::uint32_t> local = ParseIpv4(localIp);
  if (!local) return std::nullopt;
  std::optional<Ip4> mask = SubnetMaskOf(localIp);
  if ((*local >> 24) == 127) {
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
  const std::optional<std::uint32_t> local = ParseIpv4(localIp);
  if (!local) return FallbackBroadcastAddress();
  const Ip4 localBytes = Ip4Of(*local);
  const std::optional<Ip4> mask = LocalSubnetMask(localIp);
  if (!mask) return FallbackBroadcastAddress();
  return AddressText(BroadcastAddress(localBytes, *mask));
}

}  // namespace mzr
