// The output drawer as an installer uses it: the real main window (offscreen) on 127.0.0.1
// and a free port, connected by a real search to a unit played on loopback, either by the
// in-process unit at 127.0.0.2 (tests/support LoopbackUnit, which records every frame it
// receives) or by mzr4700-sim (whose log shows them). Every datagram stays on 127.0.0.0/8.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "files/ProjectFile.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "model/ParameterImage.h"
#include "support/WindowFixture.h"
#include "ui/equalizer/EqualizerPage.h"
#include "ui/window/MainWindow.h"
#include "ui/output/OutputDrawer.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"

using namespace mzr;
using mzr::test::LoopbackUnit;
using mzr::test::SimProcess;
using mzr::test::U;
using mzr::test::WindowFixture;

namespace {

// A frame as the unit receives it.
struct Frame {
  int command;
  int address;
  QByteArray data;
  friend bool operator==(const Frame&, const Frame&) = default;
};

QByteArray Data(std::initializer_list<int> bytes) {
  QByteArray data;
  for (int b : bytes) data.append(static_cast<char>(b));
  return data;
}

Frame Write(int address, std::initializer_list<int> bytes) { return {6, address, Data(bytes)}; }

QByteArray FrameText(const Frame& f) {
  return QStringLiteral("cmd %1 @%2 [%3]")
      .arg(f.command)
      .arg(f.address)
      .arg(QString::fromLatin1(f.data.toHex(' ')))
      .toUtf8();
}

// The unit's image before the window connects: New Project defaults at 127.0.0.2, with a
// delay on the right output so that its bar can move to 0.
ParameterImage UnitImage() {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  image.setOutputDelay(2, 50);
  return image;
}

// The writes the unit heard, each with whether it came by broadcast.
struct Received {
  Frame frame;
  bool broadcast;
};

}  // namespace

namespace QTest {
template <>
char* toString(const Frame& f) {
  return qstrdup(FrameText(f).constData());
}
}  // namespace QTest

class OutputEditorsTest final : public QObject {
  Q_OBJECT

 public:
  // One edit of the table: what the installer does, every image byte it changes (address,
  // new value), the frames the unit receives while connected, and what the drawer shows.
  struct Shown {
    const char* name;
    const char* text;
    int alert;  // 1 red, 0 black, -1 not looked at
  };
  struct EditCase {
    const char* name;
    std::function<void(OutputEditorsTest&)> act;
    std::map<int, int> changed;
    std::vector<Frame> frames;
    std::vector<Shown> shown;
  };

 private:
  WindowFixture m_f{400};

  static const std::vector<EditCase>& Cases();

  void MakeWindow() {
    m_f.MakeWindow();
    m_f.window().outputDrawer()->setPinned(true);
  }
  // The unit at 127.0.0.2 on the window's port, starting from image.
  void StartUnit(const ParameterImage& image) {
    m_f.StartUnit().SetImage(image);
  }
  // The writes the unit heard since the last call.
  QList<Received> TakeWrites() {
    QList<Received> writes;
    for (const LoopbackUnit::Frame& f : LoopbackUnit::Writes(m_f.unit().TakeFrames()))
      writes.append({Frame{f.command, f.address, f.data}, f.broadcast});
    return writes;
  }

  OutputDrawer* drawer() { return m_f.window().outputDrawerContent(); }
  DeviceDiscovery& discovery() { return m_f.discovery(); }
  AppState& state() { return m_f.state(); }
  ParameterImage& image() { return m_f.image(); }

  // Controls of the drawer by name (the theater-profile dialog has StaticText6 too).
  template <typename T>
  T* Control(const char* name) {
    return m_f.Control<T>(name, drawer());
  }
  QCheckBox* ChannelTestBox() { return m_f.window().equalizerPage()->channelTestBox(); }
  QAction* Item(const char* name) { return m_f.Item(name); }
  // Near the left edge, where a check box or radio item has its indicator.
  void Click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
  }
  void Click(const char* name) { Click(Control<QAbstractButton>(name)); }
  void Key(const char* name, Qt::Key key) { QTest::keyClick(Control<QSlider>(name), key); }

  // Communication > Connect, then the listed unit connected with the panel's button.
  void SearchAndConnect() {
    m_f.SearchFromMenu();
    QCOMPARE(discovery().devicesFound(), 1);
    m_f.ConnectListed();
  }

  std::vector<std::uint8_t> Snapshot() {
    const auto all = image().All();
    return {all.begin(), all.end()};
  }

  void RefreshAll() { m_f.RefreshAll(); }

  QList<Frame> UnicastFrames(const QList<Received>& writes) {
    QList<Frame> frames;
    for (const auto& w : writes) {
      [&] { QVERIFY2(!w.broadcast, "an edit went to the broadcast address"); }();
      frames << w.frame;
    }
    return frames;
  }

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }

  void cleanup() { m_f.Reset(); }

  void editsReachTheUnitOnlyWhileConnected_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("connected");
    for (int i = 0; i < static_cast<int>(Cases().size()); ++i) {
      const char* name = Cases()[static_cast<std::size_t>(i)].name;
      QTest::addRow("%s, connected", name) << i << true;
      QTest::addRow("%s, disconnected", name) << i << false;
    }
  }

  void editsReachTheUnitOnlyWhileConnected() {
    QFETCH(int, index);
    QFETCH(bool, connected);
    const EditCase& edit = Cases()[static_cast<std::size_t>(index)];
    StartUnit(UnitImage());
    MakeWindow();
    SearchAndConnect();
    if (!connected) {
      Item("N18")->trigger();
      QCOMPARE(state().connected, 0);
    }
    QVERIFY(TakeWrites().isEmpty());

    const std::vector<std::uint8_t> before = Snapshot();
    edit.act(*this);
    if (QTest::currentTestFailed()) return;

    const std::vector<std::uint8_t> after = Snapshot();
    std::map<int, int> changed;
    for (std::size_t a = 0; a < after.size(); ++a) {
      if (after[a] != before[a]) changed[static_cast<int>(a)] = after[a];
    }
    QCOMPARE(changed, edit.changed);

    const QList<Frame> frames = UnicastFrames(TakeWrites());
    const QList<Frame> expected = connected ? QList<Frame>(edit.frames.begin(), edit.frames.end()) : QList<Frame>{};
    QCOMPARE(frames, expected);

    for (const Shown& shown : edit.shown) {
      auto* widget = Control<QWidget>(shown.name);
      QCOMPARE(widget->property("text").toString(), U(shown.text));
      if (shown.alert >= 0) QCOMPARE(Skin::IsAlert(widget), shown.alert == 1);
    }
    QCOMPARE(state().refreshing, 0);
  }

  // Opening a project file while connected shows the file's outputs and sends none of
  // them: the whole refresh runs with refreshing at 1.
  void openingAProjectWhileConnectedSendsNoOutputFrame() {
    StartUnit(UnitImage());
    MakeWindow();
    SearchAndConnect();
    QVERIFY(TakeWrites().isEmpty());

    ParameterImage file = UnitImage();
    for (int slot = 0; slot < OutputDrawer::kSlots; ++slot) {
      file.setOutputLevel(slot, static_cast<std::uint8_t>(10 + 9 * slot));
      file.setOutputDelay(slot, static_cast<std::uint8_t>(30 * slot + 5));
    }
    file.setPolarityMask(0x21);
    file.setMuteMask(0x12);
    const QString path = m_f.Path(QStringLiteral("outputs.KVdat"));
    QCOMPARE(SaveProjectFile(path.toStdString(), file), FileResult::Ok);
    m_f.window().files().setPathProvider({[&] { return path; }, [] { return QString(); }});
    m_f.window().files().OpenProject();

    QCOMPARE(image().outputLevel(5), 55);
    for (int slot = 0; slot < OutputDrawer::kSlots; ++slot) {
      QCOMPARE(drawer()->levelBar(slot)->value(), 60 - (10 + 9 * slot));
      QCOMPARE(drawer()->delayBar(slot)->value(), 200 - (30 * slot + 5));
    }
    QCOMPARE(drawer()->levelText(5)->text(), QStringLiteral("5.5dB"));
    QCOMPARE(drawer()->delayText(5)->text(), QStringLiteral("155mS"));
    for (const auto& w : TakeWrites()) {
      const bool output = (w.frame.address >= 198 && w.frame.address <= 215) || w.frame.address == 831 ||
                          w.frame.address == 832;
      QVERIFY2(!output, FrameText(w.frame).constData());
    }
    QCOMPARE(state().refreshing, 0);
  }

  // What the refresh shows, including stored values past a bar's range and the master
  // mute colour, and that it leaves the generator and the boxes as the user chose them.
  void refreshShowsTheImage() {
    MakeWindow();
    Click("suiRadioGroup3Item4");
    Click("suiCheckBox10");
    ParameterImage& im = image();
    im.setOutputLevel(0, 62);  // past the top
    im.setOutputLevel(1, 43);
    im.setOutputDelay(3, 250);  // past the top
    im.setOutputDelay(4, 1);
    im.setPolarityMask(0x06);
    im.setMuteMask(0x30);
    im.setMasterFlags(0x03);
    im.setTestSignalType(0);
    im.setTestSignalMask(0);
    state().refreshing = 1;
    m_f.window().RefreshAll();
    QCOMPARE(state().refreshing, 1);  // the caller clears it
    state().refreshing = 0;

    struct Row {
      int slot;
      int levelPosition;
      const char* levelText;
      int delayPosition;
      const char* delayText;
      const char* polarity;
      bool inverted;
      bool muted;
    };
    const Row rows[] = {
        {0, 0, "9.0dB", 200, "0mS", "正 相", false, false},
        {1, 17, "-0.5dB", 200, "0mS", "反 相", true, false},
        {2, 16, "0.0dB", 200, "0mS", "反 相", true, false},
        {3, 16, "0.0dB", 0, "250mS", "正 相", false, false},
        {4, 16, "0.0dB", 199, "1mS", "正 相", false, true},
        {5, 16, "0.0dB", 200, "0mS", "正 相", false, true},
    };
    for (const Row& row : rows) {
      const QByteArray at = QByteArray("slot ") + QByteArray::number(row.slot);
      QVERIFY2(drawer()->levelBar(row.slot)->value() == row.levelPosition, at);
      QCOMPARE(drawer()->levelText(row.slot)->text(), U(row.levelText));
      QVERIFY2(drawer()->delayBar(row.slot)->value() == row.delayPosition, at);
      QCOMPARE(drawer()->delayText(row.slot)->text(), U(row.delayText));
      QCOMPARE(drawer()->polarityButton(row.slot)->text(), U(row.polarity));
      QVERIFY2(Skin::IsAlert(drawer()->polarityButton(row.slot)) == row.inverted, at);
      QVERIFY2(drawer()->polarityButton(row.slot)->isChecked() == row.inverted, at);
      QCOMPARE(drawer()->muteButton(row.slot)->text(), U("静音"));
      QVERIFY2(Skin::IsAlert(drawer()->muteButton(row.slot)) == row.muted, at);
    }
    auto* masterMute = m_f.window().findChild<QPushButton*>(QStringLiteral("suiButton23"));
    QVERIFY(Skin::IsAlert(masterMute));
    im.setMasterFlags(0x02);
    RefreshAll();
    QVERIFY(!Skin::IsAlert(masterMute));

    // The generator and the boxes keep the user's choice whatever the image says.
    QVERIFY(drawer()->generatorItem(4)->isChecked());
    QVERIFY(drawer()->testBox(4)->isChecked());
    QCOMPARE(drawer()->testBox(0)->text(), QStringLiteral("5KHz"));
  }

  // A disconnect and a search put the generator back on pink noise and uncheck every box,
  // running the handlers: after a disconnect nothing is sent; during a search the changes go
  // to the broadcast address, where the search is sent.
  void searchAndDisconnectResetTheTestSignal() {
    ParameterImage unit = UnitImage();
    unit.setTestSignalType(2);
    unit.setTestSignalMask(0x01);
    StartUnit(unit);
    MakeWindow();
    SearchAndConnect();
    // The connect's refresh leaves the generator and the boxes as they were.
    QVERIFY(drawer()->generatorItem(0)->isChecked());
    for (int slot = 0; slot < OutputDrawer::kSlots; ++slot) QVERIFY(!drawer()->testBox(slot)->isChecked());

    const auto choose = [this] {
      Click("suiRadioGroup3Item3");
      Click("suiCheckBox8");
      QCOMPARE(image().testSignalType(), 3);
      QCOMPARE(image().testSignalMask(), 0x04);
    };
    const auto expectReset = [this] {
      QVERIFY(drawer()->generatorItem(0)->isChecked());
      for (int slot = 0; slot < OutputDrawer::kSlots; ++slot) QVERIFY(!drawer()->testBox(slot)->isChecked());
      QVERIFY(!ChannelTestBox()->isChecked());
      QCOMPARE(drawer()->testBox(2)->text(), U("粉红噪声"));
      QCOMPARE(image().testSignalType(), 0);
      QCOMPARE(image().testSignalMask(), 0);
      QCOMPARE(state().refreshing, 0);
    };

    choose();
    if (QTest::currentTestFailed()) return;
    QCOMPARE(UnicastFrames(TakeWrites()), (QList<Frame>{Write(831, {0x01, 3}), Write(831, {0x04, 3})}));
    Item("N18")->trigger();
    expectReset();
    if (QTest::currentTestFailed()) return;
    QVERIFY(TakeWrites().isEmpty());

    SearchAndConnect();
    choose();
    TakeWrites();
    QSignalSpy completed(&discovery(), &DeviceDiscovery::searchCompleted);
    Item("N17")->trigger();
    expectReset();
    if (QTest::currentTestFailed()) return;
    QList<Frame> broadcastFrames;
    for (const auto& w : TakeWrites()) {
      QVERIFY(w.broadcast);
      broadcastFrames << w.frame;
    }
    QCOMPARE(broadcastFrames, (QList<Frame>{Write(831, {0x04, 0}), Write(831, {0x00, 0})}));
    QVERIFY(completed.wait(10000));
  }

  // Polarity captions: the table's after a click or a language change, the fixed "反 相"
  // after a refresh whatever the language.
  void invertedCaptionsFollowClicksLanguageAndRefresh() {
    MakeWindow();
    QPushButton* right = drawer()->polarityButton(2);
    QCOMPARE(right->text(), U("正相"));
    Click(right);
    QCOMPARE(right->text(), U("反相"));
    m_f.window().OnEnglishChosen();
    QCOMPARE(right->text(), U("Invert"));
    QCOMPARE(drawer()->polarityButton(1)->text(), U("Normal"));
    RefreshAll();
    QCOMPARE(right->text(), U("反 相"));
    QCOMPARE(drawer()->polarityButton(1)->text(), U("正 相"));
    QVERIFY(Skin::IsAlert(right));
    m_f.window().OnEnglishChosen();
    QCOMPARE(right->text(), U("Invert"));
    RefreshAll();
    Click(right);
    QCOMPARE(right->text(), U("Normal"));
    QVERIFY(!Skin::IsAlert(right));
    QCOMPARE(drawer()->polarityButton(1)->text(), U("正 相"));  // only the clicked one changes
    QCOMPARE(image().polarityMask(), 0);
  }

  // Every caption and accessible name of the drawer in both languages, and back.
  void captionsInBothLanguages() {
    MakeWindow();
    struct Row {
      QString text;
      QString chinese;
      QString english;
    };
    const auto rows = [this] {
      std::vector<Row> r;
      r.push_back({m_f.window().outputDrawer()->caption(), U("输出设置"), U("Output Setup")});
      r.push_back({Control<QLabel>("StaticText21")->text(),
                   U(" 左            中              右            左环绕         右环绕         次低频"),
                   U("Left          Center          Right            SL             SR             SW  ")});
      r.push_back({Control<QGroupBox>("suiRadioGroup3")->title(), U("信号发生器"), U("Signal Generator")});
      const char* items[][2] = {{"粉红噪声", "Pink"}, {"120Hz", "120Hz"}, {"500Hz", "500Hz"},
                                {"1KHz", "1KHz"},     {"5KHz", "5KHz"},   {"10KHz", "10KHz"}};
      for (int i = 0; i < OutputDrawer::kGeneratorItems; ++i) {
        r.push_back({drawer()->generatorItem(i)->text(), U(items[i][0]), U(items[i][1])});
      }
      const char* names[][2] = {{"左", "Left"},         {"中", "Center"},         {"右", "Right"},
                                {"左环绕", "Left Surround"}, {"右环绕", "Right Surround"}, {"次低频", "Subwoofer"}};
      for (int s = 0; s < OutputDrawer::kSlots; ++s) {
        const QString zh = U(names[s][0]);
        const QString en = U(names[s][1]);
        r.push_back({drawer()->polarityButton(s)->text(), U("正相"), U("Normal")});
        r.push_back({drawer()->muteButton(s)->text(), U("静音"), U(" Mute ")});
        r.push_back({drawer()->testBox(s)->text(), U("粉红噪声"), U("Pink")});
        r.push_back({drawer()->levelText(s)->text(), U("0.0dB"), U("0.0dB")});
        r.push_back({drawer()->delayText(s)->text(), U("0mS"), U("0mS")});
        // What a screen reader speaks.
        const auto both = [&](QWidget* w, const QString& zhName, const QString& enName) {
          r.push_back({w->accessibleName(), zhName, enName});
        };
        both(drawer()->levelBar(s), zh + U(" 电平"), en + U(" level"));
        both(drawer()->delayBar(s), zh + U(" 延时"), en + U(" delay"));
        both(drawer()->levelText(s), zh + U(" 电平 0.0dB"), en + U(" level 0.0dB"));
        both(drawer()->delayText(s), zh + U(" 延时 0mS"), en + U(" delay 0mS"));
        both(drawer()->testBox(s), zh + U(" 粉红噪声"), en + U(" Pink"));
        both(drawer()->muteButton(s), zh + U(" 静音"), en + U(" Mute"));
        both(drawer()->polarityButton(s), zh + U(" 正相"), en + U(" Normal"));
      }
      return r;
    };

    for (const Row& row : rows()) QCOMPARE(row.text, row.chinese);
    m_f.window().OnEnglishChosen();
    for (const Row& row : rows()) QCOMPARE(row.text, row.english);
    m_f.window().OnChineseChosen();
    for (const Row& row : rows()) QCOMPARE(row.text, row.chinese);

    // The output boxes follow the image's test-signal type on a language change; the
    // generator's choice relabels them at once.
    Click("suiRadioGroup3Item3");
    m_f.window().OnEnglishChosen();
    for (int s = 0; s < OutputDrawer::kSlots; ++s) QCOMPARE(drawer()->testBox(s)->text(), QStringLiteral("1KHz"));
    Click("suiRadioGroup3Item0");
    QCOMPARE(drawer()->testBox(0)->text(), QStringLiteral("Pink"));
    QCOMPARE(ChannelTestBox()->text(), QStringLiteral("Pink"));
  }

  // End to end against mzr4700-sim: the unit keeps what the drawer sent, and reading it
  // back brings the values into the drawer.
  void simulatorKeepsOutputEdits() {
    SimProcess& sim = m_f.StartSim({QStringLiteral("--units"), QStringLiteral("1")});
    if (QTest::currentTestFailed()) return;
    MakeWindow();
    SearchAndConnect();
    const qsizetype logged = sim.LogLines().size();

    QSlider* right = Control<QSlider>("suiTrackBar8");
    right->setValue(10);  // level 50: +3.0 dB
    QCOMPARE(Control<QLabel>("StaticText8")->text(), QStringLiteral("3.0dB"));
    Click("suiButton9");  // mute the left surround
    QVERIFY(sim.WaitForLogLines(logged + 2));
    const QList<QJsonObject> log = sim.LogLines().mid(logged);
    QCOMPARE(log.size(), 2);
    const struct {
      int address;
      const char* data;
    } expected[] = {{200, "32"}, {215, "08"}};
    for (int i = 0; i < 2; ++i) {
      QCOMPARE(log[i].value(QStringLiteral("to")).toString(), QStringLiteral("127.0.0.2"));
      QCOMPARE(log[i].value(QStringLiteral("command")).toInt(), 6);
      QCOMPARE(log[i].value(QStringLiteral("address")).toInt(), expected[i].address);
      QCOMPARE(log[i].value(QStringLiteral("data")).toString(), U(expected[i].data));
      QCOMPARE(log[i].value(QStringLiteral("outcome")).toString(), QStringLiteral("answered"));
    }

    // Forget the edits here (as another project would), then read the unit back.
    image().setOutputLevel(2, 44);
    image().setMuteMask(0);
    RefreshAll();
    QCOMPARE(Control<QLabel>("StaticText8")->text(), QStringLiteral("0.0dB"));
    QSignalSpy received(&m_f.window().link(), &ParamLink::imageReceived);
    Item("N21")->trigger();
    QVERIFY(received.wait(10000));
    QCOMPARE(image().outputLevel(2), 50);
    QCOMPARE(image().muteMask(), 0x08);
    QCOMPARE(right->value(), 10);
    QCOMPARE(Control<QLabel>("StaticText8")->text(), QStringLiteral("3.0dB"));
    QVERIFY(Skin::IsAlert(Control<QPushButton>("suiButton9")));
    QVERIFY(!Skin::IsAlert(Control<QPushButton>("suiButton8")));
  }
};

const std::vector<OutputEditorsTest::EditCase>& OutputEditorsTest::Cases() {
  static const std::vector<EditCase> cases = {
      {"left level to the top (key Home)", [](OutputEditorsTest& t) { t.Key("suiTrackBar6", Qt::Key_Home); },
       {{198, 60}}, {Write(198, {60})}, {{"StaticText6", "8.0dB", -1}}},
      {"left level one step below 0 dB (key Down)",
       [](OutputEditorsTest& t) { t.Key("suiTrackBar6", Qt::Key_Down); }, {{198, 43}}, {Write(198, {43})},
       {{"StaticText6", "-0.5dB", -1}}},
      {"subwoofer level to the bottom (key End)", [](OutputEditorsTest& t) { t.Key("suiTrackBar13", Qt::Key_End); },
       {{203, 0}}, {Write(203, {0})}, {{"StaticText13", "-22.0dB", -1}, {"StaticText6", "0.0dB", -1}}},
      {"right delay to the bottom", [](OutputEditorsTest& t) { t.Key("TrackBar40", Qt::Key_End); }, {{208, 0}},
       {Write(208, {0})}, {{"StaticText73", "0mS", -1}}},
      {"center delay to the top", [](OutputEditorsTest& t) { t.Key("TrackBar39", Qt::Key_Home); }, {{207, 200}},
       {Write(207, {200})}, {{"StaticText71", "200mS", -1}}},
      {"right polarity clicked twice",
       [](OutputEditorsTest& t) {
         t.Click("suiButton16");
         QCOMPARE(t.Control<QPushButton>("suiButton16")->text(), U("反相"));
         QVERIFY(Skin::IsAlert(t.Control<QPushButton>("suiButton16")));
         QCOMPARE(t.image().polarityMask(), 0x04);
         t.Click("suiButton16");
       },
       {}, {Write(214, {0x04}), Write(214, {0x00})}, {{"suiButton16", "正相", 0}, {"suiButton15", "正 相", 0}}},
      {"left surround mute", [](OutputEditorsTest& t) { t.Click("suiButton9"); }, {{215, 0x08}},
       {Write(215, {0x08})}, {{"suiButton9", "静音", 1}, {"suiButton8", "静音", 0}}},
      {"test boxes exclusive, with the current type",
       [](OutputEditorsTest& t) {
         t.Click("suiRadioGroup3Item3");
         t.Click("suiCheckBox6");
         QVERIFY(t.ChannelTestBox()->isChecked());  // the left tab is on show
         t.Click("suiCheckBox7");
         QVERIFY(!t.Control<QCheckBox>("suiCheckBox6")->isChecked());
         QVERIFY(t.Control<QCheckBox>("suiCheckBox7")->isChecked());
         QVERIFY(!t.ChannelTestBox()->isChecked());
         QCOMPARE(t.image().testSignalMask(), 0x02);
         t.Click("suiCheckBox7");
         QVERIFY(!t.Control<QCheckBox>("suiCheckBox7")->isChecked());
       },
       {{832, 3}}, {Write(831, {0x00, 3}), Write(831, {0x01, 3}), Write(831, {0x02, 3}), Write(831, {0x00, 3})},
       {}},
      {"channel page box on the center tab",
       [](OutputEditorsTest& t) {
         t.m_f.window().equalizerPage()->setCurrentIndex(1);
         t.Click(t.ChannelTestBox());
         QVERIFY(t.Control<QCheckBox>("suiCheckBox7")->isChecked());
         for (const char* other : {"suiCheckBox6", "suiCheckBox8", "suiCheckBox9", "suiCheckBox10", "suiCheckBox13"}) {
           QVERIFY2(!t.Control<QCheckBox>(other)->isChecked(), other);
         }
       },
       {{831, 0x02}}, {Write(831, {0x02, 0})}, {}},
      {"generator 1KHz relabels all seven boxes",
       [](OutputEditorsTest& t) {
         t.Click("suiRadioGroup3Item3");
         QCOMPARE(t.ChannelTestBox()->text(), QStringLiteral("1KHz"));
       },
       {{832, 3}}, {Write(831, {0x00, 3})},
       {{"suiCheckBox6", "1KHz", -1},
        {"suiCheckBox7", "1KHz", -1},
        {"suiCheckBox8", "1KHz", -1},
        {"suiCheckBox9", "1KHz", -1},
        {"suiCheckBox10", "1KHz", -1},
        {"suiCheckBox13", "1KHz", -1}}},
  };
  return cases;
}

QTEST_MAIN(OutputEditorsTest)
#include "OutputEditorsTest.moc"
