#include "align/MeasurementAverage.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace mzr {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string HzText(double hz) {
  std::string s = std::to_string(static_cast<long long>(std::lround(hz)));
  return s + " Hz";
}

}  // namespace

GridCurve InterpolateOnGrid(const Measurement& m, const ResponseGrid& grid) {
  GridCurve out;
  out.fill(kNaN);
  if (m.hz.size() < 2) return out;
  const double low = m.hz.front();
  const double high = m.hz.back();
  std::size_t j = 0;
  for (int n = 0; n < kGridPoints; ++n) {
    const double hz = grid.hz()[static_cast<std::size_t>(n)];
    if (hz < low) {
      if (hz * kCoverageSlack >= low) out[static_cast<std::size_t>(n)] = m.db.front();
      continue;
    }
    if (hz > high) {
      if (hz <= high * kCoverageSlack) out[static_cast<std::size_t>(n)] = m.db.back();
      continue;
    }
    while (j + 1 < m.hz.size() && m.hz[j + 1] < hz) ++j;
    const std::size_t k = std::min(j + 1, m.hz.size() - 1);
    if (k == j) {
      out[static_cast<std::size_t>(n)] = m.db[j];
      continue;
    }
    const double t = std::log(hz / m.hz[j]) / std::log(m.hz[k] / m.hz[j]);
    out[static_cast<std::size_t>(n)] = m.db[j] + t * (m.db[k] - m.db[j]);
  }
  return out;
}

std::optional<AlignError> CheckCoverage(const Measurement& m, double fromHz, double toHz) {
  if (m.hz.empty() || m.hz.front() > fromHz * kCoverageSlack || m.hz.back() * kCoverageSlack < toHz) {
    const std::string covered = m.hz.empty() ? std::string("nothing") : HzText(m.hz.front()) + " to " + HzText(m.hz.back());
    return AlignError{m.name, 0, "covers " + covered + ", not the fit range " + HzText(fromHz) + " to " + HzText(toHz)};
  }
  return std::nullopt;
}

GridCurve PowerAverage(std::span<const GridCurve> curves) {
  GridCurve out;
  out.fill(kNaN);
  if (curves.empty()) return out;
  for (std::size_t n = 0; n < out.size(); ++n) {
    // Relative to the largest level, so that 10^(L/10) never overflows.
    double top = -std::numeric_limits<double>::infinity();
    bool missing = false;
    for (const GridCurve& c : curves) {
      if (std::isnan(c[n])) missing = true;
      top = std::max(top, c[n]);
    }
    if (missing) continue;
    double sum = 0.0;
    for (const GridCurve& c : curves) sum += std::pow(10.0, (c[n] - top) / 10.0);
    out[n] = top + 10.0 * std::log10(sum / static_cast<double>(curves.size()));
  }
  return out;
}

double CurveAt(const GridCurve& curve, double hz) {
  const double position = std::log10(hz / kGridStartHz) * 100.0;  // 100 points per decade
  const double clamped = std::clamp(position, 0.0, static_cast<double>(kGridPoints - 1));
  const auto i = std::min(static_cast<std::size_t>(clamped), static_cast<std::size_t>(kGridPoints - 2));
  const double t = clamped - static_cast<double>(i);
  return curve[i] + t * (curve[i + 1] - curve[i]);
}

}  // namespace mzr
