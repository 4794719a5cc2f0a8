// The automation bridge as a booth's automation sees it: real TCP clients against the bridge
// (in this process, with a short time-out, and once as the real `mzr4700ctl bridge`
// process), the bridge against mzr4700-sim on a free loopback port, and the frames checked
// in the simulator's log byte for byte.

#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

#include "BridgeTestClients.h"
#include "bridge/BridgeServer.h"
#include "bridge/BridgeUnit.h"
#include "core/AppState.h"
#include "link/DeviceCommands.h"
#include "link/ParamLink.h"
#include "link/PortLock.h"
#include "model/ParameterImage.h"
#include "support/SimProcess.h"
#include "workspace/Workspace.h"

using namespace mzr;
using namespace mzr::bridge;
using mzr::test::SimProcess;
using namespace mzr::bridgetest;

class BridgeEndToEndTest final : public QObject {
  Q_OBJECT

 private slots:
  // Every command with the frames the program's controls send, one command at a time so
  // each command's frames are told apart; replies in both dialects.
  void everyCommandSendsTheControlsFrames() {
    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    QString error;
    QVERIFY2(sim.Start(SimArgs(port), &error), qPrintable(error));
    BridgeServer::Options options;
    options.allowSet = true;
    options.allowStore = true;
    InProcessBridge bridge(port, 5000, options);
    LineClient client;
    QVERIFY(client.Connect(bridge.server.port()));
    // The image is read at start.
    QVERIFY(QTest::qWaitFor([&] { return bridge.unit.imageValid(); }, 10000));
    QVERIFY(sim.WaitForLogLines(1));
    QCOMPARE(FramesFrom(sim, 0), QStringList{QStringLiteral("3 0 852 ")});

    struct Step {
      const char* line;
      QString reply;
      QList<Frame> frames;
    };
    const QString ok = QStringLiteral("ok");
    const QList<Step> steps{
        {"fader 5.5", ok, {{6, 823, 8, "3746464646464646"}}},
        {"fader?", QStringLiteral("fader 5.5"), {}},
        {"mute 1", ok, {{6, 835, 1, "03"}}},
        {"mute?", QStringLiteral("mute 1"), {}},
        {"mute 0", ok, {{6, 835, 1, "02"}}},
        // The input buttons: the fader follows the new input (55 -> 70) and its frame goes
        // first; choosing the same input again moves no fader.
        {"input coax1", ok, {{6, 823, 8, "3746464646464646"}, {6, 822, 5, "0237464646"}}},
        {"input 2", ok, {{6, 822, 5, "0237464646"}}},
        {"input?", QStringLiteral("input 2"), {}},
        {"get faderLevel[2]", QStringLiteral("faderLevel[2]                70                   7.0"), {}},
        {"set outputLevel[1]=-3.0dB", ok, {{6, 199, 1, "26"}}},
        {"get outputLevel[1]", QStringLiteral("outputLevel[1]               38                   -3.0dB"), {}},
        {"set fadeTime=3", ok, {{16, 833, 1, "03"}}},
        {"store", ok, {{6, 3000, 1, "02"}}},
        {"cp750.sys.fader 45", QStringLiteral("cp750.sys.fader 45"), {{6, 823, 8, "37462d4646464646"}}},
        {"cp750.ctrl.fader_delta -5", QStringLiteral("cp750.ctrl.fader_delta -5"), {{6, 823, 8, "3746284646464646"}}},
        {"cp750.sys.input_mode dig_1",
         QStringLiteral("cp750.sys.input_mode dig_1"),
         {{6, 823, 8, "3746284646464646"}, {6, 822, 5, "0037462846"}}},
        {"cp750.sys.input_mode last",
         QStringLiteral("cp750.sys.input_mode dig_3"),
         {{6, 823, 8, "3746284646464646"}, {6, 822, 5, "0237462846"}}},
        {"cp750.sys.fader ?", QStringLiteral("cp750.sys.fader 40"), {}},
        {"cp750.sys.mute 1", QStringLiteral("cp750.sys.mute 1"), {{6, 835, 1, "03"}}},
        {"cp750.sys.mute ?", QStringLiteral("cp750.sys.mute 1"), {}},
        {"cp750.sysinfo.version ?", QStringLiteral("cp750.sysinfo.version " MZR_VERSION_TEXT), {}},
    };
    for (const Step& step : steps) {
      const qsizetype before = sim.LogLines().size();
      QCOMPARE(client.Ask(step.line), step.reply);
      QVERIFY(sim.WaitForLogLines(before + step.frames.size()));
      QStringList expected;
      for (const Frame& f : step.frames) expected << FrameText(f);
      QCOMPARE(FramesFrom(sim, before), expected);
    }
    // The simulated unit holds what the bridge says it holds.
    QCOMPARE(client.Ask("get inputSource"), QStringLiteral("inputSource                  2                    Digital COAX 1"));
  }

  // A refusal answers "error ..." and sends nothing; pipelined, the replies keep their order.
  void refusalsSendNothing() {
    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    QString error;
    QVERIFY2(sim.Start(SimArgs(port), &error), qPrintable(error));
    BridgeServer::Options options;
    options.allowSet = true;
    InProcessBridge bridge(port, 5000, options);
    QVERIFY(QTest::qWaitFor([&] { return bridge.unit.imageValid(); }, 10000));
    LineClient client;
    QVERIFY(client.Connect(bridge.server.port()));

    const QList<QPair<QByteArray, QString>> refused{
        {"fader 10.5", QStringLiteral("0.0 to 10.0")},
        {"mute 2", QStringLiteral("0 or 1")},
        {"input 7", QStringLiteral("0 to 4")},
        {"volume 3", QStringLiteral("unknown command 'volume'")},
        {"get outputLevel", QStringLiteral("names 8 values")},
        {"get nothingHere", QStringLiteral("unknown field")},
        {"set outputLevel[0]=99", QStringLiteral("outside the field's range")},
        {"set macAddress=1", QStringLiteral("not changed by any editor")},
        {"set theaterName=Hall 9", QStringLiteral("only with the whole image")},
        {"cp750.sys.input_mode analog", QStringLiteral("dig_1 to dig_4")},
        {"cp750.sys.input_mode last", QStringLiteral("no other input was chosen")},
        {QByteArray(300, 'x'), QStringLiteral("longer than 256 bytes")},
        {QByteArray("mute \x01\x02\x03"), QStringLiteral("control or non-UTF-8")},
    };
    QByteArray batch;
    for (const auto& [line, reason] : refused) batch += line + "\r\n";
    batch += "mute?\r\n";
    const qsizetype before = sim.LogLines().size();
    client.Send(batch);
    const QStringList replies = client.Lines(static_cast<int>(refused.size()) + 1);
    QCOMPARE(replies.size(), refused.size() + 1);
    for (qsizetype i = 0; i < refused.size(); ++i) {
      QVERIFY2(replies[i].startsWith(QLatin1String("error ")) && replies[i].contains(refused[i].second),
               qPrintable(replies[i]));
    }
    QCOMPARE(replies.last(), QStringLiteral("mute 0"));

    // While a test signal plays, the input buttons change nothing; neither does the bridge.
    QCOMPARE(client.Ask("set testSignalMask=1"), QStringLiteral("ok"));
    QVERIFY(client.Ask("input 3").contains(QLatin1String("test signal")));
    QCOMPARE(client.Ask("input?"), QStringLiteral("input 0"));
    // The frame after the test signal's is the next command's: nothing went out between.
    QCOMPARE(client.Ask("set testSignalMask=0"), QStringLiteral("ok"));
    QVERIFY(sim.WaitForLogLines(before + 2));
    QCOMPARE(FramesFrom(sim, before), (QStringList{QStringLiteral("6 831 2 0100"), QStringLiteral("6 831 2 0000")}));
  }

  // Several clients pipelining at once: each gets its own replies in its own order, every
  // frame reaches the unit, and the fader frames carry each client's values.
  void severalPipelinedClients() {
    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    QString error;
    QVERIFY2(sim.Start(SimArgs(port), &error), qPrintable(error));
    InProcessBridge bridge(port, 5000);
    QVERIFY(QTest::qWaitFor([&] { return bridge.unit.imageValid(); }, 10000));
    constexpr int kClients = 4;
    constexpr int kRounds = 40;
    std::array<LineClient, kClients> clients;
    for (int c = 0; c < kClients; ++c) {
      QVERIFY(clients[static_cast<std::size_t>(c)].Connect(bridge.server.port()));
      QByteArray batch;
      for (int r = 0; r < kRounds; ++r) batch += QStringLiteral("mute %1\nget fadeTime\n").arg((r + c) % 2).toUtf8();
      clients[static_cast<std::size_t>(c)].Send(batch);
    }
    for (int c = 0; c < kClients; ++c) {
      const QStringList replies = clients[static_cast<std::size_t>(c)].Lines(2 * kRounds, 30000);
      QCOMPARE(replies.size(), 2 * kRounds);
      for (int r = 0; r < kRounds; ++r) {
        QCOMPARE(replies[2 * r], QStringLiteral("ok"));
        QVERIFY(replies[2 * r + 1].startsWith(QLatin1String("fadeTime ")));
      }
    }
    QVERIFY(sim.WaitForLogLines(1 + kClients * kRounds));
    QCOMPARE(sim.LogLines().size(), 1 + kClients * kRounds);
    for (const QJsonObject& line : sim.LogLines().mid(1)) {
      QCOMPARE(line.value(QStringLiteral("address")).toInt(), 835);
      QCOMPARE(line.value(QStringLiteral("outcome")).toString(), QStringLiteral("answered"));
    }

    // More commands at once than the bridge buffers for one client (16 KiB): it stops
    // reading that client while the unit works and must take it up again, not stall.
    constexpr int kBurst = 3000;
    LineClient burst;
    QVERIFY(burst.Connect(bridge.server.port()));
    burst.Send(QByteArray("mute 1\n").repeated(kBurst));
    const QStringList replies = burst.Lines(kBurst, 60000);
    QCOMPARE(replies.size(), kBurst);
    QCOMPARE(replies.count(QStringLiteral("ok")), kBurst);
  }

  // Only allowed addresses are served; others are closed at once with nothing sent.
  void allowListClosesOthersAtOnce() {
    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    QString error;
    QVERIFY2(sim.Start(SimArgs(port), &error), qPrintable(error));
    BridgeServer::Options options;
    options.listenAddress = QHostAddress(QHostAddress::AnyIPv4);
    options.allow << *BridgeServer::ParseAllowEntry(QStringLiteral("127.0.0.9"))
                  << *BridgeServer::ParseAllowEntry(QStringLiteral("127.1.0.0/16"));
    InProcessBridge bridge(port, 5000, options);
    QVERIFY(QTest::qWaitFor([&] { return bridge.unit.imageValid(); }, 10000));
    QSignalSpy logged(&bridge.server, &BridgeServer::logLine);

    LineClient stranger;
    QVERIFY(stranger.Connect(bridge.server.port(), QHostAddress(QStringLiteral("127.0.0.1"))) ||
            stranger.socket().state() == QAbstractSocket::UnconnectedState);
    stranger.Send("mute 1\n");
    QVERIFY(stranger.WaitClosed());
    QCOMPARE(stranger.Unread(), QByteArray());
    QVERIFY(QTest::qWaitFor([&] { return !logged.isEmpty(); }, 5000));
    QVERIFY(logged.first().first().toString().contains(QLatin1String("refused 127.0.0.1:")));

    for (const char* from : {"127.0.0.9", "127.1.2.3"}) {
      LineClient allowed;
      QVERIFY(allowed.Connect(bridge.server.port(), QHostAddress(QLatin1String(from))));
      QCOMPARE(allowed.Ask("mute?"), QStringLiteral("mute 0"));
    }
    QCOMPARE(sim.LogLines().size(), 1);  // the read at start; the stranger's mute never left
  }

  // A client dropping mid-line sends nothing. A client that stops reading is no longer read
  // from once its unwritten replies pass the bound (its input waits in TCP, not in the
  // bridge) and is closed when it has taken nothing for the idle time-out, while another
  // client goes on being served.
  void partialLinesAndClientsThatStopReading() {
    BridgeServer::Options options;
    options.maxUnsentBytes = 4096;
    options.idleTimeoutS = 2;
    ServedUnit unit;
    QVERIFY2(unit.Start(5000, options), qPrintable(unit.error));
    SimProcess& sim = unit.sim;
    InProcessBridge& bridge = *unit.bridge;

    {
      LineClient dropping;
      QVERIFY(dropping.Connect(bridge.server.port()));
      dropping.Send("mute 1");  // no line end
      QTest::qWait(50);          // let the bridge read the partial line before the close
      dropping.socket().abort();
    }
    QVERIFY(QTest::qWaitFor([&] { return bridge.server.clientCount() == 0; }, 5000));

    // The reader: its kernel buffers are made small, so unread replies pile up in the bridge.
    QSignalSpy logged(&bridge.server, &BridgeServer::logLine);
    LineClient silent;
    silent.socket().setReadBufferSize(1);
    QVERIFY(silent.Connect(bridge.server.port()));
    silent.socket().setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
    LineClient busy;
    QVERIFY(busy.Connect(bridge.server.port()));
    const QByteArray queries = QByteArray("get theaterName\n").repeated(20000);
    silent.Send(queries);
    qint64 mostBuffered = 0;
    QVERIFY(WaitUntil(
        [&] {
          mostBuffered = std::max(mostBuffered, bridge.server.bufferedInputBytes());
          if (busy.Ask("mute?") != QLatin1String("mute 0")) return true;  // compared below
          return bridge.server.clientCount() == 1;
        },
        30000));
    QCOMPARE(busy.Ask("mute?"), QStringLiteral("mute 0"));
    QVERIFY2(mostBuffered <= 32 * 1024, qPrintable(QString::number(mostBuffered)));
    QVERIFY(std::any_of(logged.cbegin(), logged.cend(), [](const QList<QVariant>& line) {
      return line.first().toString().contains(QLatin1String("took no reply for 2 s"));
    }));
    QCOMPARE(busy.Ask("mute 1"), QStringLiteral("ok"));
    QVERIFY(sim.WaitForLogLines(2));  // the acknowledgement can come before the log line is written
    QCOMPARE(FramesFrom(sim, 1), QStringList{QStringLiteral("6 835 1 03")});
  }

  // The unit silent: errors while it is away (each within the time-out), then normal service
  // once it answers again, with its image read anew first.
  void silentThenReturningUnit() {
    const quint16 port = test::FreeUdpPort();
    auto sim = std::make_unique<SimProcess>();
    QString error;
    QVERIFY2(sim->Start(SimArgs(port), &error), qPrintable(error));
    InProcessBridge bridge(port, 300);
    QVERIFY(QTest::qWaitFor([&] { return bridge.unit.imageValid(); }, 10000));
    LineClient client;
    QVERIFY(client.Connect(bridge.server.port()));
    QCOMPARE(client.Ask("fader 3.0"), QStringLiteral("ok"));

    QCOMPARE(sim->Stop(), 0);
    client.Send("mute 1\nmute?\nfader 4.0\n");
    const QStringList away = client.Lines(3);
    QCOMPARE(away.size(), 3);
    QVERIFY2(away[0].startsWith(QLatin1String("error the unit 127.0.0.2 did not answer a write")), qPrintable(away[0]));
    QVERIFY2(away[1].contains(QLatin1String("did not answer the read of its settings")), qPrintable(away[1]));
    QVERIFY2(away[2].contains(QLatin1String("did not answer the read of its settings")), qPrintable(away[2]));

    // Back, with its own (default) settings: read again before the next command.
    sim = std::make_unique<SimProcess>();
    QVERIFY2(sim->Start(SimArgs(port), &error), qPrintable(error));
    QCOMPARE(client.Ask("fader?"), QStringLiteral("fader 7.0"));
    QCOMPARE(client.Ask("mute 1"), QStringLiteral("ok"));
    QVERIFY(sim->WaitForLogLines(2));
    QCOMPARE(FramesFrom(*sim, 0), (QStringList{QStringLiteral("3 0 852 "), QStringLiteral("6 835 1 03")}));
  }

  // The real `mzr4700ctl bridge`: serves a client, logs each connection and error on stderr,
  // holds the UDP port, and the program and the other commands refuse, naming it.
  void realProcessHoldsThePortLock() {
    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    QString error;
    QVERIFY2(sim.Start(SimArgs(port), &error), qPrintable(error));
    const quint16 tcpPort = FreeTcpPort();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MZR4700_LOCAL_IP"), QStringLiteral("127.0.0.1"));
    env.insert(QStringLiteral("MZR4700_PORT"), QString::number(port));
    QProcess bridge;
    bridge.setProcessEnvironment(env);
    bridge.start(QStringLiteral(MZR_CTL_EXECUTABLE),
                 {QStringLiteral("--local"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(port),
                  QStringLiteral("bridge"), QStringLiteral("--unit"), QStringLiteral("127.0.0.2"), QStringLiteral("--listen"),
                  QStringLiteral("127.0.0.1:%1").arg(tcpPort)});
    QVERIFY(bridge.waitForStarted(10000));
    QByteArray log;
    QVERIFY(QTest::qWaitFor([&] { return (log += bridge.readAllStandardError()).contains("read the settings"); }, 15000));
    QVERIFY2(log.contains("holding UDP port"), log.constData());

    LineClient client;
    QVERIFY(client.Connect(tcpPort));
    QCOMPARE(client.Ask("mute 1"), QStringLiteral("ok"));
    QVERIFY(client.Ask("fader 11").startsWith(QLatin1String("error ")));
    QVERIFY(QTest::qWaitFor([&] { return (log += bridge.readAllStandardError()).contains("error fader takes"); }, 5000));
    QVERIFY2(log.contains("connected"), log.constData());

    // The program's start-up refusal and a companion command name the bridge.
    const QString holder = QStringLiteral("mzr4700ctl bridge (process %1), the show automation bridge").arg(bridge.processId());
    PortLock program(port, PortLock::Holder::Program);
    QCOMPARE(program.Acquire(0), PortLock::Outcome::HeldByOther);
    QVERIFY2(program.refusal().contains(holder), qPrintable(program.refusal()));
    QProcess search;
    search.setProcessEnvironment(env);
    search.start(QStringLiteral(MZR_CTL_EXECUTABLE), {QStringLiteral("--local"), QStringLiteral("127.0.0.1"),
                                                      QStringLiteral("--port"), QString::number(port),
                                                      QStringLiteral("search"), QStringLiteral("--time"),
                                                      QStringLiteral("300")});
    QVERIFY(search.waitForFinished(30000));
    QCOMPARE(search.exitCode(), 1);
    QVERIFY(QString::fromUtf8(search.readAllStandardError()).contains(holder));
    QVERIFY(sim.WaitForLogLines(2));
    QCOMPARE(FramesFrom(sim, 0), (QStringList{QStringLiteral("3 0 852 "), QStringLiteral("6 835 1 03")}));

    bridge.terminate();
    QVERIFY(bridge.waitForFinished(10000));
    QCOMPARE(program.Acquire(0), PortLock::Outcome::Locked);
  }

  // Bad options are refused in one line with the usage status, before anything listens or
  // is sent.
  void badOptionsAreRefused() {
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    const QString takenAddress = QStringLiteral("127.0.0.1:%1").arg(taken.serverPort());
    const struct {
      QStringList args;
      const char* message;
    } cases[] = {
        {{QStringLiteral("bridge")}, "bridge needs --unit IP"},
        {{QStringLiteral("bridge"), QStringLiteral("--unit"), QStringLiteral("127.0.0.300")}, "--unit needs"},
        {{QStringLiteral("bridge"), QStringLiteral("--unit"), QStringLiteral("127.0.0.2"), QStringLiteral("--listen"),
          QStringLiteral("61408")},
         "--listen needs HOST:PORT"},
        {{QStringLiteral("bridge"), QStringLiteral("--unit"), QStringLiteral("127.0.0.2"), QStringLiteral("--allow"),
          QStringLiteral("10.0.0.1,nobody")},
         "--allow needs addresses"},
        {{QStringLiteral("bridge"), QStringLiteral("--unit"), QStringLiteral("127.0.0.2"), QStringLiteral("--max-clients"),
          QStringLiteral("0")},
         "--max-clients needs a number 1 to 1000"},
        {{QStringLiteral("bridge"), QStringLiteral("--unit"), QStringLiteral("127.0.0.2"), QStringLiteral("--idle-timeout"),
          QStringLiteral("-1")},
         "--idle-timeout needs seconds"},
        {{QStringLiteral("bridge"), QStringLiteral("--unit"), QStringLiteral("127.0.0.2"), QStringLiteral("--allow-set=1")},
         "option '--allow-set' takes no value"},
        {{QStringLiteral("bridge"), QStringLiteral("--unit"), QStringLiteral("127.0.0.2"), QStringLiteral("extra")},
         "takes no operands"},
        {{QStringLiteral("--port"), QString::number(test::FreeUdpPort()), QStringLiteral("bridge"), QStringLiteral("--unit"),
          QStringLiteral("127.0.0.2"), QStringLiteral("--listen"), takenAddress},
         "cannot listen on 127.0.0.1"},
    };
    for (const auto& c : cases) {
      QProcess ctl;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert(QStringLiteral("MZR4700_LOCAL_IP"), QStringLiteral("127.0.0.1"));
      ctl.setProcessEnvironment(env);
      ctl.start(QStringLiteral(MZR_CTL_EXECUTABLE), c.args);
      QVERIFY(ctl.waitForFinished(15000));
      const QString err = QString::fromUtf8(ctl.readAllStandardError());
      QCOMPARE(ctl.exitCode(), 2);
      QVERIFY2(err.contains(QLatin1String(c.message)), qPrintable(err));
    }
  }
};

QTEST_GUILESS_MAIN(BridgeEndToEndTest)
#include "BridgeEndToEndTest.moc"
