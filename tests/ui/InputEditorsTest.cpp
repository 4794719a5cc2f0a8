// The input side and the master row edit the unit: the real main window (offscreen) on
// 127.0.0.1 and a free port, connected by a real search to the in-process unit at 127.0.0.2
// (tests/support LoopbackUnit, the simulator's unit), whose record of the frames it heard
// shows exactly what reached it. Every datagram stays on 127.0.0.0/8.

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>

#include "files/ProjectFile.h"
#include "link/EditOperation.h"
#include "support/WindowFixture.h"
#include "ui/input/InputDrawer.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"

using namespace mzr;
using mzr::test::LoopbackUnit;
using mzr::test::U;
using mzr::test::WindowFixture;

namespace {

// One frame as the unit heard it: command, address and the data bytes in hex.
struct Frame {
  int command;
  int address;
  QString data;
  friend bool operator==(const Frame&, const Frame&) = default;
};

Frame FromUnit(const LoopbackUnit::Frame& heard) {
  return {heard.command, heard.address, QString::fromLatin1(heard.data.toHex())};
}

QString Describe(const QList<Frame>& frames) {
  QStringList parts;
  for (const Frame& f : frames) parts << QStringLiteral("%1@%2:%3").arg(f.command).arg(f.address).arg(f.data);
  return parts.join(QStringLiteral(", "));
}

// The bytes that differ between two images, as address -> new value.
QMap<int, int> Changes(const ParameterImage& before, const ParameterImage& after) {
  QMap<int, int> changes;
  for (std::size_t a = 0; a < kImageSize; ++a)
    if (before.All()[a] != after.All()[a]) changes.insert(static_cast<int>(a), after.All()[a]);
  return changes;
}

// After an edit the test sends the output mute byte (a field no control here edits) through
// the same edit path: the unit hears it right after whatever the edit sent, so the frames
// before it are all the edit's.
constexpr EditedField kMarkerField = EditedField::muteMask;
constexpr int kMarkerCommand = 6;
constexpr int kMarkerAddress = WriteSpanFor(kMarkerField).address;

}  // namespace

class InputEditorsTest final : public QObject {
  Q_OBJECT

 private:
  WindowFixture m_f;

  void MakeWindow() {
    m_f.MakeWindow();
    // The drawer open, as the user sees it while editing.
    m_f.window().inputDrawer()->setPinned(true);
  }

  void StartUnitAndConnect() {
    m_f.StartUnit();
    MakeWindow();
    m_f.SearchAndConnect();
  }

  LoopbackUnit& unit() { return m_f.unit(); }
  ParameterImage& image() { return m_f.image(); }
  QAction* Item(const char* name) { return m_f.Item(name); }
  // Input buttons and the master row sit on the client area, the rest in the input drawer.
  template <typename T>
  T* Client(const char* name) {
    return m_f.DirectControl<T>(name);
  }
  template <typename T>
  T* Drawer(const char* name) {
    return m_f.Control<T>(name, m_f.window().inputDrawerContent());
  }
  // A check box is clicked on its indicator, as a user does.
  static void ClickBox(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(7, box->height() / 2)); }

  void RefreshAll() { m_f.RefreshAll(); }

  // The frames the unit heard from line skip on, up to and including the marker.
  QList<Frame> FramesUntilMarker(qsizetype skip) {
    m_f.window().context().edits.Apply(kMarkerField, 0, [](ParameterImage&) {});  // sends its span, changes nothing
    const auto isMarker = [](const LoopbackUnit::Frame& f) {
      return f.command == kMarkerCommand && f.address == kMarkerAddress;
    };
    const auto marked = [&] {
      const QList<LoopbackUnit::Frame>& heard = unit().frames();
      return std::any_of(heard.begin() + std::min(skip, heard.size()), heard.end(), isMarker);
    };
    if (!QTest::qWaitFor(marked, 10000)) qWarning("the marker frame never reached the unit");
    QList<Frame> frames;
    const QList<LoopbackUnit::Frame> heard = unit().frames();
    for (qsizetype i = skip; i < heard.size() && !isMarker(heard[i]); ++i) frames << FromUnit(heard[i]);
    return frames;
  }

  struct Edit {
    const char* name;
    std::function<void(ParameterImage&)> setup;  // then every editor is refreshed
    std::function<void()> action;
    QMap<int, int> changes;  // image address -> value after the action
    QList<Frame> frames;     // what the unit hears while connected
    std::function<void()> check;
  };

  QList<Edit> Edits() {
    const auto presets = [](ParameterImage& im) {
      const std::uint8_t levels[] = {10, 20, 30, 40, 50};
      for (int i = 0; i < 5; ++i) im.setPresetLevel(i, levels[i]);
    };
    const auto faders = [](ParameterImage& im, std::initializer_list<std::uint8_t> levels, int input) {
      int i = 0;
      for (std::uint8_t v : levels) im.setFaderLevel(i++, v);
      im.setInputSource(static_cast<std::uint8_t>(input));
    };
    const auto inputButton = [this](int i) {
      return [this, i] {
        QTest::mouseClick(Client<QPushButton>(qPrintable(QStringLiteral("suiButton%1").arg(i + 1))), Qt::LeftButton);
      };
    };
    return {
        {"preset bar 2 moved to 7.7",
         presets,
         [this] { Drawer<QSlider>("suiTrackBar3")->setValue(77); },
         {{188, 77}},
         {{6, 186, QStringLiteral("0a144d2832")}},
         [this] { QCOMPARE(Drawer<QLabel>("StaticText3")->text(), QStringLiteral("7.7")); }},
        {"preset bar 4 one page up by key",
         presets,
         [this] { QTest::keyClick(Drawer<QSlider>("suiTrackBar5"), Qt::Key_PageUp); },
         {{190, 52}},
         {{6, 186, QStringLiteral("0a141e2834")}},
         [this] { QCOMPARE(Drawer<QLabel>("StaticText5")->text(), QStringLiteral("5.2")); }},
        {"main fader with input 4",
         [faders](ParameterImage& im) {
           faders(im, {70, 60, 50, 40, 30, 0, 0, 0}, 4);
         },
         [this] { Client<QSlider>("suiTrackBar14")->setValue(55); },
         {{827, 55}},
         {{6, 823, QStringLiteral("463c322837000000")}},
         [this] { QCOMPARE(Client<QLabel>("StaticText30")->text(), QStringLiteral("5.5")); }},
        {"main fader to the top by key",
         [faders](ParameterImage& im) {
           faders(im, {70, 60, 50, 40, 30, 0, 0, 0}, 0);
         },
         [this] { QTest::keyClick(Client<QSlider>("suiTrackBar14"), Qt::Key_End); },
         {{823, 100}},
         {{6, 823, QStringLiteral("643c32281e000000")}},
         [this] { QCOMPARE(Client<QLabel>("StaticText30")->text(), QStringLiteral("10.0")); }},
        {"input button that moves the fader",
         [faders](ParameterImage& im) {
           faders(im, {70, 60, 50, 40, 30, 0, 0, 0}, 0);
         },
         inputButton(1),
         {{822, 1}},
         {{6, 823, QStringLiteral("463c32281e000000")}, {6, 822, QStringLiteral("01463c3228")}},
         [this] {
           QCOMPARE(Client<QSlider>("suiTrackBar14")->value(), 60);
           QCOMPARE(Client<QLabel>("StaticText30")->text(), QStringLiteral("6.0"));
           for (int i = 0; i < 5; ++i)
             QCOMPARE(Skin::IsAlert(Client<QPushButton>(qPrintable(QStringLiteral("suiButton%1").arg(i + 1)))), i == 1);
           QVERIFY(Item("N82")->isChecked());
         }},
        {"input button at the same fader level",
         [faders](ParameterImage& im) {
           faders(im, {50, 60, 50, 40, 30, 0, 0, 0}, 0);
         },
         inputButton(2),
         {{822, 2}},
         {{6, 822, QStringLiteral("02323c3228")}},
         [this] { QVERIFY(Item("N7")->isChecked()); }},
        {"Format item MIC",
         [faders](ParameterImage& im) {
           faders(im, {70, 60, 50, 40, 30, 0, 0, 0}, 0);
         },
         [this] { Item("N9")->trigger(); },
         {{822, 4}},
         {{6, 823, QStringLiteral("463c32281e000000")}, {6, 822, QStringLiteral("04463c3228")}},
         [this] {
           QVERIFY(Item("N9")->isChecked());
           QVERIFY(Skin::IsAlert(Client<QPushButton>("suiButton5")));
         }},
        {"fade time Fade Time 10S",
         [](ParameterImage& im) { im.setFadeTime(4); },
         [this] { ChooseFadeTime(QStringLiteral("Fade Time 10S")); },
         {{833, 9}},
         {{16, 833, QStringLiteral("09")}},
         {}},
        {"Power on Last Selected",
         [](ParameterImage& im) { im.setPowerOnSource(0); },
         [this] { Item("N15")->trigger(); },
         {{834, 5}},
         {{16, 834, QStringLiteral("05")}},
         [this] {
           QVERIFY(Item("N15")->isChecked());
           QVERIFY(!Item("N83")->isChecked());
         }},
        {"master mute, first click",
         [](ParameterImage& im) { im.setMasterFlags(0x02); },
         [this] { QTest::mouseClick(Client<QPushButton>("suiButton23"), Qt::LeftButton); },
         {{835, 0x03}},
         {{6, 835, QStringLiteral("03")}},
         [this] { QVERIFY(Skin::IsAlert(Client<QPushButton>("suiButton23"))); }},
        {"master mute, second click",
         {},
         [this] { QTest::mouseClick(Client<QPushButton>("suiButton23"), Qt::LeftButton); },
         {{835, 0x02}},
         {{6, 835, QStringLiteral("02")}},
         [this] { QVERIFY(!Skin::IsAlert(Client<QPushButton>("suiButton23"))); }},
        {"Preset box of input 3",
         [](ParameterImage& im) { im.setPresetEnableMask(0x01); },
         [this] { ClickBox(Drawer<QCheckBox>("suiCheckBox4")); },
         {{194, 0x09}},
         {{6, 194, QStringLiteral("09")}},
         {}},
        {"PROLOGIC II box of input 1",
         [](ParameterImage& im) { im.setPrologicMask(0x04); },
         [this] { ClickBox(Drawer<QCheckBox>("suiCheckBox31")); },
         {{836, 0x06}},
         {{6, 836, QStringLiteral("06")}},
         {}},
        {"microphone routing Surr, other bits kept",
         [](ParameterImage& im) { im.setMicRouteFlags(0x05); },
         [this] { ClickBox(Drawer<QCheckBox>("suiCheckGroup1Item1")); },
         {{195, 0x07}},
         {{6, 195, QStringLiteral("07")}},
         {}},
        {"input button while the test signal plays",
         [faders](ParameterImage& im) {
           faders(im, {70, 60, 50, 40, 30, 0, 0, 0}, 0);
           im.setTestSignalMask(0x01);
         },
         inputButton(3),
         {},
         {},
         [this] {
           QVERIFY(Skin::IsAlert(Client<QPushButton>("suiButton1")));
           QCOMPARE(Client<QSlider>("suiTrackBar14")->value(), 70);
         }},
        {"routing item while the test signal plays",
         [](ParameterImage& im) {
           im.setMicRouteFlags(0x00);
           im.setTestSignalMask(0x04);
         },
         [this] { ClickBox(Drawer<QCheckBox>("suiCheckGroup1Item0")); },
         {},
         {},
         [this] {
           // Only the mark changed; the next refresh shows the image again.
           QCheckBox* center = Drawer<QCheckBox>("suiCheckGroup1Item0");
           QVERIFY(center->isChecked());
           RefreshAll();
           QVERIFY(!center->isChecked());
         }},
        {"Format item while the test signal plays",
         [faders](ParameterImage& im) {
           faders(im, {50, 50, 50, 50, 50, 0, 0, 0}, 0);
           im.setTestSignalMask(0x01);
         },
         [this] { Item("N82")->trigger(); },
         {{822, 1}},
         {{6, 822, QStringLiteral("0132323232")}},
         {}},
    };
  }

  // The user opens the fade-time list and clicks the item.
  void ChooseFadeTime(const QString& text) {
    QComboBox* box = Client<QComboBox>("ComboBox1");
    const int target = box->findText(text);
    QVERIFY2(target >= 0, qPrintable(text));
    box->showPopup();
    QAbstractItemView* list = box->view();
    QTRY_VERIFY(list->isVisible());
    const QRect item = list->visualRect(box->model()->index(target, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(box->currentIndex(), target);
  }

  // Runs every edit; while connected each sends exactly its frames, otherwise none.
  void RunEdits(bool connected) {
    for (const Edit& edit : Edits()) {
      ParameterImage& im = image();
      if (edit.setup) {
        im.setTestSignalMask(0);
        edit.setup(im);
        RefreshAll();
      }
      qsizetype skip = 0;
      if (connected) {
        // Whatever the setup's refresh may have sent is heard before this point.
        FramesUntilMarker(unit().frames().size());
        skip = unit().frames().size();
      }
      const ParameterImage before = im;
      edit.action();
      QVERIFY2(Changes(before, im) == edit.changes, edit.name);
      if (connected) {
        const QList<Frame> frames = FramesUntilMarker(skip);
        QVERIFY2(frames == edit.frames, qPrintable(QStringLiteral("%1: heard %2").arg(U(edit.name), Describe(frames))));
      }
      if (edit.check) edit.check();
      if (QTest::currentTestFailed()) qWarning("in edit: %s", edit.name);
    }
  }

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }

  void cleanup() { m_f.Reset(); }

  void everyEditChangesItsBytesAndSendsItsFrames() {
    StartUnitAndConnect();
    m_f.window().OnEnglishChosen();
    RunEdits(true);
  }

  void noEditSendsWhileDisconnected() {
    StartUnitAndConnect();
    m_f.window().OnEnglishChosen();
    Item("N18")->trigger();
    QCOMPARE(m_f.window().state().connected, 0);
    const qsizetype before = unit().frames().size();
    RunEdits(false);
    // Connected again (which sends nothing), the first frame the unit hears is the marker.
    m_f.ConnectListed();
    QCOMPARE(FramesUntilMarker(before), QList<Frame>{});
  }

  // Opening a project refreshes every editor under the refreshing flag: no fader, preset
  // level, input or fade-time frame. Only a Preset or PROLOGIC II box that changes sends
  // the byte its handler stores, which is the image's.
  void openingAProjectWhileConnectedSendsNoLevels() {
    StartUnitAndConnect();
    ParameterImage project = image();
    project.setInputSource(3);
    for (int i = 0; i < 8; ++i) project.setFaderLevel(i, static_cast<std::uint8_t>(90 - i));
    for (int i = 0; i < 5; ++i) project.setPresetLevel(i, static_cast<std::uint8_t>(11 * (i + 1)));
    project.setFadeTime(7);
    project.setMicRouteFlags(static_cast<std::uint8_t>(image().micRouteFlags() ^ 0x03));
    project.setPresetEnableMask(static_cast<std::uint8_t>(image().presetEnableMask() ^ 0x02));
    project.setPrologicMask(static_cast<std::uint8_t>(image().prologicMask() ^ 0x04));
    const QString path = m_f.Path(QStringLiteral("project.kvdat"));
    QCOMPARE(SaveProjectFile(path.toStdString(), project), FileResult::Ok);
    m_f.window().files().setPathProvider({[&] { return path; }, [&] { return path; }});

    const qsizetype before = unit().frames().size();
    Item("N3")->trigger();
    QVERIFY(image() == project);
    QCOMPARE(Client<QSlider>("suiTrackBar14")->value(), 87);
    QCOMPARE(Drawer<QSlider>("suiTrackBar2")->value(), 22);
    const QList<Frame> frames = FramesUntilMarker(before);
    const QList<Frame> expected{
        {6, 194, QStringLiteral("%1").arg(project.presetEnableMask(), 2, 16, QLatin1Char('0'))},
        {6, 836, QStringLiteral("%1").arg(project.prologicMask(), 2, 16, QLatin1Char('0'))},
    };
    QVERIFY2(frames == expected, qPrintable(Describe(frames)));
  }

  // Every caption and spoken name of the input drawer and the master row, in both languages;
  // a switch keeps the fade time and changes nothing in the image.
  void captionsAndSpokenNamesInBothLanguages() {
    MakeWindow();
    image().setFadeTime(4);
    RefreshAll();
    const ParameterImage before = image();
    struct Text {
      const char* name;
      const char* chinese;
      const char* english;
    };
    const Text drawerTexts[] = {
        {"StaticText42", "数字光纤1输入", "Digital OPT 1"},
        {"StaticText41", "数字光纤2输入", "Digital OPT 2"},
        {"StaticText44", "数字同轴1输入", "Digital COAX 1"},
        {"StaticText46", "数字同轴2输入", "Digital COAX 2"},
        {"StaticText48", "麦克风输入", "MIC"},
        {"suiCheckBox1", "预设值", "Preset"},
        {"suiCheckBox2", "预设值", "Preset"},
        {"suiCheckBox3", "预设值", "Preset"},
        {"suiCheckBox4", "预设值", "Preset"},
        {"suiCheckBox5", "预设值", "Preset"},
        {"suiCheckBox30", "PROLOGIC II", "PROLOGIC II"},
        {"suiCheckBox31", "PROLOGIC II", "PROLOGIC II"},
        {"suiCheckBox32", "PROLOGIC II", "PROLOGIC II"},
        {"suiCheckBox33", "PROLOGIC II", "PROLOGIC II"},
        {"suiCheckGroup1Item0", "中置", "Center"},
        {"suiCheckGroup1Item1", "环绕", "Surr"},
    };
    const Text spoken[] = {
        {"suiTrackBar1", "数字光纤1输入 预设电平", "Digital OPT 1 preset level"},
        {"StaticText5", "麦克风输入 预设电平数值", "MIC preset level value"},
        {"suiCheckBox3", "数字同轴1输入 预设值", "Digital COAX 1 Preset"},
        {"suiCheckBox33", "数字同轴2输入 PROLOGIC II", "Digital COAX 2 PROLOGIC II"},
        {"suiCheckGroup1Item1", "麦克风输入 环绕", "MIC Surr"},
    };
    const Text masterRow[] = {{"suiButton23", "静音", " Mute "}, {"StaticText29", "主音量", "Main Fader"}};
    const Text masterSpoken[] = {
        {"suiTrackBar14", "主音量", "Main Fader"},
        {"StaticText30", "主音量数值", "Main Fader value"},
        {"ComboBox1", "淡入淡出时间", "Fade time"},
        {"suiButton23", "主音量静音", "Master mute"},
    };
    const auto textOf = [](QWidget* w) {
      if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
      return qobject_cast<QLabel*>(w)->text();
    };
    for (int language : {1, 0, 1}) {
      if (language == 1)
        m_f.window().OnEnglishChosen();
      else
        m_f.window().OnChineseChosen();
      const auto pick = [language](const Text& t) { return U(language == 0 ? t.chinese : t.english); };
      for (const Text& t : drawerTexts) QVERIFY2(textOf(Drawer<QWidget>(t.name)) == pick(t), t.name);
      for (const Text& t : spoken) QVERIFY2(Drawer<QWidget>(t.name)->accessibleName() == pick(t), t.name);
      for (const Text& t : masterRow) QVERIFY2(textOf(Client<QWidget>(t.name)) == pick(t), t.name);
      for (const Text& t : masterSpoken) QVERIFY2(Client<QWidget>(t.name)->accessibleName() == pick(t), t.name);
      for (int i = 0; i < 5; ++i)
        QCOMPARE(Drawer<QLabel>(qPrintable(QStringLiteral("presetScale%1").arg(i + 1)))->text(),
                 QStringLiteral(
                     "0         1.0      2.0      3.0     4.0      5.0      6.0      7.0      8.0      9.0      10.0"));
      QCOMPARE(m_f.window().inputDrawer()->caption(), language == 0 ? U("格式（输入设置）") : U("Format(Input Setup)"));
      QCOMPARE(Client<QComboBox>("ComboBox1")->currentText(), language == 0 ? U("淡入淡出5秒") : U("Fade Time 5S"));
    }
    QVERIFY(image() == before);
  }

  // The drawer's five boxes and their bars where the installer expects them.
  void theDrawerIsLaidOutAsDesigned() {
    MakeWindow();
    SideChannel* drawer = m_f.window().inputDrawer();
    QTRY_COMPARE(drawer->width(), 297);
    const int tops[] = {28, 128, 229, 330, 431};
    for (int i = 0; i < 5; ++i) {
      QWidget* box = Drawer<QWidget>(qPrintable(QStringLiteral("inputBox%1").arg(i + 1)));
      QCOMPARE(QRect(box->mapTo(drawer, QPoint(0, 0)), box->size()).top(), tops[i]);
      QCOMPARE(box->size(), QSize(278, 92));
      auto* bar = Drawer<QSlider>(qPrintable(QStringLiteral("suiTrackBar%1").arg(i + 1)));
      QCOMPARE(bar->parentWidget(), box);
      QCOMPARE(bar->width(), 249);
      QCOMPARE(bar->minimum(), 0);
      QCOMPARE(bar->maximum(), 100);
      QCOMPARE(bar->pageStep(), 2);
      QCOMPARE(bar->singleStep(), 1);
      QCOMPARE(bar->tickInterval(), 5);
      // Each control of the box lies inside it.
      for (QWidget* child : box->findChildren<QWidget*>())
        QVERIFY2(box->rect().contains(QRect(child->mapTo(box, QPoint(0, 0)), child->size())),
                 qPrintable(child->objectName()));
    }
    QCOMPARE(Drawer<QWidget>("suiCheckGroup1")->parentWidget()->objectName(), QStringLiteral("inputBox5"));
    QCOMPARE(m_f.window().inputDrawerContent()
                 ->findChildren<QCheckBox*>(QRegularExpression(QStringLiteral("^suiCheckBox3[0-9]$")))
                 .size(),
             4);
  }

  // An input code past the fader table shows the fader at 0 and takes no move until an
  // input is chosen.
  void anUnknownInputKeepsTheFaderStill() {
    MakeWindow();
    image().setInputSource(9);
    RefreshAll();
    auto* fader = Client<QSlider>("suiTrackBar14");
    QCOMPARE(fader->value(), 0);
    QVERIFY(!fader->isEnabled());
    for (int i = 0; i < 5; ++i)
      QVERIFY(!Skin::IsAlert(Client<QPushButton>(qPrintable(QStringLiteral("suiButton%1").arg(i + 1)))));
    const ParameterImage before = image();
    fader->setValue(40);
    QVERIFY(image() == before);
    QCOMPARE(Client<QLabel>("StaticText30")->text(), QStringLiteral("0.0"));
    QTest::mouseClick(Client<QPushButton>("suiButton3"), Qt::LeftButton);
    QCOMPARE(image().inputSource(), 2);
    QVERIFY(fader->isEnabled());
    QCOMPARE(fader->value(), image().faderLevel(2));
  }

  // Typing into the fade-time box stores nothing: a typed time has no meaning to the unit.
  void typingIntoTheFadeTimeBoxStoresNothing() {
    MakeWindow();
    QComboBox* box = Client<QComboBox>("ComboBox1");
    QVERIFY(box->lineEdit() == nullptr);
    const ParameterImage before = image();
    box->setFocus();
    QTest::keyClicks(box, QStringLiteral("xyz"));
    QTest::keyClick(box, Qt::Key_Return);
    QVERIFY(image() == before);
    QCOMPARE(box->currentIndex(), int(before.fadeTime()));
  }

  // Connect, pick an input, move the fader, change a preset level; the unit read back holds
  // exactly the program's image.
  void theUnitReadBackHoldsTheEdits() {
    StartUnitAndConnect();
    QTest::mouseClick(Client<QPushButton>("suiButton3"), Qt::LeftButton);
    Client<QSlider>("suiTrackBar14")->setValue(37);
    Drawer<QSlider>("suiTrackBar2")->setValue(64);
    const ParameterImage edited = image();
    QCOMPARE(edited.inputSource(), 2);
    QCOMPARE(edited.faderLevel(2), 37);
    QCOMPARE(edited.presetLevel(1), 64);

    // Scribble over the program's copy, then read all: the unit's image replaces it.
    image().setFaderLevel(2, 1);
    image().setPresetLevel(1, 1);
    image().setInputSource(0);
    m_f.ReadAll();
    QVERIFY(image() == edited);
    QCOMPARE(Client<QSlider>("suiTrackBar14")->value(), 37);
    QCOMPARE(Drawer<QLabel>("StaticText2")->text(), QStringLiteral("6.4"));
    QVERIFY(Skin::IsAlert(Client<QPushButton>("suiButton3")));
  }
};

QTEST_MAIN(InputEditorsTest)
#include "InputEditorsTest.moc"
