// Measurement files as installers bring them, the grid, the power average and the targets.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "align/AlignmentTarget.h"
#include "align/MeasurementAverage.h"
#include "align/MeasurementFile.h"
#include "dsp/FilterDesign.h"
#include "model/ValueFormat.h"

namespace mzr {
namespace {

// The level every fixture was written from.
double FixtureLevel(double hz) { return 80.0 + 3.0 * std::sin(std::log2(hz)); }

std::filesystem::path Fixture(const std::string& name) { return std::filesystem::path(MZR_ALIGN_FIXTURES) / name; }

class TempFile final {
 public:
  explicit TempFile(const std::string& content) {
    m_path = std::filesystem::temp_directory_path() /
             ("mzr-align-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
              std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".txt");
    std::ofstream(m_path, std::ios::binary) << content;
  }
  ~TempFile() { std::filesystem::remove(m_path); }
  const std::filesystem::path& path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

TEST(MeasurementFile, ReadsTheFormatsInstallersBring) {
  struct Case {
    const char* file;
    std::size_t points;
    double firstHz;
    double lastHz;
    double levelTolerance;  // the analyser table is typed to 0.1 dB
  };
  const Case cases[] = {
      {"text-export.txt", 61, 20.0, 20480.0, 0.002},
      {"speaker.frd", 61, 20.0, 20480.0, 0.002},
      {"export.csv", 61, 20.0, 20480.0, 0.002},
      {"decimal-comma.csv", 61, 20.0, 20480.0, 0.002},
      {"analyser-third-octave.txt", 29, 31.5, 20000.0, 0.05},
  };
  const ResponseGrid grid;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const MeasurementResult read = ReadMeasurementFile(Fixture(c.file), c.file);
    ASSERT_TRUE(std::holds_alternative<Measurement>(read)) << std::get<AlignError>(read).Text();
    const Measurement& m = std::get<Measurement>(read);
    ASSERT_EQ(m.hz.size(), c.points);
    EXPECT_NEAR(m.hz.front(), c.firstHz, 1e-3);
    EXPECT_NEAR(m.hz.back(), c.lastHz, 1e-3);
    for (std::size_t i = 0; i < m.hz.size(); ++i) ASSERT_NEAR(m.db[i], FixtureLevel(m.hz[i]), c.levelTolerance);
    // On the grid, between the file's points, linear in log-frequency.
    const GridCurve onGrid = InterpolateOnGrid(m, grid);
    EXPECT_NEAR(CurveAt(onGrid, 1000.0), FixtureLevel(1000.0), c.points > 30 ? 0.05 : 0.3);
    EXPECT_TRUE(std::isnan(onGrid.front())) << "below the file's first point nothing is made up";
  }
}

TEST(MeasurementFile, RefusesBadInputWithTheFileAndTheLine) {
  std::string tenRows;
  for (int i = 0; i < 10; ++i) tenRows += std::to_string(100 * (i + 1)) + " 80\n";
  struct Case {
    const char* what;
    std::string content;
    std::string expected;  // the whole message line, the file being "m.txt"
  };
  const std::vector<Case> cases = {
      {"no numeric rows", "Freq SPL\nthis is not a measurement\n",
       "m.txt:2: not a measurement row (a second row of text after the header on line 1)"},
      {"empty file", "", "m.txt: no numeric rows: not a measurement"},
      {"comments only", "* nothing measured\n", "m.txt: no numeric rows: not a measurement"},
      {"binary file", std::string("\x89PNG\r\n\x1a\n\0\0\0", 11), "m.txt: not a text file"},
      {"fewer than 10 points", "100 80\n200 81\n400 82\n", "m.txt: only 3 points, at least 10 needed"},
      {"frequencies not increasing", "100 80\n200 81\n150 82\n" + tenRows,
       "m.txt:3: frequencies not increasing (150 Hz after 200 Hz)"},
      {"frequency repeated", "100 80\n100 81\n" + tenRows,
       "m.txt:2: frequencies not increasing (100 Hz after 100 Hz)"},
      {"NaN level", "* x\n100 80\n200 nan\n" + tenRows, "m.txt:3: NaN or infinite level"},
      {"infinite level", "100 80\n200 -inf\n" + tenRows, "m.txt:2: NaN or infinite level"},
      {"overflowing level", "100 80\n200 1e999\n" + tenRows, "m.txt:2: NaN or infinite level"},
      {"NaN frequency", "NaN 80\n" + tenRows, "m.txt:1: NaN or infinite frequency"},
      {"zero frequency", "0 80\n" + tenRows, "m.txt:1: frequency must be above 0 Hz"},
      {"level missing", "Hz dB\n100\n" + tenRows, "m.txt:2: a frequency without a level"},
      {"level not a number", "100 loud\n" + tenRows, "m.txt:1: level is not a number: 'loud'"},
      {"text after the numbers", "100 80\nend of data\n", "m.txt:2: not a number: 'end'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const MeasurementResult parsed = ParseMeasurement(c.content, "m.txt");
    ASSERT_TRUE(std::holds_alternative<AlignError>(parsed));
    EXPECT_EQ(std::get<AlignError>(parsed).Text(), c.expected);
  }
  // The same through a real file, and a file that cannot be read at all.
  const TempFile file("100 80\n200 81\n150 82\n" + tenRows);
  const MeasurementResult fromDisk = ReadMeasurementFile(file.path(), "seat 3.txt");
  ASSERT_TRUE(std::holds_alternative<AlignError>(fromDisk));
  EXPECT_EQ(std::get<AlignError>(fromDisk).Text().substr(0, 13), "seat 3.txt:3:");
  for (const auto& unreadable : {std::filesystem::path("/nonexistent/seat.txt"), std::filesystem::temp_directory_path()}) {
    const MeasurementResult r = ReadMeasurementFile(unreadable, "seat.txt");
    ASSERT_TRUE(std::holds_alternative<AlignError>(r));
    EXPECT_EQ(std::get<AlignError>(r).Text(), "seat.txt: cannot read this file");
  }
}

Measurement Flat(const std::string& name, double fromHz, double toHz, double db) {
  Measurement m;
  m.name = name;
  for (double hz = fromHz; hz < toHz / 1.001; hz *= std::pow(2.0, 1.0 / 6.0)) {
    m.hz.push_back(hz);
    m.db.push_back(db);
  }
  m.hz.push_back(toHz);
  m.db.push_back(db);
  return m;
}

TEST(MeasurementAverage, PositionsArePowerAveragedOnTheGrid) {
  const ResponseGrid grid;
  const GridCurve a = InterpolateOnGrid(Flat("a", 10.0, 30000.0, 80.0), grid);
  const GridCurve b = InterpolateOnGrid(Flat("b", 10.0, 30000.0, 90.0), grid);
  const GridCurve avg = PowerAverage(std::vector<GridCurve>{a, b});
  // 10 log10((10^8 + 10^9) / 2) = 87.404, not the 85 of a plain mean of decibels.
  for (double v : avg) ASSERT_NEAR(v, 87.40362689, 1e-6);

  // Linear in log-frequency between two points: the geometric middle takes the mean.
  Measurement two = Flat("two", 100.0, 100.0 * std::pow(2.0, 0.5), 0.0);
  for (std::size_t i = 0; i < two.db.size(); ++i) two.db[i] = 6.0 * static_cast<double>(i);
  const GridCurve slope = InterpolateOnGrid(two, grid);
  EXPECT_NEAR(CurveAt(slope, 100.0 * std::pow(2.0, 1.0 / 12.0)), 3.0, 0.02);

  // A position that does not reach a point leaves the average empty there.
  const GridCurve narrow = InterpolateOnGrid(Flat("narrow", 100.0, 10000.0, 85.0), grid);
  const GridCurve mixed = PowerAverage(std::vector<GridCurve>{a, narrow});
  EXPECT_TRUE(std::isnan(CurveAt(mixed, 50.0)));
  EXPECT_NEAR(CurveAt(mixed, 1000.0), 10.0 * std::log10((1e8 + std::pow(10.0, 8.5)) / 2.0), 1e-9);
}

TEST(MeasurementAverage, AMeasurementMustCoverTheFitRange) {
  const Measurement narrow = Flat("seat 2.txt", 63.0, 10000.0, 80.0);
  const auto error = CheckCoverage(narrow, 40.0, 16000.0);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->Text(), "seat 2.txt: covers 63 Hz to 10000 Hz, not the fit range 40 Hz to 16000 Hz");
  EXPECT_FALSE(CheckCoverage(narrow, 63.0, 8000.0));
  // Nominal band centres count for the exact ones: a typed table ending on 16k covers 16 kHz.
  EXPECT_FALSE(CheckCoverage(Flat("t", 40.0, 15849.0, 80.0), 40.0, 16000.0));
}

TEST(AlignmentTarget, CurvesAndTheirToleranceBand) {
  struct Case {
    TargetKind kind;
    double hz;
    double db;
  };
  const Case cases[] = {
      {TargetKind::xCurve, 100.0, 0.0},     {TargetKind::xCurve, 2000.0, 0.0},
      {TargetKind::xCurve, 4000.0, -3.0},   {TargetKind::xCurve, 8000.0, -6.0},
      {TargetKind::xCurve, 16000.0, -11.034215715337913},  {TargetKind::smallRoom, 1000.0, 0.0},
      {TargetKind::smallRoom, 4000.0, -1.5}, {TargetKind::smallRoom, 16000.0, -4.5},
      {TargetKind::flat, 16000.0, 0.0},
  };
  for (const Case& c : cases) EXPECT_NEAR(BuiltInTargetDb(c.kind, c.hz), c.db, 1e-12) << c.hz;
  const ResponseGrid grid;
  const AlignmentTarget x = BuiltInTarget(*BuiltInTargetNamed("x-curve"), grid);
  EXPECT_NEAR(CurveAt(x.db, 8000.0), -6.0, 0.01);
  EXPECT_FALSE(BuiltInTargetNamed("X-Curve")) << "any other name is a file";

  EXPECT_FALSE(ToleranceAt(30.0));
  EXPECT_FALSE(ToleranceAt(17000.0));
  EXPECT_DOUBLE_EQ(ToleranceAt(1000.0)->upper, 1.0);
  EXPECT_DOUBLE_EQ(ToleranceAt(40.0)->lower, -3.0);
  EXPECT_NEAR(ToleranceAt(std::sqrt(63.0 * 400.0))->upper, 2.0, 1e-9);

  // A target file: read like a measurement, refused when it does not cover the fit range.
  const auto file = TargetFromMeasurement(Flat("house.txt", 20.0, 20000.0, -1.0), grid, 40.0, 16000.0);
  ASSERT_TRUE(std::holds_alternative<AlignmentTarget>(file));
  EXPECT_NEAR(CurveAt(std::get<AlignmentTarget>(file).db, 500.0), -1.0, 1e-12);
  EXPECT_TRUE(std::holds_alternative<AlignError>(
      TargetFromMeasurement(Flat("house.txt", 100.0, 20000.0, -1.0), grid, 40.0, 16000.0)));
}

TEST(ContinuousDesign, IsTheStoredDesignAtEveryStoredStep) {
  for (int tenths = -120; tenths <= 60; ++tenths) {
    for (int band : {0, 13, 26}) {
      const double hz = kGeqBandHz[static_cast<std::size_t>(band)];
      ASSERT_EQ(DesignPeakContinuous(hz, kGraphicBandQ, tenths), DesignPeak(hz, kGraphicBandQ, tenths));
    }
    for (int q : {0, 17, 38}) {
      ASSERT_EQ(DesignPeakContinuous(47.0, (25.0 * q + 50.0) / 100.0, tenths), DesignPeak(47.0, SubPeqQ(q), tenths));
    }
    ASSERT_EQ(DesignBassShelfContinuous(125.0, tenths), DesignBassShelf(125.0, tenths));
    ASSERT_EQ(DesignTrebleShelfContinuous(5000.0, tenths), DesignTrebleShelf(5000.0, tenths));
  }
}

}  // namespace
}  // namespace mzr
