#include "link/UdpEndpoint.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace mzr {
namespace {

// Datagrams are read into buffers of this size; the protocol's longest is 890 bytes and
// anything over 1600 is dropped by the caller, which sees the real length.
constexpr std::size_t kReadSize = 2048;
// Datagrams taken by one receive call: a search's burst of replies arrives in few calls, a
// single answer in one.
constexpr unsigned kBatch = 16;

}  // namespace

std::optional<std::uint32_t> ParseIpv4(const QString& text) {
  const QByteArray latin = text.toLatin1();
  in_addr parsed{};
  if (latin.size() != text.size() || ::inet_pton(AF_INET, latin.constData(), &parsed) != 1) return std::nullopt;
  return ntohl(parsed.s_addr);
}

QString Ipv4Text(std::uint32_t address) {
  return QStringLiteral("%1.%2.%3.%4")
      .arg(address >> 24)
      .arg((address >> 16) & 0xFF)
      .arg((address >> 8) & 0xFF)
      .arg(address & 0xFF);
}

UdpEndpoint::UdpEndpoint(QObject* parent) : QObject(parent) {}

UdpEndpoint::~UdpEndpoint() {
  delete m_notifier;
  if (m_fd >= 0) ::close(m_fd);
}

bool UdpEndpoint::Bind(std::uint32_t address, std::uint16_t port, int receiveBufferBytes, QString* error) {
  if (m_fd >= 0) return true;
  const auto fail = [error, address, port](const char* what, int fd) {
    if (error != nullptr) {
      *error = QStringLiteral("Cannot bind UDP port %1 on %2: %3: %4")
                   .arg(port)
                   .arg(Ipv4Text(address), QString::fromLatin1(what), QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (fd >= 0) ::close(fd);
    return false;
  };
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return fail("socket", -1);
  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return fail("address sharing", fd);
  if (::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) return fail("broadcast", fd);
  // The kernel caps the buffer at net.core.rmem_max; a smaller one only risks a lost reply.
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(address);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return fail("bind", fd);
  m_fd = fd;
  m_notifier = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read);
  connect(m_notifier, &QSocketNotifier::activated, this, &UdpEndpoint::ReceiveWaiting);
  return true;
}

bool UdpEndpoint::SendTo(std::span<const std::uint8_t> bytes, std::uint32_t address, std::uint16_t port) const {
  if (m_fd < 0) return false;
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(address);
  for (;;) {
    const ssize_t n =
        ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (n < 0 && errno == EINTR) continue;
    return n >= 0;
  }
}

bool UdpEndpoint::hasWaiting() const {
  if (m_fd < 0) return false;
  pollfd entry{m_fd, POLLIN, 0};
  return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN) != 0;
}

void UdpEndpoint::ReceiveWaiting() {
  // The notifier is level-triggered: what a batch leaves behind raises it again, so one
  // call per activation keeps a single answer at one system call.
  std::array<std::array<std::uint8_t, kReadSize>, kBatch> buffers;
  std::array<iovec, kBatch> vectors{};
  std::array<sockaddr_in, kBatch> senders{};
  std::array<mmsghdr, kBatch> messages{};
  for (unsigned i = 0; i < kBatch; ++i) {
    vectors[i] = {buffers[i].data(), kReadSize};
    messages[i].msg_hdr.msg_iov = &vectors[i];
    messages[i].msg_hdr.msg_iovlen = 1;
    messages[i].msg_hdr.msg_name = &senders[i];
    messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
  }
  int got = -1;
  do {
    got = ::recvmmsg(m_fd, messages.data(), kBatch, MSG_DONTWAIT | MSG_TRUNC, nullptr);
  } while (got < 0 && errno == EINTR);
  if (got <= 0 || !m_receiver) return;
  for (int i = 0; i < got; ++i) {
    const mmsghdr& m = messages[static_cast<std::size_t>(i)];
    // With MSG_TRUNC the flags say a datagram was cut; msg_len is then its real length.
    const std::size_t real = m.msg_len;
    const std::size_t kept = std::min<std::size_t>(real, kReadSize);
    const std::uint32_t sender = ntohl(senders[static_cast<std::size_t>(i)].sin_addr.s_addr);
    m_receiver(std::span<const std::uint8_t>(buffers[static_cast<std::size_t>(i)].data(), kept), real, sender);
  }
}

}  // namespace mzr
