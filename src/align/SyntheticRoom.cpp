#include "align/SyntheticRoom.h"

#include <cmath>
#include <random>
#include <string>

namespace mzr {
namespace {

class Draw final {
 public:
  explicit Draw(std::uint32_t seed) : m_engine(seed) {}
  double Uniform(double low, double high) {
    const double u = static_cast<double>(m_engine()) / 4294967296.0;  // [0, 1)
    return low + (high - low) * u;
  }
  double Sign() { return Uniform(0.0, 1.0) < 0.5 ? -1.0 : 1.0; }

 private:
  std::mt19937 m_engine;
};

struct Bell {
  double hz;
  double db;
  double octaves;  // width between the -1/e points
};

double BellDb(const Bell& b, double hz) {
  const double x = std::log2(hz / b.hz) / (b.octaves / 2.0);
  return b.db * std::exp(-x * x);
}

double HighPassDb(double hz, double cornerHz, int order) {
  const double x = std::pow(hz / cornerHz, 2.0 * order);
  return 10.0 * std::log10(x / (1.0 + x));
}

}  // namespace

std::vector<Measurement> SyntheticRoomMeasurements(const SyntheticRoomOptions& options) {
  Draw draw(options.seed);
  const bool sub = options.subwoofer;
  const double level = draw.Uniform(78.0, 86.0);
  const double rollOffHz = sub ? draw.Uniform(22.0, 30.0) : draw.Uniform(32.0, 55.0);
  const double hfKneeHz = draw.Uniform(3000.0, 8000.0);
  const double hfSlope = draw.Uniform(1.5, 4.0);
  std::vector<Bell> bells;
  const int bellCount = sub ? 3 : 4;
  for (int i = 0; i < bellCount; ++i) {
    if (sub) {
      bells.push_back({draw.Uniform(28.0, 110.0), draw.Sign() * draw.Uniform(4.0, 9.0), draw.Uniform(0.2, 0.5)});
    } else {
      bells.push_back({60.0 * std::pow(50.0, draw.Uniform(0.0, 1.0)), draw.Sign() * draw.Uniform(1.5, 5.0),
                       draw.Uniform(0.3, 1.0)});
    }
  }

  const double lowHz = sub ? 10.0 : 15.0;
  const double highHz = sub ? 250.0 : 22000.0;
  std::vector<Measurement> out;
  for (int p = 0; p < options.positions; ++p) {
    std::vector<Bell> seat;
    for (const Bell& b : bells) seat.push_back({b.hz * draw.Uniform(0.95, 1.05), b.db * draw.Uniform(0.6, 1.4), b.octaves});
    for (int i = 0; i < 5; ++i) {
      const double hz = sub ? draw.Uniform(20.0, 200.0) : 40.0 * std::pow(400.0, draw.Uniform(0.0, 1.0));
      seat.push_back({hz, draw.Sign() * draw.Uniform(0.3, 1.0), draw.Uniform(0.08, 0.2)});
    }
    Measurement m;
    m.name = "synthetic seed " + std::to_string(options.seed) + " position " + std::to_string(p + 1);
    for (double hz = lowHz; hz <= highHz; hz *= std::pow(2.0, 1.0 / 24.0)) {
      double db = level + HighPassDb(hz, rollOffHz, sub ? 2 : 2);
      if (!sub && hz > hfKneeHz) db -= hfSlope * std::log2(hz / hfKneeHz);
      for (const Bell& b : seat) db += BellDb(b, hz);
      m.hz.push_back(hz);
      m.db.push_back(db);
    }
    out.push_back(std::move(m));
  }
  return out;
}

}  // namespace mzr
