// The one road of an edit: each edited field, at its index, is stored and leaves as exactly
// one frame with the expected command, address and count, carrying the image's bytes, and
// nothing leaves while no unit is connected. The expected spans are written out as numbers
// here, so a wrong rule in the span table shows as a wrong frame on the wire. Each change is
// also reported as a step (bytes before and after over the span), and putting a step back
// sends the same frame with the old bytes.

#include <QTest>
#include <QUdpSocket>

#include <memory>
#include <optional>
#include <vector>

#include "core/AppState.h"
#include "link/EditOperation.h"
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

class EditOperationTest final : public QObject {
  Q_OBJECT

 private:
  AppState m_state;
  ParameterImage m_image;
  QUdpSocket m_peer;
  std::unique_ptr<ParamLink> m_link;
  std::unique_ptr<EditOperation> m_edits;

  static std::optional<frame::Request> Parse(const QByteArray& datagram) {
    return frame::ParseRequest(
        {reinterpret_cast<const std::uint8_t*>(datagram.constData()), static_cast<std::size_t>(datagram.size())});
  }

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
    m_link = std::make_unique<ParamLink>(m_state, m_image, ParamLink::Options{m_peer.localPort(), kLongTimeoutMs, kLinkAddress.toString()});
    QString error;
    QVERIFY2(m_link->Open(&error), qPrintable(error));
    m_link->setRemoteAddress(kPeerAddress.toString());
    m_edits = std::make_unique<EditOperation>(m_state, m_image, *m_link);
  }

  void connectedEditLeavesAsItsSpan_data() {
    QTest::addColumn<int>("row");
    for (int i = 0; i < static_cast<int>(std::size(kCases)); ++i) QTest::newRow(kCases[i].name) << i;
  }
  void connectedEditLeavesAsItsSpan() {
    QFETCH(int, row);
    const Case& c = kCases[row];
    m_state.connected = 1;
    // The change touches the span's last byte; the frame must carry the new value.
    const int last = c.address + c.count - 1;
    const std::uint8_t old = m_image.U8(last);
    std::vector<EditStep> steps;
    const auto connection = QObject::connect(m_edits.get(), &EditOperation::applied,
                                             [&steps](const EditStep& step) { steps.push_back(step); });
    m_edits->Apply(c.field, c.index, [last](ParameterImage& image) { image.SetU8(last, image.U8(last) ^ 0x5A); });
    QObject::disconnect(connection);
    QCOMPARE(m_image.U8(last), static_cast<std::uint8_t>(old ^ 0x5A));
    QTRY_VERIFY(m_peer.hasPendingDatagrams());
    const std::vector<QByteArray> frames = Received();
    QCOMPARE(frames.size(), std::size_t{1});
    const auto request = Parse(frames[0]);
    QVERIFY(request.has_value());
    QCOMPARE(static_cast<int>(request->command), static_cast<int>(c.command));
    QCOMPARE(request->address, c.address);
    QCOMPARE(request->count, c.count);
    for (std::uint16_t i = 0; i < c.count; ++i) QCOMPARE(request->data[i], m_image.U8(c.address + i));

    // The step spans exactly the field's span, old bytes before, new bytes after.
    QCOMPARE(steps.size(), std::size_t{1});
    const EditStep& step = steps.front();
    QCOMPARE(step.address, c.address);
    QCOMPARE(step.before.size(), std::size_t{c.count});
    QCOMPARE(step.before.back(), old);
    QCOMPARE(step.after.back(), static_cast<std::uint8_t>(old ^ 0x5A));

    // Taking it back restores the byte and sends the same span with the old bytes.
    m_edits->Restore(step, false);
    QCOMPARE(m_image.U8(last), old);
    QTRY_VERIFY(m_peer.hasPendingDatagrams());
    const std::vector<QByteArray> undone = Received();
    QCOMPARE(undone.size(), std::size_t{1});
    const auto back = Parse(undone[0]);
    QVERIFY(back.has_value());
    QCOMPARE(back->address, c.address);
    QCOMPARE(back->count, c.count);
    QCOMPARE(back->data[c.count - 1], old);
  }

  // A change that reaches past its field's span (a slip in an editor) is still recorded
  // whole, so taking it back restores every byte it changed; an edit that changes nothing
  // still sends its frame but records no step.
  void stepsCoverEveryChangedByteAndNoOpsRecordNothing() {
    m_state.connected = 1;
    std::vector<EditStep> steps;
    const auto connection = QObject::connect(m_edits.get(), &EditOperation::applied,
                                             [&steps](const EditStep& step) { steps.push_back(step); });
    const std::uint8_t far = m_image.U8(300);
    m_edits->Apply(EditedField::geqGain, 14, [](ParameterImage& image) {
      image.SetU8(266, static_cast<std::uint8_t>(image.U8(266) + 1));
      image.SetU8(300, static_cast<std::uint8_t>(image.U8(300) + 1));
    });
    m_edits->Apply(EditedField::muteMask, 0, [](ParameterImage&) {});
    QObject::disconnect(connection);
    QCOMPARE(steps.size(), std::size_t{1});
    QCOMPARE(steps[0].address, std::uint16_t{266});
    QCOMPARE(steps[0].before.size(), std::size_t{35});
    m_edits->Restore(steps[0], false);
    QCOMPARE(m_image.U8(300), far);
    QTRY_VERIFY(m_peer.hasPendingDatagrams());
    const std::vector<QByteArray> frames = Received();
    QCOMPARE(frames.size(), std::size_t{3});  // band, mute (unchanged), band taken back
    QCOMPARE(Parse(frames[1])->address, std::uint16_t{215});
    QCOMPARE(Parse(frames[2])->address, std::uint16_t{266});
  }

  void nothingLeavesWhileDisconnected_data() { connectedEditLeavesAsItsSpan_data(); }
  void nothingLeavesWhileDisconnected() {
    QFETCH(int, row);
    const Case& c = kCases[row];
    m_state.connected = 0;
    const int last = c.address + c.count - 1;
    const std::uint8_t old = m_image.U8(last);
    m_edits->Apply(c.field, c.index, [last](ParameterImage& image) { image.SetU8(last, image.U8(last) ^ 0x11); });
    QCOMPARE(m_image.U8(last), static_cast<std::uint8_t>(old ^ 0x11));  // stored all the same
    // A datagram sent on loopback is queued at the receiver before the send returns.
    QVERIFY(!m_peer.hasPendingDatagrams());
  }
};

QTEST_GUILESS_MAIN(EditOperationTest)
#include "EditOperationTest.moc"
