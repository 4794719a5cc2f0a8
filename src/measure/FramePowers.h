#pragma once
// The analyser's core: Hann-windowed 65,536-point transforms (Eigen's FFT module) of 48 kHz
// samples, their one-sided bin powers summed frame after frame, and the mean square of the
// signal in any band taken from those sums. A bin stands for the width around its centre and
// counts in a band by the share of that width inside it, so a band gets its true bandwidth
// whatever its edges (a 1/24-octave band at 20 Hz is narrower than one bin). Levels are in
// dB relative to a full-scale sine (a sine of peak 1.0 reads 0 dB).

#include <complex>
#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "measure/AnalyserBands.h"

namespace mzr {

inline constexpr int kAnalyserPoints = 65536;
inline constexpr double kAnalyserRate = 48000.0;
inline constexpr double kAnalyserBinHz = kAnalyserRate / kAnalyserPoints;
// Levels below this (silence) are held here instead of minus infinity.
inline constexpr double kLevelFloorDb = -200.0;

class FramePowers final {
 public:
  FramePowers();
  ~FramePowers();
  FramePowers(const FramePowers&) = delete;
  FramePowers& operator=(const FramePowers&) = delete;

  // Adds one frame: kAnalyserPoints samples read from ring starting at start and wrapping
  // around its end (ring.size() >= kAnalyserPoints).
  void AddFrame(std::span<const float> ring, std::size_t start);
  void Clear();
  int frames() const { return m_frames; }

  // Mean square of the signal between lowHz and highHz, averaged over the frames added.
  double BandMeanSquare(double lowHz, double highHz) const;
  // Level of each band in dB re full-scale sine.
  std::vector<double> BandLevels(const std::vector<AnalyserBand>& bands) const;

 private:
  struct Fft;
  std::unique_ptr<Fft> m_fft;
  std::vector<double> m_window;
  std::vector<double> m_frame;
  std::vector<std::complex<double>> m_bins;
  std::vector<double> m_power;  // one-sided sums, bins 0..N/2
  double m_windowPower = 0.0;   // sum of the window's squares
  int m_frames = 0;
};

// Mean square to dB re full-scale sine, floored at kLevelFloorDb.
double MeanSquareToDb(double meanSquare);

}  // namespace mzr
