// The network-settings change and the download through the real main window (offscreen),
// against mzr4700-sim on loopback. The window's socket is bound to 127.0.0.1, so no frame
// can leave the machine even where a unit's image names an address outside loopback; the
// simulator's frame log shows which unit received what, and its state folder what a unit
// stored.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QUdpSocket>

#include "files/ProjectFile.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "support/WindowFixture.h"
#include "ui/window/MainWindow.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"
#include "ui/window/StatusBar.h"

using namespace mzr;
using mzr::test::SimProcess;
using mzr::test::U;
using mzr::test::WindowFixture;

namespace {

QString UnitIp(int k) { return QStringLiteral("127.0.0.%1").arg(2 + k); }

// Downloads through the window against a unit that loses 10% of the requests it hears.
constexpr int kLossyDownloads = 200;

}  // namespace

class NetworkChangeWindowTest final : public QObject {
  Q_OBJECT

 private:
  WindowFixture m_f{1500};

  void StartSim(const QStringList& args) { m_f.StartSim(args); }
  SimProcess& sim() { return m_f.sim(); }
  void MakeWindow(int linkTimeoutMs = 60000) {
    WindowFixture::Settings settings;
    settings.linkTimeoutMs = linkTimeoutMs;
    m_f.MakeWindow(settings);
  }
  MainWindow* window() { return &m_f.window(); }

  DeviceDiscovery& discovery() { return m_f.discovery(); }
  QTableWidget* grid() { return m_f.grid(); }
  QString Status(int panel) { return m_f.Status(panel); }
  template <typename T>
  T* Control(const char* name) {
    return m_f.Control<T>(name);
  }
  QAction* Item(const char* name) { return m_f.Item(name); }
  void SearchFromMenu() { m_f.SearchFromMenu(); }

  void SelectRow(int row) {
    m_f.SelectRow(row);
    QCOMPARE(grid()->currentRow(), row - 1);
  }

  // Types new settings for the selected row and presses "修改设备网络参数".
  void ChangeSelected(const QString& ip) {
    Control<QLineEdit>("suiEdit1")->setText(ip);
    Control<QLineEdit>("suiEdit2")->setText(QStringLiteral("255.0.0.0"));
    Control<QLineEdit>("suiEdit3")->setText(QStringLiteral("127.0.0.1"));
    QTest::mouseClick(Control<QPushButton>("suiButton26"), Qt::LeftButton);
  }

  // The change was answered: the window searches again; waits for that search to end.
  void WaitForTheSearchAfterTheChange() {
    QSignalSpy started(&discovery(), &DeviceDiscovery::searchStarted);
    QSignalSpy completed(&discovery(), &DeviceDiscovery::searchCompleted);
    QVERIFY(started.wait(10000));
    QVERIFY(completed.wait(10000));
  }

  // The network writes (12 bytes at 138) in the log after skip lines, as "unit<-to".
  QStringList NetworkWritesAfter(qsizetype skip) {
    QStringList writes;
    for (const QJsonObject& line : sim().LogLines().mid(skip)) {
      if (line.value(QStringLiteral("command")).toInt() == 6 && line.value(QStringLiteral("address")).toInt() == 138) {
        writes << line.value(QStringLiteral("unit")).toString() + QStringLiteral("<-") +
                      line.value(QStringLiteral("to")).toString();
      }
    }
    return writes;
  }

  // The selected row shows the unit at ip.
  void ExpectSelected(const QString& ip) {
    const int row = discovery().RowOf(ip);
    QVERIFY2(row != 0, qPrintable(ip + QStringLiteral(" is not listed")));
    QCOMPARE(grid()->currentRow(), row - 1);
    QCOMPARE(Control<QLineEdit>("suiEdit1")->text(), ip);
    QVERIFY(Control<QPushButton>("suiButton26")->isEnabled());
  }

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }

  void cleanup() { m_f.Reset(); }

  // Not connected, row 1 changed: only unit 1 hears the write and moves; the next search
  // lists all three, unit 1 at its new address and selected.
  void notConnectedTheChangeMovesOnlyTheSelectedUnit() {
    StartSim({QStringLiteral("--units"), QStringLiteral("3")});
    MakeWindow();
    SearchFromMenu();
    SelectRow(discovery().RowOf(UnitIp(0)));
    const qsizetype before = sim().LogLines().size();
    ChangeSelected(QStringLiteral("127.0.0.9"));
    WaitForTheSearchAfterTheChange();

    QCOMPARE(NetworkWritesAfter(before), QStringList{UnitIp(0) + QStringLiteral("<-") + UnitIp(0)});
    QCOMPARE(Status(0), QStringLiteral("Search completed    find:3"));
    QCOMPARE(discovery().RowOf(UnitIp(0)), 0);
    QVERIFY(discovery().RowOf(UnitIp(1)) != 0);
    QVERIFY(discovery().RowOf(UnitIp(2)) != 0);
    ExpectSelected(QStringLiteral("127.0.0.9"));
    QVERIFY(m_f.messages().isEmpty());
    QCOMPARE(window()->state().connected, 0);
  }

  // Connected to unit 3 with row 1 selected: the write goes to unit 1, not to the connected
  // unit, and the program ends disconnected.
  void connectedTheChangeStillGoesToTheSelectedRow() {
    StartSim({QStringLiteral("--units"), QStringLiteral("3")});
    MakeWindow();
    SearchFromMenu();
    SelectRow(discovery().RowOf(UnitIp(2)));
    QTest::mouseClick(Control<QPushButton>("suiButton24"), Qt::LeftButton);
    QCOMPARE(window()->state().connected, 1);

    window()->deviceListDrawer()->ShowPinnedOpen();
    SelectRow(discovery().RowOf(UnitIp(0)));
    const qsizetype before = sim().LogLines().size();
    QSignalSpy started(&discovery(), &DeviceDiscovery::searchStarted);
    ChangeSelected(QStringLiteral("127.0.0.9"));
    QVERIFY(started.wait(10000));
    QCOMPARE(window()->state().connected, 0);
    QCOMPARE(Status(1), U("未连接"));
    QSignalSpy completed(&discovery(), &DeviceDiscovery::searchCompleted);
    QVERIFY(completed.wait(10000));

    QCOMPARE(NetworkWritesAfter(before), QStringList{UnitIp(0) + QStringLiteral("<-") + UnitIp(0)});
    QCOMPARE(Status(0), QStringLiteral("Search completed    find:3"));
    QVERIFY(discovery().RowOf(UnitIp(2)) != 0);  // the connected unit stayed where it was
    QCOMPARE(discovery().RowOf(UnitIp(0)), 0);
    ExpectSelected(QStringLiteral("127.0.0.9"));
    QCOMPARE(window()->state().connected, 0);
  }

  // A unit set up for another network (its image names 192.0.2.7) is reached only by
  // broadcast: refused while other units are listed, broadcast when it is listed alone.
  void aUnitOutsideTheSubnetIsChangedOnlyWhenListedAlone_data() {
    QTest::addColumn<int>("units");
    QTest::addColumn<bool>("sent");
    QTest::newRow("others listed: refused") << 3 << false;
    QTest::newRow("listed alone: broadcast") << 1 << true;
  }
  void aUnitOutsideTheSubnetIsChangedOnlyWhenListedAlone() {
    QFETCH(int, units);
    QFETCH(bool, sent);
    StartSim({QStringLiteral("--units"), QString::number(units), QStringLiteral("--elsewhere"),
              QStringLiteral("192.0.2.7")});
    MakeWindow();
    SearchFromMenu();
    QCOMPARE(discovery().devicesFound(), units);
    const int row = discovery().RowOf(QStringLiteral("192.0.2.7"));
    QVERIFY(row != 0);
    SelectRow(row);
    const qsizetype before = sim().LogLines().size();
    ChangeSelected(QStringLiteral("127.0.0.9"));
    if (!sent) {
      QCOMPARE(m_f.messages().size(), 1);
      QVERIFY(m_f.messages()[0].errorIcon);
      QVERIFY2(m_f.messages()[0].text.contains(U("不在本机网段内")) &&
                   m_f.messages()[0].text.contains(QStringLiteral("outside this PC's subnet")),
               qPrintable(m_f.messages()[0].text));
      // A search after the refusal: the units hear its read and nothing before it.
      SearchFromMenu();
      for (const QJsonObject& line : sim().LogLines().mid(before)) {
        QCOMPARE(line.value(QStringLiteral("command")).toInt(), 3);
      }
      QVERIFY(sim().LogLines().size() > before);
      QCOMPARE(discovery().RowOf(QStringLiteral("127.0.0.9")), 0);
      return;
    }
    WaitForTheSearchAfterTheChange();
    const QString last = UnitIp(units - 1);
    QCOMPARE(NetworkWritesAfter(before), QStringList{last + QStringLiteral("<-127.255.255.255")});
    QVERIFY(m_f.messages().isEmpty());
    QCOMPARE(discovery().RowOf(QStringLiteral("192.0.2.7")), 0);
    ExpectSelected(QStringLiteral("127.0.0.9"));
  }

  // A port held by a socket that shares nothing: one message naming the port, and no
  // time-out armed behind it.
  void aPortThatCannotBeBoundIsSaidOnceWithoutConnectFail() {
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress(QStringLiteral("127.0.0.1")), m_f.port(), QUdpSocket::DontShareAddress));
    MakeWindow(300);
    Item("N17")->trigger();
    QCOMPARE(m_f.messages().size(), 1);
    QVERIFY2(m_f.messages()[0].text.contains(QString::number(m_f.port())), qPrintable(m_f.messages()[0].text));
    QVERIFY(!window()->link().timerActive());
    QCOMPARE(window()->link().pendingCommand(), 0);
    QVERIFY(Status(0) != QStringLiteral("Connect Fail!"));
  }

  // Every "DownLoad Success" leaves the unit's stored image (the simulator's state folder)
  // equal to the image sent; every other download ends in "Connect Fail!".
  void downloadsUnderLossSucceedOnlyWhenStored() {
    const QString stateDir = m_f.Path(QStringLiteral("state-window"));
    StartSim({QStringLiteral("--units"), QStringLiteral("1"), QStringLiteral("--loss"), QStringLiteral("10"),
              QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--state-dir"), stateDir});
    MakeWindow(300);
    for (int attempt = 0; attempt < 20 && discovery().devicesFound() == 0; ++attempt) SearchFromMenu();
    QCOMPARE(discovery().devicesFound(), 1);
    SelectRow(1);
    const QString stored = QDir(stateDir).filePath(QStringLiteral("4C-32-7F-00-00-02.kvdat"));

    int successes = 0;
    int failures = 0;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kLossyDownloads; ++i) {
      if (window()->state().connected == 0) discovery().Connect();
      QCOMPARE(window()->state().connected, 1);
      ParameterImage& image = window()->image();
      image.SetU8(160, static_cast<std::uint8_t>(i));  // every download a different image
      image.SetU8(161, static_cast<std::uint8_t>(i >> 8));
      image.setGeqGain(0, i % 27, static_cast<std::int8_t>(i % 120));
      Item("N20")->trigger();
      QCOMPARE(Status(0), QStringLiteral("DownLoad.."));
      QTRY_VERIFY_WITH_TIMEOUT(Status(0) != QStringLiteral("DownLoad.."), 10000);
      if (Status(0) == QStringLiteral("DownLoad Success")) {
        ++successes;
        ParameterImage unit;
        QCOMPARE(LoadProjectFile(std::filesystem::path(stored.toStdString()), unit), FileResult::Ok);
        for (int at = 0; at < static_cast<int>(kImageSize); ++at) {
          if (at >= addr::macAddress && at < addr::udpPort + 2) continue;  // the unit's own
          if (unit.U8(at) != image.U8(at)) QFAIL(qPrintable(QStringLiteral("download %1: stored byte %2 differs").arg(i).arg(at)));
        }
      } else {
        ++failures;
        QCOMPARE(Status(0), QStringLiteral("Connect Fail!"));
        QCOMPARE(window()->state().connected, 0);
      }
    }
    qInfo("%d downloads with 10%% loss: %d succeeded (each stored as sent), %d ended in \"Connect Fail!\"; %lld ms",
          kLossyDownloads, successes, failures, static_cast<long long>(clock.elapsed()));
    QCOMPARE(successes + failures, kLossyDownloads);
    QVERIFY(successes > 0);
    QVERIFY(failures > 0);  // the loss did bite: the failure path was taken too
  }
};

QTEST_MAIN(NetworkChangeWindowTest)
#include "NetworkChangeWindowTest.moc"
