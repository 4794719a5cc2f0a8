#include "align/AlignmentTarget.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "dsp/FilterDesign.h"

namespace mzr {
namespace {

constexpr double kKneeHz = 2000.0;
constexpr double kSecondKneeHz = 10000.0;
constexpr double kSmallRoomDbPerOctave = 1.5;

// The room-size table of the wide-range characteristic's public description: seats, then the
// slope from 2 to 10 kHz and above 10 kHz, dB per octave.
constexpr std::array<TargetSlopes, 6> kRoomSlopes{{
    {30.0, 2.0, 4.0},
    {150.0, 2.5, 5.0},
    {500.0, 3.0, 6.0},
    {1000.0, 3.5, 7.0},
    {1500.0, 4.0, 8.0},
    {2000.0, 4.5, 9.0},
}};

struct TolerancePoint {
  double hz;
  double lower;
  double upper;
};

// The installer's guide for the full-range channels: widest at the ends of the range,
// narrowest in the middle. Not taken from a source we could read; Source() says so.
constexpr std::array<TolerancePoint, 6> kTolerance{{
    {40.0, -3.0, 3.0},
    {63.0, -3.0, 3.0},
    {400.0, -1.0, 1.0},
    {2000.0, -1.0, 1.0},
    {10000.0, -3.0, 3.0},
    {16000.0, -3.0, 3.0},
}};

std::string Number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

}  // namespace

TargetSlopes SlopesForSeats(double seats) {
  if (!(seats > kRoomSlopes.front().seats)) return kRoomSlopes.front();
  if (seats >= kRoomSlopes.back().seats) return kRoomSlopes.back();
  for (std::size_t i = 0; i + 1 < kRoomSlopes.size(); ++i) {
    const TargetSlopes& a = kRoomSlopes[i];
    const TargetSlopes& b = kRoomSlopes[i + 1];
    if (seats <= b.seats) {
      const double t = (seats - a.seats) / (b.seats - a.seats);
      return {seats, a.midDbPerOctave + t * (b.midDbPerOctave - a.midDbPerOctave),
              a.highDbPerOctave + t * (b.highDbPerOctave - a.highDbPerOctave)};
    }
  }
  return kRoomSlopes.back();
}

std::optional<double> SeatsForVolume(double cubicMetres) {
  if (!(cubicMetres >= kSmallRoomCubicMetres)) return std::nullopt;
  return cubicMetres / kCubicMetresPerSeat;
}

std::optional<TargetKind> BuiltInTargetNamed(std::string_view name) {
  if (name == "x-curve") return TargetKind::xCurve;
  if (name == "small-room") return TargetKind::smallRoom;
  if (name == "flat") return TargetKind::flat;
  return std::nullopt;
}

double BuiltInTargetDb(TargetKind kind, double hz, const TargetSlopes& slopes) {
  const double octavesAbove = hz > kKneeHz ? std::log2(hz / kKneeHz) : 0.0;
  switch (kind) {
    case TargetKind::xCurve: {
      const double mid = std::log2(std::min(hz, kSecondKneeHz) / kKneeHz);
      const double high = hz > kSecondKneeHz ? std::log2(hz / kSecondKneeHz) : 0.0;
      return hz > kKneeHz ? -slopes.midDbPerOctave * mid - slopes.highDbPerOctave * high : 0.0;
    }
    case TargetKind::smallRoom:
      return -kSmallRoomDbPerOctave * octavesAbove;
    case TargetKind::flat:
    case TargetKind::file:
      break;
  }
  return 0.0;
}

AlignmentTarget BuiltInTarget(TargetKind kind, const ResponseGrid& grid, const TargetSlopes& slopes) {
  AlignmentTarget target;
  target.kind = kind;
  target.name = kind == TargetKind::xCurve ? "x-curve" : kind == TargetKind::smallRoom ? "small-room" : "flat";
  if (kind == TargetKind::xCurve) {
    target.slopes = slopes;
    target.description = "x-curve for " + Number(std::round(slopes.seats)) + " seats: flat to 2 kHz, -" +
                         Number(std::round(slopes.midDbPerOctave * 100.0) / 100.0) + " dB/oct 2-10 kHz, -" +
                         Number(std::round(slopes.highDbPerOctave * 100.0) / 100.0) + " dB/oct above 10 kHz";
  } else if (kind == TargetKind::smallRoom) {
    target.description = "small-room curve (rooms under 150 m3): flat to 2 kHz, -1.5 dB/oct above";
  } else {
    target.description = "flat";
  }
  for (std::size_t n = 0; n < target.db.size(); ++n) target.db[n] = BuiltInTargetDb(kind, grid.hz()[n], slopes);
  return target;
}

std::variant<AlignmentTarget, AlignError> TargetFromMeasurement(const Measurement& m, const ResponseGrid& grid,
                                                                double fromHz, double toHz) {
  if (auto error = CheckCoverage(m, fromHz, toHz)) return *error;
  AlignmentTarget target;
  target.kind = TargetKind::file;
  target.name = m.name;
  target.description = "curve from " + m.name;
  target.db = InterpolateOnGrid(m, grid);
  return target;
}

std::optional<ToleranceLimits> ToleranceAt(double hz) {
  if (hz < kTolerance.front().hz || hz > kTolerance.back().hz) return std::nullopt;
  for (std::size_t i = 0; i + 1 < kTolerance.size(); ++i) {
    const TolerancePoint& a = kTolerance[i];
    const TolerancePoint& b = kTolerance[i + 1];
    if (hz <= b.hz) {
      const double t = std::log(hz / a.hz) / std::log(b.hz / a.hz);
      return ToleranceLimits{a.lower + t * (b.lower - a.lower), a.upper + t * (b.upper - a.upper)};
    }
  }
  return ToleranceLimits{kTolerance.back().lower, kTolerance.back().upper};
}

ToleranceBand BandFor(int channel, double fromHz, double toHz) {
  ToleranceBand band;
  band.subwoofer = channel == kSubwooferChannel;
  band.fromHz = band.subwoofer ? fromHz : kTolerance.front().hz;
  band.toHz = band.subwoofer ? toHz : kTolerance.back().hz;
  return band;
}

std::optional<ToleranceLimits> ToleranceBand::At(double hz) const {
  if (!subwoofer) return ToleranceAt(hz);
  if (hz < fromHz / 1.0116 || hz > toHz * 1.0116) return std::nullopt;
  return ToleranceLimits{-subwooferHalfWidthDb, subwooferHalfWidthDb};
}

std::string ToleranceBand::Source() const {
  if (subwoofer) {
    return "tolerance: installer's guide, flat +-" + Number(subwooferHalfWidthDb) + " dB from " + Number(fromHz) +
           " to " + Number(toHz) + " Hz (no standard text used)";
  }
  return "tolerance: installer's guide, not from the standard: +-3 dB 40-63 Hz, narrowing to +-1 dB at 400 Hz-2 kHz, "
         "widening to +-3 dB at 10-16 kHz";
}

}  // namespace mzr
