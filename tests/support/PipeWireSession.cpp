#include "support/PipeWireSession.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

namespace mzr::test {
namespace {

constexpr int kStepTimeoutMs = 15000;
// The daemons are killed by timeout(1) after this, whatever becomes of the test.
const QString kDaemonLimit = QStringLiteral("900");

}  // namespace

PipeWireSession::PipeWireSession() = default;

PipeWireSession::~PipeWireSession() { Stop(); }

QStringList PipeWireSession::MissingTools() {
  QStringList missing;
  for (const char* tool : {"timeout", "dbus-daemon", "pipewire", "wireplumber", "pipewire-pulse", "pw-cli", "pw-dump",
                           "pw-loopback", "pw-cat"}) {
    if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) missing << QString::fromLatin1(tool);
  }
  return missing;
}

QProcess& PipeWireSession::Launch(const QString& program, const QStringList& arguments, const QString& logName) {
  auto process = std::make_unique<QProcess>();
  process->setProcessEnvironment(m_environment);
  process->setStandardOutputFile(m_runtime.filePath(logName));
  process->setStandardErrorFile(m_runtime.filePath(logName), QIODevice::Append);
  process->start(QStringLiteral("timeout"), QStringList{QStringLiteral("-s"), QStringLiteral("KILL"), kDaemonLimit, program} + arguments);
  m_daemons.push_back(std::move(process));
  return *m_daemons.back();
}

std::optional<QByteArray> PipeWireSession::Query(const QString& program, const QStringList& arguments) const {
  QProcess process;
  process.setProcessEnvironment(m_environment);
  process.start(QStringLiteral("timeout"), QStringList{QStringLiteral("5"), program} + arguments);
  if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    return std::nullopt;
  }
  return process.readAllStandardOutput();
}

bool PipeWireSession::WaitFor(const std::function<bool()>& ready, int timeoutMs) const {
  return QTest::qWaitFor(ready, timeoutMs);
}

QString PipeWireSession::Logs() const {
  QString text;
  for (const char* name : {"dbus.log", "pipewire.log", "wireplumber.log", "pulse.log", "loopback.log"}) {
    QFile file(m_runtime.filePath(QString::fromLatin1(name)));
    if (file.open(QIODevice::ReadOnly)) text += QStringLiteral("--- %1\n%2").arg(QString::fromLatin1(name), QString::fromUtf8(file.readAll().right(2000)));
  }
  return text;
}

bool PipeWireSession::Start(QString* error) {
  const auto fail = [&](const QString& why) {
    if (error != nullptr) *error = why + QStringLiteral("\n") + Logs();
    Stop();
    return false;
  };
  if (const QStringList missing = MissingTools(); !missing.isEmpty()) {
    if (error != nullptr) *error = QStringLiteral("the audio stack is not installed: missing ") + missing.join(QStringLiteral(", "));
    return false;
  }
  if (!m_runtime.isValid()) return fail(QStringLiteral("cannot make a runtime folder"));
  QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const QString runtime = m_runtime.path();
  m_environment = QProcessEnvironment::systemEnvironment();
  m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
  m_environment.insert(QStringLiteral("PIPEWIRE_RUNTIME_DIR"), runtime);
  // WirePlumber keeps state; it stays inside the private folder.
  m_environment.insert(QStringLiteral("XDG_STATE_HOME"), runtime + QStringLiteral("/state"));
  m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), runtime + QStringLiteral("/config"));
  m_environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + runtime + QStringLiteral("/pulse/native"));
  m_environment.remove(QStringLiteral("PIPEWIRE_REMOTE"));

  // The session bus: its address is the first line it prints.
  QProcess& bus = Launch(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                          QStringLiteral("--print-address=1")},
                         QStringLiteral("dbus.log"));
  const QString busLog = m_runtime.filePath(QStringLiteral("dbus.log"));
  QString address;
  const bool busUp = WaitFor([&] {
    QFile file(busLog);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray first = file.readLine().trimmed();
    if (!first.startsWith("unix:")) return false;
    address = QString::fromUtf8(first);
    return true;
  }, kStepTimeoutMs);
  if (!busUp || bus.state() == QProcess::NotRunning) return fail(QStringLiteral("dbus-daemon did not start"));
  m_environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);

  QProcess& pipewire = Launch(QStringLiteral("pipewire"), {}, QStringLiteral("pipewire.log"));
  if (!WaitFor([&] {
        return pipewire.state() != QProcess::NotRunning && QFileInfo::exists(runtime + QStringLiteral("/pipewire-0")) &&
               Query(QStringLiteral("pw-cli"), {QStringLiteral("info"), QStringLiteral("0")}).has_value();
      }, kStepTimeoutMs)) {
    return fail(QStringLiteral("pipewire did not answer pw-cli info 0"));
  }

  const auto dumpHas = [this](const QByteArray& text) {
    const auto dump = Query(QStringLiteral("pw-dump"), {});
    return dump && dump->contains(text);
  };
  QProcess& wireplumber = Launch(QStringLiteral("wireplumber"), {}, QStringLiteral("wireplumber.log"));
  if (!WaitFor([&] { return wireplumber.state() != QProcess::NotRunning && dumpHas("\"application.name\": \"WirePlumber\""); },
               kStepTimeoutMs)) {
    return fail(QStringLiteral("wireplumber did not join pipewire"));
  }

  QProcess& pulse = Launch(QStringLiteral("pipewire-pulse"), {}, QStringLiteral("pulse.log"));
  if (!WaitFor([&] {
        return pulse.state() != QProcess::NotRunning && QFileInfo::exists(runtime + QStringLiteral("/pulse/native"));
      }, kStepTimeoutMs)) {
    return fail(QStringLiteral("pipewire-pulse did not open its socket"));
  }

  const QString common = QStringLiteral("audio.rate=48000 audio.channels=1 audio.position=[MONO]");
  QProcess& loopback = Launch(
      QStringLiteral("pw-loopback"),
      {QStringLiteral("--name"), QStringLiteral("mzr-virtual-microphone"),
       QStringLiteral("--capture-props=media.class=Audio/Sink node.name=%1 node.description=\"mzr virtual sink\" %2")
           .arg(QString::fromLatin1(kSinkName), common),
       QStringLiteral("--playback-props=media.class=Audio/Source node.name=%1 node.description=\"%2\" %3")
           .arg(QString::fromLatin1(kSourceName), QString::fromLatin1(kSourceDescription), common)},
      QStringLiteral("loopback.log"));
  if (!WaitFor([&] {
        return loopback.state() != QProcess::NotRunning &&
               dumpHas(QStringLiteral("\"node.name\": \"%1\"").arg(QString::fromLatin1(kSourceName)).toUtf8()) &&
               dumpHas(QStringLiteral("\"node.name\": \"%1\"").arg(QString::fromLatin1(kSinkName)).toUtf8());
      }, kStepTimeoutMs)) {
    return fail(QStringLiteral("pw-loopback's virtual microphone did not appear"));
  }
  return true;
}

void PipeWireSession::ApplyToThisProcess() const {
  for (const char* name : {"XDG_RUNTIME_DIR", "PIPEWIRE_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS", "PULSE_SERVER"}) {
    qputenv(name, m_environment.value(QString::fromLatin1(name)).toLocal8Bit());
  }
}

void PipeWireSession::Stop() {
  // The last one started goes first.
  while (!m_daemons.empty()) {
    QProcess& process = *m_daemons.back();
    if (process.state() != QProcess::NotRunning) {
      process.terminate();
      if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
      }
    }
    m_daemons.pop_back();
  }
}

}  // namespace mzr::test
