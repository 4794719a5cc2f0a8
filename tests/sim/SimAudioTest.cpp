// mzr4700-sim --audio-out as a microphone hears it: read through a named pipe by the
// measurement's own pipe source while a test peer switches the first unit's generator and
// equalizer over UDP; the analyser finds the seat's room, the equalizer's change, and the
// generator's switching in the simulator's stderr.

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <cmath>
#include <span>
#include <variant>
#include <vector>

#include "RoomSound.h"
#include "link/FrameCodec.h"
#include "measure/AnalyserBands.h"
#include "measure/FileCapture.h"
#include "measure/RecordAnalysis.h"
#include "model/ParameterImage.h"
#include "support/SimProcess.h"
#include "support/UdpPeer.h"

using namespace mzr;
using mzr::test::SimProcess;
using mzr::test::UdpPeer;

namespace {

const QHostAddress kUnit(QStringLiteral("127.0.0.2"));

}  // namespace

class SimAudioTest final : public QObject {
  Q_OBJECT

 private:
  bool Write(int address, std::vector<std::uint8_t> bytes) {
    const frame::View view(bytes.data(), bytes.size());
    if (!m_peer.Send(frame::BuildWrite(frame::Command::Write, static_cast<std::uint16_t>(address), view), kUnit, m_port)) {
      return false;
    }
    const auto ack = m_peer.Receive();
    return ack && frame::IsAcknowledgement(ack->bytes(), static_cast<std::uint8_t>(frame::Command::Write));
  }

  // Lets settleSamples pass, then keeps the next count samples.
  std::vector<float> Listen(std::size_t settleSamples, std::size_t count) {
    m_heard.clear();
    const std::size_t want = settleSamples + count;
    if (!QTest::qWaitFor([&] { return m_heard.size() >= want; }, 30000)) return {};
    return std::vector<float>(m_heard.begin() + static_cast<std::ptrdiff_t>(settleSamples),
                              m_heard.begin() + static_cast<std::ptrdiff_t>(want));
  }

  UdpPeer m_peer;
  quint16 m_port = 0;
  std::vector<float> m_heard;

 private slots:
  void theRoomTheEqualizerAndTheGeneratorAreHeard() {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("mic"));
    QVERIFY(::mkfifo(fifo.toLocal8Bit().constData(), 0600) == 0);
    m_port = test::FreeUdpPort();
    SimProcess sim;
    QString error;
    QVERIFY2(sim.Start({QStringLiteral("--port"), QString::number(m_port), QStringLiteral("--audio-out"), fifo,
                        QStringLiteral("--room"), QStringLiteral("3"), QStringLiteral("--seat"), QStringLiteral("2")},
                       &error),
             qPrintable(error));
    FileCapture capture(fifo);
    connect(&capture, &AudioCapture::samplesArrived, this,
            [this](const QList<float>& samples) { m_heard.insert(m_heard.end(), samples.begin(), samples.end()); });
    QCOMPARE(capture.Start(), std::nullopt);

    // Pink noise on output 1 (left).
    QVERIFY(Write(addr::testSignalMask, {0x01, 0x00}));
    QVERIFY(sim.WaitForErrorOutput(QStringLiteral("generator on: pink noise on output 1")));
    const std::size_t record = 4 * sim::kRoomPeriod;
    const auto flatSamples = Listen(24000, record);
    QCOMPARE(flatSamples.size(), record);
    const auto flat = std::get<RecordSpectrum>(AnalyseRecord(flatSamples));
    const sim::RoomSound room(3, 2);
    const auto& fine = TwentyFourthOctaveBands();
    for (std::size_t b = 0; b < fine.size(); ++b) {
      if (fine[b].hz < 30.0 || fine[b].hz > 16000.0) continue;
      const double expected = room.RoomDb(0, fine[b].hz) + sim::kRoomToFullScaleDb;
      QVERIFY2(std::abs(flat.fineDb[b] - expected) < 0.5,
               qPrintable(QStringLiteral("%1 Hz: %2 dB, the room %3 dB").arg(fine[b].hz).arg(flat.fineDb[b]).arg(expected)));
    }

    // +6 dB at 1 kHz on the left channel's equalizer.
    QVERIFY(Write(ParameterImage::GeqAddress(0, 14), {60}));
    const auto boosted = std::get<RecordSpectrum>(AnalyseRecord(Listen(24000, record)));
    const auto& thirds = ThirdOctaveBands();
    for (std::size_t b = 0; b < thirds.size(); ++b) {
      const double change = boosted.thirdDb[b] - flat.thirdDb[b];
      if (thirds[b].nominal == 1000.0) QVERIFY2(change > 4.5 && change < 6.1, qPrintable(QString::number(change)));
      if (thirds[b].nominal <= 250.0 || thirds[b].nominal >= 8000.0) QVERIFY2(std::abs(change) < 0.3, qPrintable(QString::number(thirds[b].nominal)));
    }

    // Off: only the faint background is left.
    QVERIFY(Write(addr::testSignalMask, {0x00, 0x00}));
    QVERIFY(sim.WaitForErrorOutput(QStringLiteral("generator off")));
    const auto quiet = Listen(24000, 24000);
    QCOMPARE(quiet.size(), std::size_t(24000));
    float peak = 0.0f;
    for (const float s : quiet) peak = std::max(peak, std::abs(s));
    QVERIFY2(peak < 0.001f, qPrintable(QString::number(peak)));
    QCOMPARE(capture.stats().clippedSamples, qint64(0));
  }
};

QTEST_GUILESS_MAIN(SimAudioTest)
#include "SimAudioTest.moc"
