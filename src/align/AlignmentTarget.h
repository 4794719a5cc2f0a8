#pragma once
// What a channel is aligned to, on the graph's grid, and the band it is judged in.
//
// The curves follow the public description of the wide-range characteristic of cinema sound
// (ISO 2969, SMPTE ST 202): flat to 2 kHz, falling by s1 dB per octave from 2 to 10 kHz and
// by s2 dB per octave above 10 kHz, the slopes chosen by the size of the room (the rows of
// kRoomSlopes, interpolated between them by the number of seats). x-curve is the 500-seat
// medium hall (3 / 6 dB per octave). small-room is the curve of rooms under 150 m3 (-1.5 dB
// per octave from 2 kHz); flat; or a curve read from a file.
//
// The tolerance band: no text we could read gives its corners, so the band is the
// installer's guide and says so wherever it is drawn or judged (ToleranceBand::source). The
// subwoofer has its own band, flat and +-3 dB by default, over its own fit range.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "align/MeasurementAverage.h"

namespace mzr {

enum class TargetKind { xCurve, smallRoom, flat, file };

// The slopes of the wide-range curve above its 2 kHz knee, dB per octave (positive: falling).
struct TargetSlopes {
  double seats = 500.0;
  double midDbPerOctave = 3.0;   // 2 to 10 kHz
  double highDbPerOctave = 6.0;  // above 10 kHz
};

// The slopes for a hall of seats, interpolated linearly between the rows of the room-size
// table (30, 150, 500, 1000, 1500, 2000 seats) and held at its first and last row outside.
TargetSlopes SlopesForSeats(double seats);
// A room's volume in m3 as seats: below 150 m3 the small-room curve applies (nothing here);
// above it, one seat per kCubicMetresPerSeat, the installer's rule of thumb (not from the
// standard), stated in the output and the report.
inline constexpr double kSmallRoomCubicMetres = 150.0;
inline constexpr double kCubicMetresPerSeat = 7.0;
std::optional<double> SeatsForVolume(double cubicMetres);

struct AlignmentTarget {
  TargetKind kind = TargetKind::flat;
  std::string name;        // "x-curve", "small-room", "flat" or the file's name
  std::string description;  // the name with its slopes, for the output and the report
  TargetSlopes slopes{};   // x-curve only
  GridCurve db{};          // NaN where a file target does not reach
};

// "x-curve", "small-room" or "flat"; nothing for any other name (then it is a file).
std::optional<TargetKind> BuiltInTargetNamed(std::string_view name);
AlignmentTarget BuiltInTarget(TargetKind kind, const ResponseGrid& grid, const TargetSlopes& slopes = {});
// The built-in curve at any frequency.
double BuiltInTargetDb(TargetKind kind, double hz, const TargetSlopes& slopes = {});
// A target read as a measurement; it must cover the fit range.
std::variant<AlignmentTarget, AlignError> TargetFromMeasurement(const Measurement& m, const ResponseGrid& grid,
                                                                double fromHz, double toHz);

// The tolerance band around the target, in dB relative to it.
struct ToleranceLimits {
  double lower = 0.0;  // negative
  double upper = 0.0;
};

struct ToleranceBand {
  bool subwoofer = false;
  double subwooferHalfWidthDb = 3.0;
  double fromHz = 40.0;  // the subwoofer's band spans its fit range
  double toHz = 16000.0;

  // Nothing outside the band's range.
  std::optional<ToleranceLimits> At(double hz) const;
  // Where the band comes from and its values, one line, for the output and the report.
  std::string Source() const;
};

// The full-range channels' band (the installer's guide), between 40 Hz and 16 kHz.
std::optional<ToleranceLimits> ToleranceAt(double hz);
ToleranceBand BandFor(int channel, double fromHz, double toHz);

}  // namespace mzr
