#pragma once
// Dotted-address texts typed into the device list, and the broadcast address of a subnet.
// Pure functions with results as values: the window turns a failure into its message box.

#include <QString>

#include "model/ParameterImage.h"

namespace mzr {

enum class AddressTextStatus {
  Ok,
  Empty,    // the field holds no text at all; the caller has its own message per field
  Invalid,  // the text does not convert, or converts to 255.255.255.255
};

struct AddressTextResult {
  AddressTextStatus status = AddressTextStatus::Empty;
  Ip4 bytes{};  // first byte first; meaningful only when status is Ok
  bool ok() const { return status == AddressTextStatus::Ok; }
};

// The message shown for an Invalid result, whatever the field.
inline QString InvalidAddressMessage() { return QStringLiteral("输入IP有误"); }

// Converts text by the classic dotted-address rules of the C library's inet_aton: one to
// four parts, each decimal, octal with a leading 0 or hexadecimal with 0x, the last part
// filling the remaining bytes. 255.255.255.255 is refused: it is no unit's address, mask
// or gateway.
AddressTextResult ParseAddressText(const QString& text);

// The subnet's broadcast address: each byte of address whose mask byte is exactly 0 becomes
// 255; a partial mask byte such as 252 leaves its address byte as it is.
Ip4 BroadcastAddress(const Ip4& address, const Ip4& mask);

// "a.b.c.d" of four bytes.
QString AddressText(const Ip4& address);

}  // namespace mzr
