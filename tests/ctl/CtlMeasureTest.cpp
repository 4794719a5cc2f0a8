// mzr4700ctl measure as an installer runs it, with mzr4700-sim as the unit and as the room:
// the simulator's --audio-out into a named pipe, read through --device file:PATH, so no
// audio stack is needed. Then the whole loop: two seats measured, align fits and applies,
// both seats measured again.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <variant>

#include "RoomSound.h"
#include "align/MeasurementFile.h"
#include "link/FrameCodec.h"
#include "model/ParameterImage.h"
#include "support/CtlRun.h"
#include "support/SimProcess.h"
#include "support/UdpPeer.h"

using namespace mzr;
using mzr::test::CtlRun;
using mzr::test::SimProcess;

namespace {

const QHostAddress kUnit(QStringLiteral("127.0.0.2"));

QStringList Global(quint16 port) {
  return {QStringLiteral("--local"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(port),
          QStringLiteral("--timeout"), QStringLiteral("2000")};
}

void StartCtl(QProcess& process, quint16 port, const QStringList& args) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("MZR4700_LOCAL_IP"), QStringLiteral("127.0.0.1"));
  process.setProcessEnvironment(env);
  process.start(QStringLiteral(MZR_CTL_EXECUTABLE), Global(port) + args);
}

CtlRun Ctl(quint16 port, const QStringList& args) {
  QProcess process;
  StartCtl(process, port, args);
  return mzr::test::FinishCtl(process, 120000);
}

// The unit's test-signal bytes, read over UDP.
std::optional<std::pair<int, int>> TestSignal(quint16 port) {
  mzr::test::UdpPeer peer;
  if (!peer.Send(frame::BuildRead(addr::testSignalMask, 2), kUnit, port)) return std::nullopt;
  const auto reply = peer.Receive();
  if (!reply) return std::nullopt;
  const auto parsed = frame::ParseReadReply(reply->bytes());
  if (!parsed || parsed->data.size() != 2) return std::nullopt;
  return std::pair<int, int>(parsed->data[0], parsed->data[1]);
}

bool SetTestSignal(quint16 port, std::uint8_t mask, std::uint8_t type) {
  mzr::test::UdpPeer peer;
  const std::uint8_t bytes[2] = {mask, type};
  if (!peer.Send(frame::BuildWrite(frame::Command::Write, addr::testSignalMask, frame::View(bytes, 2)), kUnit, port)) return false;
  return peer.Receive().has_value();
}

}  // namespace

class CtlMeasureTest final : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;
  int m_pipes = 0;

  QString Fifo(const QString& name) {
    const QString path = m_dir.filePath(name);
    return ::mkfifo(path.toLocal8Bit().constData(), 0600) == 0 ? path : QString();
  }

  // A simulator playing seat k of room 4 into a new pipe, its state kept in the folder.
  bool StartRoom(SimProcess& sim, quint16 port, int seat, QString* fifo) {
    *fifo = Fifo(QStringLiteral("seat%1-%2").arg(seat).arg(++m_pipes));
    QString error;
    const bool started = !fifo->isEmpty() &&
                         sim.Start({QStringLiteral("--port"), QString::number(port), QStringLiteral("--audio-out"), *fifo,
                                    QStringLiteral("--room"), QStringLiteral("4"), QStringLiteral("--seat"), QString::number(seat),
                                    QStringLiteral("--state-dir"), m_dir.filePath(QStringLiteral("units"))},
                                   &error);
    if (!started) qWarning("%s", qPrintable(error));
    return started;
  }

  CtlRun Measure(quint16 port, const QString& fifo, const QString& out, const QStringList& more = {}) {
    return Ctl(port, QStringList{QStringLiteral("measure"), QStringLiteral("127.0.0.2"), QStringLiteral("--channel"),
                                 QStringLiteral("1"), QStringLiteral("--device"), QStringLiteral("file:") + fifo,
                                 QStringLiteral("--seconds"), QStringLiteral("3"), QStringLiteral("--out"), out} + more);
  }

  // One seat of the closed loop: its own simulator (the unit's state kept in the folder),
  // measured into out, the generator off again at the end.
  void MeasureSeat(quint16 port, int seat, const QString& out) {
    SimProcess sim;
    QString fifo;
    QVERIFY(StartRoom(sim, port, seat, &fifo));
    const CtlRun run = Measure(port, fifo, out);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(sim.WaitForErrorOutput(QStringLiteral("generator off")));
    QCOMPARE(TestSignal(port), std::make_optional(std::pair<int, int>(0, 0)));
  }

 private slots:
  void measuresASeatAndPutsTheUnitsTestSignalBack() {
    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    QString fifo;
    QVERIFY(StartRoom(sim, port, 2, &fifo));
    // The unit was playing a 1 kHz tone on output 3 before.
    QVERIFY(SetTestSignal(port, 0x04, 3));
    const QString calibration = m_dir.filePath(QStringLiteral("mic.txt"));
    QFile cal(calibration);
    QVERIFY(cal.open(QIODevice::WriteOnly));
    cal.write("\"Sens Factor =-1.378dB, AGain =18dB, SERNO: 7001234\"\n20 1.0\n1000 1.0\n20000 1.0\n");
    cal.close();

    const QString out = m_dir.filePath(QStringLiteral("seat2.txt"));
    const CtlRun run = Measure(port, fifo, out, {QStringLiteral("--calibration"), calibration, QStringLiteral("--json")});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
    const QJsonArray bands = json.value(QStringLiteral("bands")).toArray();
    QCOMPARE(bands.size(), 31);
    QCOMPARE(bands.at(17).toObject().value(QStringLiteral("hz")).toDouble(), 1000.0);
    // The calibration's flat +1 dB is taken off every band.
    const sim::RoomSound room(4, 2);
    const double expected1k = room.RoomDb(1, 1000.0) + sim::kRoomToFullScaleDb - 1.0;
    QVERIFY2(std::abs(bands.at(17).toObject().value(QStringLiteral("db")).toDouble() - expected1k) < 0.5, qPrintable(run.out));
    for (const QJsonValue snr : json.value(QStringLiteral("signalToNoise")).toArray()) {
      QVERIFY(snr.toObject().value(QStringLiteral("db")).toDouble() > 40.0);
    }
    QCOMPARE(json.value(QStringLiteral("lowSignalToNoise")).toArray().size(), 0);
    QCOMPARE(json.value(QStringLiteral("clipping")).toObject().value(QStringLiteral("clipped")).toBool(), false);
    QCOMPARE(json.value(QStringLiteral("calibration")).toObject().value(QStringLiteral("serial")).toString(), QStringLiteral("7001234"));
    QCOMPARE(json.value(QStringLiteral("device")).toString(), fifo);

    // The file is one align reads, and it follows the room.
    const auto read = ReadMeasurementFile(std::filesystem::path(out.toStdString()), "seat2.txt");
    QVERIFY(std::holds_alternative<Measurement>(read));
    const Measurement& m = std::get<Measurement>(read);
    for (std::size_t k = 0; k < m.hz.size(); ++k) {
      if (m.hz[k] < 40.0 || m.hz[k] > 16000.0) continue;
      const double expected = room.RoomDb(1, m.hz[k]) + sim::kRoomToFullScaleDb - 1.0;
      QVERIFY2(std::abs(m.db[k] - expected) < 0.5, qPrintable(QStringLiteral("%1 Hz").arg(m.hz[k])));
    }
    // Off for the noise floor, pink on output 2, then the tone back on output 3.
    QVERIFY(sim.WaitForErrorOutput(QStringLiteral("generator on: 1 kHz on output 3")));
    const QString log = sim.errorOutput();
    const auto off = log.indexOf(QStringLiteral("generator off"));
    const auto pink = log.indexOf(QStringLiteral("generator on: pink noise on output 2"));
    QVERIFY2(off >= 0 && pink > off && log.lastIndexOf(QStringLiteral("generator on: 1 kHz on output 3")) > pink, qPrintable(log));
    QCOMPARE(TestSignal(port), std::make_optional(std::pair<int, int>(0x04, 3)));
  }

  void refusesBeforeTouchingTheUnit_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("bad calibration") << QStringList{QStringLiteral("--calibration"), QStringLiteral("BAD")} << 3
                                     << QStringLiteral("bad-mic.txt, line 2: not a number");
    QTest::newRow("missing device") << QStringList{QStringLiteral("--device"), QStringLiteral("file:/nonexistent/mic")} << 3
                                    << QStringLiteral("cannot open /nonexistent/mic");
    QTest::newRow("no such input") << QStringList{QStringLiteral("--device"), QStringLiteral("No Such Microphone")} << 3
                                   << QStringLiteral("No Such Microphone");
  }
  void refusesBeforeTouchingTheUnit() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString badCal = m_dir.filePath(QStringLiteral("bad-mic.txt"));
    QFile cal(badCal);
    QVERIFY(cal.open(QIODevice::WriteOnly));
    cal.write("*1000Hz -38.6\n20 x\n");
    cal.close();
    args.replaceInStrings(QStringLiteral("BAD"), badCal);
    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    QString fifo;
    QVERIFY(StartRoom(sim, port, 1, &fifo));
    const QString out = m_dir.filePath(QStringLiteral("refused.txt"));
    QStringList full{QStringLiteral("measure"), QStringLiteral("127.0.0.2"), QStringLiteral("--channel"), QStringLiteral("0"),
                     QStringLiteral("--out"), out};
    if (!args.contains(QStringLiteral("--device"))) full << QStringLiteral("--device") << QStringLiteral("file:") + fifo;
    const CtlRun run = Ctl(port, full + args);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(!QFile::exists(out));
    // Not a frame reached the unit.
    QVERIFY(sim.LogLines().isEmpty());
  }

  void aUnitThatDoesNotAnswerAndBadArguments() {
    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    const QString fifo = Fifo(QStringLiteral("silent"));
    QVERIFY(sim.Start({QStringLiteral("--port"), QString::number(port), QStringLiteral("--silent"), QStringLiteral("--audio-out"), fifo}));
    const QString out = m_dir.filePath(QStringLiteral("silent.txt"));
    const CtlRun run = Measure(port, fifo, out);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QStringLiteral("did not answer")), qPrintable(run.err));
    QVERIFY(!QFile::exists(out));

    QCOMPARE(Ctl(port, {QStringLiteral("measure"), QStringLiteral("127.0.0.2"), QStringLiteral("--channel"), QStringLiteral("0")}).exitCode, 2);
    QCOMPARE(Ctl(port, {QStringLiteral("measure"), QStringLiteral("127.0.0.2"), QStringLiteral("--out"), out}).exitCode, 2);
    QCOMPARE(Ctl(port, {QStringLiteral("measure"), QStringLiteral("127.0.0.2"), QStringLiteral("--channel"), QStringLiteral("0"),
                        QStringLiteral("--out"), out, QStringLiteral("--seconds"), QStringLiteral("1")}).exitCode, 2);
  }

  // A measurement interrupted once the pink noise is on: cancelled with SIGTERM, the test
  // signal goes back; a unit (and with it the room) that stops answering half-way makes the
  // command give up and say the test signal could not be put back. Nothing is written.
  void anInterruptedMeasurement_data() {
    QTest::addColumn<bool>("unitStops");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("cancelled") << false << QStringList{QStringLiteral("cancelled")};
    QTest::newRow("unit stops") << true << QStringList{QStringLiteral("could not be put back"), QStringLiteral("did not answer")};
  }
  void anInterruptedMeasurement() {
    QFETCH(bool, unitStops);
    QFETCH(QStringList, messages);
    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    QString fifo;
    QVERIFY(StartRoom(sim, port, 1, &fifo));
    QProcess ctl;
    const QString out = m_dir.filePath(QStringLiteral("interrupted.txt"));
    StartCtl(ctl, port, {QStringLiteral("measure"), QStringLiteral("127.0.0.2"), QStringLiteral("--channel"), QStringLiteral("4"),
                         QStringLiteral("--device"), QStringLiteral("file:") + fifo, QStringLiteral("--out"), out});
    QVERIFY(sim.WaitForErrorOutput(QStringLiteral("generator on: pink noise on output 5"), 30000));
    const auto simPid = static_cast<pid_t>(sim.process().processId());
    ::kill(unitStops ? simPid : static_cast<pid_t>(ctl.processId()), unitStops ? SIGSTOP : SIGTERM);
    const CtlRun run = mzr::test::FinishCtl(ctl, 60000);
    if (unitStops) ::kill(simPid, SIGCONT);
    QCOMPARE(run.exitCode, 1);
    for (const QString& message : messages) QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(!QFile::exists(out));
    if (!unitStops) {
      QVERIFY(sim.WaitForErrorOutput(QStringLiteral("generator off")));
      QCOMPARE(TestSignal(port), std::make_optional(std::pair<int, int>(0, 0)));
    }
  }

  // Two seats, the fit applied and stored, both seats again: what the seats show after is
  // what the fit predicted, within 0.3 dB.
  void closedLoopTwoSeatsFitApplyMeasureAgain() {
    QDir().mkpath(m_dir.filePath(QStringLiteral("units")));
    const quint16 port = test::FreeUdpPort();
    QStringList before, after;
    for (int seat = 1; seat <= 2; ++seat) {
      before << m_dir.filePath(QStringLiteral("before%1.txt").arg(seat));
      MeasureSeat(port, seat, before.last());
      if (QTest::currentTestFailed()) return;
    }
    double predicted = 0.0, measuredBefore = 0.0;
    {
      SimProcess sim;
      QString fifo;
      QVERIFY(StartRoom(sim, port, 1, &fifo));
      const CtlRun fit = Ctl(port, QStringList{QStringLiteral("align"), QStringLiteral("127.0.0.2"), QStringLiteral("--channel"),
                                               QStringLiteral("1"), QStringLiteral("--measurement")} +
                                       before + QStringList{QStringLiteral("--apply"), QStringLiteral("--store"), QStringLiteral("--json")});
      QVERIFY2(fit.exitCode == 0, qPrintable(fit.err + fit.out));
      const QJsonObject json = QJsonDocument::fromJson(fit.out.toUtf8()).object();
      QVERIFY(json.value(QStringLiteral("sent")).toInt() > 0);
      predicted = json.value(QStringLiteral("rmsAfter")).toDouble();
      measuredBefore = json.value(QStringLiteral("rmsBefore")).toDouble();
    }
    for (int seat = 1; seat <= 2; ++seat) {
      after << m_dir.filePath(QStringLiteral("after%1.txt").arg(seat));
      MeasureSeat(port, seat, after.last());
      if (QTest::currentTestFailed()) return;
    }
    // The residual of the seats as they are now: align's figure before any change of its own.
    SimProcess sim;
    QString fifo;
    QVERIFY(StartRoom(sim, port, 1, &fifo));
    const CtlRun check = Ctl(port, QStringList{QStringLiteral("align"), QStringLiteral("127.0.0.2"), QStringLiteral("--channel"),
                                               QStringLiteral("1"), QStringLiteral("--measurement")} +
                                       after + QStringList{QStringLiteral("--json")});
    QVERIFY2(check.exitCode == 0, qPrintable(check.err));
    const double residual = QJsonDocument::fromJson(check.out.toUtf8()).object().value(QStringLiteral("rmsBefore")).toDouble();
    qInfo("closed loop: residual before %.3f dB, predicted %.3f dB, measured after %.3f dB", measuredBefore, predicted, residual);
    QVERIFY(predicted < measuredBefore);
    QVERIFY2(residual <= predicted + 0.3, qPrintable(QStringLiteral("%1 > %2 + 0.3").arg(residual).arg(predicted)));
  }
};

QTEST_GUILESS_MAIN(CtlMeasureTest)
#include "CtlMeasureTest.moc"
