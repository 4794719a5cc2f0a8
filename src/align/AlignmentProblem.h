#pragma once
// One channel's alignment as numbers: the grid points of the fit range with their sines and
// cosines, the room (the measured average with the channel's present equalizer taken out,
// since the installer measured the channel as it played) and the target, and the channel's
// sections as functions of continuous settings. The fit, the reference optimiser and the
// per-band baseline all read it, so they solve the same problem.

#include <array>
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

struct FitRequest {
  ParameterImage image;     // the settings the channel was measured with
  int channel = 0;          // 0..4 full range, 5 subwoofer
  GridCurve average{};      // power average of the positions
  GridCurve target{};
  double fromHz = 40.0;
  double toHz = 16000.0;
};

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
  int size() const { return static_cast<int>(m_indices.size()); }
  std::span<const int> indices() const { return m_indices; }
  // room - target at the fit points (the low-pass of the subwoofer belongs to the target).
  std::span<const double> base() const { return m_base; }

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
  std::vector<int> m_indices;
  std::vector<double> m_base, m_c1, m_s1, m_c2, m_s2;
  GridCurve m_room{}, m_target{}, m_currentEq{};
  ParameterImage m_image;
};

std::variant<AlignmentProblem, AlignError> PrepareAlignment(const FitRequest& request);

// The response in dB of a channel's sections as the graph draws them, on the whole grid.
GridCurve ChannelResponse(const ParameterImage& image, int channel);
// The subwoofer's low-pass cascade alone.
GridCurve LowPassResponse(const ParameterImage& image);

}  // namespace mzr
