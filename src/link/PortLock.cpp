#include "link/PortLock.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

namespace mzr {
namespace {

// How often a waiting companion tries again, how long a contender gives a new holder to
// start answering, and how long it waits for the holder's name.
constexpr int kPollMs = 20;
constexpr int kNameGraceMs = 200;
constexpr int kNameWaitMs = 300;
constexpr int kBacklog = 16;

struct Address {
  sockaddr_un un{};
  socklen_t length = 0;
};

Address AbstractAddress(const QByteArray& name) {
  Address a;
  a.un.sun_family = AF_UNIX;
  // A leading NUL puts the name in the abstract namespace; its length is the address's,
  // with no terminating NUL.
  const auto size = std::min<std::size_t>(static_cast<std::size_t>(name.size()), sizeof a.un.sun_path - 1);
  std::memcpy(a.un.sun_path + 1, name.constData(), size);
  a.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + size);
  return a;
}

QString Errno(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QString ProcessName(qint64 pid) {
  QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
  if (!comm.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(comm.read(64)).trimmed();
}

}  // namespace

PortLock::PortLock(quint16 port, Holder self) : m_port(port), m_self(self) {}

PortLock::~PortLock() {
  if (m_server.joinable()) {
    const char wake = 1;
    (void)!::write(m_wake[1], &wake, 1);
    m_server.join();
  }
  for (const int fd : {m_wake[0], m_wake[1], m_fd}) {
    if (fd >= 0) ::close(fd);
  }
}

QByteArray PortLock::NameFor(quint16 port) { return QByteArrayLiteral("mzr4700-udp-port-") + QByteArray::number(port); }

QString PortLock::HolderName(Holder holder) {
  switch (holder) {
    case Holder::Program:
      return QStringLiteral("mzr4700");
    case Holder::Companion:
      return QStringLiteral("mzr4700ctl");
    case Holder::Bridge:
      return QStringLiteral("mzr4700ctl bridge");
  }
  return {};
}

std::optional<PortLock::Occupant> PortLock::Ask(quint16 port) {
  const Address address = AbstractAddress(NameFor(port));
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return Occupant{};
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.un), address.length) != 0) {
    const int error = errno;
    ::close(fd);
    // No one holds the name; a full backlog (EAGAIN) means a holder that cannot be asked.
    if (error == ECONNREFUSED || error == ENOENT) return std::nullopt;
    return Occupant{};
  }
  Occupant occupant;
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && credentials.pid > 0) {
    occupant.pid = credentials.pid;
  }
  // The holder's one line: its name.
  QByteArray said;
  QElapsedTimer waited;
  waited.start();
  while (!said.contains('\n') && said.size() < 64 && waited.elapsed() < kNameWaitMs) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(kNameWaitMs - waited.elapsed())) <= 0) continue;
    char chunk[64];
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got <= 0) break;
    said.append(chunk, got);
  }
  ::close(fd);
  const QString name = QString::fromLatin1(said.left(said.indexOf('\n')));
  for (const Holder holder : {Holder::Program, Holder::Companion, Holder::Bridge}) {
    if (said.contains('\n') && name == HolderName(holder)) occupant.holder = holder;
  }
  if (!occupant.holder && occupant.pid > 0) occupant.command = ProcessName(occupant.pid);
  return occupant;
}

void PortLock::Serve() const {
  const QByteArray line = HolderName(m_self).toLatin1() + '\n';
  pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    const int contender = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (contender < 0) {
      if (errno == EMFILE || errno == ENFILE) QThread::msleep(kPollMs);  // not in a loop
      continue;
    }
    (void)!::send(contender, line.constData(), static_cast<std::size_t>(line.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(contender);
  }
}

PortLock::Outcome PortLock::Acquire(int waitMs) {
  if (m_held) return Outcome::Locked;
  const Address address = AbstractAddress(NameFor(m_port));
  QElapsedTimer waited;
  waited.start();
  QElapsedTimer unnamedFor;  // since the holder last failed to say what it is
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      m_openError = Errno(errno);
      return m_last = Outcome::CannotOpen;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address.un), address.length) == 0) {
      if (::listen(fd, kBacklog) != 0 || ::pipe2(m_wake, O_CLOEXEC) != 0) {
        m_openError = Errno(errno);
        ::close(fd);
        return m_last = Outcome::CannotOpen;
      }
      m_fd = fd;
      m_held = true;
      m_server = std::thread([this] { Serve(); });
      return m_last = Outcome::Locked;
    }
    const int error = errno;
    ::close(fd);
    if (error != EADDRINUSE) {
      m_openError = Errno(error);
      return m_last = Outcome::CannotOpen;
    }
    const std::optional<Occupant> occupant = Ask(m_port);
    if (!occupant) continue;  // released in between: try again at once
    m_occupant = *occupant;
    // A holder that has just taken the name may not answer yet.
    if (m_occupant.holder) {
      unnamedFor.invalidate();
    } else if (!unnamedFor.isValid()) {
      unnamedFor.start();
    }
    const bool unnamed = !m_occupant.holder && unnamedFor.elapsed() < kNameGraceMs;
    const bool turnTaking = m_self != Holder::Program && m_occupant.holder == Holder::Companion;
    if (!unnamed && (!turnTaking || waited.elapsed() >= waitMs)) return m_last = Outcome::HeldByOther;
    QThread::msleep(kPollMs);
  }
}

QString PortLock::refusal() const {
  if (m_last == Outcome::CannotOpen) {
    return QStringLiteral("cannot take the lock that keeps a second client off UDP port %1 (%2)")
        .arg(m_port)
        .arg(m_openError);
  }
  QString holder;
  if (m_occupant.holder) {
    holder = QStringLiteral("%1 (process %2)").arg(HolderName(*m_occupant.holder)).arg(m_occupant.pid);
    if (m_occupant.holder == Holder::Bridge) holder += QStringLiteral(", the show automation bridge");
  } else if (m_occupant.pid > 0) {
    holder = QStringLiteral("process %1 (%2), which does not say what it is")
                 .arg(m_occupant.pid)
                 .arg(m_occupant.command.isEmpty() ? QStringLiteral("its name cannot be read") : m_occupant.command);
  } else {
    holder = QStringLiteral("a process that cannot be told");
  }
  return QStringLiteral("UDP port %1 is in use on this PC by %2, and two clients on one port would take each "
                        "other's answers")
      .arg(m_port)
      .arg(holder);
}

QString PortLock::refusalChinese() const {
  if (m_last == Outcome::CannotOpen) {
    return QStringLiteral("无法确认UDP端口%1没有被其他程序占用（%2）").arg(m_port).arg(m_openError);
  }
  QString holder;
  if (m_occupant.holder) {
    holder = QStringLiteral("%1（进程%2）").arg(HolderName(*m_occupant.holder)).arg(m_occupant.pid);
    if (m_occupant.holder == Holder::Bridge) holder += QStringLiteral("，即放映自动化桥接服务");
  } else if (m_occupant.pid > 0) {
    holder = QStringLiteral("进程%1（%2）").arg(m_occupant.pid).arg(m_occupant.command);
  } else {
    holder = QStringLiteral("一个无法识别的程序");
  }
  return QStringLiteral("本机的UDP端口%1已被%2占用，两个程序共用一个端口会互相收走对方的应答。").arg(m_port).arg(holder);
}

}  // namespace mzr
