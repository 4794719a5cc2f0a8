#include "link/PortLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mzr {
namespace {

// How often a waiting companion looks again, and how long a contender gives a new holder to
// write its name after it took the lock.
constexpr int kPollMs = 20;
constexpr int kNameGraceMs = 200;
constexpr qsizetype kRecordSize = 32;

}  // namespace

PortLock::PortLock(quint16 port, Holder self) : m_port(port), m_self(self) {}

PortLock::~PortLock() {
  // Closing the descriptor releases the flock; the file stays for the next holder (removing
  // it would let a contender lock a file that is no longer the one at the path).
  if (m_fd >= 0) ::close(m_fd);
}

QString PortLock::PathFor(quint16 port) {
  return QDir(QDir::tempPath()).filePath(QStringLiteral("mzr4700-port-%1.lock").arg(port));
}

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

PortLock::Occupant PortLock::ReadOccupant() const {
  Occupant occupant;
  char text[kRecordSize + 1] = {};
  const ssize_t got = ::pread(m_fd, text, sizeof text - 1, 0);
  if (got <= 0) return occupant;
  // The name (which may hold a space), then the process id.
  const QString record = QString::fromLatin1(text, got).trimmed();
  const qsizetype space = record.lastIndexOf(QLatin1Char(' '));
  if (space <= 0) return occupant;
  bool ok = false;
  const qint64 pid = record.mid(space + 1).toLongLong(&ok);
  if (!ok || pid <= 0) return occupant;
  const QString name = record.left(space);
  for (const Holder holder : {Holder::Program, Holder::Companion, Holder::Bridge}) {
    if (name == HolderName(holder)) occupant.holder = holder;
  }
  occupant.pid = pid;
  return occupant;
}

void PortLock::WriteSelf() {
  // One fixed-width record written in one call over the last one, never truncated first: a
  // contender reading meanwhile sees the old holder or the new one, not an empty file.
  QByteArray line = (HolderName(m_self) + QLatin1Char(' ') + QString::number(QCoreApplication::applicationPid()))
                        .toLatin1()
                        .leftJustified(kRecordSize - 1, ' ');
  line += '\n';
  // A file opened read-only (another user's) keeps the last text; refusals then name that
  // holder, which is the best that can be said.
  if (::pwrite(m_fd, line.constData(), static_cast<size_t>(line.size()), 0) == line.size()) {
    (void)!::ftruncate(m_fd, kRecordSize);
  }
}

PortLock::Outcome PortLock::Acquire(int waitMs) {
  if (m_held) return Outcome::Locked;
  if (m_fd < 0) {
    const QByteArray path = QFile::encodeName(PathFor(m_port));
    m_fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0 && errno == EACCES) m_fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
      m_openError = QString::fromLocal8Bit(std::strerror(errno));
      return m_last = Outcome::CannotOpen;
    }
  }
  QElapsedTimer waited;
  waited.start();
  QElapsedTimer unnamedFor;  // since the file last failed to name a holder
  for (;;) {
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
      m_held = true;
      WriteSelf();
      return m_last = Outcome::Locked;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      m_openError = QString::fromLocal8Bit(std::strerror(errno));
      return m_last = Outcome::CannotOpen;
    }
    m_occupant = ReadOccupant();
    // A holder that has just taken the lock may not have written its name yet.
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
    return QStringLiteral("cannot use the lock file %1 that keeps a second client off UDP port %2 (%3)")
        .arg(PathFor(m_port))
        .arg(m_port)
        .arg(m_openError);
  }
  QString holder = m_occupant.holder ? QStringLiteral("%1 (process %2)")
                                           .arg(HolderName(*m_occupant.holder))
                                           .arg(m_occupant.pid)
                                     : QStringLiteral("another mzr4700 client");
  if (m_occupant.holder == Holder::Bridge) holder += QStringLiteral(", the show automation bridge");
  return QStringLiteral("UDP port %1 is in use on this PC by %2, and two clients on one port would take each "
                        "other's answers")
      .arg(m_port)
      .arg(holder);
}

QString PortLock::refusalChinese() const {
  if (m_last == Outcome::CannotOpen) {
    return QStringLiteral("无法使用锁文件%1，不能确认UDP端口%2没有被其他程序占用（%3）")
        .arg(PathFor(m_port))
        .arg(m_port)
        .arg(m_openError);
  }
  QString holder = m_occupant.holder ? QStringLiteral("%1（进程%2）")
                                           .arg(HolderName(*m_occupant.holder))
                                           .arg(m_occupant.pid)
                                     : QStringLiteral("另一个mzr4700程序");
  if (m_occupant.holder == Holder::Bridge) holder += QStringLiteral("，即放映自动化桥接服务");
  return QStringLiteral("本机的UDP端口%1已被%2占用，两个程序共用一个端口会互相收走对方的应答。").arg(m_port).arg(holder);
}

}  // namespace mzr
