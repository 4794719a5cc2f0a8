#pragma once
// Measurements on the graph's grid: each one interpolated linearly in log-frequency onto the
// 315 points, then the microphone positions power-averaged, 10 log10(mean(10^(L/10))).
// Points a measurement does not reach are NaN (not drawn, never fitted).

#include <array>
#include <optional>
#include <span>

#include "align/AlignError.h"
#include "align/MeasurementFile.h"
#include "dsp/ResponseGrid.h"

namespace mzr {

using GridCurve = std::array<double, kGridPoints>;

// How far outside its first and last frequency a measurement still counts, as a ratio: a
// typed table ends on the nominal 16000 Hz where the exact band centre is 15849 Hz.
inline constexpr double kCoverageSlack = 1.03;

GridCurve InterpolateOnGrid(const Measurement& m, const ResponseGrid& grid);

// An error naming the file when it does not reach from fromHz to toHz.
std::optional<AlignError> CheckCoverage(const Measurement& m, double fromHz, double toHz);

// The power average of curves, point by point; NaN where any of them is NaN.
GridCurve PowerAverage(std::span<const GridCurve> curves);

// A grid curve's value at any frequency inside the grid, linear in log-frequency.
double CurveAt(const GridCurve& curve, double hz);

}  // namespace mzr
