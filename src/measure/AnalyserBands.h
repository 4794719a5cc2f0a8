#pragma once
// The frequency bands of the analyser: the one-third-octave bands on the base-ten centres of
// the standard for fractional-octave filters (G = 10^(3/10), 19.95 Hz to 19.95 kHz, labelled
// with their nominal values 20, 25, 31.5 ... 20k), and the 1/24-octave points the alignment
// fits on (for an even fraction the centres sit half a band off 1 kHz). A band's edges are
// its centre times G^(+-1/(2b)).

#include <vector>

namespace mzr {

struct AnalyserBand {
  double hz = 0.0;       // exact centre
  double nominal = 0.0;  // the label (equals hz on the 1/24-octave grid)
  double lowHz = 0.0;
  double highHz = 0.0;
};

// The 31 one-third-octave bands from 20 Hz to 20 kHz.
const std::vector<AnalyserBand>& ThirdOctaveBands();
// The 1/24-octave bands whose centres lie within 20 Hz..20 kHz.
const std::vector<AnalyserBand>& TwentyFourthOctaveBands();

// dB added to a 1/24-octave band's level so that pink noise reads the same on both scales
// (eight 1/24-octave bands make one third of an octave).
inline constexpr double kFineToThirdOctaveDb = 9.030899869919435;

}  // namespace mzr
