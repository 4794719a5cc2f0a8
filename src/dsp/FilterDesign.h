#pragma once
// Biquad design from the parameter image, in double precision at the unit's 48 kHz rate.
// Design reads the image and writes only the section store: a zero shelf gain is designed
// as a flat section rather than patched in the image, so drawing never changes a setting.

#include "dsp/Biquad.h"
#include "dsp/SectionStore.h"
#include "model/ParameterImage.h"

namespace mzr {

inline constexpr double kSampleRate = 48000.0;
inline constexpr double kGraphicBandQ = 4.32;
inline constexpr double kSubLowPassQ = 0.707;
inline constexpr int kSubwooferChannel = 5;
inline constexpr int kBassShelfSlot = 27;
inline constexpr int kTrebleShelfSlot = 28;
inline constexpr int kFirstLowPassSlot = 2;
inline constexpr int kLastLowPassSlot = 5;

enum class SectionKind { GraphicBand, BassShelf, TrebleShelf, SubPeak, SubLowPass };

// Peak/dip section from a first-order all-pass: gain 10^(tenths/200) at hz, bandwidth hz/q,
// unity at 0 Hz and Fs/2. Coefficients that come out non-finite (a stored frequency far
// past Fs/2 can hit a pole of the tangent) give the flat section instead.
Biquad DesignPeak(double hz, double q, int gainTenths);
// The same design for a gain between the stored steps (tenths of a dB as a real number):
// the alignment's fit moves gains continuously before it rounds them to what the unit
// stores. At a whole number of tenths it is the stored design, bit for bit.
Biquad DesignPeakContinuous(double hz, double q, double gainTenths);

// Second-order low-pass by the bilinear transform with prewarping.
Biquad DesignLowPass(double hz, double q);

// Second-order shelves of gain 10^(tenths/200) turning over at hz. A gain of 0 is the flat
// section (the closed form is singular there).
Biquad DesignBassShelf(double hz, int gainTenths);
Biquad DesignTrebleShelf(double hz, int gainTenths);
Biquad DesignBassShelfContinuous(double hz, double gainTenths);
Biquad DesignTrebleShelfContinuous(double hz, double gainTenths);

// Designs the one slot that (channel, band, kind) stands for from the image:
//   GraphicBand  channels 0..4, band 0..26  -> slot band
//   BassShelf    channels 0..4              -> slot 27
//   TrebleShelf  channels 0..4              -> slot 28
//   SubPeak      channel 5, band 0..1       -> slot band
//   SubLowPass   channel 5, band 2..5       -> slot band
// A combination outside this table writes nothing and returns false. Stored values outside
// their tables (a corner index past its list, a slope code above 4) never reach the maths:
// that shelf is flat and that low-pass passes through, as if switched off.
bool DesignChannelSection(SectionStore& store, const ParameterImage& image, int channel,
                          int band, SectionKind kind);

// Number of slots the graph evaluates for a channel tab: 29 on 0..4, 6 on the subwoofer,
// 0 elsewhere (the monitor tab has no curve).
int SectionCount(int channel);

// Designs every slot the channel's curve uses and returns SectionCount(channel).
int DesignChannel(SectionStore& store, const ParameterImage& image, int channel);

}  // namespace mzr
