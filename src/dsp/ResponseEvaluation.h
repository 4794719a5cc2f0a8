#pragma once
// The combined response of a run of sections on the graph's grid, in decibels and as the
// pixel each grid point is plotted at. The vertical scale is that of the printed labels
// beside the graph: 48 pixels per 5 dB.

#include <array>
#include <span>

#include "dsp/Biquad.h"
#include "dsp/ResponseGrid.h"

namespace mzr {

inline constexpr int kGraphWidth = 634;       // the paint box
inline constexpr int kGraphHeight = 195;
inline constexpr int kBackgroundWidth = 635;  // the background picture is one column wider
inline constexpr double kPixelsPerDb = 9.6;
// Rows far outside the box are held here so that a steep cut stays an int.
inline constexpr double kRowLimit = 100000.0;

// Row of 0 dB: the middle of the box, 50 rows higher on the subwoofer tab so that its
// labels read +5 to -15 dB.
constexpr int ZeroLineRow(int channel) { return kGraphHeight / 2 - (channel == 5 ? 50 : 0); }

struct CurvePoint {
  double hz = 0.0;
  double gainDb = 0.0;
  double y = 0.0;  // real row, y0 - 9.6 * gainDb
  int column = 0;  // 6 + 2n
  int row = 0;     // y truncated toward zero
};

using ResponseCurve = std::array<CurvePoint, kGridPoints>;

// Fast evaluation on the precomputed grid. Agrees with the plain one to double precision.
ResponseCurve EvaluateResponse(const ResponseGrid& grid, std::span<const Biquad> sections,
                               int y0);

// The plain evaluation, point by point and section by section with its own trigonometry,
// complex division and logarithm: the reference the fast one is measured against.
ResponseCurve EvaluateResponsePlain(std::span<const Biquad> sections, int y0);

// Shared pixel mapping of one grid point.
CurvePoint MapCurvePoint(int n, double hz, double gainDb, int y0);

}  // namespace mzr
