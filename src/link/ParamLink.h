#pragma once
// The program's one UDP endpoint to the unit: the three send operations, the receive
// dispatch and the 2-second time-out. There is no queue and no retry: the link remembers
// only the command of the last frame sent, and a single timer (Timer2) turns a missing
// answer into "Connect Fail!" and the disconnected state. UI thread only. It reports to the
// rest of the program through signals, so the window and the command-line companion can
// both use it; it knows nothing of widgets.

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "core/AppState.h"
#include "link/FrameCodec.h"
#include "link/UdpEndpoint.h"
#include "model/ParameterImage.h"
#include "model/WriteSpan.h"

namespace mzr {

class ParamLink final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(ParamLink)

 public:
  struct Options {
    quint16 port = 2305;            // local and remote port
    int timeoutMs = 2000;           // Timer2
    QString bindAddress = QStringLiteral("0.0.0.0");  // dotted IPv4
  };

  // state and image are owned by the caller and outlive the link.
  ParamLink(AppState& state, ParameterImage& image, Options options, QObject* parent = nullptr);
  ~ParamLink() override;

  // Binds the socket (address sharing, broadcast allowed, a receive buffer large enough for
  // 254 replies of 890 bytes). Gives false and a message when the port cannot be bound.
  bool Open(QString* error = nullptr);
  bool isOpen() const;
  // A datagram waits in the socket, not yet handled (tests wait for the link to catch up).
  bool hasWaitingDatagrams() const { return m_socket.hasWaiting(); }

  // Link state.
  int pendingCommand() const { return m_pendingCommand; }
  bool awaitingFullRead() const { return m_awaitingFullRead; }
  void setAwaitingFullRead(bool on) { m_awaitingFullRead = on; }
  // Called by the device search when it starts: a search reply never replaces the image,
  // even after a read all whose reply never came.
  void BeginSearch();
  // Where the awaited whole image goes: nullptr (the default) is the program's image, which
  // the reply replaces (imageReceived); otherwise target, which must outlive the read, and
  // the program's image stays as it is (imageReceivedInto). Cleared by the reply, the
  // time-out and a search.
  void setFullReadTarget(ParameterImage* target) { m_fullReadTarget = target; }
  ParameterImage* fullReadTarget() const { return m_fullReadTarget; }
  const QString& localIp() const { return m_localIp; }
  void setLocalIp(const QString& ip) {
    m_localIp = ip;
    m_localIpV4 = ParseIpv4(ip);
  }
  // Who may answer a request: the one unit at the destination address, or any unit (the
  // destination is a broadcast address).
  enum class Reach { OneUnit, AnyUnit };
  const QString& remoteAddress() const { return m_remoteAddress; }
  void setRemoteAddress(const QString& address, Reach reach = Reach::OneUnit) {
    m_remoteAddress = address;
    m_remoteV4 = ParseIpv4(address);
    m_remoteReach = reach;
  }
  Reach remoteReach() const { return m_remoteReach; }
  quint16 port() const { return m_options.port; }
  int timeoutMs() const { return m_options.timeoutMs; }
  std::uint16_t lastReplyAddress() const { return m_lastReplyAddress; }
  std::uint16_t lastReplyCount() const { return m_lastReplyCount; }
  bool timerActive() const { return m_timer2.isActive(); }

  // Send operations: nothing at all while networkMode is 0. Otherwise one datagram to the
  // remote address, pendingCommand := the command, and Timer2 started if it is not running
  // (a later send does not restart its period).
  void SendRead(std::uint16_t address, std::uint16_t count);
  void SendWrite(std::uint16_t address, std::uint16_t count, std::span<const std::uint8_t> bytes);
  void SendBlockWrite(std::uint16_t address, std::uint16_t count, std::span<const std::uint8_t> bytes);
  // "To write n bytes at device address A": the span's bytes taken from the image.
  void SendSpan(const WriteSpan& span);
  // A write to another destination than the remote address, which stays as it is: the
  // network-settings change goes to the unit the user selected, not to the connected one.
  void SendWriteTo(const QString& destination, Reach reach, std::uint16_t address, std::uint16_t count,
                   std::span<const std::uint8_t> bytes);

  // The discovery's search-reply step, called for every accepted read reply while no whole
  // image is awaited. It returns true when it listed a new unit; the link then stops Timer2.
  using SearchReplyHandler = std::function<bool(const frame::ReadReply& reply, const QString& sender)>;
  void SetSearchReplyHandler(SearchReplyHandler handler) { m_searchReplyHandler = std::move(handler); }

  // The receive dispatch, run for every datagram the socket delivers (public so that tests
  // and fuzz targets can feed it bytes). While the newest request went to one unit's
  // address, only datagrams from that address are examined: another unit's late search reply
  // or stray acknowledgement must never count as the connected unit's answer.
  void HandleDatagram(std::span<const std::uint8_t> datagram, const QString& sender);
  // The same with the sender as a host-order IPv4 address, as the socket delivers it.
  void HandleDatagram(std::span<const std::uint8_t> datagram, std::uint32_t sender);

 signals:
  // Status-bar texts: panel 0 carries event texts in English, panel 1 the link state.
  void statusText(int panel, const QString& text);
  // A whole image was stored; emitted while AppState::refreshing is 1 so the receivers
  // refresh the profile dialog and every editor without sending.
  void imageReceived();
  // A whole image was stored into the full-read target instead (a comparison's copy).
  void imageReceivedInto();
  // A "ModiNet!" datagram arrived while a write was pending.
  void networkAcknowledged();
  // An acknowledgement matching the pending command stopped Timer2.
  void acknowledged(int command);
  // Timer2 ran out: pendingCommand and connected are 0, awaitingFullRead is cleared,
  // "Connect Fail!" was shown.
  void timedOut();

 private:
  void Send(frame::Command command, std::uint16_t address, std::span<const std::uint8_t> data);
  // Sends m_sendBuffer to destination (nothing leaves for an address that is not dotted
  // IPv4) and updates the exchange.
  void Transmit(frame::Command command, std::optional<std::uint32_t> destination, Reach reach);
  void Timer2Timer();

  AppState& m_state;
  ParameterImage& m_image;
  Options m_options;
  UdpEndpoint m_socket;
  QTimer m_timer2;
  frame::Bytes m_sendBuffer;
  int m_pendingCommand = 0;
  bool m_awaitingFullRead = false;
  ParameterImage* m_fullReadTarget = nullptr;
  QString m_localIp;
  std::optional<std::uint32_t> m_localIpV4;
  QString m_remoteAddress;
  std::optional<std::uint32_t> m_remoteV4;
  Reach m_remoteReach = Reach::OneUnit;
  // The address the newest request went to when one unit is to answer it; nothing when any
  // unit may (a broadcast).
  std::optional<std::uint32_t> m_answerFrom;
  std::uint64_t m_sends = 0;  // frames sent so far: tells whether a signal's receiver sent one
  std::uint16_t m_lastReplyAddress = 0;
  std::uint16_t m_lastReplyCount = 0;
  SearchReplyHandler m_searchReplyHandler;
};

}  // namespace mzr
