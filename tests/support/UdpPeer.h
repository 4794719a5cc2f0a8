#pragma once
// The test's end of the link: a UDP socket on 127.0.0.1 with a port of its own, which sends
// requests to the simulator (loopback destinations only) and collects what comes back.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QUdpSocket>

#include <optional>
#include <span>

namespace mzr::test {

class UdpPeer final {
  Q_DISABLE_COPY_MOVE(UdpPeer)

 public:
  struct Datagram {
    QByteArray data;
    QHostAddress sender;
    quint16 senderPort = 0;
    std::span<const std::uint8_t> bytes() const {
      return {reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())};
    }
  };

  // Binds 127.0.0.1 on a free port, with a receive buffer that holds a burst of 254 replies.
  UdpPeer();

  // False, and nothing sent, for a destination outside 127.0.0.0/8.
  bool Send(std::span<const std::uint8_t> datagram, const QHostAddress& to, quint16 port);
  // The next datagram, waiting up to timeoutMs for it.
  std::optional<Datagram> Receive(int timeoutMs = 5000);
  // Datagrams until count have arrived or the time limit passes.
  QList<Datagram> Receive(qsizetype count, int timeoutMs);
  // What has already arrived, without waiting.
  QList<Datagram> TakeArrived();

  quint16 port() const { return m_socket.localPort(); }

 private:
  QUdpSocket m_socket;
};

}  // namespace mzr::test
