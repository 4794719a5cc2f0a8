#include "bridge/ServiceNotifier.h"

#include <QCoreApplication>
#include <QTimer>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

namespace mzr::bridge {

ServiceNotifier::ServiceNotifier(QObject* parent) : QObject(parent) {}

bool ServiceNotifier::Notify(const QByteArray& state, QString* error) {
  const auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  const QByteArray name = qgetenv("NOTIFY_SOCKET");
  if (name.isEmpty()) return fail({});
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if ((name[0] != '/' && name[0] != '@') || name.size() >= static_cast<qsizetype>(sizeof address.sun_path)) {
    return fail(QStringLiteral("NOTIFY_SOCKET '%1' is neither a path nor an abstract name").arg(QString::fromLocal8Bit(name)));
  }
  std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
  if (name[0] == '@') address.sun_path[0] = '\0';  // the abstract namespace; the name is not NUL-terminated
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + static_cast<std::size_t>(name.size()) +
                                             (name[0] == '/' ? 1 : 0));
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return fail(QString::fromLocal8Bit(std::strerror(errno)));
  const ssize_t sent = ::sendto(fd, state.constData(), static_cast<std::size_t>(state.size()), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), length);
  const int sendError = errno;
  ::close(fd);
  if (sent != state.size()) return fail(QString::fromLocal8Bit(std::strerror(sendError)));
  return true;
}

int ServiceNotifier::watchdogIntervalMs() const { return m_watchdog ? m_watchdog->interval() : 0; }

bool ServiceNotifier::Ready(const QString& status, QString* error) {
  const bool sent = Notify("READY=1\nSTATUS=" + status.toUtf8().replace('\n', ' '), error);
  bool ok = false;
  const qint64 usec = qEnvironmentVariable("WATCHDOG_USEC").toLongLong(&ok);
  const QString pid = qEnvironmentVariable("WATCHDOG_PID");
  const bool forUs = pid.isEmpty() || pid.toLongLong() == QCoreApplication::applicationPid();
  if (sent && ok && usec > 0 && forUs && !m_watchdog) {
    m_watchdog = new QTimer(this);
    // Half the interval, as systemd advises: one late turn of the loop is no restart.
    m_watchdog->setInterval(static_cast<int>(std::max<qint64>(1, usec / 2000)));
    connect(m_watchdog, &QTimer::timeout, this, [] { Notify("WATCHDOG=1"); });
    m_watchdog->start();
  }
  return sent;
}

}  // namespace mzr::bridge
