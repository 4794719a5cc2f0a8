#pragma once
// One channel's alignment as numbers: the grid points the fit looks at with their sines and
// cosines, the room (the measured average with the channel's present equalizer taken out,
// since the installer measured the channel as it played) and the target, the rules of the
// fit, its cost, and the channel's sections as functions of continuous settings. The fit, the
// reference optimiser and the per-band baseline all read it, so they solve the same problem
// under the same rules.
//
// The installer's rules (FitMode::installer, the default):
// - the cost judges the power average smoothed to 1/3 octave (or 1/6), as the standard judges
//   a hall, on the same grid;
// - a dip deeper than 6 dB and narrower than about 1/3 octave (its width at -6 dB at most
//   kDipMaxOctaves), measured against the average smoothed over an octave, is left out of
//   the cost with its flanks (down to -3 dB): no equalizer fills a cancellation;
// - the fit's lower limit moves up to where the smoothed average falls 6 dB below its mean
//   from 200 Hz to 2 kHz (full-range channels), and below it the equalizer may not boost
//   above its own median: a boost below a loudspeaker's roll-off risks the driver;
// - the equalizer's combined response stays within maxBoostDb above its own median over the
//   fit range (a steep penalty), and any boost above the median costs kBoostCost per dB^2
//   besides, so of two equal fits the one that cuts wins (full-range channels: the
//   subwoofer's sections are held to +3 dB by their own range).
// FitMode::exact is the plain least-squares fit of the raw average over the whole range.

#include <array>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include <Eigen/Dense>

#include "align/AlignError.h"
#include "align/MeasurementAverage.h"
#include "dsp/Biquad.h"
#include "dsp/ResponseGrid.h"
#include "model/ParameterImage.h"

namespace mzr {

enum class FitMode { installer, exact };

struct FitRequest {
  ParameterImage image;     // the settings the channel was measured with
  int channel = 0;          // 0..4 full range, 5 subwoofer
  GridCurve average{};      // power average of the positions
  GridCurve target{};
  double fromHz = 40.0;
  double toHz = 16000.0;
  FitMode mode = FitMode::installer;
  int smoothingFraction = 3;  // 1/3 or 1/6 octave (installer)
  double maxBoostDb = 3.0;    // above the equalizer's own median (installer)
};

inline constexpr double kDipDepthDb = 6.0;
inline constexpr double kDipFlankDb = 3.0;
inline constexpr double kDipMaxOctaves = 0.4;  // "about 1/3 octave" at its -6 dB points
inline constexpr double kRollOffDropDb = 6.0;
inline constexpr double kBoostCost = 0.05;     // per dB^2 of boost above the median
inline constexpr double kBoostLimitWeight = 2000.0;

// A part of the fit range left out of the cost (a narrow dip).
struct FrequencySpan {
  double fromHz = 0.0;
  double toHz = 0.0;
};

// Power smoothing over 1/fraction octave on the grid, only over points where keep is set
// (all finite points when keep is empty); NaN stays NaN.
GridCurve SmoothFractionalOctave(const GridCurve& db, double fraction, const std::vector<bool>& keep = {});

// Variables of a full-range channel: bands 0..26, then the bass and the treble shelf gain,
// all in tenths of a dB.
inline constexpr int kFullRangeVariables = 29;
inline constexpr int kBassVariable = 27;
inline constexpr int kTrebleVariable = 28;
inline constexpr int kShelfOff = -1;  // corner index of a shelf that takes no part

// Variables of the subwoofer: per section k, 3k = frequency in Hz, 3k+1 = Q index, 3k+2 = gain
// in tenths.
inline constexpr int kSubVariables = 6;

class AlignmentProblem final {
 public:
  int channel() const { return m_channel; }
  bool subwoofer() const { return m_channel == 5; }
  // The points the fit looks at: the fit range and, below a roll-off, the guard points.
  int size() const { return static_cast<int>(m_indices.size()); }
  std::span<const int> indices() const { return m_indices; }
  // room - target at the points (0 where the point does not count).
  std::span<const double> base() const { return m_base; }
  // 1 where the point counts in the cost, 0 for a left-out dip and a guard point.
  std::span<const double> weights() const { return m_weight; }
  // The boost allowed at the point above the median (infinite in the exact fit).
  std::span<const double> caps() const { return m_cap; }
  // Whether the point is in the fit range (the median and the boost cost are taken there).
  std::span<const char> inRange() const { return m_inRange; }

  FitMode mode() const { return m_mode; }
  double fromHz() const { return m_fromHz; }  // after a roll-off moved it
  double toHz() const { return m_toHz; }
  std::optional<double> rollOffHz() const { return m_rollOffHz; }
  const std::vector<FrequencySpan>& leftOut() const { return m_leftOut; }
  // The measured average the cost judges (smoothed in the installer's fit), on the grid.
  const GridCurve& judged() const { return m_judged; }

  // The cost of an equalizer response e at the points (the sum of the sections' dB): the
  // weighted mean square of base + e after its weighted mean is removed, plus the boost
  // cost and the boost limit's penalty.
  double Cost(std::span<const double> e) const;
  // The cost's linear model at e for the sections' columns (their derivatives at the points):
  // cost(d) ~ |rows + jacobian d|^2 + sum max(0, hinge + hingeJacobian d)^2.
  struct Model {
    Eigen::VectorXd rows;
    Eigen::MatrixXd jacobian;
    Eigen::VectorXd hinge;  // the boost cost's and the boost limit's rows before max(0, .)
    Eigen::MatrixXd hingeJacobian;
  };
  void Linearise(const Eigen::VectorXd& e, const Eigen::MatrixXd& columns, Model& out) const;
  // The step within [lower, upper] that minimises the model plus 1/2 d'extraA d + extraB'd:
  // the hinge rows that the step makes active join until the set settles.
  static Eigen::VectorXd MinimiseModel(const Model& model, const Eigen::MatrixXd& extraA, const Eigen::VectorXd& extraB,
                                       const Eigen::VectorXd& lower, const Eigen::VectorXd& upper);
  // d Cost / d e at every point.
  Eigen::VectorXd CostGradient(const Eigen::VectorXd& e) const;
  // The median of e over the fit range and the point that holds it.
  int MedianPoint(const Eigen::Ref<const Eigen::VectorXd>& e) const;

  const GridCurve& room() const { return m_room; }
  const GridCurve& target() const { return m_target; }          // the low-pass included
  const GridCurve& currentEq() const { return m_currentEq; }
  const ParameterImage& image() const { return m_image; }

  // 10 log10 |H|^2 of one section at every fit point.
  void SectionDb(const Biquad& section, std::span<double> out) const;
  void SectionDb(const Biquad& section, Eigen::VectorXd& out) const {
    out.resize(size());
    SectionDb(section, std::span<double>(out.data(), static_cast<std::size_t>(out.size())));
  }

  // Sections of continuous settings.
  static Biquad FullRangeSection(int variable, double tenths, int bassCorner, int trebleCorner);
  static Biquad SubSection(double hz, double qIndex, double tenths);
  // The unit's ranges of the six subwoofer variables, in their order.
  static void SubBounds(Eigen::VectorXd& lower, Eigen::VectorXd& upper);

  // Mean square of r after its mean is removed.
  static double CenteredMeanSquare(std::span<const double> r);

  friend std::variant<AlignmentProblem, AlignError> PrepareAlignment(const FitRequest& request);

 private:
  AlignmentProblem() = default;

  int m_channel = 0;
  FitMode m_mode = FitMode::installer;
  bool m_boostRules = true;  // the boost limit and the boost cost apply
  double m_fromHz = 0.0, m_toHz = 0.0, m_maxBoostDb = 3.0;
  std::optional<double> m_rollOffHz;
  std::vector<FrequencySpan> m_leftOut;
  std::vector<int> m_indices;
  std::vector<int> m_rangePoints;  // positions in m_indices of the fit range's points
  std::vector<double> m_base, m_weight, m_cap, m_c1, m_s1, m_c2, m_s2;
  std::vector<char> m_inRange;
  double m_weightSum = 0.0;
  GridCurve m_room{}, m_target{}, m_currentEq{}, m_judged{};
  ParameterImage m_image;
};

std::variant<AlignmentProblem, AlignError> PrepareAlignment(const FitRequest& request);

// The response in dB of a channel's sections as the graph draws them, on the whole grid.
GridCurve ChannelResponse(const ParameterImage& image, int channel);
// The subwoofer's low-pass cascade alone.
GridCurve LowPassResponse(const ParameterImage& image);

}  // namespace mzr
