#include "link/ParamLink.h"

#include <algorithm>
#include <utility>

namespace mzr {
namespace {

// A burst of 254 read replies of 890 bytes must fit while the event loop is busy; the
// kernel accounts each datagram at well over its payload size.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

}  // namespace

ParamLink::ParamLink(AppState& state, ParameterImage& image, Options options, QObject* parent)
    : QObject(parent), m_state(state), m_image(image), m_options(std::move(options)) {
  // A child so the window and tests find it by name; the member unregisters itself first.
  m_timer2.setParent(this);
  m_timer2.setObjectName(QStringLiteral("Timer2"));
  m_timer2.setInterval(m_options.timeoutMs);
  m_timer2.setSingleShot(true);
  connect(&m_timer2, &QTimer::timeout, this, &ParamLink::Timer2Timer);
  m_sendBuffer.reserve(frame::kMaxReadReplySize);
  m_socket.SetReceiver([this](std::span<const std::uint8_t> bytes, std::size_t realSize, std::uint32_t sender) {
    if (realSize > frame::kMaxDatagramSize) return;
    HandleDatagram(bytes, sender);
  });
}

ParamLink::~ParamLink() = default;

bool ParamLink::Open(QString* error) {
  if (m_socket.isBound()) return true;
  const std::optional<std::uint32_t> address = ParseIpv4(m_options.bindAddress);
  if (!address) {
    if (error != nullptr) *error = QStringLiteral("Cannot bind UDP port %1: no IPv4 address \"%2\"").arg(m_options.port).arg(m_options.bindAddress);
    return false;
  }
  return m_socket.Bind(*address, m_options.port, kReceiveBufferBytes, error);
}

bool ParamLink::isOpen() const { return m_socket.isBound(); }

void ParamLink::BeginSearch() {
  m_awaitingFullRead = false;
  m_fullReadTarget = nullptr;
}

void ParamLink::SendRead(std::uint16_t address, std::uint16_t count) {
  if (m_state.networkMode == 0) return;
  m_sendBuffer = frame::BuildRead(address, count);  // reads are rare: a search or read all
  Transmit(frame::Command::Read, m_remoteV4, m_remoteReach);
}

void ParamLink::SendWrite(std::uint16_t address, std::uint16_t count, std::span<const std::uint8_t> bytes) {
  Send(frame::Command::Write, address, bytes.first(std::min<std::size_t>(count, bytes.size())));
}

void ParamLink::SendBlockWrite(std::uint16_t address, std::uint16_t count, std::span<const std::uint8_t> bytes) {
  Send(frame::Command::BlockWrite, address, bytes.first(std::min<std::size_t>(count, bytes.size())));
}

void ParamLink::SendSpan(const WriteSpan& span) {
  const auto bytes = m_image.Bytes(span.address, span.count);
  if (!bytes) return;  // a span outside the image is a caller's fault; nothing to send
  if (span.kind == WriteKind::BlockWrite) {
    SendBlockWrite(span.address, span.count, *bytes);
  } else {
    SendWrite(span.address, span.count, *bytes);
  }
}

void ParamLink::SendWriteTo(const QString& destination, Reach reach, std::uint16_t address, std::uint16_t count,
                            std::span<const std::uint8_t> bytes) {
  if (m_state.networkMode == 0) return;
  frame::BuildWriteInto(m_sendBuffer, frame::Command::Write, address,
                        bytes.first(std::min<std::size_t>(count, bytes.size())));
  Transmit(frame::Command::Write, ParseIpv4(destination), reach);
}

void ParamLink::Send(frame::Command command, std::uint16_t address, std::span<const std::uint8_t> data) {
  if (m_state.networkMode == 0) return;
  frame::BuildWriteInto(m_sendBuffer, command, address, data);
  Transmit(command, m_remoteV4, m_remoteReach);
}

void ParamLink::Transmit(frame::Command command, std::optional<std::uint32_t> destination, Reach reach) {
  if (destination) m_socket.SendTo(m_sendBuffer, *destination, m_options.port);
  m_answerFrom = reach == Reach::OneUnit ? destination : std::nullopt;
  m_pendingCommand = static_cast<int>(command);
  ++m_sends;
  if (!m_timer2.isActive()) m_timer2.start();
}

void ParamLink::HandleDatagram(std::span<const std::uint8_t> datagram, const QString& sender) {
  const std::optional<std::uint32_t> v4 = ParseIpv4(sender);
  // Senders are IPv4 on this link; a text that is not stands for no unit at all.
  HandleDatagram(datagram, v4.value_or(0));
}

void ParamLink::HandleDatagram(std::span<const std::uint8_t> datagram, std::uint32_t sender) {
  if (m_localIpV4 == sender) return;  // our own broadcast
  if (datagram.size() > frame::kMaxDatagramSize) return;
  if (m_pendingCommand != 0 && m_answerFrom && *m_answerFrom != sender) {
    return;  // another unit: not the answer to a request that went to one unit
  }

  switch (m_pendingCommand) {
    case static_cast<int>(frame::Command::Read): {
      const auto reply = frame::ParseReadReply(datagram);
      if (!reply) return;
      m_lastReplyAddress = reply->address;
      m_lastReplyCount = reply->count;
      // Every branch stops Timer2 before it tells anyone: a receiver that sends its next
      // frame from the signal starts the time-out of that frame, which must not be stopped
      // after the receiver returns.
      if (m_awaitingFullRead && m_fullReadTarget != nullptr) {
        // A copy for comparing: the program's image and editors stay as they are.
        ParameterImage* target = std::exchange(m_fullReadTarget, nullptr);
        m_awaitingFullRead = false;
        if (!target->Store(reply->address, reply->data)) return;
        m_timer2.stop();
        emit imageReceivedInto();
      } else if (m_awaitingFullRead) {
        m_awaitingFullRead = false;
        if (!m_image.Store(reply->address, reply->data)) return;  // ParseReadReply keeps it inside
        m_timer2.stop();
        const RefreshingScope refreshing(m_state);
        emit imageReceived();
      } else if (m_searchReplyHandler) {
        // The handler lists the unit and tells its receivers in one go; a frame one of them
        // sent meanwhile owns the time-out from here, with its whole period.
        const std::uint64_t sendsBefore = m_sends;
        if (m_searchReplyHandler(*reply, Ipv4Text(sender))) {
          m_timer2.stop();
          if (m_sends != sendsBefore) m_timer2.start();
        }
      }
      return;
    }
    case static_cast<int>(frame::Command::Write):
    case static_cast<int>(frame::Command::BlockWrite): {
      const bool acknowledgement = frame::IsAcknowledgement(datagram, static_cast<std::uint8_t>(m_pendingCommand));
      const bool network = m_pendingCommand == static_cast<int>(frame::Command::Write) &&
                           frame::HasTag(datagram, frame::kNetworkAckTag);
      if (acknowledgement) m_timer2.stop();
      const int command = m_pendingCommand;
      const std::uint64_t sendsBefore = m_sends;
      if (network) emit networkAcknowledged();
      // A frame the receiver of networkAcknowledged sent is the newest request now: this
      // datagram answered the one before it and says nothing about the new one.
      if (acknowledgement && m_sends == sendsBefore) emit acknowledged(command);
      return;
    }
    default:
      m_timer2.stop();
      return;
  }
}

void ParamLink::Timer2Timer() {
  m_timer2.stop();
  m_pendingCommand = 0;
  m_state.connected = 0;
  // A read-all that timed out must not turn a later search reply into the current image.
  m_awaitingFullRead = false;
  m_fullReadTarget = nullptr;
  emit statusText(0, QStringLiteral("Connect Fail!"));
  emit statusText(1, QStringLiteral("未连接"));
  emit timedOut();
}

}  // namespace mzr
