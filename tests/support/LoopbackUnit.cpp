#include "support/LoopbackUnit.h"

#include <QNetworkDatagram>
#include <QTimer>

#include "SimUnit.h"
#include "link/FrameCodec.h"

namespace mzr::test {
namespace {

const QHostAddress kLoopbackNet(QStringLiteral("127.0.0.0"));
const QHostAddress kLoopbackBroadcast(QStringLiteral("127.255.255.255"));

frame::View ViewOf(const QByteArray& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

QByteArray ToByteArray(frame::View bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

LoopbackUnit::LoopbackUnit(quint16 port, const QString& address, int index) : m_port(port) {
  const QHostAddress own(address);
  m_unit = std::make_unique<sim::SimUnit>(index, own.toIPv4Address(), port, std::nullopt);
  // Shared, as the simulator's sockets are: the program's socket holds the same port.
  const auto mode = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
  m_bound = own.isInSubnet(kLoopbackNet, 8) && m_unicast.bind(own, port, mode) &&
            m_broadcast.bind(kLoopbackBroadcast, port, mode);
  QObject::connect(&m_unicast, &QUdpSocket::readyRead, [this] { Drain(m_unicast, false); });
  QObject::connect(&m_broadcast, &QUdpSocket::readyRead, [this] { Drain(m_broadcast, true); });
}

LoopbackUnit::~LoopbackUnit() = default;

QString LoopbackUnit::address() const { return QHostAddress(m_unit->address()).toString(); }

const ParameterImage& LoopbackUnit::image() const { return m_unit->image(); }

void LoopbackUnit::SetImage(const ParameterImage& image) {
  const frame::Bytes bytes = frame::BuildWrite(frame::Command::BlockWrite, 0, image.All());
  const auto request = frame::ParseRequest(bytes);
  if (!request) qFatal("LoopbackUnit: a whole-image block write did not parse");
  (void)m_unit->Handle(*request);
}

void LoopbackUnit::setKeepSettings(bool keep) { m_unit->setKeepSettings(keep); }

void LoopbackUnit::DropNext(int command, int times) {
  m_dropCommand = command;
  m_dropsLeft = times;
}

void LoopbackUnit::Pump() {
  Drain(m_unicast, false);
  Drain(m_broadcast, true);
}

const QList<LoopbackUnit::Frame>& LoopbackUnit::frames() {
  Pump();
  return m_frames;
}

QList<LoopbackUnit::Frame> LoopbackUnit::TakeFrames() {
  Pump();
  return std::exchange(m_frames, {});
}

QList<LoopbackUnit::Frame> LoopbackUnit::Writes(const QList<Frame>& frames) {
  QList<Frame> writes;
  for (const Frame& f : frames)
    if (f.command != static_cast<int>(frame::Command::Read)) writes << f;
  return writes;
}

void LoopbackUnit::Drain(QUdpSocket& socket, bool broadcast) {
  while (socket.hasPendingDatagrams()) {
    const QNetworkDatagram datagram = socket.receiveDatagram();
    const QByteArray bytes = datagram.data();
    // Malformed and over-long datagrams are dropped unrecorded, as the simulator drops them.
    if (bytes.size() > static_cast<qsizetype>(frame::kMaxDatagramSize)) continue;
    const auto request = frame::ParseRequest(ViewOf(bytes));
    if (!request) continue;
    Frame heard{static_cast<int>(request->command), request->address, request->count, ToByteArray(request->data),
                broadcast, {}};
    const QHostAddress from = datagram.senderAddress();
    const auto fromPort = static_cast<quint16>(datagram.senderPort());
    if (!from.isInSubnet(kLoopbackNet, 8)) {
      heard.outcome = QStringLiteral("foreign-sender");
    } else if (m_dropsLeft > 0 && heard.command == m_dropCommand) {
      --m_dropsLeft;
      heard.outcome = QStringLiteral("dropped");
    } else if (m_silent) {
      heard.outcome = QStringLiteral("silent");
    } else if (m_unit->IsRestarting(sim::Clock::now())) {
      heard.outcome = QStringLiteral("restarting");
    } else {
      sim::SimUnit::Reaction reaction = m_unit->Handle(*request);
      heard.outcome = QString::fromStdString(reaction.outcome);
      if (reaction.reply) {
        const QByteArray answer = ToByteArray(*reaction.reply);
        const bool restart = reaction.restartAfterReply;
        const std::optional<sim::Address> move = reaction.moveAfterReply;
        const auto answerNow = [this, answer, from, fromPort, restart, move] {
          Send(answer, from, fromPort);
          if (restart) m_unit->BeginRestart(sim::Clock::now() + std::chrono::milliseconds(m_restartMs));
          if (move) {
            const auto mode = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
            m_unicast.close();
            if (m_unicast.bind(QHostAddress(*move), m_port, mode)) {
              m_unit->SetAddress(*move);
            } else {
              m_unit->DropPendingNetwork();
              m_unicast.bind(QHostAddress(m_unit->address()), m_port, mode);
            }
          }
        };
        if (m_delayMs > 0) {
          QTimer::singleShot(m_delayMs, &m_unicast, answerNow);
        } else {
          answerNow();
        }
      }
    }
    m_frames << heard;
  }
}

void LoopbackUnit::Send(const QByteArray& bytes, const QHostAddress& to, quint16 port) {
  // Network safety: a unit of the tests answers loopback senders only.
  if (!to.isInSubnet(kLoopbackNet, 8)) return;
  m_unicast.writeDatagram(bytes, to, port);
}

}  // namespace mzr::test
