#pragma once
// Microphone calibration files as measurement microphones ship them: a first line that
// names the sensitivity, either in quotes ("Sens Factor =-1.378dB, AGain =18dB, SERNO:
// 7001234") or as a starred line (*1000Hz -38.6), then one "frequency dB [phase]" line per
// point (blanks, tabs, commas or semicolons between the fields); further lines starting with
// '*' or '"' are comments. 0- and 90-degree files have the same form. The correction is the
// microphone's own deviation: the analyser subtracts it at each band's centre. The
// sensitivity is kept and reported; levels stay relative to full scale.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace mzr {

struct MicCalibration {
  std::string name;                     // the file as the user named it
  std::string header;                   // the sensitivity line as written, quotes removed
  std::optional<double> sensitivityDb;  // "Sens Factor" or the starred line's figure
  std::optional<double> sensitivityHz;  // the starred line's frequency
  std::optional<double> gainDb;         // "AGain"
  std::string serial;                   // "SERNO"
  std::vector<double> hz;               // strictly rising, > 0
  std::vector<double> db;

  // The correction at hz: straight lines between points on a logarithmic frequency axis,
  // the end points' values beyond them.
  double CorrectionAt(double hz) const;
};

// Either the calibration or one line "NAME, line N: what is wrong".
using CalibrationResult = std::variant<MicCalibration, std::string>;

CalibrationResult ParseCalibration(std::string_view text, const std::string& name);
CalibrationResult ReadCalibrationFile(const std::filesystem::path& path, const std::string& name);

}  // namespace mzr
