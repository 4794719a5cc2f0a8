// Timings of the response engine: designing a channel, evaluating its curve (fast and plain)
// and painting the whole graph.

#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "dsp/FilterDesign.h"
#include "dsp/ResponseEvaluation.h"
#include "ui/equalizer/graph/EqualizerGraphPainter.h"

namespace mzr {
namespace {

// A full-range channel with every band, both shelves and the ±6 dB turnover rule in use.
ParameterImage BusyImage() {
  ParameterImage image;
  for (int band = 0; band < kGeqBands; ++band) {
    image.setGeqGain(0, band, static_cast<std::int8_t>((band * 37) % 121 - 60));
  }
  image.setToneControl(0, {-60, 4, 35, 6});
  image.setSubPeq(0, {45, 30, 4});
  image.setSubPeq(1, {90, -60, 8});
  image.setSubLpfSlope(4);
  image.setSubLpfFreq(5);
  return image;
}

void DesignFullRangeChannel(benchmark::State& state) {
  const ParameterImage image = BusyImage();
  SectionStore store;
  for (auto _ : state) {
    benchmark::DoNotOptimize(DesignChannel(store, image, 0));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(DesignFullRangeChannel);

void EvaluateFast29(benchmark::State& state) {
  const ParameterImage image = BusyImage();
  SectionStore store;
  DesignChannel(store, image, 0);
  const ResponseGrid grid;
  for (auto _ : state) {
    benchmark::DoNotOptimize(EvaluateResponse(grid, store.First(29), 97));
  }
}
BENCHMARK(EvaluateFast29);

void EvaluatePlain29(benchmark::State& state) {
  const ParameterImage image = BusyImage();
  SectionStore store;
  DesignChannel(store, image, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(EvaluateResponsePlain(store.First(29), 97));
  }
}
BENCHMARK(EvaluatePlain29);

// What every edit of a full-range channel costs before painting.
void DesignAndEvaluateFullRange(benchmark::State& state) {
  const ParameterImage image = BusyImage();
  SectionStore store;
  const ResponseGrid grid;
  for (auto _ : state) {
    const int n = DesignChannel(store, image, 0);
    benchmark::DoNotOptimize(EvaluateResponse(grid, store.First(n), 97));
  }
}
BENCHMARK(DesignAndEvaluateFullRange);

void DesignAndEvaluateSubwoofer(benchmark::State& state) {
  const ParameterImage image = BusyImage();
  SectionStore store;
  const ResponseGrid grid;
  for (auto _ : state) {
    const int n = DesignChannel(store, image, kSubwooferChannel);
    benchmark::DoNotOptimize(EvaluateResponse(grid, store.First(n), 47));
  }
}
BENCHMARK(DesignAndEvaluateSubwoofer);

// Background, design, evaluation and the lime polyline into a 634 x 195 image.
void PaintWholeGraph(benchmark::State& state) {
  const ParameterImage image = BusyImage();
  const EqualizerGraphPainter painter;
  SectionStore store;
  QImage target(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    DesignChannel(store, image, 0);
    QPainter p(&target);
    painter.DrawEqualizerGraph(p, store, 0);
    p.end();
    benchmark::DoNotOptimize(target.constBits());
  }
}
BENCHMARK(PaintWholeGraph);

// The two halves of a paint: the background picture alone, and the curve alone.
void PaintBackgroundOnly(benchmark::State& state) {
  const EqualizerGraphPainter painter;
  QImage target(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter p(&target);
    painter.DrawBackground(p);
    p.end();
    benchmark::DoNotOptimize(target.constBits());
  }
}
BENCHMARK(PaintBackgroundOnly);

void PaintCurveOnly(benchmark::State& state) {
  const ParameterImage image = BusyImage();
  SectionStore store;
  DesignChannel(store, image, 0);
  const ResponseCurve curve = EvaluateResponse(ResponseGrid(), store.First(29), 97);
  QImage target(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter p(&target);
    EqualizerGraphPainter::DrawCurve(p, curve);
    p.end();
    benchmark::DoNotOptimize(target.constBits());
  }
}
BENCHMARK(PaintCurveOnly);

}  // namespace
}  // namespace mzr

int main(int argc, char** argv) {
  // Painting needs no window, only the platform for the raster engine's fonts and colours.
  qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
  // The application exists as it does in the program: its start-up leaves the upper AVX
  // state dirty, which the engine's entry points must cope with.
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
