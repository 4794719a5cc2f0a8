// The file and pipe source: samples arrive whole, clipping is counted, a pipe's writer that
// stalls is a drop-out, and sources that cannot be opened say why.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "measure/FileCapture.h"

using namespace mzr;

namespace {

std::vector<float> Ramp(int count, float clipEvery) {
  std::vector<float> samples(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) samples[static_cast<std::size_t>(i)] = (i % int(clipEvery) == 0) ? 1.0f : 0.001f * float(i % 100);
  return samples;
}

}  // namespace

class FileCaptureTest final : public QObject {
  Q_OBJECT

 private slots:
  void replaysAWholeFileAndCountsClipping() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("take.f32"));
    const auto samples = Ramp(100001, 1000);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(samples.data()), qint64(samples.size() * sizeof(float)));
    file.write("\0\0", 2);  // a cut-off sample at the end is left out
    file.close();

    FileCapture capture(path);
    QList<float> got;
    connect(&capture, &AudioCapture::samplesArrived, this, [&](const QList<float>& s) { got += s; });
    QSignalSpy ended(&capture, &AudioCapture::ended);
    QCOMPARE(capture.Start(), std::nullopt);
    QVERIFY(ended.wait(5000));
    QCOMPARE(got.size(), qsizetype(samples.size()));
    QVERIFY(std::memcmp(got.constData(), samples.data(), samples.size() * sizeof(float)) == 0);
    QCOMPARE(capture.stats().clippedSamples, qint64(101));
    QCOMPARE(capture.stats().peak, 1.0f);
    QCOMPARE(capture.stats().dropOuts, 0);
  }

  void aPipeWhoseWriterStallsShowsADropOut() {
    QTemporaryDir dir;
    const QByteArray path = dir.filePath(QStringLiteral("mic")).toLocal8Bit();
    QVERIFY(::mkfifo(path.constData(), 0600) == 0);
    FileCapture capture(QString::fromLocal8Bit(path));
    qint64 frames = 0;
    connect(&capture, &AudioCapture::samplesArrived, this, [&](const QList<float>& s) { frames += s.size(); });
    QSignalSpy ended(&capture, &AudioCapture::ended);
    QCOMPARE(capture.Start(), std::nullopt);
    // The writer plays 0.5 s in real time, stalls for 0.6 s, plays 0.5 s more and closes.
    std::thread writer([&path] {
      const int fd = ::open(path.constData(), O_WRONLY);
      const std::vector<float> block(480, 0.25f);
      // Paced on the clock, not by sleeps that add up, so only the stall is late.
      auto due = std::chrono::steady_clock::now();
      for (int i = 0; i < 100; ++i) {
        if (i == 50) due += std::chrono::milliseconds(600);
        std::this_thread::sleep_until(due);
        (void)!::write(fd, block.data(), block.size() * sizeof(float));
        due += std::chrono::milliseconds(10);
      }
      ::close(fd);
    });
    const bool gotEnd = ended.wait(10000);
    writer.join();
    QVERIFY(gotEnd);
    QCOMPARE(frames, qint64(48000));
    QCOMPARE(capture.stats().dropOuts, 1);
    QVERIFY(capture.stats().missingFrames > AudioCapture::kDropOutSlackFrames);
  }

  void aSourceThatCannotBeOpenedOrStaysSilentIsReported() {
    QTemporaryDir dir;
    FileCapture missing(dir.filePath(QStringLiteral("nothing.f32")));
    const auto why = missing.Start();
    QVERIFY(why.has_value());
    QVERIFY2(why->contains(QStringLiteral("nothing.f32")), qPrintable(*why));

    const QByteArray path = dir.filePath(QStringLiteral("quiet")).toLocal8Bit();
    QVERIFY(::mkfifo(path.constData(), 0600) == 0);
    FileCapture quiet(QString::fromLocal8Bit(path), 300);
    QSignalSpy failed(&quiet, &AudioCapture::failed);
    QCOMPARE(quiet.Start(), std::nullopt);
    QVERIFY(failed.wait(5000));
    QVERIFY(failed.first().first().toString().contains(QStringLiteral("nothing arrived")));
  }
};

QTEST_GUILESS_MAIN(FileCaptureTest)
#include "FileCaptureTest.moc"
