#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <random>
#include <vector>

#include "dsp/FilterDesign.h"
#include "ui/equalizer/graph/EqualizerGraphPainter.h"
#include "ui/equalizer/graph/GraphFrame.h"
#include "ui/equalizer/graph/ResponseGraphWidget.h"

namespace mzr {
namespace {

constexpr QRgb kGrey = qRgb(128, 128, 128);
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kLime = qRgb(0, 255, 0);

class EqualizerGraph : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "graph_tests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) s_app = new QApplication(argc, argv);
  }
  static QApplication* s_app;
  EqualizerGraphPainter m_painter;
};
QApplication* EqualizerGraph::s_app = nullptr;

QRgb Pixel(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }

TEST_F(EqualizerGraph, BackgroundIsFramedAndRuledInGrey) {
  const QImage bg = EqualizerGraphPainter::MakeBackground();
  ASSERT_EQ(bg.size(), QSize(635, 195));
  const std::vector<int> dotted = {25, 49, 73, 121, 145, 169};
  for (int y = 0; y < bg.height(); ++y) {
    for (int x = 0; x < bg.width(); ++x) {
      const bool frameRow = (y == 1 || y == 193) && x >= 1 && x <= 633;
      const bool frameColumn = (x == 1 || x == 2 || x == 632 || x == 633) && y >= 1 && y <= 193;
      const bool inside = x >= 3 && x <= 631;
      const bool zeroLine = y == 97 && inside;
      const bool dot = std::find(dotted.begin(), dotted.end(), y) != dotted.end() && inside &&
                       x % 2 == 0;
      const QRgb expected = frameRow || frameColumn || zeroLine || dot ? kGrey : kBlack;
      ASSERT_EQ(Pixel(bg, x, y), expected) << "pixel " << x << ", " << y;
    }
  }
}

TEST_F(EqualizerGraph, FlatCurvesLieOnRow97AndOnRow47OnTheSubwooferTab) {
  const ParameterImage image;
  for (int ch : {0, 3, 5}) {
    const int zeroRow = ch == 5 ? 47 : 97;
    const QImage graph = m_painter.RenderEqualizerGraph(image, ch);
    ASSERT_EQ(graph.size(), QSize(634, 195));
    for (int x = 6; x < 634; ++x) ASSERT_EQ(Pixel(graph, x, zeroRow), kLime) << "column " << x;
    for (int y = 0; y < graph.height(); ++y) {
      for (int x = 0; x < graph.width(); ++x) {
        if (Pixel(graph, x, y) != kLime) continue;
        ASSERT_TRUE(x >= 5 && std::abs(y - zeroRow) <= 1) << "stray lime at " << x << ", " << y;
      }
    }
    // The picture's own zero line stays visible under the subwoofer's higher curve.
    if (ch == 5) {
      EXPECT_EQ(Pixel(graph, 300, 97), kGrey);
    }
  }
}

// Every plotted point is lime, and every lime pixel belongs to a segment of the polyline.
void ExpectCurveWhereEvaluated(const QImage& graph, const ResponseCurve& curve) {
  int onScreen = 0;
  for (const CurvePoint& p : curve) {
    if (p.column < graph.width() && p.row >= 0 && p.row < graph.height()) {
      ++onScreen;
      ASSERT_EQ(Pixel(graph, p.column, p.row), kLime) << "point at " << p.hz << " Hz";
    }
  }
  EXPECT_GT(onScreen, 100);
  for (int y = 0; y < graph.height(); ++y) {
    for (int x = 0; x < graph.width(); ++x) {
      if (Pixel(graph, x, y) != kLime) continue;
      bool near = false;
      for (std::size_t k = 0; k + 1 < curve.size() && !near; ++k) {
        const CurvePoint& a = curve[k];
        const CurvePoint& b = curve[k + 1];
        near = x >= a.column - 1 && x <= b.column + 1 && y >= std::min(a.row, b.row) - 1 &&
               y <= std::max(a.row, b.row) + 1;
      }
      ASSERT_TRUE(near) << "lime pixel off the curve at " << x << ", " << y;
    }
  }
}

TEST_F(EqualizerGraph, CurveIsPaintedWhereTheEvaluationPutsIt) {
  ParameterImage image;
  image.setGeqGain(1, 14, 60);   // +6 dB at 1 kHz
  image.setGeqGain(1, 3, -45);
  image.setToneControl(1, {-30, 3, 40, 7});
  image.setSubPeq(0, {40, 30, 2});
  image.setSubPeq(1, {100, -60, 6});
  image.setSubLpfSlope(4);
  image.setSubLpfFreq(8);
  for (int ch : {1, 5}) {
    SCOPED_TRACE(ch);
    SectionStore store;
    const int n = DesignChannel(store, image, ch);
    const ResponseCurve curve = EvaluateResponse(m_painter.grid(), store.First(n), ZeroLineRow(ch));
    const QImage graph = m_painter.RenderEqualizerGraph(image, ch);
    ExpectCurveWhereEvaluated(graph, curve);
    if (ch == 1) {
      // The +6 dB band rises 57.6 rows above the zero line near 1 kHz.
      const auto top = std::min_element(curve.begin(), curve.end(),
                                        [](const auto& a, const auto& b) { return a.row < b.row; });
      EXPECT_NEAR(top->hz, 1000.0, 60.0);
      EXPECT_NEAR(top->row, 97 - 57.6, 2.0);
    } else {
      // The steep part of the low-pass runs off the bottom of the box.
      EXPECT_GT(curve.back().row, 195);
    }
  }
}

TEST_F(EqualizerGraph, FastEvaluationPaintsTheSamePixelsAsThePlainOne) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> gain(-60, 60);
  std::uniform_int_distribution<int> corner(0, 9);
  for (int trial = 0; trial < 40; ++trial) {
    ParameterImage image;
    const int ch = trial % 6;
    if (ch < 5) {
      for (int band = 0; band < kGeqBands; ++band) {
        image.setGeqGain(ch, band, static_cast<std::int8_t>(gain(rng)));
      }
      image.setToneControl(ch, {static_cast<std::int8_t>(gain(rng)),
                                static_cast<std::uint8_t>(corner(rng)),
                                static_cast<std::int8_t>(gain(rng)),
                                static_cast<std::uint8_t>(corner(rng))});
    } else {
      image.setSubPeq(0, {static_cast<std::uint16_t>(20 + 5 * corner(rng)),
                          static_cast<std::int8_t>(gain(rng) / 2), 4});
      image.setSubLpfSlope(static_cast<std::uint8_t>(trial % 5));
      image.setSubLpfFreq(static_cast<std::uint8_t>(corner(rng)));
    }
    SectionStore store;
    const int n = DesignChannel(store, image, ch);
    QImage fast = m_painter.background().copy(0, 0, 634, 195);
    QImage plain = fast;
    {
      QPainter painter(&fast);
      m_painter.EvaluateCurve(painter, store, n, ZeroLineRow(ch));
    }
    {
      QPainter painter(&plain);
      EqualizerGraphPainter::DrawCurve(painter,
                                       EvaluateResponsePlain(store.First(n), ZeroLineRow(ch)));
    }
    ASSERT_EQ(fast, plain) << "trial " << trial;
  }
}

TEST_F(EqualizerGraph, WidgetShowsTheChannelItWasGiven) {
  ParameterImage image;
  image.setGeqGain(2, 20, -60);
  image.setToneControl(2, {0, 5, 0, 5});
  const ParameterImage before = image;

  ResponseGraphWidget widget;
  EXPECT_EQ(widget.size(), QSize(634, 195));
  widget.ShowChannel(image, 2);
  ASSERT_TRUE(widget.curve().has_value());
  EXPECT_EQ(widget.channel(), 2);
  const QImage shown = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(shown, m_painter.RenderEqualizerGraph(image, 2));
  ExpectCurveWhereEvaluated(shown, *widget.curve());
  EXPECT_EQ(image, before) << "a zero shelf gain stays 0 in the image";

  widget.ShowChannel(image, 6);  // the monitor tab: background only
  EXPECT_FALSE(widget.curve().has_value());
  EXPECT_EQ(widget.grab().toImage().convertToFormat(QImage::Format_RGB32),
            m_painter.background().copy(0, 0, 634, 195));
}

// The kept picture repaints only the columns where the curve moved; after any run of edits
// it must be the very picture a full drawing gives. Random single-section edits on both
// kinds of channel, small steps and big jumps, a steep low-pass running off the box, and
// switches between tabs with different zero lines.
TEST_F(EqualizerGraph, StripRepaintsGiveTheSamePictureAsAFullDrawing) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> gain(-60, 60);
  std::uniform_int_distribution<int> step(-3, 3);
  std::uniform_int_distribution<int> band(0, kGeqBands - 1);
  std::uniform_int_distribution<int> corner(0, 9);
  std::uniform_int_distribution<int> coin(0, 3);
  ParameterImage image;
  GraphFrame frame;
  SectionStore store;
  int channel = 0;
  int strips = 0;
  for (int edit = 0; edit < 600; ++edit) {
    if (edit % 150 == 0) channel = (edit / 150) % 2 == 0 ? edit / 150 : 5;  // 0, 5, 2, 5
    if (channel < 5) {
      const int b = band(rng);
      const int g = coin(rng) == 0 ? gain(rng) : std::clamp(image.geqGain(channel, b) + step(rng), -60, 60);
      image.setGeqGain(channel, b, static_cast<std::int8_t>(g));
      if (coin(rng) == 0) {
        image.setToneControl(channel, {static_cast<std::int8_t>(gain(rng)), static_cast<std::uint8_t>(corner(rng)),
                                       static_cast<std::int8_t>(gain(rng)), static_cast<std::uint8_t>(corner(rng))});
      }
    } else {
      const int k = coin(rng) % 2;
      SubPeq peq = image.subPeq(k);
      peq.freq = static_cast<std::uint16_t>(20 + 10 * corner(rng));
      peq.gain = static_cast<std::int8_t>(std::clamp(peq.gain + 10 * step(rng), -120, 30));
      peq.qIndex = static_cast<std::uint8_t>(4 * corner(rng) % 39);
      image.setSubPeq(k, peq);
      if (coin(rng) == 0) image.setSubLpfSlope(static_cast<std::uint8_t>(corner(rng) % 5));
      image.setSubLpfFreq(static_cast<std::uint8_t>(corner(rng)));
    }
    const int n = DesignChannel(store, image, channel);
    const QRect changed = frame.Show(EvaluateResponse(m_painter.grid(), store.First(n), ZeroLineRow(channel)));
    if (!changed.isEmpty() && changed.width() < kGraphWidth) ++strips;
    ASSERT_EQ(frame.image(), m_painter.RenderEqualizerGraph(image, channel)) << "edit " << edit << " on channel " << channel;
  }
  EXPECT_GT(strips, 300) << "most edits repaint a strip, not the whole picture";
  EXPECT_EQ(frame.Show(std::nullopt), QRect(0, 0, kGraphWidth, kGraphHeight));
  EXPECT_EQ(frame.image(), m_painter.background().copy(0, 0, kGraphWidth, kGraphHeight));
  EXPECT_TRUE(frame.Show(std::nullopt).isEmpty());
}

}  // namespace
}  // namespace mzr
