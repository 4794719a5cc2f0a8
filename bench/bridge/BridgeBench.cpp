// The automation bridge timed end to end: a TCP client here, the real `mzr4700ctl bridge`
// process, mzr4700-sim as the unit, all on loopback. Its anchor is the link's own write ->
// acknowledgement time with the same frame, measured first in this program (the bridge's
// port lock then keeps this program's link off the port). Then the soak: many mixed commands
// pipelined, with the bridge's resident memory before and after. With --loss-soak L, last a
// soak against a unit that loses a fifth of its frames (mzr4700-sim --loss 20 with its frame
// log): every command must get its one reply, and the replies' "ok" count must not pass the
// writes the unit acknowledged.
//   mzr4700-bridge-bench [--commands N] [--pipelined P] [--soak S] [--loss-soak L]

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
#include <vector>

#include "BenchSupport.h"
#include "core/AppState.h"
#include "link/ParamLink.h"
#include "model/ParameterImage.h"
#include "model/WriteSpan.h"
#include "support/SimProcess.h"

using namespace mzr;
using mzr::bench::RunUntil;

namespace {

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

long ResidentKb(qint64 pid) {
  QFile status(QStringLiteral("/proc/%1/status").arg(pid));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
  }
  return -1;
}

// Replies read so far, counted by line.
struct Client {
  QTcpSocket socket;
  QByteArray buffer;
  qint64 lines = 0;
  qint64 errors = 0;
  qint64 oks = 0;
  void Take() {
    buffer += socket.readAll();
    qsizetype end;
    while ((end = buffer.indexOf('\n')) >= 0) {
      if (buffer.startsWith("error")) ++errors;
      if (buffer.startsWith("ok")) ++oks;
      buffer.remove(0, end + 1);
      ++lines;
    }
  }
  bool WaitLines(qint64 count, int limitMs) {
    return RunUntil(
        [&] {
          Take();
          return lines >= count;
        },
        limitMs);
  }
};

quint16 FreeTcpPort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}

// The real bridge process for the unit at 127.0.0.2 on udpPort, listening on tcpPort, once
// it has read the unit's settings.
bool StartBridge(QProcess& bridge, quint16 udpPort, quint16 tcpPort, const QStringList& global, const QStringList& extra) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("MZR4700_LOCAL_IP"), QStringLiteral("127.0.0.1"));
  bridge.setProcessEnvironment(env);
  bridge.start(QCoreApplication::applicationDirPath() + QStringLiteral("/mzr4700ctl"),
               QStringList{QStringLiteral("--local"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                           QString::number(udpPort)} +
                   global +
                   QStringList{QStringLiteral("bridge"), QStringLiteral("--unit"), QStringLiteral("127.0.0.2"),
                               QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(tcpPort)} +
                   extra);
  QByteArray log;
  if (!bridge.waitForStarted(5000) ||
      !RunUntil([&] { return (log += bridge.readAllStandardError()).contains("read the settings"); }, 15000)) {
    std::fprintf(stderr, "the bridge did not start: %s\n", log.constData());
    return false;
  }
  return true;
}

bool Connect(Client& client, quint16 tcpPort) {
  client.socket.connectToHost(QHostAddress::LocalHost, tcpPort);
  return RunUntil([&] { return client.socket.state() == QAbstractSocket::ConnectedState; }, 5000);
}

// Batches of up to batchLines lines from the mix, each batch sent at once and waited for.
bool RunMix(Client& client, const QList<QByteArray>& mix, int count, int batchLines, int batchLimitMs) {
  int sent = 0;
  while (sent < count) {
    const int chunk = std::min(batchLines, count - sent);
    QByteArray batch;
    for (int i = 0; i < chunk; ++i) batch += mix[(sent + i) % mix.size()];
    const qint64 before = client.lines;
    client.socket.write(batch);
    if (!client.WaitLines(before + chunk, batchLimitMs)) return false;
    sent += chunk;
  }
  return true;
}

// Writes (command 6) the unit answered, from the simulator's frame log.
qint64 AcknowledgedWrites(const QString& logPath) {
  QFile log(logPath);
  if (!log.open(QIODevice::ReadOnly)) return -1;
  qint64 answered = 0;
  for (const QByteArray& line : log.readAll().split('\n')) {
    const QJsonObject frame = QJsonDocument::fromJson(line).object();
    if (frame.value(QStringLiteral("command")).toInt() == 6 &&
        frame.value(QStringLiteral("outcome")).toString() == QLatin1String("answered")) {
      ++answered;
    }
  }
  return answered;
}

// The soak against a unit that loses a fifth of the frames, with a short time-out so that
// the losses do not take all day. True when every command was answered and no "ok" stands
// without an acknowledgement.
bool LossSoak(int commands, int timeoutMs) {
  QTemporaryDir dir;
  const QString logPath = dir.filePath(QStringLiteral("frames.jsonl"));
  const quint16 port = test::FreeUdpPort();
  QProcess sim;
  if (!bench::StartSimulator(sim, {QStringLiteral("--port"), QString::number(port), QStringLiteral("--units"),
                                   QStringLiteral("1"), QStringLiteral("--loss"), QStringLiteral("20"),
                                   QStringLiteral("--seed"), QStringLiteral("7"), QStringLiteral("--log"), logPath})) {
    std::fprintf(stderr, "cannot start mzr4700-sim\n");
    return false;
  }
  const quint16 tcpPort = FreeTcpPort();
  QProcess bridge;
  Client client;
  if (!StartBridge(bridge, port, tcpPort, {QStringLiteral("--timeout"), QString::number(timeoutMs)}, {}) ||
      !Connect(client, tcpPort)) {
    return false;
  }
  // The writes alternate, so every "ok" stands for a frame that changed something.
  const QList<QByteArray> mix{"mute 1\n", "fader 6.5\n", "mute?\n", "mute 0\n", "fader 7.0\n", "fader?\n",
                              "cp750.sys.mute 1\n", "cp750.sys.mute 0\n"};
  // Each command's deadline bounds a batch's wait: answered in time, or the soak failed.
  const int batchLimitMs = 100 * (3 * timeoutMs + 1000) + 10000;
  const bool warm = RunMix(client, mix, 1000, 100, batchLimitMs);
  const long rssBefore = ResidentKb(bridge.processId());
  QElapsedTimer clock;
  clock.start();
  const bool done = warm && RunMix(client, mix, commands - 1000, 100, batchLimitMs);
  const long rssAfter = ResidentKb(bridge.processId());
  bridge.terminate();
  bridge.waitForFinished(5000);
  sim.terminate();  // its log is whole once it has ended
  sim.waitForFinished(5000);
  const qint64 acknowledged = AcknowledgedWrites(logPath);
  const bool sound = done && client.lines == commands && client.oks <= acknowledged;
  std::printf("bridge loss soak (%d commands, the unit losing 20%% of frames, time-out %d ms): %s in %.1f s\n", commands,
              timeoutMs, done && client.lines == commands ? "every command answered" : "NOT every command answered",
              static_cast<double>(clock.elapsed()) / 1000.0);
  std::printf("  replies %lld: ok %lld, errors %lld; writes the unit acknowledged %lld: %s\n",
              static_cast<long long>(client.lines), static_cast<long long>(client.oks),
              static_cast<long long>(client.errors), static_cast<long long>(acknowledged),
              client.oks <= acknowledged ? "no ok without an acknowledgement" : "MORE ok THAN ACKNOWLEDGEMENTS");
  std::printf("  bridge resident memory under loss: %ld kB after 1000 commands, %ld kB after the soak (%+ld kB)\n",
              rssBefore, rssAfter, rssAfter - rssBefore);
  return sound;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addHelpOption();
  const QCommandLineOption commandsOption(QStringLiteral("commands"), QStringLiteral("commands timed one by one"),
                                          QStringLiteral("N"), QStringLiteral("2000"));
  const QCommandLineOption pipelinedOption(QStringLiteral("pipelined"), QStringLiteral("commands sent at once"),
                                           QStringLiteral("P"), QStringLiteral("20000"));
  const QCommandLineOption soakOption(QStringLiteral("soak"), QStringLiteral("commands of the soak"),
                                      QStringLiteral("S"), QStringLiteral("100000"));
  const QCommandLineOption lossSoakOption(QStringLiteral("loss-soak"),
                                          QStringLiteral("commands of the soak against a lossy unit (0: none)"),
                                          QStringLiteral("L"), QStringLiteral("0"));
  parser.addOptions({commandsOption, pipelinedOption, soakOption, lossSoakOption});
  parser.process(app);
  const int commands = std::max(1, parser.value(commandsOption).toInt());
  const int pipelined = std::max(1, parser.value(pipelinedOption).toInt());
  const int soak = std::max(1000, parser.value(soakOption).toInt());
  const int lossSoak = parser.value(lossSoakOption).toInt();

  const quint16 port = test::FreeUdpPort();
  QProcess sim;
  if (!bench::StartSimulator(sim, {QStringLiteral("--port"), QString::number(port), QStringLiteral("--units"),
                                   QStringLiteral("1")})) {
    std::fprintf(stderr, "cannot start mzr4700-sim\n");
    return 1;
  }

  // 1. The anchor: the link alone, the master mute's frame, write -> acknowledgement.
  {
    AppState state;
    ParameterImage image;
    ParamLink::Options options;
    options.port = port;
    ParamLink link(state, image, options);
    if (!link.Open()) return 1;
    link.setLocalIp(QStringLiteral("127.0.0.1"));
    state.networkMode = 1;
    state.connected = 1;
    link.setRemoteAddress(QStringLiteral("127.0.0.2"));
    int acks = 0;
    QObject::connect(&link, &ParamLink::acknowledged, [&](int) { ++acks; });
    const WriteSpan span = WriteSpanFor(EditedField::masterFlags);
    std::vector<double> micros;
    for (int i = 0; i < commands; ++i) {
      image.setMasterFlags(static_cast<std::uint8_t>(i % 2));
      const int before = acks;
      QElapsedTimer clock;
      clock.start();
      link.SendSpan(span);
      if (RunUntil([&] { return acks > before; }, 2000)) micros.push_back(static_cast<double>(clock.nsecsElapsed()) / 1000.0);
    }
    std::printf("link write -> acknowledgement (%d writes): median %.1f us, p99 %.1f us, lost %d\n", commands,
                Percentile(micros, 0.5), Percentile(micros, 0.99), commands - static_cast<int>(micros.size()));
  }

  // 2. The bridge process.
  const quint16 tcpPort = FreeTcpPort();
  QProcess bridge;
  Client client;
  // The soak's mix holds set lines, refused unless the bridge serves them.
  if (!StartBridge(bridge, port, tcpPort, {}, {QStringLiteral("--allow-set")}) || !Connect(client, tcpPort)) return 1;

  // 3. One command at a time: command -> acknowledgement -> reply.
  {
    std::vector<double> micros;
    for (int i = 0; i < commands; ++i) {
      const qint64 before = client.lines;
      QElapsedTimer clock;
      clock.start();
      client.socket.write(i % 2 ? "mute 1\n" : "mute 0\n");
      client.socket.flush();
      if (client.WaitLines(before + 1, 5000)) micros.push_back(static_cast<double>(clock.nsecsElapsed()) / 1000.0);
    }
    std::printf("bridge command -> acknowledgement -> reply, one at a time (%d commands): median %.1f us, p99 %.1f us, "
                "errors %lld\n",
                commands, Percentile(micros, 0.5), Percentile(micros, 0.99), static_cast<long long>(client.errors));
  }

  // 4. Pipelined: every command sent at once, the bridge still one frame at a time.
  {
    QByteArray batch;
    for (int i = 0; i < pipelined; ++i) batch += i % 2 ? "mute 1\n" : "mute 0\n";
    const qint64 before = client.lines;
    const qint64 errorsBefore = client.errors;
    QElapsedTimer clock;
    clock.start();
    client.socket.write(batch);
    const bool all = client.WaitLines(before + pipelined, 120000);
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    std::printf("bridge pipelined (%d commands, one client): %.0f commands/s, all %s in %.0f ms, errors %lld\n",
                pipelined, static_cast<double>(client.lines - before) / seconds, all ? "answered" : "NOT answered",
                seconds * 1000.0, static_cast<long long>(client.errors - errorsBefore));
  }

  // 5. Soak: mixed commands in chunks of 1000 pipelined lines; memory after a warm-up and
  // at the end.
  {
    const QList<QByteArray> mix{"mute 1\n", "fader 6.5\n", "fader?\n", "get outputLevel[1]\n", "input opt2\n",
                                "set outputLevel[0]=-3.0dB\n", "mute 0\n", "input 0\n", "cp750.sys.fader 70\n",
                                "volume 3\n"};
    const auto run = [&](int count) { return RunMix(client, mix, count, 1000, 60000); };
    run(1000);
    const qint64 errorsBefore = client.errors;
    const long rssBefore = ResidentKb(bridge.processId());
    QElapsedTimer clock;
    clock.start();
    const bool done = run(soak);
    const long rssAfter = ResidentKb(bridge.processId());
    std::printf("soak (%d mixed commands, a tenth of them refused): %s in %.1f s, errors %lld\n", soak,
                done ? "all answered" : "NOT all answered", static_cast<double>(clock.elapsed()) / 1000.0,
                static_cast<long long>(client.errors - errorsBefore));
    std::printf("  bridge resident memory: %ld kB after 1000 commands, %ld kB after the soak (%+ld kB)\n", rssBefore,
                rssAfter, rssAfter - rssBefore);
  }

  bridge.terminate();
  bridge.waitForFinished(5000);
  sim.terminate();
  sim.waitForFinished(5000);
  // 6. Against a unit that loses frames.
  if (lossSoak > 0 && !LossSoak(std::max(1000, lossSoak), 50)) return 1;
  return 0;
}
