#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "dsp/FilterDesign.h"
#include "dsp/ResponseEvaluation.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

// Gain of one section at hz, straight from its transfer function.
double GainDb(const Biquad& s, double hz) {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / kSampleRate);
  const std::complex<double> num = s.b0 + s.b1 * z1 + s.b2 * z1 * z1;
  const std::complex<double> den = 1.0 + s.a1 * z1 + s.a2 * z1 * z1;
  return 20.0 * std::log10(std::abs(num / den));
}

ParameterImage ImageWithTone(int ch, ToneControl tone) {
  ParameterImage image;
  image.setToneControl(ch, tone);
  return image;
}

TEST(FilterDesign, GraphicBandAtZeroIsTheIdentity) {
  ParameterImage image;
  const ResponseGrid grid;
  for (int ch : {0, 4}) {
    for (int band : {0, 13, 26}) {
      SectionStore store;
      ASSERT_TRUE(DesignChannelSection(store, image, ch, band, SectionKind::GraphicBand));
      const Biquad& s = store[band];
      EXPECT_EQ(s.b0, 1.0);
      EXPECT_EQ(s.b1, s.a1);
      EXPECT_EQ(s.b2, s.a2);
      EXPECT_NE(s.a2, 0.0) << "a real all-pass pole, not the trivial section";
      // Exactly 1 at every grid point, in both evaluations.
      const std::vector<Biquad> one{s};
      for (const CurvePoint& p : EvaluateResponse(grid, one, 97)) ASSERT_EQ(p.gainDb, 0.0);
      for (const CurvePoint& p : EvaluateResponsePlain(one, 97)) ASSERT_EQ(p.gainDb, 0.0);
    }
  }
}

TEST(FilterDesign, PeakSectionsReachTheirGainAtTheCentreAndUnityAtDc) {
  struct Case {
    SectionKind kind;
    int band;
    int gain;
    std::uint16_t subHz;
    std::uint8_t subQ;
    double centreHz;
    double centreDb;
  };
  const std::vector<Case> cases = {
      {SectionKind::GraphicBand, 0, 60, 0, 0, 40.0, 6.0},
      {SectionKind::GraphicBand, 0, -60, 0, 0, 40.0, -6.0},
      {SectionKind::GraphicBand, 14, 60, 0, 0, 1000.0, 6.0},
      {SectionKind::GraphicBand, 26, -60, 0, 0, 16000.0, -6.0},
      {SectionKind::GraphicBand, 9, 25, 0, 0, 315.0, 2.5},
      {SectionKind::SubPeak, 0, 30, 63, 2, 63.0, 3.0},     // Q 1.0
      {SectionKind::SubPeak, 1, -120, 40, 38, 40.0, -12.0},  // Q 10
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "band " << c.band << " gain " << c.gain);
    ParameterImage image;
    int ch = 2;
    if (c.kind == SectionKind::GraphicBand) {
      image.setGeqGain(ch, c.band, static_cast<std::int8_t>(c.gain));
    } else {
      ch = kSubwooferChannel;
      image.setSubPeq(c.band, {c.subHz, static_cast<std::int8_t>(c.gain), c.subQ});
    }
    SectionStore store;
    ASSERT_TRUE(DesignChannelSection(store, image, ch, c.band, c.kind));
    const Biquad& s = store[c.band];
    EXPECT_NEAR(GainDb(s, c.centreHz), c.centreDb, 1e-9);
    EXPECT_NEAR(20.0 * std::log10((s.b0 + s.b1 + s.b2) / (1.0 + s.a1 + s.a2)), 0.0, 1e-9);
    EXPECT_NEAR(GainDb(s, kSampleRate / 2.0), 0.0, 1e-9);
    // A cut is the mirror image of the boost of the same size.
    EXPECT_NEAR(GainDb(DesignPeak(c.centreHz, 4.32, -c.gain), c.centreHz * 1.1),
                -GainDb(DesignPeak(c.centreHz, 4.32, c.gain), c.centreHz * 1.1), 1e-9);
  }
}

TEST(FilterDesign, ShelvesTurnOverAtTheirCorner) {
  const double halfPower = 10.0 * std::log10(2.0);  // the "3 dB" of the turnover rule
  struct Case {
    SectionKind kind;
    int gain;
    int cornerIndex;
    double hz;
    double db;
    double tolerance;
  };
  const std::vector<Case> cases = {
      // g = 30 at 125 Hz and its treble mirror at 2 kHz.
      {SectionKind::BassShelf, 30, 3, 20.0, 3.0, 0.05},
      {SectionKind::BassShelf, 30, 3, 125.0, 1.5, 1e-9},
      {SectionKind::BassShelf, 30, 3, 2000.0, 0.0, 0.01},
      {SectionKind::TrebleShelf, 30, 3, 200.0, 0.0, 0.01},
      {SectionKind::TrebleShelf, 30, 3, 2000.0, 1.5, 1e-9},
      {SectionKind::TrebleShelf, 30, 3, 20000.0, 3.0, 0.05},
      // From 6.0 dB either way the corner sits 3 dB from the shelf level; below, at half.
      {SectionKind::BassShelf, 60, 0, 63.0, 6.0 - halfPower, 1e-6},
      {SectionKind::BassShelf, -60, 0, 63.0, -6.0 + halfPower, 1e-6},
      {SectionKind::BassShelf, 59, 0, 63.0, 2.95, 1e-9},
      {SectionKind::BassShelf, -59, 0, 63.0, -2.95, 1e-9},
      {SectionKind::BassShelf, 120, 10, 630.0, 12.0 - halfPower, 1e-6},
      {SectionKind::TrebleShelf, 60, 9, 8000.0, 6.0 - halfPower, 1e-6},
      {SectionKind::TrebleShelf, -60, 9, 8000.0, -6.0 + halfPower, 1e-6},
      {SectionKind::TrebleShelf, 59, 0, 1000.0, 2.95, 1e-9},
      {SectionKind::TrebleShelf, -59, 0, 1000.0, -2.95, 1e-9},
      // The shelf level itself, far from the corner.
      {SectionKind::BassShelf, -60, 0, 1.0, -6.0, 0.01},
      {SectionKind::TrebleShelf, 60, 0, 23999.0, 6.0, 0.05},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.kind == SectionKind::BassShelf ? "bass " : "treble ")
                                    << c.gain << " @ index " << c.cornerIndex << ", " << c.hz
                                    << " Hz");
    ToneControl tone;
    const int slot = c.kind == SectionKind::BassShelf ? kBassShelfSlot : kTrebleShelfSlot;
    if (c.kind == SectionKind::BassShelf) {
      tone.bassGain = static_cast<std::int8_t>(c.gain);
      tone.bassFreq = static_cast<std::uint8_t>(c.cornerIndex);
    } else {
      tone.trebleGain = static_cast<std::int8_t>(c.gain);
      tone.trebleFreq = static_cast<std::uint8_t>(c.cornerIndex);
    }
    SectionStore store;
    ASSERT_TRUE(DesignChannelSection(store, ImageWithTone(1, tone), 1, 0, c.kind));
    EXPECT_NEAR(GainDb(store[slot], c.hz), c.db, c.tolerance);
  }
}

// A zero shelf gain is a flat section and the image keeps its 0: drawing never edits a
// setting. A corner index past its list (from a file or a unit) is flat as well.
TEST(FilterDesign, ZeroGainOrUnknownCornerShelfIsFlatAndLeavesTheImage) {
  const std::vector<ToneControl> tones = {
      {0, 3, 0, 3},      // both gains 0
      {60, 11, -60, 10}, // both corner indexes one past their lists
      {-30, 255, 30, 255},
  };
  for (const ToneControl& tone : tones) {
    const ParameterImage image = ImageWithTone(0, tone);
    const ParameterImage before = image;
    SectionStore store;
    store[kBassShelfSlot] = {2, 3, 4, 5, 6};
    store[kTrebleShelfSlot] = {2, 3, 4, 5, 6};
    ASSERT_TRUE(DesignChannelSection(store, image, 0, 0, SectionKind::BassShelf));
    ASSERT_TRUE(DesignChannelSection(store, image, 0, 0, SectionKind::TrebleShelf));
    EXPECT_EQ(store[kBassShelfSlot], kFlatSection);
    EXPECT_EQ(store[kTrebleShelfSlot], kFlatSection);
    EXPECT_EQ(image, before);
  }
}

TEST(FilterDesign, PassThroughSectionHoldsTheUnitsExactCoefficients) {
  // Bit patterns of the doubles the unit holds.
  const auto bits = [](double d) { return std::bit_cast<std::uint64_t>(d); };
  EXPECT_EQ(bits(kPassThroughSection.b0), 0x3FF0000000000000u);
  EXPECT_EQ(bits(kPassThroughSection.b1), 0xBFFFFAED213849F8u);  // -1.99876130081668
  EXPECT_EQ(bits(kPassThroughSection.b2), 0x3FEFF613B81CD9A5u);  // 0.998788699717626
  EXPECT_EQ(bits(kPassThroughSection.a1), bits(kPassThroughSection.b1));
  EXPECT_EQ(bits(kPassThroughSection.a2), bits(kPassThroughSection.b2));
  EXPECT_NE(kPassThroughSection, kFlatSection);
  const ResponseGrid grid;
  const std::vector<Biquad> one{kPassThroughSection};
  for (const CurvePoint& p : EvaluateResponse(grid, one, 47)) ASSERT_EQ(p.gainDb, 0.0);
  for (const CurvePoint& p : EvaluateResponsePlain(one, 47)) ASSERT_EQ(p.gainDb, 0.0);
}

TEST(FilterDesign, SubwooferLowPassCascadeFollowsTheSlope) {
  struct Case {
    int slope;
    int freqIndex;
    int designed;  // slots 2 .. 1 + designed hold the low-pass, the rest pass through
  };
  const std::vector<Case> cases = {
      {0, 3, 0}, {1, 3, 1}, {2, 3, 2}, {3, 0, 3}, {4, 10, 4},
      // Codes past 48 dB/oct and corners past the list are drawn as a switched-off filter.
      {5, 3, 0}, {255, 3, 0}, {2, 11, 0}, {4, 255, 0},
  };
  const ResponseGrid grid;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "slope " << c.slope << " corner " << c.freqIndex);
    ParameterImage image;
    image.setSubLpfSlope(static_cast<std::uint8_t>(c.slope));
    image.setSubLpfFreq(static_cast<std::uint8_t>(c.freqIndex));
    SectionStore store;
    for (int band = 2; band <= 5; ++band) {
      ASSERT_TRUE(DesignChannelSection(store, image, kSubwooferChannel, band,
                                       SectionKind::SubLowPass));
      if (band <= 1 + c.designed) {
        EXPECT_NE(store[band], kPassThroughSection) << "slot " << band;
        EXPECT_EQ(store[band], DesignLowPass(kCornerHz[static_cast<std::size_t>(c.freqIndex)],
                                             kSubLowPassQ));
      } else {
        EXPECT_EQ(store[band], kPassThroughSection) << "slot " << band;
      }
    }
    double cornerDb = 0.0;
    if (c.designed > 0) {
      const double hz = kCornerHz[static_cast<std::size_t>(c.freqIndex)];
      for (int band = 2; band <= 5; ++band) cornerDb += GainDb(store[band], hz);
      // Q 0.707 puts each section 20 log10(0.707) = -3.01 dB down at its corner.
      EXPECT_NEAR(cornerDb, c.designed * 20.0 * std::log10(0.707), 1e-9);
      EXPECT_NEAR(cornerDb, -3.0 * c.designed, 0.05 * c.designed);
      EXPECT_NEAR(GainDb(store[2], 0.0), 0.0, 1e-9);
    }
    for (const CurvePoint& p : EvaluateResponse(grid, store.First(6).subspan(2), 47)) {
      ASSERT_TRUE(std::isfinite(p.gainDb));
      if (c.designed == 0) {
        ASSERT_EQ(p.gainDb, 0.0);
      }
    }
  }
}

TEST(FilterDesign, RefusesSectionsAChannelDoesNotHave) {
  struct Case {
    int channel;
    int band;
    SectionKind kind;
  };
  const std::vector<Case> cases = {
      {5, 0, SectionKind::GraphicBand},  {6, 0, SectionKind::GraphicBand},
      {0, 27, SectionKind::GraphicBand}, {0, -1, SectionKind::GraphicBand},
      {5, 0, SectionKind::BassShelf},    {-1, 0, SectionKind::TrebleShelf},
      {0, 0, SectionKind::SubPeak},      {5, 2, SectionKind::SubPeak},
      {5, 1, SectionKind::SubLowPass},   {5, 6, SectionKind::SubLowPass},
      {4, 3, SectionKind::SubLowPass},
  };
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  for (const Case& c : cases) {
    SectionStore store;
    for (int slot = 0; slot < kSectionSlots; ++slot) store[slot] = {0.5, 0, 0, 0, 0};
    const SectionStore before = store;
    EXPECT_FALSE(DesignChannelSection(store, image, c.channel, c.band, c.kind))
        << "channel " << c.channel << " band " << c.band;
    for (int slot = 0; slot < kSectionSlots; ++slot) ASSERT_EQ(store[slot], before[slot]);
  }
}

TEST(FilterDesign, DesignChannelFillsTheSlotsOfItsTab) {
  ParameterImage image;
  image.setGeqGain(3, 7, 45);
  image.setToneControl(3, {-20, 4, 35, 6});
  image.setSubPeq(0, {50, 20, 4});
  image.setSubPeq(1, {90, -40, 10});
  image.setSubLpfSlope(3);
  image.setSubLpfFreq(6);

  SectionStore store;
  EXPECT_EQ(DesignChannel(store, image, 3), 29);
  EXPECT_EQ(store[7], DesignPeak(200, kGraphicBandQ, 45));
  EXPECT_EQ(store[kBassShelfSlot], DesignBassShelf(160, -20));
  EXPECT_EQ(store[kTrebleShelfSlot], DesignTrebleShelf(4000, 35));

  EXPECT_EQ(DesignChannel(store, image, kSubwooferChannel), 6);
  EXPECT_EQ(store[0], DesignPeak(50, SubPeqQ(4), 20));
  EXPECT_EQ(store[1], DesignPeak(90, SubPeqQ(10), -40));
  EXPECT_EQ(store[4], DesignLowPass(250, kSubLowPassQ));
  EXPECT_EQ(store[5], kPassThroughSection);
  EXPECT_EQ(store[7], DesignPeak(200, kGraphicBandQ, 45)) << "slots past 5 are left alone";

  EXPECT_EQ(DesignChannel(store, image, 6), 0);
}

}  // namespace
}  // namespace mzr
