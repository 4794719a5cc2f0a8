#pragma once
// A private audio stack for tests: its own runtime folder and session bus (dbus-daemon
// --session), pipewire, wireplumber and pipewire-pulse, and a virtual microphone made by
// pw-loopback (a sink on one side, media.class Audio/Sink, a source on the other,
// media.class Audio/Source), so what is played into the sink is captured from the source.
// Each part is started only once the one before answers (its socket, pw-cli info 0, its
// client or nodes in pw-dump); without those waits a start hangs now and then. Every tool
// runs under timeout(1), the daemons with a hard limit, so nothing outlives a crashed test.
// Runs as root in a container: no user session is needed.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace mzr::test {

class PipeWireSession final {
  Q_DISABLE_COPY_MOVE(PipeWireSession)

 public:
  static constexpr const char* kSinkName = "mzr_virtual_sink";
  static constexpr const char* kSourceName = "mzr_virtual_mic";
  static constexpr const char* kSourceDescription = "mzr virtual microphone";

  PipeWireSession();
  ~PipeWireSession();

  // False, with what is missing or what did not come up, when the stack cannot run here.
  bool Start(QString* error);
  void Stop();

  // The environment that reaches this stack: XDG_RUNTIME_DIR, the bus, PULSE_SERVER.
  const QProcessEnvironment& environment() const { return m_environment; }
  // Puts that environment into this process, for Qt Multimedia's sound-server client.
  void ApplyToThisProcess() const;

  // The tools the stack needs that are not installed.
  static QStringList MissingTools();

 private:
  QProcess& Launch(const QString& program, const QStringList& arguments, const QString& logName);
  // Runs a short tool under timeout; its stdout, or nothing when it failed.
  std::optional<QByteArray> Query(const QString& program, const QStringList& arguments) const;
  bool WaitFor(const std::function<bool()>& ready, int timeoutMs) const;
  QString Logs() const;

  QTemporaryDir m_runtime;
  QProcessEnvironment m_environment;
  std::vector<std::unique_ptr<QProcess>> m_daemons;  // in start order
};

}  // namespace mzr::test
