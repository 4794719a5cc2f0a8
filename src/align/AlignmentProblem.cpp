#include "align/AlignmentProblem.h"

#include "align/AlignLimits.h"

#include <algorithm>
#include <cmath>

#include "dsp/FilterDesign.h"
#include "dsp/ResponseEvaluation.h"
#include "dsp/SectionStore.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

const ResponseGrid& Grid() {
  static const ResponseGrid grid;
  return grid;
}

// The subwoofer's Q between the stored indices, by the same expression as SubPeqQ.
double SubPeqQContinuous(double qIndex) { return (25.0 * qIndex + 50.0) / 100.0; }

GridCurve Evaluate(std::span<const Biquad> sections) {
  const ResponseCurve curve = EvaluateResponse(Grid(), sections, 0);
  GridCurve out;
  for (std::size_t n = 0; n < out.size(); ++n) out[n] = curve[n].gainDb;
  return out;
}

}  // namespace

GridCurve ChannelResponse(const ParameterImage& image, int channel) {
  SectionStore store;
  const int n = DesignChannel(store, image, channel);
  return Evaluate(store.First(n));
}

GridCurve LowPassResponse(const ParameterImage& image) {
  SectionStore store;
  DesignChannel(store, image, kSubwooferChannel);
  std::vector<Biquad> lowPass;
  for (int slot = kFirstLowPassSlot; slot <= kLastLowPassSlot; ++slot) lowPass.push_back(store[slot]);
  return Evaluate(lowPass);
}

std::variant<AlignmentProblem, AlignError> PrepareAlignment(const FitRequest& request) {
  if (request.channel < 0 || request.channel > kSubwooferChannel) {
    return AlignError{"channel", 0, "the alignment takes channels 0 to 5"};
  }
  if (!(request.fromHz > 0.0) || !(request.toHz > request.fromHz)) {
    return AlignError{"fit range", 0, "--from must be below --to"};
  }
  AlignmentProblem p;
  p.m_channel = request.channel;
  p.m_image = request.image;
  p.m_currentEq = ChannelResponse(request.image, request.channel);
  const GridCurve lowPass = request.channel == kSubwooferChannel ? LowPassResponse(request.image) : GridCurve{};
  const ResponseGrid& grid = Grid();
  for (std::size_t n = 0; n < kGridPoints; ++n) {
    p.m_room[n] = request.average[n] - p.m_currentEq[n];
    p.m_target[n] = request.target[n] + lowPass[n];
    const double hz = grid.hz()[n];
    // A grid point within a hundredth of a decade of an edge counts: 40 Hz and 16 kHz are
    // not grid points themselves.
    if (hz < request.fromHz / 1.0116 || hz > request.toHz * 1.0116) continue;
    if (!std::isfinite(p.m_room[n]) || !std::isfinite(p.m_target[n])) {
      return AlignError{"measurement", 0, "does not cover the fit range"};
    }
    p.m_indices.push_back(static_cast<int>(n));
    // The low-pass plays in the room's response and belongs to the target alike, so it drops
    // out: the sections flatten the room, not the crossover the installer set.
    p.m_base.push_back(p.m_room[n] - request.target[n]);
    p.m_c1.push_back(grid.cos1()[n]);
    p.m_s1.push_back(grid.sin1()[n]);
    p.m_c2.push_back(grid.cos2()[n]);
    p.m_s2.push_back(grid.sin2()[n]);
  }
  if (p.m_indices.size() < 3) return AlignError{"fit range", 0, "holds fewer than 3 points of the grid"};
  return p;
}

void AlignmentProblem::SectionDb(const Biquad& s, std::span<double> out) const {
  for (std::size_t i = 0; i < m_c1.size(); ++i) {
    const double nr = s.b0 + s.b1 * m_c1[i] + s.b2 * m_c2[i];
    const double ni = s.b1 * m_s1[i] + s.b2 * m_s2[i];
    const double dr = 1.0 + s.a1 * m_c1[i] + s.a2 * m_c2[i];
    const double di = s.a1 * m_s1[i] + s.a2 * m_s2[i];
    const double ratio = (nr * nr + ni * ni) / (dr * dr + di * di);
    out[i] = std::isfinite(ratio) && ratio > 0.0 ? 10.0 * std::log10(ratio) : 0.0;
  }
}

Biquad AlignmentProblem::FullRangeSection(int variable, double tenths, int bassCorner, int trebleCorner) {
  if (variable < kGeqBands) {
    return DesignPeakContinuous(kGeqBandHz[static_cast<std::size_t>(variable)], kGraphicBandQ, tenths);
  }
  if (variable == kBassVariable) {
    const auto hz = BassCornerHz(bassCorner);
    return hz ? DesignBassShelfContinuous(*hz, tenths) : kFlatSection;
  }
  const auto hz = TrebleCornerHz(trebleCorner);
  return hz ? DesignTrebleShelfContinuous(*hz, tenths) : kFlatSection;
}

Biquad AlignmentProblem::SubSection(double hz, double qIndex, double tenths) {
  return DesignPeakContinuous(hz, SubPeqQContinuous(qIndex), tenths);
}

double AlignmentProblem::CenteredMeanSquare(std::span<const double> r) {
  if (r.empty()) return 0.0;
  double mean = 0.0;
  for (double v : r) mean += v;
  mean /= static_cast<double>(r.size());
  double sum = 0.0;
  for (double v : r) sum += (v - mean) * (v - mean);
  return sum / static_cast<double>(r.size());
}

void AlignmentProblem::SubBounds(Eigen::VectorXd& lower, Eigen::VectorXd& upper) {
  lower.resize(kSubVariables);
  upper.resize(kSubVariables);
  for (int k = 0; k < 2; ++k) {
    lower[3 * k] = alignrange::subFreqHz.low;
    upper[3 * k] = alignrange::subFreqHz.high;
    lower[3 * k + 1] = alignrange::subQIndex.low;
    upper[3 * k + 1] = alignrange::subQIndex.high;
    lower[3 * k + 2] = alignrange::subGainTenths.low;
    upper[3 * k + 2] = alignrange::subGainTenths.high;
  }
}

}  // namespace mzr
