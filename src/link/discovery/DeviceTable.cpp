#include "link/discovery/DeviceTable.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "model/GbkCodec.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

int CheckedIndex(int index) {
  if (index < 0 || index >= DeviceTable::kCapacity) throw std::out_of_range("device table entry");
  return index;
}

// A text slot up to its first zero byte, at most width bytes, decoded from GBK.
QString SlotText(std::span<const std::uint8_t, kImageSize> image, TextField field) {
  const int address = SlotOf(field).address;
  const int width = SlotOf(field).width;
  const auto* begin = reinterpret_cast<const char*>(image.data() + address);
  const auto* end = static_cast<const char*>(std::memchr(begin, 0, static_cast<std::size_t>(width)));
  const std::size_t length = end ? static_cast<std::size_t>(end - begin) : static_cast<std::size_t>(width);
  return QString::fromStdString(Utf8FromGbk(std::string_view(begin, length)));
}

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

DeviceTable::DeviceTable() {
  for (int row = 1; row <= kCapacity; ++row) m_cells[static_cast<std::size_t>(row)][NumberColumn] = QString::number(row);
}

const DeviceTable::Entry& DeviceTable::entry(int index) const {
  static const Entry kEmpty{};
  const auto at = static_cast<std::size_t>(CheckedIndex(index));
  return m_entries.empty() ? kEmpty : m_entries[at];
}

DeviceTable::Entry& DeviceTable::entry(int index) {
  const auto at = static_cast<std::size_t>(CheckedIndex(index));
  if (m_entries.empty()) m_entries.resize(kCapacity);
  return m_entries[at];
}

bool DeviceTable::Store(int index, std::uint16_t address, std::span<const std::uint8_t> data) {
  if (static_cast<std::size_t>(address) + data.size() > kImageSize) return false;
  std::copy(data.begin(), data.end(), entry(index).begin() + address);
  return true;
}

const QString& DeviceTable::cell(int row, int column) const {
  if (row < 1 || row > kCapacity || column < 0 || column >= kColumns) throw std::out_of_range("device list cell");
  return m_cells[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void DeviceTable::ClearIdentityColumns() {
  for (int row = 1; row <= kCapacity; ++row) {
    auto& cells = m_cells[static_cast<std::size_t>(row)];
    for (int column = IpColumn; column <= MacColumn; ++column) cells[static_cast<std::size_t>(column)].clear();
  }
}

void DeviceTable::FillRow(int index) {
  const auto texts = ColumnTexts(entry(index));
  auto& cells = m_cells[static_cast<std::size_t>(index + 1)];
  std::copy(texts.begin(), texts.end(), cells.begin() + 1);
}

std::array<QString, DeviceTable::kColumns - 1> DeviceTable::ColumnTexts(std::span<const std::uint8_t, kImageSize> image) {
  const auto ip = [&](int address) { return Text(FormatIp(image.subspan(static_cast<std::size_t>(address)).first<4>())); };
  const std::uint16_t port = static_cast<std::uint16_t>(image[addr::udpPort] | (image[addr::udpPort + 1] << 8));
  return {
      ip(addr::ipAddress),
      SlotText(image, TextField::theaterName),
      SlotText(image, TextField::screenNumber),
      SlotText(image, TextField::modelName),
      Text(FormatMac(image.subspan(addr::macAddress).first<6>())),
      ip(addr::subnetMask),
      ip(addr::gateway),
      Text(FormatPort(port)),
  };
}

}  // namespace mzr
