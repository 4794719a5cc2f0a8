#include "align/MeasurementFile.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>

namespace mzr {
namespace {

// A file larger than this is no measurement export (they are a few hundred kB at most).
constexpr std::uintmax_t kMaximumFileBytes = 64u * 1024u * 1024u;

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r\f\v");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\f\v");
  return s.substr(first, last - first + 1);
}

std::vector<std::string> SplitOn(std::string_view line, std::string_view separators) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (start <= line.size()) {
    const auto end = line.find_first_of(separators, start);
    const auto field = Trim(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (!field.empty()) fields.emplace_back(field);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return fields;
}

// The fields of one line by the rule in the header: blanks, tabs and semicolons first; a
// line they leave whole is split on commas.
std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields = SplitOn(line, " \t;");
  if (fields.size() == 1 && fields[0].find(',') != std::string::npos) return SplitOn(line, ",");
  for (std::string& f : fields) {
    // "20, 82.3": a comma that separates, followed by a blank.
    while (!f.empty() && f.back() == ',') f.pop_back();
  }
  return fields;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    const char a = s[s.size() - suffix.size() + i];
    const char b = suffix[i];
    if ((a | 0x20) != (b | 0x20)) return false;
  }
  return true;
}

enum class NumberOutcome { ok, notANumber, notFinite };

// One field as a number. allowK: a frequency field ("1k", "12.5kHz").
NumberOutcome ParseNumber(std::string text, bool allowK, double* value) {
  if (EndsWithNoCase(text, "hz") || EndsWithNoCase(text, "db")) text.resize(text.size() - 2);
  double scale = 1.0;
  if (allowK && !text.empty() && (text.back() == 'k' || text.back() == 'K')) {
    scale = 1000.0;
    text.pop_back();
  }
  // One comma and no point: a decimal comma.
  const auto comma = text.find(',');
  if (comma != std::string::npos && text.find(',', comma + 1) == std::string::npos &&
      text.find('.') == std::string::npos) {
    text[comma] = '.';
  }
  if (!text.empty() && text.front() == '+') text.erase(0, 1);
  if (text.empty()) return NumberOutcome::notANumber;
  double v = 0.0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(first, last, v);
  if (ec != std::errc() || end != last) {
    // from_chars refuses out-of-range values such as 1e999: they are infinite, not words.
    if (ec == std::errc::result_out_of_range && end == last) return NumberOutcome::notFinite;
    return NumberOutcome::notANumber;
  }
  if (!std::isfinite(v)) return NumberOutcome::notFinite;
  *value = v * scale;
  return NumberOutcome::ok;
}

std::string Quoted(const std::string& s) { return "'" + s.substr(0, 40) + "'"; }

std::string HzText(double hz) {
  char text[32];
  std::snprintf(text, sizeof text, "%g Hz", hz);
  return text;
}

}  // namespace

MeasurementResult ParseMeasurement(std::string_view text, const std::string& name) {
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.find('\0') != std::string_view::npos) return AlignError{name, 0, "not a text file"};
  Measurement m;
  m.name = name;
  bool headerSeen = false;
  int headerLine = 0;
  int lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    const auto end = text.find('\n', start);
    const std::string_view raw = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    start = end == std::string_view::npos ? text.size() : end + 1;
    ++lineNumber;
    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == '*' || line.front() == '#') continue;

    const std::vector<std::string> fields = Fields(line);
    double hz = 0.0;
    double db = 0.0;
    const NumberOutcome first = fields.empty() ? NumberOutcome::notANumber : ParseNumber(fields[0], true, &hz);
    if (first == NumberOutcome::notANumber) {
      // One row of column names before the numbers.
      if (m.hz.empty() && !headerSeen) {
        headerSeen = true;
        headerLine = lineNumber;
        continue;
      }
      if (m.hz.empty()) {
        return AlignError{name, lineNumber, "not a measurement row (a second row of text after the header on line " +
                                                std::to_string(headerLine) + ")"};
      }
      return AlignError{name, lineNumber, "not a number: " + Quoted(fields.empty() ? std::string(line) : fields[0])};
    }
    if (first == NumberOutcome::notFinite) return AlignError{name, lineNumber, "NaN or infinite frequency"};
    if (fields.size() < 2) return AlignError{name, lineNumber, "a frequency without a level"};
    const NumberOutcome second = ParseNumber(fields[1], false, &db);
    if (second == NumberOutcome::notFinite) return AlignError{name, lineNumber, "NaN or infinite level"};
    if (second == NumberOutcome::notANumber) return AlignError{name, lineNumber, "level is not a number: " + Quoted(fields[1])};
    if (hz <= 0.0) return AlignError{name, lineNumber, "frequency must be above 0 Hz"};
    if (!m.hz.empty() && hz <= m.hz.back()) {
      return AlignError{name, lineNumber, "frequencies not increasing (" + HzText(hz) + " after " + HzText(m.hz.back()) + ")"};
    }
    m.hz.push_back(hz);
    m.db.push_back(db);
  }
  if (m.hz.empty()) return AlignError{name, 0, "no numeric rows: not a measurement"};
  if (static_cast<int>(m.hz.size()) < kMinimumMeasurementPoints) {
    return AlignError{name, 0, "only " + std::to_string(m.hz.size()) + " points, at least " +
                                   std::to_string(kMinimumMeasurementPoints) + " needed"};
  }
  return m;
}

MeasurementResult ReadMeasurementFile(const std::filesystem::path& path, const std::string& name) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec || !std::filesystem::is_regular_file(path, ec)) return AlignError{name, 0, "cannot read this file"};
  if (size > kMaximumFileBytes) return AlignError{name, 0, "too large for a measurement"};
  std::ifstream in(path, std::ios::binary);
  if (!in) return AlignError{name, 0, "cannot read this file"};
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return AlignError{name, 0, "cannot read this file"};
  return ParseMeasurement(content.str(), name);
}

}  // namespace mzr
