#include "UdpSocket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace mzr::sim {
namespace {

// Room for thousands of small writes queued behind a busy moment (a slider drag sent as fast
// as a loop can send); the kernel caps it at net.core.rmem_max.
constexpr int kReceiveBufferBytes = 8 << 20;

}  // namespace

UdpSocket::~UdpSocket() {
  if (m_fd >= 0) ::close(m_fd);
}

UdpSocket::UdpSocket(UdpSocket&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

std::optional<UdpSocket> UdpSocket::Bind(Address address, std::uint16_t port, std::string& error) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
    return std::nullopt;
  }
  UdpSocket socket(fd);
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(address);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
    error = "cannot bind " + FormatAddress(address) + ":" + std::to_string(port) + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return socket;
}

std::optional<UdpSocket::Datagram> UdpSocket::Receive(std::span<std::uint8_t> buffer) const {
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  for (;;) {
    const ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    return Datagram{static_cast<std::size_t>(n), ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
  }
}

bool UdpSocket::SendTo(std::span<const std::uint8_t> data, Address to, std::uint16_t port, std::string& error) const {
  if (!IsLoopback(to)) {
    error = "not sending to " + FormatAddress(to) + ": outside 127.0.0.0/8";
    return false;
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  sa.sin_addr.s_addr = htonl(to);
  for (;;) {
    const ssize_t n =
        ::sendto(m_fd, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = "send to " + FormatAddress(to) + ":" + std::to_string(port) + " failed: " + std::strerror(errno);
      return false;
    }
    return true;
  }
}

}  // namespace mzr::sim
