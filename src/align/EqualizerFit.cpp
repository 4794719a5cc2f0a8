#include "align/EqualizerFit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include <Eigen/Dense>

#include "align/AlignLimits.h"
#include "align/BoxQuadratic.h"
#include "dsp/FilterDesign.h"
#include "dsp/VectorState.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

// Penalty per (tenth of a dB)^2 of gain: 2e-5 per dB^2, far below what a fitted band gains
// in RMS, enough to settle the directions the mean removal leaves flat. Under the
// installer's rules a boost pays kBoostRidgeFactor times as much, so of two settings that fit
// alike the one that cuts wins.
constexpr double kRidge = 2e-5 / 100.0;
constexpr double kBoostRidgeFactor = 4.0;
constexpr double kStepTenths = 0.5;  // difference step of the Jacobian columns
constexpr int kGaussNewtonIterations = 6;
constexpr int kShelfPairsFitted = 2;  // the best pairs of the screening fitted in full

using Vars = std::array<double, kFullRangeVariables>;
using Vector = Eigen::VectorXd;

StoredRange RangeOfVariable(int k) {
  return k < kGeqBands ? alignrange::bandTenths : alignrange::shelfTenths;
}

bool Active(int k, int bass, int treble) {
  return k < kGeqBands || (k == kBassVariable && bass != kShelfOff) || (k == kTrebleVariable && treble != kShelfOff);
}

struct Linearisation {
  Eigen::MatrixXd j;  // the sections' columns at the points, dB per tenth
  Vector e;           // the equalizer's response at the points
  AlignmentProblem::Model model;
  Eigen::MatrixXd ridgeA;  // the ridge's part of the model
  Vector ridgeB;
  double value = 0.0;
};

class FullRangeFitter final {
 public:
  explicit FullRangeFitter(const AlignmentProblem& p)
      : m_p(p), m_n(p.size()), m_a(m_n), m_b(m_n), m_boostFactor(p.mode() == FitMode::installer ? kBoostRidgeFactor : 1.0) {}

  double RidgeWeight(double x) const { return x > 0.0 ? kRidge * m_boostFactor : kRidge; }
  template <typename T>
  double Ridge(const T& x) const {
    double s = 0.0;
    for (const auto v : x) s += RidgeWeight(static_cast<double>(v)) * static_cast<double>(v) * static_cast<double>(v);
    return s;
  }

  Linearisation Linearise(const Vars& x, int bass, int treble) {
    Linearisation l;
    l.j = Eigen::MatrixXd::Zero(m_n, kFullRangeVariables);
    l.e = Vector::Zero(m_n);
    for (int k = 0; k < kFullRangeVariables; ++k) {
      if (!Active(k, bass, treble)) continue;
      const double xk = x[static_cast<std::size_t>(k)];
      const double h = xk + kStepTenths > RangeOfVariable(k).high ? -kStepTenths : kStepTenths;
      m_p.SectionDb(AlignmentProblem::FullRangeSection(k, xk, bass, treble), m_a);
      m_p.SectionDb(AlignmentProblem::FullRangeSection(k, xk + h, bass, treble), m_b);
      l.e += m_a;
      l.j.col(k) = (m_b - m_a) / h;
    }
    m_p.Linearise(l.e, l.j, l.model);
    l.ridgeA = Eigen::MatrixXd::Zero(kFullRangeVariables, kFullRangeVariables);
    l.ridgeB = Vector::Zero(kFullRangeVariables);
    for (int k = 0; k < kFullRangeVariables; ++k) {
      const double xk = x[static_cast<std::size_t>(k)];
      l.ridgeA(k, k) = RidgeWeight(xk);
      l.ridgeB[k] = RidgeWeight(xk) * xk;
    }
    l.value = m_p.Cost(std::span<const double>(l.e.data(), static_cast<std::size_t>(m_n))) + Ridge(x);
    return l;
  }

  // Gauss-Newton from x; the shelves take part when their corner is set. Gives the value.
  // Each linearisation also gives the value at its point, so a step is judged there. A step
  // that does not pay is first corrected from where it landed (its model holds the boost
  // rows the step made active, which the model before it could not know), and only then
  // halved from the point before it.
  double Fit(Vars& x, int bass, int treble, Linearisation* last) {
    Vars accepted = x;
    double acceptedValue = std::numeric_limits<double>::infinity();
    Vector step = Vector::Zero(kFullRangeVariables);
    Linearisation l;
    int halvings = 0;
    bool corrected = false;
    const auto stepFrom = [&](const Linearisation& model) {
      Vector lower(kFullRangeVariables), upper(kFullRangeVariables);
      for (int k = 0; k < kFullRangeVariables; ++k) {
        const double xk = x[static_cast<std::size_t>(k)];
        const bool active = Active(k, bass, treble);
        lower[k] = active ? RangeOfVariable(k).low - xk : 0.0;
        upper[k] = active ? RangeOfVariable(k).high - xk : 0.0;
      }
      return AlignmentProblem::MinimiseModel(model.model, model.ridgeA, model.ridgeB, lower, upper);
    };
    const int iterations = kGaussNewtonIterations + (m_p.mode() == FitMode::installer ? 3 : 0);
    for (int iteration = 0; iteration < iterations + 3; ++iteration) {
      l = Linearise(x, bass, treble);
      if (l.value >= acceptedValue) {
        if (!corrected) {
          corrected = true;
          const Vector correction = stepFrom(l);
          for (int k = 0; k < kFullRangeVariables; ++k) x[static_cast<std::size_t>(k)] += correction[k];
          continue;
        }
        if (++halvings > 3) break;
        step /= 2.0;
        x = accepted;
        for (int k = 0; k < kFullRangeVariables; ++k) x[static_cast<std::size_t>(k)] += step[k];
        continue;
      }
      halvings = 0;
      corrected = false;
      const bool converged = step.cwiseAbs().maxCoeff() < 0.05 && iteration > 0;
      accepted = x;
      acceptedValue = l.value;
      if (last) *last = l;
      if (converged || iteration >= iterations) break;
      step = stepFrom(l);
      for (int k = 0; k < kFullRangeVariables; ++k) x[static_cast<std::size_t>(k)] += step[k];
    }
    x = accepted;
    return acceptedValue;
  }

  // Every pair of shelf turnovers the unit offers (each shelf also off), ranked by how much
  // the linearised cost falls when their gains join the free bands at x: the two gains'
  // Schur complement against the bands, exact for the quadratic model. The best few pairs,
  // best first.
  std::vector<std::pair<int, int>> RankShelfPairs(const Vars& x, const Linearisation& l) {
    std::vector<int> free;
    for (int k = 0; k < kGeqBands; ++k) {
      const double xk = x[static_cast<std::size_t>(k)];
      if (xk > alignrange::bandTenths.low + 0.05 && xk < alignrange::bandTenths.high - 0.05) free.push_back(k);
    }
    // The shelves' columns at 3 dB, per tenth, beside the bands'.
    constexpr int kShelves = kBassCorners + kTrebleCorners;
    Eigen::MatrixXd columns(m_n, kFullRangeVariables + kShelves);
    columns.leftCols(kFullRangeVariables) = l.j;
    for (int c = 0; c < kShelves; ++c) {
      const bool bass = c < kBassCorners;
      const int corner = bass ? c : c - kBassCorners;
      m_p.SectionDb(AlignmentProblem::FullRangeSection(bass ? kBassVariable : kTrebleVariable, 30.0, bass ? corner : 0,
                                                       bass ? 0 : corner),
                    m_a);
      columns.col(kFullRangeVariables + c) = m_a / 30.0;
    }
    AlignmentProblem::Model model;
    m_p.Linearise(l.e, columns, model);
    // The boost rows active at x count as plain rows.
    Eigen::Index activeRows = 0;
    for (Eigen::Index i = 0; i < model.hinge.size(); ++i) activeRows += model.hinge[i] > 0.0;
    Vector rows(model.rows.size() + activeRows);
    Eigen::MatrixXd jacobian(rows.size(), columns.cols());
    rows.head(model.rows.size()) = model.rows;
    jacobian.topRows(model.rows.size()) = model.jacobian;
    for (Eigen::Index i = 0, r = model.rows.size(); i < model.hinge.size(); ++i) {
      if (model.hinge[i] <= 0.0) continue;
      rows[r] = model.hinge[i];
      jacobian.row(r++) = model.hingeJacobian.row(i);
    }
    const auto m = static_cast<Eigen::Index>(free.size());
    Eigen::MatrixXd jf(jacobian.rows(), m);
    for (Eigen::Index c = 0; c < m; ++c) jf.col(c) = jacobian.col(free[static_cast<std::size_t>(c)]);
    const Eigen::MatrixXd ju = jacobian.rightCols(kShelves);
    Eigen::MatrixXd aff = jf.transpose() * jf;
    Vector bf = jf.transpose() * rows;
    for (Eigen::Index c = 0; c < m; ++c) {
      const double xk = x[static_cast<std::size_t>(free[static_cast<std::size_t>(c)])];
      aff(c, c) += RidgeWeight(xk);
      bf[c] += RidgeWeight(xk) * xk;
    }
    const auto solver = aff.ldlt();
    const Eigen::MatrixXd afu = jf.transpose() * ju;
    const Eigen::MatrixXd z = solver.solve(afu);
    const Vector y = solver.solve(bf);
    Eigen::MatrixXd schur = ju.transpose() * ju - afu.transpose() * z;
    schur.diagonal().array() += kRidge;
    const Vector g = ju.transpose() * rows - afu.transpose() * y;

    std::vector<std::pair<double, std::pair<int, int>>> ranked;
    for (int bass = kShelfOff; bass < kBassCorners; ++bass) {
      for (int treble = kShelfOff; treble < kTrebleCorners; ++treble) {
        if (bass == kShelfOff && treble == kShelfOff) continue;
        std::vector<int> used;
        if (bass != kShelfOff) used.push_back(bass);
        if (treble != kShelfOff) used.push_back(kBassCorners + treble);
        const auto u = static_cast<Eigen::Index>(used.size());
        Eigen::MatrixXd s(u, u);
        Vector gu(u);
        for (Eigen::Index r = 0; r < u; ++r) {
          gu[r] = g[used[static_cast<std::size_t>(r)]];
          for (Eigen::Index c = 0; c < u; ++c) s(r, c) = schur(used[static_cast<std::size_t>(r)], used[static_cast<std::size_t>(c)]);
        }
        const auto ldlt = s.ldlt();
        if (ldlt.info() != Eigen::Success || !(s.determinant() > 0.0)) continue;
        ranked.push_back({gu.dot(ldlt.solve(gu)), {bass, treble}});
      }
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::pair<int, int>> out;
    for (const auto& [gain, pair] : ranked) {
      if (out.size() >= static_cast<std::size_t>(kShelfPairsFitted) || gain < 1e-4) break;  // dB^2: not worth a frame
      out.push_back(pair);
    }
    return out;
  }

  // Exact objective of stored settings, section by section as the unit designs them.
  struct Exact {
    std::array<int, kFullRangeVariables> x{};
    int bass = kShelfOff;
    int treble = kShelfOff;
    std::vector<Vector> sections;
    Vector sum;
  };

  Biquad StoredSection(int k, int tenths, int bass, int treble) const {
    if (k < kGeqBands) return DesignPeak(kGeqBandHz[static_cast<std::size_t>(k)], kGraphicBandQ, tenths);
    if (k == kBassVariable) {
      const auto hz = BassCornerHz(bass);
      return hz ? DesignBassShelf(*hz, tenths) : kFlatSection;
    }
    const auto hz = TrebleCornerHz(treble);
    return hz ? DesignTrebleShelf(*hz, tenths) : kFlatSection;
  }

  Vector StoredDb(int k, int tenths, int bass, int treble) {
    if (tenths == 0 && k >= kGeqBands) return Vector::Zero(m_n);
    m_p.SectionDb(StoredSection(k, tenths, bass, treble), m_a);
    return m_a;
  }

  double ExactValue(const Exact& e) const {
    return m_p.Cost(std::span<const double>(e.sum.data(), static_cast<std::size_t>(m_n))) + Ridge(e.x);
  }

  Exact Quantise(const Vars& x, int bass, int treble) {
    Exact e;
    e.bass = bass;
    e.treble = treble;
    e.sum = Vector::Zero(m_n);
    for (int k = 0; k < kFullRangeVariables; ++k) {
      const int v = Active(k, bass, treble)
                        ? RangeOfVariable(k).Clamp(static_cast<int>(std::lround(x[static_cast<std::size_t>(k)])))
                        : 0;
      e.x[static_cast<std::size_t>(k)] = v;
      e.sections.push_back(StoredDb(k, v, bass, treble));
      e.sum += e.sections.back();
    }
    return e;
  }

  // One 0.1 dB step at a time, each variable in the direction its slope points, while the
  // exact objective falls.
  void Polish(Exact& e, const Eigen::MatrixXd& j) {
    double value = ExactValue(e);
    for (int sweep = 0; sweep < 6; ++sweep) {
      bool improved = false;
      Vector g = m_p.CostGradient(e.sum);
      for (int k = 0; k < kFullRangeVariables; ++k) {
        if (!Active(k, e.bass, e.treble)) continue;
        const double xk = e.x[static_cast<std::size_t>(k)];
        const double slope = g.dot(j.col(k)) + 2.0 * RidgeWeight(xk) * xk;
        for (const int step : {slope > 0.0 ? -1 : 1, slope > 0.0 ? 1 : -1}) {
          const int v = e.x[static_cast<std::size_t>(k)] + step;
          if (v < RangeOfVariable(k).low || v > RangeOfVariable(k).high) continue;
          Exact trial = e;
          trial.x[static_cast<std::size_t>(k)] = v;
          trial.sections[static_cast<std::size_t>(k)] = StoredDb(k, v, e.bass, e.treble);
          trial.sum += trial.sections[static_cast<std::size_t>(k)] - e.sections[static_cast<std::size_t>(k)];
          const double tv = ExactValue(trial);
          if (tv < value - 1e-12) {
            e = std::move(trial);
            value = tv;
            improved = true;
            g = m_p.CostGradient(e.sum);
            break;
          }
        }
      }
      if (!improved) break;
    }
  }

 private:
  const AlignmentProblem& m_p;
  Eigen::Index m_n;
  Vector m_a, m_b;
  double m_boostFactor;
};

ParameterImage FitFullRange(const AlignmentProblem& p) {
  FullRangeFitter fitter(p);
  Vars bands{};
  Linearisation l;
  double best = fitter.Fit(bands, kShelfOff, kShelfOff, &l);
  Vars x = bands;
  int bass = kShelfOff;
  int treble = kShelfOff;
  for (const auto& [b, t] : fitter.RankShelfPairs(bands, l)) {
    Vars withShelves = bands;
    Linearisation ls;
    const double value = fitter.Fit(withShelves, b, t, &ls);
    if (value < best) {
      best = value;
      x = withShelves;
      bass = b;
      treble = t;
      l = std::move(ls);
    }
  }
  auto exact = fitter.Quantise(x, bass, treble);
  fitter.Polish(exact, l.j);

  ParameterImage out = p.image();
  const int ch = p.channel();
  for (int k = 0; k < kGeqBands; ++k) out.setGeqGain(ch, k, static_cast<std::int8_t>(exact.x[static_cast<std::size_t>(k)]));
  ToneControl tone = out.toneControl(ch);
  // A shelf the fit does not use is switched off by its gain; its corner stays as it was.
  tone.bassGain = static_cast<std::int8_t>(exact.x[kBassVariable]);
  if (exact.x[kBassVariable] != 0) tone.bassFreq = static_cast<std::uint8_t>(bass);
  tone.trebleGain = static_cast<std::int8_t>(exact.x[kTrebleVariable]);
  if (exact.x[kTrebleVariable] != 0) tone.trebleFreq = static_cast<std::uint8_t>(treble);
  out.setToneControl(ch, tone);
  return out;
}

// ---- Subwoofer ----

struct SubSection {
  int hz = 60;
  int q = 6;
  int tenths = 0;
};

class SubwooferFitter final {
 public:
  explicit SubwooferFitter(const AlignmentProblem& p) : m_p(p), m_n(p.size()), m_tmp(m_n) {
    // The unit shapes of every candidate frequency and Q on a coarse lattice, once: a cut of
    // 6 dB scaled to one tenth. The passes below only take dot products of them.
    for (int hz = alignrange::subFreqHz.low; hz <= alignrange::subFreqHz.high; hz += 3) {
      for (int q = alignrange::subQIndex.low; q <= alignrange::subQIndex.high; q += 3) {
        m_p.SectionDb(DesignPeak(hz, SubPeqQ(q), -60), m_tmp);
        Vector u = m_tmp / -60.0;
        u.array() -= u.mean();
        m_shapes.push_back({hz, q, u, u.squaredNorm()});
      }
    }
  }

  Vector Db(const SubSection& s) {
    if (s.tenths == 0) return Vector::Zero(m_n);
    m_p.SectionDb(DesignPeak(s.hz, SubPeqQ(s.q), s.tenths), m_tmp);
    return m_tmp;
  }

  double Value(const Vector& sum, const std::array<SubSection, 2>& s) const {
    double ridge = 0.0;
    for (const auto& x : s) ridge += static_cast<double>(x.tenths) * x.tenths;
    return m_p.Cost(std::span<const double>(sum.data(), static_cast<std::size_t>(m_n))) + kRidge * ridge;
  }

  // Several starts: for the first section the lattice's best at different frequencies, the
  // second placed beside it by the linear model; from each pair a joint Gauss-Newton descent
  // on the six continuous settings (frequency, Q index and gain of both), then the stored
  // steps and a polish on them. The best outcome wins. Two sections for three or four room
  // modes: which ones to take is the hard part, hence the starts.
  std::array<SubSection, 2> Fit() {
    std::array<SubSection, 2> best{};
    double bestValue = std::numeric_limits<double>::infinity();
    for (const SubSection& first : Screen(Vector::Zero(m_n), 12)) {
      const SubSection second = Screen(Db(first), 1).front();
      Vector x(kSubVariables);
      x << first.hz, first.q, first.tenths, second.hz, second.q, second.tenths;
      Descend(x);
      std::array<SubSection, 2> s;
      for (int k = 0; k < 2; ++k) {
        s[static_cast<std::size_t>(k)] = {alignrange::subFreqHz.Clamp(static_cast<int>(std::lround(x[3 * k]))),
                                          alignrange::subQIndex.Clamp(static_cast<int>(std::lround(x[3 * k + 1]))),
                                          alignrange::subGainTenths.Clamp(static_cast<int>(std::lround(x[3 * k + 2])))};
      }
      std::array<Vector, 2> db{Db(s[0]), Db(s[1])};
      Polish(s, db, 0, 1);
      Polish(s, db, 1, 1);
      const double v = Value(db[0] + db[1], s);
      if (v < bestValue) {
        bestValue = v;
        best = s;
      }
    }
    return best;
  }

 private:
  struct Shape {
    int hz;
    int q;
    Vector u;
    double norm;
  };

  Vector Base() const {
    const auto base = m_p.base();
    return Eigen::Map<const Vector>(base.data(), m_n);
  }

  // The count best lattice sections by the linear model against base + other, with the gain
  // the model gives, rounded.
  std::vector<SubSection> Screen(const Vector& other, std::size_t count) const {
    const auto weights = m_p.weights();
    const Eigen::Map<const Vector> w(weights.data(), m_n);
    Vector r = Base() + other;
    r = w.cwiseProduct((r.array() - w.dot(r) / w.sum()).matrix());
    std::vector<std::pair<double, SubSection>> ranked;
    for (const Shape& shape : m_shapes) {
      const double t = std::clamp(-shape.u.dot(r) / shape.norm, double(alignrange::subGainTenths.low),
                                  double(alignrange::subGainTenths.high));
      ranked.push_back({(r + t * shape.u).squaredNorm(), {shape.hz, shape.q, static_cast<int>(std::lround(t))}});
    }
    std::sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    // Starts at different frequencies (a fifth of an octave apart at least): the best few
    // around the largest mode alone would all lead to the same pair.
    std::vector<SubSection> out;
    for (const auto& [value, section] : ranked) {
      if (out.size() >= count) break;
      const bool distinct = std::all_of(out.begin(), out.end(), [&](const SubSection& o) {
        return std::abs(std::log2(static_cast<double>(section.hz) / o.hz)) >= 0.2;
      });
      if (distinct) out.push_back(section);
    }
    return out;
  }

  Vector ContinuousDb(const Vector& x, int k) {
    m_p.SectionDb(AlignmentProblem::SubSection(x[3 * k], x[3 * k + 1], x[3 * k + 2]), m_tmp);
    return m_tmp;
  }

  // Levenberg-damped Gauss-Newton on the six continuous settings within the unit's ranges,
  // on the rows of the problem's cost.
  void Descend(Vector& x) {
    Vector lower, upper;
    AlignmentProblem::SubBounds(lower, upper);
    const auto evaluate = [&](const Vector& v, std::array<Vector, 2>* sections) {
      std::array<Vector, 2> d{ContinuousDb(v, 0), ContinuousDb(v, 1)};
      const Vector e = d[0] + d[1];
      if (sections) *sections = std::move(d);
      return m_p.Cost(std::span<const double>(e.data(), static_cast<std::size_t>(m_n)));
    };
    std::array<Vector, 2> sections;
    double value = evaluate(x, &sections);
    double damping = 1e-3;
    for (int iteration = 0; iteration < 12; ++iteration) {
      Eigen::MatrixXd j(m_n, kSubVariables);
      for (int i = 0; i < kSubVariables; ++i) {
        const int k = i / 3;
        const double h = i % 3 == 2 ? 0.5 : 0.05;
        Vector moved = x;
        moved[i] += x[i] + h > upper[i] ? -h : h;
        j.col(i) = (ContinuousDb(moved, k) - sections[static_cast<std::size_t>(k)]) / (moved[i] - x[i]);
      }
      AlignmentProblem::Model model;
      m_p.Linearise(sections[0] + sections[1], j, model);
      const Vector diagonal = (model.jacobian.transpose() * model.jacobian).diagonal();
      bool improved = false;
      for (int tries = 0; tries < 6 && !improved; ++tries) {
        const Eigen::MatrixXd damped = (damping * (diagonal.array() + 1e-9)).matrix().asDiagonal();
        const Vector step = AlignmentProblem::MinimiseModel(model, damped, Vector::Zero(kSubVariables), lower - x, upper - x);
        const Vector trial = x + step;
        std::array<Vector, 2> trialSections;
        const double tv = evaluate(trial, &trialSections);
        if (tv < value) {
          improved = true;
          x = trial;
          sections = std::move(trialSections);
          const bool small = value - tv < 1e-7;
          value = tv;
          damping = std::max(damping / 4.0, 1e-6);
          if (small) return;
        } else {
          damping *= 8.0;
        }
      }
      if (!improved) return;
    }
  }

  // Pattern search on one section's stored values: gain, frequency and Q in shrinking steps.
  void Polish(std::array<SubSection, 2>& s, std::array<Vector, 2>& db, int k, int largest = 8) {
    double value = Value(db[0] + db[1], s);
    for (const int size : {8, 4, 2, 1}) {
      if (size > largest) continue;
      bool improved = true;
      for (int round = 0; improved && round < 50; ++round) {
        improved = false;
        for (int what = 0; what < 3; ++what) {
          for (const int sign : {-1, 1}) {
            SubSection trial = s[static_cast<std::size_t>(k)];
            int& field = what == 0 ? trial.tenths : what == 1 ? trial.hz : trial.q;
            const StoredRange range = what == 0 ? alignrange::subGainTenths
                                      : what == 1 ? alignrange::subFreqHz
                                                  : alignrange::subQIndex;
            const int v = field + sign * (what == 2 ? std::max(1, size / 4) : size);
            if (v < range.low || v > range.high) continue;
            field = v;
            if (what != 0 && trial.tenths == 0) continue;
            auto trialSections = s;
            trialSections[static_cast<std::size_t>(k)] = trial;
            const Vector trialDb = Db(trial);
            const double tv = Value(trialDb + db[static_cast<std::size_t>(1 - k)], trialSections);
            if (tv < value - 1e-12) {
              value = tv;
              s = trialSections;
              db[static_cast<std::size_t>(k)] = trialDb;
              improved = true;
            }
          }
        }
      }
    }
  }

  const AlignmentProblem& m_p;
  Eigen::Index m_n;
  Vector m_tmp;
  std::vector<Shape> m_shapes;
};

ParameterImage FitSubwoofer(const AlignmentProblem& p) {
  SubwooferFitter fitter(p);
  const auto sections = fitter.Fit();
  ParameterImage out = p.image();
  for (int k = 0; k < 2; ++k) {
    const SubSection& s = sections[static_cast<std::size_t>(k)];
    SubPeq peq = out.subPeq(k);
    peq.gain = static_cast<std::int8_t>(s.tenths);
    // A section the fit does not use is switched off by its gain; frequency and Q stay.
    if (s.tenths != 0) {
      peq.freq = static_cast<std::uint16_t>(s.hz);
      peq.qIndex = static_cast<std::uint8_t>(s.q);
    }
    out.setSubPeq(k, peq);
  }
  return out;
}

// The mean of the 1/3-octave bands of curve from low to high Hz (band centres).
double ReferenceLevel(const GridCurve& curve, double low, double high) {
  double sum = 0.0;
  int count = 0;
  for (const auto hz : kGeqBandHz) {
    if (hz < low / 1.01 || hz > high * 1.01) continue;
    const double v = CurveAt(curve, hz);
    if (!std::isfinite(v)) continue;
    sum += v;
    ++count;
  }
  return count ? sum / count : std::nan("");
}

FitResult Assemble(const FitRequest& request, const AlignmentProblem& p, const ParameterImage& fitted) {
  FitResult result;
  result.image = fitted;
  result.channel = p.channel();
  result.target = p.target();
  result.fromHz = p.fromHz();
  result.toHz = p.toHz();
  result.requestedFromHz = request.fromHz;
  result.mode = request.mode;
  result.smoothingFraction = request.smoothingFraction;
  result.maxBoostDb = request.maxBoostDb;
  result.rollOffHz = p.rollOffHz();
  result.leftOut = p.leftOut();
  const GridCurve eq = ChannelResponse(fitted, p.channel());
  GridCurve after;
  for (std::size_t n = 0; n < after.size(); ++n) after[n] = p.room()[n] + eq[n];
  result.equalizer = eq;

  // The figures over the points that count: the fit range without the left-out dips.
  const auto weights = p.weights();
  const auto indices = p.indices();
  const auto figures = [&](const GridCurve& curve, double* level, double* rms) {
    std::vector<double> r;
    for (std::size_t k = 0; k < indices.size(); ++k) {
      if (weights[k] <= 0.0) continue;
      const auto i = static_cast<std::size_t>(indices[k]);
      r.push_back(curve[i] - p.target()[i]);
    }
    double mean = 0.0;
    for (double v : r) mean += v;
    *level = mean / static_cast<double>(r.size());
    *rms = std::sqrt(AlignmentProblem::CenteredMeanSquare(r));
  };
  figures(p.judged(), &result.levelBefore, &result.rmsBefore);
  figures(after, &result.levelAfter, &result.rmsAfter);
  for (std::size_t n = 0; n < after.size(); ++n) {
    result.before[n] = p.judged()[n] - result.levelBefore;
    result.measured[n] = request.average[n] - result.levelBefore;
    result.after[n] = after[n] - result.levelAfter;
  }
  std::vector<double> inRange;
  for (std::size_t k = 0; k < indices.size(); ++k) {
    if (p.inRange()[k]) inRange.push_back(eq[static_cast<std::size_t>(indices[k])]);
  }
  // The cost as the fit sees it: the room with the present equalizer taken out, plus the new.
  // The subwoofer's low-pass belongs to the target and to the room alike: the sections alone.
  const GridCurve lowPass = p.subwoofer() ? LowPassResponse(fitted) : GridCurve{};
  std::vector<double> newEq(indices.size());
  for (std::size_t k = 0; k < indices.size(); ++k) {
    const auto i = static_cast<std::size_t>(indices[k]);
    newEq[k] = eq[i] - lowPass[i];
  }
  result.cost = std::sqrt(p.Cost(newEq));
  std::nth_element(inRange.begin(), inRange.begin() + static_cast<std::ptrdiff_t>((inRange.size() - 1) / 2), inRange.end());
  result.equalizerMedianDb = inRange.empty() ? 0.0 : inRange[(inRange.size() - 1) / 2];

  // The reference level on the 1/3-octave smoothed average, before and as predicted.
  const GridCurve third = SmoothFractionalOctave(request.average, 3.0);
  GridCurve thirdAfter;
  for (std::size_t n = 0; n < thirdAfter.size(); ++n) thirdAfter[n] = third[n] - p.currentEq()[n] + eq[n];
  const bool sub = p.channel() == kSubwooferChannel;
  const double low = sub ? p.fromHz() : 500.0;
  const double high = sub ? p.toHz() : 2000.0;
  result.referenceBefore = ReferenceLevel(third, low, high);
  result.referenceAfter = ReferenceLevel(thirdAfter, low, high);
  result.levelChangeDb = result.referenceBefore - result.referenceAfter;

  GridCurve residualBefore, residualAfter;
  for (std::size_t n = 0; n < after.size(); ++n) {
    residualBefore[n] = result.before[n] - result.target[n];
    residualAfter[n] = result.after[n] - result.target[n];
  }
  const auto inFit = [&](double hz) { return hz >= p.fromHz() / 1.0116 && hz <= p.toHz() * 1.0116; };
  const auto leftOut = [&](double hz) {
    return std::any_of(p.leftOut().begin(), p.leftOut().end(),
                       [hz](const FrequencySpan& s) { return hz >= s.fromHz && hz <= s.toHz; });
  };
  const int ch = p.channel();
  if (ch == kSubwooferChannel) {
    for (int k = 0; k < 2; ++k) {
      const SubPeq was = request.image.subPeq(k);
      const SubPeq now = fitted.subPeq(k);
      BandRow row;
      row.hz = now.freq;
      row.hzBefore = was.freq;
      row.tenthsBefore = was.gain;
      row.tenthsAfter = now.gain;
      row.qIndexBefore = was.qIndex;
      row.qIndexAfter = now.qIndex;
      const double at = std::clamp<double>(now.freq, kGridStartHz, kGridStopHz);
      row.residualBefore = CurveAt(residualBefore, at);
      row.residualAfter = CurveAt(residualAfter, at);
      row.inRange = inFit(at);
      row.leftOut = leftOut(at);
      result.bands.push_back(row);
    }
  } else {
    for (int k = 0; k < kGeqBands; ++k) {
      BandRow row;
      row.hz = kGeqBandHz[static_cast<std::size_t>(k)];
      row.hzBefore = static_cast<int>(row.hz);
      row.tenthsBefore = request.image.geqGain(ch, k);
      row.tenthsAfter = fitted.geqGain(ch, k);
      row.residualBefore = CurveAt(residualBefore, row.hz);
      row.residualAfter = CurveAt(residualAfter, row.hz);
      row.inRange = inFit(row.hz);
      row.leftOut = leftOut(row.hz);
      result.bands.push_back(row);
    }
  }
  return result;
}

}  // namespace

std::variant<FitResult, AlignError> FitEqualizer(const FitRequest& request) {
  ClearUpperVectorState();
  auto prepared = PrepareAlignment(request);
  if (auto* error = std::get_if<AlignError>(&prepared)) return *error;
  const AlignmentProblem& p = std::get<AlignmentProblem>(prepared);
  const ParameterImage fitted = p.subwoofer() ? FitSubwoofer(p) : FitFullRange(p);
  return Assemble(request, p, fitted);
}

int OutputLevelAfterChange(int stored, double changeDb) {
  const StoredRange range = alignrange::outputLevel;
  const int steps = static_cast<int>(std::lround(changeDb / 0.5));
  return range.Clamp(stored + steps);
}

std::variant<FitResult, AlignError> EvaluateSettings(const FitRequest& request, const ParameterImage& settings) {
  auto prepared = PrepareAlignment(request);
  if (auto* error = std::get_if<AlignError>(&prepared)) return *error;
  return Assemble(request, std::get<AlignmentProblem>(prepared), settings);
}

}  // namespace mzr
