#pragma once
// The link's UDP socket: a POSIX datagram socket watched by a QSocketNotifier, so the
// program needs no network module to bind one port. One receive call takes up to a batch
// of datagrams with their real lengths and senders as 32-bit addresses; a datagram cut by
// the buffer is still reported with its real size, so the caller can drop it.

#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

class QSocketNotifier;

namespace mzr {

// A dotted IPv4 text ("127.0.0.2") as a host-order number; nothing for anything else.
std::optional<std::uint32_t> ParseIpv4(const QString& text);
// The dotted text of a host-order IPv4 address.
QString Ipv4Text(std::uint32_t address);

class UdpEndpoint final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(UdpEndpoint)

 public:
  // Called for every datagram received: its bytes (at most the buffer), its real length and
  // its sender (host order).
  using Receiver = std::function<void(std::span<const std::uint8_t> bytes, std::size_t realSize,
                                      std::uint32_t sender)>;

  explicit UdpEndpoint(QObject* parent = nullptr);
  ~UdpEndpoint() override;

  // Binds address:port with address sharing (the simulator binds 127.0.0.x on the same port),
  // broadcast allowed and the given receive buffer. False and a message when it cannot.
  bool Bind(std::uint32_t address, std::uint16_t port, int receiveBufferBytes, QString* error);
  bool isBound() const { return m_fd >= 0; }
  // A datagram waits to be received (tests wait until the link has taken everything sent).
  bool hasWaiting() const;
  void SetReceiver(Receiver receiver) { m_receiver = std::move(receiver); }

  // One datagram to address:port; false when the system refused it (a frame that cannot
  // leave is noticed by the caller's time-out, like a lost one).
  bool SendTo(std::span<const std::uint8_t> bytes, std::uint32_t address, std::uint16_t port) const;

 private:
  void ReceiveWaiting();

  int m_fd = -1;
  QSocketNotifier* m_notifier = nullptr;
  Receiver m_receiver;
};

}  // namespace mzr
