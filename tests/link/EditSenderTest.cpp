// The one road of an edit: each edited field, at its index, leaves as exactly one frame
// with the expected command, address and count, carrying the image's bytes, and nothing
// leaves while no unit is connected. The expected spans are written out as numbers here, so
// a wrong rule in the span table shows as a wrong frame on the wire.

#include <QTest>
#include <QUdpSocket>

#include <memory>
#include <vector>

#include "core/AppState.h"
#include "link/EditSender.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "model/ParameterImage.h"

using namespace mzr;

namespace {

const QHostAddress kLinkAddress(QStringLiteral("127.0.0.1"));
const QHostAddress kPeerAddress(QStringLiteral("127.0.0.2"));
constexpr int kLongTimeoutMs = 60000;

struct Case {
  const char* name;
  EditedField field;
  int index;
  frame::Command command;
  std::uint16_t address;
  std::uint16_t count;
};

// One row per field, with indexes that show the stride (last slot, last channel, last band).
const Case kCases[] = {
    {"preset levels", EditedField::presetLevel, 0, frame::Command::Write, 186, 5},
    {"preset boxes", EditedField::presetEnableMask, 0, frame::Command::Write, 194, 1},
    {"microphone routing", EditedField::micRouteFlags, 0, frame::Command::Write, 195, 1},
    {"low-pass", EditedField::subLpf, 0, frame::Command::Write, 196, 2},
    {"output level 0", EditedField::outputLevel, 0, frame::Command::Write, 198, 1},
    {"output level 5", EditedField::outputLevel, 5, frame::Command::Write, 203, 1},
    {"output delay 5", EditedField::outputDelay, 5, frame::Command::Write, 211, 1},
    {"polarity", EditedField::polarityMask, 0, frame::Command::Write, 214, 1},
    {"mute", EditedField::muteMask, 0, frame::Command::Write, 215, 1},
    {"sub section 1 freq+gain", EditedField::subPeqFreqGain, 1, frame::Command::Write, 220, 3},
    {"sub section 1 Q", EditedField::subPeqQ, 1, frame::Command::Write, 220, 4},
    {"bass, channel 4", EditedField::toneBass, 4, frame::Command::Write, 240, 2},
    {"treble, channel 4", EditedField::toneTreble, 4, frame::Command::Write, 242, 2},
    {"band 14 left", EditedField::geqGain, 14, frame::Command::Write, 266, 1},
    {"band 26 monitor row", EditedField::geqGain, 28 * 6 + 26, frame::Command::Write, 446, 1},
    {"monitor levels", EditedField::monitorLevel, 0, frame::Command::Write, 489, 12},
    {"serial number", EditedField::serialNumber, 0, frame::Command::BlockWrite, 80, 16},
    {"input", EditedField::inputSource, 0, frame::Command::Write, 822, 5},
    {"faders", EditedField::faderLevel, 0, frame::Command::Write, 823, 8},
    {"test signal", EditedField::testSignal, 0, frame::Command::Write, 831, 2},
    {"fade time", EditedField::fadeTime, 0, frame::Command::BlockWrite, 833, 1},
    {"power-on input", EditedField::powerOnSource, 0, frame::Command::BlockWrite, 834, 1},
    {"master flags", EditedField::masterFlags, 0, frame::Command::Write, 835, 1},
    {"prologic", EditedField::prologicMask, 0, frame::Command::Write, 836, 1},
};

}  // namespace

class EditSenderTest final : public QObject {
  Q_OBJECT

 private:
  AppState m_state;
  ParameterImage m_image;
  QUdpSocket m_peer;
  std::unique_ptr<ParamLink> m_link;
  std::unique_ptr<EditSender> m_edits;

  std::vector<QByteArray> Received() {
    std::vector<QByteArray> out;
    while (m_peer.hasPendingDatagrams()) {
      QByteArray d(static_cast<int>(m_peer.pendingDatagramSize()), Qt::Uninitialized);
      m_peer.readDatagram(d.data(), d.size());
      out.push_back(d);
    }
    return out;
  }

 private slots:
  void initTestCase() {
    QVERIFY(m_peer.bind(kPeerAddress, 0));
    m_state.networkMode = 1;
    // Every byte differs from its neighbours, so a frame that carries the wrong bytes shows.
    for (int a = 0; a < static_cast<int>(kImageSize); ++a) m_image.SetU8(a, static_cast<std::uint8_t>(a * 13 + 5));
    m_link = std::make_unique<ParamLink>(m_state, m_image, ParamLink::Options{m_peer.localPort(), kLongTimeoutMs, kLinkAddress});
    QString error;
    QVERIFY2(m_link->Open(&error), qPrintable(error));
    m_link->setRemoteAddress(kPeerAddress.toString());
    m_edits = std::make_unique<EditSender>(m_state, *m_link);
  }

  void connectedEditLeavesAsItsSpan_data() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < static_cast<int>(std::size(kCases)); ++i) QTest::newRow(kCases[i].name) << i;
  }
  void connectedEditLeavesAsItsSpan() {
    QFETCH(int, row);
    const Case& c = kCases[row];
    m_state.connected = 1;
    m_edits->Send(c.field, c.index);
    QTRY_VERIFY(m_peer.hasPendingDatagrams());
    const std::vector<QByteArray> frames = Received();
    QCOMPARE(frames.size(), std::size_t{1});
    const auto request = frame::ParseRequest(
        {reinterpret_cast<const std::uint8_t*>(frames[0].constData()), static_cast<std::size_t>(frames[0].size())});
    QVERIFY(request.has_value());
    QCOMPARE(static_cast<int>(request->command), static_cast<int>(c.command));
    QCOMPARE(request->address, c.address);
    QCOMPARE(request->count, c.count);
    for (std::uint16_t i = 0; i < c.count; ++i) QCOMPARE(request->data[i], m_image.U8(c.address + i));
  }

  void nothingLeavesWhileDisconnected_data() { connectedEditLeavesAsItsSpan_data(); }
  void nothingLeavesWhileDisconnected() {
    QFETCH(int, row);
    const Case& c = kCases[row];
    m_state.connected = 0;
    m_edits->Send(c.field, c.index);
    // A datagram sent on loopback is queued at the receiver before the send returns.
    QVERIFY(!m_peer.hasPendingDatagrams());
  }
};

QTEST_GUILESS_MAIN(EditSenderTest)
#include "EditSenderTest.moc"
