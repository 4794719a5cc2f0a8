#include "align/FitBaselines.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "align/AlignLimits.h"
#include "align/BoundedMinimiser.h"
#include "dsp/FilterDesign.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

constexpr double kDifference = 1e-5;  // forward-difference step of the gradient, tenths

using Vector = Eigen::VectorXd;

// The objective of a full-range channel with fixed corners: the sections' dB responses are
// kept per variable so that a gradient costs two section evaluations per variable.
class FullRangeObjective final {
 public:
  FullRangeObjective(const AlignmentProblem& p, int bass, int treble)
      : m_p(p), m_bass(bass), m_treble(treble), m_n(p.size()), m_a(m_n), m_b(m_n) {}

  double operator()(const Vector& x, Vector& gradient) {
    ++m_evaluations;
    Vector e = Vector::Zero(m_n);
    for (int k = 0; k < kFullRangeVariables; ++k) {
      Vector& section = m_sections[static_cast<std::size_t>(k)];
      if (Fixed(k)) {
        section.setZero(m_n);
        continue;
      }
      m_p.SectionDb(AlignmentProblem::FullRangeSection(k, x[k], m_bass, m_treble), section);
      e += section;
    }
    // The cost of the problem's rules and its slope per point; each variable's slope is the
    // product with its section's change.
    const Vector slope = m_p.CostGradient(e);
    gradient.setZero(kFullRangeVariables);
    for (int k = 0; k < kFullRangeVariables; ++k) {
      if (Fixed(k)) continue;
      m_p.SectionDb(AlignmentProblem::FullRangeSection(k, x[k] + kDifference, m_bass, m_treble), m_a);
      gradient[k] = slope.dot(m_a - m_sections[static_cast<std::size_t>(k)]) / kDifference;
    }
    return m_p.Cost(std::span<const double>(e.data(), static_cast<std::size_t>(m_n)));
  }

  int evaluations() const { return m_evaluations; }

 private:
  bool Fixed(int k) const {
    return (k == kBassVariable && m_bass == kShelfOff) || (k == kTrebleVariable && m_treble == kShelfOff);
  }

  const AlignmentProblem& m_p;
  int m_bass;
  int m_treble;
  Eigen::Index m_n;
  Vector m_a, m_b;
  std::array<Vector, kFullRangeVariables> m_sections;
  int m_evaluations = 0;
};

class SubObjective final {
 public:
  explicit SubObjective(const AlignmentProblem& p) : m_p(p), m_n(p.size()), m_a(m_n), m_b(m_n) {}

  double Value(const Vector& x) {
    Vector e = Vector::Zero(m_n);
    for (int k = 0; k < 2; ++k) {
      m_p.SectionDb(AlignmentProblem::SubSection(x[3 * k], x[3 * k + 1], x[3 * k + 2]), m_a);
      e += m_a;
    }
    return m_p.Cost(std::span<const double>(e.data(), static_cast<std::size_t>(m_n)));
  }

  double operator()(const Vector& x, Vector& gradient) {
    ++m_evaluations;
    const double v = Value(x);
    gradient.setZero(kSubVariables);
    for (int i = 0; i < kSubVariables; ++i) {
      const double h = i % 3 == 2 ? 1e-3 : 1e-4;
      Vector up = x, down = x;
      up[i] += h;
      down[i] -= h;
      gradient[i] = (Value(up) - Value(down)) / (2.0 * h);
    }
    return v;
  }

  int evaluations() const { return m_evaluations; }

 private:
  const AlignmentProblem& m_p;
  Eigen::Index m_n;
  Vector m_a, m_b;
  int m_evaluations = 0;
};

ReferenceFit FullRangeReference(const AlignmentProblem& p) {
  Vector lower(kFullRangeVariables), upper(kFullRangeVariables);
  for (int k = 0; k < kFullRangeVariables; ++k) {
    const StoredRange r = k < kGeqBands ? alignrange::bandTenths : alignrange::shelfTenths;
    lower[k] = r.low;
    upper[k] = r.high;
  }
  // The bands alone first; every combination of turnovers starts from that solution, runs a
  // while, and the most promising combinations are then run to convergence.
  ReferenceFit result;
  Vector lo = lower, hi = upper;
  lo[kBassVariable] = hi[kBassVariable] = lo[kTrebleVariable] = hi[kTrebleVariable] = 0.0;
  FullRangeObjective bandsOnly(p, kShelfOff, kShelfOff);
  BoundedMinimiserOptions converge;
  converge.maxIterations = 1500;
  converge.tolerance = 1e-7;
  const BoundedMinimum start = MinimiseBounded(std::ref(bandsOnly), Vector::Zero(kFullRangeVariables), lo, hi, converge);
  result.evaluations += bandsOnly.evaluations();
  double best = start.value;
  struct Run {
    int bass;
    int treble;
    BoundedMinimum minimum;
  };
  std::vector<Run> runs;
  const auto boxFor = [&](int bass, int treble, Vector& l, Vector& h) {
    l = lower;
    h = upper;
    if (bass == kShelfOff) l[kBassVariable] = h[kBassVariable] = 0.0;
    if (treble == kShelfOff) l[kTrebleVariable] = h[kTrebleVariable] = 0.0;
  };
  for (int bass = kShelfOff; bass < kBassCorners; ++bass) {
    for (int treble = kShelfOff; treble < kTrebleCorners; ++treble) {
      if (bass == kShelfOff && treble == kShelfOff) continue;
      Vector l, h;
      boxFor(bass, treble, l, h);
      FullRangeObjective objective(p, bass, treble);
      BoundedMinimiserOptions screen;
      screen.maxIterations = 50;
      screen.tolerance = 1e-7;
      runs.push_back({bass, treble, MinimiseBounded(std::ref(objective), start.x, l, h, screen)});
      result.evaluations += objective.evaluations();
    }
  }
  std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.minimum.value < b.minimum.value; });
  for (std::size_t i = 0; i < runs.size(); ++i) {
    best = std::min(best, runs[i].minimum.value);
    if (i >= 5) continue;
    Vector l, h;
    boxFor(runs[i].bass, runs[i].treble, l, h);
    FullRangeObjective objective(p, runs[i].bass, runs[i].treble);
    const BoundedMinimum m = MinimiseBounded(std::ref(objective), runs[i].minimum.x, l, h, converge);
    result.evaluations += objective.evaluations();
    best = std::min(best, m.value);
  }
  result.rms = std::sqrt(best);
  return result;
}

ReferenceFit SubReference(const AlignmentProblem& p) {
  Vector lower, upper;
  AlignmentProblem::SubBounds(lower, upper);
  ReferenceFit result;
  double best = std::numeric_limits<double>::infinity();
  const double starts[] = {25.0, 40.0, 63.0, 100.0};
  for (double f0 : starts) {
    for (double f1 : starts) {
      if (f1 <= f0) continue;
      for (double g : {-40.0, 20.0}) {
        Vector x(kSubVariables);
        x << f0, 6.0, g, f1, 6.0, -40.0;
        SubObjective objective(p);
        BoundedMinimiserOptions options;
        options.maxIterations = 600;
        options.tolerance = 1e-7;
        const BoundedMinimum m = MinimiseBounded(std::ref(objective), x, lower, upper, options);
        result.evaluations += objective.evaluations();
        if (m.value < best) {
          best = m.value;
          result.settings.assign(m.x.data(), m.x.data() + m.x.size());
        }
      }
    }
  }
  result.rms = std::sqrt(best);
  return result;
}

}  // namespace

ReferenceFit ReferenceContinuousFit(const AlignmentProblem& problem) {
  return problem.subwoofer() ? SubReference(problem) : FullRangeReference(problem);
}

ParameterImage PerBandInversion(const FitRequest& request) {
  ParameterImage out = request.image;
  if (request.channel < 0 || request.channel >= kSubwooferChannel) return out;
  auto prepared = PrepareAlignment(request);
  if (std::holds_alternative<AlignError>(prepared)) return out;
  const AlignmentProblem& p = std::get<AlignmentProblem>(prepared);
  // The deviation of the room from the target, mean removed, read at each band's centre.
  GridCurve deviation;
  double mean = 0.0;
  double count = 0.0;
  for (std::size_t k = 0; k < p.indices().size(); ++k) {
    const auto i = static_cast<std::size_t>(p.indices()[k]);
    if (p.weights()[k] <= 0.0) continue;
    mean += p.room()[i] - p.target()[i];
    count += 1.0;
  }
  mean /= count;
  for (std::size_t n = 0; n < deviation.size(); ++n) deviation[n] = p.room()[n] - p.target()[n] - mean;
  for (int k = 0; k < kGeqBands; ++k) {
    const double hz = kGeqBandHz[static_cast<std::size_t>(k)];
    const double tenths = -10.0 * CurveAt(deviation, hz);
    const int v = std::isfinite(tenths) ? alignrange::bandTenths.Clamp(static_cast<int>(std::lround(tenths))) : 0;
    out.setGeqGain(request.channel, k, static_cast<std::int8_t>(v));
  }
  ToneControl tone = out.toneControl(request.channel);
  tone.bassGain = 0;
  tone.trebleGain = 0;
  out.setToneControl(request.channel, tone);
  return out;
}

}  // namespace mzr
