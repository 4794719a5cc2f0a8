#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <set>

#include "model/FieldTable.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

TEST(FieldTable, CoversEveryByteAtMostOnceAndLeavesExactlyTheCarriedBytes) {
  std::array<int, kImageSize> cover{};
  for (const auto& e : AllElements()) {
    ASSERT_GT(e.size, 0) << e.Name();
    ASSERT_LE(e.address + e.size, static_cast<int>(kImageSize)) << e.Name();
    for (int i = 0; i < e.size; ++i) {
      EXPECT_EQ(++cover[static_cast<std::size_t>(e.address + i)], 1) << e.Name() << " overlaps at " << e.address + i;
    }
  }
  std::vector<int> expected;
  for (int a = 152; a <= 165; ++a) expected.push_back(a);
  expected.insert(expected.end(), {184, 185});
  for (int row = 0; row < kChannelRows; ++row) expected.push_back(addr::geqGain + kGeqRowStride * row + 27);
  expected.insert(expected.end(), {465, 501});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(UncoveredBytes(), expected);
}

TEST(FieldTable, NamesAreUniqueAndFoundByName) {
  std::set<std::string> names;
  for (const auto& e : AllElements()) EXPECT_TRUE(names.insert(e.Name()).second) << e.Name();
  EXPECT_TRUE(names.count("geqGain[6][26]"));
  EXPECT_TRUE(names.count("subPeq[1].qIndex"));
  EXPECT_TRUE(names.count("toneControl[4].trebleFreq"));
  EXPECT_TRUE(names.count("outputLevel[7]"));
  EXPECT_TRUE(names.count("modelName"));
  EXPECT_FALSE(names.count("geqGain[0][27]"));
  ASSERT_NE(FindField("speakerFreq"), nullptr);
  EXPECT_EQ(FindField("speakerFreq")->address, addr::speakerFreq);
  EXPECT_EQ(FindField("nosuchField"), nullptr);
}

// The table must agree with the image's own accessors on any content, so a slip in an
// address, a size or a member offset shows here.
TEST(FieldTable, NumbersAgreeWithTheImageAccessors) {
  std::mt19937 random(7);
  std::array<std::uint8_t, kImageSize> bytes{};
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  ParameterImage image;
  image.ReplaceAll(bytes);

  std::map<std::string, int> n;
  for (const auto& e : AllElements()) {
    if (auto v = StoredNumber(image, e)) n[e.Name()] = *v;
  }
  for (int k = 0; k < 2; ++k) {
    const auto peq = image.subPeq(k);
    const std::string p = "subPeq[" + std::to_string(k) + "].";
    EXPECT_EQ(n[p + "freq"], peq.freq);
    EXPECT_EQ(n[p + "gain"], peq.gain);
    EXPECT_EQ(n[p + "qIndex"], peq.qIndex);
  }
  for (int ch = 0; ch < kChannelRows; ++ch) {
    const auto tone = image.toneControl(ch);
    const std::string t = "toneControl[" + std::to_string(ch) + "].";
    EXPECT_EQ(n[t + "bassGain"], tone.bassGain);
    EXPECT_EQ(n[t + "bassFreq"], tone.bassFreq);
    EXPECT_EQ(n[t + "trebleGain"], tone.trebleGain);
    EXPECT_EQ(n[t + "trebleFreq"], tone.trebleFreq);
    for (int b = 0; b < kGeqBands; ++b) {
      EXPECT_EQ(n["geqGain[" + std::to_string(ch) + "][" + std::to_string(b) + "]"], image.geqGain(ch, b));
    }
  }
  for (int k = 0; k < 10; ++k) EXPECT_EQ(n["speakerFreq[" + std::to_string(k) + "]"], image.speakerFreq(k));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(n["bandGain[" + std::to_string(k) + "]"], image.bandGain(k));
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(n["outputDelay[" + std::to_string(i) + "]"], image.outputDelay(i));
    EXPECT_EQ(n["faderLevel[" + std::to_string(i) + "]"], image.faderLevel(i));
  }
  for (int i = 0; i < 12; ++i) EXPECT_EQ(n["monitorLevel[" + std::to_string(i) + "]"], image.monitorLevel(i));
  EXPECT_EQ(n["speakerFilterEnable"], image.speakerFilterEnable());
  EXPECT_EQ(n["udpPort"], image.udpPort());
  EXPECT_EQ(n["netParam2"], image.netParam2());
  EXPECT_EQ(n["prologicMask"], image.prologicMask());
  EXPECT_EQ(n["midDelay"], image.midDelay());
}

std::string Shown(const ParameterImage& image, std::string_view name) {
  for (const auto& e : AllElements()) {
    if (e.Name() == name) return DisplayText(image, e);
  }
  return "<no field " + std::string(name) + ">";
}

TEST(FieldTable, DisplayTextsOfANewProject) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  image.setOutputLevel(1, 43);
  image.setSubPeq(1, {80, -15, 4});
  image.setGeqGain(2, 14, -5);
  image.setPolarityMask(0x05);
  ASSERT_EQ(image.SetText(TextField::theaterName, "一号厅"), TextStoreResult::Stored);
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"modelName", "MZR4700"},
      {"firmwareDate", "Nov  2 2010"},
      {"configToken", "MZR4700ConfigData"},
      {"macAddress", "4C-32-C0-A8-00-07"},
      {"ipAddress", "192.168.0.7"},
      {"subnetMask", "255.255.255.0"},
      {"udpPort", "2305"},
      {"presetLevel[0]", "8.0"},
      {"subLpfFreq", "125Hz"},
      {"subLpfSlope", "24dB/OCT"},
      {"outputLevel[0]", "0.0dB"},
      {"outputLevel[1]", "-0.5dB"},
      {"outputDelay[5]", "0mS"},
      {"polarityMask", "00000101"},
      {"subPeq[0].freq", "60Hz"},
      {"subPeq[0].qIndex", "1.0"},
      {"subPeq[1].gain", "-1.5dB"},
      {"subPeq[1].qIndex", "1.50"},
      {"toneControl[0].bassFreq", "125Hz"},
      {"toneControl[0].trebleFreq", "2KHz"},
      {"geqGain[2][14]", "-0.5dB"},
      {"speakerPeqQ[0]", "4.32"},
      {"speakerFreq[0]", "1000Hz"},
      {"bandGain[2]", "6.0dB"},
      {"monitorLevel[0]", "-70dB"},
      {"theaterName", "一号厅"},
      {"inputSource", "Digital OPT 1"},
      {"faderLevel[4]", "7.0"},
      {"testSignalType", "Pink"},
      {"fadeTime", "Fade Time 5S"},
      {"powerOnSource", "Last Selected"},
      {"masterFlags", "00000010"},
      {"makerTag", "KORVEn"},
  };
  for (const auto& [name, text] : cases) EXPECT_EQ(Shown(image, name), text) << name;

  // Values past their lists show the unknown-value mark rather than a neighbour's label.
  image.setSubLpfFreq(11);
  image.setInputSource(5);
  image.setFadeTime(10);
  EXPECT_EQ(Shown(image, "subLpfFreq"), kUnknownValueText);
  EXPECT_EQ(Shown(image, "inputSource"), kUnknownValueText);
  EXPECT_EQ(Shown(image, "fadeTime"), kUnknownValueText);
}

TEST(FieldTable, StoredTextOfATextEscapesItsGbkBytes) {
  ParameterImage image;
  ASSERT_EQ(image.SetText(TextField::screenNumber, "厅\"1"), TextStoreResult::Stored);
  for (const auto& e : ElementsOf(*FindField("screenNumber"))) {
    EXPECT_EQ(StoredText(image, e), "\"\\xCC\\xFC\\x221\"");
  }
  // A serial number that fills its slot has no terminator and still shows 16 characters.
  ASSERT_NE(image.SetText(TextField::serialNumber, "ABCDEFGHIJKLMNOP"), TextStoreResult::Refused);
  EXPECT_EQ(Shown(image, "serialNumber"), "ABCDEFGHIJKLMNOP");
}

}  // namespace
}  // namespace mzr
