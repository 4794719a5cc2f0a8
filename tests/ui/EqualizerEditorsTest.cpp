// The equalizer page's editors in the real main window (offscreen), connected through a
// real search and connect to the in-process unit on loopback (tests/support LoopbackUnit at
// 127.0.0.2, a free port). Each edit is checked in the image, on screen and in the frames
// the unit heard, and again while disconnected, when nothing may go out. A store command
// sent after each edit marks where the edit's frames end.

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTest>

#include <algorithm>
#include <functional>
#include <vector>

#include "dsp/FilterDesign.h"
#include "files/ProjectFile.h"
#include "link/DeviceCommands.h"
#include "model/ValueFormat.h"
#include "link/ParamLink.h"
#include "support/WindowFixture.h"
#include "ui/equalizer/EqualizerPage.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/Skin.h"
#include "ui/equalizer/graph/ResponseGraphWidget.h"

using namespace mzr;
using mzr::test::LoopbackUnit;
using mzr::test::U;
using mzr::test::WindowFixture;

namespace {

constexpr int kMarkerAddress = 3000;  // the store command: harmless, and easy to spot in the log

struct Frame {
  int address;
  int count;
};

struct ShownText {
  const char* control;
  const char* text;
};

// One edit: the tab it is made on, the image it starts from (after New Project), what the
// user does, the image bytes it must leave, the writes the unit must hear (their data are
// the image's bytes at that span) and the texts on screen.
struct EditCase {
  const char* name;
  int tab;
  std::function<void(ParameterImage&)> prepare;
  std::function<void(MainWindow&)> act;
  std::vector<std::pair<int, std::vector<std::uint8_t>>> bytes;
  std::vector<Frame> frames;
  std::vector<ShownText> texts;
  std::function<void(MainWindow&)> extra;
};

template <typename T>
T* Control(MainWindow& window, const char* name) {
  T* control = window.findChild<T*>(U(name));
  if (control == nullptr) qFatal("control %s missing", name);
  return control;
}

void ToTop(MainWindow& w, const char* bar) {
  Control<QSlider>(w, bar)->triggerAction(QAbstractSlider::SliderToMinimum);
}
void ToBottom(MainWindow& w, const char* bar) {
  Control<QSlider>(w, bar)->triggerAction(QAbstractSlider::SliderToMaximum);
}
void MoveTo(MainWindow& w, const char* bar, int position) {
  QSlider* slider = Control<QSlider>(w, bar);
  slider->setSliderPosition(position);  // as a drag ends there
}
// A click where the user aims: on a switch's mark (its row may be wider than its caption).
void Click(MainWindow& w, const char* button) {
  QAbstractButton* b = Control<QAbstractButton>(w, button);
  const bool mark = qobject_cast<QCheckBox*>(b) != nullptr || qobject_cast<QRadioButton*>(b) != nullptr;
  QTest::mouseClick(b, Qt::LeftButton, {}, mark ? QPoint(7, b->height() / 2) : b->rect().center());
}

std::vector<std::uint8_t> Bytes(const ParameterImage& image, int address, int count) {
  const auto span = *image.Bytes(static_cast<std::size_t>(address), static_cast<std::size_t>(count));
  return {span.begin(), span.end()};
}

QString Hex(const std::vector<std::uint8_t>& bytes) {
  return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())).toHex());
}

const ResponseCurve& CurveOf(MainWindow& w) {
  const auto& curve = w.equalizerPage()->graph()->curve();
  if (!curve) qFatal("no curve on show");
  return *curve;
}

const std::vector<EditCase>& Cases() {
  static const std::vector<EditCase> cases = {
      {"band 14 of the left channel to the top", 0, [](ParameterImage&) {},
       [](MainWindow& w) { ToTop(w, "TrackBar18"); },
       {{266, {60}}}, {{266, 1}}, {{"Edit18", "6.0dB"}},
       [](MainWindow& w) {
         const ResponseCurve& curve = CurveOf(w);
         const auto top = std::min_element(curve.begin(), curve.end(), [](auto& a, auto& b) { return a.row < b.row; });
         QVERIFY2(top->hz > 900 && top->hz < 1100, "the peak is near 1 kHz");
         QVERIFY2(top->row < 97 - 50, "the curve rises about 57 rows there");
       }},
      {"bass gain of the right channel", 2, [](ParameterImage& i) { i.setToneControl(2, {0, 4, 0, 6}); },
       [](MainWindow& w) { MoveTo(w, "TrackBar2", 30); },
       {{232, {30, 4}}}, {{232, 2}}, {{"Edit1", "3.0dB"}, {"Edit3", "160Hz"}}, nullptr},
      {"treble gain of the center channel", 1, [](ParameterImage& i) { i.setToneControl(1, {0, 4, 0, 6}); },
       [](MainWindow& w) { MoveTo(w, "TrackBar1", 90); },
       {{230, {0xE2, 6}}}, {{230, 2}}, {{"Edit2", "-3.0dB"}, {"Edit31", "4KHz"}}, nullptr},
      {"bass turnover of the left channel", 0, [](ParameterImage& i) { i.setToneControl(0, {-20, 4, 10, 6}); },
       [](MainWindow& w) { MoveTo(w, "TrackBar3", 8); },
       {{224, {0xEC, 8, 10, 6}}}, {{224, 2}}, {{"Edit3", "400Hz"}, {"Edit1", "-2.0dB"}}, nullptr},
      {"treble turnover of the right surround", 4, [](ParameterImage& i) { i.setToneControl(4, {0, 4, 25, 6}); },
       [](MainWindow& w) { ToBottom(w, "TrackBar32"); },
       {{240, {0, 4, 25, 9}}}, {{242, 2}}, {{"Edit31", "8KHz"}, {"Edit2", "2.5dB"}}, nullptr},
      {"subwoofer section 1 gain to the top", 5, [](ParameterImage& i) { i.setSubPeq(1, {300, -20, 3}); },
       [](MainWindow& w) { ToTop(w, "TrackBar35"); },
       {{220, {0x2C, 0x01, 30, 3}}}, {{220, 3}}, {{"Edit35", "3.0dB"}}, nullptr},
      {"subwoofer section 0 frequency", 5, [](ParameterImage& i) { i.setSubPeq(0, {60, -30, 1}); },
       [](MainWindow& w) { MoveTo(w, "TrackBar33", 45); },
       {{216, {45, 0, 0xE2, 1}}}, {{216, 3}}, {{"Edit32", "45Hz"}}, nullptr},
      {"subwoofer section 0 Q", 5, [](ParameterImage& i) { i.setSubPeq(0, {60, -30, 1}); },
       [](MainWindow& w) { MoveTo(w, "TrackBar34", 9); },
       {{216, {60, 0, 0xE2, 9}}}, {{216, 4}}, {{"Edit33", "2.75"}}, nullptr},
      {"low-pass slope 48 dB/oct", 5, [](ParameterImage& i) { i.setSubLpfFreq(3); i.setSubLpfSlope(2); },
       [](MainWindow& w) { Click(w, "suiRadioGroup4Item3"); },
       {{196, {3, 4}}}, {{196, 2}}, {}, nullptr},
      {"low-pass switched off stores slope 0", 5,
       [](ParameterImage& i) {
         i.setSubPeq(0, {60, 0, 1});
         i.setSubPeq(1, {80, 0, 1});
         i.setSubLpfFreq(3);
         i.setSubLpfSlope(3);
       },
       [](MainWindow& w) { Click(w, "suiCheckBox15"); },
       {{196, {3, 0}}}, {{196, 2}}, {},
       [](MainWindow& w) {
         QVERIFY(!Control<QCheckBox>(w, "suiCheckBox15")->isChecked());
         QVERIFY(Control<QRadioButton>(w, "suiRadioGroup4Item2")->isChecked());
         // Two flat sections and no low-pass: the curve lies on the subwoofer's zero line.
         for (const CurvePoint& p : CurveOf(w)) QCOMPARE(p.row, 47);
       }},
      {"TrackBar3 on the subwoofer tab sets the low-pass frequency", 5,
       [](ParameterImage& i) { i.setSubLpfFreq(6); i.setSubLpfSlope(2); i.setToneControl(0, {0, 9, 0, 6}); },
       [](MainWindow& w) { MoveTo(w, "TrackBar3", 2); },
       {{196, {2, 2}}, {224, {0, 9}}}, {{196, 2}}, {{"Edit3", "100Hz"}}, nullptr},
      {"LR->SW", 5, [](ParameterImage& i) { i.setMasterFlags(0x02); },
       [](MainWindow& w) { Click(w, "suiCheckBox29"); },
       {{835, {0x00}}}, {{835, 1}}, {}, nullptr},
      {"monitor bar of the right channel to the top", 6, [](ParameterImage& i) { i.setMonitorLevel(2, 40); },
       [](MainWindow& w) { ToTop(w, "suiTrackBar17"); },
       {{491, {70}}}, {{489, 12}}, {{"StaticText123", "0dB"}}, nullptr},
      {"monitor bar of the left channel to the bottom", 6, [](ParameterImage& i) { i.setMonitorLevel(0, 40); },
       [](MainWindow& w) { ToBottom(w, "suiTrackBar15"); },
       {{489, {0}}}, {{489, 12}}, {{"StaticText121", "-70dB"}}, nullptr},
      {"Flat on the left surround moves only what is not flat", 3,
       [](ParameterImage& i) {
         i.setGeqGain(3, 5, 20);
         i.setGeqGain(3, 26, -60);
         i.setToneControl(3, {15, 2, 0, 7});
         i.setSubLpfFreq(4);
         i.setSubLpfSlope(3);
       },
       [](MainWindow& w) { Click(w, "suiButton22"); },
       {{341, {0}}, {362, {0}}, {236, {0, 2, 0, 7}}, {196, {4, 3}}},
       {{341, 1}, {362, 1}, {236, 2}}, {{"Edit9", "0.0dB"}, {"Edit30", "0.0dB"}, {"Edit1", "0.0dB"}}, nullptr},
      {"Flat on the subwoofer resets the gains only", 5,
       [](ParameterImage& i) {
         i.setSubPeq(0, {50, -50, 7});
         i.setSubPeq(1, {90, 0, 12});
         i.setSubLpfFreq(5);
         i.setSubLpfSlope(1);
       },
       [](MainWindow& w) { Click(w, "suiButton22"); },
       {{216, {50, 0, 0, 7, 90, 0, 0, 12}}, {196, {5, 1}}}, {{216, 3}}, {{"Edit34", "0.0dB"}}, nullptr},
  };
  return cases;
}

}  // namespace

class EqualizerEditorsTest final : public QObject {
  Q_OBJECT

 private:
  WindowFixture m_f{600};

  MainWindow& window() { return m_f.window(); }
  EqualizerPage& page() { return *m_f.window().equalizerPage(); }
  QAction* Item(const char* name) { return m_f.Item(name); }
  LoopbackUnit& unit() { return m_f.unit(); }
  void Connect() { m_f.SearchAndConnect(); }

  void Disconnect() {
    Item("N18")->trigger();
    QCOMPARE(window().state().connected, 0);
  }

  // New Project, the case's image, its tab shown and refreshed (which sends nothing).
  void Prepare(const EditCase& c) {
    window().NewProject();
    c.prepare(window().image());
    page().setCurrentIndex(c.tab);
    page().OnChannelTabChanged(c.tab);
    QCOMPARE(window().state().refreshing, 0);
  }

  // The frames the unit heard since `skip` log lines, up to a store command sent now.
  QList<LoopbackUnit::Frame> FramesUntilMarker(qsizetype skip) {
    const std::uint8_t two = 2;
    window().link().SendWrite(kMarkerAddress, 1, std::span<const std::uint8_t>(&two, 1));
    QList<LoopbackUnit::Frame> heard;
    const bool marked = QTest::qWaitFor(
        [&] {
          heard = unit().frames().mid(skip);
          return !heard.isEmpty() && heard.back().address == kMarkerAddress;
        },
        20000);
    if (!marked) qWarning("the store command never reached the unit");
    if (marked) heard.removeLast();
    return heard;
  }

  void CheckOutcome(const EditCase& c) {
    const QByteArray name = c.name;
    for (const auto& [address, expected] : c.bytes) {
      QCOMPARE(Hex(Bytes(window().image(), address, static_cast<int>(expected.size()))), Hex(expected));
    }
    for (const ShownText& t : c.texts) {
      QVERIFY2(Control<QLabel>(window(), t.control)->text() == U(t.text), name + ": " + t.control);
    }
    if (c.extra) c.extra(window());
  }

  void RunCases(bool connected) {
    for (const EditCase& c : Cases()) {
      Prepare(c);
      if (QTest::currentTestFailed()) return;
      const qsizetype before = unit().frames().size();
      c.act(window());
      CheckOutcome(c);
      if (QTest::currentTestFailed()) {
        qWarning("case: %s", c.name);
        return;
      }
      const QList<LoopbackUnit::Frame> heard = FramesUntilMarker(before);
      const std::vector<Frame> expected = connected ? c.frames : std::vector<Frame>{};
      QVERIFY2(heard.size() == static_cast<qsizetype>(expected.size()),
               qPrintable(QStringLiteral("%1: %2 frames heard").arg(U(c.name)).arg(heard.size())));
      for (std::size_t k = 0; k < expected.size(); ++k) {
        const LoopbackUnit::Frame& f = heard[static_cast<qsizetype>(k)];
        QCOMPARE(f.command, 6);
        QCOMPARE(f.address, expected[k].address);
        QCOMPARE(f.count, expected[k].count);
        QCOMPARE(QString::fromLatin1(f.data.toHex()), Hex(Bytes(window().image(), expected[k].address, expected[k].count)));
      }
      QCOMPARE(window().state().refreshing, 0);
    }
  }

 private slots:
  // One window and one unit for the whole class: each test starts from New Project.
  void initTestCase() {
    Skin::Apply(*qApp);
    m_f.StartUnit();
    m_f.MakeWindow();
  }

  void cleanupTestCase() { m_f.Reset(); }

  void editsWhileConnectedStoreShowAndSend() {
    Connect();
    RunCases(true);
  }

  void editsWhileDisconnectedStoreAndShowOnly() {
    if (window().state().connected == 0) Connect();
    Disconnect();
    RunCases(false);
  }

  // A zero shelf gain is designed flat and stays 0 in the image: a refresh shows 0.0dB with
  // the bar in the middle, and Flat has nothing to send for it.
  void aZeroShelfStaysZero() {
    window().NewProject();
    window().image().setToneControl(1, {0, 3, 0, 5});
    page().setCurrentIndex(1);
    page().OnChannelTabChanged(1);
    page().OnChannelTabChanged(1);
    QCOMPARE(window().image().toneControl(1).bassGain, 0);
    QCOMPARE(Control<QLabel>(window(), "Edit1")->text(), U("0.0dB"));
    QCOMPARE(Control<QSlider>(window(), "TrackBar2")->value(), 60);
    for (const CurvePoint& p : CurveOf(window())) QCOMPARE(p.row, 97);
  }

  // Anything that repaints the graph runs the tab change: the visible tab follows the image,
  // and while connected a repaint, a tab change and opening a file send nothing.
  void repaintsTabChangesAndOpeningSendNothing() {
    if (window().state().connected == 0) Connect();
    window().NewProject();
    page().setCurrentIndex(0);
    const qsizetype before = unit().frames().size();

    // Another editor changes the image behind the page; the next paint shows it.
    window().image().setGeqGain(0, 3, -42);
    window().image().setToneControl(0, {25, 1, -5, 2});
    ResponseGraphWidget* graph = page().graph();
    graph->repaint();
    QCOMPARE(Control<QSlider>(window(), "TrackBar7")->value(), 102);
    QCOMPARE(Control<QLabel>(window(), "Edit7")->text(), U("-4.2dB"));
    QCOMPARE(Control<QLabel>(window(), "Edit2")->text(), U("-0.5dB"));
    QCOMPARE(graph->picture(), graph->grab().toImage().convertToFormat(QImage::Format_RGB32));
    QCOMPARE(window().state().refreshing, 0);

    for (int tab : {5, 6, 2, 5, 0}) {
      page().setCurrentIndex(tab);
      QCOMPARE(window().state().selectedChannel, tab);
      graph->repaint();
    }

    ParameterImage shaped;
    shaped.ApplyNewProjectDefaults();
    shaped.setGeqGain(0, 10, 55);
    shaped.setSubPeq(1, {70, -90, 6});
    shaped.setMonitorLevel(4, 12);
    const QString path = m_f.Path(QStringLiteral("shaped.kvdat"));
    QCOMPARE(SaveProjectFile(path.toStdString(), shaped), FileResult::Ok);
    window().files().setPathProvider({[path] { return path; }, [] { return QString(); }});
    Item("N3")->trigger();
    QCOMPARE(Control<QLabel>(window(), "Edit14")->text(), U("5.5dB"));
    graph->repaint();

    QVERIFY2(FramesUntilMarker(before).isEmpty(), "nothing but the marker reached the unit");
  }

  void accessibleNamesFollowTheLanguage() {
    window().OnChineseChosen();
    QCOMPARE(Control<QSlider>(window(), "TrackBar18")->accessibleName(), U("频段 1KHz"));
    QCOMPARE(Control<QLabel>(window(), "Edit18")->accessibleName(), U("频段 1KHz dB"));
    QCOMPARE(Control<QCheckBox>(window(), "suiCheckBox14")->text(), U("粉红噪声"));
    QCOMPARE(Control<QCheckBox>(window(), "suiCheckBox15")->text(), U("低通滤波"));
    window().OnEnglishChosen();
    const char* const named[] = {"TrackBar4", "Edit30", "TrackBar1", "TrackBar2", "TrackBar3", "TrackBar32",
                                 "Edit1", "Edit2", "Edit3", "Edit31", "TrackBar31", "TrackBar35", "TrackBar33",
                                 "TrackBar37", "TrackBar34", "TrackBar36", "Edit32", "Edit33", "Edit34", "Edit35",
                                 "Edit36", "Edit37", "suiTrackBar15", "suiTrackBar20", "StaticText121",
                                 "StaticText126", "PaintBox1"};
    for (const char* name : named) {
      const QString accessible = Control<QWidget>(window(), name)->accessibleName();
      QVERIFY2(!accessible.isEmpty() && accessible.toLatin1() == accessible.toUtf8(), name);
    }
    QCOMPARE(Control<QSlider>(window(), "TrackBar18")->accessibleName(), U("Band 1KHz"));
    QCOMPARE(Control<QLabel>(window(), "Edit4")->accessibleName(), U("Band 40Hz dB"));
    QCOMPARE(Control<QSlider>(window(), "suiTrackBar17")->accessibleName(), U("Monitor Right"));
    QCOMPARE(Control<QCheckBox>(window(), "suiCheckBox14")->text(), U("Pink Noise"));
    QCOMPARE(Control<QPushButton>(window(), "suiButton22")->text(), U("Flat"));
    QCOMPARE(Control<QLabel>(window(), "StaticText31")->text(), U("Bass Freq"));
    QCOMPARE(Control<QCheckBox>(window(), "suiCheckBox15")->text(), U("LPF"));
    window().OnChineseChosen();
  }

  // The subwoofer tab relabels the graph and keeps only the low-pass frequency bar of the
  // shelves; the monitor tab covers the page.
  void tabsShowTheirOwnControls() {
    window().NewProject();
    page().setCurrentIndex(5);
    QCOMPARE(Control<QLabel>(window(), "StaticText92")->text(), U("+5"));
    QCOMPARE(Control<QLabel>(window(), "StaticText26")->text(), U("-15"));
    QVERIFY(Control<QWidget>(window(), "Panel1")->isVisible());
    QVERIFY(Control<QWidget>(window(), "TrackBar3")->isVisible());
    for (const char* hidden : {"TrackBar1", "TrackBar2", "TrackBar32", "Edit1", "Edit2", "Edit31", "StaticText32"}) {
      QVERIFY2(!Control<QWidget>(window(), hidden)->isVisible(), hidden);
    }
    QVERIFY(Control<QWidget>(window(), "suiButton22")->isVisible());
    QVERIFY(Control<QWidget>(window(), "suiCheckBox14")->isVisible());
    page().setCurrentIndex(6);
    QWidget* monitor = Control<QWidget>(window(), "Panel3");
    QVERIFY(monitor->isVisible());
    QCOMPARE(monitor->geometry().adjusted(-1, -1, 1, 1), page().page()->rect());
    page().setCurrentIndex(3);
    QVERIFY(!monitor->isVisible());
    QVERIFY(!Control<QWidget>(window(), "Panel1")->isVisible());
    QCOMPARE(Control<QLabel>(window(), "StaticText96")->text(), U("-10"));
    QVERIFY(Control<QWidget>(window(), "TrackBar32")->isVisible());
  }

  // The test-signal box shows bit ch of the test-signal mask on each tab.
  void theChannelTestBoxFollowsTheTab() {
    window().NewProject();
    window().image().setTestSignalMask(0x24);  // the right channel and the subwoofer
    QCheckBox* box = Control<QCheckBox>(window(), "suiCheckBox14");
    for (int tab : {0, 2, 4, 5, 1}) {
      page().setCurrentIndex(tab);
      QCOMPARE(box->isChecked(), tab == 2 || tab == 5);
    }
  }

  // End to end: drag a band and change a subwoofer Q on a connected unit, then read the
  // unit back: its image is the program's.
  void theUnitEndsWithTheProgramsImage() {
    if (window().state().connected == 0) Connect();
    window().files().setPathProvider({});
    Item("N21")->trigger();  // start from the unit's own image
    QSignalSpy received(&window().link(), &ParamLink::imageReceived);
    QVERIFY(received.wait(5000));

    page().setCurrentIndex(0);
    const int gainBefore = window().image().geqGain(0, 8);
    QSlider* band = Control<QSlider>(window(), "TrackBar12");
    band->setFocus();
    for (int i = 0; i < 7; ++i) QTest::keyClick(band, Qt::Key_Up);  // up the bar: more gain
    QCOMPARE(window().image().geqGain(0, 8), gainBefore + 7);
    page().setCurrentIndex(5);
    const int qBefore = window().image().subPeq(1).qIndex;
    QSlider* q = Control<QSlider>(window(), "TrackBar36");
    q->setFocus();
    for (int i = 0; i < 3; ++i) QTest::keyClick(q, Qt::Key_Right);
    const ParameterImage expected = window().image();
    QCOMPARE(int(expected.subPeq(1).qIndex), qBefore + 3);

    Item("N21")->trigger();
    QVERIFY(received.wait(5000));
    QVERIFY(window().image() == expected);
    QCOMPARE(Control<QLabel>(window(), "Edit36")->text(), QString::fromStdString(FormatQ(expected.subPeq(1).qIndex)));
  }
};

QTEST_MAIN(EqualizerEditorsTest)
#include "EqualizerEditorsTest.moc"
