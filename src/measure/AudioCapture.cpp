#include "measure/AudioCapture.h"

#include <cmath>

namespace mzr {

void AudioCapture::ResetStats() {
  m_stats = {};
  m_clock.invalidate();
  m_framesAtClockStart = 0;
}

void AudioCapture::Deliver(const QList<float>& samples, bool realTime) {
  if (samples.isEmpty()) return;
  for (const float s : samples) {
    const float magnitude = std::fabs(s);
    if (magnitude > m_stats.peak) m_stats.peak = magnitude;
    if (magnitude >= kClipLevel) ++m_stats.clippedSamples;
  }
  // The block counts before the clock is read: a reader that was late but got everything
  // the source kept for it has lost nothing.
  m_stats.frames += samples.size();
  if (realTime) {
    if (!m_clock.isValid()) {
      // The clock starts with the first block: whatever the source buffered before that
      // is not a loss.
      m_clock.start();
      m_framesAtClockStart = m_stats.frames;
    } else {
      const qint64 expected = m_clock.nsecsElapsed() * kSampleRate / 1000000000;
      const qint64 received = m_stats.frames - m_framesAtClockStart;
      if (expected - received > kDropOutSlackFrames) {
        ++m_stats.dropOuts;
        m_stats.missingFrames += expected - received;
        // Counting starts again from here, so one gap is one drop-out.
        m_clock.start();
        m_framesAtClockStart = m_stats.frames;
      }
    }
  }
  emit samplesArrived(samples);
}

}  // namespace mzr
