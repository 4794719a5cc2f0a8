// The analyser against references computed here from the same samples, by other means:
// the exact powers of the components a periodic signal was built from, and one unwindowed
// transform of a whole random record. The test prints the largest differences it saw.

#include <gtest/gtest.h>

#include <unsupported/Eigen/FFT>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <random>
#include <variant>
#include <vector>

#include "dsp/FilterDesign.h"
#include "measure/AnalyserBands.h"
#include "measure/LiveAnalyser.h"
#include "measure/RecordAnalysis.h"

namespace mzr {
namespace {

constexpr double kRate = 48000.0;

double ToDb(double meanSquare) { return 10.0 * std::log10(2.0 * meanSquare); }

// |H| of a run of sections at hz, evaluated directly.
double Magnitude(const std::vector<Biquad>& sections, double hz) {
  const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / kRate);
  const std::complex<double> z2 = z1 * z1;
  double m = 1.0;
  for (const Biquad& s : sections) m *= std::abs((s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2));
  return m;
}

// Real samples from a half spectrum (bins 0..n/2) by Eigen's inverse transform.
std::vector<float> Synthesise(const std::vector<std::complex<double>>& half, std::size_t n) {
  Eigen::FFT<double> fft;
  std::vector<std::complex<double>> full(n);
  for (std::size_t k = 0; k < half.size(); ++k) full[k] = half[k];
  for (std::size_t k = 1; k < n / 2; ++k) full[n - k] = std::conj(half[k]);
  std::vector<std::complex<double>> time;
  fft.inv(time, full);
  std::vector<float> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<float>(time[i].real());
  return out;
}

// Periodic pink noise (one component per 1/P of the rate, amplitude 1/sqrt(f), random
// phase) through the unit's own section designs: a cut at 63 Hz, a boost at 1 kHz, a bass
// shelf and the subwoofer's low-pass corner well inside the range. The reference of a band
// is the sum of the powers of the components inside it, each passed through |H|.
TEST(RecordAnalysis, PeriodicPinkNoiseThroughSectionsMatchesItsComponentsOverWholePeriods) {
  constexpr std::size_t kPeriod = 16 * 65536;  // 21.8 s, a whole number of hops
  const std::vector<Biquad> sections{DesignPeak(63.0, kGraphicBandQ, -60), DesignPeak(1000.0, kGraphicBandQ, 60),
                                     DesignBassShelf(125.0, 40), DesignLowPass(12000.0, kSubLowPassQ)};
  std::mt19937 random(7);
  std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
  std::vector<std::complex<double>> half(kPeriod / 2 + 1);
  std::vector<double> componentPower(kPeriod / 2 + 1, 0.0);
  for (std::size_t k = 1; k < kPeriod / 2; ++k) {
    const double hz = k * kRate / kPeriod;
    const double amplitude = 0.02 * Magnitude(sections, hz) / std::sqrt(hz);
    componentPower[k] = amplitude * amplitude / 2.0;
    half[k] = std::polar(amplitude * kPeriod / 2.0, phase(random));
  }
  const std::vector<float> samples = Synthesise(half, kPeriod);

  const auto result = AnalyseRecord(samples);
  ASSERT_TRUE(std::holds_alternative<RecordSpectrum>(result)) << std::get<std::string>(result);
  const RecordSpectrum& spectrum = std::get<RecordSpectrum>(result);
  ASSERT_EQ(spectrum.samplesUsed, kPeriod);
  ASSERT_EQ(spectrum.frames, static_cast<int>(kPeriod / kRecordHop));

  auto reference = [&](const AnalyserBand& band) {
    double sum = 0.0;
    for (std::size_t k = 1; k < kPeriod / 2; ++k) {
      const double hz = k * kRate / kPeriod;
      if (hz >= band.lowHz && hz < band.highHz) sum += componentPower[k];
    }
    return ToDb(sum);
  };
  double worstThird = 0.0;
  const auto& thirds = ThirdOctaveBands();
  for (std::size_t b = 0; b < thirds.size(); ++b) {
    const double diff = spectrum.thirdDb[b] - reference(thirds[b]);
    worstThird = std::max(worstThird, std::abs(diff));
    EXPECT_NEAR(diff, 0.0, 0.05) << thirds[b].nominal << " Hz";
  }
  // The 1/24-octave bands from 100 Hz up hold 60 components or more.
  double worstFine = 0.0;
  const auto& fine = TwentyFourthOctaveBands();
  for (std::size_t b = 0; b < fine.size(); ++b) {
    if (fine[b].hz < 100.0) continue;
    const double diff = spectrum.fineDb[b] - kFineToThirdOctaveDb - reference(fine[b]);
    worstFine = std::max(worstFine, std::abs(diff));
    EXPECT_NEAR(diff, 0.0, 0.05) << fine[b].hz << " Hz";
  }
  std::printf("periodic pink noise: worst 1/3-octave band %.4f dB (20 Hz-20 kHz), worst 1/24-octave band %.4f dB "
              "(100 Hz-20 kHz)\n",
              worstThird, worstFine);
}

// Ten seconds of random pink noise cut from a longer stream (so the record does not repeat
// seamlessly); the reference is one transform of the whole record with no window, its bin
// powers summed over each band.
TEST(RecordAnalysis, RandomPinkNoiseMatchesAnUnwindowedTransformOfTheWholeRecord) {
  constexpr std::size_t kStream = 1 << 20;
  constexpr std::size_t kRecord = 59 * kRecordHop;  // 10.07 s
  std::mt19937 random(2024);
  std::normal_distribution<double> normal;
  std::vector<std::complex<double>> half(kStream / 2 + 1);
  for (std::size_t k = 1; k < kStream / 2; ++k) {
    const double hz = k * kRate / kStream;
    half[k] = std::complex<double>(normal(random), normal(random)) * (hz < 10.0 ? 0.0 : 3.0 / std::sqrt(hz));
  }
  const std::vector<float> stream = Synthesise(half, kStream);
  const std::vector<float> record(stream.begin() + 100000, stream.begin() + 100000 + kRecord);

  Eigen::FFT<double> fft;
  std::vector<double> in(record.begin(), record.end());
  std::vector<std::complex<double>> bins;
  fft.fwd(bins, in);
  auto reference = [&](const AnalyserBand& band) {
    double sum = 0.0;
    for (std::size_t k = 1; k < kRecord / 2; ++k) {
      const double hz = k * kRate / kRecord;
      if (hz >= band.lowHz && hz < band.highHz) sum += std::norm(bins[k]);
    }
    return ToDb(2.0 * sum / (static_cast<double>(kRecord) * kRecord));
  };

  const auto result = AnalyseRecord(record);
  ASSERT_TRUE(std::holds_alternative<RecordSpectrum>(result));
  const RecordSpectrum& spectrum = std::get<RecordSpectrum>(result);
  ASSERT_EQ(spectrum.samplesUsed, kRecord);
  double worst = 0.0;
  double worstHz = 0.0;
  const auto& thirds = ThirdOctaveBands();
  for (std::size_t b = 0; b < thirds.size(); ++b) {
    if (thirds[b].nominal < 25.0 || thirds[b].nominal > 16000.0) continue;
    const double diff = spectrum.thirdDb[b] - reference(thirds[b]);
    if (std::abs(diff) > worst) {
      worst = std::abs(diff);
      worstHz = thirds[b].nominal;
    }
    EXPECT_NEAR(diff, 0.0, 0.25) << thirds[b].nominal << " Hz";
  }
  std::printf("random pink noise, 10.07 s: worst 1/3-octave band %.4f dB at %g Hz (25 Hz-16 kHz)\n", worst, worstHz);
}

TEST(RecordAnalysis, FullScaleSineReadsZeroDbInItsBandAndShortRecordsAreRefused) {
  std::vector<float> sine(10 * kRecordHop);
  for (std::size_t n = 0; n < sine.size(); ++n) sine[n] = static_cast<float>(std::sin(2.0 * std::numbers::pi * 997.0 * n / kRate));
  const auto result = AnalyseRecord(sine);
  ASSERT_TRUE(std::holds_alternative<RecordSpectrum>(result));
  const auto& thirds = ThirdOctaveBands();
  const auto at = static_cast<std::size_t>(std::find_if(thirds.begin(), thirds.end(), [](const AnalyserBand& b) { return b.nominal == 1000.0; }) - thirds.begin());
  EXPECT_NEAR(std::get<RecordSpectrum>(result).thirdDb[at], 0.0, 0.01);
  // The record's end meets its start with a jump (997 Hz is not periodic in it); what that
  // spreads stays 40 dB down an octave away.
  EXPECT_LT(std::get<RecordSpectrum>(result).thirdDb[at + 3], -40.0);
  EXPECT_LT(std::get<RecordSpectrum>(result).thirdDb[at - 3], -40.0);

  const std::vector<float> tooShort(65536 - 1, 0.1f);
  const auto refused = AnalyseRecord(tooShort);
  ASSERT_TRUE(std::holds_alternative<std::string>(refused));
  EXPECT_NE(std::get<std::string>(refused).find("too short"), std::string::npos);
}

TEST(AnalyserBands, CentresAndEdgesFollowTheBaseTenSeries) {
  const auto& thirds = ThirdOctaveBands();
  ASSERT_EQ(thirds.size(), 31u);
  EXPECT_DOUBLE_EQ(thirds.front().nominal, 20.0);
  EXPECT_NEAR(thirds.front().hz, 19.953, 0.001);
  EXPECT_DOUBLE_EQ(thirds[17].hz, 1000.0);
  EXPECT_DOUBLE_EQ(thirds.back().nominal, 20000.0);
  for (std::size_t b = 1; b < thirds.size(); ++b) EXPECT_NEAR(thirds[b].lowHz, thirds[b - 1].highHz, 1e-9);
  const auto& fine = TwentyFourthOctaveBands();
  EXPECT_NEAR(fine.front().hz, 20.24, 0.01);
  EXPECT_NEAR(fine.back().hz, 19667.5, 0.1);
  EXPECT_NEAR(fine[1].hz / fine[0].hz, std::pow(10.0, 0.3 / 24.0), 1e-12);
}

// Steady noise, then 20 dB less: the fast reading follows within half a second, the slow
// one has covered less than half the step by then, and both settle on the same level.
TEST(LiveAnalyser, FastAndSlowFollowAStepAtTheirOwnPace) {
  std::mt19937 random(3);
  std::normal_distribution<float> normal(0.0f, 0.1f);
  LiveAnalyser live;
  std::vector<float> block(4800);
  auto feed = [&](float gain, int blocks) {
    int readings = 0;
    for (int i = 0; i < blocks; ++i) {
      for (float& s : block) s = gain * normal(random);
      readings += live.Push(block);
    }
    return readings;
  };
  EXPECT_GE(feed(1.0f, 50), 5 * 5);  // 5 s: at least five readings a second
  const auto& thirds = ThirdOctaveBands();
  const std::size_t band = 20;  // 2 kHz
  ASSERT_EQ(thirds[band].nominal, 2000.0);
  const double before = live.SlowDb()[band];
  EXPECT_NEAR(live.FastDb()[band], before, 1.0);
  // 0.1 s per block: 2.0 s of quieter noise, enough to leave the 1.37 s frame.
  feed(0.1f, 20);
  const double fastAfter = live.FastDb()[band];
  const double slowAfter = live.SlowDb()[band];
  EXPECT_NEAR(fastAfter, before - 20.0, 1.0);
  EXPECT_GT(slowAfter, fastAfter + 0.5);
  feed(0.1f, 60);
  EXPECT_NEAR(live.SlowDb()[band], before - 20.0, 1.0);
}

}  // namespace
}  // namespace mzr
