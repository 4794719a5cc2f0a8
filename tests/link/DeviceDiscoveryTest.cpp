// The discovery controller on a real link at 127.0.0.1 and a real peer that plays many
// units: it listens on the loopback broadcast address and answers each read with one reply
// per unit. Everything stays on 127.0.0.0/8.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/AppState.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "link/discovery/AddressText.h"
#include "link/discovery/DeviceDiscovery.h"
#include "model/ParameterImage.h"

using namespace mzr;
using frame::Bytes;

namespace {

const QHostAddress kLocal(QStringLiteral("127.0.0.1"));

Ip4 UnitIp(int i) { return {127, 0, static_cast<std::uint8_t>((i + 2) >> 8), static_cast<std::uint8_t>((i + 2) & 0xFF)}; }

ParameterImage UnitImage(int i) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  image.setIpAddress(UnitIp(i));
  image.setSubnetMask({255, 0, 0, 0});
  image.setGateway({127, 0, 0, 254});
  image.setUdpPort(2305);
  image.setMacAddress({0x02, 0, 0, 0, static_cast<std::uint8_t>(i >> 8), static_cast<std::uint8_t>(i)});
  return image;
}

// Listens on the loopback broadcast address and answers every read with the replies the
// test queued; records every request it receives.
class Units {
 public:
  Units() {
    QVERIFY(listener.bind(QHostAddress(QStringLiteral("127.255.255.255")), 0, QUdpSocket::ShareAddress));
    QVERIFY(sender.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    QObject::connect(&listener, &QUdpSocket::readyRead, [this] {
      while (listener.hasPendingDatagrams()) {
        QByteArray d(static_cast<int>(listener.pendingDatagramSize()), Qt::Uninitialized);
        listener.readDatagram(d.data(), d.size());
        received.push_back(d);
        const auto request = frame::ParseRequest(
            std::span(reinterpret_cast<const std::uint8_t*>(d.constData()), static_cast<std::size_t>(d.size())));
        if (request && request->command == frame::Command::Read) SendReplies(0);
      }
    });
  }
  quint16 port() const { return listener.localPort(); }
  void Send(const Bytes& d) {
    sender.writeDatagram(reinterpret_cast<const char*>(d.data()), static_cast<qint64>(d.size()), kLocal, port());
  }
  // The replies leave in batches with the event loop turning in between, as units on a
  // network answer: the link, on this same thread, reads between batches, so the burst does
  // not depend on how large a receive buffer the kernel grants.
  void SendReplies(std::size_t first) {
    constexpr std::size_t kBatch = 32;
    const std::size_t end = std::min(replies.size(), first + kBatch);
    for (std::size_t i = first; i < end; ++i) Send(replies[i]);
    if (end < replies.size()) QTimer::singleShot(0, &listener, [this, end] { SendReplies(end); });
  }
  static Bytes WholeImageReply(const ParameterImage& image) { return frame::BuildReadReply(0, image.All()); }

  QUdpSocket listener;
  QUdpSocket sender;
  std::vector<Bytes> replies;
  std::vector<QByteArray> received;
};

}  // namespace

class DeviceDiscoveryTest final : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir m_dir;
  AppState m_state;
  ParameterImage m_image;
  std::unique_ptr<Units> m_units;
  std::unique_ptr<ParamLink> m_link;
  std::unique_ptr<DeviceDiscovery> m_discovery;

  void Setup(int unitCount) {
    m_discovery.reset();
    m_link.reset();
    m_units = std::make_unique<Units>();
    for (int i = 0; i < unitCount; ++i) m_units->replies.push_back(Units::WholeImageReply(UnitImage(i)));
    m_state = AppState{};
    m_image = ParameterImage{};
    m_image.ApplyNewProjectDefaults();
    m_link = std::make_unique<ParamLink>(m_state, m_image, ParamLink::Options{m_units->port(), 2000, kLocal.toString()});
    QString error;
    QVERIFY2(m_link->Open(&error), qPrintable(error));
    m_discovery = std::make_unique<DeviceDiscovery>(
        m_state, m_image, *m_link, DeviceDiscovery::Options{m_dir.filePath(QStringLiteral("Config.ini")), 20});
  }

  void Search() {
    QSignalSpy completed(m_discovery.get(), &DeviceDiscovery::searchCompleted);
    m_discovery->SearchDevices();
    QVERIFY(completed.wait(5000));
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_dir.isValid());
    QFile ini(m_dir.filePath(QStringLiteral("Config.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[SysPara]\nsearchTime=1000\nlocalIp=127.0.0.1\n");
    ini.close();
    qunsetenv("MZR4700_LOCAL_IP");
  }
  void cleanup() {
    m_discovery.reset();
    m_link.reset();
    m_units.reset();
  }

  void searchBroadcastsOneReadOnLoopback() {
    Setup(2);
    QSignalSpy status(m_discovery.get(), &DeviceDiscovery::statusText);
    QSignalSpy reset(m_discovery.get(), &DeviceDiscovery::testSignalReset);
    Search();
    QCOMPARE(m_link->localIp(), QStringLiteral("127.0.0.1"));
    QCOMPARE(m_link->remoteAddress(), QStringLiteral("127.255.255.255"));
    QCOMPARE(m_state.networkMode, 1);
    QCOMPARE(reset.count(), 1);
    QCOMPARE(m_units->received.size(), std::size_t{1});
    QCOMPARE(m_units->received[0].size(), 38);
    QCOMPARE(m_discovery->devicesFound(), 2);
    QCOMPARE(status.first().at(1).toString(), QStringLiteral("Search.."));
    QCOMPARE(status.last().at(1).toString(), QStringLiteral("Search completed    find:2"));
  }

  void repliesBeyondCapacityAndPartialRepliesAreDropped() {
    Setup(255);
    // A duplicate of the first unit and a reply carrying only the network block.
    m_units->replies.insert(m_units->replies.begin() + 1, Units::WholeImageReply(UnitImage(0)));
    const ParameterImage stray = UnitImage(300);
    m_units->replies.insert(m_units->replies.begin() + 2,
                            frame::BuildReadReply(addr::ipAddress, *stray.Bytes(addr::ipAddress, 14)));
    Search();
    QCOMPARE(m_discovery->devicesFound(), DeviceTable::kCapacity);
    const DeviceTable& table = m_discovery->table();
    QCOMPARE(table.cell(1, DeviceTable::IpColumn), QStringLiteral("127.0.0.2"));
    QCOMPARE(table.cell(2, DeviceTable::IpColumn), QStringLiteral("127.0.0.3"));
    QCOMPARE(table.cell(254, DeviceTable::IpColumn), QStringLiteral("127.0.0.255"));  // unit 253
    QCOMPARE(m_discovery->RowOf(QStringLiteral("127.0.1.0")), 0);                     // unit 254 dropped
    QCOMPARE(m_discovery->RowOf(QStringLiteral("127.0.1.46")), 0);  // the partial reply's address
  }

  void refusedNetworkChangeSendsNothingAndKeepsTheEntry() {
    Setup(3);
    Search();
    m_discovery->SelectRow(2);
    const DeviceTable::Entry before = m_discovery->table().entry(1);
    QSignalSpy errors(m_discovery.get(), &DeviceDiscovery::errorMessage);
    struct Case {
      const char *ip, *mask, *gateway;
      NetworkChangeResult result;
      const char* message;
    };
    const Case cases[] = {
        {"", "255.0.0.0", "127.0.0.254", NetworkChangeResult::IpEmpty, "IP设置错误"},
        {"127.0.0.300", "255.0.0.0", "127.0.0.254", NetworkChangeResult::IpInvalid, "输入IP有误"},
        {"127.0.0.2", "255.0.0.0", "127.0.0.254", NetworkChangeResult::DuplicateIp, "重复IP"},    // row 1
        {"0177.0.0.4", "255.0.0.0", "127.0.0.254", NetworkChangeResult::DuplicateIp, "重复IP"},   // row 3, octal
        {"127.0.0.9", "", "127.0.0.254", NetworkChangeResult::MaskEmpty, "子网掩码设置错误"},
        {"127.0.0.9", "255.255.255.255", "127.0.0.254", NetworkChangeResult::MaskInvalid, "输入IP有误"},
        {"127.0.0.9", "255.0.0.0", "", NetworkChangeResult::GatewayEmpty, "网关设置错误"},
        {"127.0.0.9", "255.0.0.0", "gw", NetworkChangeResult::GatewayInvalid, "输入IP有误"},
    };
    for (const Case& c : cases) {
      errors.clear();
      QCOMPARE(m_discovery->ChangeNetworkSettings(QString::fromUtf8(c.ip), QString::fromUtf8(c.mask),
                                                  QString::fromUtf8(c.gateway)),
               c.result);
      QCOMPARE(errors.count(), 1);
      QCOMPARE(errors.first().at(0).toString(), QString::fromUtf8(c.message));
      QVERIFY(m_discovery->table().entry(1) == before);
    }
    QVERIFY(!QTest::qWaitFor([&] { return m_units->received.size() > 1; }, 200));
    QCOMPARE(m_units->received.size(), std::size_t{1});  // the search's read only
  }

  // The 12-byte write reaches the unit the user selected and no other: unicast to the
  // address its row lists, whichever unit is connected; by broadcast only to a unit outside
  // the PC's subnet (127.0.0.1/8) that the search listed alone; refused otherwise. A listed
  // address outside loopback never receives a frame: the link sits on 127.0.0.1.
  void networkChangeReachesTheSelectedUnitOnly_data() {
    QTest::addColumn<int>("units");
    QTest::addColumn<QString>("elsewhere");  // the address the last unit's image names, if set
    QTest::addColumn<int>("connectedRow");   // 0: not connected
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("destination");  // "" refused
    QTest::newRow("not connected, row 2") << 3 << "" << 0 << 2 << "127.0.0.3";
    QTest::newRow("keeping its own address") << 3 << "" << 0 << 3 << "127.0.0.4";
    QTest::newRow("connected to row 3, row 1 selected") << 3 << "" << 3 << 1 << "127.0.0.2";
    QTest::newRow("outside the subnet, others listed") << 3 << "192.0.2.7" << 0 << 3 << "";
    QTest::newRow("outside the subnet, listed alone") << 1 << "192.0.2.7" << 0 << 1 << "127.255.255.255";
  }
  void networkChangeReachesTheSelectedUnitOnly() {
    QFETCH(int, units);
    QFETCH(QString, elsewhere);
    QFETCH(int, connectedRow);
    QFETCH(int, row);
    QFETCH(QString, destination);
    Setup(0);
    for (int i = 0; i < units; ++i) {
      ParameterImage image = UnitImage(i);
      if (i == units - 1 && !elsewhere.isEmpty()) image.setIpAddress(ParseAddressText(elsewhere).bytes);
      m_units->replies.push_back(Units::WholeImageReply(image));
    }
    // Every unit address of the test on the peer's port, so a frame to any of them is seen.
    std::vector<std::unique_ptr<QUdpSocket>> unitSockets;
    std::vector<QString> heard;
    for (int i = 0; i < 3; ++i) {
      auto socket = std::make_unique<QUdpSocket>();
      const QString at = QStringLiteral("127.0.0.%1").arg(i + 2);
      QVERIFY(socket->bind(QHostAddress(at), m_units->port(), QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
      QUdpSocket* raw = socket.get();
      connect(raw, &QUdpSocket::readyRead, this, [raw, at, &heard] {
        while (raw->hasPendingDatagrams()) {
          raw->receiveDatagram();
          heard.push_back(at);
        }
      });
      unitSockets.push_back(std::move(socket));
    }
    Search();
    QCOMPARE(m_discovery->devicesFound(), units);
    if (connectedRow != 0) {
      m_discovery->SelectRow(connectedRow);
      m_discovery->Connect();
      QCOMPARE(m_state.connected, 1);
    }
    m_discovery->SelectRow(row);
    const DeviceTable::Entry before = m_discovery->table().entry(row - 1);
    QSignalSpy errors(m_discovery.get(), &DeviceDiscovery::errorMessage);
    const NetworkChangeResult result = m_discovery->ChangeNetworkSettings(
        QStringLiteral("127.0.0.60"), QStringLiteral("255.255.0.0"), QStringLiteral("127.0.0.1"));
    if (destination.isEmpty()) {
      QCOMPARE(result, NetworkChangeResult::OutsideSubnet);
      QCOMPARE(errors.count(), 1);
      const QString message = errors.first().at(0).toString();
      QVERIFY2(message.contains(QString::fromUtf8("不在本机网段内")) && message.contains(QStringLiteral("outside this PC's subnet")),
               qPrintable(message));
      QVERIFY(m_discovery->table().entry(row - 1) == before);
      QVERIFY(!QTest::qWaitFor([&] { return m_units->received.size() > 1 || !heard.empty(); }, 200));
      QCOMPARE(m_link->pendingCommand(), 3);  // still the search's read: nothing was sent
      return;
    }
    QCOMPARE(result, NetworkChangeResult::Sent);
    QCOMPARE(errors.count(), 0);
    const bool broadcast = destination == QLatin1String("127.255.255.255");
    if (broadcast) {
      QTRY_COMPARE(m_units->received.size(), std::size_t{2});
    } else {
      QTRY_COMPARE(heard.size(), std::size_t{1});
      QCOMPARE(heard[0], destination);
    }
    // The one frame besides the search: no other address heard anything.
    QVERIFY(!QTest::qWaitFor([&] { return m_units->received.size() + heard.size() > 2; }, 200));
    QCOMPARE(m_units->received.size(), std::size_t{broadcast ? 2u : 1u});
    QCOMPARE(m_discovery->table().entry(row - 1)[addr::ipAddress + 3], std::uint8_t{60});
    if (connectedRow != 0) QCOMPARE(m_link->remoteAddress(), QStringLiteral("127.0.0.4"));  // edits still go there
  }

  void networkChangeNeedsASelectedUnit() {
    Setup(0);
    Search();
    QCOMPARE(m_discovery->ChangeNetworkSettings(QStringLiteral("127.0.0.3"), QStringLiteral("255.0.0.0"),
                                                QStringLiteral("127.0.0.1")),
             NetworkChangeResult::NoSelection);
  }

  // A port that cannot be bound is said once; nothing is sent and no time-out is armed, so
  // no "Connect Fail!" follows.
  void aPortThatCannotBeBoundIsReportedOnceAndArmsNothing() {
    QUdpSocket holder;
    QVERIFY(holder.bind(kLocal, 0, QUdpSocket::DontShareAddress));
    ParamLink link(m_state, m_image, ParamLink::Options{holder.localPort(), 2000, kLocal.toString()});
    DeviceDiscovery discovery(m_state, m_image, link,
                              DeviceDiscovery::Options{m_dir.filePath(QStringLiteral("Config.ini")), 20});
    QSignalSpy errors(&discovery, &DeviceDiscovery::errorMessage);
    QSignalSpy status(&discovery, &DeviceDiscovery::statusText);
    QSignalSpy linkStatus(&link, &ParamLink::statusText);
    discovery.SearchDevices();
    QCOMPARE(errors.count(), 1);
    QVERIFY2(errors.first().at(0).toString().contains(QString::number(holder.localPort())),
             qPrintable(errors.first().at(0).toString()));
    QVERIFY(!link.isOpen());
    QVERIFY(!link.timerActive());
    QCOMPARE(link.pendingCommand(), 0);
    QVERIFY(!discovery.searching());
    QCOMPARE(status.count(), 0);
    QCOMPARE(linkStatus.count(), 0);
  }

  // A read reply that carries only part of the image is accepted by the link but never
  // listed; connecting afterwards must still take the listed unit's whole image.
  void connectTakesTheWholeListedImageAfterAPartialReply() {
    Setup(2);
    Search();
    const ParameterImage stray = UnitImage(40);
    m_link->HandleDatagram(frame::BuildReadReply(addr::ipAddress, *stray.Bytes(addr::ipAddress, 14)),
                           QStringLiteral("127.0.0.42"));
    QCOMPARE(m_link->lastReplyAddress(), std::uint16_t{addr::ipAddress});
    QCOMPARE(m_discovery->devicesFound(), 2);
    m_image.SetU8(266, 99);  // an edit the unit never had
    m_discovery->SelectRow(2);
    m_discovery->Connect();
    QCOMPARE(m_state.connected, 1);
    QVERIFY(m_image == UnitImage(1));
    QCOMPARE(m_link->remoteAddress(), QStringLiteral("127.0.0.3"));
  }

  void acknowledgementSearchesAgainAndDisconnects() {
    Setup(2);
    Search();
    m_discovery->SelectRow(1);
    m_discovery->Connect();
    QCOMPARE(m_state.connected, 1);
    QCOMPARE(m_link->remoteAddress(), QStringLiteral("127.0.0.2"));
    QCOMPARE(m_discovery->ChangeNetworkSettings(QStringLiteral("127.0.0.50"), QStringLiteral("255.0.0.0"),
                                                QStringLiteral("127.0.0.254")),
             NetworkChangeResult::Sent);
    QSignalSpy status(m_discovery.get(), &DeviceDiscovery::statusText);
    QSignalSpy started(m_discovery.get(), &DeviceDiscovery::searchStarted);
    m_link->HandleDatagram(frame::BuildNetworkAck(), QStringLiteral("127.0.0.2"));
    QVERIFY(!m_link->timerActive());  // the same datagram acknowledged the write
    QVERIFY(started.wait(2000));
    QCOMPARE(m_state.connected, 0);
    QStringList texts;
    for (const auto& args : status) texts << args.at(1).toString();
    QCOMPARE(texts, (QStringList{QStringLiteral("Search.."), QStringLiteral("DisConnected"), QStringLiteral("未连接")}));
    QCOMPARE(m_link->remoteAddress(), QStringLiteral("127.255.255.255"));
  }
};

QTEST_GUILESS_MAIN(DeviceDiscoveryTest)
#include "DeviceDiscoveryTest.moc"
