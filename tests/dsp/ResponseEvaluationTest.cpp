#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "dsp/FilterDesign.h"
#include "dsp/ResponseEvaluation.h"

namespace mzr {
namespace {

TEST(ResponseEvaluation, GridRunsFromBelow20HzToTheFirstPointPast24kHz) {
  const ResponseGrid grid;
  const ResponseCurve curve = EvaluateResponse(grid, {}, 97);
  EXPECT_DOUBLE_EQ(curve.front().hz, 20.0 * std::pow(10.0, -0.06));
  EXPECT_EQ(curve.front().column, 6);
  EXPECT_LE(curve[kGridPoints - 2].hz, kGridStopHz);
  EXPECT_GT(curve.back().hz, kGridStopHz);
  EXPECT_NEAR(curve.back().hz, 24045.3, 0.05);
  EXPECT_EQ(curve.back().column, 634);
  for (int n = 1; n < kGridPoints; ++n) {
    const auto k = static_cast<std::size_t>(n);
    ASSERT_EQ(curve[k].hz, curve[k - 1].hz * kGridRatio);  // the same iterated doubles
    ASSERT_EQ(curve[k].column, curve[k - 1].column + 2);
  }
}

// Rows follow the printed labels: 48 pixels per 5 dB, truncated toward zero.
TEST(ResponseEvaluation, PixelRowsFollowTheLabelScale) {
  struct Case {
    int y0;
    double gainDb;
    int row;
  };
  const std::vector<Case> cases = {
      {97, 0.0, 97},   {97, 5.0, 49},   {97, 10.0, 1},    {97, -5.0, 145},  {97, -10.0, 193},
      {97, 2.5, 73},   {97, 6.0, 39},   {97, 0.01, 96},   {97, -0.01, 97},  {47, 5.0, -1},
      {47, -15.0, 191}, {47, 3.0, 18},  {47, 10.0, -49},  {97, -1e9, 100000},
      {97, 1e9, -100000}, {47, std::nan(""), 47},
  };
  for (const Case& c : cases) {
    const CurvePoint p = MapCurvePoint(0, 20.0, c.gainDb, c.y0);
    EXPECT_EQ(p.row, c.row) << "y0 " << c.y0 << " gain " << c.gainDb;
  }
}

TEST(ResponseEvaluation, FlatChannelsLieOnTheirZeroLine) {
  ParameterImage zero;
  ParameterImage defaults;
  defaults.ApplyNewProjectDefaults();
  const ResponseGrid grid;
  for (const ParameterImage* image : {&zero, &defaults}) {
    for (int ch = 0; ch <= 5; ++ch) {
      SectionStore store;
      const int n = DesignChannel(store, *image, ch);
      if (ch == kSubwooferChannel && image == &defaults) continue;  // defaults shape the sub
      const int y0 = ZeroLineRow(ch);
      EXPECT_EQ(y0, ch == 5 ? 47 : 97);
      for (const ResponseCurve& curve : {EvaluateResponse(grid, store.First(n), y0),
                                          EvaluateResponsePlain(store.First(n), y0)}) {
        for (const CurvePoint& p : curve) {
          ASSERT_EQ(p.gainDb, 0.0) << "channel " << ch << " at " << p.hz << " Hz";
          ASSERT_EQ(p.row, y0);
        }
      }
    }
  }
}

// Images with every editable value drawn at random, and some values no slider can reach.
ParameterImage RandomImage(std::mt19937& rng, bool wild) {
  ParameterImage image;
  std::uniform_int_distribution<int> gain(wild ? -128 : -60, wild ? 127 : 60);
  std::uniform_int_distribution<int> anyByte(0, 255);
  std::uniform_int_distribution<int> bass(0, 10);
  std::uniform_int_distribution<int> treble(0, 9);
  std::uniform_int_distribution<int> subFreq(wild ? 0 : 20, wild ? 65535 : 120);
  std::uniform_int_distribution<int> subQ(0, wild ? 255 : 38);
  std::uniform_int_distribution<int> slope(0, wild ? 255 : 4);
  std::uniform_int_distribution<int> subGain(wild ? -128 : -120, wild ? 127 : 30);
  for (int ch = 0; ch < 5; ++ch) {
    for (int band = 0; band < kGeqBands; ++band) {
      image.setGeqGain(ch, band, static_cast<std::int8_t>(gain(rng)));
    }
    image.setToneControl(ch, {static_cast<std::int8_t>(gain(rng)),
                              static_cast<std::uint8_t>(wild ? anyByte(rng) : bass(rng)),
                              static_cast<std::int8_t>(gain(rng)),
                              static_cast<std::uint8_t>(wild ? anyByte(rng) : treble(rng))});
  }
  for (int k = 0; k < 2; ++k) {
    image.setSubPeq(k, {static_cast<std::uint16_t>(subFreq(rng)),
                        static_cast<std::int8_t>(subGain(rng)),
                        static_cast<std::uint8_t>(subQ(rng))});
  }
  image.setSubLpfSlope(static_cast<std::uint8_t>(slope(rng)));
  image.setSubLpfFreq(static_cast<std::uint8_t>(wild ? anyByte(rng) : bass(rng)));
  return image;
}

// The fast evaluation may reorder the arithmetic but must land on the same pixels.
TEST(ResponseEvaluation, FastEvaluationMatchesThePlainOneToDoublePrecision) {
  std::mt19937 rng(20261210);
  const ResponseGrid grid;
  double worst = 0.0;
  for (int trial = 0; trial < 400; ++trial) {
    const bool wild = trial % 4 == 3;
    const ParameterImage image = RandomImage(rng, wild);
    for (int ch = 0; ch <= 5; ++ch) {
      SectionStore store;
      const int n = DesignChannel(store, image, ch);
      const ResponseCurve fast = EvaluateResponse(grid, store.First(n), ZeroLineRow(ch));
      const ResponseCurve plain = EvaluateResponsePlain(store.First(n), ZeroLineRow(ch));
      for (std::size_t k = 0; k < fast.size(); ++k) {
        ASSERT_TRUE(std::isfinite(fast[k].gainDb));
        ASSERT_EQ(fast[k].hz, plain[k].hz);
        const double diff = std::abs(fast[k].gainDb - plain[k].gainDb);
        worst = std::max(worst, diff / std::max(1.0, std::abs(plain[k].gainDb)));
        ASSERT_LE(diff, 1e-9 * std::max(1.0, std::abs(plain[k].gainDb)))
            << "trial " << trial << " channel " << ch << " point " << k;
        ASSERT_EQ(fast[k].row, plain[k].row) << "trial " << trial << " channel " << ch
                                             << " point " << k;
        ASSERT_EQ(fast[k].column, plain[k].column);
      }
    }
  }
  RecordProperty("worst_relative_difference", std::to_string(worst));
  std::printf("worst relative difference fast vs plain: %.3g\n", worst);
}

// Far more attenuation than any channel can have: the products of squared magnitudes leave
// the double range at the top of the grid, where the sum is taken section by section.
TEST(ResponseEvaluation, ExtremeCascadesStayFiniteAndAgree) {
  const ResponseGrid grid;
  struct Case {
    Biquad section;
    int copies;
  };
  const std::vector<Case> cases = {
      {DesignLowPass(63.0, kSubLowPassQ), 29},
      {DesignPeak(40.0, 4.32, 127), 29},
      {DesignPeak(40.0, 4.32, -128), 29},
      {DesignPeak(1000.0, 0.0, 60), 1},  // a tangent of infinity: designed flat
  };
  for (const Case& c : cases) {
    const std::vector<Biquad> sections(static_cast<std::size_t>(c.copies), c.section);
    const ResponseCurve fast = EvaluateResponse(grid, sections, 97);
    const ResponseCurve plain = EvaluateResponsePlain(sections, 97);
    for (std::size_t k = 0; k < fast.size(); ++k) {
      ASSERT_TRUE(std::isfinite(fast[k].gainDb) && std::isfinite(plain[k].gainDb));
      ASSERT_NEAR(fast[k].gainDb, plain[k].gainDb, 1e-9 * std::max(1.0, std::abs(plain[k].gainDb)));
      ASSERT_EQ(fast[k].row, plain[k].row);
      ASSERT_LE(std::abs(fast[k].row), 100000);
    }
  }
  EXPECT_LT(EvaluateResponse(grid, std::vector<Biquad>(29, cases[0].section), 97).back().gainDb,
            -2800.0);
  EXPECT_EQ(DesignPeak(1000.0, 0.0, 60), kFlatSection);
}

}  // namespace
}  // namespace mzr
