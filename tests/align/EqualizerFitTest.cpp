// The fit on seeded synthetic halls: against the independent bounded optimiser on the same
// model (within 1.1x of its continuous optimum plus 0.05 dB for the 0.1 dB steps), against
// per-band inversion, at the unit's steps, and what it predicts against what the graph draws.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "align/AlignLimits.h"
#include "align/AlignmentTarget.h"
#include "align/EqualizerFit.h"
#include "align/FitBaselines.h"
#include "align/SyntheticRoom.h"
#include "dsp/FilterDesign.h"
#include "dsp/ResponseEvaluation.h"
#include "dsp/SectionStore.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

const ResponseGrid& Grid() {
  static const ResponseGrid grid;
  return grid;
}

GridCurve Average(const std::vector<Measurement>& positions) {
  std::vector<GridCurve> curves;
  for (const Measurement& m : positions) curves.push_back(InterpolateOnGrid(m, Grid()));
  return PowerAverage(curves);
}

FitRequest Request(std::uint32_t seed, int channel, TargetKind target, const ParameterImage& image = {}) {
  FitRequest r;
  r.image = image;
  r.channel = channel;
  const bool sub = channel == kSubwooferChannel;
  r.average = Average(SyntheticRoomMeasurements({seed, 4, sub}));
  r.target = BuiltInTarget(sub ? TargetKind::flat : target, Grid()).db;
  r.fromHz = sub ? 20.0 : 40.0;
  r.toHz = sub ? 120.0 : 16000.0;
  if (sub) {
    // The New Project low-pass: the fit leaves it and aims at flat times it.
    r.image.setSubLpfFreq(1);
    r.image.setSubLpfSlope(2);
    // Measured through the unit as it is set: the low-pass is in the measurement.
    const GridCurve lowPass = ChannelResponse(r.image, kSubwooferChannel);
    for (std::size_t i = 0; i < lowPass.size(); ++i) r.average[i] += lowPass[i];
  }
  return r;
}

FitResult Fit(const FitRequest& request) {
  auto fitted = FitEqualizer(request);
  EXPECT_TRUE(std::holds_alternative<FitResult>(fitted)) << std::get<AlignError>(fitted).Text();
  return std::get<FitResult>(fitted);
}

double Rms(const FitRequest& request, const ParameterImage& settings) {
  return std::get<FitResult>(EvaluateSettings(request, settings)).rmsAfter;
}

TEST(EqualizerFit, SeededHallsWithinTenPercentOfTheReferenceAndFarBelowPerBandInversion) {
  for (const TargetKind target : {TargetKind::xCurve, TargetKind::flat}) {
    for (std::uint32_t seed : {1u, 2u}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + (target == TargetKind::flat ? " flat" : " x-curve"));
      FitRequest request = Request(seed, static_cast<int>(seed % 5), target);
      request.mode = FitMode::exact;
      const FitResult fit = Fit(request);
      const auto problem = PrepareAlignment(request);
      const ReferenceFit reference = ReferenceContinuousFit(std::get<AlignmentProblem>(problem));
      const double perBand = Rms(request, PerBandInversion(request));
      EXPECT_GT(fit.rmsBefore, 1.0);
      EXPECT_LE(fit.rmsAfter, 1.1 * reference.rms + 0.05) << "reference " << reference.rms;
      EXPECT_LT(fit.rmsAfter, 0.5 * perBand) << "per-band " << perBand;
    }
  }
}

TEST(EqualizerFit, SeededHallsUnderTheInstallersRulesWithinTenPercentOfTheReference) {
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const FitRequest request = Request(seed, static_cast<int>(seed % 5), TargetKind::xCurve);
    const FitResult fit = Fit(request);
    const ReferenceFit reference = ReferenceContinuousFit(std::get<AlignmentProblem>(PrepareAlignment(request)));
    EXPECT_GT(fit.rmsBefore, 1.0);
    EXPECT_LE(fit.cost, 1.1 * reference.rms + 0.05) << "reference " << reference.rms;
  }
}

TEST(EqualizerFit, WhatItPredictsIsWhatTheGraphDrawsForTheStoredSettings) {
  FitRequest request = Request(7, 2, TargetKind::xCurve);
  request.mode = FitMode::exact;  // the raw average, as the graph's sum
  const FitResult fit = Fit(request);
  SectionStore store;
  const int n = DesignChannel(store, fit.image, 2);
  const ResponseCurve graph = EvaluateResponse(Grid(), store.First(n), 0);
  // after = average - present equalizer (flat here) + the graph's curve, less the level.
  for (std::size_t i = 0; i < graph.size(); ++i) {
    if (std::isnan(request.average[i])) continue;  // past the measurement's last point
    ASSERT_NEAR(fit.after[i] + fit.levelAfter, request.average[i] + graph[i].gainDb, 1e-9);
  }
  // Only channel 2's settings changed.
  ParameterImage others = fit.image;
  for (int band = 0; band < kGeqBands; ++band) others.setGeqGain(2, band, 0);
  others.setToneControl(2, request.image.toneControl(2));
  EXPECT_EQ(others, request.image);
}

TEST(EqualizerFit, NoSingleStepOfTheStoredSettingsImprovesTheFit) {
  // The 0.1 dB rounding is polished on the exact designs: one step of any band or shelf
  // either way makes the residual no better (beyond the penalty that keeps gains small).
  FitRequest request = Request(4, 0, TargetKind::xCurve);
  request.mode = FitMode::exact;  // where the residual's RMS is the whole objective
  const FitResult fit = Fit(request);
  for (int band = 0; band < kGeqBands + 2; ++band) {
    for (int step : {-1, 1}) {
      ParameterImage moved = fit.image;
      if (band < kGeqBands) {
        const int v = moved.geqGain(0, band) + step;
        if (v < alignrange::bandTenths.low || v > alignrange::bandTenths.high) continue;
        moved.setGeqGain(0, band, static_cast<std::int8_t>(v));
      } else {
        ToneControl tone = moved.toneControl(0);
        auto& gain = band == kGeqBands ? tone.bassGain : tone.trebleGain;
        if (gain == 0) continue;  // an unused shelf has no turnover chosen
        gain = static_cast<std::int8_t>(gain + step);
        moved.setToneControl(0, tone);
      }
      EXPECT_GE(Rms(request, moved), fit.rmsAfter - 0.002) << "band " << band << " step " << step;
    }
  }
}

TEST(EqualizerFit, ASecondPassOnTheAlignedHallKeepsTheSettings) {
  // The installer applies, measures again through the new settings and aligns again: the
  // present equalizer is taken out of the new measurement, so nothing is corrected twice.
  FitRequest first = Request(5, 1, TargetKind::xCurve);
  first.mode = FitMode::exact;  // the raw average: a second measurement adds the equalizer exactly
  const FitResult fit = Fit(first);
  FitRequest second = first;
  second.image = fit.image;
  SectionStore store;
  const ResponseCurve eq = EvaluateResponse(Grid(), store.First(DesignChannel(store, fit.image, 1)), 0);
  for (std::size_t i = 0; i < eq.size(); ++i) second.average[i] = first.average[i] + eq[i].gainDb;
  const FitResult again = Fit(second);
  EXPECT_NEAR(again.rmsBefore, fit.rmsAfter, 1e-9);
  EXPECT_NEAR(again.rmsAfter, fit.rmsAfter, 1e-6);
  for (int band = 0; band < kGeqBands; ++band) EXPECT_EQ(again.image.geqGain(1, band), fit.image.geqGain(1, band));
}

TEST(EqualizerFit, SubwooferSectionsAgainstTheReference) {
  // Seed 4 is a hall where the best pair is not the largest mode and its neighbour.
  for (const FitMode mode : {FitMode::exact, FitMode::installer})
  for (std::uint32_t seed : {1u, 4u, 7u}) {
    SCOPED_TRACE("seed " + std::to_string(seed) + (mode == FitMode::exact ? " exact" : " installer"));
    FitRequest request = Request(seed, kSubwooferChannel, TargetKind::flat);
    request.mode = mode;
    const FitResult fit = Fit(request);
    const ReferenceFit reference = ReferenceContinuousFit(std::get<AlignmentProblem>(PrepareAlignment(request)));
    EXPECT_GT(fit.rmsBefore, 1.5);
    EXPECT_LE(mode == FitMode::exact ? fit.rmsAfter : fit.cost, 1.1 * reference.rms + 0.05) << "reference " << reference.rms;
    ASSERT_EQ(fit.bands.size(), 2u);
    for (int k = 0; k < 2; ++k) {
      const SubPeq peq = fit.image.subPeq(k);
      EXPECT_GE(peq.freq, alignrange::subFreqHz.low);
      EXPECT_LE(peq.freq, alignrange::subFreqHz.high);
      EXPECT_LE(peq.qIndex, alignrange::subQIndex.high);
    }
    // The low-pass is left as set.
    EXPECT_EQ(fit.image.subLpfFreq(), request.image.subLpfFreq());
    EXPECT_EQ(fit.image.subLpfSlope(), request.image.subLpfSlope());
  }
}

TEST(EqualizerFit, RefusesAFitRangeTheAverageDoesNotReach) {
  FitRequest request = Request(1, 0, TargetKind::flat);
  request.average[200] = std::nan("");
  const auto fitted = FitEqualizer(request);
  ASSERT_TRUE(std::holds_alternative<AlignError>(fitted));
  EXPECT_EQ(std::get<AlignError>(fitted).Text(), "measurement: does not cover the fit range");
  request = Request(1, 0, TargetKind::flat);
  request.fromHz = 2000.0;
  request.toHz = 1000.0;
  EXPECT_TRUE(std::holds_alternative<AlignError>(FitEqualizer(request)));
}

}  // namespace
}  // namespace mzr
