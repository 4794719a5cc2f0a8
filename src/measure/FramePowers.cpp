#include "measure/FramePowers.h"

#include <unsupported/Eigen/FFT>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace mzr {

struct FramePowers::Fft {
  Eigen::FFT<double> fft;
};

FramePowers::FramePowers()
    : m_fft(std::make_unique<Fft>()),
      m_window(kAnalyserPoints),
      m_frame(kAnalyserPoints),
      m_bins(kAnalyserPoints / 2 + 1),
      m_power(kAnalyserPoints / 2 + 1, 0.0) {
  // The periodic Hann window: shifted copies a hop of N/8 or N/16 apart add up to a constant
  // in their squares, so every sample of a record weighs the same.
  for (int n = 0; n < kAnalyserPoints; ++n) {
    const double w = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / kAnalyserPoints);
    m_window[static_cast<std::size_t>(n)] = w;
    m_windowPower += w * w;
  }
  m_fft->fft.SetFlag(Eigen::FFT<double>::HalfSpectrum);
}

FramePowers::~FramePowers() = default;

void FramePowers::AddFrame(std::span<const float> ring, std::size_t start) {
  const std::size_t size = ring.size();
  std::size_t at = start % size;
  for (std::size_t n = 0; n < m_frame.size(); ++n) {
    m_frame[n] = m_window[n] * static_cast<double>(ring[at]);
    if (++at == size) at = 0;
  }
  m_fft->fft.fwd(m_bins.data(), m_frame.data(), kAnalyserPoints);
  for (std::size_t k = 0; k < m_power.size(); ++k) m_power[k] += std::norm(m_bins[k]);
  ++m_frames;
}

void FramePowers::Clear() {
  std::fill(m_power.begin(), m_power.end(), 0.0);
  m_frames = 0;
}

double FramePowers::BandMeanSquare(double lowHz, double highHz) const {
  if (m_frames == 0 || highHz <= lowHz) return 0.0;
  // Bin k covers [(k - 1/2), (k + 1/2)) bin widths; bins 0 and N/2 (half width, no mirror
  // image) never reach a band of the analyser, which starts at 17 Hz.
  const double lo = lowHz / kAnalyserBinHz;
  const double hi = highHz / kAnalyserBinHz;
  const auto last = static_cast<long>(m_power.size()) - 2;
  long k = std::max(1L, static_cast<long>(std::floor(lo + 0.5)));
  const long kEnd = std::min(last, static_cast<long>(std::floor(hi + 0.5)));
  double sum = 0.0;
  for (; k <= kEnd; ++k) {
    const double share = std::min(hi, k + 0.5) - std::max(lo, k - 0.5);
    if (share > 0.0) sum += share * m_power[static_cast<std::size_t>(k)];
  }
  // Parseval over one frame: sum of |X_k|^2 over all N bins = N * sum (w x)^2; the
  // negative-frequency half doubles the one-sided sum.
  return 2.0 * sum / (static_cast<double>(kAnalyserPoints) * m_windowPower * m_frames);
}

std::vector<double> FramePowers::BandLevels(const std::vector<AnalyserBand>& bands) const {
  std::vector<double> levels;
  levels.reserve(bands.size());
  for (const AnalyserBand& band : bands) levels.push_back(MeanSquareToDb(BandMeanSquare(band.lowHz, band.highHz)));
  return levels;
}

double MeanSquareToDb(double meanSquare) {
  // A full-scale sine has a mean square of 1/2.
  if (!(meanSquare > 0.0)) return kLevelFloorDb;
  return std::max(kLevelFloorDb, 10.0 * std::log10(2.0 * meanSquare));
}

}  // namespace mzr
