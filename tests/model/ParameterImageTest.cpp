#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "model/ParameterImage.h"
#include "model/WriteSpan.h"

namespace mzr {
namespace {

std::vector<std::uint8_t> Slice(const ParameterImage& image, std::size_t address, std::size_t count) {
  const auto bytes = image.Bytes(address, count);
  EXPECT_TRUE(bytes.has_value());
  return bytes ? std::vector<std::uint8_t>(bytes->begin(), bytes->end()) : std::vector<std::uint8_t>{};
}

// An image whose every byte is 0xEE, so any byte New Project writes stands out.
ParameterImage Filled(std::uint8_t value) {
  ParameterImage image;
  std::array<std::uint8_t, kImageSize> bytes;
  bytes.fill(value);
  image.ReplaceAll(bytes);
  return image;
}

struct DefaultBytes {
  int address;
  std::vector<std::uint8_t> bytes;
};

TEST(ImageDefaults, NewProjectWritesTheListedBytes) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  const std::vector<DefaultBytes> cases = {
      {64, {'M', 'Z', 'R', '4', '7', '0', '0', 0}},
      {80, {'S', 'e', 'r', ':', '0', '0', '0', '0', '0', '0', '0', '1', 0}},
      {96, {'V', '0', '.', '9', 0}},
      {112, {'N', 'o', 'v', ' ', ' ', '2', ' ', '2', '0', '1', '0', 0}},
      {128, {1, 0, 0x00, 0x96}},  // netParam1 1, netParam2 38400
      {132, {0x4C, 0x32, 0xC0, 0xA8, 0x00, 0x07}},
      {138, {192, 168, 0, 7, 255, 255, 255, 0, 192, 168, 0, 1}},
      {150, {1, 9}},
      {186, {80, 80, 80, 80, 80, 80, 80, 80, 0, 4, 3, 2}},
      {198, {44, 44, 44, 44, 44, 44, 44, 44, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {216, {60, 0, 0, 2, 80, 0, 0, 2}},
      {224, {0, 3, 0, 3, 0, 3, 0, 3}},
      {448, {0, 0, 255, 0, 0, 0, 0, 0, 0, 7, 7, 7, 7, 7, 7, 0, 0}},
      {466, {232, 3, 0x94, 0x11}},  // 1000, 4500
      {484, {0xE0, 0x2E, 12, 12, 12}},  // 12000, bandGain
      {489, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {582, {' ', 0}},
      {622, {' ', 0}},
      {822, {0, 70, 70, 70, 70, 70, 70, 70, 70, 0, 0, 4, 5, 2}},
      {837, {'K', 'O', 'R', 'V', 'E', 'n', 0}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Slice(image, static_cast<std::size_t>(c.address), c.bytes.size()), c.bytes) << "at " << c.address;
  }
  EXPECT_EQ(image.macAddress(), (Mac{0x4C, 0x32, 0xC0, 0xA8, 0x00, 0x07}));
  EXPECT_EQ(image.udpPort(), 2305);
  EXPECT_EQ(image.speakerFreq(0), 1000);
  EXPECT_EQ(image.Text(TextField::configToken), "MZR4700ConfigData");
  for (int ch = 0; ch < kChannelRows; ++ch)
    for (int b = 0; b < kGeqBands; ++b) EXPECT_EQ(image.geqGain(ch, b), 0);
}

TEST(ImageDefaults, NewProjectLeavesUncoveredBytesAlone) {
  ParameterImage image = Filled(0xEE);
  image.ApplyNewProjectDefaults();
  // Banner: 48 characters and the zero in 0..48, 49..63 untouched.
  EXPECT_EQ(image.TextBytes(TextField::bannerText), kDefaultBanner);
  EXPECT_EQ(image.U8(48), 0);
  for (int a = 49; a < 64; ++a) EXPECT_EQ(image.U8(a), 0xEE) << a;
  // Token at 166..183, 184/185 untouched.
  EXPECT_EQ(image.U8(183), 0);
  EXPECT_EQ(image.U8(184), 0xEE);
  EXPECT_EQ(image.U8(185), 0xEE);
  std::vector<int> untouched = {215, 465, 501, 836};
  for (int a = 152; a <= 165; ++a) untouched.push_back(a);
  for (int ch = 0; ch < kChannelRows; ++ch) untouched.push_back(252 + 28 * ch + 27);
  for (int a : untouched) EXPECT_EQ(image.U8(a), 0xEE) << "address " << a;
  // digitalPlayer1/2 and automationSystem are not written at all.
  for (int a : {502, 541, 542, 581, 742, 781}) EXPECT_EQ(image.U8(a), 0xEE) << a;
  // The blanked profile texts keep the bytes behind their terminator.
  EXPECT_EQ(image.U8(584), 0xEE);
}

// The whole image at once: over an image of 0xEE, New Project changes exactly the bytes
// below (each text with its zero, the rest of its slot kept) and not one other.
TEST(ImageDefaults, NewProjectChangesNoOtherByte) {
  std::array<std::uint8_t, kImageSize> expected;
  expected.fill(0xEE);
  const auto put = [&](int address, const std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) expected[static_cast<std::size_t>(address) + i] = bytes[i];
  };
  const auto text = [&](int address, std::string_view t) {
    put(address, std::vector<std::uint8_t>(t.begin(), t.end()));
    expected[static_cast<std::size_t>(address) + t.size()] = 0;
  };
  const auto fill = [&](int address, int count, std::uint8_t v) {
    put(address, std::vector<std::uint8_t>(static_cast<std::size_t>(count), v));
  };
  text(0, kDefaultBanner);
  text(64, "MZR4700");
  text(80, "Ser:00000001");
  text(96, "V0.9");
  text(112, "Nov  2 2010");
  put(128, {1, 0, 0x00, 0x96, 76, 50, 192, 168, 0, 7, 192, 168, 0, 7, 255, 255, 255, 0, 192, 168, 0, 1, 0x01, 0x09});
  text(166, "MZR4700ConfigData");
  put(186, {80, 80, 80, 80, 80, 80, 80, 80, 0, 4, 3, 2});
  fill(198, 8, 44);
  fill(206, 8, 0);
  put(214, {0});
  put(216, {60, 0, 0, 2, 80, 0, 0, 2});
  for (int ch = 0; ch < 7; ++ch) {
    put(224 + 4 * ch, {0, 3, 0, 3});
    fill(252 + 28 * ch, 27, 0);
  }
  put(448, {0, 0, 255, 0, 0, 0, 0, 0, 0, 7, 7, 7, 7, 7, 7, 0, 0});
  put(466, {0xE8, 0x03, 0x94, 0x11, 0x70, 0x17, 0x40, 0x1F, 0x10, 0x27, 0xE0, 0x2E, 0xF4, 0x01, 0xA0, 0x0F,
            0x88, 0x13, 0xE0, 0x2E, 12, 12, 12});
  fill(489, 12, 0);
  for (int address : {582, 622, 662, 702, 782}) text(address, " ");
  put(822, {0, 70, 70, 70, 70, 70, 70, 70, 70, 0, 0, 4, 5, 2});
  text(837, "KORVEn");

  ParameterImage image = Filled(0xEE);
  image.ApplyNewProjectDefaults();
  for (std::size_t a = 0; a < kImageSize; ++a) EXPECT_EQ(image.U8(static_cast<int>(a)), expected[a]) << "address " << a;
}

TEST(ImageDefaults, NewProjectOverLoadedImageKeepsCarriedFields) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  image.setMuteMask(0x21);
  image.setPrologicMask(0x05);
  ASSERT_EQ(image.SetText(TextField::digitalPlayer1, "播放器一"), TextStoreResult::Stored);
  ASSERT_EQ(image.SetText(TextField::digitalPlayer2, "Player 2"), TextStoreResult::Stored);
  ASSERT_EQ(image.SetText(TextField::automationSystem, "Auto"), TextStoreResult::Stored);
  ASSERT_EQ(image.SetText(TextField::theaterName, "Hall 3"), TextStoreResult::Stored);
  for (int a = 152; a <= 165; ++a) image.SetU8(a, static_cast<std::uint8_t>(a));
  image.setGeqGain(0, 5, 33);
  image.ApplyNewProjectDefaults();
  EXPECT_EQ(image.muteMask(), 0x21);
  EXPECT_EQ(image.prologicMask(), 0x05);
  EXPECT_EQ(image.Text(TextField::digitalPlayer1), "播放器一");
  EXPECT_EQ(image.Text(TextField::digitalPlayer2), "Player 2");
  EXPECT_EQ(image.Text(TextField::automationSystem), "Auto");
  EXPECT_EQ(image.Text(TextField::theaterName), " ");
  EXPECT_EQ(image.geqGain(0, 5), 0);
  for (int a = 152; a <= 165; ++a) EXPECT_EQ(image.U8(a), a);
}

TEST(ImageSpans, BytesAndStoreRefuseSpansPastTheEnd) {
  ParameterImage image = Filled(0x11);
  const std::vector<std::uint8_t> two{1, 2};
  EXPECT_TRUE(image.Store(850, two));
  EXPECT_EQ(image.U8(851), 2);
  EXPECT_FALSE(image.Store(851, two));
  EXPECT_FALSE(image.Store(5000, two));
  EXPECT_FALSE(image.Store(SIZE_MAX, two));
  EXPECT_EQ(image.U8(851), 2);
  EXPECT_EQ(image.U8(850), 1);
  EXPECT_TRUE(image.Bytes(0, 852).has_value());
  EXPECT_TRUE(image.Bytes(852, 0).has_value());
  EXPECT_FALSE(image.Bytes(0, 853).has_value());
  EXPECT_FALSE(image.Bytes(851, 2).has_value());
  EXPECT_FALSE(image.Bytes(SIZE_MAX, 2).has_value());
}

TEST(ImageFields, RecordsAndNumbersAreLittleEndianAndSigned) {
  ParameterImage image;
  image.setSubPeq(1, {0x0102, -120, 38});
  EXPECT_EQ(Slice(image, 220, 4), (std::vector<std::uint8_t>{0x02, 0x01, 0x88, 38}));
  EXPECT_EQ(image.subPeq(1), (SubPeq{0x0102, -120, 38}));
  image.setToneControl(6, {-60, 10, 60, 9});
  EXPECT_EQ(Slice(image, 248, 4), (std::vector<std::uint8_t>{0xC4, 10, 60, 9}));
  image.setGeqGain(6, 26, -1);
  EXPECT_EQ(image.U8(252 + 28 * 6 + 26), 0xFF);
  EXPECT_EQ(ParameterImage::GeqAddress(0, 14), 266);
  EXPECT_THROW(image.geqGain(0, 27), std::out_of_range);
  EXPECT_THROW(image.outputLevel(8), std::out_of_range);
}

// The fields no editor changes still have typed setters that land on their own bytes.
TEST(ImageFields, CarriedFieldsHaveTypedSettersAtTheirAddresses) {
  ParameterImage image;
  image.setNetParam1(0x0201);
  image.setNetParam2(38400);
  image.setSpeakerFilterEnable(0x03FF);
  image.setSpeakerSlopes(0x1B);
  image.setSpeakerPeqGain(5, -30);
  image.setSpeakerPeqQ(5, 12);
  image.setLowDelay(17);
  image.setMidDelay(9);
  image.setSpeakerFreq(9, 12000);
  image.setBandGain(2, -4);
  EXPECT_EQ(Slice(image, 128, 4), (std::vector<std::uint8_t>{0x01, 0x02, 0x00, 0x96}));
  EXPECT_EQ(Slice(image, 448, 3), (std::vector<std::uint8_t>{0xFF, 0x03, 0x1B}));
  EXPECT_EQ(image.U8(456), 0xE2);
  EXPECT_EQ(image.U8(462), 12);
  EXPECT_EQ(Slice(image, 463, 3), (std::vector<std::uint8_t>{17, 9, 0}));
  EXPECT_EQ(Slice(image, 484, 2), (std::vector<std::uint8_t>{0xE0, 0x2E}));
  EXPECT_EQ(image.U8(488), 0xFC);
  EXPECT_EQ(image.speakerPeqGain(5), -30);
  EXPECT_EQ(image.speakerFreq(9), 12000);
  EXPECT_EQ(image.bandGain(2), -4);
  EXPECT_THROW(image.setSpeakerFreq(10, 1), std::out_of_range);
  EXPECT_THROW(image.setBandGain(3, 1), std::out_of_range);
}

struct TextCase {
  const char* what;
  TextField field;
  std::string input;
  TextStoreResult result;
  std::string storedGbk;  // the bytes before the terminator
};

TEST(ImageText, SettersStayInsideTheirSlot) {
  const std::string forty(40, 'x');
  std::string chinese20;  // 20 characters, 40 GBK bytes
  for (int i = 0; i < 20; ++i) chinese20 += "影";
  std::string gbk19chars;
  for (int i = 0; i < 19; ++i) gbk19chars += "\xD3\xB0";  // 影
  const std::vector<TextCase> cases = {
      {"fits", TextField::theaterName, "Hall 1", TextStoreResult::Stored, "Hall 1"},
      {"39 bytes fit", TextField::theaterName, std::string(39, 'y'), TextStoreResult::Stored, std::string(39, 'y')},
      {"40 bytes cut to 39", TextField::theaterName, forty, TextStoreResult::Cut, std::string(39, 'x')},
      {"never splits a GBK character", TextField::comments, chinese20, TextStoreResult::Cut, gbk19chars},
      {"serial of 16 fills the slot", TextField::serialNumber, "ABCDEFGHIJKLMNOP", TextStoreResult::Stored,
       "ABCDEFGHIJKLMNOP"},
      {"serial of 17 is cut to 16", TextField::serialNumber, "ABCDEFGHIJKLMNOPQ", TextStoreResult::Cut,
       "ABCDEFGHIJKLMNOP"},
      {"not in GBK is refused", TextField::theaterName, "Hall \xF0\x9F\x8E\xAC", TextStoreResult::Refused, "keep"},
      {"bad UTF-8 is refused", TextField::theaterName, "\xFF\xFE", TextStoreResult::Refused, "keep"},
  };
  for (const auto& c : cases) {
    ParameterImage image = Filled(0x5A);
    ASSERT_EQ(image.SetText(TextField::theaterName, "keep"), TextStoreResult::Stored);
    const TextSlot& slot = SlotOf(c.field);
    const std::uint8_t before = image.U8(slot.address + slot.width);
    EXPECT_EQ(image.SetText(c.field, c.input), c.result) << c.what;
    if (c.result != TextStoreResult::Refused || c.field == TextField::theaterName) {
      EXPECT_EQ(image.TextBytes(c.field), c.storedGbk) << c.what;
    }
    EXPECT_EQ(image.U8(slot.address + slot.width), before) << c.what << ": wrote past the slot";
  }
}

TEST(ImageText, TextsDecodeFromGbk) {
  ParameterImage image;
  ASSERT_EQ(image.SetText(TextField::projectName, "中影国际影城"), TextStoreResult::Stored);
  EXPECT_EQ(image.TextBytes(TextField::projectName).size(), 12u);
  EXPECT_EQ(image.Text(TextField::projectName), "中影国际影城");
  // A damaged text read from a file still shows, with the bad byte marked.
  image.SetU8(addr::comments, 'A');
  image.SetU8(addr::comments + 1, 0x81);
  image.SetU8(addr::comments + 2, 0);
  EXPECT_EQ(image.Text(TextField::comments), "A\xEF\xBF\xBD");
  // A full serial number has no terminator and does not run into the firmware version.
  image.SetTextBytes(TextField::serialNumber, "0123456789ABCDEF");
  image.SetTextBytes(TextField::firmwareVersion, "V0.9");
  EXPECT_EQ(image.Text(TextField::serialNumber), "0123456789ABCDEF");
}

TEST(WriteSpans, EditorsSendTheFixedSpans) {
  struct Case {
    EditedField field;
    int index;
    WriteSpan span;
  };
  const std::vector<Case> cases = {
      {EditedField::presetLevel, 3, {WriteKind::Write, 186, 5}},
      {EditedField::presetEnableMask, 0, {WriteKind::Write, 194, 1}},
      {EditedField::micRouteFlags, 0, {WriteKind::Write, 195, 1}},
      {EditedField::subLpf, 0, {WriteKind::Write, 196, 2}},
      {EditedField::polarityMask, 0, {WriteKind::Write, 214, 1}},
      {EditedField::muteMask, 0, {WriteKind::Write, 215, 1}},
      {EditedField::outputLevel, 5, {WriteKind::Write, 203, 1}},
      {EditedField::outputDelay, 2, {WriteKind::Write, 208, 1}},
      {EditedField::subPeqFreqGain, 1, {WriteKind::Write, 220, 3}},
      {EditedField::subPeqQ, 1, {WriteKind::Write, 220, 4}},
      {EditedField::toneBass, 4, {WriteKind::Write, 240, 2}},
      {EditedField::toneTreble, 4, {WriteKind::Write, 242, 2}},
      {EditedField::geqGain, 14, {WriteKind::Write, 266, 1}},
      {EditedField::monitorLevel, 3, {WriteKind::Write, 489, 12}},
      {EditedField::serialNumber, 0, {WriteKind::BlockWrite, 80, 16}},
      {EditedField::inputSource, 0, {WriteKind::Write, 822, 5}},
      {EditedField::faderLevel, 2, {WriteKind::Write, 823, 8}},
      {EditedField::testSignal, 0, {WriteKind::Write, 831, 2}},
      {EditedField::fadeTime, 0, {WriteKind::BlockWrite, 833, 1}},
      {EditedField::powerOnSource, 0, {WriteKind::BlockWrite, 834, 1}},
      {EditedField::masterFlags, 0, {WriteKind::Write, 835, 1}},
      {EditedField::prologicMask, 0, {WriteKind::Write, 836, 1}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WriteSpanFor(c.field, c.index), c.span) << static_cast<int>(c.field);
  }
  static_assert(WriteSpanFor(EditedField::geqGain, 28 * 6 + 26).address == 446);
}

}  // namespace
}  // namespace mzr
