// Address texts, broadcast addresses and the device-list columns: pure functions, nothing
// is sent anywhere.

#include <gtest/gtest.h>

#include <QString>

#include "link/discovery/AddressText.h"
#include "link/discovery/DeviceTable.h"
#include "link/discovery/LocalNetwork.h"

namespace mzr {
namespace {

struct ParseCase {
  const char* text;
  AddressTextStatus status;
  Ip4 bytes;
};

TEST(ParseAddressText, FollowsTheClassicDottedRules) {
  const ParseCase cases[] = {
      {"", AddressTextStatus::Empty, {}},
      {"1.2.3.4", AddressTextStatus::Ok, {1, 2, 3, 4}},
      {"010.0.0.1", AddressTextStatus::Ok, {8, 0, 0, 1}},          // leading 0: octal
      {"0x7f.1", AddressTextStatus::Ok, {127, 0, 0, 1}},           // hex, last part fills 3 bytes
      {"127.1", AddressTextStatus::Ok, {127, 0, 0, 1}},
      {"10.1.258", AddressTextStatus::Ok, {10, 1, 1, 2}},          // last part fills 2 bytes
      {"3232235777", AddressTextStatus::Ok, {192, 168, 1, 1}},     // one part fills all four
      {"0.0.0.0", AddressTextStatus::Ok, {0, 0, 0, 0}},
      {"255.255.255.254", AddressTextStatus::Ok, {255, 255, 255, 254}},
      {"256.1.1.1", AddressTextStatus::Invalid, {}},
      {"1.2.3.256", AddressTextStatus::Invalid, {}},
      {"08.1.1.1", AddressTextStatus::Invalid, {}},                // 8 is no octal digit
      {"255.255.255.255", AddressTextStatus::Invalid, {}},
      {"0xffffffff", AddressTextStatus::Invalid, {}},              // 255.255.255.255 in disguise
      {"abc", AddressTextStatus::Invalid, {}},
      {"1.2.3.x", AddressTextStatus::Invalid, {}},
      {"1.2.3.4.5", AddressTextStatus::Invalid, {}},
      {" ", AddressTextStatus::Invalid, {}},
      {"1..2.3", AddressTextStatus::Invalid, {}},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.text);
    const AddressTextResult result = ParseAddressText(QString::fromUtf8(c.text));
    EXPECT_EQ(result.status, c.status);
    if (c.status == AddressTextStatus::Ok) {
      EXPECT_EQ(result.bytes, c.bytes);
    }
  }
}

TEST(ParseAddressText, RefusesTextThatTheCLibraryWouldCutShort) {
  // An embedded NUL would end the C string after a valid address.
  EXPECT_EQ(ParseAddressText(QStringLiteral("1.2.3.4") + QChar(0) + QStringLiteral("junk")).status,
            AddressTextStatus::Invalid);
  EXPECT_EQ(ParseAddressText(QStringLiteral("１.2.3.4")).status, AddressTextStatus::Invalid);  // full-width digit
  EXPECT_EQ(ParseAddressText(QStringLiteral("网关")).status, AddressTextStatus::Invalid);
}

TEST(BroadcastAddress, SetsEveryByteWhoseMaskByteIsZero) {
  struct Case {
    Ip4 address, mask, broadcast;
  };
  const Case cases[] = {
      {{10, 1, 2, 3}, {255, 0, 0, 0}, {10, 255, 255, 255}},
      {{10, 1, 2, 3}, {255, 255, 252, 0}, {10, 1, 2, 255}},  // a partial mask byte keeps its address byte
      {{192, 168, 1, 20}, {255, 255, 255, 0}, {192, 168, 1, 255}},
      {{127, 0, 0, 1}, {255, 0, 0, 0}, {127, 255, 255, 255}},
      {{172, 16, 5, 9}, {255, 255, 255, 255}, {172, 16, 5, 9}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BroadcastAddress(c.address, c.mask), c.broadcast) << AddressText(c.address).toStdString();
  }
  EXPECT_EQ(AddressText(BroadcastAddress({192, 168, 1, 20}, {255, 255, 255, 0})), QStringLiteral("192.168.1.255"));
}

TEST(SearchBroadcastAddress, StaysOnLoopbackForALoopbackAddress) {
  // The loopback interface holds 127.0.0.1/8; other loopback addresses are not listed by any
  // interface and must still never fall back to a broadcast on a real network.
  EXPECT_EQ(SearchBroadcastAddress(QStringLiteral("127.0.0.1")), QStringLiteral("127.255.255.255"));
  EXPECT_EQ(SearchBroadcastAddress(QStringLiteral("127.0.0.9")), QStringLiteral("127.255.255.255"));
  // An address no interface holds, or none at all: the fixed fallback.
  EXPECT_EQ(SearchBroadcastAddress(QStringLiteral("203.0.113.77")), FallbackBroadcastAddress());
  EXPECT_EQ(SearchBroadcastAddress(QString()), FallbackBroadcastAddress());
  EXPECT_EQ(FallbackBroadcastAddress(), QStringLiteral("192.168.0.255"));
}

TEST(FindLocalIp, TakesTheExplicitAddressAndRefusesNonsense) {
  Config config;
  qunsetenv("MZR4700_LOCAL_IP");
  config.localIp = QStringLiteral("127.0.0.1");
  EXPECT_EQ(FindLocalIp(config), QStringLiteral("127.0.0.1"));
  qputenv("MZR4700_LOCAL_IP", "127.0.0.3");
  EXPECT_EQ(FindLocalIp(config), QStringLiteral("127.0.0.3"));
  qputenv("MZR4700_LOCAL_IP", "not an address");
  EXPECT_EQ(FindLocalIp(config), QString());
  qunsetenv("MZR4700_LOCAL_IP");
}

DeviceTable::Entry UnitImage(Ip4 ip) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  image.setIpAddress(ip);
  image.setSubnetMask({255, 255, 255, 0});
  image.setGateway({ip[0], ip[1], ip[2], 1});
  image.setUdpPort(2305);
  image.setMacAddress({0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0xFE});
  EXPECT_EQ(image.SetText(TextField::theaterName, "一号厅"), TextStoreResult::Stored);
  EXPECT_EQ(image.SetText(TextField::screenNumber, "Screen 7"), TextStoreResult::Stored);
  DeviceTable::Entry entry{};
  std::copy(image.All().begin(), image.All().end(), entry.begin());
  return entry;
}

TEST(DeviceTable, ShowsEveryColumnOfAUnitsImage) {
  const auto texts = DeviceTable::ColumnTexts(UnitImage({10, 0, 0, 2}));
  const std::array<QString, 8> expected{
      QStringLiteral("10.0.0.2"),      QStringLiteral("一号厅"),      QStringLiteral("Screen 7"),
      QStringLiteral("MZR4700"),       QStringLiteral("00-1A-2B-3C-4D-FE"), QStringLiteral("255.255.255.0"),
      QStringLiteral("10.0.0.1"),      QStringLiteral("2305")};
  EXPECT_EQ(texts, expected);
}

TEST(DeviceTable, AHallNameWithoutTerminatorShowsAllFortyBytes) {
  DeviceTable::Entry entry = UnitImage({10, 0, 0, 2});
  std::fill_n(entry.begin() + addr::theaterName, 40, 'H');  // runs straight into the screen number
  EXPECT_EQ(DeviceTable::ColumnTexts(entry)[1], QString(40, QLatin1Char('H')));
}

TEST(DeviceTable, ClearingKeepsMaskGatewayAndPortOfEarlierSearches) {
  DeviceTable table;
  const DeviceTable::Entry unit = UnitImage({10, 0, 0, 3});
  ASSERT_TRUE(table.Store(2, 0, unit));
  table.FillRow(2);
  table.ClearIdentityColumns();
  EXPECT_EQ(table.cell(3, DeviceTable::NumberColumn), QStringLiteral("3"));
  for (int column = DeviceTable::IpColumn; column <= DeviceTable::MacColumn; ++column) EXPECT_TRUE(table.cell(3, column).isEmpty());
  EXPECT_EQ(table.cell(3, DeviceTable::MaskColumn), QStringLiteral("255.255.255.0"));
  EXPECT_EQ(table.cell(3, DeviceTable::GatewayColumn), QStringLiteral("10.0.0.1"));
  EXPECT_EQ(table.cell(3, DeviceTable::PortColumn), QStringLiteral("2305"));
  EXPECT_TRUE(table.rowIsEmpty(3));
  EXPECT_FALSE(table.Store(0, 850, std::span<const std::uint8_t>(unit).first(3)));  // passes byte 851
}

}  // namespace
}  // namespace mzr
