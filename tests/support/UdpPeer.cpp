#include "support/UdpPeer.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QVariant>

namespace mzr::test {

UdpPeer::UdpPeer() {
  m_socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
  m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, QVariant(4 * 1024 * 1024));
}

bool UdpPeer::Send(std::span<const std::uint8_t> datagram, const QHostAddress& to, quint16 port) {
  if (!to.isInSubnet(QHostAddress(QStringLiteral("127.0.0.0")), 8)) return false;
  const qint64 sent = m_socket.writeDatagram(reinterpret_cast<const char*>(datagram.data()),
                                             static_cast<qint64>(datagram.size()), to, port);
  return sent == static_cast<qint64>(datagram.size());
}

std::optional<UdpPeer::Datagram> UdpPeer::Receive(int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  while (!m_socket.hasPendingDatagrams()) {
    if (deadline.hasExpired()) return std::nullopt;
    m_socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
  }
  const QNetworkDatagram d = m_socket.receiveDatagram();
  return Datagram{d.data(), d.senderAddress(), static_cast<quint16>(d.senderPort())};
}

QList<UdpPeer::Datagram> UdpPeer::Receive(qsizetype count, int timeoutMs) {
  const QDeadlineTimer deadline(timeoutMs);
  QList<Datagram> all;
  while (all.size() < count) {
    auto d = Receive(static_cast<int>(std::max<qint64>(0, deadline.remainingTime())));
    if (!d) break;
    all << std::move(*d);
  }
  return all;
}

QList<UdpPeer::Datagram> UdpPeer::TakeArrived() {
  QList<Datagram> all;
  while (m_socket.hasPendingDatagrams()) {
    const QNetworkDatagram d = m_socket.receiveDatagram();
    all << Datagram{d.data(), d.senderAddress(), static_cast<quint16>(d.senderPort())};
  }
  return all;
}

}  // namespace mzr::test
