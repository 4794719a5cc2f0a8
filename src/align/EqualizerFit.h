#pragma once
// The alignment's fit: the settings of one channel that bring the measured room closest to
// the target, as the unit will play them.
//
// Full-range channels (0..4): the 27 band gains and, where they help, the bass and treble
// shelves with their turnover. The residual r = room + equalizer - target on the grid points
// of the fit range is made as small as possible in RMS after its mean is removed (the level
// is the output level's business), under the rules of AlignmentProblem.h (the installer's by
// default: smoothed, dips left out, no boost below the roll-off, a boost limit). Gauss-Newton on the sections' decibel responses (the dB
// response of a cascade is exactly the sum of its sections'; each section's own shape
// depends on its gain, hence the iterations), each step a box-bounded least-squares problem
// solved with Eigen; shelf turnovers screened by the linearised problem, the best ones fitted
// in full; then the gains rounded to the unit's 0.1 dB steps and polished one step at a time
// on the exact designs. Every pair of shelf turnovers is ranked by the quadratic model with
// the bands free, and the best few pairs are fitted in full. A tiny penalty on the gains picks, among settings that fit equally
// well, the one with the least boost and cut (an even shift of every band changes nothing
// once the mean is removed, and would only spend headroom).
//
// Subwoofer (5): its two parametric sections (frequency 20..120 Hz in 1 Hz steps, gain, Q
// from the unit's list) against a flat target, by default from 20 to 120 Hz; the low-pass is
// left as set and counts as part of the target.

#include <array>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "align/AlignmentProblem.h"

namespace mzr {

struct BandRow {
  double hz = 0.0;            // centre of the band, or the section's frequency after the fit
  int tenthsBefore = 0;       // stored gain before the fit
  int tenthsAfter = 0;        // stored gain chosen
  int hzBefore = 0;           // subwoofer sections: frequency and Q index before and after
  int qIndexBefore = 0;
  int qIndexAfter = 0;
  double residualBefore = 0;  // average - target at the centre, mean removed, dB (NaN: not measured)
  double residualAfter = 0;   // predicted, mean removed
  bool inRange = true;        // the centre lies in the fit range (after a roll-off moved it)
  bool leftOut = false;       // the centre lies in a dip left out of the cost
};

struct FitResult {
  ParameterImage image;       // the request's image with the channel's fitted settings
  int channel = 0;
  GridCurve target{};         // the target the fit aimed at (the low-pass included on 5)
  GridCurve before{};         // the measured average, moved by its level offset onto the target
  GridCurve after{};          // the predicted response after the fit, moved the same way
  double rmsBefore = 0.0;     // RMS of the residual after removing its mean, fit range, dB
  double rmsAfter = 0.0;
  double levelBefore = 0.0;   // mean of average - target over the fit range, dB
  double levelAfter = 0.0;    // what the output level would take away after the fit
  std::vector<BandRow> bands;  // 27 bands, or the 2 subwoofer sections
  double fromHz = 0.0;        // the fit range, after a roll-off moved its lower limit
  double toHz = 0.0;
  double requestedFromHz = 0.0;

  // The rules and what they did.
  FitMode mode = FitMode::installer;
  int smoothingFraction = 3;
  double maxBoostDb = 3.0;
  std::optional<double> rollOffHz;       // the lower limit moved up to here
  std::vector<FrequencySpan> leftOut;    // dips left out of the cost
  GridCurve measured{};                  // the raw average, moved like before
  GridCurve equalizer{};                 // the fitted sections' combined response, dB
  double equalizerMedianDb = 0.0;        // its median over the fit range
  double cost = 0.0;                     // square root of the fit's cost (rules included), dB

  // The reference level: the mean of the 1/3-octave bands from 500 Hz to 2 kHz (the
  // subwoofer: the bands inside its fit range) on the measurements' scale, before and as
  // predicted, and the output-level change that brings it back.
  double referenceBefore = 0.0;
  double referenceAfter = 0.0;
  double levelChangeDb = 0.0;
};

// The output level's stored value that moves it by changeDb, in its 0.5 dB steps and within
// its range; the same value when the change rounds to nothing.
int OutputLevelAfterChange(int stored, double changeDb);

std::variant<FitResult, AlignError> FitEqualizer(const FitRequest& request);

// The same result from settings chosen elsewhere (the per-band baseline, a test): the
// figures of image's settings for the channel against the request.
std::variant<FitResult, AlignError> EvaluateSettings(const FitRequest& request, const ParameterImage& settings);

}  // namespace mzr
