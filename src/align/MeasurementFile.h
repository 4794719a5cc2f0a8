#pragma once
// Measurements as measurement programs and handheld analysers give them: the text export
// (lines starting with '*' or '#' are comments, one header row of names allowed), .frd files,
// CSV with a header row, and a typed table of one-third-octave readings ("1k 82.5").
// Columns: frequency, level in dB, optionally phase and more (ignored). Separators: blanks,
// tabs, commas or semicolons. A comma is a decimal separator inside a field that blanks, tabs
// or semicolons delimit ("1000,5;82,3" or "1000,5 82,3"), and a column separator otherwise
// ("1000.5,82.3"). Windows line ends and a UTF-8 byte-order mark are accepted. A frequency may
// carry a k suffix (12.5k), a field an "Hz" or "dB" unit.

#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "align/AlignError.h"

namespace mzr {

inline constexpr int kMinimumMeasurementPoints = 10;

struct Measurement {
  std::string name;        // the file as the user named it, for messages
  std::vector<double> hz;  // strictly increasing, > 0
  std::vector<double> db;
};

using MeasurementResult = std::variant<Measurement, AlignError>;

// Parses text (the whole file); name is used in error messages.
MeasurementResult ParseMeasurement(std::string_view text, const std::string& name);

// Reads and parses a file; a file that cannot be read is an error naming it.
MeasurementResult ReadMeasurementFile(const std::filesystem::path& path, const std::string& name);

}  // namespace mzr
