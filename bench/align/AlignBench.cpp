// Fit time per channel and the residual it leaves, on seeded synthetic halls, beside the
// independent bounded optimiser's continuous optimum and per-band inversion on the same
// rooms; medians over the seeds. A timed program: it prints one line per seed and a last
// line per channel kind that scripts/bench reads.
//   mzr4700-align-bench [--seeds N] [--repeats R]
//   mzr4700-align-bench --export-room SEED DIR [--positions N] [--subwoofer]
//     writes DIR/seat1.txt ... as a measurement program's text export; a subwoofer hall is
//     measured through the New Project low-pass (125 Hz, 24 dB/oct), as the unit plays it

#include <algorithm>
#include <chrono>
#include <cmath>
#include <complex>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "align/AlignmentTarget.h"
#include "align/EqualizerFit.h"
#include "align/FitBaselines.h"
#include "align/SyntheticRoom.h"
#include "dsp/FilterDesign.h"
#include "dsp/SectionStore.h"

namespace {

using namespace mzr;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// The New Project low-pass of the subwoofer at hz, in dB.
double DefaultLowPassDb(double hz) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  SectionStore store;
  DesignChannel(store, image, kSubwooferChannel);
  const std::complex<double> z1 = std::polar(1.0, -2.0 * 3.141592653589793 * hz / kSampleRate);
  double db = 0.0;
  for (int slot = kFirstLowPassSlot; slot <= kLastLowPassSlot; ++slot) {
    const Biquad& s = store[slot];
    db += 20.0 * std::log10(std::abs((s.b0 + s.b1 * z1 + s.b2 * z1 * z1) / (1.0 + s.a1 * z1 + s.a2 * z1 * z1)));
  }
  return db;
}

int ExportRoom(std::uint32_t seed, const std::filesystem::path& dir, int positions, bool subwoofer) {
  std::filesystem::create_directories(dir);
  int i = 0;
  for (const Measurement& m : SyntheticRoomMeasurements({seed, positions, subwoofer})) {
    const auto path = dir / ("seat" + std::to_string(++i) + ".txt");
    std::ofstream out(path);
    out << "* Synthetic hall, seed " << seed << ", microphone position " << i << "\n"
        << "* Frequency Level Phase, 1/24 octave\n"
        << "Freq(Hz) SPL(dB) Phase(degrees)\n";
    char line[96];
    for (std::size_t k = 0; k < m.hz.size(); ++k) {
      const double db = m.db[k] + (subwoofer ? DefaultLowPassDb(m.hz[k]) : 0.0);
      std::snprintf(line, sizeof line, "%.3f %.3f 0.000\n", m.hz[k], db);
      out << line;
    }
    if (!out) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 3;
    }
    std::printf("%s\n", path.c_str());
  }
  return 0;
}

struct Row {
  std::vector<double> ms, fit, reference, perBand, before;
};

void Run(int channel, int seeds, int repeats, Row& row) {
  const ResponseGrid grid;
  const bool sub = channel == kSubwooferChannel;
  for (int seed = 1; seed <= seeds; ++seed) {
    FitRequest request;
    request.channel = channel;
    std::vector<GridCurve> curves;
    for (const Measurement& m : SyntheticRoomMeasurements({static_cast<std::uint32_t>(seed), 4, sub})) {
      curves.push_back(InterpolateOnGrid(m, grid));
    }
    request.average = PowerAverage(curves);
    request.target = BuiltInTarget(sub ? TargetKind::flat : TargetKind::xCurve, grid).db;
    request.fromHz = sub ? 20.0 : 40.0;
    request.toHz = sub ? 120.0 : 16000.0;
    std::vector<double> times;
    FitResult fit;
    for (int r = 0; r < repeats; ++r) {
      const auto start = std::chrono::steady_clock::now();
      auto result = FitEqualizer(request);
      const auto stop = std::chrono::steady_clock::now();
      fit = std::get<FitResult>(std::move(result));
      times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    const auto problem = PrepareAlignment(request);
    const double reference = ReferenceContinuousFit(std::get<AlignmentProblem>(problem)).rms;
    const double perBand = sub ? 0.0 : std::get<FitResult>(EvaluateSettings(request, PerBandInversion(request))).rmsAfter;
    row.ms.push_back(Median(times));
    // The fit's cost under its rules, as the reference's (the RMS of the residual under the
    // exact fit's; under the installer's, the boost cost and limit are in it).
    row.fit.push_back(fit.cost);
    row.reference.push_back(reference);
    row.perBand.push_back(perBand);
    row.before.push_back(fit.rmsBefore);
    std::printf("%s seed %d: fit %.3f ms, residual before %.2f dB, fit %.3f dB, reference %.3f dB", sub ? "subwoofer" : "full-range",
                seed, Median(times), fit.rmsBefore, fit.cost, reference);
    if (!sub) std::printf(", per-band %.3f dB", perBand);
    std::printf("\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  int seeds = 7;
  int repeats = 21;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--export-room" && i + 2 < argc) {
      const auto seed = static_cast<std::uint32_t>(std::stoul(argv[i + 1]));
      const std::filesystem::path dir = argv[i + 2];
      int positions = 4;
      bool subwoofer = false;
      for (int j = i + 3; j < argc; ++j) {
        if (std::strcmp(argv[j], "--positions") == 0 && j + 1 < argc) positions = std::stoi(argv[++j]);
        if (std::strcmp(argv[j], "--subwoofer") == 0) subwoofer = true;
      }
      return ExportRoom(seed, dir, positions, subwoofer);
    }
    if (a == "--seeds" && i + 1 < argc) seeds = std::stoi(argv[++i]);
    if (a == "--repeats" && i + 1 < argc) repeats = std::stoi(argv[++i]);
  }
  Row full, sub;
  Run(0, seeds, repeats, full);
  Run(kSubwooferChannel, seeds, repeats, sub);
  std::printf("full-range: fit median %.2f ms per channel (max %.2f); residual median before %.2f dB, fit %.3f dB, "
              "reference %.3f dB, per-band inversion %.3f dB; %d seeds\n",
              Median(full.ms), *std::max_element(full.ms.begin(), full.ms.end()), Median(full.before), Median(full.fit),
              Median(full.reference), Median(full.perBand), seeds);
  std::printf("subwoofer: fit median %.2f ms per channel (max %.2f); residual median before %.2f dB, fit %.3f dB, "
              "reference %.3f dB; %d seeds\n",
              Median(sub.ms), *std::max_element(sub.ms.begin(), sub.ms.end()), Median(sub.before), Median(sub.fit),
              Median(sub.reference), seeds);
  return 0;
}
