#pragma once
// One capture analysed as a whole: Hann frames of 65,536 points every 8,192 samples, their
// powers averaged. The frames run round the record (the last ones take their tail from its
// start), so every sample weighs the same, and a periodic signal captured over whole periods
// is seen exactly as it repeats. The record is cut to a whole number of hops first (at most
// 0.17 s is left out).

#include <cstddef>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace mzr {

inline constexpr int kRecordHop = 8192;

struct RecordSpectrum {
  std::vector<double> thirdDb;  // ThirdOctaveBands(), dB re full-scale sine
  std::vector<double> fineDb;   // TwentyFourthOctaveBands(), on the third-octave scale
  std::size_t samplesUsed = 0;
  int frames = 0;
};

// An error text when the record is shorter than one frame (1.37 s at 48 kHz).
std::variant<RecordSpectrum, std::string> AnalyseRecord(std::span<const float> samples);

}  // namespace mzr
