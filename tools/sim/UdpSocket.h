#pragma once
// A POSIX UDP socket bound to one loopback address and port, with address sharing so that
// the program's socket on 0.0.0.0 and the units' sockets on 127.x.y.z can share the port.
// SendTo refuses every destination outside 127.0.0.0/8: the simulator cannot send anywhere
// else, whatever a request claims.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "SimOptions.h"

namespace mzr::sim {

class UdpSocket final {
 public:
  UdpSocket() = default;
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // A bound socket, or nothing and the reason in error.
  static std::optional<UdpSocket> Bind(Address address, std::uint16_t port, std::string& error);

  int fd() const { return m_fd; }

  struct Datagram {
    std::size_t size = 0;       // the datagram's real length, also when it was longer than the buffer
    Address from = 0;
    std::uint16_t fromPort = 0;
  };
  // One waiting datagram without blocking; nothing when the queue is empty.
  std::optional<Datagram> Receive(std::span<std::uint8_t> buffer) const;

  // False (and nothing sent) for a destination outside 127.0.0.0/8 or a failed send.
  bool SendTo(std::span<const std::uint8_t> data, Address to, std::uint16_t port, std::string& error) const;

 private:
  explicit UdpSocket(int fd) : m_fd(fd) {}
  int m_fd = -1;
};

}  // namespace mzr::sim
