// The automation bridge left running against a unit that loses a fifth of its frames: the
// real `mzr4700ctl bridge` process, mzr4700-sim --loss 20 with its frame log, and a TCP
// client here sending mixed commands in pipelined batches. Every command must get its one
// reply, no "ok" may stand for a write the unit did not acknowledge (the replies' "ok" count
// against the acknowledged writes in the simulator's log), and the bridge's resident memory
// is printed after a warm-up and at the end.
//   mzr4700-bridge-loss-soak [--commands N] [--loss PCT] [--timeout MS]

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include "BenchSupport.h"
#include "support/SimProcess.h"

using mzr::bench::RunUntil;

namespace {

long ResidentKb(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  }
  return -1;
}

struct Counts {
  qint64 lines = 0, oks = 0, errors = 0;
};

// Writes (command 6) the unit answered, from the simulator's log.
qint64 AcknowledgedWrites(const QString& logPath) {
  QFile log(logPath);
  if (!log.open(QIODevice::ReadOnly)) return -1;
  qint64 answered = 0;
  for (const QByteArray& line : log.readAll().split('\n')) {
    if (line.isEmpty()) continue;
    const QJsonObject frame = QJsonDocument::fromJson(line).object();
    if (frame.value(QStringLiteral("command")).toInt() == 6 &&
        frame.value(QStringLiteral("outcome")).toString() == QLatin1String("answered")) {
      ++answered;
    }
  }
  return answered;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addHelpOption();
  const QCommandLineOption commandsOption(QStringLiteral("commands"), QStringLiteral("commands of the soak"),
                                          QStringLiteral("N"), QStringLiteral("10000"));
  const QCommandLineOption lossOption(QStringLiteral("loss"), QStringLiteral("share of frames the unit loses"),
                                      QStringLiteral("PCT"), QStringLiteral("20"));
  const QCommandLineOption timeoutOption(QStringLiteral("timeout"), QStringLiteral("the bridge's time-out per frame"),
                                         QStringLiteral("MS"), QStringLiteral("50"));
  parser.addOptions({commandsOption, lossOption, timeoutOption});
  parser.process(app);
  const int commands = std::max(1000, parser.value(commandsOption).toInt());
  const int timeoutMs = std::max(10, parser.value(timeoutOption).toInt());

  QTemporaryDir dir;
  const QString logPath = dir.filePath(QStringLiteral("frames.jsonl"));
  const quint16 port = mzr::test::FreeUdpPort();
  QProcess sim;
  if (!mzr::bench::StartSimulator(sim, {QStringLiteral("--port"), QString::number(port), QStringLiteral("--units"),
                                        QStringLiteral("1"), QStringLiteral("--loss"), parser.value(lossOption),
                                        QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--log"), logPath})) {
    std::fprintf(stderr, "cannot start mzr4700-sim\n");
    return 1;
  }
  quint16 tcpPort = 0;
  {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    tcpPort = probe.serverPort();
  }
  QProcess bridge;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("MZR4700_LOCAL_IP"), QStringLiteral("127.0.0.1"));
  bridge.setProcessEnvironment(env);
  bridge.setStandardErrorFile(dir.filePath(QStringLiteral("bridge.log")));
  bridge.start(QCoreApplication::applicationDirPath() + QStringLiteral("/mzr4700ctl"),
               {QStringLiteral("--local"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(port),
                QStringLiteral("--timeout"), QString::number(timeoutMs), QStringLiteral("bridge"), QStringLiteral("--unit"),
                QStringLiteral("127.0.0.2"), QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(tcpPort)});
  QTcpSocket client;
  if (!bridge.waitForStarted(5000) || !RunUntil(
                                          [&] {
                                            if (client.state() == QAbstractSocket::UnconnectedState) {
                                              client.connectToHost(QHostAddress::LocalHost, tcpPort);
                                            }
                                            return client.state() == QAbstractSocket::ConnectedState;
                                          },
                                          15000)) {
    std::fprintf(stderr, "the bridge did not start\n");
    return 1;
  }

  Counts counts;
  QByteArray buffer;
  const auto take = [&] {
    buffer += client.readAll();
    qsizetype end;
    while ((end = buffer.indexOf('\n')) >= 0) {
      if (buffer.startsWith("ok")) ++counts.oks;
      if (buffer.startsWith("error")) ++counts.errors;
      buffer.remove(0, end + 1);
      ++counts.lines;
    }
  };
  // The writes alternate so that every "ok" stands for a frame that changed something.
  const QList<QByteArray> mix{"mute 1\n", "fader 6.5\n", "mute?\n", "mute 0\n", "fader 7.0\n", "fader?\n",
                              "cp750.sys.mute 1\n", "cp750.sys.mute 0\n"};
  // A deadline per command bounds the wait: a batch is answered or the soak failed.
  const int batchLimitMs = 100 * (3 * timeoutMs + 1000) + 10000;
  const auto run = [&](int count) {
    int sent = 0;
    while (sent < count) {
      const int chunk = std::min(100, count - sent);
      QByteArray batch;
      for (int i = 0; i < chunk; ++i) batch += mix[(sent + i) % mix.size()];
      const qint64 before = counts.lines;
      client.write(batch);
      if (!RunUntil(
              [&] {
                take();
                return counts.lines >= before + chunk;
              },
              batchLimitMs)) {
        return false;
      }
      sent += chunk;
    }
    return true;
  };
  const bool warm = run(1000);
  const long rssBefore = ResidentKb(bridge.processId());
  QElapsedTimer clock;
  clock.start();
  const bool done = warm && run(commands - 1000);
  const long rssAfter = ResidentKb(bridge.processId());
  // The log line of the last acknowledgement is written once its answer has left.
  RunUntil([] { return false; }, 300);
  const qint64 acknowledged = AcknowledgedWrites(logPath);
  std::printf("bridge loss soak (%d commands, unit losing %s%% of frames, time-out %d ms): %s in %.1f s\n", commands,
              qPrintable(parser.value(lossOption)), timeoutMs,
              done ? "every command answered" : "NOT every command answered",
              static_cast<double>(clock.elapsed()) / 1000.0);
  std::printf("  replies %lld: ok %lld, errors %lld; writes the unit acknowledged %lld: %s\n",
              static_cast<long long>(counts.lines), static_cast<long long>(counts.oks),
              static_cast<long long>(counts.errors), static_cast<long long>(acknowledged),
              counts.oks <= acknowledged ? "no ok without an acknowledgement" : "MORE ok THAN ACKNOWLEDGEMENTS");
  std::printf("  bridge resident memory: %ld kB after 1000 commands, %ld kB after the soak (%+ld kB)\n", rssBefore,
              rssAfter, rssAfter - rssBefore);
  bridge.terminate();
  bridge.waitForFinished(5000);
  sim.terminate();
  sim.waitForFinished(5000);
  return done && counts.lines == commands && counts.oks <= acknowledged ? 0 : 1;
}
