#pragma once
// What the fit is measured against, in the tests and the benchmark:
// - the reference: the best continuous setting found by the general bounded minimiser
//   (BoundedMinimiser.h) on the same model and the same cost, the problem's rules included
//   (AlignmentProblem::Cost), with no steps and no tie-breaking penalty: every combination
//   of shelf turnovers (and shelves off) for a full-range channel, a lattice of starting
//   points for the subwoofer's sections;
// - per-band inversion, as done by hand: each bar set to the deviation at its own centre
//   (target - average, mean removed), clamped and rounded to the unit's steps, shelves left
//   flat.
// The reference gives the square root of its cost, in dB (under the exact fit's rules, the
// RMS of the residual after removing its mean); the per-band image is judged by the fit's.

#include <vector>

#include "align/AlignmentProblem.h"

namespace mzr {

struct ReferenceFit {
  double rms = 0.0;  // square root of the cost, dB
  std::vector<double> settings;  // the best point found, in the variables of AlignmentProblem.h
  int evaluations = 0;  // objective evaluations spent, all runs together
};

ReferenceFit ReferenceContinuousFit(const AlignmentProblem& problem);

// The per-band image (shelves and sections left as they were for a full-range channel; the
// subwoofer has no bands, its image comes back unchanged).
ParameterImage PerBandInversion(const FitRequest& request);

}  // namespace mzr
