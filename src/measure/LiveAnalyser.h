#pragma once
// The running one-third-octave display: a Hann frame of the latest 65,536 samples every
// 4,096 samples (11.7 readings a second at 48 kHz), each band's power then smoothed with the
// sound level meter's exponential time constants, fast (125 ms) and slow (1 s). Before the
// first 65,536 samples the frame holds zeros where nothing arrived yet.

#include <cstddef>
#include <span>
#include <vector>

#include "measure/FramePowers.h"

namespace mzr {

inline constexpr int kLiveHop = 4096;
inline constexpr double kFastSeconds = 0.125;
inline constexpr double kSlowSeconds = 1.0;

class LiveAnalyser final {
 public:
  LiveAnalyser();
  LiveAnalyser(const LiveAnalyser&) = delete;
  LiveAnalyser& operator=(const LiveAnalyser&) = delete;

  // Takes samples; returns how many new readings they completed.
  int Push(std::span<const float> samples);
  void Reset();

  // Band levels in dB re full-scale sine, on ThirdOctaveBands().
  std::vector<double> FastDb() const;
  std::vector<double> SlowDb() const;
  int readings() const { return m_readings; }

 private:
  void Reading();

  FramePowers m_powers;
  std::vector<float> m_ring;
  std::size_t m_write = 0;
  int m_sinceReading = 0;
  int m_readings = 0;
  std::vector<double> m_fast;  // mean squares
  std::vector<double> m_slow;
};

}  // namespace mzr
