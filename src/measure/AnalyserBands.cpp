#include "measure/AnalyserBands.h"

#include <cmath>

namespace mzr {
namespace {

// The nominal labels the standard prints for the base-ten centres 10^(x/10) kHz.
constexpr double kNominalThird[] = {20,   25,   31.5, 40,   50,   63,   80,    100,   125,   160,   200,
                                    250,  315,  400,  500,  630,  800,  1000,  1250,  1600,  2000,  2500,
                                    3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};

AnalyserBand MakeBand(double centre, double nominal, int fraction) {
  const double half = std::pow(10.0, 0.3 / (2.0 * fraction));
  return {centre, nominal, centre / half, centre * half};
}

}  // namespace

const std::vector<AnalyserBand>& ThirdOctaveBands() {
  static const std::vector<AnalyserBand> bands = [] {
    std::vector<AnalyserBand> out;
    for (int x = -17; x <= 13; ++x) {
      out.push_back(MakeBand(1000.0 * std::pow(10.0, x / 10.0), kNominalThird[x + 17], 3));
    }
    return out;
  }();
  return bands;
}

const std::vector<AnalyserBand>& TwentyFourthOctaveBands() {
  static const std::vector<AnalyserBand> bands = [] {
    std::vector<AnalyserBand> out;
    for (int x = -200; x <= 200; ++x) {
      const double centre = 1000.0 * std::pow(10.0, 0.3 * (2 * x + 1) / 48.0);
      if (centre >= 20.0 && centre <= 20000.0) out.push_back(MakeBand(centre, centre, 24));
    }
    return out;
  }();
  return bands;
}

}  // namespace mzr
