#pragma once
// mzr4700-sim as a child process of a test: starts it with the given arguments and a log in
// a temporary folder, waits for its "ready" line, reads the JSON log lines it writes, and
// stops it with SIGTERM when the test is done (also when a test fails half-way).

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace mzr::test {

class SimProcess final {
  Q_DISABLE_COPY_MOVE(SimProcess)

 public:
  SimProcess();
  ~SimProcess();

  // The absolute path of build/bin/mzr4700-sim.
  static QString ExecutablePath();

  // Starts the simulator with arguments, adding "--log <logPath()>" unless they name a log
  // themselves, and waits for "ready". False, with the reason and the simulator's stderr in
  // error, when it exits or stays silent instead.
  bool Start(const QStringList& arguments, QString* error = nullptr, int timeoutMs = 15000);
  bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

  // Sends SIGTERM and waits. The exit code, or -1 when the process had to be killed, crashed
  // or was not running.
  int Stop(int timeoutMs = 10000);

  QString logPath() const { return m_logPath; }
  // Every complete line of the log, parsed.
  QList<QJsonObject> LogLines() const;
  // Waits until the log holds at least count lines; false when the time limit passes first.
  bool WaitForLogLines(qsizetype count, int timeoutMs = 10000) const;

  // Everything the simulator wrote to stderr so far.
  QString errorOutput();
  // Waits until stderr contains text; false when the time limit passes first.
  bool WaitForErrorOutput(const QString& text, int timeoutMs = 10000);

  QProcess& process() { return m_process; }

 private:
  QTemporaryDir m_dir;
  QString m_logPath;
  QProcess m_process;
  QString m_stderr;
};

// A UDP port that no socket on this machine holds at the moment of the call.
quint16 FreeUdpPort();

}  // namespace mzr::test
