#pragma once
// What a microphone at one seat of a synthetic room hears from a unit: the test signal the
// unit's image enables (testSignalMask picks the output, testSignalType the signal: pink
// noise, or a tone of 120 Hz, 500 Hz, 1 kHz, 5 kHz or 10 kHz), shaped by that output's room
// (SyntheticRoom, seed = room seed + output; the subwoofer output has a subwoofer room),
// then through the output's equalizer sections as the unit designs them, plus a faint
// background noise that is always there. 48 kHz mono float.
//
// The pink noise repeats every 65,536 samples (1.37 s) with every component at its exact
// pink level and a random phase, as a processor's noise generator does; a capture of whole
// repeats therefore reads the room without the scatter of random noise. A room level of
// L dB reads L - 115 dB re full scale per third of an octave.

#include <complex>
#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "dsp/SectionStore.h"
#include "model/ParameterImage.h"

namespace mzr::sim {

inline constexpr int kRoomPeriod = 65536;
inline constexpr double kRoomRate = 48000.0;
inline constexpr double kRoomToFullScaleDb = -115.0;
inline constexpr double kBackgroundRmsDb = -90.0;  // white noise, re full scale

// The generator as an image sets it: which output, which signal; nothing when off.
struct GeneratorSetting {
  int output = 0;
  int type = 0;
  friend bool operator==(const GeneratorSetting&, const GeneratorSetting&) = default;
};
std::optional<GeneratorSetting> GeneratorOf(const ParameterImage& image);
// "pink noise on output 1", "1 kHz on output 6".
std::string DescribeGenerator(const GeneratorSetting& setting);

class RoomSound final {
 public:
  // seat counts from 1.
  RoomSound(std::uint32_t roomSeed, int seat);

  // The next samples, as the image sets generator and equalizer now.
  void Render(const ParameterImage& image, std::span<float> out);

  // The room's level at hz for an output, in dB on the room's scale (for tests).
  double RoomDb(int output, double hz) const;

 private:
  struct SectionState {
    double s1 = 0.0;
    double s2 = 0.0;
  };
  void Prepare(const GeneratorSetting& setting);

  std::uint32_t m_roomSeed;
  int m_seat;
  std::optional<GeneratorSetting> m_prepared;
  std::vector<float> m_period;  // pink noise through the room, one repeat
  double m_toneHz = 0.0;
  double m_toneAmplitude = 0.0;
  std::uint64_t m_sample = 0;
  SectionStore m_sections;
  std::vector<SectionState> m_states;
  int m_sectionCount = 0;
  std::mt19937 m_noise;
  std::normal_distribution<double> m_normal;
};

}  // namespace mzr::sim
