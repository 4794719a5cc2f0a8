#include "measure/MicCalibration.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

namespace mzr {
namespace {

constexpr std::size_t kMaxFileBytes = 4 * 1024 * 1024;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::optional<double> Number(std::string_view s) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  double value = 0.0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || end != s.data() + s.size() || s.empty() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// The number that follows key in text ("Sens Factor =-1.378dB"), its unit left off.
std::optional<double> FigureAfter(std::string_view text, std::string_view key) {
  const auto at = text.find(key);
  if (at == std::string_view::npos) return std::nullopt;
  std::string_view rest = text.substr(at + key.size());
  rest = Trim(rest);
  if (!rest.empty() && (rest.front() == '=' || rest.front() == ':')) rest.remove_prefix(1);
  rest = Trim(rest);
  std::size_t n = 0;
  while (n < rest.size() && (std::isdigit(static_cast<unsigned char>(rest[n])) != 0 || rest[n] == '-' ||
                             rest[n] == '+' || rest[n] == '.')) {
    ++n;
  }
  return Number(rest.substr(0, n));
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::string_view(" \t,;").find(line[i]) != std::string_view::npos) ++i;
    const std::size_t start = i;
    while (i < line.size() && std::string_view(" \t,;").find(line[i]) == std::string_view::npos) ++i;
    if (i > start) fields.push_back(line.substr(start, i - start));
  }
  return fields;
}

std::string Problem(const std::string& name, int line, const std::string& what) {
  return name + ", line " + std::to_string(line) + ": " + what;
}

// "*1000Hz -38.6": the sensitivity at a frequency.
bool ReadStarredSensitivity(std::string_view body, MicCalibration& cal) {
  const auto fields = Fields(body);
  if (fields.size() != 2) return false;
  std::string_view f = fields[0];
  if (f.size() < 3 || (f.substr(f.size() - 2) != "Hz" && f.substr(f.size() - 2) != "hz")) return false;
  const auto hz = Number(f.substr(0, f.size() - 2));
  const auto db = Number(fields[1]);
  if (!hz || !db || *hz <= 0.0) return false;
  cal.sensitivityHz = hz;
  cal.sensitivityDb = db;
  cal.header = std::string(body);
  return true;
}

}  // namespace

double MicCalibration::CorrectionAt(double f) const {
  if (hz.empty()) return 0.0;
  if (f <= hz.front()) return db.front();
  if (f >= hz.back()) return db.back();
  const auto upper = std::upper_bound(hz.begin(), hz.end(), f);
  const auto i = static_cast<std::size_t>(upper - hz.begin());
  const double t = std::log(f / hz[i - 1]) / std::log(hz[i] / hz[i - 1]);
  return db[i - 1] + t * (db[i] - db[i - 1]);
}

CalibrationResult ParseCalibration(std::string_view text, const std::string& name) {
  MicCalibration cal;
  cal.name = name;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  int lineNumber = 0;
  bool sawHeaderLine = false;
  while (!text.empty()) {
    const auto end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++lineNumber;
    if (line.empty()) continue;
    const bool beforeData = cal.hz.empty();
    if (line.front() == '"') {
      std::string_view body = line.substr(1);
      if (!body.empty() && body.back() == '"') body.remove_suffix(1);
      if (beforeData && !sawHeaderLine && body.find("Sens Factor") != std::string_view::npos) {
        cal.sensitivityDb = FigureAfter(body, "Sens Factor");
        if (!cal.sensitivityDb) return Problem(name, lineNumber, "the Sens Factor is not a number");
        cal.gainDb = FigureAfter(body, "AGain");
        if (const auto at = body.find("SERNO"); at != std::string_view::npos) {
          std::string_view serial = Trim(body.substr(at + 5));
          if (!serial.empty() && (serial.front() == ':' || serial.front() == '=')) serial.remove_prefix(1);
          cal.serial = std::string(Trim(serial));
        }
        cal.header = std::string(body);
        sawHeaderLine = true;
      }
      continue;
    }
    if (line.front() == '*') {
      if (beforeData && !sawHeaderLine && ReadStarredSensitivity(Trim(line.substr(1)), cal)) sawHeaderLine = true;
      continue;
    }
    const auto fields = Fields(line);
    if (fields.size() < 2 || fields.size() > 3) {
      return Problem(name, lineNumber, "expected \"frequency dB [phase]\", found \"" + std::string(line) + "\"");
    }
    const auto hz = Number(fields[0]);
    const auto db = Number(fields[1]);
    if (!hz || !db || (fields.size() == 3 && !Number(fields[2]))) {
      return Problem(name, lineNumber, "not a number in \"" + std::string(line) + "\"");
    }
    if (*hz <= 0.0) return Problem(name, lineNumber, "the frequency must be above 0 Hz");
    if (!cal.hz.empty() && *hz <= cal.hz.back()) {
      return Problem(name, lineNumber, "the frequencies must rise from line to line");
    }
    cal.hz.push_back(*hz);
    cal.db.push_back(*db);
  }
  if (cal.hz.empty()) return Problem(name, std::max(lineNumber, 1), "no \"frequency dB\" lines in the file");
  return cal;
}

CalibrationResult ReadCalibrationFile(const std::filesystem::path& path, const std::string& name) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return name + ": cannot read the calibration file";
  std::string text;
  text.reserve(4096);
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxFileBytes) return name + ": too large for a calibration file";
  }
  if (in.bad()) return name + ": cannot read the calibration file";
  return ParseCalibration(text, name);
}

}  // namespace mzr
