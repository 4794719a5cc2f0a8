#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "model/EditableFields.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

struct FormatCase {
  const char* function;
  std::function<std::string(int)> format;
  int input;
  std::string text;
};

TEST(ValueFormat, ExamplesAndEdges) {
  const std::vector<FormatCase> cases = {
      {"FormatFader", FormatFader, 70, "7.0"},
      {"FormatFader", FormatFader, 100, "10.0"},
      {"FormatFader", FormatFader, 5, "0.5"},
      {"FormatFader", FormatFader, 0, "0.0"},
      {"FormatTenthsDb", FormatTenthsDb, 60, "6.0dB"},
      {"FormatTenthsDb", FormatTenthsDb, 5, "0.5dB"},
      {"FormatTenthsDb", FormatTenthsDb, 1, "0.1dB"},
      {"FormatTenthsDb", FormatTenthsDb, 0, "0.0dB"},
      {"FormatTenthsDb", FormatTenthsDb, -1, "-0.1dB"},
      {"FormatTenthsDb", FormatTenthsDb, -5, "-0.5dB"},
      {"FormatTenthsDb", FormatTenthsDb, -9, "-0.9dB"},
      {"FormatTenthsDb", FormatTenthsDb, -10, "-1.0dB"},
      {"FormatTenthsDb", FormatTenthsDb, -15, "-1.5dB"},
      {"FormatTenthsDb", FormatTenthsDb, -60, "-6.0dB"},
      {"FormatTenthsDb", FormatTenthsDb, -120, "-12.0dB"},
      {"FormatTenthsDb", FormatTenthsDb, -128, "-12.8dB"},
      {"FormatOutputLevelDb", FormatOutputLevelDb, 44, "0.0dB"},
      {"FormatOutputLevelDb", FormatOutputLevelDb, 43, "-0.5dB"},
      {"FormatOutputLevelDb", FormatOutputLevelDb, 60, "8.0dB"},
      {"FormatOutputLevelDb", FormatOutputLevelDb, 0, "-22.0dB"},
      {"FormatOutputLevelDb", FormatOutputLevelDb, 45, "0.5dB"},
      {"FormatQ", FormatQ, 0, "0.50"},
      {"FormatQ", FormatQ, 1, "0.75"},
      {"FormatQ", FormatQ, 2, "1.0"},
      {"FormatQ", FormatQ, 3, "1.25"},
      {"FormatQ", FormatQ, 4, "1.50"},
      {"FormatQ", FormatQ, 38, "10.0"},
      {"FormatHz", FormatHz, 60, "60Hz"},
      {"FormatDelayMs", FormatDelayMs, 0, "0mS"},
      {"FormatDelayMs", FormatDelayMs, 200, "200mS"},
      {"FormatMonitorDb", FormatMonitorDb, 0, "-70dB"},
      {"FormatMonitorDb", FormatMonitorDb, 69, "-1dB"},
      {"FormatMonitorDb", FormatMonitorDb, 70, "0dB"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.format(c.input), c.text) << c.function << "(" << c.input << ")";
}

TEST(ValueFormat, TenthsDbNeverShowsPlusOrTwoMinus) {
  for (int t = -128; t <= 127; ++t) {
    const std::string text = FormatTenthsDb(t);
    EXPECT_EQ(text.find('+'), std::string::npos) << t;
    EXPECT_EQ(text.find("--"), std::string::npos) << t;
    EXPECT_EQ(text.front() == '-', t < 0) << t;
  }
}

TEST(ValueFormat, NetworkTexts) {
  const std::array<std::uint8_t, 4> ip{192, 168, 0, 7};
  const std::array<std::uint8_t, 6> mac{0x4C, 0x32, 0xC0, 0xA8, 0x00, 0x07};
  EXPECT_EQ(FormatIp(ip), "192.168.0.7");
  EXPECT_EQ(FormatMac(mac), "4C-32-C0-A8-00-07");
  EXPECT_EQ(FormatPort(2305), "2305");
  EXPECT_EQ(FormatPort(65535), "65535");
}

TEST(ValueFormat, LookupsInsideAndOutsideTheirLists) {
  EXPECT_EQ(GeqBandHz(0), 40);
  EXPECT_EQ(GeqBandHz(14), 1000);
  EXPECT_EQ(GeqBandHz(26), 16000);
  EXPECT_EQ(GeqBandHz(27), std::nullopt);
  EXPECT_EQ(GeqBandLabel(15), "1.25K");
  EXPECT_EQ(GeqBandLabel(26), "16K");
  EXPECT_EQ(BassCornerHz(0), 63);
  EXPECT_EQ(BassCornerHz(3), 125);
  EXPECT_EQ(BassCornerHz(10), 630);
  EXPECT_EQ(BassCornerHz(11), std::nullopt);
  EXPECT_EQ(BassCornerHz(-1), std::nullopt);
  EXPECT_EQ(TrebleCornerHz(0), 1000);
  EXPECT_EQ(TrebleCornerHz(3), 2000);
  EXPECT_EQ(TrebleCornerHz(9), 8000);
  EXPECT_EQ(TrebleCornerHz(10), std::nullopt);
  EXPECT_EQ(BassCornerLabel(10), "630Hz");
  EXPECT_EQ(BassCornerLabel(3), "125Hz");
  EXPECT_EQ(TrebleCornerLabel(1), "1.25K");
  EXPECT_EQ(TrebleCornerLabel(0), "1KHz");
  EXPECT_EQ(TrebleCornerLabel(9), "8KHz");
  // A corner index past its list, read from a file, shows a plain marker.
  EXPECT_EQ(BassCornerLabel(11), kUnknownValueText);
  EXPECT_EQ(TrebleCornerLabel(10), kUnknownValueText);
  EXPECT_EQ(TrebleCornerLabel(255), kUnknownValueText);
  EXPECT_EQ(GeqBandLabel(-1), kUnknownValueText);
  EXPECT_EQ(SlopeDbPerOctave(0), 0);
  EXPECT_EQ(SlopeDbPerOctave(2), 24);
  EXPECT_EQ(SlopeDbPerOctave(4), 48);
  EXPECT_EQ(SlopeDbPerOctave(5), std::nullopt);
  EXPECT_DOUBLE_EQ(SubPeqQ(2), 1.0);
  EXPECT_DOUBLE_EQ(SubPeqQ(38), 10.0);
}

TEST(ValueFormat, SliderMappingsRoundTrip) {
  EXPECT_EQ(slider::geqBand.ToStored(0), 60);
  EXPECT_EQ(slider::geqBand.ToStored(120), -60);
  EXPECT_EQ(slider::subPeqGain.ToStored(150), -120);
  EXPECT_EQ(slider::outputLevel.ToStored(16), 44);
  EXPECT_EQ(slider::outputDelay.ToPosition(0), 200);
  EXPECT_EQ(slider::monitorLevel.ToPosition(70), 0);
  EXPECT_EQ(slider::fader.ToStored(70), 70);
  for (const auto& s : {slider::geqBand, slider::subPeqGain, slider::outputLevel, slider::subPeqFreq}) {
    for (int p = s.minPosition; p <= s.maxPosition; ++p) EXPECT_EQ(s.ToPosition(s.ToStored(p)), p);
  }
}

}  // namespace
}  // namespace mzr
