#pragma once
// The units listed by the last searches: one 852-byte image per entry, as each unit sent it,
// and the texts of the device list's rows. Entry i belongs to row i + 1. Entries and rows
// are overwritten by later searches and never cleared as a whole: a new search empties only
// the identity columns (address, hall name, screen number, model, MAC), so a row that the
// new search does not reach keeps the mask, gateway and port it showed before.

#include <QString>

#include <array>
#include <vector>
#include <cstdint>
#include <span>

#include "model/ParameterImage.h"

namespace mzr {

class DeviceTable final {
 public:
  static constexpr int kCapacity = 254;
  static constexpr int kColumns = 9;  // column 0 is the row number

  enum Column {
    NumberColumn = 0,
    IpColumn = 1,
    TheaterNameColumn = 2,
    ScreenNumberColumn = 3,
    ModelColumn = 4,
    MacColumn = 5,
    MaskColumn = 6,
    GatewayColumn = 7,
    PortColumn = 8,
  };

  using Entry = std::array<std::uint8_t, kImageSize>;

  DeviceTable();

  // Entry index 0..253.
  const Entry& entry(int index) const;
  Entry& entry(int index);
  // Copies data into the entry at address; refuses (false) a span that passes byte 851.
  bool Store(int index, std::uint16_t address, std::span<const std::uint8_t> data);

  // Row 1..254, column 0..8 (column 0 holds the row number).
  const QString& cell(int row, int column) const;
  bool rowIsEmpty(int row) const { return cell(row, IpColumn).isEmpty(); }

  // Columns 1..5 of every row to empty text.
  void ClearIdentityColumns();
  // Columns 1..8 of row index + 1 from entry index.
  void FillRow(int index);

  // The eight column texts of an image, as the device list shows them.
  static std::array<QString, kColumns - 1> ColumnTexts(std::span<const std::uint8_t, kImageSize> image);

 private:
  // Made zeroed when the first entry is written: 216 KB a program that never searches
  // does not touch.
  std::vector<Entry> m_entries;
  std::array<std::array<QString, kColumns>, kCapacity + 1> m_cells;  // row 0 unused here
};

}  // namespace mzr
