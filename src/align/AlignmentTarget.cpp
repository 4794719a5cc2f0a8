#include "align/AlignmentTarget.h"

#include <array>
#include <cmath>

namespace mzr {
namespace {

constexpr double kKneeHz = 2000.0;

struct TolerancePoint {
  double hz;
  double lower;
  double upper;
};

// The tolerance band of the wide-range characteristic (ISO 2969 / SMPTE ST 202): widest at
// the ends of the range, narrowest in the middle. One table, so a correction is one edit.
constexpr std::array<TolerancePoint, 6> kTolerance{{
    {40.0, -3.0, 3.0},
    {63.0, -3.0, 3.0},
    {400.0, -1.0, 1.0},
    {2000.0, -1.0, 1.0},
    {10000.0, -3.0, 3.0},
    {16000.0, -3.0, 3.0},
}};

}  // namespace

std::optional<TargetKind> BuiltInTargetNamed(std::string_view name) {
  if (name == "x-curve") return TargetKind::xCurve;
  if (name == "small-room") return TargetKind::smallRoom;
  if (name == "flat") return TargetKind::flat;
  return std::nullopt;
}

double BuiltInTargetDb(TargetKind kind, double hz) {
  const double octavesAbove = hz > kKneeHz ? std::log2(hz / kKneeHz) : 0.0;
  switch (kind) {
    case TargetKind::xCurve:
      return -3.0 * octavesAbove;
    case TargetKind::smallRoom:
      return -1.5 * octavesAbove;
    case TargetKind::flat:
    case TargetKind::file:
      break;
  }
  return 0.0;
}

AlignmentTarget BuiltInTarget(TargetKind kind, const ResponseGrid& grid) {
  AlignmentTarget target;
  target.kind = kind;
  target.name = kind == TargetKind::xCurve ? "x-curve" : kind == TargetKind::smallRoom ? "small-room" : "flat";
  for (std::size_t n = 0; n < target.db.size(); ++n) target.db[n] = BuiltInTargetDb(kind, grid.hz()[n]);
  return target;
}

std::variant<AlignmentTarget, AlignError> TargetFromMeasurement(const Measurement& m, const ResponseGrid& grid,
                                                                double fromHz, double toHz) {
  if (auto error = CheckCoverage(m, fromHz, toHz)) return *error;
  AlignmentTarget target;
  target.kind = TargetKind::file;
  target.name = m.name;
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

}  // namespace mzr
