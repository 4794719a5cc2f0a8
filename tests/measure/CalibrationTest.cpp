// Microphone calibration files: the forms microphones ship with, and the refusals, each
// naming the file and the line.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <variant>

#include "measure/MicCalibration.h"

namespace mzr {
namespace {

struct GoodCase {
  const char* what;
  const char* text;
  std::optional<double> sensitivity;
  std::optional<double> sensitivityHz;
  std::optional<double> gain;
  const char* serial;
  std::size_t points;
  double firstHz;
  double lastDb;
};

TEST(MicCalibration, AcceptsTheCommonForms) {
  const GoodCase cases[] = {
      {"quoted sensitivity, tabs, phase column",
       "\"Sens Factor =-1.378dB, AGain =18dB, SERNO: 7001234\"\n10.054\t-0.4836\t3.2\n20.0\t-0.2\t1.0\n"
       "1000\t0.0\t0\n20000\t1.25\t-5\n",
       -1.378, std::nullopt, 18.0, "7001234", 4, 10.054, 1.25},
      {"starred sensitivity, blanks, comments, Windows line ends and a byte-order mark",
       "\xEF\xBB\xBF*1000Hz -38.6\r\n* 90 degree file\r\n\"comment\"\r\n\r\n20 -3.5\r\n  1000   0  \r\n16000 +2.5\r\n",
       -38.6, 1000.0, std::nullopt, "", 3, 20.0, 2.5},
      {"no sensitivity line, commas and semicolons", "20,-1.0\n100;-0.5\n1000, 0\n", std::nullopt, std::nullopt,
       std::nullopt, "", 3, 20.0, 0.0},
  };
  for (const GoodCase& c : cases) {
    const auto result = ParseCalibration(c.text, "mic.txt");
    ASSERT_TRUE(std::holds_alternative<MicCalibration>(result)) << c.what << ": " << std::get<std::string>(result);
    const auto& cal = std::get<MicCalibration>(result);
    EXPECT_EQ(cal.sensitivityDb, c.sensitivity) << c.what;
    EXPECT_EQ(cal.sensitivityHz, c.sensitivityHz) << c.what;
    EXPECT_EQ(cal.gainDb, c.gain) << c.what;
    EXPECT_EQ(cal.serial, c.serial) << c.what;
    ASSERT_EQ(cal.hz.size(), c.points) << c.what;
    EXPECT_DOUBLE_EQ(cal.hz.front(), c.firstHz) << c.what;
    EXPECT_DOUBLE_EQ(cal.db.back(), c.lastDb) << c.what;
  }
}

TEST(MicCalibration, RefusesABadFileNamingItsLine) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"\"Sens Factor =-1.378dB\"\n20 -1\n100 abc\n", "mic.txt, line 3: not a number in \"100 abc\""},
      {"20 -1\n100\n", "mic.txt, line 2: expected \"frequency dB [phase]\", found \"100\""},
      {"20 -1 0 7\n", "mic.txt, line 1: expected \"frequency dB [phase]\", found \"20 -1 0 7\""},
      {"100 -1\n100 -2\n", "mic.txt, line 2: the frequencies must rise from line to line"},
      {"*1000Hz -38.6\n0 -1\n", "mic.txt, line 2: the frequency must be above 0 Hz"},
      {"20 -1\n30 nan\n", "mic.txt, line 2: not a number in \"30 nan\""},
      {"\"Sens Factor =x dB\"\n20 1\n", "mic.txt, line 1: the Sens Factor is not a number"},
      {"* only comments\n\"and more\"\n", "mic.txt, line 2: no \"frequency dB\" lines in the file"},
      {"", "mic.txt, line 1: no \"frequency dB\" lines in the file"},
  };
  for (const auto& c : cases) {
    const auto result = ParseCalibration(c.text, "mic.txt");
    ASSERT_TRUE(std::holds_alternative<std::string>(result)) << c.text;
    EXPECT_EQ(std::get<std::string>(result), c.message);
  }
}

TEST(MicCalibration, CorrectionIsInterpolatedOnALogAxisAndHeldBeyondTheEnds) {
  const auto result = ParseCalibration("100 -2\n1000 0\n10000 4\n", "m");
  ASSERT_TRUE(std::holds_alternative<MicCalibration>(result));
  const auto& cal = std::get<MicCalibration>(result);
  EXPECT_DOUBLE_EQ(cal.CorrectionAt(20.0), -2.0);
  EXPECT_NEAR(cal.CorrectionAt(std::sqrt(100.0 * 1000.0)), -1.0, 1e-12);
  EXPECT_DOUBLE_EQ(cal.CorrectionAt(1000.0), 0.0);
  EXPECT_NEAR(cal.CorrectionAt(std::sqrt(1000.0 * 10000.0)), 2.0, 1e-12);
  EXPECT_DOUBLE_EQ(cal.CorrectionAt(20000.0), 4.0);
}

TEST(MicCalibration, AFileThatCannotBeReadIsNamed) {
  const auto missing = std::filesystem::temp_directory_path() / "mzr-no-such-calibration.txt";
  const auto result = ReadCalibrationFile(missing, "no-such.txt");
  ASSERT_TRUE(std::holds_alternative<std::string>(result));
  EXPECT_EQ(std::get<std::string>(result), "no-such.txt: cannot read the calibration file");
}

}  // namespace
}  // namespace mzr
