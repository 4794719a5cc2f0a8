#pragma once
// Seeded synthetic halls for tests and benchmarks: what several microphone positions would
// measure from one channel played flat, exported at 1/24 octave like a measurement program.
// The model, in dB, per position p:
//   loudspeaker low-frequency roll-off   second-order high-pass at 32..55 Hz
//   broad room peaks and dips            4 bells in log-frequency, 60 Hz..3 kHz, +-1.5..5 dB,
//                                        0.3..1 octave wide, their depth varying 0.6..1.4x
//                                        from position to position
//   high-frequency loss                  -1.5..-4 dB per octave above 3..8 kHz (screen, air)
//   seat-to-seat ripple                  a few narrow +-0.3..1 dB wiggles per position
//   level                                a common 78..86 dB
// A subwoofer room instead: 10..250 Hz, strong low modes (+-4..9 dB, 0.2..0.5 octave) and a
// roll-off below 22..30 Hz. The random numbers come from std::mt19937 (its sequence is fixed
// by the C++ standard) turned into reals by hand, so a seed gives the same room everywhere.

#include <cstdint>
#include <vector>

#include "align/MeasurementFile.h"

namespace mzr {

struct SyntheticRoomOptions {
  std::uint32_t seed = 1;
  int positions = 4;
  bool subwoofer = false;
};

std::vector<Measurement> SyntheticRoomMeasurements(const SyntheticRoomOptions& options);

}  // namespace mzr
