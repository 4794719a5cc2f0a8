#pragma once
// What the bridge's tests share: the bridge assembled in the test's own process as
// `mzr4700ctl bridge` assembles it, a line client over real TCP, and the simulator's frame
// log read back as text.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <memory>

#include "bridge/BridgeServer.h"
#include "bridge/BridgeUnit.h"
#include "link/ParamLink.h"
#include "support/SimProcess.h"
#include "workspace/Workspace.h"

namespace mzr::bridgetest {

using mzr::bridge::BridgeServer;
using mzr::bridge::BridgeUnit;
using mzr::test::SimProcess;


// The bridge on its own workspace, as `mzr4700ctl bridge` assembles it.
struct InProcessBridge {
  explicit InProcessBridge(quint16 udpPort, int timeoutMs, BridgeServer::Options options = {})
      : workspace(WorkspaceOptions(udpPort, timeoutMs)),
        unit(workspace, QStringLiteral("127.0.0.2"), timeoutMs),
        server(unit, WithFreePort(std::move(options), timeoutMs)) {
    workspace.link().Open();
    workspace.link().setLocalIp(QStringLiteral("127.0.0.1"));
    server.Listen(nullptr);
    unit.Start();
  }
  static Workspace::Options WorkspaceOptions(quint16 port, int timeoutMs) {
    Workspace::Options o;
    o.udpPort = port;
    o.linkTimeoutMs = timeoutMs;
    return o;
  }
  static BridgeServer::Options WithFreePort(BridgeServer::Options o, int timeoutMs) {
    o.port = 0;
    o.unitTimeoutMs = timeoutMs;
    return o;
  }
  Workspace workspace;
  BridgeUnit unit;
  BridgeServer server;
};

// Runs the event loop until done() holds, sleeping only until the next event (QTest's
// qWaitFor sleeps 10 ms between passes, which would pace a pipeline of thousands of
// commands). A timer wakes the loop so the time limit is kept.
template <typename Done>
bool WaitUntil(Done done, int limitMs) {
  QTimer wake;
  wake.start(20);
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  return true;
}

// A line client of the bridge; waits by running the event loop, so an in-process bridge
// keeps serving meanwhile.
class LineClient {
 public:
  bool Connect(quint16 port, const QHostAddress& from = QHostAddress()) {
    if (!from.isNull() && !m_socket.bind(from, 0)) return false;
    m_socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    return QTest::qWaitFor([&] { return m_socket.state() == QAbstractSocket::ConnectedState; }, 5000);
  }
  void Send(const QByteArray& bytes) {
    m_socket.write(bytes);
    m_socket.flush();
  }
  // The next count lines (without line ends); fewer when they do not come in time.
  QStringList Lines(int count, int timeoutMs = 10000) {
    (void)WaitUntil(
        [&] {
          m_buffer += m_socket.readAll();
          return m_buffer.count('\n') >= count;
        },
        timeoutMs);  // the caller compares what came
    QStringList lines;
    while (lines.size() < count && m_buffer.contains('\n')) {
      const qsizetype end = m_buffer.indexOf('\n');
      QByteArray line = m_buffer.left(end);
      if (line.endsWith('\r')) line.chop(1);
      lines << QString::fromUtf8(line);
      m_buffer.remove(0, end + 1);
    }
    return lines;
  }
  QString Ask(const QByteArray& line) {
    Send(line + '\n');
    const QStringList lines = Lines(1);
    return lines.isEmpty() ? QStringLiteral("<no reply>") : lines.first();
  }
  bool WaitClosed(int timeoutMs = 5000) {
    return QTest::qWaitFor([&] { return m_socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
  }
  QByteArray Unread() { return m_buffer + m_socket.readAll(); }
  QTcpSocket& socket() { return m_socket; }

 private:
  QTcpSocket m_socket;
  QByteArray m_buffer;
};

struct Frame {
  int command;
  int address;
  int count;
  const char* data;
};

// The frames of the log from line `from` on, as "command address count data".
inline QStringList FramesFrom(const SimProcess& sim, qsizetype from) {
  QStringList frames;
  const QList<QJsonObject> lines = sim.LogLines();
  for (qsizetype i = from; i < lines.size(); ++i) {
    const QJsonObject& l = lines[i];
    frames << QStringLiteral("%1 %2 %3 %4")
                  .arg(l.value(QStringLiteral("command")).toInt())
                  .arg(l.value(QStringLiteral("address")).toInt())
                  .arg(l.value(QStringLiteral("count")).toInt())
                  .arg(l.value(QStringLiteral("data")).toString());
  }
  return frames;
}

inline QString FrameText(const Frame& f) {
  return QStringLiteral("%1 %2 %3 %4").arg(f.command).arg(f.address).arg(f.count).arg(QLatin1String(f.data));
}

inline QStringList SimArgs(quint16 port) {
  return {QStringLiteral("--port"), QString::number(port), QStringLiteral("--units"), QStringLiteral("1")};
}

inline quint16 FreeTcpPort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  return probe.serverPort();
}


// mzr4700-sim on a free port (with extra arguments) and the bridge in this process against
// it, once the bridge has read the unit's settings.
struct ServedUnit {
  quint16 port = mzr::test::FreeUdpPort();
  SimProcess sim;
  std::unique_ptr<InProcessBridge> bridge;
  QString error;

  bool Start(int timeoutMs, BridgeServer::Options options = {}, const QStringList& simArgs = {}) {
    if (!sim.Start(SimArgs(port) + simArgs, &error)) return false;
    bridge = std::make_unique<InProcessBridge>(port, timeoutMs, std::move(options));
    if (QTest::qWaitFor([&] { return bridge->unit.imageValid(); }, 10000)) return true;
    error = QStringLiteral("the bridge did not read the unit's settings");
    return false;
  }
  BridgeServer& server() { return bridge->server; }
};

}  // namespace mzr::bridgetest
