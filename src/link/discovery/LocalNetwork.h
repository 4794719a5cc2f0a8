#pragma once
// Where the PC sits on the network: its own address (explicit, else the first IPv4 address
// of the host name) and the broadcast address of its subnet, from the mask of the interface
// that holds the address. Asks the operating system through Qt: no shell command, no file.

#include <QString>

#include <optional>

#include "core/Config.h"
#include "model/ParameterImage.h"

namespace mzr {

// The broadcast address used when no mask can be found for the local address.
inline QString FallbackBroadcastAddress() { return QStringLiteral("192.168.0.255"); }

// The local address as dotted text: ExplicitLocalIp(config) when given, else the first IPv4
// address the host name resolves to; empty when there is none. An explicit text that is
// not an IPv4 address counts as none.
QString FindLocalIp(const Config& config);

// The mask of the interface holding address, if any interface does.
std::optional<Ip4> SubnetMaskOf(const QString& address);

// The mask of the PC's subnet: that of the interface holding localIp; a loopback address
// always gets a loopback mask (255.0.0.0 when no interface lists a narrower one of 127/8).
// Nothing for an address no interface holds.
std::optional<Ip4> LocalSubnetMask(const QString& localIp);

// True when address lies in the subnet of localIp by mask.
bool InSubnet(const Ip4& address, const Ip4& localIp, const Ip4& mask);

// The broadcast address for a search from localIp. A loopback address always gets a
// loopback broadcast (mask 255.0.0.0 when no interface lists it), so a run on loopback can
// never fall back to a broadcast on a real network. Any other address without a mask,
// or an empty one, gives FallbackBroadcastAddress().
QString SearchBroadcastAddress(const QString& localIp);

}  // namespace mzr
