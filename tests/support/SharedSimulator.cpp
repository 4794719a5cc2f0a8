#include "support/SharedSimulator.h"

#include <QHostAddress>

#include "link/FrameCodec.h"
#include "model/ParameterImage.h"
#include "support/UdpPeer.h"

namespace mzr::test {
namespace {

QHostAddress UnitAddress(int k) { return QHostAddress(QHostAddress(QStringLiteral("127.0.0.2")).toIPv4Address() + k); }

frame::View ViewOf(const QByteArray& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

}  // namespace

bool SharedSimulator::Acquire(const QStringList& arguments, QString* error) {
  if (m_sim && m_sim->isRunning() && arguments == m_arguments) return Reset(error);
  return Start(arguments, error);
}

bool SharedSimulator::Start(const QStringList& arguments, QString* error) {
  m_sim.reset();
  m_startImages.clear();
  m_port = FreeUdpPort();
  const qsizetype unitsAt = arguments.indexOf(QStringLiteral("--units"));
  m_units = unitsAt >= 0 ? arguments.value(unitsAt + 1).toInt() : 1;
  m_sim = std::make_unique<SimProcess>();
  if (!m_sim->Start(QStringList{QStringLiteral("--port"), QString::number(m_port)} + arguments, error)) return false;
  m_arguments = arguments;
  // The images the units start with, for the resets before the next tests.
  UdpPeer peer;
  for (int k = 0; k < m_units; ++k) {
    const frame::Bytes read = frame::BuildRead(0, static_cast<std::uint16_t>(kImageSize));
    peer.Send(read, UnitAddress(k), m_port);
    const auto reply = peer.Receive(10000);
    const auto parsed = reply ? frame::ParseReadReply(reply->bytes()) : std::nullopt;
    if (!parsed || parsed->data.size() != kImageSize) {
      if (error != nullptr) *error = QStringLiteral("unit %1 did not send its whole image").arg(UnitAddress(k).toString());
      return false;
    }
    m_startImages.emplace_back(reinterpret_cast<const char*>(parsed->data.data()), static_cast<qsizetype>(kImageSize));
  }
  if (!m_sim->WaitForLogLines(m_units)) {
    if (error != nullptr) *error = QStringLiteral("the simulator did not log the first reads");
    return false;
  }
  m_skip = m_sim->LogLines().size();
  return true;
}

bool SharedSimulator::Reset(QString* error) {
  // Whatever the last test sent has been answered and logged: each run it made ended with
  // its last answer, and the simulator writes its lines before it waits again.
  const qsizetype before = m_sim->LogLines().size();
  UdpPeer peer;
  for (int k = 0; k < m_units; ++k) {
    const frame::Bytes write = frame::BuildWrite(frame::Command::BlockWrite, 0, ViewOf(m_startImages[k]));
    peer.Send(write, UnitAddress(k), m_port);
    const auto ack = peer.Receive(10000);
    if (!ack || !frame::IsAcknowledgement(ack->bytes(), static_cast<std::uint8_t>(frame::Command::BlockWrite))) {
      if (error != nullptr) *error = QStringLiteral("unit %1 did not take its first image back").arg(UnitAddress(k).toString());
      return false;
    }
  }
  if (!m_sim->WaitForLogLines(before + m_units)) {
    if (error != nullptr) *error = QStringLiteral("the simulator did not log the resets");
    return false;
  }
  m_skip = m_sim->LogLines().size();
  return true;
}

QList<QJsonObject> SharedSimulator::LogLines() const { return m_sim ? m_sim->LogLines().mid(m_skip) : QList<QJsonObject>{}; }

bool SharedSimulator::WaitForLogLines(qsizetype count, int timeoutMs) const {
  return m_sim && m_sim->WaitForLogLines(m_skip + count, timeoutMs);
}

}  // namespace mzr::test
