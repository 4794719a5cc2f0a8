#include "link/discovery/AddressText.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

#include "model/ValueFormat.h"

namespace mzr {

AddressTextResult ParseAddressText(const QString& text) {
  if (text.isEmpty()) return {AddressTextStatus::Empty, {}};
  // inet_aton reads a C string: a character outside ASCII, or an embedded NUL that would end
  // the C string early and hide what follows, cannot be part of an address.
  for (const QChar c : text) {
    if (c.unicode() == 0 || c.unicode() > 0x7F) return {AddressTextStatus::Invalid, {}};
  }
  const QByteArray ascii = text.toLatin1();
  in_addr converted{};
  if (inet_aton(ascii.constData(), &converted) == 0) return {AddressTextStatus::Invalid, {}};
  Ip4 bytes{};
  static_assert(sizeof converted.s_addr == sizeof bytes);
  std::memcpy(bytes.data(), &converted.s_addr, bytes.size());  // network order: first byte first
  if (bytes == Ip4{255, 255, 255, 255}) return {AddressTextStatus::Invalid, {}};
  return {AddressTextStatus::Ok, bytes};
}

Ip4 BroadcastAddress(const Ip4& address, const Ip4& mask) {
  Ip4 result = address;
  for (std::size_t i = 0; i < result.size(); ++i) {
    if (mask[i] == 0) result[i] = 255;
  }
  return result;
}

QString AddressText(const Ip4& address) { return QString::fromStdString(FormatIp(address)); }

}  // namespace mzr
