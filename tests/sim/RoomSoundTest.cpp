// The simulator's room sound, rendered in-process and read by the analyser: the room's shape
// at the seat, the equalizer's change, and silence but for the background when the
// generator is off.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <span>
#include <variant>
#include <vector>

#include "RoomSound.h"
#include "dsp/FilterDesign.h"
#include "measure/AnalyserBands.h"
#include "measure/RecordAnalysis.h"

namespace mzr::sim {
namespace {

RecordSpectrum Listen(RoomSound& room, const ParameterImage& image) {
  // The equalizer's sections settle in the first repeat; four whole repeats are read.
  std::vector<float> samples(5 * kRoomPeriod);
  room.Render(image, samples);
  const auto result = AnalyseRecord(std::span<const float>(samples).subspan(kRoomPeriod));
  EXPECT_TRUE(std::holds_alternative<RecordSpectrum>(result));
  return std::get<RecordSpectrum>(result);
}

TEST(RoomSound, PinkNoiseReadsTheSeatsRoomAndTheEqualizersChange) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  image.setTestSignalMask(1 << 2);  // output 3, right
  image.setTestSignalType(0);
  RoomSound room(5, 2);
  const RecordSpectrum flat = Listen(room, image);
  const auto& fine = TwentyFourthOctaveBands();
  double worst = 0.0;
  for (std::size_t b = 0; b < fine.size(); ++b) {
    if (fine[b].hz < 30.0 || fine[b].hz > 18000.0) continue;
    const double diff = flat.fineDb[b] - (room.RoomDb(2, fine[b].hz) + kRoomToFullScaleDb);
    worst = std::max(worst, std::abs(diff));
    EXPECT_NEAR(diff, 0.0, 0.25) << fine[b].hz << " Hz";
  }
  std::printf("room sound against the room's curve: worst 1/24-octave band %.3f dB (30 Hz-18 kHz)\n", worst);

  image.setGeqGain(2, 14, 60);  // +6 dB at 1 kHz
  const RecordSpectrum boosted = Listen(room, image);
  // The change is the boosting section's response, evaluated here from its coefficients.
  const Biquad peak = DesignPeak(1000.0, kGraphicBandQ, 60);
  for (std::size_t b = 0; b < fine.size(); ++b) {
    if (fine[b].hz < 30.0 || fine[b].hz > 18000.0) continue;
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * fine[b].hz / kRoomRate);
    const double responseDb =
        20.0 * std::log10(std::abs((peak.b0 + peak.b1 * z1 + peak.b2 * z1 * z1) / (1.0 + peak.a1 * z1 + peak.a2 * z1 * z1)));
    EXPECT_NEAR(boosted.fineDb[b] - flat.fineDb[b], responseDb, 0.1) << fine[b].hz << " Hz";
  }
  const auto& thirds = ThirdOctaveBands();

  image.setTestSignalMask(0);
  const RecordSpectrum off = Listen(room, image);
  // Only the background is left, far below the noise in every band.
  for (std::size_t b = 0; b < thirds.size(); ++b) EXPECT_LT(off.thirdDb[b], flat.thirdDb[b] - 40.0) << thirds[b].nominal;
}

TEST(RoomSound, ATonePlaysAtItsFrequencyAlone) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  image.setTestSignalMask(1);
  image.setTestSignalType(3);  // 1 kHz
  RoomSound room(5, 1);
  const RecordSpectrum tone = Listen(room, image);
  const auto& thirds = ThirdOctaveBands();
  for (std::size_t b = 0; b < thirds.size(); ++b) {
    if (thirds[b].nominal == 1000.0) {
      EXPECT_NEAR(tone.thirdDb[b], room.RoomDb(0, 1000.0) + kRoomToFullScaleDb + 15.0, 0.1);
    } else if (thirds[b].nominal <= 630.0 || thirds[b].nominal >= 1600.0) {
      EXPECT_LT(tone.thirdDb[b], -60.0) << thirds[b].nominal;
    }
  }
}

}  // namespace
}  // namespace mzr::sim
