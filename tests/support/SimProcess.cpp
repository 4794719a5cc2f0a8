#include "support/SimProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QThread>
#include <QUdpSocket>

namespace mzr::test {

SimProcess::SimProcess() : m_logPath(m_dir.filePath(QStringLiteral("sim.log"))) {
  m_process.setProcessChannelMode(QProcess::SeparateChannels);
}

SimProcess::~SimProcess() { Stop(); }

QString SimProcess::ExecutablePath() { return QString::fromUtf8(MZR_SIM_EXECUTABLE); }

bool SimProcess::Start(const QStringList& arguments, QString* error, int timeoutMs) {
  QStringList all = arguments;
  if (!all.contains(QStringLiteral("--log"))) all << QStringLiteral("--log") << m_logPath;
  m_stderr.clear();
  m_process.start(ExecutablePath(), all);
  auto fail = [&](const QString& why) {
    if (error != nullptr) *error = why + QStringLiteral("\n") + errorOutput();
    Stop(2000);
    return false;
  };
  if (!m_process.waitForStarted(timeoutMs)) return fail(QStringLiteral("cannot start ") + ExecutablePath());
  const QDeadlineTimer deadline(timeoutMs);
  QByteArray out;
  while (!out.contains("ready\n")) {
    if (m_process.state() == QProcess::NotRunning) {
      return fail(QStringLiteral("mzr4700-sim exited with %1 before \"ready\"").arg(m_process.exitCode()));
    }
    if (deadline.hasExpired()) return fail(QStringLiteral("mzr4700-sim did not say \"ready\""));
    m_process.waitForReadyRead(50);
    out += m_process.readAllStandardOutput();
  }
  return true;
}

int SimProcess::Stop(int timeoutMs) {
  if (m_process.state() == QProcess::NotRunning) return -1;
  m_process.terminate();  // SIGTERM
  if (!m_process.waitForFinished(timeoutMs)) {
    m_process.kill();
    m_process.waitForFinished(timeoutMs);
    return -1;
  }
  m_stderr += QString::fromUtf8(m_process.readAllStandardError());
  return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QList<QJsonObject> SimProcess::LogLines() const {
  QList<QJsonObject> lines;
  QFile file(m_logPath);
  if (!file.open(QIODevice::ReadOnly)) return lines;
  const QByteArray all = file.readAll();
  // A line still being written has no newline yet and is left for the next call.
  const qsizetype end = all.lastIndexOf('\n');
  for (const QByteArray& line : all.left(end + 1).split('\n')) {
    if (line.isEmpty()) continue;
    lines << QJsonDocument::fromJson(line).object();
  }
  return lines;
}

bool SimProcess::WaitForLogLines(qsizetype count, int timeoutMs) const {
  const QDeadlineTimer deadline(timeoutMs);
  for (;;) {
    if (LogLines().size() >= count) return true;
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(5);
  }
}

QString SimProcess::errorOutput() {
  m_stderr += QString::fromUtf8(m_process.readAllStandardError());
  return m_stderr;
}

bool SimProcess::WaitForErrorOutput(const QString& text, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!errorOutput().contains(text)) {
    if (deadline.hasExpired() || m_process.state() == QProcess::NotRunning) return errorOutput().contains(text);
    m_process.waitForReadyRead(20);
  }
  return true;
}

quint16 FreeUdpPort() {
  // Bound on all addresses, so the port is free for the program's socket as well as for the
  // units' loopback sockets.
  QUdpSocket probe;
  if (!probe.bind(QHostAddress(QHostAddress::AnyIPv4), 0)) return 0;
  return probe.localPort();
}

}  // namespace mzr::test
