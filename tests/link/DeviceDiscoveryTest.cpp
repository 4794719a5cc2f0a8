// The discovery controller on a real link at 127.0.0.1 and a real peer that plays many
// units: it listens on the loopback broadcast address and answers each read with one reply
// per unit. Everything stays on 127.0.0.0/8.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/AppState.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
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
    m_link = std::make_unique<ParamLink>(m_state, m_image, ParamLink::Options{m_units->port(), 2000, kLocal});
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

  void networkChangeKeepingItsOwnAddressIsBroadcastWhileNotConnected() {
    Setup(3);
    Search();
    m_discovery->SelectRow(2);
    QCOMPARE(m_discovery->ChangeNetworkSettings(QStringLiteral("127.0.0.3"), QStringLiteral("255.255.0.0"),
                                                QStringLiteral("127.0.0.1")),
             NetworkChangeResult::Sent);
    QTRY_COMPARE(m_units->received.size(), std::size_t{2});
    const QByteArray& write = m_units->received[1];
    QCOMPARE(write.size(), 38 + 12);
    const auto request = frame::ParseRequest(
        std::span(reinterpret_cast<const std::uint8_t*>(write.constData()), static_cast<std::size_t>(write.size())));
    QVERIFY(request.has_value());
    QCOMPARE(request->command, frame::Command::Write);
    QCOMPARE(request->address, std::uint16_t{138});
    QCOMPARE(Bytes(request->data.begin(), request->data.end()),
             (Bytes{127, 0, 0, 3, 255, 255, 0, 0, 127, 0, 0, 1}));
    // Without a selection nothing is changed or sent.
    Setup(0);
    Search();
    QCOMPARE(m_discovery->ChangeNetworkSettings(QStringLiteral("127.0.0.3"), QStringLiteral("255.0.0.0"),
                                                QStringLiteral("127.0.0.1")),
             NetworkChangeResult::NoSelection);
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
