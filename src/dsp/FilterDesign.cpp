#include "dsp/FilterDesign.h"

#include <cmath>
#include <numbers>
#include <optional>

#include "dsp/VectorState.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kR = 0.7071067811865476;
constexpr int kFullRangeChannels = 5;
constexpr double kShelfRuleTenths = 60.0;  // 6.0 dB or more: turnover 3 dB from the shelf level

double Amplitude(double tenths) { return std::pow(10.0, 0.005 * tenths); }

bool IsFinite(const Biquad& s) {
  return std::isfinite(s.b0) && std::isfinite(s.b1) && std::isfinite(s.b2) &&
         std::isfinite(s.a1) && std::isfinite(s.a2);
}

Biquad FlatIfNotFinite(const Biquad& s) { return IsFinite(s) ? s : kFlatSection; }

// The prototype (g^2 s^2 + 2R g s + 1)/(b^2 s^2 + 2R b s + 1) moved to hz by an all-pass
// substitution; `mirrored` turns the high shelf into the low one.
Biquad DesignShelf(double hz, double v, double gb2, bool mirrored) {
  const double beta = std::pow((gb2 - 1.0) / (v * v - gb2), 0.25);
  const double gamma = std::sqrt(v) * beta;
  const double t = std::tan(kPi * (hz / kSampleRate - 0.25));
  const double p0 = 1.0 + 2.0 * kR * beta + beta * beta;
  const double p1 = 2.0 * (1.0 - beta * beta);
  const double p2 = 1.0 - 2.0 * kR * beta + beta * beta;
  const double q0 = 1.0 + 2.0 * kR * gamma + gamma * gamma;
  const double q1 = 2.0 * (1.0 - gamma * gamma);
  const double q2 = 1.0 - 2.0 * kR * gamma + gamma * gamma;
  Biquad s;
  if (mirrored) {
    const double d = p0 - t * p1 + t * t * p2;
    s.b0 = (q0 - t * q1 + t * t * q2) / d;
    s.b1 = (2.0 * t * (q0 + q2) - q1 * (1.0 + t * t)) / d;
    s.b2 = (q0 * t * t - q1 * t + q2) / d;
    s.a1 = (2.0 * t * (p0 + p2) - p1 * (1.0 + t * t)) / d;
    s.a2 = (p0 * t * t - p1 * t + p2) / d;
  } else {
    const double d = p0 + t * p1 + t * t * p2;
    s.b0 = (q0 + t * q1 + t * t * q2) / d;
    s.b1 = (2.0 * t * (q0 + q2) + q1 * (1.0 + t * t)) / d;
    s.b2 = (q0 * t * t + q1 * t + q2) / d;
    s.a1 = (2.0 * t * (p0 + p2) + p1 * (1.0 + t * t)) / d;
    s.a2 = (p0 * t * t + p1 * t + p2) / d;
  }
  return FlatIfNotFinite(s);
}

bool IsFullRange(int channel) { return channel >= 0 && channel < kFullRangeChannels; }

}  // namespace

Biquad DesignPeak(double hz, double q, int gainTenths) {
  return DesignPeakContinuous(hz, q, static_cast<double>(gainTenths));
}

Biquad DesignPeakContinuous(double hz, double q, double gainTenths) {
  const double a = Amplitude(gainTenths);
  const double k = std::tan(kPi * hz / (q * kSampleRate));
  const double m = a >= 1.0 ? (k - 1.0) / (k + 1.0) : (k - a) / (k + a);
  const double d = -std::cos(2.0 * kPi * hz / kSampleRate);
  const double h = (a - 1.0) / 2.0;
  Biquad s;
  s.b0 = 1.0 + (1.0 + m) * h;
  s.b1 = (1.0 - m) * d;
  s.b2 = -(m + (1.0 + m) * h);
  s.a1 = s.b1;
  s.a2 = -m;
  return FlatIfNotFinite(s);
}

Biquad DesignLowPass(double hz, double q) {
  const double fs = kSampleRate;
  const double wa = 2.0 * fs * std::tan(kPi * hz / fs);
  const double d = wa * wa + 2.0 * wa * fs / q + 4.0 * fs * fs;
  Biquad s;
  s.b0 = wa * wa / d;
  s.b1 = 2.0 * s.b0;
  s.b2 = s.b0;
  s.a1 = (2.0 * wa * wa - 8.0 * fs * fs) / d;
  s.a2 = (wa * wa - 2.0 * wa * fs / q + 4.0 * fs * fs) / d;
  return FlatIfNotFinite(s);
}

Biquad DesignBassShelf(double hz, int gainTenths) {
  return DesignBassShelfContinuous(hz, static_cast<double>(gainTenths));
}

Biquad DesignBassShelfContinuous(double hz, double gainTenths) {
  if (gainTenths == 0.0) return kFlatSection;
  const double v = Amplitude(gainTenths);
  double gb2 = v;
  if (gainTenths <= -kShelfRuleTenths || gainTenths >= kShelfRuleTenths) {
    gb2 = v <= 1.0 ? 2.0 * v * v : v * v / 2.0;
  }
  return DesignShelf(hz, v, gb2, true);
}

Biquad DesignTrebleShelf(double hz, int gainTenths) {
  return DesignTrebleShelfContinuous(hz, static_cast<double>(gainTenths));
}

Biquad DesignTrebleShelfContinuous(double hz, double gainTenths) {
  if (gainTenths == 0.0) return kFlatSection;
  const double v = Amplitude(gainTenths);
  double gb = std::sqrt(v);
  if (gainTenths <= -kShelfRuleTenths || gainTenths >= kShelfRuleTenths) {
    gb = v <= 1.0 ? v * 1.414213562 : v * 0.707106781373095;
  }
  return DesignShelf(hz, v, gb * gb, false);
}

bool DesignChannelSection(SectionStore& store, const ParameterImage& image, int channel,
                          int band, SectionKind kind) {
  ClearUpperVectorState();
  switch (kind) {
    case SectionKind::GraphicBand: {
      if (!IsFullRange(channel) || band < 0 || band >= kGeqBands) return false;
      const auto hz = GeqBandHz(band);
      store[band] = DesignPeak(*hz, kGraphicBandQ, image.geqGain(channel, band));
      return true;
    }
    case SectionKind::BassShelf: {
      if (!IsFullRange(channel)) return false;
      const ToneControl tone = image.toneControl(channel);
      const auto hz = BassCornerHz(tone.bassFreq);
      store[kBassShelfSlot] = hz ? DesignBassShelf(*hz, tone.bassGain) : kFlatSection;
      return true;
    }
    case SectionKind::TrebleShelf: {
      if (!IsFullRange(channel)) return false;
      const ToneControl tone = image.toneControl(channel);
      const auto hz = TrebleCornerHz(tone.trebleFreq);
      store[kTrebleShelfSlot] = hz ? DesignTrebleShelf(*hz, tone.trebleGain) : kFlatSection;
      return true;
    }
    case SectionKind::SubPeak: {
      if (channel != kSubwooferChannel || band < 0 || band > 1) return false;
      const SubPeq peq = image.subPeq(band);
      store[band] = DesignPeak(peq.freq, SubPeqQ(peq.qIndex), peq.gain);
      return true;
    }
    case SectionKind::SubLowPass: {
      if (channel != kSubwooferChannel || band < kFirstLowPassSlot || band > kLastLowPassSlot) {
        return false;
      }
      const int slope = image.subLpfSlope();
      const auto hz = BassCornerHz(image.subLpfFreq());
      // Slope code s needs s sections, in slots 2..s+1.
      const bool designed =
          hz.has_value() && SlopeDbPerOctave(slope).has_value() && band <= slope + 1;
      store[band] = designed ? DesignLowPass(*hz, kSubLowPassQ) : kPassThroughSection;
      return true;
    }
  }
  return false;
}

int SectionCount(int channel) {
  if (IsFullRange(channel)) return kSectionSlots;
  if (channel == kSubwooferChannel) return kLastLowPassSlot + 1;
  return 0;
}

int DesignChannel(SectionStore& store, const ParameterImage& image, int channel) {
  ClearUpperVectorState();
  if (IsFullRange(channel)) {
    for (int band = 0; band < kGeqBands; ++band) {
      DesignChannelSection(store, image, channel, band, SectionKind::GraphicBand);
    }
    DesignChannelSection(store, image, channel, 0, SectionKind::BassShelf);
    DesignChannelSection(store, image, channel, 0, SectionKind::TrebleShelf);
  } else if (channel == kSubwooferChannel) {
    DesignChannelSection(store, image, channel, 0, SectionKind::SubPeak);
    DesignChannelSection(store, image, channel, 1, SectionKind::SubPeak);
    for (int band = kFirstLowPassSlot; band <= kLastLowPassSlot; ++band) {
      DesignChannelSection(store, image, channel, band, SectionKind::SubLowPass);
    }
  }
  return SectionCount(channel);
}

}  // namespace mzr
