#include "measure/FileCapture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mzr {
namespace {

constexpr int kPollMs = 10;
constexpr int kReadBytes = 1 << 16;

}  // namespace

FileCapture::FileCapture(QString path, int waitMs, QObject* parent)
    : AudioCapture(parent), m_path(std::move(path)), m_waitMs(waitMs) {
  m_poll.setInterval(kPollMs);
  connect(&m_poll, &QTimer::timeout, this, &FileCapture::ReadAvailable);
}

FileCapture::~FileCapture() { Stop(); }

std::optional<QString> FileCapture::Start() {
  Stop();
  if (m_path == QStringLiteral("-")) {
    m_fd = STDIN_FILENO;
    m_ownsFd = false;
  } else {
    // Non-blocking, so opening a pipe that has no writer yet does not hang.
    m_fd = ::open(m_path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) return QStringLiteral("cannot open %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
    m_ownsFd = true;
  }
  struct stat info {};
  if (::fstat(m_fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    Stop();
    return QStringLiteral("cannot read samples from %1").arg(m_path);
  }
  m_realTime = !S_ISREG(info.st_mode);
  if (m_realTime) ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) | O_NONBLOCK);
  m_sawData = false;
  m_partial.clear();
  ResetStats();
  m_quietSince.start();
  m_poll.start();
  return std::nullopt;
}

void FileCapture::Stop() {
  m_poll.stop();
  if (m_fd >= 0 && m_ownsFd) ::close(m_fd);
  m_fd = -1;
}

void FileCapture::ReadAvailable() {
  if (m_fd < 0) return;
  QByteArray bytes = m_partial;
  m_partial.clear();
  bool atEnd = false;
  // A regular file gives at most a second per poll, so replay stays responsive.
  const int maxReads = m_realTime ? 64 : 3;
  for (int i = 0; i < maxReads; ++i) {
    char buffer[kReadBytes];
    const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
    if (n > 0) {
      bytes.append(buffer, n);
      continue;
    }
    if (n == 0) atEnd = true;
    else if (errno == EINTR) continue;
    else if (errno != EAGAIN && errno != EWOULDBLOCK) {
      const QString why = QStringLiteral("reading %1 failed: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
      Stop();
      emit failed(why);
      return;
    }
    break;
  }
  const qsizetype whole = bytes.size() / qsizetype(sizeof(float)) * qsizetype(sizeof(float));
  m_partial = bytes.mid(whole);
  if (whole > 0) {
    m_sawData = true;
    m_quietSince.start();
    QList<float> samples(whole / qsizetype(sizeof(float)));
    std::memcpy(samples.data(), bytes.constData(), static_cast<std::size_t>(whole));
    Deliver(samples, m_realTime);
  }
  // A pipe without a writer reads as its end too; before the first data that only means
  // the writer has not come yet.
  if (atEnd && (m_sawData || !m_realTime)) {
    Stop();
    emit ended();
    return;
  }
  if (m_realTime && m_quietSince.elapsed() > m_waitMs) {
    Stop();
    emit failed(m_sawData ? QStringLiteral("no samples from %1 for %2 ms").arg(m_path).arg(m_waitMs)
                          : QStringLiteral("nothing arrived from %1 within %2 ms").arg(m_path).arg(m_waitMs));
  }
}

}  // namespace mzr
