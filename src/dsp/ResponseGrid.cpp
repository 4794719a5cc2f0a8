#include "dsp/ResponseGrid.h"

#include <cmath>

namespace mzr {

ResponseGrid::ResponseGrid() {
  // Repeated multiplication, as the curve has always been stepped, so that every point is
  // the identical double.
  double f = kGridStartHz;
  for (double& point : m_hz) {
    point = f;
    f *= kGridRatio;
  }
  for (std::size_t n = 0; n < m_hz.size(); ++n) {
    // The same expressions as the plain evaluation, so both see identical doubles.
    const double w = -6.283185307179586 * m_hz[n] / 48000.0;
    const double w2 = -12.566370614359172 * m_hz[n] / 48000.0;
    m_cos1[n] = std::cos(w);
    m_sin1[n] = std::sin(w);
    m_cos2[n] = std::cos(w2);
    m_sin2[n] = std::sin(w2);
  }
}

}  // namespace mzr
