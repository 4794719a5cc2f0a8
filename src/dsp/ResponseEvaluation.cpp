#include "dsp/ResponseEvaluation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "dsp/VectorState.h"

namespace mzr {
namespace {

// Products of squared magnitudes stay well inside the double range for any section the
// design produces; outside this window a point is summed section by section instead.
constexpr double kProductLow = 1e-280;
constexpr double kProductHigh = 1e280;
constexpr std::size_t kGroup = 8;

// A squared magnitude ratio as a finite decibel figure: a point where numerator and
// denominator both vanish counts as flat, an exact zero or pole is held at +-3000 dB.
double RatioToDb(double num, double den) {
  double ratio = num / den;
  if (std::isnan(ratio)) return 0.0;
  ratio = std::clamp(ratio, 1e-300, 1e300);
  return 10.0 * std::log10(ratio);
}

}  // namespace

CurvePoint MapCurvePoint(int n, double hz, double gainDb, int y0) {
  CurvePoint p;
  p.hz = hz;
  p.gainDb = gainDb;
  p.y = static_cast<double>(y0) - kPixelsPerDb * gainDb;
  // Real column x = 1 + 2n; the point is plotted at trunc(x + 5).
  p.column = 6 + 2 * n;
  // Both evaluations keep gains finite; a caller's hand-made NaN still gets a valid row.
  p.row = std::isnan(p.y) ? y0 : static_cast<int>(std::clamp(p.y, -kRowLimit, kRowLimit));
  return p;
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
// Four points per instruction where the processor has AVX2. No FMA: every operation
// rounds as in the baseline build, so the result is the same double either way.
__attribute__((target_clones("avx2", "default")))
#endif
ResponseCurve EvaluateResponse(const ResponseGrid& grid, std::span<const Biquad> sections,
                               int y0) {
  ClearUpperVectorState();
  alignas(64) std::array<double, kGridLanes> ratio;
  alignas(64) std::array<double, kGridLanes> num;
  alignas(64) std::array<double, kGridLanes> den;
  ratio.fill(1.0);
  const double* c1 = grid.cos1().data();
  const double* s1 = grid.sin1().data();
  const double* c2 = grid.cos2().data();
  const double* s2 = grid.sin2().data();

  // One section over all points at a time: the inner loop is branch-free and vectorises.
  // Squared magnitudes of numerators and denominators are multiplied up separately over a
  // group of sections, so a point needs one division per group and one logarithm in all.
  // A group is short enough that its products stay far inside the double range (the
  // narrow low bands put |D|^2 near 1e-10 at the bottom of the grid).
  for (std::size_t first = 0; first < sections.size(); first += kGroup) {
    num.fill(1.0);
    den.fill(1.0);
    for (const Biquad& s : sections.subspan(first, std::min(kGroup, sections.size() - first))) {
      for (std::size_t i = 0; i < kGridLanes; ++i) {
        const double nr = s.b0 + s.b1 * c1[i] + s.b2 * c2[i];
        const double ni = s.b1 * s1[i] + s.b2 * s2[i];
        const double dr = 1.0 + s.a1 * c1[i] + s.a2 * c2[i];
        const double di = s.a1 * s1[i] + s.a2 * s2[i];
        num[i] *= nr * nr + ni * ni;
        den[i] *= dr * dr + di * di;
      }
    }
    for (std::size_t i = 0; i < kGridLanes; ++i) ratio[i] *= num[i] / den[i];
  }

  ResponseCurve curve;
  for (std::size_t i = 0; i < kGridPoints; ++i) {
    double gainDb = 0.0;
    if (ratio[i] > kProductLow && ratio[i] < kProductHigh) {
      gainDb = 10.0 * std::log10(ratio[i]);
    } else {
      // Only sections no design produces get here; sum them one by one.
      for (const Biquad& s : sections) {
        const double nr = s.b0 + s.b1 * c1[i] + s.b2 * c2[i];
        const double ni = s.b1 * s1[i] + s.b2 * s2[i];
        const double dr = 1.0 + s.a1 * c1[i] + s.a2 * c2[i];
        const double di = s.a1 * s1[i] + s.a2 * s2[i];
        gainDb += RatioToDb(nr * nr + ni * ni, dr * dr + di * di);
      }
    }
    curve[i] = MapCurvePoint(static_cast<int>(i), grid.hz()[i], gainDb, y0);
  }
  return curve;
}

ResponseCurve EvaluateResponsePlain(std::span<const Biquad> sections, int y0) {
  ClearUpperVectorState();
  ResponseCurve curve;
  double f = kGridStartHz;
  for (int n = 0; n < kGridPoints; ++n) {
    const double w = -6.283185307179586 * f / 48000.0;
    const double w2 = -12.566370614359172 * f / 48000.0;
    const double c1 = std::cos(w);
    const double c2 = std::cos(w2);
    const double s1 = std::sin(w);
    const double s2 = std::sin(w2);
    double gainDb = 0.0;
    for (const Biquad& s : sections) {
      const double nr = s.b0 + s.b1 * c1 + s.b2 * c2;
      const double ni = s.b1 * s1 + s.b2 * s2;
      const double dr = 1.0 + s.a1 * c1 + s.a2 * c2;
      const double di = s.a1 * s1 + s.a2 * s2;
      const double m = dr * dr + di * di;
      const double re = (nr * dr + ni * di) / m;
      const double im = (ni * dr - nr * di) / m;
      const double magnitude = std::sqrt(re * re + im * im);
      // Same guard as the fast path: 0/0 is flat, an exact zero or pole is held finite.
      if (std::isnan(magnitude)) continue;
      gainDb += 20.0 * std::log10(std::clamp(magnitude, 1e-150, 1e150));
    }
    curve[static_cast<std::size_t>(n)] = MapCurvePoint(n, f, gainDb, y0);
    f *= kGridRatio;
  }
  return curve;
}

}  // namespace mzr
