// The EQ copy, theater profile and serial-number dialogs on the real main window
// (offscreen), connected through a real search to a unit on loopback: a test unit at
// 127.0.0.2 that answers with its image, applies and acknowledges writes and records every
// frame it is sent, or mzr4700-sim for the end-to-end part. Every datagram stays on
// 127.0.0.0/8.

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDate>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <memory>

#include "files/ProjectFile.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "model/ParameterImage.h"
#include "support/SimProcess.h"
#include "ui/dialogs/DeviceInfoDialog.h"
#include "ui/devices/DeviceListPanel.h"
#include "ui/devices/DeviceSession.h"
#include "ui/dialogs/EqCopyDialog.h"
#include "ui/window/LogoImage.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ProgramVersion.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/dialogs/TheaterProfileDialog.h"

using namespace mzr;
using mzr::test::SimProcess;

namespace {

QString U(const char* text) { return QString::fromUtf8(text); }

const QHostAddress kUnitAddress(QStringLiteral("127.0.0.2"));

QByteArray ImageBytes(const ParameterImage& image, int address = 0, int count = int(kImageSize)) {
  return QByteArray(reinterpret_cast<const char*>(image.All().data()) + address, count);
}

void StoreBytes(ParameterImage& image, int address, const QByteArray& bytes) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
  QVERIFY(image.Store(static_cast<std::size_t>(address), {data, static_cast<std::size_t>(bytes.size())}));
}

// Plays one unit at 127.0.0.2 on the window's port: answers the search broadcast and reads
// with its image, applies and acknowledges writes, and records every frame sent to its own
// address, in the order they arrive.
class LoopbackUnit final {
 public:
  struct Frame {
    int command;
    int address;
    int count;
    QByteArray data;
  };

  explicit LoopbackUnit(quint16 port) {
    image.ApplyNewProjectDefaults();
    image.setIpAddress({127, 0, 0, 2});
    image.setSubnetMask({255, 0, 0, 0});
    image.setGateway({127, 0, 0, 1});
    image.setUdpPort(port);
    image.setMacAddress({0x4C, 0x32, 0x7F, 0, 0, 2});
    const auto flags = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
    m_bound = m_unit.bind(kUnitAddress, port, flags) &&
              m_broadcast.bind(QHostAddress(QStringLiteral("127.255.255.255")), port, flags);
    QObject::connect(&m_unit, &QUdpSocket::readyRead, [this] { Take(m_unit, true); });
    QObject::connect(&m_broadcast, &QUdpSocket::readyRead, [this] { Take(m_broadcast, false); });
  }

  bool bound() const { return m_bound; }

  ParameterImage image;
  QList<Frame> frames;

 private:
  void Take(QUdpSocket& socket, bool record) {
    while (socket.hasPendingDatagrams()) {
      const QNetworkDatagram d = socket.receiveDatagram();
      const QByteArray bytes = d.data();
      const auto request = frame::ParseRequest(
          {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())});
      // Answers go back only to loopback senders.
      if (!request || !d.senderAddress().isInSubnet(QHostAddress(QStringLiteral("127.0.0.0")), 8)) continue;
      const QByteArray data(reinterpret_cast<const char*>(request->data.data()), qsizetype(request->data.size()));
      if (record) frames.append({int(request->command), request->address, request->count, data});
      frame::Bytes answer;
      if (request->command == frame::Command::Read) {
        const auto span = image.Bytes(request->address, request->count);
        if (!span) continue;
        answer = frame::BuildReadReply(request->address, *span);
      } else {
        (void)image.Store(request->address, request->data);  // command registers lie outside the image
        answer = frame::BuildAck(request->command, request->address, request->count);
      }
      m_unit.writeDatagram(reinterpret_cast<const char*>(answer.data()), qint64(answer.size()), d.senderAddress(),
                           quint16(d.senderPort()));
    }
  }

  QUdpSocket m_unit;
  QUdpSocket m_broadcast;
  bool m_bound = false;
};

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
  QTemporaryDir m_dir;
  quint16 m_port = 0;
  std::unique_ptr<LoopbackUnit> m_unit;
  std::unique_ptr<SimProcess> m_sim;
  std::unique_ptr<MainWindow> m_window;

  void MakeWindow() {
    MainWindow::Options options;
    options.timer1IntervalMs = 1;
    options.drawerStepIntervalMs = 1;
    options.udpPort = m_port;
    options.bindAddress = QHostAddress(QStringLiteral("127.0.0.1"));
    options.configPath = m_dir.filePath(QStringLiteral("Config.ini"));
    options.networkSettleMs = 20;
    // No test here waits for a time-out: a slow answer on a loaded machine must not become one.
    options.linkTimeoutMs = 60000;
    m_window = std::make_unique<MainWindow>(options);
    m_window->show();
  }

  void StartUnit() {
    m_unit = std::make_unique<LoopbackUnit>(m_port);
    QVERIFY(m_unit->bound());
  }

  QAction* Item(const char* name) {
    QAction* action = m_window->menuBar()->findChild<QAction*>(U(name));
    if (action == nullptr) qFatal("menu item %s missing", name);
    return action;
  }
  template <typename T>
  static T* Control(QWidget* dialog, const char* name) {
    T* control = dialog->findChild<T*>(U(name));
    if (control == nullptr) qFatal("control %s missing", name);
    return control;
  }
  EqCopyDialog* Form4() { return m_window->eqCopyDialog(); }
  TheaterProfileDialog* Form5() { return m_window->profileDialog(); }
  DeviceInfoDialog* Form8() { return m_window->deviceInfoDialog(); }
  DeviceDiscovery& discovery() { return m_window->deviceSession()->discovery(); }
  QString Line(const char* name) { return Control<QLabel>(Form5(), name)->text(); }

  // Search from the Communication menu, select the unit's row and press "connect".
  void SearchAndConnect() {
    QSignalSpy completed(&discovery(), &DeviceDiscovery::searchCompleted);
    Item("N17")->trigger();
    QVERIFY(completed.wait(10000));
    ConnectListedUnit();
  }
  void ConnectListedUnit() {
    const int row = discovery().RowOf(kUnitAddress.toString());
    QVERIFY(row >= 1);
    QTableWidget* grid = m_window->deviceSession()->panel()->grid();
    QTableWidgetItem* cell = grid->item(row - 1, 1);
    grid->scrollToItem(cell);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(cell).center());
    QTest::mouseClick(m_window->findChild<QPushButton*>(QStringLiteral("suiButton24")), Qt::LeftButton);
    QCOMPARE(m_window->state().connected, 1);
  }

  // Reads the unit's whole image with the File menu's "read" and waits for it.
  void ReadAll() {
    QSignalSpy received(&m_window->link(), &ParamLink::imageReceived);
    Item("N21")->trigger();
    QVERIFY(received.wait(10000));
  }

  // Sends a restart from the File menu and checks that it is the first frame the unit hears
  // since frames was last cleared: nothing was sent before it.
  void ExpectNothingBeforeRestart() {
    Item("N27")->trigger();
    QTRY_VERIFY(!m_unit->frames.isEmpty());
    QCOMPARE(m_unit->frames[0].address, int(frame::kControlCommandAddress));
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
    auto* logo = m_window->findChild<LogoImage*>(QStringLiteral("Image2"));
    QVERIFY(logo != nullptr);
    QTest::mousePress(logo, Qt::LeftButton);
    QTRY_VERIFY(m_window->state().pressTicks > MainWindow::kLongPressTicks);
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
  void initTestCase() {
    QVERIFY(m_dir.isValid());
    QFile ini(m_dir.filePath(QStringLiteral("Config.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[SysPara]\nsearchTime=500\n");
    ini.close();
    qputenv("MZR4700_LOCAL_IP", "127.0.0.1");
  }

  void init() {
    m_port = mzr::test::FreeUdpPort();
    QVERIFY(m_port != 0);
  }

  void cleanup() {
    m_window.reset();
    m_unit.reset();
    m_sim.reset();
  }

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
    ParameterImage& image = m_window->image();
    for (const Case& c : cases) {
      FillEqualizerPattern(image);
      ParameterImage expected = image;
      for (const Move& m : c.moves) StoreBytes(expected, m.to, ImageBytes(image, m.from, m.count));
      m_unit->frames.clear();

      CopyWith(c.source, c.targets);
      QVERIFY2(image == expected, c.name);

      // The whole image, acknowledged by the unit, then the restart: 2 at 3001.
      QTRY_COMPARE(m_unit->frames.size(), 2);
      const LoopbackUnit::Frame& block = m_unit->frames[0];
      QCOMPARE(block.command, int(frame::Command::BlockWrite));
      QCOMPARE(block.address, 0);
      QCOMPARE(block.count, int(kImageSize));
      QVERIFY2(block.data == ImageBytes(expected), c.name);
      const LoopbackUnit::Frame& restart = m_unit->frames[1];
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
    QCOMPARE(m_window->state().connected, 0);
    m_unit->frames.clear();

    ParameterImage& image = m_window->image();
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
    m_unit->frames.clear();
    Item("N22")->trigger();
    QLineEdit* edit = Control<QLineEdit>(Form5(), "Edit4");
    const ParameterImage& image = m_window->image();
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
    const QString path = m_dir.filePath(QStringLiteral("profile.kvdat"));
    m_window->files().setPathProvider({[&] { return path; }, [&] { return path; }});
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
    const QString path = m_dir.filePath(QStringLiteral("hall-b.kvdat"));
    QCOMPARE(SaveProjectFile(path.toStdString(), project), FileResult::Ok);
    m_window->files().setPathProvider({[&] { return path; }, [&] { return path; }});
    Item("N3")->trigger();
    QCOMPARE(m_window->image().Text(TextField::theaterName), std::string("Hall B"));
    QCOMPARE(edit->text(), QStringLiteral("Hall B"));
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, QStringLiteral("C"));
    QCOMPARE(m_window->image().Text(TextField::theaterName), std::string("Hall BC"));
  }

  void aWholeImageReadShowsTheProfileAndLeavesTheImageAsReceived() {
    StartUnit();
    ParameterImage& unitImage = m_unit->image;
    QCOMPARE(unitImage.SetText(TextField::theaterName, "Hall 1"), TextStoreResult::Stored);
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

    Item("Endlish1")->trigger();
    ReadAll();
    const QByteArray received = ImageBytes(unitImage);
    QCOMPARE(ImageBytes(m_window->image()), received);

    const QList<std::pair<const char*, QString>> edits{
        {"Edit1", U("播放机A")}, {"Edit3", QStringLiteral("Old")}, {"Edit4", QStringLiteral("Hall 2")},
        {"Edit8", QString(40, QLatin1Char('c'))}};
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
    QCOMPARE(ImageBytes(m_window->image()), received);
    ReadAll();
    QCOMPARE(shown(), afterRead);
  }

  void theSerialNumberGoesToTheUnitAndShowsInFull() {
    StartUnit();
    MakeWindow();
    SearchAndConnect();
    LongPressLogo();
    QLineEdit* edit = Control<QLineEdit>(Form8(), "Edit1");
    const ParameterImage& image = m_window->image();
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
      m_unit->frames.clear();
      Retype(edit, c.typed);
      QTest::mouseClick(Control<QPushButton>(Form8(), "Button1"), Qt::LeftButton);
      QCOMPARE(ImageBytes(image, addr::serialNumber, int(c.stored.size())), c.stored);
      if (c.stored.size() < 16) QCOMPARE(image.U8(addr::serialNumber + int(c.stored.size())), 0);
      QCOMPARE(image.U8(addr::firmwareVersion), firmwareFirst);
      QTRY_COMPARE(m_unit->frames.size(), 1);
      QCOMPARE(m_unit->frames[0].command, int(frame::Command::BlockWrite));
      QCOMPARE(m_unit->frames[0].address, addr::serialNumber);
      QCOMPARE(m_unit->frames[0].data, ImageBytes(image, addr::serialNumber, 16));
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
      const QString model = c.values ? U("设备型号：      ") + QString::fromStdString(m_window->image().Text(TextField::modelName))
                                     : U(c.bareModel);
      QVERIFY2(m_window->findChild<QLabel*>(QStringLiteral("StaticText12")) == nullptr, c.name);
      QCOMPARE(Line("StaticText12"), model);
      QCOMPARE(Control<QPushButton>(Form4(), "suiButton1")->text(), U(c.copyButton));
      QCOMPARE(Form4()->windowTitle(), U(c.copyCaption));
      m_window.reset();
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
      const bool english = m_window->state().languageIndex == 1;
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
    m_sim = std::make_unique<SimProcess>();
    QString error;
    QVERIFY2(m_sim->Start({QStringLiteral("--units"), QStringLiteral("1"), QStringLiteral("--port"),
                           QString::number(m_port), QStringLiteral("--restart-ms"), QStringLiteral("0")},
                          &error),
             qPrintable(error));
    MakeWindow();
    SearchAndConnect();
    ParameterImage& image = m_window->image();
    for (int band = 0; band < kGeqBands; ++band) image.setGeqGain(0, band, std::int8_t(band * 4 - 50));
    image.setToneControl(0, ToneControl{-35, 3, 42, 5});
    const qsizetype before = m_sim->LogLines().size();

    CopyWith(0, {0, 1, 2, 3, 4});
    for (int ch = 1; ch < EqCopyDialog::kChannels; ++ch) {
      QCOMPARE(ImageBytes(image, ParameterImage::GeqAddress(ch, 0), kGeqBands),
               ImageBytes(image, ParameterImage::GeqAddress(0, 0), kGeqBands));
      QVERIFY(image.toneControl(ch) == image.toneControl(0));
    }
    QVERIFY(m_sim->WaitForLogLines(before + 2));
    const QList<QJsonObject> frames = m_sim->LogLines().mid(before);
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
