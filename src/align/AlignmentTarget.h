#pragma once
// What a channel is aligned to, on the graph's grid: the wide-range X-curve of the cinema
// standard (flat to 2 kHz, then -3 dB per octave), its small-room form (-1.5 dB per octave
// above 2 kHz), flat, or a curve read from a file. Also the standard's tolerance band around
// the target, as drawn and reported.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "align/MeasurementAverage.h"

namespace mzr {

enum class TargetKind { xCurve, smallRoom, flat, file };

struct AlignmentTarget {
  TargetKind kind = TargetKind::flat;
  std::string name;  // "x-curve", "small-room", "flat" or the file's name
  GridCurve db{};    // NaN where a file target does not reach
};

// "x-curve", "small-room" or "flat"; nothing for any other name (then it is a file).
std::optional<TargetKind> BuiltInTargetNamed(std::string_view name);
AlignmentTarget BuiltInTarget(TargetKind kind, const ResponseGrid& grid);
// The built-in curve at any frequency.
double BuiltInTargetDb(TargetKind kind, double hz);
// A target read as a measurement; it must cover the fit range.
std::variant<AlignmentTarget, AlignError> TargetFromMeasurement(const Measurement& m, const ResponseGrid& grid,
                                                                double fromHz, double toHz);

// The tolerance band around the target, in dB relative to it, between 40 Hz and 16 kHz;
// nothing outside. Linear in log-frequency between the corner points of the table in
// AlignmentTarget.cpp.
struct ToleranceLimits {
  double lower = 0.0;  // negative
  double upper = 0.0;
};
std::optional<ToleranceLimits> ToleranceAt(double hz);

}  // namespace mzr
