#include "model/ValueFormat.h"

#include <cstdio>
#include <cstdlib>

namespace mzr {
namespace {

constexpr std::array<std::string_view, 27> kGeqLabels{
    "40", "50", "63", "80", "100", "125", "160", "200", "250", "315", "400", "500", "630", "800",
    "1K", "1.25K", "1.6K", "2K", "2.5K", "3.15K", "4K", "5K", "6.3K", "8K", "10K", "12.5K", "16K"};
constexpr std::array<std::string_view, 11> kBassLabels{
    "63Hz", "80Hz", "100Hz", "125Hz", "160Hz", "200Hz", "250Hz", "315Hz", "400Hz", "500Hz", "630Hz"};
constexpr std::array<std::string_view, 10> kTrebleLabels{
    "1KHz", "1.25K", "1.6KHz", "2KHz", "2.5KHz", "3.15KHz", "4KHz", "5KHz", "6.3KHz", "8KHz"};

template <typename T, std::size_t N>
const T* At(const std::array<T, N>& table, int i) {
  return (i >= 0 && static_cast<std::size_t>(i) < N) ? &table[static_cast<std::size_t>(i)] : nullptr;
}

}  // namespace

std::string FormatFader(int v) { return std::to_string(v / 10) + "." + std::to_string(std::abs(v) % 10); }

std::string FormatTenthsDb(int t) {
  const std::string tenth = std::to_string(std::abs(t) % 10);
  if (t >= -9 && t <= -1) return "-0." + tenth + "dB";
  return std::to_string(t / 10) + "." + tenth + "dB";
}

std::string FormatOutputLevelDb(int v) { return FormatTenthsDb(5 * (v - 44)); }

std::string FormatQ(int q) {
  const int x = 25 * q + 50;
  return std::to_string(x / 100) + "." + std::to_string(std::abs(x) % 100);
}

std::string FormatHz(int hz) { return std::to_string(hz) + "Hz"; }
std::string FormatDelayMs(int ms) { return std::to_string(ms) + "mS"; }
std::string FormatMonitorDb(int v) { return std::to_string(v - 70) + "dB"; }

std::string FormatIp(std::span<const std::uint8_t, 4> ip) {
  return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
         std::to_string(ip[3]);
}

std::string FormatMac(std::span<const std::uint8_t, 6> mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", mac[0], mac[1], mac[2], mac[3], mac[4],
                mac[5]);
  return text;
}

std::string FormatPort(std::uint16_t port) { return std::to_string(port); }

std::optional<int> GeqBandHz(int band) {
  if (const auto* hz = At(kGeqBandHz, band)) return *hz;
  return std::nullopt;
}

std::optional<int> BassCornerHz(int index) {
  if (index < 0 || index >= kBassCorners) return std::nullopt;
  return kCornerHz[static_cast<std::size_t>(index)];
}

std::optional<int> TrebleCornerHz(int index) {
  if (index < 0 || index >= kTrebleCorners) return std::nullopt;
  return kCornerHz[static_cast<std::size_t>(kBassCorners + index)];
}

std::string_view GeqBandLabel(int band) {
  const auto* label = At(kGeqLabels, band);
  return label ? *label : kUnknownValueText;
}

std::string_view BassCornerLabel(int index) {
  const auto* label = At(kBassLabels, index);
  return label ? *label : kUnknownValueText;
}

std::string_view TrebleCornerLabel(int index) {
  const auto* label = At(kTrebleLabels, index);
  return label ? *label : kUnknownValueText;
}

std::optional<int> SlopeDbPerOctave(int code) {
  if (code < 0 || code > 4) return std::nullopt;
  return 12 * code;
}

}  // namespace mzr
