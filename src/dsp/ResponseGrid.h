#pragma once
// The graph's fixed logarithmic frequency grid: 100 points per decade from 0.06 decade below
// 20 Hz up to the first point past 24 kHz, 315 points. Each point's frequency and the sines
// and cosines of z^-1 and z^-2 there never change, so they are computed once here and every
// redraw only multiplies and adds.

#include <array>

namespace mzr {

inline constexpr int kGridPoints = 315;
inline constexpr double kGridStartHz = 17.419271799121613;  // 20 * 10^-0.06
inline constexpr double kGridRatio = 1.023292992280754;     // 10^0.01
inline constexpr double kGridStopHz = 24000.0;
// The tables run on past the last point to a multiple of 8 so that the evaluation's inner
// loop has no remainder and vectorises; the extra points are never shown.
inline constexpr int kGridLanes = (kGridPoints + 7) / 8 * 8;

class ResponseGrid final {
 public:
  ResponseGrid();

  // Structure of arrays: the evaluation runs over all points for one section at a time.
  using Column = std::array<double, kGridLanes>;
  const Column& hz() const { return m_hz; }
  const Column& cos1() const { return m_cos1; }  // cos(-w), w = 2 pi f / Fs
  const Column& sin1() const { return m_sin1; }  // sin(-w)
  const Column& cos2() const { return m_cos2; }  // cos(-2w)
  const Column& sin2() const { return m_sin2; }  // sin(-2w)

 private:
  alignas(64) Column m_hz{};
  alignas(64) Column m_cos1{};
  alignas(64) Column m_sin1{};
  alignas(64) Column m_cos2{};
  alignas(64) Column m_sin2{};
};

}  // namespace mzr
