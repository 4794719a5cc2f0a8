// The link and the device commands end to end against mzr4700-sim on loopback: the link is
// bound on all IPv4 interfaces like the program, the simulated unit answers at 127.0.0.2 on
// the same free port and keeps its stored image in a temporary state folder.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "core/AppState.h"
#include "files/ProjectFile.h"
#include "link/DeviceCommands.h"
#include "link/ParamLink.h"
#include "model/ParameterImage.h"
#include "support/SimProcess.h"

using namespace mzr;
using mzr::test::SimProcess;

namespace {

const QString kUnitAddress = QStringLiteral("127.0.0.2");
// Timer2 where the unit is expected to answer: longer than any test runs, so a loaded
// machine cannot turn a late answer into a time-out. Where silence is expected, short.
constexpr int kAnswerTimeoutMs = 60000;
constexpr int kSilenceTimeoutMs = 300;
const QString kUnitMacText = QStringLiteral("4C-32-7F-00-00-02");  // the simulator derives it from the address

frame::Bytes ImageBytes(const ParameterImage& image) { return frame::Bytes(image.All().begin(), image.All().end()); }

}  // namespace

class LinkSimTest final : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_stateDir;
  std::unique_ptr<SimProcess> m_sim;
  AppState m_state;
  ParameterImage m_image;
  std::unique_ptr<ParamLink> m_link;
  std::unique_ptr<DeviceCommands> m_commands;

  // A simulated unit plus a link connected to it (as after choosing it in the device list).
  void Start(const QStringList& simArguments, int timeoutMs) {
    const quint16 port = test::FreeUdpPort();
    m_sim = std::make_unique<SimProcess>();
    QString error;
    QVERIFY2(m_sim->Start(QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--state-dir"),
                                      m_stateDir.path()} +
                              simArguments,
                          &error),
             qPrintable(error));
    m_state = AppState{};
    m_state.networkMode = 1;
    m_state.connected = 1;
    m_image = ParameterImage{};
    m_image.ApplyNewProjectDefaults();
    m_link = std::make_unique<ParamLink>(m_state, m_image,
                                         ParamLink::Options{port, timeoutMs, QStringLiteral("0.0.0.0")});
    QVERIFY2(m_link->Open(&error), qPrintable(error));
    m_link->setLocalIp(QStringLiteral("127.0.0.1"));
    m_link->setRemoteAddress(kUnitAddress);
    m_commands = std::make_unique<DeviceCommands>(m_state, m_image, *m_link);
  }

  // Read all, tried again while the unit is still silent (after a restart): each attempt
  // ends in the image or in the link's time-out.
  bool ReadAllOnceAnswered(int attempts) {
    QSignalSpy received(m_link.get(), &ParamLink::imageReceived);
    QSignalSpy timedOut(m_link.get(), &ParamLink::timedOut);
    for (int i = 0; i < attempts && received.isEmpty(); ++i) {
      m_state.connected = 1;
      m_commands->ReadAll();
      (void)QTest::qWaitFor([&] { return !received.isEmpty() || timedOut.size() > i; }, 10000);
    }
    return !received.isEmpty();
  }

 private slots:
  void initTestCase() { QVERIFY(m_stateDir.isValid()); }
  void cleanup() {
    m_commands.reset();
    m_link.reset();
    m_sim.reset();
  }

  void readAllTakesTheUnitsImage() {
    Start({}, kAnswerTimeoutMs);
    QSignalSpy received(m_link.get(), &ParamLink::imageReceived);
    m_commands->ReadAll();
    QVERIFY(received.wait());
    QCOMPARE(m_image.ipAddress(), (Ip4{127, 0, 0, 2}));
    QCOMPARE(m_image.macAddress(), (Mac{0x4C, 0x32, 127, 0, 0, 2}));
    QCOMPARE(m_image.Text(TextField::theaterName), std::string("Hall 1"));
    QCOMPARE(m_image.Text(TextField::screenNumber), std::string("1"));
    QVERIFY(!m_link->timerActive());
    QCOMPARE(m_state.connected, 1);
  }

  void downloadAllStoresTheProgramsImageInTheUnit() {
    Start({}, kAnswerTimeoutMs);
    QSignalSpy received(m_link.get(), &ParamLink::imageReceived);
    m_commands->ReadAll();  // as after connecting: the unit's own network block is in the image
    QVERIFY(received.wait());
    m_image.SetI8(266, -35);
    m_image.SetU8(198, 77);
    QCOMPARE(m_image.SetText(TextField::theaterName, "Grand Hall"), TextStoreResult::Stored);

    QSignalSpy status(m_commands.get(), &DeviceCommands::statusText);
    QSignalSpy succeeded(m_commands.get(), &DeviceCommands::downloadSucceeded);
    m_commands->DownloadAll();
    QVERIFY(succeeded.wait());
    QCOMPARE(status.size(), 2);
    QCOMPARE(status[0][1].toString(), QStringLiteral("DownLoad.."));
    QCOMPARE(status[1][1].toString(), QStringLiteral("DownLoad Success"));

    ParameterImage stored;
    const auto path = QDir(m_stateDir.path()).filePath(kUnitMacText + QStringLiteral(".kvdat")).toStdString();
    QCOMPARE(LoadProjectFile(path, stored), FileResult::Ok);
    QCOMPARE(ImageBytes(stored), ImageBytes(m_image));

    // The unit saw the block write of the whole image, then the store command.
    QVERIFY(m_sim->WaitForLogLines(3));
    const auto lines = m_sim->LogLines();
    QCOMPARE(lines[1][QStringLiteral("command")].toInt(), 16);
    QCOMPARE(lines[1][QStringLiteral("count")].toInt(), 852);
    QCOMPARE(lines[2][QStringLiteral("command")].toInt(), 6);
    QCOMPARE(lines[2][QStringLiteral("address")].toInt(), 3000);
    QCOMPARE(lines[2][QStringLiteral("data")].toString(), QStringLiteral("02"));
  }

  void restartIsAcknowledgedAndTheUnitKeepsItsImage() {
    Start({QStringLiteral("--restart-ms"), QStringLiteral("300")}, kAnswerTimeoutMs);
    QVERIFY(ReadAllOnceAnswered(1));
    m_image.SetU8(215, 0x15);  // mute mask
    const std::array<std::uint8_t, 1> mute{0x15};
    m_link->SendWrite(215, 1, mute);
    QSignalSpy acked(m_link.get(), &ParamLink::acknowledged);
    QVERIFY(acked.wait());

    m_commands->Restart();
    QVERIFY(acked.wait());
    QCOMPARE(acked.last()[0].toInt(), 6);
    QVERIFY(!m_link->timerActive());
    QVERIFY(m_sim->WaitForLogLines(3));  // read all, the mute write, the restart
    const auto restart = m_sim->LogLines()[2];
    QCOMPARE(restart[QStringLiteral("address")].toInt(), 3001);
    QCOMPARE(restart[QStringLiteral("data")].toString(), QStringLiteral("02"));

    // While it restarts the unit is silent; afterwards it answers with the image it kept.
    const frame::Bytes before = ImageBytes(m_image);
    m_image.ApplyNewProjectDefaults();
    // A read the silent unit drops ends in the time-out, and the next one is tried.
    m_link->findChild<QTimer*>(QStringLiteral("Timer2"))->setInterval(kSilenceTimeoutMs);
    QVERIFY(ReadAllOnceAnswered(20));
    QCOMPARE(ImageBytes(m_image), before);
  }

  // The thread does not read while the 254 replies arrive (a window busy redrawing): the
  // whole burst must wait in the socket's receive buffer.
  void aBroadcastReadIsAnsweredByAll254UnitsWhileTheThreadIsBusy() {
    Start({QStringLiteral("--units"), QStringLiteral("254")}, kAnswerTimeoutMs);
    // The link asks for 4 MiB; a kernel that grants less than this cannot hold the burst.
    QFile rmemMax(QStringLiteral("/proc/sys/net/core/rmem_max"));
    if (rmemMax.open(QIODevice::ReadOnly) && rmemMax.readAll().trimmed().toInt() < 512 * 1024) {
      QSKIP("the kernel caps receive buffers below 512 KiB (net.core.rmem_max)");
    }
    QSet<QString> senders;
    m_link->SetSearchReplyHandler([&](const frame::ReadReply& reply, const QString& sender) {
      if (reply.count != kImageSize || senders.contains(sender)) return false;
      senders.insert(sender);
      return true;
    });
    m_link->setRemoteAddress(QStringLiteral("127.255.255.255"), ParamLink::Reach::AnyUnit);
    m_link->BeginSearch();
    m_link->SendRead(0, static_cast<std::uint16_t>(kImageSize));
    const QDeadlineTimer deadline(10000);
    while (m_sim->LogLines().size() < 254 && !deadline.hasExpired()) QThread::msleep(5);
    QCOMPARE(m_sim->LogLines().size(), 254);
    QTRY_COMPARE(senders.size(), 254);
    QVERIFY(senders.contains(QStringLiteral("127.0.0.2")) && senders.contains(QStringLiteral("127.0.0.255")));
    QVERIFY(!senders.contains(QStringLiteral("127.0.0.1")));  // our own broadcast is not a unit
  }

  void aSilentUnitEndsInConnectFail() {
    Start({QStringLiteral("--silent")}, kSilenceTimeoutMs);
    QSignalSpy linkStatus(m_link.get(), &ParamLink::statusText);
    QSignalSpy timedOut(m_link.get(), &ParamLink::timedOut);
    const frame::Bytes before = ImageBytes(m_image);
    m_commands->ReadAll();
    QVERIFY(timedOut.wait());
    QCOMPARE(linkStatus.size(), 2);
    QCOMPARE(linkStatus[0], (QList<QVariant>{0, QStringLiteral("Connect Fail!")}));
    QCOMPARE(linkStatus[1], (QList<QVariant>{1, QStringLiteral("未连接")}));
    QCOMPARE(m_state.connected, 0);
    QCOMPARE(ImageBytes(m_image), before);

    m_state.connected = 1;
    QSignalSpy status(m_commands.get(), &DeviceCommands::statusText);
    m_commands->DownloadAll();
    QVERIFY(timedOut.wait());
    QCOMPARE(status.size(), 1);  // "DownLoad.." and never "DownLoad Success"
    QCOMPARE(linkStatus.last(), (QList<QVariant>{1, QStringLiteral("未连接")}));
    // The unit received the read and the image; it never answered, so the store command
    // never followed the image.
    QVERIFY(m_sim->WaitForLogLines(2));
    const QList<QJsonObject> lines = m_sim->LogLines();
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1].value(QStringLiteral("command")).toInt(), 16);
  }
};

QTEST_GUILESS_MAIN(LinkSimTest)
#include "LinkSimTest.moc"
