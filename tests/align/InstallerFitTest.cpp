// The installer-safe fit on rooms an installer meets, read from the files of several
// programs (fixtures/): a cancellation at every seat, a loudspeaker that rolls off, the seat
// dip. It must leave the dips alone, not boost below the roll-off, hold the boost limit and
// still come within 1.1x + 0.05 dB of the independent optimiser under the same rules.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "align/AlignLimits.h"
#include "align/AlignmentTarget.h"
#include "align/EqualizerFit.h"
#include "align/FitBaselines.h"
#include "dsp/FilterDesign.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

const ResponseGrid& Grid() {
  static const ResponseGrid grid;
  return grid;
}

GridCurve Average(const std::vector<std::string>& files) {
  std::vector<GridCurve> curves;
  for (const std::string& file : files) {
    const MeasurementResult read = ReadMeasurementFile(std::filesystem::path(MZR_ALIGN_FIXTURES) / file, file);
    EXPECT_TRUE(std::holds_alternative<Measurement>(read)) << std::get<AlignError>(read).Text();
    if (!std::holds_alternative<Measurement>(read)) return {};
    curves.push_back(InterpolateOnGrid(std::get<Measurement>(read), Grid()));
  }
  return PowerAverage(curves);
}

FitResult Fit(const FitRequest& request) {
  auto fitted = FitEqualizer(request);
  EXPECT_TRUE(std::holds_alternative<FitResult>(fitted)) << std::get<AlignError>(fitted).Text();
  return std::get<FitResult>(fitted);
}

// The equalizer's response above its median over the fit range, at hz.
double BoostAt(const FitResult& fit, double hz) { return CurveAt(fit.equalizer, hz) - fit.equalizerMedianDb; }

TEST(InstallerFit, RoomsFromOtherProgramsNoDipChasedNoBoostBelowTheRollOff) {
  struct Case {
    const char* room;
    std::vector<std::string> files;
    double dipHz;      // a dip the fit must leave out, or 0
    bool rollOff;      // the loudspeaker rolls off below 70 Hz
  };
  const std::vector<Case> cases = {
      {"null at 180 Hz, text export", {"null-room-seat1.txt", "null-room-seat2.txt", "null-room-seat3.txt"}, 180.0, false},
      {"roll-off, .frd", {"rolloff-room-seat1.frd", "rolloff-room-seat2.frd", "rolloff-room-seat3.frd"}, 0.0, true},
      {"roll-off, analyser readings", {"rolloff-room-analyser.txt"}, 0.0, true},
      {"seat dip, CSV", {"seat-dip-seat1.csv", "seat-dip-seat2.csv", "seat-dip-seat3.csv"}, 125.0, false},
  };
  const ResponseGrid& grid = Grid();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.room);
    FitRequest request;
    request.channel = 3;
    request.average = Average(c.files);
    request.target = BuiltInTarget(TargetKind::xCurve, grid).db;
    const FitResult fit = Fit(request);
    EXPECT_LT(fit.rmsAfter, fit.rmsBefore);

    // The boost limit holds over the fit range, and below it nothing is boosted.
    for (std::size_t n = 0; n < kGridPoints; ++n) {
      const double hz = grid.hz()[n];
      if (hz > fit.toHz) break;
      if (hz < fit.fromHz && !fit.rollOffHz) continue;
      const double boost = fit.equalizer[n] - fit.equalizerMedianDb;
      ASSERT_LE(boost, (hz >= fit.fromHz ? fit.maxBoostDb : 0.0) + 0.1) << hz << " Hz";
    }
    if (c.dipHz > 0.0) {
      bool leftOut = false;
      for (const FrequencySpan& s : fit.leftOut) leftOut |= c.dipHz >= s.fromHz && c.dipHz <= s.toHz;
      EXPECT_TRUE(leftOut) << "the dip is left out of the cost";
      EXPECT_LE(BoostAt(fit, c.dipHz), 1.0) << "the dip is not filled";
      // The plain least-squares fit does chase it: what the rules are for.
      FitRequest exact = request;
      exact.mode = FitMode::exact;
      EXPECT_GT(BoostAt(Fit(exact), c.dipHz), 3.0);
    }
    if (c.rollOff) {
      ASSERT_TRUE(fit.rollOffHz);
      EXPECT_GT(*fit.rollOffHz, 50.0);
      EXPECT_LT(*fit.rollOffHz, 80.0);
      EXPECT_DOUBLE_EQ(fit.fromHz, *fit.rollOffHz);
      EXPECT_LE(BoostAt(fit, 40.0), 0.1);
    } else {
      EXPECT_FALSE(fit.rollOffHz);
    }
    const ReferenceFit reference = ReferenceContinuousFit(std::get<AlignmentProblem>(PrepareAlignment(request)));
    EXPECT_LE(fit.cost, 1.1 * reference.rms + 0.05) << "reference " << reference.rms;
  }
}

// A room made on the grid: 80 dB with bells of depth dB, width sigma octaves, at hz.
GridCurve Room(std::initializer_list<std::array<double, 3>> bells) {
  GridCurve room;
  for (std::size_t n = 0; n < kGridPoints; ++n) {
    const double hz = Grid().hz()[n];
    room[n] = 80.0;
    for (const auto& [at, depth, sigma] : bells) room[n] += depth * std::exp(-std::pow(std::log2(hz / at) / sigma, 2));
  }
  return room;
}

TEST(InstallerFit, BandsUseTheirOwnRangeBothWays) {
  // A broad 5 dB trough wants more than +3 dB of a band (allowed with a 6 dB boost limit); a
  // narrow 10 dB peak wants a cut the bands cannot give beyond -6 dB.
  FitRequest request;
  request.channel = 1;
  request.average = Room({{{800.0, -5.0, 0.5}}, {{5000.0, 10.0, 0.15}}});
  request.target = BuiltInTarget(TargetKind::flat, Grid()).db;
  request.maxBoostDb = 6.0;
  const FitResult fit = Fit(request);
  int highest = alignrange::bandTenths.low, lowest = alignrange::bandTenths.high;
  for (int band = 0; band < kGeqBands; ++band) {
    const int v = fit.image.geqGain(1, band);
    ASSERT_GE(v, alignrange::bandTenths.low);
    ASSERT_LE(v, alignrange::bandTenths.high);
    highest = std::max(highest, v);
    lowest = std::min(lowest, v);
  }
  EXPECT_GT(highest, 35) << "more than +3.5 dB on the trough";
  EXPECT_EQ(lowest, alignrange::bandTenths.low) << "the peak's band at its -6 dB stop";
  EXPECT_EQ(alignrange::bandTenths.low, -60);
  EXPECT_EQ(alignrange::bandTenths.high, 60);
}

TEST(InstallerFit, ANarrowedFitRangeLeavesTheRestAlone) {
  // A trough at 80 Hz outside a fit range from 250 Hz: the bands there stay as they were.
  FitRequest request;
  request.channel = 0;
  request.average = Room({{{80.0, -6.0, 0.6}}, {{2000.0, -4.0, 0.5}}});
  request.target = BuiltInTarget(TargetKind::flat, Grid()).db;
  request.fromHz = 250.0;
  for (const FitMode mode : {FitMode::installer, FitMode::exact}) {
    request.mode = mode;
    const FitResult fit = Fit(request);
    EXPECT_DOUBLE_EQ(fit.fromHz, 250.0);
    // More than an octave below the range's edge a band takes at most the tie-breaking nudge.
    for (int band = 0; band <= 4; ++band) EXPECT_LE(std::abs(fit.image.geqGain(0, band)), 5) << kGeqBandHz[band] << " Hz";
    EXPECT_LT(fit.rmsAfter, 0.5 * fit.rmsBefore) << "the trough inside is treated";
    EXPECT_EQ(fit.bands[5].inRange, false);
  }
}

TEST(InstallerFit, TheReferenceLevelAndTheOutputLevelChange) {
  // What the equalizer does to the 1/3-octave bands from 500 Hz to 2 kHz moves the reference
  // level: the change brings it back, and the output level takes it in 0.5 dB steps within
  // its range.
  FitRequest request;
  request.channel = 2;
  request.average = Room({{{1000.0, 6.0, 0.4}}});
  request.target = BuiltInTarget(TargetKind::flat, Grid()).db;
  const FitResult fit = Fit(request);
  // The hump at the seven band centres: 0.0, 0.4, 3.1, 6.0, 3.1, 0.3 and 0.0 dB, 1.86 dB on average.
  EXPECT_NEAR(fit.referenceBefore, 80.0 + 1.86, 0.2);
  EXPECT_NEAR(fit.referenceAfter + fit.levelChangeDb, fit.referenceBefore, 1e-9);
  double meanEq = 0.0;
  for (const double hz : {500.0, 630.0, 800.0, 1000.0, 1250.0, 1600.0, 2000.0}) meanEq += CurveAt(fit.equalizer, hz) / 7.0;
  EXPECT_LT(meanEq, -1.0) << "the hump is cut";
  EXPECT_NEAR(fit.levelChangeDb, -meanEq, 0.1);
  EXPECT_EQ(OutputLevelAfterChange(44, 1.26), 47);
  EXPECT_EQ(OutputLevelAfterChange(44, -0.2), 44);
  EXPECT_EQ(OutputLevelAfterChange(58, 6.0), 60);
  EXPECT_EQ(OutputLevelAfterChange(2, -3.0), 0);
}

TEST(AlignmentTarget, WideRangeCurveByRoomSize) {
  struct Row {
    double seats;
    std::array<double, 5> db;  // at 4, 8, 10, 12.5 and 16 kHz
  };
  const Row rows[] = {
      {30, {-2.000, -4.000, -4.644, -5.932, -7.356}},    {150, {-2.500, -5.000, -5.805, -7.414, -9.195}},
      {500, {-3.000, -6.000, -6.966, -8.897, -11.034}},  {1000, {-3.500, -7.000, -8.127, -10.380, -12.873}},
      {1500, {-4.000, -8.000, -9.288, -11.863, -14.712}}, {2000, {-4.500, -9.000, -10.449, -13.346, -16.551}},
  };
  const double hz[] = {4000.0, 8000.0, 10000.0, 12500.0, 16000.0};
  for (const Row& row : rows) {
    const TargetSlopes slopes = SlopesForSeats(row.seats);
    for (int i = 0; i < 5; ++i) {
      EXPECT_NEAR(BuiltInTargetDb(TargetKind::xCurve, hz[i], slopes), row.db[static_cast<std::size_t>(i)], 0.001)
          << row.seats << " seats, " << hz[i] << " Hz";
    }
    EXPECT_DOUBLE_EQ(BuiltInTargetDb(TargetKind::xCurve, 2000.0, slopes), 0.0);
  }
  // The default is the 500-seat curve with its knee; between rows, interpolated; outside, held.
  EXPECT_NEAR(BuiltInTarget(TargetKind::xCurve, Grid()).slopes.highDbPerOctave, 6.0, 1e-12);
  EXPECT_NEAR(SlopesForSeats(750).midDbPerOctave, 3.25, 1e-12);
  EXPECT_NEAR(SlopesForSeats(750).highDbPerOctave, 6.5, 1e-12);
  EXPECT_NEAR(SlopesForSeats(10).midDbPerOctave, 2.0, 1e-12);
  EXPECT_NEAR(SlopesForSeats(5000).highDbPerOctave, 9.0, 1e-12);
  EXPECT_FALSE(SeatsForVolume(120.0)) << "under 150 m3: the small-room curve";
  EXPECT_NEAR(*SeatsForVolume(3500.0), 500.0, 1e-9);
  // The tolerance band says where it comes from; the subwoofer's is flat over its range.
  EXPECT_NE(ToleranceBand{}.Source().find("installer's guide"), std::string::npos);
  const ToleranceBand sub = BandFor(kSubwooferChannel, 20.0, 120.0);
  EXPECT_DOUBLE_EQ(sub.At(25.0)->upper, 3.0);
  EXPECT_DOUBLE_EQ(sub.At(100.0)->lower, -3.0);
  EXPECT_FALSE(sub.At(200.0));
}

}  // namespace
}  // namespace mzr
