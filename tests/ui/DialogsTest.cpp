// The EQ copy, theater profile and serial-number dialogs on the real main window
// (offscreen), connected through a real search to a unit on loopback: the in-process unit
// at 127.0.0.2 (tests/support LoopbackUnit), which records every frame it is sent, or
// mzr4700-sim for the end-to-end part. Every datagram stays on 127.0.0.0/8.

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include "files/ProjectFile.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "model/ParameterImage.h"
#include "support/WindowFixture.h"
#include "ui/dialogs/DeviceInfoDialog.h"
#include "ui/dialogs/EqCopyDialog.h"
#include "ui/window/LogoImage.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ProgramVersion.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/dialogs/TheaterProfileDialog.h"

using namespace mzr;
using mzr::test::LoopbackUnit;
using mzr::test::SimProcess;
using mzr::test::U;
using mzr::test::WindowFixture;

namespace {

QByteArray ImageBytes(const ParameterImage& image, int address = 0, int count = int(kImageSize)) {
  return QByteArray(reinterpret_cast<const char*>(image.All().data()) + address, count);
}

void StoreBytes(ParameterImage& image, int address, const QByteArray& bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
  QVERIFY(image.Store(static_cast<std::size_t>(address), {data, static_cast<std::size_t>(bytes.size())}));
}

// A copy as the table states it: count bytes from one address to another.
struct Move {
  int from;
  int to;
  int count;
};

// Distinct bytes over the tone controls and every equalizer row (224..447), so that any
// byte copied where it should not be, or not copied, shows.
void FillEqualizerPattern(ParameterImage& image) {
  for (int a = addr::toneControl; a < addr::speakerFilterEnable; ++a) image.SetU8(a, std::uint8_t(a * 7 + 3));
}

}  // namespace

class DialogsTest final : public QObject {
  Q_OBJECT

 private:
  WindowFixture m_f;

  void MakeWindow() {
    WindowFixture::Settings settings;
    settings.timer1IntervalMs = 1;
    m_f.MakeWindow(settings);
  }
  // The restarts of the copies follow one another: the unit takes the next frame at once.
  void StartUnit() { m_f.StartUnit().setRestartMs(0); }
  LoopbackUnit& unit() { return m_f.unit(); }
  MainWindow* window() { return &m_f.window(); }

  QAction* Item(const char* name) { return m_f.Item(name); }
  template <typename T>
  T* Control(QWidget* dialog, const char* name) {
    return m_f.Control<T>(name, dialog);
  }
  EqCopyDialog* Form4() { return window()->eqCopyDialog(); }
  TheaterProfileDialog* Form5() { return window()->profileDialog(); }
  DeviceInfoDialog* Form8() { return window()->deviceInfoDialog(); }
  QString Line(const char* name) { return Control<QLabel>(Form5(), name)->text(); }
  void SearchAndConnect() { m_f.SearchAndConnect(); }
  void ConnectListedUnit() { m_f.ConnectListed(); }
  void ReadAll() { m_f.ReadAll(); }

  // Sends a restart from the File menu and checks that it is the first frame the unit hears
  // since frames was last cleared: nothing was sent before it.
  void ExpectNothingBeforeRestart() {
    Item("N27")->trigger();
    QTRY_VERIFY(!unit().frames().isEmpty());
    QCOMPARE(unit().frames()[0].address, int(frame::kControlCommandAddress));
  }

  // The copy as a user makes it: open from the menu, pick the source, tick the targets.
  void CopyWith(int source, const QList<int>& targets) {
    Item("EQ3")->trigger();
    QVERIFY(Form4()->isVisible());
    Control<QRadioButton>(Form4(), qPrintable(QStringLiteral("suiRadioGroup1_%1").arg(source)))->click();
    for (int i = 0; i < EqCopyDialog::kChannels; ++i) {
      auto* box = Control<QCheckBox>(Form4(), qPrintable(QStringLiteral("suiCheckGroup1_%1").arg(i)));
      if (box->isChecked() != targets.contains(i)) box->click();
    }
    QTest::mouseClick(Control<QPushButton>(Form4(), "suiButton1"), Qt::LeftButton);
    QVERIFY(!Form4()->isVisible());
  }

  // Opens the serial-number dialog with a long press on the logo.
  void LongPressLogo() {
    auto* logo = window()->findChild<LogoImage*>(QStringLiteral("Image2"));
    QVERIFY(logo != nullptr);
    QTest::mousePress(logo, Qt::LeftButton);
    QTRY_VERIFY(window()->state().pressTicks > MainWindow::kLongPressTicks);
    QTest::mouseRelease(logo, Qt::LeftButton);
    QVERIFY(Form8()->isVisible());
  }

  static void Retype(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    // One key event per character, surrogate pairs kept together as a keyboard sends them.
    for (qsizetype i = 0; i < text.size(); ++i) {
      const qsizetype n = text.at(i).isHighSurrogate() ? 2 : 1;
      QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, text.mid(i, n), Qt::NoModifier);
      i += n - 1;
    }
  }

 private slots:
  void cleanup() { m_f.Reset(); }

  void eqCopyCopiesTheSourceThenSendsTheImageAndTheRestart() {
    StartUnit();
    MakeWindow();
    SearchAndConnect();
    struct Case {
      const char* name;
      int source;
      QList<int> targets;
      QList<Move> moves;
    };
    const QList<Case> cases{
        {"left to center and right", 0, {1, 2}, {{252, 280, 27}, {252, 308, 27}, {224, 228, 4}, {224, 232, 4}}},
        {"no target ticked", 4, {}, {}},
        {"right to left, itself and right surround", 2, {0, 2, 4},
         {{308, 252, 27}, {308, 364, 27}, {232, 224, 4}, {232, 240, 4}}},
        {"right surround to left surround", 4, {3}, {{364, 336, 27}, {240, 236, 4}}},
    };
    ParameterImage& image = window()->image();
    for (const Case& c : cases) {
      FillEqualizerPattern(image);
      ParameterImage expected = image;
      for (const Move& m : c.moves) StoreBytes(expected, m.to, ImageBytes(image, m.from, m.count));
      unit().ClearFrames();

      CopyWith(c.source, c.targets);
      QVERIFY2(image == expected, c.name);

      // The whole image, acknowledged by the unit, then the restart: 2 at 3001.
      QTRY_COMPARE(unit().frames().size(), 2);
      const LoopbackUnit::Frame block = unit().frames()[0];
      QCOMPARE(block.command, int(frame::Command::BlockWrite));
      QCOMPARE(block.address, 0);
      QCOMPARE(block.count, int(kImageSize));
      QVERIFY2(block.data == ImageBytes(expected), c.name);
      const LoopbackUnit::Frame restart = unit().frames()[1];
      QCOMPARE(restart.command, int(frame::Command::Write));
      QCOMPARE(restart.address, int(frame::kControlCommandAddress));
      QCOMPARE(restart.data, QByteArray(1, '\x02'));
    }
  }

  // While disconnected the copy and the serial number change only the image; the dialog
  // keeps its source and targets for the next opening.
  void whileDisconnectedOnlyTheImageChanges() {
    StartUnit();
    MakeWindow();
    SearchAndConnect();
    Item("N18")->trigger();
    QCOMPARE(window()->state().connected, 0);
    unit().ClearFrames();

    ParameterImage& image = window()->image();
    FillEqualizerPattern(image);
    ParameterImage expected = image;
    for (const Move& m : QList<Move>{{280, 252, 27}, {280, 336, 27}, {228, 224, 4}, {228, 236, 4}}) {
      StoreBytes(expected, m.to, ImageBytes(image, m.from, m.count));
    }
    CopyWith(1, {0, 3});
    QVERIFY(image == expected);

    LongPressLogo();
    Retype(Control<QLineEdit>(Form8(), "Edit1"), QStringLiteral("OFFLINE-1"));
    QTest::mouseClick(Control<QPushButton>(Form8(), "Button1"), Qt::LeftButton);
    QCOMPARE(image.Text(TextField::serialNumber), std::string("OFFLINE-1"));

    Item("EQ3")->trigger();
    for (int i = 0; i < EqCopyDialog::kChannels; ++i) {
      QCOMPARE(Control<QRadioButton>(Form4(), qPrintable(QStringLiteral("suiRadioGroup1_%1").arg(i)))->isChecked(),
               i == 1);
      QCOMPARE(Control<QCheckBox>(Form4(), qPrintable(QStringLiteral("suiCheckGroup1_%1").arg(i)))->isChecked(),
               i == 0 || i == 3);
    }

    ConnectListedUnit();
    ExpectNothingBeforeRestart();
  }

  void profileTypingStoresAtOnceAndSendsNothing() {
    StartUnit();
    MakeWindow();
    SearchAndConnect();
    unit().ClearFrames();
    Item("N22")->trigger();
    QLineEdit* edit = Control<QLineEdit>(Form5(), "Edit4");
    const ParameterImage& image = window()->image();
    struct Case {
      QString typed;
      QString shown;    // what the edit holds afterwards
      int storedBytes;  // GBK bytes before the terminator in the slot
    };
    const QString longAscii(45, QLatin1Char('x'));
    QString longChinese;
    for (int i = 0; i < 20; ++i) longChinese += U("影");
    const QList<Case> cases{
        {QStringLiteral("Hall 7"), QStringLiteral("Hall 7"), 6},
        {U("放映厅A"), U("放映厅A"), 7},
        {longAscii, longAscii.left(39), 39},         // the 40th byte would leave no room for the zero
        {longChinese, longChinese.left(19), 38},      // a 20th character would need bytes 39 and 40
        {U("A\U0001F3ACB"), QStringLiteral("AB"), 2},  // GBK cannot hold the clapper board
    };
    for (const Case& c : cases) {
      Retype(edit, c.typed);
      QCOMPARE(edit->text(), c.shown);
      QCOMPARE(QString::fromStdString(image.Text(TextField::theaterName)), c.shown);
      QCOMPARE(int(image.TextBytes(TextField::theaterName).size()), c.storedBytes);
      QCOMPARE(image.U8(addr::theaterName + c.storedBytes), 0);
    }

    // A save stores what was typed, with no step on the dialog.
    Retype(edit, U("一号厅"));
    const QString path = m_f.Path(QStringLiteral("profile.kvdat"));
    window()->files().setPathProvider({[&] { return path; }, [&] { return path; }});
    Item("N5")->trigger();
    ParameterImage loaded;
    QCOMPARE(LoadProjectFile(path.toStdString(), loaded), FileResult::Ok);
    QCOMPARE(loaded.Text(TextField::theaterName), std::string("一号厅"));

    ExpectNothingBeforeRestart();
  }

  // Opening a project changes the image but not the profile dialog; opening the dialog
  // afterwards shows the project's texts, so a keystroke cannot write an older text back.
  void theProfileOpensWithTheProjectsTexts() {
    MakeWindow();
    Item("N22")->trigger();
    QLineEdit* edit = Control<QLineEdit>(Form5(), "Edit4");
    Retype(edit, QStringLiteral("Hall A"));

    // The dialog stays open while another project is opened: its edits must follow, or the
    // next keystroke would write "Hall A" over the opened project's name.
    ParameterImage project;
    project.ApplyNewProjectDefaults();
    QCOMPARE(project.SetText(TextField::theaterName, "Hall B"), TextStoreResult::Stored);
    const QString path = m_f.Path(QStringLiteral("hall-b.kvdat"));
    QCOMPARE(SaveProjectFile(path.toStdString(), project), FileResult::Ok);
    window()->files().setPathProvider({[&] { return path; }, [&] { return path; }});
    Item("N3")->trigger();
    QCOMPARE(window()->image().Text(TextField::theaterName), std::string("Hall B"));
    QCOMPARE(edit->text(), QStringLiteral("Hall B"));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, QStringLiteral("C"));
    QCOMPARE(window()->image().Text(TextField::theaterName), std::string("Hall BC"));
  }

  void aWholeImageReadShowsTheProfileAndLeavesTheImageAsReceived() {
    StartUnit();
    ParameterImage unitImage = unit().image();
    QCOMPARE(unitImage.SetText(TextField::theaterName, "Hall 1"), TextStoreResult::Stored);
    unit().SetImage(unitImage);
    MakeWindow();
    SearchAndConnect();
    QCOMPARE(Control<QLineEdit>(Form5(), "Edit4")->text(), QStringLiteral("Hall 1"));

    // The unit's texts change before the read, so that every edit is filled anew by it.
    QCOMPARE(unitImage.SetText(TextField::digitalPlayer1, "播放机A"), TextStoreResult::Stored);
    QCOMPARE(unitImage.SetText(TextField::theaterName, "Hall 2"), TextStoreResult::Stored);
    StoreBytes(unitImage, addr::projectName, QByteArray("Old\0rest of an older name", 25));
    StoreBytes(unitImage, addr::automationSystem, QByteArray("\x81\x20OK\0", 5));  // not valid GBK
    StoreBytes(unitImage, addr::comments, QByteArray(40, 'c'));                   // no terminator
    StoreBytes(unitImage, addr::serialNumber, QByteArrayLiteral("0123456789ABCDEF"));
    QCOMPARE(unitImage.SetText(TextField::firmwareVersion, "V2.5"), TextStoreResult::Stored);
    QCOMPARE(unitImage.SetText(TextField::firmwareDate, "Jan  9 2026"), TextStoreResult::Stored);
    unit().SetImage(unitImage);
    QVERIFY(unit().image() == unitImage);

    Item("Endlish1")->trigger();
    ReadAll();
    const QByteArray received = ImageBytes(unitImage);
    QCOMPARE(ImageBytes(window()->image()), received);

    const QList<std::pair<const char*, QString>> edits{
        {"Edit1", U("播放机A")}, {"Edit3", QStringLiteral("Old")}, {"Edit4", QStringLiteral("Hall 2")},
        {"Edit8", QString(39, QLatin1Char('c'))}};  // what the slot holds once typed in: 39 bytes
    for (const auto& [name, text] : edits) QCOMPARE(Control<QLineEdit>(Form5(), name)->text(), text);
    QVERIFY(Control<QLineEdit>(Form5(), "Edit7")->text().endsWith(QStringLiteral("OK")));

    // Chinese prefixes with the values after a read, even in English; the bare captions of
    // the language after a switch.
    const QList<const char*> lines{"StaticText12", "StaticText11", "StaticText13", "StaticText14"};
    const QStringList afterRead{U("设备型号：      MZR4700"), U("设备序列号：  0123456789ABCDEF"),
                                U("固件版本：      V2.5"), U("固件发布：      Jan  9 2026")};
    const QStringList chinese{U("设备型号:"), U("设备序列号:"), U("固件版本:"), U("固件发布:")};
    const QStringList english{U("Component Model:"), U("Serial Number:"), U("Firmware VER:"), U("Firmware Date:")};
    const auto shown = [&] {
      QStringList texts;
      for (const char* name : lines) texts << Line(name);
      return texts;
    };
    QCOMPARE(shown(), afterRead);
    Item("N24")->trigger();
    QCOMPARE(shown(), chinese);
    Item("Endlish1")->trigger();
    QCOMPARE(shown(), english);
    QCOMPARE(ImageBytes(window()->image()), received);
    ReadAll();
    QCOMPARE(shown(), afterRead);
  }

  void theSerialNumberGoesToTheUnitAndShowsInFull() {
    StartUnit();
    MakeWindow();
    SearchAndConnect();
    LongPressLogo();
    QLineEdit* edit = Control<QLineEdit>(Form8(), "Edit1");
    const ParameterImage& image = window()->image();
    const std::uint8_t firmwareFirst = image.U8(addr::firmwareVersion);
    struct Case {
      QString typed;
      QByteArray stored;  // the slot's bytes from 80 up to the terminator or the slot's end
    };
    QString tooLongChinese;
    for (int i = 0; i < 9; ++i) tooLongChinese += U("序");
    const QList<Case> cases{
        {QStringLiteral("SN-42"), QByteArrayLiteral("SN-42")},
        {U("序列号12345"), QByteArrayLiteral("\xD0\xF2\xC1\xD0\xBA\xC5" "12345")},
        {tooLongChinese, QByteArray("\xD0\xF2").repeated(8)},                // a ninth would need 18 bytes
        {QStringLiteral("ABCDEFGHIJKLMNOPQ"), QByteArrayLiteral("ABCDEFGHIJKLMNOP")},  // the 17th is refused
    };
    for (const Case& c : cases) {
      unit().ClearFrames();
      Retype(edit, c.typed);
      QTest::mouseClick(Control<QPushButton>(Form8(), "Button1"), Qt::LeftButton);
      QCOMPARE(ImageBytes(image, addr::serialNumber, int(c.stored.size())), c.stored);
      if (c.stored.size() < 16) QCOMPARE(image.U8(addr::serialNumber + int(c.stored.size())), 0);
      QCOMPARE(image.U8(addr::firmwareVersion), firmwareFirst);
      QTRY_COMPARE(unit().frames().size(), 1);
      QCOMPARE(unit().frames()[0].command, int(frame::Command::BlockWrite));
      QCOMPARE(unit().frames()[0].address, addr::serialNumber);
      QCOMPARE(unit().frames()[0].data, ImageBytes(image, addr::serialNumber, 16));
      QVERIFY(Form8()->isVisible());
    }
    ReadAll();
    QCOMPARE(Line("StaticText11"), U("设备序列号：  ABCDEFGHIJKLMNOP"));
  }

  // The dialogs build their controls when first asked for. Built late, they show what they
  // would show had they been built with the window: the language of the moment, and identity
  // lines with the image's values when a refresh (New) came after the last language change,
  // the bare captions otherwise.
  void dialogsBuiltLateShowTheLanguageAndTheLastRefresh() {
    struct Case {
      const char* name;
      QList<const char*> items;
      bool values;
      const char* bareModel;
      const char* copyButton;
      const char* copyCaption;
    };
    const QList<Case> cases{
        {"as started", {}, false, "设备型号:", "复制到 >>>", "复制EQ参数"},
        {"English, then New", {"Endlish1", "N2"}, true, "", "Copy To ...", "Copy EQ Settings"},
        {"New, then English", {"N2", "Endlish1"}, false, "Component Model:", "Copy To ...", "Copy EQ Settings"},
        {"English, then Chinese", {"Endlish1", "N24"}, false, "设备型号:", "复制到 >>>", "复制EQ参数"},
    };
    for (const Case& c : cases) {
      MakeWindow();
      for (const char* item : c.items) Item(item)->trigger();
      const QString model = c.values ? U("设备型号：      ") + QString::fromStdString(window()->image().Text(TextField::modelName))
                                     : U(c.bareModel);
      QVERIFY2(window()->findChild<QLabel*>(QStringLiteral("StaticText12")) == nullptr, c.name);
      QCOMPARE(Line("StaticText12"), model);
      QCOMPARE(Control<QPushButton>(Form4(), "suiButton1")->text(), U(c.copyButton));
      QCOMPARE(Form4()->windowTitle(), U(c.copyCaption));
    }
  }

  void theVersionLineCarriesToday() {
    MakeWindow();
    const auto expected = [] {
      return U("软件版本： V") + ProgramFileVersion() + QStringLiteral("   ") +
             QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat) +
             QStringLiteral("          TQV5600");
    };
    for (const char* language : {"Endlish1", "N24"}) {
      const QString before = expected();
      Item(language)->trigger();
      const QString shown = Line("StaticText15");
      QVERIFY2(shown == before || shown == expected(), qPrintable(shown));  // a run across midnight
    }
  }

  void everyEditAndValueTextIsNamedInTheLanguage() {
    MakeWindow();
    struct Case {
      QWidget* dialog;
      const char* control;
      const char* chinese;
      const char* english;
    };
    const QList<Case> cases{
        {Form5(), "Edit1", "数字播放器1", "Digital Player1"},
        {Form5(), "Edit6", "放映机型号", "Projector Model Number"},
        {Form5(), "Edit8", "备注", "Comments"},
        {Form5(), "StaticText12", "设备型号", "Component Model"},
        {Form5(), "StaticText11", "设备序列号", "Serial Number"},
        {Form5(), "StaticText14", "固件发布", "Firmware Date"},
        {Form5(), "StaticText15", "软件版本", "Software Version"},
        {Form4(), "suiRadioGroup1", "源通道", "Source channel"},
        {Form4(), "suiCheckGroup1", "目标通道", "Target channels"},
        {Form4(), "suiRadioGroup1_3", "左环绕", "Left Surround"},
        {Form4(), "suiCheckGroup1_4", "右环绕", "Right Surround"},
        {Form4(), "suiButton1", "复制到 >>>", "Copy To ..."},
        {Form8(), "Edit1", "序列号", "Serial number"},
    };
    for (const char* language : {"N24", "Endlish1"}) {
      Item(language)->trigger();
      const bool english = window()->state().languageIndex == 1;
      Form8()->ShowModeless();
      for (const Case& c : cases) {
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(Control<QWidget>(c.dialog, c.control));
        QVERIFY(accessible != nullptr);
        QCOMPARE(accessible->text(QAccessible::Name), U(english ? c.english : c.chinese));
      }
      Form8()->close();
    }
  }

  // End to end: the copy reaches the simulated unit, whose image read back is the program's.
  void copyLeftToAllReachesTheSimulatedUnit() {
    SimProcess& sim = m_f.StartSim({QStringLiteral("--units"), QStringLiteral("1"), QStringLiteral("--restart-ms"),
                                    QStringLiteral("0")});
    if (QTest::currentTestFailed()) return;
    MakeWindow();
    SearchAndConnect();
    ParameterImage& image = window()->image();
    for (int band = 0; band < kGeqBands; ++band) image.setGeqGain(0, band, std::int8_t(band * 4 - 50));
    image.setToneControl(0, ToneControl{-35, 3, 42, 5});
    const qsizetype before = sim.LogLines().size();

    CopyWith(0, {0, 1, 2, 3, 4});
    for (int ch = 1; ch < EqCopyDialog::kChannels; ++ch) {
      QCOMPARE(ImageBytes(image, ParameterImage::GeqAddress(ch, 0), kGeqBands),
               ImageBytes(image, ParameterImage::GeqAddress(0, 0), kGeqBands));
      QVERIFY(image.toneControl(ch) == image.toneControl(0));
    }
    QVERIFY(sim.WaitForLogLines(before + 2));
    const QList<QJsonObject> frames = sim.LogLines().mid(before);
    QCOMPARE(frames[0].value(QStringLiteral("command")).toInt(), 16);
    QCOMPARE(frames[0].value(QStringLiteral("count")).toInt(), int(kImageSize));
    QCOMPARE(frames[1].value(QStringLiteral("address")).toInt(), int(frame::kControlCommandAddress));

    const ParameterImage sent = image;
    image.setGeqGain(2, 5, 0);  // something for the read to put right
    ReadAll();
    QVERIFY(image == sent);
  }
};

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
