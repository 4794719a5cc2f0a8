// The sound-card capture on a real sound server: a private PipeWire with a virtual
// microphone; the simulator's room (--audio-out -) is played into the virtual sink by
// pw-cat and captured from the virtual source through QAudioSource. The analyser must find
// the room's shape. Where the audio stack is missing the test is skipped, except in CI
// (CI=true), where that fails the run.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <variant>
#include <vector>

#include "RoomSound.h"
#include "link/FrameCodec.h"
#include "measure/AnalyserBands.h"
#include "measure/RecordAnalysis.h"
#include "measure/SoundCardCapture.h"
#include "model/ParameterImage.h"
#include "support/PipeWireSession.h"
#include "support/SimProcess.h"
#include "support/UdpPeer.h"

using namespace mzr;
using mzr::test::PipeWireSession;

class PipeWireCaptureTest final : public QObject {
  Q_OBJECT

 private:
  PipeWireSession m_session;

  // The simulator's room for room seed `room` played into the virtual sink; true once the
  // simulator is ready.
  bool PlayRoom(QProcess& sim, QProcess& player, quint16 port, int room) {
    player.setProcessEnvironment(m_session.environment());
    sim.setProcessEnvironment(m_session.environment());
    sim.setStandardOutputProcess(&player);
    player.start(QStringLiteral("timeout"),
                 {QStringLiteral("120"), QStringLiteral("pw-cat"), QStringLiteral("--playback"), QStringLiteral("--target"),
                  QString::fromLatin1(PipeWireSession::kSinkName), QStringLiteral("--format"), QStringLiteral("f32"),
                  QStringLiteral("--rate"), QStringLiteral("48000"), QStringLiteral("--channels"), QStringLiteral("1"),
                  QStringLiteral("-")});
    sim.start(test::SimProcess::ExecutablePath(), {QStringLiteral("--port"), QString::number(port), QStringLiteral("--audio-out"),
                                                   QStringLiteral("-"), QStringLiteral("--room"), QString::number(room)});
    QString simErr;
    return QTest::qWaitFor([&] {
      simErr += QString::fromUtf8(sim.readAllStandardError());
      return simErr.contains(QStringLiteral("ready"));
    }, 15000);
  }

  static void StopRoom(QProcess& sim, QProcess& player) {
    sim.terminate();
    sim.waitForFinished(5000);
    player.waitForFinished(5000);
  }

 private slots:
  void initTestCase() {
    QString error;
    if (!m_session.Start(&error)) {
      if (qEnvironmentVariable("CI") == QLatin1String("true")) QFAIL(qPrintable(error));
      QSKIP(qPrintable(error));
    }
    // Before Qt Multimedia first talks to a sound server.
    m_session.ApplyToThisProcess();
  }

  void theVirtualMicrophoneIsListedByName() {
    bool found = false;
    for (const CaptureDevice& device : SoundCardCapture::Devices()) {
      if (device.id == QLatin1String(PipeWireSession::kSourceName)) {
        found = true;
        QCOMPARE(device.description, QString::fromLatin1(PipeWireSession::kSourceDescription));
      }
    }
    QVERIFY(found);
  }

  void theSimulatorsRoomIsCapturedThroughTheSoundServer() {
    const quint16 port = test::FreeUdpPort();
    QProcess player;
    QProcess sim;
    QVERIFY(PlayRoom(sim, player, port, 6));

    test::UdpPeer peer;
    const std::uint8_t on[2] = {0x01, 0x00};
    QVERIFY(peer.Send(frame::BuildWrite(frame::Command::Write, addr::testSignalMask, frame::View(on, 2)),
                      QHostAddress(QStringLiteral("127.0.0.2")), port));
    QVERIFY(peer.Receive().has_value());

    SoundCardCapture capture(QString::fromLatin1(PipeWireSession::kSourceName));
    std::vector<float> heard;
    connect(&capture, &AudioCapture::samplesArrived, this,
            [&](const QList<float>& samples) { heard.insert(heard.end(), samples.begin(), samples.end()); });
    QCOMPARE(capture.Start(), std::nullopt);
    // The room's noise repeats every kRoomPeriod samples, so a stretch that the server
    // carried without a gap repeats too (but for the faint background). A machine loaded
    // by other work can now and then leave a gap (a late block): the record is the first
    // stretch of four whole repeats without one, and the gaps seen are reported.
    const std::size_t settle = 48000;
    const std::size_t period = sim::kRoomPeriod;
    const std::size_t record = 4 * period;
    std::size_t scanned = settle;
    std::size_t cleanFrom = settle;
    int gaps = 0;
    bool inGap = false;
    const auto clean = [&] {
      for (; scanned + period < heard.size(); ++scanned) {
        const bool repeats = std::abs(heard[scanned] - heard[scanned + period]) < 0.002f;
        if (!repeats) {
          if (!inGap) ++gaps;
          cleanFrom = scanned + 1;
        }
        inGap = !repeats;
        if (scanned + 1 - cleanFrom >= record) return true;
      }
      return false;
    };
    QVERIFY2(QTest::qWaitFor(clean, 60000),
             qPrintable(QStringLiteral("%1 samples arrived, %2 gaps").arg(heard.size()).arg(gaps)));
    capture.Stop();
    StopRoom(sim, player);

    const auto result = AnalyseRecord(std::span<const float>(heard).subspan(cleanFrom, record));
    QVERIFY(std::holds_alternative<RecordSpectrum>(result));
    const RecordSpectrum& spectrum = std::get<RecordSpectrum>(result);
    // The shape, with whatever level the server's volumes leave: differences from the room
    // with their mean removed.
    const sim::RoomSound room(6, 1);
    const auto& fine = TwentyFourthOctaveBands();
    std::vector<double> diffs;
    std::vector<double> hz;
    for (std::size_t b = 0; b < fine.size(); ++b) {
      if (fine[b].hz < 40.0 || fine[b].hz > 16000.0) continue;
      diffs.push_back(spectrum.fineDb[b] - (room.RoomDb(0, fine[b].hz) + sim::kRoomToFullScaleDb));
      hz.push_back(fine[b].hz);
    }
    double mean = 0.0;
    for (const double d : diffs) mean += d / static_cast<double>(diffs.size());
    double worst = 0.0;
    for (std::size_t i = 0; i < diffs.size(); ++i) {
      worst = std::max(worst, std::abs(diffs[i] - mean));
      QVERIFY2(std::abs(diffs[i] - mean) < 0.5, qPrintable(QStringLiteral("%1 Hz: %2 dB off").arg(hz[i]).arg(diffs[i] - mean)));
    }
    qInfo("through PipeWire: level offset %.2f dB, worst shape difference %.3f dB, %d drop-out(s), %d gap(s) passed over",
          mean, worst, capture.stats().dropOuts, gaps);
    QCOMPARE(capture.stats().clippedSamples, qint64(0));
  }

  // mzr4700ctl lists the virtual microphone and measures a seat through it by its name.
  void theCompanionMeasuresThroughTheVirtualMicrophone() {
    QProcessEnvironment env = m_session.environment();
    env.insert(QStringLiteral("MZR4700_LOCAL_IP"), QStringLiteral("127.0.0.1"));
    QProcess list;
    list.setProcessEnvironment(env);
    list.start(QStringLiteral(MZR_CTL_EXECUTABLE), {QStringLiteral("measure"), QStringLiteral("--list-devices")});
    QVERIFY(list.waitForFinished(30000));
    const QString devices = QString::fromUtf8(list.readAllStandardOutput());
    QVERIFY2(devices.contains(QStringLiteral("%1\t%2").arg(QString::fromLatin1(PipeWireSession::kSourceName),
                                                            QString::fromLatin1(PipeWireSession::kSourceDescription))),
             qPrintable(devices));

    const quint16 port = test::FreeUdpPort();
    QProcess player;
    QProcess sim;
    QVERIFY(PlayRoom(sim, player, port, 6));
    QTemporaryDir dir;
    QProcess ctl;
    ctl.setProcessEnvironment(env);
    ctl.start(QStringLiteral(MZR_CTL_EXECUTABLE),
              {QStringLiteral("--port"), QString::number(port), QStringLiteral("measure"), QStringLiteral("127.0.0.2"),
               QStringLiteral("--channel"), QStringLiteral("0"), QStringLiteral("--device"),
               QString::fromLatin1(PipeWireSession::kSourceDescription), QStringLiteral("--seconds"), QStringLiteral("3"),
               QStringLiteral("--out"), dir.filePath(QStringLiteral("seat.txt")), QStringLiteral("--json")});
    QVERIFY(ctl.waitForFinished(60000));
    const QString err = QString::fromUtf8(ctl.readAllStandardError());
    QVERIFY2(ctl.exitCode() == 0, qPrintable(err));
    StopRoom(sim, player);
    const QJsonObject json = QJsonDocument::fromJson(ctl.readAllStandardOutput()).object();
    QCOMPARE(json.value(QStringLiteral("device")).toString(), QString::fromLatin1(PipeWireSession::kSourceDescription));
    const QJsonArray bands = json.value(QStringLiteral("bands")).toArray();
    QCOMPARE(bands.size(), 31);
    const sim::RoomSound room(6, 1);
    const double db1k = bands.at(17).toObject().value(QStringLiteral("db")).toDouble();
    QVERIFY2(std::abs(db1k - (room.RoomDb(0, 1000.0) + sim::kRoomToFullScaleDb)) < 0.5, qPrintable(QString::number(db1k)));
    for (const QJsonValue snr : json.value(QStringLiteral("signalToNoise")).toArray()) {
      QVERIFY(snr.toObject().value(QStringLiteral("db")).toDouble() > 40.0);
    }
  }

  void cleanupTestCase() { m_session.Stop(); }
};

QTEST_GUILESS_MAIN(PipeWireCaptureTest)
#include "PipeWireCaptureTest.moc"
