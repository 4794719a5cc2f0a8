// The link against a real UDP peer on loopback: the peer plays the unit at 127.0.0.2 and
// records every datagram the link sends; the link sits at 127.0.0.1 on the same free port.

#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <array>
#include <memory>
#include <vector>

#include "core/AppState.h"
#include "link/DeviceCommands.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "model/ParameterImage.h"

using namespace mzr;
using frame::Bytes;
using frame::Command;

namespace {

const QHostAddress kLinkAddress(QStringLiteral("127.0.0.1"));
const QHostAddress kPeerAddress(QStringLiteral("127.0.0.2"));
// Timer2 is short only where a test waits for the time-out; where an answer is expected it
// is far longer than any test runs, so a loaded machine cannot turn an answer into a
// time-out.
constexpr int kShortTimeoutMs = 300;
constexpr int kLongTimeoutMs = 60000;

Bytes Slice(const QByteArray& b, int from, int to) {
  return Bytes(reinterpret_cast<const std::uint8_t*>(b.constData()) + from,
               reinterpret_cast<const std::uint8_t*>(b.constData()) + to);
}

Bytes Patterned(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 7);
  return b;
}

// Plays the unit: receives the link's frames and sends datagrams back to it.
class Peer {
 public:
  explicit Peer(const QHostAddress& address = kPeerAddress, quint16 port = 0) {
    QVERIFY(socket.bind(address, port));
    QObject::connect(&socket, &QUdpSocket::readyRead, [this] {
      while (socket.hasPendingDatagrams()) {
        QByteArray d(static_cast<int>(socket.pendingDatagramSize()), Qt::Uninitialized);
        socket.readDatagram(d.data(), d.size());
        received.push_back(d);
      }
    });
  }
  quint16 port() const { return socket.localPort(); }
  void Send(const Bytes& d) {
    socket.writeDatagram(reinterpret_cast<const char*>(d.data()), static_cast<qint64>(d.size()), kLinkAddress,
                         port());
  }

  QUdpSocket socket;
  std::vector<QByteArray> received;
};

}  // namespace

class ParamLinkTest final : public QObject {
  Q_OBJECT

 private:
  AppState m_state;
  ParameterImage m_image;
  std::unique_ptr<Peer> m_peer;
  std::unique_ptr<ParamLink> m_link;
  QTimer* m_timer2 = nullptr;

  // The link is in network mode and talks to the peer.
  void Reset(bool networkMode = true, int timeoutMs = kLongTimeoutMs) {
    m_link.reset();
    m_peer = std::make_unique<Peer>();
    m_state = AppState{};
    m_state.networkMode = networkMode ? 1 : 0;
    m_state.connected = 1;
    m_image = ParameterImage{};
    m_image.ApplyNewProjectDefaults();
    m_link = std::make_unique<ParamLink>(m_state, m_image,
                                         ParamLink::Options{m_peer->port(), timeoutMs, kLinkAddress.toString()});
    QString error;
    QVERIFY2(m_link->Open(&error), qPrintable(error));
    m_link->setRemoteAddress(kPeerAddress.toString());
    m_link->setLocalIp(QStringLiteral("127.0.0.9"));
    m_timer2 = m_link->findChild<QTimer*>(QStringLiteral("Timer2"));
    QVERIFY(m_timer2 != nullptr);
  }

  // Waits until the link has handled every datagram already sent to it (a loopback send
  // is queued at the receiver before it returns).
  void Drain() {
    QVERIFY(m_link->isOpen());
    QTRY_VERIFY(!m_link->hasWaitingDatagrams());
  }

 private slots:
  void init() { Reset(); }
  void cleanup() {
    m_link.reset();
    m_peer.reset();
  }

  void requestsLeaveAsExactFrames() {
    m_link->SendRead(0, 852);
    const std::array<std::uint8_t, 1> two{2};
    m_link->SendWrite(3000, 1, two);
    m_image.SetU8(833, 9);
    m_link->SendSpan(WriteSpan{WriteKind::BlockWrite, 833, 1});
    QTRY_COMPARE(m_peer->received.size(), std::size_t{3});

    const QByteArray& read = m_peer->received[0];
    QCOMPARE(read.size(), 38);
    QCOMPARE(Slice(read, 0, 10), (Bytes{'S', 'e', 't', 'P', 'a', 'r', 'a', 0, 0, 0}));
    QCOMPARE(Slice(read, 30, 36), (Bytes{0xCA, 0x03, 0x00, 0x00, 0x54, 0x03}));

    const QByteArray& save = m_peer->received[1];
    QCOMPARE(save.size(), 39);
    QCOMPARE(Slice(save, 30, 37), (Bytes{0xCA, 0x06, 0xB8, 0x0B, 0x01, 0x00, 0x02}));
    QCOMPARE(Slice(save, 37, 39), (Bytes{0, 0}));

    const QByteArray& fade = m_peer->received[2];
    QCOMPARE(fade.size(), 39);
    QCOMPARE(Slice(fade, 30, 37), (Bytes{0xCA, 0x10, 0x41, 0x03, 0x01, 0x00, 0x09}));
    QCOMPARE(m_link->pendingCommand(), 16);
  }

  void nothingIsSentBeforeNetworkMode() {
    Reset(false);
    const std::array<std::uint8_t, 1> one{1};
    m_link->SendRead(0, 852);
    m_link->SendWrite(266, 1, one);
    m_link->SendBlockWrite(833, 1, one);
    m_link->SendSpan(kWholeImage);
    QCOMPARE(m_link->pendingCommand(), 0);
    QVERIFY(!m_link->timerActive());

    // The first frame the peer ever sees is the one sent after the search turned the mode on.
    m_state.networkMode = 1;
    m_link->SendWrite(3001, 1, one);
    QTRY_COMPARE(m_peer->received.size(), std::size_t{1});
    QCOMPARE(Slice(m_peer->received[0], 31, 34), (Bytes{0x06, 0xB9, 0x0B}));
  }

  void timeOutCountsFromTheFirstOfTwoWrites() {
    const std::array<std::uint8_t, 1> v{3};
    // Let part of the period pass, then write again: the period must not start over. A
    // machine too busy to look before the period ran out proves nothing; try again then.
    bool secondWriteInTime = false;
    for (int attempt = 0; attempt < 5 && !secondWriteInTime; ++attempt) {
      Reset(true, kShortTimeoutMs);
      QSignalSpy early(m_link.get(), &ParamLink::timedOut);
      m_link->SendWrite(266, 1, v);
      QVERIFY(m_timer2->isActive());
      QTRY_VERIFY(!early.isEmpty() || m_timer2->remainingTime() < kShortTimeoutMs / 2);
      secondWriteInTime = early.isEmpty();
    }
    QVERIFY(secondWriteInTime);
    QSignalSpy status(m_link.get(), &ParamLink::statusText);
    QSignalSpy timedOut(m_link.get(), &ParamLink::timedOut);
    m_link->SendWrite(267, 1, v);
    QVERIFY(m_timer2->isActive());
    QVERIFY(m_timer2->remainingTime() < kShortTimeoutMs / 2);

    QVERIFY(timedOut.wait());
    QCOMPARE(m_link->pendingCommand(), 0);
    QCOMPARE(m_state.connected, 0);
    QVERIFY(!m_link->timerActive());
    QCOMPARE(status.size(), 2);
    QCOMPARE(status[0], (QList<QVariant>{0, QStringLiteral("Connect Fail!")}));
    QCOMPARE(status[1], (QList<QVariant>{1, QStringLiteral("未连接")}));
  }

  void onlyAnAcknowledgementOfTheNewestCommandStopsTheTimer_data() {
    QTest::addColumn<QList<int>>("sent");  // commands sent, in order
    QTest::addColumn<Bytes>("answer");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("write, its ack") << QList<int>{6} << frame::BuildAck(Command::Write, 266, 1) << true;
    QTest::newRow("block write, its ack") << QList<int>{16} << frame::BuildAck(Command::BlockWrite, 0, 852) << true;
    QTest::newRow("write, ack of another command")
        << QList<int>{6} << frame::BuildAck(Command::BlockWrite, 266, 1) << false;
    Bytes longAck = frame::BuildAck(Command::Write, 266, 1);
    longAck.push_back(0);
    QTest::newRow("write, ack of 39 bytes") << QList<int>{6} << longAck << false;
    Bytes badToken = frame::BuildAck(Command::Write, 266, 1);
    badToken[10] = 'X';
    QTest::newRow("write, ack with a wrong token") << QList<int>{6} << badToken << false;
    QTest::newRow("block write then write, ack of the older")
        << QList<int>{16, 6} << frame::BuildAck(Command::BlockWrite, 0, 852) << false;
    QTest::newRow("block write then write, ack of the newest")
        << QList<int>{16, 6} << frame::BuildAck(Command::Write, 0, 852) << true;
    QTest::newRow("two writes, one ack") << QList<int>{6, 6} << frame::BuildAck(Command::Write, 266, 1) << true;
  }
  void onlyAnAcknowledgementOfTheNewestCommandStopsTheTimer() {
    QFETCH(QList<int>, sent);
    QFETCH(Bytes, answer);
    QFETCH(bool, accepted);
    QSignalSpy acked(m_link.get(), &ParamLink::acknowledged);
    const std::array<std::uint8_t, 1> v{1};
    for (int command : sent) {
      if (command == 6) m_link->SendWrite(266, 1, v);
      else m_link->SendBlockWrite(833, 1, v);
    }
    QTRY_COMPARE(m_peer->received.size(), static_cast<std::size_t>(sent.size()));
    m_peer->Send(answer);
    if (accepted) {
      QVERIFY(acked.wait());
      QCOMPARE(acked[0][0].toInt(), sent.back());
      QVERIFY(!m_link->timerActive());
      QCOMPARE(m_link->pendingCommand(), sent.back());  // an answer does not clear it
    } else {
      Drain();
      QCOMPARE(acked.size(), 0);
      QVERIFY(m_link->timerActive());
    }
  }

  void wholeImageReplyReplacesTheImageAndAnnouncesIt() {
    QSignalSpy received(m_link.get(), &ParamLink::imageReceived);
    int refreshingDuringSignal = -1;
    connect(m_link.get(), &ParamLink::imageReceived, this, [&] { refreshingDuringSignal = m_state.refreshing; });
    m_link->SendRead(0, 852);
    m_link->setAwaitingFullRead(true);
    const Bytes unitImage = Patterned(852, 11);
    const Bytes reply = frame::BuildReadReply(0, unitImage);
    QCOMPARE(reply.size(), std::size_t{890});
    m_peer->Send(reply);
    QVERIFY(received.wait());
    QCOMPARE(Bytes(m_image.All().begin(), m_image.All().end()), unitImage);
    QCOMPARE(refreshingDuringSignal, 1);
    QCOMPARE(m_state.refreshing, 0);
    QVERIFY(!m_link->awaitingFullRead());
    QVERIFY(!m_link->timerActive());
    QCOMPARE(m_link->lastReplyAddress(), std::uint16_t{0});
    QCOMPARE(m_link->lastReplyCount(), std::uint16_t{852});
  }

  // Each malformed reply is sent first, then a good one; loopback keeps their order, so the
  // good one finds the link still awaiting the image only if the bad one was dropped.
  void malformedReadRepliesAreDropped_data() {
    QTest::addColumn<Bytes>("bad");
    const Bytes full = frame::BuildReadReply(0, Patterned(852, 99));
    Bytes tooLong = full;
    tooLong.push_back(0);
    QTest::newRow("891 bytes") << tooLong;
    QTest::newRow("passes the end of the image") << frame::BuildReadReply(850, Patterned(10, 99));
    Bytes shortData = frame::BuildReadReply(0, Patterned(100, 99));
    shortData[34] = 0x54;  // claims 852 bytes, carries 100
    shortData[35] = 0x03;
    QTest::newRow("claims more data than it carries") << shortData;
    Bytes wrongTag = full;
    wrongTag[0] = 'N';
    QTest::newRow("wrong tag") << wrongTag;
    Bytes wrongToken = full;
    wrongToken[12] = 'X';
    QTest::newRow("wrong token") << wrongToken;
    Bytes wrongCommand = full;
    wrongCommand[31] = 6;
    QTest::newRow("command byte not 3") << wrongCommand;
    QTest::newRow("header only") << Bytes(full.begin(), full.begin() + 20);
    Bytes huge(1700, 0);
    std::copy(full.begin(), full.end(), huge.begin());
    QTest::newRow("over 1600 bytes") << huge;
  }
  void malformedReadRepliesAreDropped() {
    QFETCH(Bytes, bad);
    QSignalSpy received(m_link.get(), &ParamLink::imageReceived);
    m_link->SendRead(0, 852);
    m_link->setAwaitingFullRead(true);
    const Bytes good = Patterned(852, 3);
    m_peer->Send(bad);
    m_peer->Send(frame::BuildReadReply(0, good));
    QVERIFY(received.wait());
    QCOMPARE(received.size(), 1);
    QCOMPARE(Bytes(m_image.All().begin(), m_image.All().end()), good);
  }

  void searchRepliesGoToTheSearchAndNeverToTheImage() {
    std::vector<std::uint16_t> counts;
    bool listIt = false;
    m_link->SetSearchReplyHandler([&](const frame::ReadReply& reply, const QString& sender) {
      counts.push_back(reply.count);
      return sender == kPeerAddress.toString() && listIt;
    });
    const Bytes before(m_image.All().begin(), m_image.All().end());

    m_link->SendRead(0, 852);
    m_peer->Send(frame::BuildReadReply(0, Patterned(852, 1)));  // a unit already listed
    QTRY_COMPARE(counts.size(), std::size_t{1});
    QVERIFY(m_link->timerActive());
    listIt = true;
    m_peer->Send(frame::BuildReadReply(0, Patterned(852, 2)));  // a new unit
    QTRY_COMPARE(counts.size(), std::size_t{2});
    QVERIFY(!m_link->timerActive());
    QCOMPARE(Bytes(m_image.All().begin(), m_image.All().end()), before);
  }

  // A read all that was never answered must not let a later search reply become the image:
  // neither after its time-out nor once a new search has started.
  void anUnansweredReadAllDoesNotCaptureLaterSearchReplies_data() {
    QTest::addColumn<bool>("timeOutFirst");
    QTest::newRow("after the time-out") << true;
    QTest::newRow("after a new search starts") << false;
  }
  void anUnansweredReadAllDoesNotCaptureLaterSearchReplies() {
    QFETCH(bool, timeOutFirst);
    if (timeOutFirst) Reset(true, kShortTimeoutMs);
    QSignalSpy timedOut(m_link.get(), &ParamLink::timedOut);
    QSignalSpy received(m_link.get(), &ParamLink::imageReceived);
    int searchReplies = 0;
    m_link->SetSearchReplyHandler([&](const frame::ReadReply&, const QString&) { return ++searchReplies > 0; });
    DeviceCommands commands(m_state, m_image, *m_link);
    commands.ReadAll();
    QVERIFY(m_link->awaitingFullRead());
    if (timeOutFirst) {
      QVERIFY(timedOut.wait());
      QVERIFY(!m_link->awaitingFullRead());
    }
    m_link->BeginSearch();
    m_link->SendRead(0, 852);
    const Bytes before(m_image.All().begin(), m_image.All().end());
    m_peer->Send(frame::BuildReadReply(0, Patterned(852, 5)));
    QTRY_COMPARE(searchReplies, 1);
    QCOMPARE(received.size(), 0);
    QCOMPARE(Bytes(m_image.All().begin(), m_image.All().end()), before);
  }

  // Replies to a broadcast come from any unit, and the PC hears its own broadcast too: only
  // that one is dropped.
  void datagramsFromTheLocalAddressAreIgnored() {
    QSignalSpy received(m_link.get(), &ParamLink::imageReceived);
    m_link->setRemoteAddress(kPeerAddress.toString(), ParamLink::Reach::AnyUnit);
    m_link->setLocalIp(kPeerAddress.toString());
    m_link->SendRead(0, 852);
    m_link->setAwaitingFullRead(true);
    m_peer->Send(frame::BuildReadReply(0, Patterned(852, 8)));
    // A second peer, at another address, answers after it; only that answer counts.
    Peer other(QHostAddress(QStringLiteral("127.0.0.3")));
    const Bytes good = Patterned(852, 9);
    const Bytes reply = frame::BuildReadReply(0, good);
    other.socket.writeDatagram(reinterpret_cast<const char*>(reply.data()), static_cast<qint64>(reply.size()),
                               kLinkAddress, m_peer->port());
    QVERIFY(received.wait());
    QCOMPARE(received.size(), 1);
    QCOMPARE(Bytes(m_image.All().begin(), m_image.All().end()), good);
  }

  // While the newest request went to one unit, another unit's answer is not the answer: a
  // late search reply must not become the connected unit's settings, and a stray
  // acknowledgement must not confirm a write that never arrived. Answers to a broadcast
  // still come from any unit. The connected unit is the peer at 127.0.0.2, the other at .3.
  void onlyTheAddressedUnitAnswersARequest_data() {
    QTest::addColumn<QString>("request");  // "read all", "write", "block write", "network"
    QTest::addColumn<bool>("broadcast");   // the request went out by broadcast
    QTest::addColumn<QString>("to");       // "" the remote address, else SendWriteTo's destination
    QTest::addColumn<QString>("from");     // who answers
    QTest::addColumn<bool>("accepted");

    const QString unit = kPeerAddress.toString();
    const QString other = QStringLiteral("127.0.0.3");
    QTest::newRow("read all, whole image from the unit") << "read all" << false << "" << unit << true;
    QTest::newRow("read all, whole image from another unit") << "read all" << false << "" << other << false;
    QTest::newRow("write, ack from the unit") << "write" << false << "" << unit << true;
    QTest::newRow("write, ack from another unit") << "write" << false << "" << other << false;
    QTest::newRow("block write, ack from another unit") << "block write" << false << "" << other << false;
    QTest::newRow("network write, ModiNet! from another unit") << "network" << false << "" << other << false;
    QTest::newRow("network write to .3 while connected to .2, ModiNet! from .3")
        << "network" << false << other << other << true;
    QTest::newRow("network write to .3 while connected to .2, ModiNet! from .2")
        << "network" << false << other << unit << false;
    QTest::newRow("broadcast read all, whole image from any unit") << "read all" << true << "" << other << true;
    QTest::newRow("broadcast write, ack from any unit") << "write" << true << "" << other << true;
  }
  void onlyTheAddressedUnitAnswersARequest() {
    QFETCH(QString, request);
    QFETCH(bool, broadcast);
    QFETCH(QString, to);
    QFETCH(QString, from);
    QFETCH(bool, accepted);
    Peer other(QHostAddress(QStringLiteral("127.0.0.3")), m_peer->port());
    m_link->setRemoteAddress(kPeerAddress.toString(), broadcast ? ParamLink::Reach::AnyUnit : ParamLink::Reach::OneUnit);
    QSignalSpy received(m_link.get(), &ParamLink::imageReceived);
    QSignalSpy acked(m_link.get(), &ParamLink::acknowledged);
    QSignalSpy modiNet(m_link.get(), &ParamLink::networkAcknowledged);
    const Bytes before(m_image.All().begin(), m_image.All().end());
    const std::array<std::uint8_t, 12> net{127, 0, 0, 9, 255, 0, 0, 0, 127, 0, 0, 1};
    const std::array<std::uint8_t, 1> v{1};
    Bytes answer;
    if (request == QLatin1String("read all")) {
      DeviceCommands commands(m_state, m_image, *m_link);
      commands.ReadAll();
      answer = frame::BuildReadReply(0, Patterned(852, 21));
    } else if (request == QLatin1String("write")) {
      m_link->SendWrite(266, 1, v);
      answer = frame::BuildAck(Command::Write, 266, 1);
    } else if (request == QLatin1String("block write")) {
      m_link->SendBlockWrite(833, 1, v);
      answer = frame::BuildAck(Command::BlockWrite, 833, 1);
    } else {
      m_link->SendWriteTo(to.isEmpty() ? kPeerAddress.toString() : to, ParamLink::Reach::OneUnit, 138, 12, net);
      answer = frame::BuildNetworkAck();
    }
    if (!to.isEmpty()) {
      QTRY_COMPARE(other.received.size(), std::size_t{1});
      QCOMPARE(m_peer->received.size(), std::size_t{0});  // the connected unit heard nothing
    }
    const QHostAddress sender(from);
    (sender == kPeerAddress ? m_peer->socket : other.socket)
        .writeDatagram(reinterpret_cast<const char*>(answer.data()), static_cast<qint64>(answer.size()), kLinkAddress,
                       m_peer->port());
    Drain();
    const bool taken = request == QLatin1String("read all")   ? received.size() == 1
                       : request == QLatin1String("network") ? modiNet.size() == 1
                                                              : acked.size() == 1;
    QCOMPARE(taken, accepted);
    if (request != QLatin1String("network")) QCOMPARE(m_link->timerActive(), !accepted);
    if (request == QLatin1String("read all") && !accepted) {
      QCOMPARE(Bytes(m_image.All().begin(), m_image.All().end()), before);
      QVERIFY(m_link->awaitingFullRead());  // the connected unit's own reply is still taken
    }
  }

  void aReplyAfterTheTimeOutIsNotExamined() {
    Reset(true, kShortTimeoutMs);
    QSignalSpy timedOut(m_link.get(), &ParamLink::timedOut);
    QSignalSpy acked(m_link.get(), &ParamLink::acknowledged);
    const std::array<std::uint8_t, 1> v{1};
    m_link->SendWrite(266, 1, v);
    QVERIFY(timedOut.wait());
    m_peer->Send(frame::BuildAck(Command::Write, 266, 1));
    Drain();
    QCOMPARE(acked.size(), 0);
    QCOMPARE(m_link->pendingCommand(), 0);
  }

  void networkAcknowledgementIsReportedWhileAWriteIsPending_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("expected");
    QTest::newRow("write pending") << 6 << 1;
    QTest::newRow("block write pending") << 16 << 0;
  }
  void networkAcknowledgementIsReportedWhileAWriteIsPending() {
    QFETCH(int, command);
    QFETCH(int, expected);
    QSignalSpy modiNet(m_link.get(), &ParamLink::networkAcknowledged);
    QSignalSpy acked(m_link.get(), &ParamLink::acknowledged);
    const std::array<std::uint8_t, 12> net{127, 0, 0, 5, 255, 0, 0, 0, 127, 0, 0, 1};
    if (command == 6) m_link->SendWrite(138, 12, net);
    else m_link->SendBlockWrite(138, 12, net);
    m_peer->Send(frame::BuildNetworkAck());
    m_peer->Send(frame::BuildAck(static_cast<Command>(command), 138, 12));
    QVERIFY(acked.wait());
    QCOMPARE(modiNet.size(), expected);
  }

  // A receiver of a link signal that sends its next frame from the signal (the bridge writes
  // from imageReceived, the edit queue from acknowledged) must find that frame's time-out
  // running after it returns: here the unit never answers the frame, and the link must say
  // so instead of waiting for ever.
  void aFrameSentFromASignalStillTimesOut_data() {
    QTest::addColumn<QString>("signal");
    QTest::newRow("imageReceived") << QStringLiteral("imageReceived");
    QTest::newRow("imageReceivedInto") << QStringLiteral("imageReceivedInto");
    QTest::newRow("acknowledged") << QStringLiteral("acknowledged");
    QTest::newRow("networkAcknowledged") << QStringLiteral("networkAcknowledged");
    QTest::newRow("search reply") << QStringLiteral("search reply");
  }
  void aFrameSentFromASignalStillTimesOut() {
    QFETCH(QString, signal);
    Reset(true, kShortTimeoutMs);
    const std::array<std::uint8_t, 1> v{4};
    int sentFromHandler = 0;
    const auto sendNext = [&] {
      if (sentFromHandler++ == 0) m_link->SendWrite(266, 1, v);
    };
    QSignalSpy acked(m_link.get(), &ParamLink::acknowledged);
    QSignalSpy timedOut(m_link.get(), &ParamLink::timedOut);
    ParameterImage copy;
    if (signal == QLatin1String("imageReceived")) {
      connect(m_link.get(), &ParamLink::imageReceived, this, sendNext);
      m_link->SendRead(0, 852);
      m_link->setAwaitingFullRead(true);
      m_peer->Send(frame::BuildReadReply(0, Patterned(852, 3)));
    } else if (signal == QLatin1String("imageReceivedInto")) {
      connect(m_link.get(), &ParamLink::imageReceivedInto, this, sendNext);
      m_link->SendRead(0, 852);
      m_link->setAwaitingFullRead(true);
      m_link->setFullReadTarget(&copy);
      m_peer->Send(frame::BuildReadReply(0, Patterned(852, 3)));
    } else if (signal == QLatin1String("acknowledged")) {
      connect(m_link.get(), &ParamLink::acknowledged, this, sendNext);
      m_link->SendWrite(267, 1, v);
      m_peer->Send(frame::BuildAck(Command::Write, 267, 1));
    } else if (signal == QLatin1String("networkAcknowledged")) {
      connect(m_link.get(), &ParamLink::networkAcknowledged, this, sendNext);
      const std::array<std::uint8_t, 12> net{127, 0, 0, 5, 255, 0, 0, 0, 127, 0, 0, 1};
      m_link->SendWrite(138, 12, net);
      m_peer->Send(frame::BuildNetworkAck());
    } else {
      m_link->SetSearchReplyHandler([&](const frame::ReadReply&, const QString&) {
        sendNext();
        return true;
      });
      m_link->SendRead(0, 852);
      m_peer->Send(frame::BuildReadReply(0, Patterned(852, 3)));
    }
    QTRY_COMPARE(sentFromHandler, 1);
    QTRY_COMPARE(m_peer->received.size(), std::size_t{2});
    QCOMPARE(Slice(m_peer->received[1], 31, 34), (Bytes{0x06, 0x0A, 0x01}));  // the write at 266
    QVERIFY2(m_link->timerActive(), "the unanswered write has no time-out");
    QVERIFY(timedOut.wait());
    QCOMPARE(m_link->pendingCommand(), 0);
    QCOMPARE(m_state.connected, 0);
    // The datagram that came before the write answered an older frame (the first write's
    // acknowledgement, once), never the write.
    QCOMPARE(acked.size(), signal == QLatin1String("acknowledged") ? 1 : 0);
  }

  void commandsDoNothingWhileDisconnected() {
    m_state.connected = 0;
    DeviceCommands commands(m_state, m_image, *m_link);
    QSignalSpy status(&commands, &DeviceCommands::statusText);
    commands.ReadAll();
    commands.DownloadAll();
    commands.Restart();
    QVERIFY(!m_link->awaitingFullRead());
    QVERIFY(!m_link->timerActive());
    QCOMPARE(status.size(), 0);
    const std::array<std::uint8_t, 1> v{1};
    m_link->SendWrite(266, 1, v);  // the first datagram the peer sees
    QTRY_COMPARE(m_peer->received.size(), std::size_t{1});
    QCOMPARE(m_peer->received[0].size(), 39);
  }

  // A download lands before it is called done: the store (or the restart after an EQ copy)
  // leaves only once the image's block write was acknowledged, and "DownLoad Success" needs
  // both acknowledgements. The peer answers each step promptly, never, or only after the
  // time-out; Timer2 is short only where a row waits for it.
  void downloadSucceedsOnlyWhenImageAndCommandAreAcknowledged_data() {
    QTest::addColumn<bool>("restart");     // DownloadAndRestart instead of DownloadAll
    QTest::addColumn<QString>("imageAck");  // "prompt", "lost", "late"
    QTest::addColumn<bool>("commandAcked");
    QTest::addColumn<int>("frames");        // frames the unit receives
    QTest::addColumn<bool>("success");
    for (const bool restart : {false, true}) {
      const char* name = restart ? "download and restart" : "download all";
      QTest::addRow("%s: both acknowledged", name) << restart << "prompt" << true << 2 << true;
      QTest::addRow("%s: the image's acknowledgement lost", name) << restart << "lost" << false << 1 << false;
      QTest::addRow("%s: the command's acknowledgement lost", name) << restart << "prompt" << false << 2 << false;
      QTest::addRow("%s: both late", name) << restart << "late" << true << 1 << false;
    }
  }
  void downloadSucceedsOnlyWhenImageAndCommandAreAcknowledged() {
    QFETCH(bool, restart);
    QFETCH(QString, imageAck);
    QFETCH(bool, commandAcked);
    QFETCH(int, frames);
    QFETCH(bool, success);
    Reset(true, success ? kLongTimeoutMs : kShortTimeoutMs);
    DeviceCommands commands(m_state, m_image, *m_link);
    QSignalSpy status(&commands, &DeviceCommands::statusText);
    QSignalSpy succeeded(&commands, &DeviceCommands::downloadSucceeded);
    QSignalSpy linkStatus(m_link.get(), &ParamLink::statusText);
    QSignalSpy timedOut(m_link.get(), &ParamLink::timedOut);
    m_image.SetU8(266, 42);
    restart ? commands.DownloadAndRestart() : commands.DownloadAll();
    QCOMPARE(status.size(), 1);
    QCOMPARE(status[0], (QList<QVariant>{0, QStringLiteral("DownLoad..")}));

    // The image alone leaves first.
    QTRY_COMPARE(m_peer->received.size(), std::size_t{1});
    const QByteArray& block = m_peer->received[0];
    QCOMPARE(block.size(), 890);
    QCOMPARE(Slice(block, 30, 36), (Bytes{0xCA, 0x10, 0x00, 0x00, 0x54, 0x03}));
    QCOMPARE(Slice(block, 36, 888), Bytes(m_image.All().begin(), m_image.All().end()));
    Drain();
    QCOMPARE(m_peer->received.size(), std::size_t{1});

    if (imageAck == QLatin1String("late")) QVERIFY(timedOut.wait());
    if (imageAck != QLatin1String("lost")) m_peer->Send(frame::BuildAck(Command::BlockWrite, 0, 852));
    if (frames == 2) {
      QTRY_COMPARE(m_peer->received.size(), std::size_t{2});
      const QByteArray& command = m_peer->received[1];
      QCOMPARE(command.size(), 39);
      const Bytes expected = restart ? Bytes{0xCA, 0x06, 0xB9, 0x0B, 0x01, 0x00, 0x02}
                                     : Bytes{0xCA, 0x06, 0xB8, 0x0B, 0x01, 0x00, 0x02};
      QCOMPARE(Slice(command, 30, 37), expected);
      if (commandAcked) m_peer->Send(frame::BuildAck(Command::Write, restart ? 3001 : 3000, 1));
    }
    if (success) {
      QVERIFY(succeeded.wait());
      QCOMPARE(status.size(), 2);
      QCOMPARE(status[1], (QList<QVariant>{0, QStringLiteral("DownLoad Success")}));
      QVERIFY(!m_link->timerActive());
    } else {
      // Each step has its own period, so the step left unanswered still times out.
      if (timedOut.isEmpty()) QVERIFY(timedOut.wait());
      if (commandAcked) m_peer->Send(frame::BuildAck(Command::Write, restart ? 3001 : 3000, 1));  // too late
      Drain();
      QCOMPARE(succeeded.size(), 0);
      QCOMPARE(status.size(), 1);  // "DownLoad.." only
      QCOMPARE(linkStatus[0], (QList<QVariant>{0, QStringLiteral("Connect Fail!")}));
      QVERIFY(!commands.downloadPending());
    }
    // After a lost or late image the command was never sent.
    QCOMPARE(m_peer->received.size(), static_cast<std::size_t>(frames));
  }

  void readAllAndRestartSendTheirFrames() {
    DeviceCommands commands(m_state, m_image, *m_link);
    QSignalSpy received(m_link.get(), &ParamLink::imageReceived);
    commands.ReadAll();
    QVERIFY(m_link->awaitingFullRead());
    QTRY_COMPARE(m_peer->received.size(), std::size_t{1});
    QCOMPARE(m_peer->received[0].size(), 38);
    QCOMPARE(Slice(m_peer->received[0], 30, 36), (Bytes{0xCA, 0x03, 0x00, 0x00, 0x54, 0x03}));
    const Bytes unitImage = Patterned(852, 77);
    m_peer->Send(frame::BuildReadReply(0, unitImage));
    QVERIFY(received.wait());
    QCOMPARE(Bytes(m_image.All().begin(), m_image.All().end()), unitImage);

    commands.Restart();
    QTRY_COMPARE(m_peer->received.size(), std::size_t{2});
    QCOMPARE(m_peer->received[1].size(), 39);
    QCOMPARE(Slice(m_peer->received[1], 30, 37), (Bytes{0xCA, 0x06, 0xB9, 0x0B, 0x01, 0x00, 0x02}));
    QCOMPARE(Bytes(m_image.All().begin(), m_image.All().end()), unitImage);  // commands never change it
  }
};

QTEST_GUILESS_MAIN(ParamLinkTest)
#include "ParamLinkTest.moc"
