#include "RoomSound.h"

#include <unsupported/Eigen/FFT>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "align/SyntheticRoom.h"
#include "dsp/FilterDesign.h"

namespace mzr::sim {
namespace {

constexpr double kToneHz[] = {0.0, 120.0, 500.0, 1000.0, 5000.0, 10000.0};
constexpr const char* kToneNames[] = {"pink noise", "120 Hz", "500 Hz", "1 kHz", "5 kHz", "10 kHz"};
constexpr int kOutputs = 8;

Measurement RoomOf(std::uint32_t roomSeed, int seat, int output) {
  SyntheticRoomOptions options;
  options.seed = roomSeed + static_cast<std::uint32_t>(output);
  options.positions = std::max(4, seat);
  options.subwoofer = output == kSubwooferChannel;
  return SyntheticRoomMeasurements(options)[static_cast<std::size_t>(seat - 1)];
}

double LevelAt(const Measurement& m, double hz) {
  if (hz <= m.hz.front()) return m.db.front();
  if (hz >= m.hz.back()) return m.db.back();
  const auto upper = std::upper_bound(m.hz.begin(), m.hz.end(), hz);
  const auto i = static_cast<std::size_t>(upper - m.hz.begin());
  const double t = std::log(hz / m.hz[i - 1]) / std::log(m.hz[i] / m.hz[i - 1]);
  return m.db[i - 1] + t * (m.db[i] - m.db[i - 1]);
}

}  // namespace

std::optional<GeneratorSetting> GeneratorOf(const ParameterImage& image) {
  const int mask = image.testSignalMask();
  const int type = image.testSignalType();
  if (mask == 0 || type < 0 || type > 5) return std::nullopt;
  for (int output = 0; output < kOutputs; ++output) {
    if ((mask & (1 << output)) != 0) return GeneratorSetting{output, type};
  }
  return std::nullopt;
}

std::string DescribeGenerator(const GeneratorSetting& setting) {
  return std::string(kToneNames[setting.type]) + " on output " + std::to_string(setting.output + 1);
}

RoomSound::RoomSound(std::uint32_t roomSeed, int seat)
    : m_roomSeed(roomSeed), m_seat(std::max(1, seat)), m_states(kSectionSlots), m_noise(roomSeed) {}

double RoomSound::RoomDb(int output, double hz) const { return LevelAt(RoomOf(m_roomSeed, m_seat, output), hz); }

void RoomSound::Prepare(const GeneratorSetting& setting) {
  m_prepared = setting;
  const Measurement room = RoomOf(m_roomSeed, m_seat, setting.output);
  if (setting.type != 0) {
    m_toneHz = kToneHz[setting.type];
    // A tone reads 15 dB above a third of an octave of the noise.
    m_toneAmplitude = std::pow(10.0, (LevelAt(room, m_toneHz) + kRoomToFullScaleDb + 15.0) / 20.0);
    return;
  }
  // One repeat of pink noise: per component the power a pink spectrum c/f puts in its bin,
  // c chosen so a third of an octave (ln 10^0.1 of c) reads the room's level.
  std::mt19937 phases(m_roomSeed * 8u + static_cast<std::uint32_t>(setting.output));
  std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
  const double binHz = kRoomRate / kRoomPeriod;
  std::vector<std::complex<double>> spectrum(kRoomPeriod, 0.0);
  for (int k = 1; k < kRoomPeriod / 2; ++k) {
    const double hz = k * binHz;
    const double theta = phase(phases);
    if (hz < 10.0) continue;
    const double thirdMeanSquare = std::pow(10.0, (LevelAt(room, hz) + kRoomToFullScaleDb) / 10.0) / 2.0;
    const double power = thirdMeanSquare / std::log(std::pow(10.0, 0.1)) * binHz / hz;
    const std::complex<double> bin = std::polar(std::sqrt(2.0 * power) * kRoomPeriod / 2.0, theta);
    spectrum[static_cast<std::size_t>(k)] = bin;
    spectrum[static_cast<std::size_t>(kRoomPeriod - k)] = std::conj(bin);
  }
  Eigen::FFT<double> fft;
  std::vector<std::complex<double>> time;
  fft.inv(time, spectrum);
  m_period.resize(kRoomPeriod);
  for (int n = 0; n < kRoomPeriod; ++n) m_period[static_cast<std::size_t>(n)] = static_cast<float>(time[static_cast<std::size_t>(n)].real());
}

void RoomSound::Render(const ParameterImage& image, std::span<float> out) {
  const auto setting = GeneratorOf(image);
  if (setting && setting != m_prepared) Prepare(*setting);
  // The output's sections as the unit designs them now; their states carry on, so a new
  // setting changes the sound without a gap.
  const int output = setting ? setting->output : (m_prepared ? m_prepared->output : 0);
  const int channel = output <= kSubwooferChannel ? output : -1;
  m_sectionCount = channel >= 0 ? DesignChannel(m_sections, image, channel) : 0;
  const double background = std::pow(10.0, kBackgroundRmsDb / 20.0);
  for (float& sample : out) {
    double x = 0.0;
    if (setting) {
      if (setting->type == 0) {
        x = m_period[static_cast<std::size_t>(m_sample % kRoomPeriod)];
      } else {
        x = m_toneAmplitude * std::sin(2.0 * std::numbers::pi * m_toneHz * static_cast<double>(m_sample % 48000) / kRoomRate);
      }
    }
    ++m_sample;
    for (int s = 0; s < m_sectionCount; ++s) {
      // Transposed direct form II, in double as the response engine computes.
      const Biquad& q = m_sections[s];
      SectionState& st = m_states[static_cast<std::size_t>(s)];
      const double y = q.b0 * x + st.s1;
      st.s1 = q.b1 * x - q.a1 * y + st.s2;
      st.s2 = q.b2 * x - q.a2 * y;
      x = y;
    }
    sample = static_cast<float>(x + background * m_normal(m_noise));
  }
}

}  // namespace mzr::sim
