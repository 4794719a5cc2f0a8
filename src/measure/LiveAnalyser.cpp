#include "measure/LiveAnalyser.h"

#include <algorithm>
#include <cmath>

#include "measure/AnalyserBands.h"

namespace mzr {
namespace {

// The share of the new reading in an exponential average updated once per hop.
double Blend(double seconds) { return 1.0 - std::exp(-(kLiveHop / kAnalyserRate) / seconds); }

}  // namespace

LiveAnalyser::LiveAnalyser() : m_ring(kAnalyserPoints, 0.0f) { Reset(); }

void LiveAnalyser::Reset() {
  std::fill(m_ring.begin(), m_ring.end(), 0.0f);
  m_write = 0;
  m_sinceReading = 0;
  m_readings = 0;
  m_fast.assign(ThirdOctaveBands().size(), 0.0);
  m_slow.assign(ThirdOctaveBands().size(), 0.0);
}

int LiveAnalyser::Push(std::span<const float> samples) {
  int made = 0;
  for (const float s : samples) {
    m_ring[m_write] = s;
    if (++m_write == m_ring.size()) m_write = 0;
    if (++m_sinceReading == kLiveHop) {
      m_sinceReading = 0;
      Reading();
      ++made;
    }
  }
  return made;
}

void LiveAnalyser::Reading() {
  // The oldest sample sits where the next one will be written.
  m_powers.Clear();
  m_powers.AddFrame(m_ring, m_write);
  const auto& bands = ThirdOctaveBands();
  const double fast = Blend(kFastSeconds);
  const double slow = Blend(kSlowSeconds);
  for (std::size_t b = 0; b < bands.size(); ++b) {
    const double now = m_powers.BandMeanSquare(bands[b].lowHz, bands[b].highHz);
    // The first reading starts both averages, so the display does not climb from silence.
    m_fast[b] = m_readings == 0 ? now : m_fast[b] + fast * (now - m_fast[b]);
    m_slow[b] = m_readings == 0 ? now : m_slow[b] + slow * (now - m_slow[b]);
  }
  ++m_readings;
}

std::vector<double> LiveAnalyser::FastDb() const {
  std::vector<double> out;
  for (const double ms : m_fast) out.push_back(MeanSquareToDb(ms));
  return out;
}

std::vector<double> LiveAnalyser::SlowDb() const {
  std::vector<double> out;
  for (const double ms : m_slow) out.push_back(MeanSquareToDb(ms));
  return out;
}

}  // namespace mzr
