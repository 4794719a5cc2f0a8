// Address texts typed into the device list, as any UTF-8 bytes (invalid sequences become
// U+FFFD, embedded zeros stay): ParseAddressText agrees with an independent reading of the
// classic dotted-address rules, never gives 255.255.255.255, and an address it takes reads
// back the same from the dotted text the window shows for it.

#include <cstdint>
#include <cstdlib>
#include <optional>

#include "link/discovery/AddressText.h"

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }
int HexValue(char16_t c) {
  if (IsDigit(c)) return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// One to four parts, each starting with a digit: 0x/0X then hex digits, a leading 0 then
// octal digits, else decimal. The parts before the last are single bytes; the last fills
// the bytes that remain. The text ends at its end or at the first white space after the
// last part. Only ASCII without zeros can be an address.
std::optional<mzr::Ip4> Reference(const QString& text) {
  for (const QChar c : text) {
    if (c.unicode() == 0 || c.unicode() > 0x7F) return std::nullopt;
  }
  const auto at = [&](qsizetype i) -> char16_t { return i < text.size() ? text[i].unicode() : u'\0'; };
  std::uint64_t parts[4] = {};
  int count = 0;
  qsizetype i = 0;
  for (;;) {
    if (!IsDigit(at(i))) return std::nullopt;
    int base = 10;
    if (at(i) == u'0') {
      base = 8;
      if ((at(i + 1) == u'x' || at(i + 1) == u'X') && HexValue(at(i + 2)) >= 0) {
        base = 16;
        i += 2;
      }
    }
    std::uint64_t value = 0;
    for (;; ++i) {
      const int d = HexValue(at(i));
      if (d < 0 || d >= base) break;
      value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
      if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    parts[count++] = value;
    if (at(i) != u'.') break;
    if (count == 4 || value > 0xFF) return std::nullopt;
    ++i;
  }
  if (i < text.size() && !IsSpace(at(i))) return std::nullopt;
  const std::uint64_t lastLimit = 0xFFFFFFFFull >> (8 * (count - 1));
  if (parts[count - 1] > lastLimit) return std::nullopt;
  std::uint32_t word = static_cast<std::uint32_t>(parts[count - 1]);
  for (int k = 0; k < count - 1; ++k) word |= static_cast<std::uint32_t>(parts[k]) << (24 - 8 * k);
  const mzr::Ip4 bytes{static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
                       static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
  if (bytes == mzr::Ip4{255, 255, 255, 255}) return std::nullopt;
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const mzr::AddressTextResult result = mzr::ParseAddressText(text);
  if ((result.status == mzr::AddressTextStatus::Empty) != text.isEmpty()) std::abort();
  if (text.isEmpty()) return 0;

  const std::optional<mzr::Ip4> expected = Reference(text);
  if (result.ok() != expected.has_value()) std::abort();
  if (!result.ok()) return 0;
  if (result.bytes != *expected || result.bytes == mzr::Ip4{255, 255, 255, 255}) std::abort();

  const mzr::AddressTextResult again = mzr::ParseAddressText(mzr::AddressText(result.bytes));
  if (!again.ok() || again.bytes != result.bytes) std::abort();
  return 0;
}
