// mzr4700-sim as the program meets it: real UDP on loopback, a free port per test, the
// simulator as a child process. Absence of an answer is checked once the simulator's log
// shows it handled the request: an immediate answer leaves before its log line is written.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "files/ProjectFile.h"
#include "link/FrameCodec.h"
#include "model/ParameterImage.h"
#include "support/SimProcess.h"
#include "support/UdpPeer.h"

using namespace mzr;
using mzr::test::SimProcess;
using mzr::test::UdpPeer;

namespace {

QHostAddress Loopback(int last) { return QHostAddress(QStringLiteral("127.0.0.%1").arg(last)); }
const QHostAddress kBroadcast(QStringLiteral("127.255.255.255"));

QStringList Args(quint16 port, QStringList more = {}) {
  return QStringList{QStringLiteral("--port"), QString::number(port)} + more;
}

// The image a fresh unit k (counting from 1) at 127.0.0.(k+1) is expected to hold.
ParameterImage FreshImage(int k, quint16 port) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  const auto last = static_cast<std::uint8_t>(k + 1);
  image.setMacAddress({0x4C, 0x32, 127, 0, 0, last});
  image.setIpAddress({127, 0, 0, last});
  image.setSubnetMask({255, 0, 0, 0});
  image.setGateway({127, 0, 0, 1});
  image.setUdpPort(port);
  (void)image.SetText(TextField::theaterName, "Hall " + std::to_string(k));
  (void)image.SetText(TextField::screenNumber, std::to_string(k));
  return image;
}

// The whole image of the unit at to, read over the link.
std::optional<ParameterImage> ReadImage(UdpPeer& peer, const QHostAddress& to, quint16 port) {
  if (!peer.Send(frame::BuildRead(0, 852), to, port)) return std::nullopt;
  const auto reply = peer.Receive();
  if (!reply || reply->sender != to) return std::nullopt;
  const auto parsed = frame::ParseReadReply(reply->bytes());
  if (!parsed || parsed->address != 0 || parsed->count != kImageSize) return std::nullopt;
  ParameterImage image;
  image.ReplaceAll(std::span<const std::uint8_t, kImageSize>(parsed->data.data(), kImageSize));
  return image;
}

std::uint16_t U16At(const QByteArray& d, int offset) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(d[offset]) | (static_cast<std::uint8_t>(d[offset + 1]) << 8));
}

}  // namespace

class SimulatorTest final : public QObject {
  Q_OBJECT

 private slots:
  void readOfWholeImageAnsweredByEachUnit();
  void readSpansAreCutToTheImage_data();
  void readSpansAreCutToTheImage();
  void broadcastReadAnsweredByEveryUnit();
  void broadcastReadAnsweredByAll254Units();
  void writesAreAppliedAndAcknowledged_data();
  void writesAreAppliedAndAcknowledged();
  void burstOfWritesIsAllAcknowledged();
  void storedImageIsLoadedByTheNextRun();
  void failedStoreIsNotAcknowledged();
  void restartAcknowledgesThenStaysSilentKeepingItsImage();
  void networkWriteMovesUnitInsideLoopback();
  void networkWriteOutsideUnitAddressesIsRefused_data();
  void networkWriteOutsideUnitAddressesIsRefused();
  void networkWriteOntoAnotherUnitIsRefused();
  void lossDropsTheSameRequestsForTheSameSeed();
  void silentUnitLogsButNeverAnswers();
  void delayedAnswersKeepTheirOrder();
  void malformedDatagramsAreDropped();
  void logLineDescribesEachFrame();
  void badArgumentsExitWithStatus2_data();
  void badArgumentsExitWithStatus2();
  void portHeldWithoutSharingExitsWithStatus1();
  void stopsCleanlyOnSignal_data();
  void stopsCleanlyOnSignal();
};

void SimulatorTest::readOfWholeImageAnsweredByEachUnit() {
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port, {QStringLiteral("--units"), QStringLiteral("3")}), &error), qPrintable(error));
  UdpPeer peer;
  for (int k = 1; k <= 3; ++k) {
    QVERIFY(peer.Send(frame::BuildRead(0, 852), Loopback(k + 1), port));
    const auto reply = peer.Receive();
    QVERIFY(reply);
    QCOMPARE(reply->data.size(), 890);
    QCOMPARE(reply->sender, Loopback(k + 1));
    QCOMPARE(reply->senderPort, port);
    const auto parsed = frame::ParseReadReply(reply->bytes());
    QVERIFY(parsed);
    QCOMPARE(parsed->address, 0);
    QCOMPARE(parsed->count, 852);
    ParameterImage image;
    image.ReplaceAll(std::span<const std::uint8_t, kImageSize>(parsed->data.data(), kImageSize));
    QVERIFY(image == FreshImage(k, port));
    QCOMPARE(image.Text(TextField::theaterName), "Hall " + std::to_string(k));
  }
}

void SimulatorTest::readSpansAreCutToTheImage_data() {
  QTest::addColumn<int>("address");
  QTest::addColumn<int>("count");
  QTest::addColumn<int>("replyCount");  // -1: no answer
  QTest::newRow("whole image") << 0 << 852 << 852;
  QTest::newRow("last byte") << 851 << 1 << 1;
  QTest::newRow("passes the end") << 800 << 100 << 52;
  QTest::newRow("largest count") << 0 << 65535 << 852;
  QTest::newRow("just outside") << 852 << 1 << -1;
  QTest::newRow("command register") << 3000 << 1 << -1;
}

void SimulatorTest::readSpansAreCutToTheImage() {
  QFETCH(int, address);
  QFETCH(int, count);
  QFETCH(int, replyCount);
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port), &error), qPrintable(error));
  UdpPeer peer;
  const ParameterImage expected = FreshImage(1, port);
  QVERIFY(peer.Send(frame::BuildRead(static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(count)),
                    Loopback(2), port));
  QVERIFY(sim.WaitForLogLines(1));
  const auto arrived = peer.TakeArrived();
  if (replyCount < 0) {
    QVERIFY(arrived.isEmpty());
    QCOMPARE(sim.LogLines().at(0).value(QStringLiteral("outcome")).toString(), QStringLiteral("outside"));
    return;
  }
  QCOMPARE(arrived.size(), 1);
  const auto parsed = frame::ParseReadReply(arrived[0].bytes());
  QVERIFY(parsed);
  QCOMPARE(arrived[0].data.size(), 38 + replyCount);
  QCOMPARE(int(parsed->address), address);
  QCOMPARE(int(parsed->count), replyCount);
  const auto want = expected.Bytes(static_cast<std::size_t>(address), static_cast<std::size_t>(replyCount));
  QVERIFY(std::equal(parsed->data.begin(), parsed->data.end(), want->begin(), want->end()));
}

void SimulatorTest::broadcastReadAnsweredByEveryUnit() {
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port, {QStringLiteral("--units"), QStringLiteral("5")}), &error), qPrintable(error));
  UdpPeer peer;
  QVERIFY(peer.Send(frame::BuildRead(0, 852), kBroadcast, port));
  const auto replies = peer.Receive(5, 10000);
  QCOMPARE(replies.size(), 5);
  QSet<QString> senders;
  for (const auto& reply : replies) {
    QCOMPARE(reply.data.size(), 890);
    const auto parsed = frame::ParseReadReply(reply.bytes());
    QVERIFY(parsed);
    const int k = static_cast<int>(reply.sender.toIPv4Address() & 0xFF) - 1;
    QCOMPARE(reply.data.mid(36 + addr::ipAddress, 4), QByteArray("\x7F\x00\x00", 3) + char(k + 1));
    QCOMPARE(reply.data.mid(36 + addr::theaterName).constData(), QStringLiteral("Hall %1").arg(k).toUtf8());
    senders.insert(reply.sender.toString());
  }
  QCOMPARE(senders.size(), 5);
  QVERIFY(sim.WaitForLogLines(5));
  for (const QJsonObject& line : sim.LogLines()) {
    QCOMPARE(line.value(QStringLiteral("to")).toString(), QStringLiteral("127.255.255.255"));
  }
}

void SimulatorTest::broadcastReadAnsweredByAll254Units() {
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port, {QStringLiteral("--units"), QStringLiteral("254")}), &error), qPrintable(error));
  UdpPeer peer;
  QVERIFY(peer.Send(frame::BuildRead(0, 852), kBroadcast, port));
  const auto replies = peer.Receive(254, 20000);
  QSet<quint32> senders;
  for (const auto& reply : replies) {
    QCOMPARE(reply.data.size(), 890);
    senders.insert(reply.sender.toIPv4Address());
  }
  QCOMPARE(senders.size(), 254);
  QVERIFY(senders.contains(QHostAddress(QStringLiteral("127.0.0.2")).toIPv4Address()));
  QVERIFY(senders.contains(QHostAddress(QStringLiteral("127.0.0.255")).toIPv4Address()));
}

void SimulatorTest::writesAreAppliedAndAcknowledged_data() {
  QTest::addColumn<int>("command");
  QTest::addColumn<int>("address");
  QTest::addColumn<QByteArray>("data");
  QTest::addColumn<QByteArray>("expectedAtAddress");  // what a read of data.size() bytes then shows
  QTest::newRow("write one byte") << 6 << int(addr::muteMask) << QByteArray("\x05", 1) << QByteArray("\x05", 1);
  QTest::newRow("write twelve bytes") << 6 << int(addr::geqGain) << QByteArray(12, '\x14') << QByteArray(12, '\x14');
  QTest::newRow("block write fade time") << 16 << int(addr::fadeTime) << QByteArray("\x09", 1) << QByteArray("\x09", 1);
  QTest::newRow("write passing the end is cut") << 6 << 850 << QByteArray("\x01\x02\x03\x04", 4)
                                                << QByteArray("\x01\x02", 2);
  // The unit's own MAC, address, mask, gateway and port are not taken from a write.
  QTest::newRow("write over the network block") << 16 << int(addr::netParam2) << QByteArray(24, '\x42')
                                                << QByteArray(2, '\x42') + QByteArray::fromHex("4c327f000002") +
                                                       QByteArray::fromHex("7f000002ff0000007f000001") +
                                                       QByteArray(2, '\0') + QByteArray(2, '\x42');
}

void SimulatorTest::writesAreAppliedAndAcknowledged() {
  QFETCH(int, command);
  QFETCH(int, address);
  QFETCH(QByteArray, data);
  QFETCH(QByteArray, expectedAtAddress);
  const quint16 port = test::FreeUdpPort();
  QByteArray expected = expectedAtAddress;
  if (address == addr::netParam2) {  // the port bytes follow the gateway
    expected[20] = char(port & 0xFF);
    expected[21] = char(port >> 8);
  }
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port), &error), qPrintable(error));
  UdpPeer peer;
  const frame::View view(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size()));
  QVERIFY(peer.Send(frame::BuildWrite(static_cast<frame::Command>(command), static_cast<std::uint16_t>(address), view),
                    Loopback(2), port));
  const auto ack = peer.Receive();
  QVERIFY(ack);
  QCOMPARE(ack->data.size(), 38);
  QVERIFY(frame::IsAcknowledgement(ack->bytes(), static_cast<std::uint8_t>(command)));
  QCOMPARE(int(U16At(ack->data, 32)), address);
  QCOMPARE(int(U16At(ack->data, 34)), data.size());

  QVERIFY(peer.Send(frame::BuildRead(static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(data.size())),
                    Loopback(2), port));
  const auto reply = peer.Receive();
  QVERIFY(reply);
  const auto parsed = frame::ParseReadReply(reply->bytes());
  QVERIFY(parsed);
  QCOMPARE(QByteArray(reinterpret_cast<const char*>(parsed->data.data()), qsizetype(parsed->data.size())), expected);
}

void SimulatorTest::burstOfWritesIsAllAcknowledged() {
  // A slider drag as the program sends it: one write per step, back to back, no waiting.
  constexpr int kSteps = 10000;
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port), &error), qPrintable(error));
  // The writes leave back to back in bursts of kBurst, and the test takes the burst's
  // acknowledgements before the next: what must arrive then never depends on how long a
  // busy machine keeps either process from reading, or on the buffers the kernel grants.
  constexpr int kBurst = 500;
  UdpPeer peer;
  frame::Bytes buffer;
  QList<UdpPeer::Datagram> acks;
  for (int step = 0; step < kSteps; ++step) {
    const auto gain = static_cast<std::uint8_t>(step % 241);
    frame::BuildWriteInto(buffer, frame::Command::Write, static_cast<std::uint16_t>(ParameterImage::GeqAddress(0, 14)),
                          {&gain, 1});
    QVERIFY(peer.Send(buffer, Loopback(2), port));
    if ((step + 1) % kBurst == 0) acks += peer.Receive(kBurst, 20000);
  }
  QCOMPARE(acks.size(), kSteps);
  for (const auto& ack : acks) QVERIFY(frame::IsAcknowledgement(ack.bytes(), 6));
  QVERIFY(sim.WaitForLogLines(kSteps));
  const auto image = ReadImage(peer, Loopback(2), port);
  QVERIFY(image);
  QCOMPARE(int(image->U8(ParameterImage::GeqAddress(0, 14))), (kSteps - 1) % 241);
}

void SimulatorTest::storedImageIsLoadedByTheNextRun() {
  QTemporaryDir state;
  const quint16 port = test::FreeUdpPort();
  const QStringList args = Args(port, {QStringLiteral("--units"), QStringLiteral("2"), QStringLiteral("--state-dir"),
                                       state.path()});
  ParameterImage stored = FreshImage(1, port);
  {
    SimProcess sim;
    QString error;
    QVERIFY2(sim.Start(args, &error), qPrintable(error));
    UdpPeer peer;
    // A whole-image download as the program sends it, then the store command.
    ParameterImage edited = stored;
    edited.setOutputLevel(2, 61);
    (void)edited.SetText(TextField::projectName, "Premiere");
    QVERIFY(peer.Send(frame::BuildWrite(frame::Command::BlockWrite, 0, edited.All()), Loopback(2), port));
    const std::uint8_t two = 2;
    QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, 3000, {&two, 1}), Loopback(2), port));
    const auto acks = peer.Receive(2, 5000);
    QCOMPARE(acks.size(), 2);
    QVERIFY(frame::IsAcknowledgement(acks[0].bytes(), 16));
    QVERIFY(frame::IsAcknowledgement(acks[1].bytes(), 6));
    QCOMPARE(int(U16At(acks[1].data, 32)), 3000);
    stored = edited;
    // A later edit that is not stored is lost with the run.
    const std::uint8_t level = 7;
    QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, addr::outputLevel + 2, {&level, 1}), Loopback(2), port));
    QVERIFY(peer.Receive());
    QCOMPARE(sim.Stop(), 0);
  }
  const QString file = QDir(state.path()).filePath(QStringLiteral("4C-32-7F-00-00-02.kvdat"));
  QVERIFY(QFile::exists(file));
  ParameterImage onDisk;
  QCOMPARE(LoadProjectFile(file.toStdString(), onDisk), FileResult::Ok);
  QVERIFY(onDisk == stored);

  // A damaged stored image of the second unit is left alone and reported.
  const QString damaged = QDir(state.path()).filePath(QStringLiteral("4C-32-7F-00-00-03.kvdat"));
  {
    QFile junk(damaged);
    QVERIFY(junk.open(QIODevice::WriteOnly));
    QCOMPARE(junk.write(QByteArray("MZR4700DAT\0short", 16)), 16);
  }

  SimProcess next;
  QString error;
  QVERIFY2(next.Start(args, &error), qPrintable(error));
  QVERIFY(next.errorOutput().contains(QStringLiteral("4C-32-7F-00-00-03.kvdat not loaded")));
  UdpPeer peer;
  const auto first = ReadImage(peer, Loopback(2), port);
  QVERIFY(first);
  QVERIFY(*first == stored);
  QCOMPARE(first->outputLevel(2), 61);
  const auto second = ReadImage(peer, Loopback(3), port);  // nothing usable stored: New Project
  QVERIFY(second);
  QVERIFY(*second == FreshImage(2, port));
  QCOMPARE(QFileInfo(damaged).size(), 16);
}

void SimulatorTest::failedStoreIsNotAcknowledged() {
  QTemporaryDir state;
  // A folder where the unit's file belongs: the save cannot replace it.
  QVERIFY(QDir(state.path()).mkdir(QStringLiteral("4C-32-7F-00-00-02.kvdat")));
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port, {QStringLiteral("--state-dir"), state.path()}), &error), qPrintable(error));
  UdpPeer peer;
  const std::uint8_t two = 2;
  QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, 3000, {&two, 1}), Loopback(2), port));
  QVERIFY(sim.WaitForLogLines(1));
  QVERIFY(peer.TakeArrived().isEmpty());
  QCOMPARE(sim.LogLines().at(0).value(QStringLiteral("outcome")).toString(), QStringLiteral("store-failed"));
  QVERIFY(sim.WaitForErrorOutput(QStringLiteral("cannot store")));
}

void SimulatorTest::restartAcknowledgesThenStaysSilentKeepingItsImage() {
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port), &error), qPrintable(error));
  UdpPeer peer;
  const std::uint8_t mute = 0x21;
  QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, addr::muteMask, {&mute, 1}), Loopback(2), port));
  QVERIFY(peer.Receive());
  const std::uint8_t two = 2;
  QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, 3001, {&two, 1}), Loopback(2), port));
  const auto ack = peer.Receive();
  QVERIFY(ack);
  QVERIFY(frame::IsAcknowledgement(ack->bytes(), 6));
  QCOMPARE(int(U16At(ack->data, 32)), 3001);

  // Right after the acknowledgement the unit is restarting and hears nothing.
  QVERIFY(peer.Send(frame::BuildRead(0, 852), Loopback(2), port));
  QVERIFY(sim.WaitForLogLines(3));
  QCOMPARE(sim.LogLines().at(2).value(QStringLiteral("outcome")).toString(), QStringLiteral("restarting"));
  QVERIFY(peer.TakeArrived().isEmpty());

  // It comes back with the image it had.
  std::optional<ParameterImage> image;
  for (int attempt = 0; attempt < 100 && !image; ++attempt) {
    QVERIFY(peer.Send(frame::BuildRead(0, 852), Loopback(2), port));
    if (auto reply = peer.Receive(100)) {
      const auto parsed = frame::ParseReadReply(reply->bytes());
      QVERIFY(parsed);
      image.emplace();
      image->ReplaceAll(std::span<const std::uint8_t, kImageSize>(parsed->data.data(), kImageSize));
    }
  }
  QVERIFY(image);
  QCOMPARE(image->muteMask(), mute);
}

void SimulatorTest::networkWriteMovesUnitInsideLoopback() {
  QTemporaryDir state;
  const quint16 port = test::FreeUdpPort();
  const QStringList args =
      Args(port, {QStringLiteral("--units"), QStringLiteral("2"), QStringLiteral("--state-dir"), state.path()});
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(args, &error), qPrintable(error));
  UdpPeer peer;
  const std::uint8_t settings[12] = {127, 0, 0, 77, 255, 255, 0, 0, 127, 0, 0, 9};
  QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, 138, settings), Loopback(2), port));
  const auto ack = peer.Receive();
  QVERIFY(ack);
  QCOMPARE(ack->data.size(), 38);
  QCOMPARE(ack->sender, Loopback(2));  // answered from where it was asked
  QVERIFY(frame::HasTag(ack->bytes(), frame::kNetworkAckTag));
  QVERIFY(frame::HasToken(ack->bytes()));

  // At once at the new address, with the new settings and the same MAC and hall.
  const auto moved = ReadImage(peer, Loopback(77), port);
  QVERIFY(moved);
  QCOMPARE(moved->ipAddress(), (Ip4{127, 0, 0, 77}));
  QCOMPARE(moved->subnetMask(), (Ip4{255, 255, 0, 0}));
  QCOMPARE(moved->gateway(), (Ip4{127, 0, 0, 9}));
  QCOMPARE(moved->macAddress(), (Mac{0x4C, 0x32, 127, 0, 0, 2}));
  QCOMPARE(moved->Text(TextField::theaterName), std::string("Hall 1"));

  // Nobody answers at the old address any more; a broadcast finds both units.
  QVERIFY(peer.Send(frame::BuildRead(0, 852), Loopback(2), port));
  QVERIFY(peer.Send(frame::BuildRead(0, 852), kBroadcast, port));
  const auto replies = peer.Receive(2, 5000);
  QCOMPARE(replies.size(), 2);
  QSet<QString> senders;
  for (const auto& r : replies) senders.insert(r.sender.toString());
  QCOMPARE(senders, (QSet<QString>{QStringLiteral("127.0.0.77"), QStringLiteral("127.0.0.3")}));
  QVERIFY(sim.WaitForLogLines(4));  // the network write, the read at .77 and the broadcast twice
  QVERIFY(peer.TakeArrived().isEmpty());

  // Stored at its new address, it starts the next run where the command line puts it, and
  // its image says so; the stored mask and gateway stay.
  const std::uint8_t two = 2;
  QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, 3000, {&two, 1}), Loopback(77), port));
  QVERIFY(peer.Receive());
  QCOMPARE(sim.Stop(), 0);
  SimProcess next;
  QVERIFY2(next.Start(args, &error), qPrintable(error));
  const auto again = ReadImage(peer, Loopback(2), port);
  QVERIFY(again);
  QCOMPARE(again->ipAddress(), (Ip4{127, 0, 0, 2}));
  QCOMPARE(again->subnetMask(), (Ip4{255, 255, 0, 0}));
  QCOMPARE(again->macAddress(), (Mac{0x4C, 0x32, 127, 0, 0, 2}));
}

void SimulatorTest::networkWriteOutsideUnitAddressesIsRefused_data() {
  QTest::addColumn<QByteArray>("target");
  QTest::addColumn<QString>("message");
  // Nothing is sent to these addresses: the unit only answers the test, on loopback.
  QTest::newRow("private network") << QByteArray::fromHex("c0a80514") << QStringLiteral("refuses to leave loopback");
  QTest::newRow("public address") << QByteArray::fromHex("08080808") << QStringLiteral("refuses to leave loopback");
  QTest::newRow("the program's address") << QByteArray::fromHex("7f000001") << QStringLiteral("not an address for a unit");
  QTest::newRow("loopback broadcast") << QByteArray::fromHex("7fffffff") << QStringLiteral("not an address for a unit");
}

void SimulatorTest::networkWriteOutsideUnitAddressesIsRefused() {
  QFETCH(QByteArray, target);
  QFETCH(QString, message);
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port), &error), qPrintable(error));
  UdpPeer peer;
  const auto before = ReadImage(peer, Loopback(2), port);
  QVERIFY(before);
  std::uint8_t settings[12] = {0, 0, 0, 0, 255, 255, 255, 0, 192, 168, 5, 1};
  std::copy(target.begin(), target.end(), settings);
  QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, 138, settings), Loopback(2), port));
  const auto ack = peer.Receive();
  QVERIFY(ack);
  QCOMPARE(ack->sender, Loopback(2));
  QVERIFY(frame::HasTag(ack->bytes(), frame::kNetworkAckTag));
  QVERIFY(sim.WaitForErrorOutput(message));
  const auto after = ReadImage(peer, Loopback(2), port);
  QVERIFY(after);
  QVERIFY(*after == *before);
}

void SimulatorTest::networkWriteOntoAnotherUnitIsRefused() {
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port, {QStringLiteral("--units"), QStringLiteral("2")}), &error), qPrintable(error));
  UdpPeer peer;
  // Sent to every unit at once, as the program does while no unit is connected: the first
  // unit moves, the second cannot follow it onto the same address.
  const std::uint8_t settings[12] = {127, 0, 0, 40, 255, 0, 0, 0, 127, 0, 0, 1};
  QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, 138, settings), kBroadcast, port));
  QCOMPARE(peer.Receive(2, 5000).size(), 2);
  QVERIFY(sim.WaitForErrorOutput(QStringLiteral("already answers there")));
  const auto first = ReadImage(peer, Loopback(40), port);
  QVERIFY(first);
  QCOMPARE(first->Text(TextField::theaterName), std::string("Hall 1"));
  const auto second = ReadImage(peer, Loopback(3), port);
  QVERIFY(second);
  QCOMPARE(second->ipAddress(), (Ip4{127, 0, 0, 3}));
}

void SimulatorTest::lossDropsTheSameRequestsForTheSameSeed() {
  constexpr int kRequests = 60;
  auto answered = [](const QString& seed, QSet<int>* fromLog) -> QSet<int> {
    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    QString error;
    if (!sim.Start(Args(port, {QStringLiteral("--loss"), QStringLiteral("50"), QStringLiteral("--seed"), seed}),
                   &error)) {
      qWarning("%s", qPrintable(error));
      return {};
    }
    UdpPeer peer;
    for (int a = 0; a < kRequests; ++a) peer.Send(frame::BuildRead(static_cast<std::uint16_t>(a), 1), Loopback(2), port);
    if (!sim.WaitForLogLines(kRequests)) return {};
    QSet<int> addresses;
    for (const auto& reply : peer.TakeArrived()) addresses.insert(U16At(reply.data, 32));
    for (const QJsonObject& line : sim.LogLines()) {
      if (line.value(QStringLiteral("outcome")).toString() == QStringLiteral("answered")) {
        fromLog->insert(line.value(QStringLiteral("address")).toInt());
      }
    }
    return addresses;
  };
  QSet<int> logA;
  QSet<int> logB;
  QSet<int> logC;
  const QSet<int> a = answered(QStringLiteral("7"), &logA);
  const QSet<int> b = answered(QStringLiteral("7"), &logB);
  const QSet<int> c = answered(QStringLiteral("8"), &logC);
  QVERIFY(a.size() > 10 && a.size() < kRequests - 10);  // about half
  QCOMPARE(a, logA);
  QCOMPARE(b, a);
  QCOMPARE(c, logC);
  QVERIFY(c != a);
}

void SimulatorTest::silentUnitLogsButNeverAnswers() {
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port, {QStringLiteral("--silent")}), &error), qPrintable(error));
  UdpPeer peer;
  const std::uint8_t two = 2;
  QVERIFY(peer.Send(frame::BuildRead(0, 852), Loopback(2), port));
  QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, 3001, {&two, 1}), Loopback(2), port));
  QVERIFY(peer.Send(frame::BuildRead(0, 852), kBroadcast, port));
  QVERIFY(sim.WaitForLogLines(3));
  QVERIFY(peer.TakeArrived().isEmpty());
  for (const QJsonObject& line : sim.LogLines()) {
    QCOMPARE(line.value(QStringLiteral("outcome")).toString(), QStringLiteral("silent"));
  }
}

void SimulatorTest::delayedAnswersKeepTheirOrder() {
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port, {QStringLiteral("--delay"), QStringLiteral("200")}), &error), qPrintable(error));
  UdpPeer peer;
  const std::uint8_t level = 33;
  QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, addr::outputLevel, {&level, 1}), Loopback(2), port));
  QVERIFY(peer.Send(frame::BuildRead(addr::outputLevel, 1), Loopback(2), port));
  QVERIFY(peer.Send(frame::BuildRead(0, 852), Loopback(2), port));
  const auto replies = peer.Receive(3, 10000);
  QCOMPARE(replies.size(), 3);
  QVERIFY(frame::IsAcknowledgement(replies[0].bytes(), 6));
  const auto read = frame::ParseReadReply(replies[1].bytes());
  QVERIFY(read);
  QCOMPARE(read->count, 1);
  QCOMPARE(read->data[0], level);
  QCOMPARE(replies[2].data.size(), 890);
}

void SimulatorTest::malformedDatagramsAreDropped() {
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port, {QStringLiteral("--verbose")}), &error), qPrintable(error));
  UdpPeer peer;
  const auto before = ReadImage(peer, Loopback(2), port);
  QVERIFY(before);

  const std::uint8_t value = 0x55;
  const frame::Bytes good = frame::BuildWrite(frame::Command::Write, addr::muteMask, {&value, 1});
  QList<frame::Bytes> bad;
  bad << frame::Bytes(good.begin(), good.begin() + 20);                      // cut short
  auto tag = good; tag[0] = 'X'; bad << tag;                                 // other tag
  auto token = good; token[12] = 'X'; bad << token;                          // other token
  auto marker = good; marker[30] = 0xCB; bad << marker;                      // other marker
  auto command = good; command[31] = 5; bad << command;                      // unknown command
  auto count = good; count[34] = 4; bad << count;                            // claims more data than it has
  auto longer = good; longer.push_back(0); bad << longer;                    // one byte too many
  auto read = frame::BuildRead(0, 852); read.push_back(0); bad << read;      // a read of 39 bytes
  bad << frame::BuildWrite(frame::Command::BlockWrite, 0, frame::Bytes(1563, 0x55));  // 1601 bytes
  bad << frame::Bytes(3000, 0x55);
  bad << frame::Bytes{};
  for (const auto& d : bad) QVERIFY(peer.Send(d, Loopback(2), port));

  const auto after = ReadImage(peer, Loopback(2), port);  // the first answer after the junk
  QVERIFY(after);
  QVERIFY(*after == *before);
  QCOMPARE(sim.Stop(), 0);
  QCOMPARE(sim.LogLines().size(), 2);  // the two reads, nothing else
  QCOMPARE(sim.errorOutput().count(QStringLiteral("dropped a malformed datagram")), bad.size());
}

void SimulatorTest::logLineDescribesEachFrame() {
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port, {QStringLiteral("--units"), QStringLiteral("2")}), &error), qPrintable(error));
  UdpPeer peer;
  const std::uint8_t data[3] = {0x0A, 0xB0, 0xFF};
  QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, 564, data), Loopback(3), port));
  QVERIFY(peer.Receive());
  QVERIFY(peer.Send(frame::BuildRead(0, 852), kBroadcast, port));
  QCOMPARE(peer.Receive(2, 5000).size(), 2);
  QCOMPARE(sim.Stop(), 0);  // the log is complete once the simulator has stopped
  const auto lines = sim.LogLines();
  QCOMPARE(lines.size(), 3);
  const QJsonObject& w = lines[0];
  QCOMPARE(w.value(QStringLiteral("unit")).toString(), QStringLiteral("127.0.0.3"));
  QCOMPARE(w.value(QStringLiteral("to")).toString(), QStringLiteral("127.0.0.3"));
  QCOMPARE(w.value(QStringLiteral("from")).toString(), QStringLiteral("127.0.0.1:%1").arg(peer.port()));
  QCOMPARE(w.value(QStringLiteral("command")).toInt(), 6);
  QCOMPARE(w.value(QStringLiteral("address")).toInt(), 564);
  QCOMPARE(w.value(QStringLiteral("count")).toInt(), 3);
  QCOMPARE(w.value(QStringLiteral("data")).toString(), QStringLiteral("0ab0ff"));
  QCOMPARE(w.value(QStringLiteral("outcome")).toString(), QStringLiteral("answered"));
  QVERIFY(QDateTime::fromString(w.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs).isValid());
  QSet<QString> units;
  for (int i = 1; i < 3; ++i) {
    QCOMPARE(lines[i].value(QStringLiteral("to")).toString(), QStringLiteral("127.255.255.255"));
    QCOMPARE(lines[i].value(QStringLiteral("command")).toInt(), 3);
    QCOMPARE(lines[i].value(QStringLiteral("count")).toInt(), 852);
    QCOMPARE(lines[i].value(QStringLiteral("data")).toString(), QString());
    units.insert(lines[i].value(QStringLiteral("unit")).toString());
  }
  QCOMPARE(units, (QSet<QString>{QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3")}));
}

void SimulatorTest::badArgumentsExitWithStatus2_data() {
  QTest::addColumn<QStringList>("arguments");
  QTest::addColumn<QString>("message");
  QTest::newRow("no units") << QStringList{QStringLiteral("--units"), QStringLiteral("0")} << QStringLiteral("--units");
  QTest::newRow("too many units") << QStringList{QStringLiteral("--units"), QStringLiteral("255")} << QStringLiteral("--units");
  QTest::newRow("units not a number") << QStringList{QStringLiteral("--units"), QStringLiteral("3x")} << QStringLiteral("--units");
  QTest::newRow("value missing") << QStringList{QStringLiteral("--units")} << QStringLiteral("needs a value");
  QTest::newRow("first address off loopback") << QStringList{QStringLiteral("--first-address"), QStringLiteral("10.0.0.2")}
                                              << QStringLiteral("127.0.0.0/8");
  QTest::newRow("first address is the program's") << QStringList{QStringLiteral("--first-address"), QStringLiteral("127.0.0.1")}
                                                  << QStringLiteral("127.0.0.1");
  QTest::newRow("first address is the network") << QStringList{QStringLiteral("--first-address"), QStringLiteral("127.0.0.0")}
                                                << QStringLiteral("127.0.0.0/8");
  QTest::newRow("last unit passes the end")
      << QStringList{QStringLiteral("--first-address"), QStringLiteral("127.255.255.250"), QStringLiteral("--units"),
                     QStringLiteral("6")}
      << QStringLiteral("pass the end");
  QTest::newRow("not an address") << QStringList{QStringLiteral("--first-address"), QStringLiteral("127.1")}
                                  << QStringLiteral("not a dotted");
  QTest::newRow("port zero") << QStringList{QStringLiteral("--port"), QStringLiteral("0")} << QStringLiteral("--port");
  QTest::newRow("loss over 100") << QStringList{QStringLiteral("--loss"), QStringLiteral("101")} << QStringLiteral("--loss");
  QTest::newRow("negative delay") << QStringList{QStringLiteral("--delay"), QStringLiteral("-5")} << QStringLiteral("--delay");
  QTest::newRow("unknown option") << QStringList{QStringLiteral("--colour")} << QStringLiteral("unknown argument");
}

void SimulatorTest::badArgumentsExitWithStatus2() {
  QFETCH(QStringList, arguments);
  QFETCH(QString, message);
  QProcess process;
  process.start(SimProcess::ExecutablePath(), arguments);
  QVERIFY(process.waitForFinished(10000));
  QCOMPARE(process.exitStatus(), QProcess::NormalExit);
  QCOMPARE(process.exitCode(), 2);
  const QString err = QString::fromUtf8(process.readAllStandardError());
  QVERIFY2(err.contains(message), qPrintable(err));
  QVERIFY(err.contains(QStringLiteral("Usage:")));
  QVERIFY(process.readAllStandardOutput().isEmpty());  // never "ready"
}

void SimulatorTest::portHeldWithoutSharingExitsWithStatus1() {
  const quint16 port = test::FreeUdpPort();
  QUdpSocket holder;  // holds 127.0.0.2 on the port and does not share it
  QVERIFY(holder.bind(Loopback(2), port, QAbstractSocket::DontShareAddress));
  QProcess process;
  process.start(SimProcess::ExecutablePath(), Args(port));
  QVERIFY(process.waitForFinished(10000));
  QCOMPARE(process.exitCode(), 1);
  const QString err = QString::fromUtf8(process.readAllStandardError());
  QVERIFY2(err.contains(QStringLiteral("cannot bind 127.0.0.2:%1").arg(port)), qPrintable(err));
}

void SimulatorTest::stopsCleanlyOnSignal_data() {
  QTest::addColumn<int>("signal");
  QTest::addColumn<bool>("traffic");
  QTest::newRow("SIGTERM right after ready") << int(SIGTERM) << false;
  QTest::newRow("SIGINT right after ready") << int(SIGINT) << false;
  QTest::newRow("SIGTERM after a frame") << int(SIGTERM) << true;
  QTest::newRow("SIGINT after a frame") << int(SIGINT) << true;
}

void SimulatorTest::stopsCleanlyOnSignal() {
  QFETCH(int, signal);
  QFETCH(bool, traffic);
  const quint16 port = test::FreeUdpPort();
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(Args(port), &error), qPrintable(error));
  UdpPeer peer;
  if (traffic) {
    QVERIFY(peer.Send(frame::BuildRead(0, 4), Loopback(2), port));
    QVERIFY(peer.Receive());
  }
  ::kill(static_cast<pid_t>(sim.process().processId()), signal);
  QVERIFY(sim.process().waitForFinished(10000));
  QCOMPARE(sim.process().exitStatus(), QProcess::NormalExit);
  QCOMPARE(sim.process().exitCode(), 0);
  QCOMPARE(sim.LogLines().size(), traffic ? 1 : 0);
}

QTEST_GUILESS_MAIN(SimulatorTest)
#include "SimulatorTest.moc"
