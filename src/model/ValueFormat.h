#pragma once
// How stored values map to physical quantities and the exact texts they are shown as.
// Pure functions: integer in, text out. Every value text on screen comes from here.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace mzr {

// Shown for a stored value that has no entry in its table (a corner index past its list,
// read from a file or a unit).
inline constexpr std::string_view kUnknownValueText = "?";

// Graphic-equalizer band centres (27 one-third-octave frequencies, 40 Hz to 16 kHz).
inline constexpr std::array<std::uint16_t, 27> kGeqBandHz{
    40, 50, 63, 80, 100, 125, 160, 200, 250, 315, 400, 500, 630, 800, 1000, 1250, 1600, 2000,
    2500, 3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000};

// Shelf corners: entries 0..10 are the bass list, 11..20 the treble list.
inline constexpr std::array<std::uint16_t, 21> kCornerHz{
    63, 80, 100, 125, 160, 200, 250, 315, 400, 500, 630,
    1000, 1250, 1600, 2000, 2500, 3150, 4000, 5000, 6300, 8000};
inline constexpr int kBassCorners = 11;
inline constexpr int kTrebleCorners = 10;

// Bit of a channel or input index.
constexpr std::uint8_t Bit(int i) { return static_cast<std::uint8_t>(1u << i); }

std::string FormatFader(int v);
std::string FormatTenthsDb(int tenths);
std::string FormatOutputLevelDb(int v);  // FormatTenthsDb(5 * (v - 44))
std::string FormatQ(int qIndex);
std::string FormatHz(int hz);
std::string FormatDelayMs(int ms);
std::string FormatMonitorDb(int v);
std::string FormatIp(std::span<const std::uint8_t, 4> ip);
std::string FormatMac(std::span<const std::uint8_t, 6> mac);
std::string FormatPort(std::uint16_t port);

// Table lookups; an index outside its list gives nothing (Hz) or kUnknownValueText (labels).
std::optional<int> GeqBandHz(int band);
std::optional<int> BassCornerHz(int index);
std::optional<int> TrebleCornerHz(int index);
std::string_view GeqBandLabel(int band);
std::string_view BassCornerLabel(int index);
std::string_view TrebleCornerLabel(int index);

// Low-pass slope code of the subwoofer: 0 off, 1..4 = 12, 24, 36, 48 dB/oct.
std::optional<int> SlopeDbPerOctave(int code);

// Quality factor of a subwoofer section: (25 q + 50) / 100.
constexpr double SubPeqQ(int qIndex) { return (25.0 * qIndex + 50.0) / 100.0; }

// Slider position <-> stored value. Vertical sliders have position 0 at the top, so most
// store a constant minus the position. The scales themselves come from the table of editable
// fields (model/EditableFields.h, namespace slider), derived from each field's stored range.
struct SliderScale {
  int minPosition;
  int maxPosition;
  int constant;   // stored = constant - position when inverted, else position
  bool inverted;
  constexpr int ToStored(int position) const { return inverted ? constant - position : position; }
  constexpr int ToPosition(int stored) const { return inverted ? constant - stored : stored; }
  friend constexpr bool operator==(const SliderScale&, const SliderScale&) = default;
};

}  // namespace mzr
