#include "align/AlignmentProblem.h"

#include "align/AlignLimits.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "align/BoxQuadratic.h"
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

GridCurve SmoothFractionalOctave(const GridCurve& db, double fraction, const std::vector<bool>& keep) {
  // 100 grid points per decade: half of 1/fraction octave is this many points either side.
  const double half = 100.0 * std::log10(2.0) / (2.0 * fraction);
  const int reach = static_cast<int>(std::floor(half + 1e-9));
  GridCurve out;
  for (int n = 0; n < kGridPoints; ++n) {
    const double v = db[static_cast<std::size_t>(n)];
    if (!std::isfinite(v)) {
      out[static_cast<std::size_t>(n)] = v;
      continue;
    }
    double power = 0.0;
    int count = 0;
    for (int k = std::max(0, n - reach); k <= std::min(kGridPoints - 1, n + reach); ++k) {
      const double w = db[static_cast<std::size_t>(k)];
      if (!std::isfinite(w) || (!keep.empty() && !keep[static_cast<std::size_t>(k)])) continue;
      power += std::pow(10.0, w / 10.0);
      ++count;
    }
    out[static_cast<std::size_t>(n)] = count > 0 ? 10.0 * std::log10(power / count) : v;
  }
  return out;
}

namespace {

// The narrow dips of the average: runs below the octave-smoothed average by more than the
// flank depth that reach the dip depth and are at most kDipMaxOctaves wide at it. The octave
// average is taken again without the dips' cores, so a deep null does not pull it down.
std::vector<bool> NarrowDips(const GridCurve& raw) {
  const ResponseGrid& grid = Grid();
  std::vector<bool> keep(kGridPoints);
  for (int n = 0; n < kGridPoints; ++n) keep[static_cast<std::size_t>(n)] = std::isfinite(raw[static_cast<std::size_t>(n)]);
  const GridCurve first = SmoothFractionalOctave(raw, 1.0, keep);
  std::vector<bool> withoutCores = keep;
  for (int n = 0; n < kGridPoints; ++n) {
    const auto i = static_cast<std::size_t>(n);
    if (keep[i] && raw[i] - first[i] < -kDipDepthDb) withoutCores[i] = false;
  }
  const GridCurve octave = SmoothFractionalOctave(raw, 1.0, withoutCores);
  std::vector<bool> dip(kGridPoints, false);
  int n = 0;
  while (n < kGridPoints) {
    const auto below = [&](int k, double depth) {
      const auto i = static_cast<std::size_t>(k);
      return keep[i] && raw[i] - octave[i] < -depth;
    };
    if (!below(n, kDipFlankDb)) {
      ++n;
      continue;
    }
    int end = n;
    int firstDeep = -1, lastDeep = -1;
    while (end < kGridPoints && below(end, kDipFlankDb)) {
      if (below(end, kDipDepthDb)) {
        if (firstDeep < 0) firstDeep = end;
        lastDeep = end;
      }
      ++end;
    }
    if (firstDeep >= 0) {
      const double width = std::log2(grid.hz()[static_cast<std::size_t>(lastDeep)] /
                                     grid.hz()[static_cast<std::size_t>(firstDeep)]) +
                           std::log2(10.0) / 100.0;
      if (width <= kDipMaxOctaves) {
        for (int k = n; k < end; ++k) dip[static_cast<std::size_t>(k)] = true;
      }
    }
    n = end;
  }
  return dip;
}

constexpr double kEdgeSlack = 1.0116;  // a hundredth of a decade: 40 Hz and 16 kHz are no grid points

}  // namespace

std::variant<AlignmentProblem, AlignError> PrepareAlignment(const FitRequest& request) {
  if (request.channel < 0 || request.channel > kSubwooferChannel) {
    return AlignError{"channel", 0, "the alignment takes channels 0 to 5"};
  }
  if (!(request.fromHz > 0.0) || !(request.toHz > request.fromHz)) {
    return AlignError{"fit range", 0, "--from must be below --to"};
  }
  if (request.mode == FitMode::installer &&
      (!(request.maxBoostDb >= 0.0) || (request.smoothingFraction != 3 && request.smoothingFraction != 6))) {
    return AlignError{"fit rules", 0, "the boost limit must be 0 dB or more and the smoothing 1/3 or 1/6 octave"};
  }
  const bool installer = request.mode == FitMode::installer;
  AlignmentProblem p;
  p.m_channel = request.channel;
  p.m_mode = request.mode;
  p.m_maxBoostDb = request.maxBoostDb;
  // The subwoofer's sections boost at most +3 dB by their own range; a median-relative limit
  // would forbid the broad cut of a room-gain hump its two sections are there for.
  p.m_boostRules = installer && request.channel != kSubwooferChannel;
  p.m_image = request.image;
  p.m_fromHz = request.fromHz;
  p.m_toHz = request.toHz;
  p.m_currentEq = ChannelResponse(request.image, request.channel);
  const GridCurve lowPass = request.channel == kSubwooferChannel ? LowPassResponse(request.image) : GridCurve{};
  const ResponseGrid& grid = Grid();

  std::vector<bool> dip(kGridPoints, false);
  GridCurve judged = request.average;
  if (installer) {
    dip = NarrowDips(request.average);
    std::vector<bool> keep(kGridPoints);
    for (int n = 0; n < kGridPoints; ++n) keep[static_cast<std::size_t>(n)] = !dip[static_cast<std::size_t>(n)];
    judged = SmoothFractionalOctave(request.average, request.smoothingFraction, keep);
  }
  p.m_judged = judged;

  // The loudspeaker's roll-off: going down from 200 Hz, the first point 6 dB below the mean
  // from 200 Hz to 2 kHz ends the fit range (full-range channels).
  if (installer && request.channel != kSubwooferChannel) {
    double sum = 0.0;
    int count = 0;
    int start = 0;
    for (int n = 0; n < kGridPoints; ++n) {
      const double hz = grid.hz()[static_cast<std::size_t>(n)];
      const double d = judged[static_cast<std::size_t>(n)] - request.target[static_cast<std::size_t>(n)];
      if (hz < 200.0) start = n;
      if (hz >= 200.0 && hz <= 2000.0 && std::isfinite(d)) {
        sum += d;
        ++count;
      }
    }
    if (count > 0) {
      const double floor = sum / count - kRollOffDropDb;
      for (int n = start; n >= 0; --n) {
        const double d = judged[static_cast<std::size_t>(n)] - request.target[static_cast<std::size_t>(n)];
        if (!std::isfinite(d)) break;
        if (d < floor) {
          const double hz = grid.hz()[static_cast<std::size_t>(n + 1)];
          if (hz > request.fromHz * kEdgeSlack) {
            p.m_rollOffHz = hz;
            p.m_fromHz = hz;
          }
          break;
        }
      }
    }
  }

  for (std::size_t n = 0; n < kGridPoints; ++n) {
    p.m_room[n] = judged[n] - p.m_currentEq[n];
    p.m_target[n] = request.target[n] + lowPass[n];
    const double hz = grid.hz()[n];
    const bool inRange = hz >= p.m_fromHz / kEdgeSlack && hz <= p.m_toHz * kEdgeSlack;
    const bool guard = p.m_rollOffHz && hz < p.m_fromHz / kEdgeSlack;
    if (!inRange && !guard) continue;
    double base = 0.0;
    if (inRange) {
      if (!std::isfinite(p.m_room[n]) || !std::isfinite(p.m_target[n])) {
        return AlignError{"measurement", 0, "does not cover the fit range"};
      }
      // The low-pass plays in the room's response and belongs to the target alike, so it
      // drops out: the sections flatten the room, not the crossover the installer set.
      base = p.m_room[n] - request.target[n];
    }
    p.m_indices.push_back(static_cast<int>(n));
    if (inRange) p.m_rangePoints.push_back(static_cast<int>(p.m_indices.size()) - 1);
    const double weight = inRange && !dip[n] ? 1.0 : 0.0;
    p.m_base.push_back(base);
    p.m_weight.push_back(weight);
    p.m_weightSum += weight;
    p.m_cap.push_back(!p.m_boostRules ? std::numeric_limits<double>::infinity() : inRange ? request.maxBoostDb : 0.0);
    p.m_inRange.push_back(inRange ? 1 : 0);
    p.m_c1.push_back(grid.cos1()[n]);
    p.m_s1.push_back(grid.sin1()[n]);
    p.m_c2.push_back(grid.cos2()[n]);
    p.m_s2.push_back(grid.sin2()[n]);
  }
  if (p.m_weightSum < 3.0) return AlignError{"fit range", 0, "holds fewer than 3 points of the grid"};
  // The left-out dips inside the fit range, as spans of frequency.
  for (std::size_t n = 0; n < kGridPoints; ++n) {
    const double hz = grid.hz()[n];
    if (!dip[n] || hz < p.m_fromHz / kEdgeSlack || hz > p.m_toHz * kEdgeSlack) continue;
    const double lo = hz / std::pow(10.0, 0.005);
    const double hi = hz * std::pow(10.0, 0.005);
    if (!p.m_leftOut.empty() && std::abs(p.m_leftOut.back().toHz - lo) < 1e-6 * hz) {
      p.m_leftOut.back().toHz = hi;
    } else {
      p.m_leftOut.push_back({lo, hi});
    }
  }
  return p;
}

int AlignmentProblem::MedianPoint(const Eigen::Ref<const Eigen::VectorXd>& e) const {
  std::vector<int> order = m_rangePoints;
  const auto middle = order.begin() + static_cast<std::ptrdiff_t>((order.size() - 1) / 2);
  std::nth_element(order.begin(), middle, order.end(), [&](int a, int b) { return e[a] < e[b]; });
  return *middle;
}

void AlignmentProblem::Linearise(const Eigen::VectorXd& e, const Eigen::MatrixXd& j, Model& out) const {
  const auto n = static_cast<Eigen::Index>(m_indices.size());
  const Eigen::Map<const Eigen::VectorXd> base(m_base.data(), n);
  const Eigen::Map<const Eigen::VectorXd> w(m_weight.data(), n);
  const Eigen::VectorXd r = base + e;
  const double mean = w.dot(r) / m_weightSum;
  const Eigen::VectorXd scale = (w / m_weightSum).cwiseSqrt();
  out.rows = scale.cwiseProduct((r.array() - mean).matrix());
  const Eigen::RowVectorXd meanRow = (w.transpose() * j) / m_weightSum;
  out.jacobian = scale.asDiagonal() * (j.rowwise() - meanRow);
  if (!m_boostRules) {
    out.hinge.resize(0);
    out.hingeJacobian.resize(0, j.cols());
    return;
  }
  const int median = MedianPoint(e);
  const auto range = static_cast<Eigen::Index>(m_rangePoints.size());
  const double sB = std::sqrt(kBoostCost / static_cast<double>(range));
  const double sL = std::sqrt(kBoostLimitWeight / static_cast<double>(n));
  out.hinge.resize(range + n);
  out.hingeJacobian.resize(range + n, j.cols());
  // The median moves with the settings as the range's mean does, near enough for a model
  // (the cost itself takes the true median): one point's slope would make the model follow
  // whichever point happens to sit in the middle.
  Eigen::RowVectorXd middle = Eigen::RowVectorXd::Zero(j.cols());
  for (int i : m_rangePoints) middle += j.row(i);
  middle /= static_cast<double>(range);
  for (Eigen::Index k = 0; k < range; ++k) {
    const int i = m_rangePoints[static_cast<std::size_t>(k)];
    out.hinge[k] = sB * (e[i] - e[median]);
    out.hingeJacobian.row(k) = sB * (j.row(i) - middle);
  }
  for (Eigen::Index i = 0; i < n; ++i) {
    const double cap = m_cap[static_cast<std::size_t>(i)];
    out.hinge[range + i] = sL * (e[i] - e[median] - cap);
    out.hingeJacobian.row(range + i) = sL * (j.row(i) - middle);
  }
}

Eigen::VectorXd AlignmentProblem::MinimiseModel(const Model& model, const Eigen::MatrixXd& extraA,
                                                const Eigen::VectorXd& extraB, const Eigen::VectorXd& lower,
                                                const Eigen::VectorXd& upper) {
  const Eigen::MatrixXd a0 = model.jacobian.transpose() * model.jacobian + extraA;
  const Eigen::VectorXd b0 = model.jacobian.transpose() * model.rows + extraB;
  const auto hinges = model.hinge.size();
  std::vector<char> active(static_cast<std::size_t>(hinges));
  for (Eigen::Index i = 0; i < hinges; ++i) active[static_cast<std::size_t>(i)] = model.hinge[i] > 0.0;
  Eigen::VectorXd d;
  for (int round = 0; round < 8; ++round) {
    Eigen::MatrixXd a = a0;
    Eigen::VectorXd b = b0;
    for (Eigen::Index i = 0; i < hinges; ++i) {
      if (!active[static_cast<std::size_t>(i)]) continue;
      const auto row = model.hingeJacobian.row(i);
      a.noalias() += row.transpose() * row;
      b += row.transpose() * model.hinge[i];
    }
    d = MinimiseBoxQuadratic(a, b, lower, upper);
    if (hinges == 0) break;
    const Eigen::VectorXd predicted = model.hinge + model.hingeJacobian * d;
    bool same = true;
    for (Eigen::Index i = 0; i < hinges; ++i) {
      const char now = predicted[i] > 0.0;
      if (now != active[static_cast<std::size_t>(i)]) {
        same = false;
        active[static_cast<std::size_t>(i)] = now;
      }
    }
    if (same) break;
  }
  return d;
}

double AlignmentProblem::Cost(std::span<const double> values) const {
  const auto n = static_cast<Eigen::Index>(m_indices.size());
  const Eigen::Map<const Eigen::VectorXd> e(values.data(), n);
  const Eigen::Map<const Eigen::VectorXd> base(m_base.data(), n);
  const Eigen::Map<const Eigen::VectorXd> w(m_weight.data(), n);
  const Eigen::VectorXd r = base + e;
  const double mean = w.dot(r) / m_weightSum;
  double cost = w.dot((r.array() - mean).square().matrix()) / m_weightSum;
  if (!m_boostRules) return cost;
  const int median = MedianPoint(e);
  double boost = 0.0;
  for (int i : m_rangePoints) boost += std::pow(std::max(0.0, e[i] - e[median]), 2);
  double limit = 0.0;
  for (Eigen::Index i = 0; i < n; ++i) {
    limit += std::pow(std::max(0.0, e[i] - e[median] - m_cap[static_cast<std::size_t>(i)]), 2);
  }
  return cost + kBoostCost * boost / static_cast<double>(m_rangePoints.size()) +
         kBoostLimitWeight * limit / static_cast<double>(n);
}

Eigen::VectorXd AlignmentProblem::CostGradient(const Eigen::VectorXd& e) const {
  const auto n = static_cast<Eigen::Index>(m_indices.size());
  const Eigen::Map<const Eigen::VectorXd> base(m_base.data(), n);
  const Eigen::Map<const Eigen::VectorXd> w(m_weight.data(), n);
  const Eigen::VectorXd r = base + e;
  const double mean = w.dot(r) / m_weightSum;
  Eigen::VectorXd g = 2.0 * w.cwiseProduct((r.array() - mean).matrix()) / m_weightSum;
  if (m_boostRules) {
    const int median = MedianPoint(e);
    const double kB = kBoostCost / static_cast<double>(m_rangePoints.size());
    const double kL = kBoostLimitWeight / static_cast<double>(n);
    for (int i : m_rangePoints) {
      const double over = e[i] - e[median];
      if (over > 0.0) {
        g[i] += 2.0 * kB * over;
        g[median] -= 2.0 * kB * over;
      }
    }
    for (Eigen::Index i = 0; i < n; ++i) {
      const double over = e[i] - e[median] - m_cap[static_cast<std::size_t>(i)];
      if (over > 0.0) {
        g[i] += 2.0 * kL * over;
        g[median] -= 2.0 * kL * over;
      }
    }
  }
  return g;
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
