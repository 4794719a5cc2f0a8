// mzr4700ctl align as an installer runs it: the real binary, measurement files written to a
// temporary folder in a measurement program's text export, and mzr4700-sim on loopback as
// the unit. Every run names 127.0.0.1 as the local address, so nothing leaves the machine.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

#include "align/SyntheticRoom.h"
#include "files/ProjectFile.h"
#include "model/ParameterImage.h"
#include "model/ValueFormat.h"
#include "support/CtlRun.h"
#include "support/SharedSimulator.h"
#include "support/SimProcess.h"

using namespace mzr;
using mzr::test::SharedSimulator;

namespace {

using Run = mzr::test::CtlRun;

Run Ctl(quint16 port, const QStringList& args) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("MZR4700_LOCAL_IP"), QStringLiteral("127.0.0.1"));
  env.insert(QStringLiteral("MZR4700_PORT"), QString::number(port));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  process.setProcessEnvironment(env);
  process.start(QStringLiteral(MZR_CTL_EXECUTABLE),
                QStringList{QStringLiteral("--local"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                            QString::number(port), QStringLiteral("--timeout"), QStringLiteral("3000")} +
                    args);
  return mzr::test::FinishCtl(process, 60000);
}

std::filesystem::path PathOf(const QString& path) { return std::filesystem::path(path.toStdString()); }

// A synthetic hall's positions as a measurement program exports them.
QStringList WriteHall(const QDir& dir, std::uint32_t seed, bool subwoofer) {
  QStringList files;
  int i = 0;
  for (const Measurement& m : SyntheticRoomMeasurements({seed, 3, subwoofer})) {
    const QString path = dir.filePath(QStringLiteral("seat%1-%2.txt").arg(seed).arg(++i));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write("* measurement export\r\nFreq(Hz) SPL(dB) Phase(degrees)\r\n");
    for (std::size_t k = 0; k < m.hz.size(); ++k) {
      file.write(QStringLiteral("%1 %2 0.0\r\n").arg(m.hz[k], 0, 'f', 3).arg(m.db[k], 0, 'f', 3).toLatin1());
    }
    files << path;
  }
  return files;
}

}  // namespace

class CtlAlignTest final : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
  }

  void applySendsOneEditorFramePerChangedFieldThenStores_data();
  void applySendsOneEditorFramePerChangedFieldThenStores();
  void badInputChangesNothingAnywhere_data();
  void badInputChangesNothingAnywhere();
  void aProjectFileInTheReportOut();
  void aSilentUnitIsExitOne();
  void aNarrowedFitRangeAndAReportThatCannotBeWritten();

 private:
  QString Path(const QString& name) const { return m_dir->filePath(name); }

  std::unique_ptr<QTemporaryDir> m_dir;
  SharedSimulator m_oneUnit;
};

void CtlAlignTest::applySendsOneEditorFramePerChangedFieldThenStores_data() {
  QTest::addColumn<int>("channel");
  QTest::newRow("full-range channel 1") << 1;
  QTest::newRow("subwoofer") << 5;
}

void CtlAlignTest::applySendsOneEditorFramePerChangedFieldThenStores() {
  QFETCH(int, channel);
  QString error;
  QVERIFY2(m_oneUnit.Acquire({QStringLiteral("--units"), QStringLiteral("1")}, &error), qPrintable(error));
  const quint16 port = m_oneUnit.port();
  const QStringList seats = WriteHall(QDir(m_dir->path()), 21, channel == 5);
  QVERIFY(!seats.isEmpty());
  const QString before = Path(QStringLiteral("before.KVdat"));
  QCOMPARE(Ctl(port, {QStringLiteral("backup"), QStringLiteral("127.0.0.2"), before}).exitCode, 0);
  QVERIFY(m_oneUnit.WaitForLogLines(1));
  const qsizetype skip = m_oneUnit.LogLines().size();

  const QString out = Path(QStringLiteral("aligned.KVdat"));
  const Run run = Ctl(port, QStringList{QStringLiteral("align"), QStringLiteral("127.0.0.2"), QStringLiteral("--channel"),
                                        QString::number(channel), QStringLiteral("--measurement")} +
                                seats +
                                QStringList{QStringLiteral("--out"), out, QStringLiteral("--apply"), QStringLiteral("--store"),
                                            QStringLiteral("--json")});
  QVERIFY2(run.exitCode == 0 && run.err.isEmpty(), qPrintable(run.err));
  const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
  QVERIFY(json.value(QStringLiteral("rmsAfter")).toDouble() < json.value(QStringLiteral("rmsBefore")).toDouble() / 2);
  const int changed = json.value(QStringLiteral("changedFields")).toInt();
  QVERIFY(changed > 0);
  QCOMPARE(json.value(QStringLiteral("sent")).toInt(), changed);

  ParameterImage was, aligned;
  QVERIFY(LoadProjectFile(PathOf(before), was) == FileResult::Ok);
  QVERIFY(LoadProjectFile(PathOf(out), aligned) == FileResult::Ok);
  // Read, then one write per changed field carrying the saved file's bytes, then the store.
  QVERIFY(m_oneUnit.WaitForLogLines(skip + 1 + changed + 1));
  const QList<QJsonObject> lines = m_oneUnit.LogLines().mid(skip);
  QCOMPARE(lines.size(), 1 + changed + 1);
  QCOMPARE(lines.first().value(QStringLiteral("command")).toInt(), 3);
  QSet<int> written;
  for (const QJsonObject& frame : lines.mid(1, changed)) {
    QCOMPARE(frame.value(QStringLiteral("command")).toInt(), 6);
    QCOMPARE(frame.value(QStringLiteral("outcome")).toString(), QStringLiteral("answered"));
    const int address = frame.value(QStringLiteral("address")).toInt();
    const int count = frame.value(QStringLiteral("count")).toInt();
    if (channel == 5) {
      // A section's frequency and gain (3 bytes) or its whole record with the Q (4 bytes).
      QVERIFY(address == addr::subPeq || address == addr::subPeq + 4);
      QVERIFY(count == 3 || count == 4);
    } else if (address >= addr::geqGain) {
      QCOMPARE(count, 1);
      QCOMPARE((address - addr::geqGain) / kGeqRowStride, channel);
    } else {
      QVERIFY(address == addr::toneControl + 4 * channel || address == addr::toneControl + 4 * channel + 2);
      QCOMPARE(count, 2);
    }
    const auto bytes = aligned.Bytes(static_cast<std::size_t>(address), static_cast<std::size_t>(count));
    QVERIFY(bytes);
    QCOMPARE(frame.value(QStringLiteral("data")).toString(),
             QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes->data()), count).toHex()));
    written.insert(address);
  }
  QCOMPARE(lines.last().value(QStringLiteral("address")).toInt(), 3000);
  // Only what changed was sent: every band left as it was is absent from the frames.
  for (int band = 0; channel != 5 && band < kGeqBands; ++band) {
    QCOMPARE(written.contains(ParameterImage::GeqAddress(channel, band)),
             was.geqGain(channel, band) != aligned.geqGain(channel, band));
  }
  // The unit holds the saved file's settings, and nothing but the channel changed.
  const QString after = Path(QStringLiteral("after.KVdat"));
  QCOMPARE(Ctl(port, {QStringLiteral("backup"), QStringLiteral("127.0.0.2"), after}).exitCode, 0);
  ParameterImage unit;
  QVERIFY(LoadProjectFile(PathOf(after), unit) == FileResult::Ok);
  QVERIFY(unit == aligned);
  ParameterImage rest = aligned;
  for (int band = 0; band < kGeqBands; ++band) rest.setGeqGain(channel % 5, band, was.geqGain(channel % 5, band));
  rest.setToneControl(channel % 5, was.toneControl(channel % 5));
  rest.setSubPeq(0, was.subPeq(0));
  rest.setSubPeq(1, was.subPeq(1));
  QVERIFY(rest == was);
}

void CtlAlignTest::badInputChangesNothingAnywhere_data() {
  QTest::addColumn<QString>("content");  // of the second measurement
  QTest::addColumn<QStringList>("extra");
  QTest::addColumn<int>("exitCode");
  QTest::addColumn<QString>("message");
  const QStringList kApply{QStringLiteral("--apply")};
  QString tail;
  for (int hz = 20; hz <= 20000; hz *= 2) tail += QStringLiteral("%1 80\n").arg(hz);
  QTest::newRow("frequencies not increasing") << QStringLiteral("* x\n100 80\n90 81\n") + tail << kApply << 3
                                              << QStringLiteral("seat2.txt:3: frequencies not increasing");
  QTest::newRow("NaN") << QStringLiteral("10 80\n20 nan\n") + tail << kApply << 3
                       << QStringLiteral("seat2.txt:2: NaN or infinite level");
  QTest::newRow("fewer than 10 points") << QStringLiteral("20 80\n20000 80\n") << kApply << 3
                                        << QStringLiteral("seat2.txt: only 2 points, at least 10 needed");
  QTest::newRow("short of the fit range") << tail << kApply + QStringList{QStringLiteral("--to"), QStringLiteral("20000")} << 3
                                          << QStringLiteral("seat2.txt: covers 20 Hz to 10240 Hz, not the fit range");
  QTest::newRow("no such target file") << tail + QStringLiteral("20000 80\n")
                                       << kApply + QStringList{QStringLiteral("--target"), QStringLiteral("house-curve.txt")} << 3
                                       << QStringLiteral("house-curve.txt: cannot read this file");
  QTest::newRow("store without apply") << QString() << QStringList{QStringLiteral("--store")} << 2
                                       << QStringLiteral("--store stores what --apply sent");
  QTest::newRow("report of another kind") << QString() << kApply + QStringList{QStringLiteral("--report"), QStringLiteral("r.txt")}
                                          << 2 << QStringLiteral("--report needs a file name ending in .pdf or .png");
}

void CtlAlignTest::badInputChangesNothingAnywhere() {
  QFETCH(QString, content);
  QFETCH(QStringList, extra);
  QFETCH(int, exitCode);
  QFETCH(QString, message);
  QString error;
  QVERIFY2(m_oneUnit.Acquire({QStringLiteral("--units"), QStringLiteral("1")}, &error), qPrintable(error));
  const QStringList good = WriteHall(QDir(m_dir->path()), 3, false);
  const QString second = Path(QStringLiteral("seat2.txt"));
  if (content.isEmpty()) {
    QVERIFY(QFile::copy(good[1], second));
  } else {
    QFile file(second);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content.toUtf8());
  }
  QDir::setCurrent(m_dir->path());
  const QString out = Path(QStringLiteral("aligned.KVdat"));
  const Run run = Ctl(m_oneUnit.port(), QStringList{QStringLiteral("align"), QStringLiteral("127.0.0.2"), QStringLiteral("--channel"),
                                                    QStringLiteral("0"), QStringLiteral("--measurement"), good[0],
                                                    QStringLiteral("seat2.txt"), QStringLiteral("--out"), out} +
                                            extra);
  QCOMPARE(run.exitCode, exitCode);
  QVERIFY2(run.err.contains(message) && run.err.count(QLatin1Char('\n')) == 1, qPrintable(run.err));
  QVERIFY(!QFile::exists(out));
  // Not a frame reached the unit, not even a read: a get is the first and only one.
  QCOMPARE(Ctl(m_oneUnit.port(), {QStringLiteral("get"), QStringLiteral("127.0.0.2"), QStringLiteral("fadeTime")}).exitCode, 0);
  QVERIFY(m_oneUnit.WaitForLogLines(1));
  QCOMPARE(m_oneUnit.LogLines().size(), 1);
}

void CtlAlignTest::aProjectFileInTheReportOut() {
  const QString source = Path(QStringLiteral("hall.KVdat"));
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  image.setGeqGain(2, 5, 30);  // measured with a band already moved
  QVERIFY(SaveProjectFile(PathOf(source), image) == FileResult::Ok);
  const QStringList seats = WriteHall(QDir(m_dir->path()), 8, false);
  const QString out = Path(QStringLiteral("out.KVdat"));
  for (const QString& report : {Path(QStringLiteral("hall.pdf")), Path(QStringLiteral("hall.png"))}) {
    const Run run = Ctl(1, QStringList{QStringLiteral("align"), source, QStringLiteral("--channel"), QStringLiteral("2"),
                                       QStringLiteral("--target"), QStringLiteral("small-room"), QStringLiteral("--measurement")} +
                               seats + QStringList{QStringLiteral("--out"), out, QStringLiteral("--report"), report});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QLatin1String("target small-room, 40 Hz to 16000 Hz, 3 measurement(s)")), qPrintable(run.out));
    // The band the hall was measured with appears as "was 3.0dB".
    const QStringList lines = run.out.split(QLatin1Char('\n'));
    const auto band5 = std::find_if(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith(QLatin1String("125 ")); });
    QVERIFY2(band5 != lines.end() && band5->contains(QLatin1String("3.0dB")), qPrintable(run.out));
  }
  ParameterImage aligned;
  QVERIFY(LoadProjectFile(PathOf(out), aligned) == FileResult::Ok);
  QVERIFY(aligned.geqGain(2, 5) != 30 || aligned.geqGain(2, 6) != 0);
  QFile pdf(Path(QStringLiteral("hall.pdf")));
  QVERIFY(pdf.open(QIODevice::ReadOnly));
  QVERIFY(pdf.read(5) == "%PDF-");
  const QImage png(Path(QStringLiteral("hall.png")));
  QCOMPARE(png.size(), QSize(1240, 1754 * 6));  // every channel of the unit, one page each
}

void CtlAlignTest::aSilentUnitIsExitOne() {
  mzr::test::SimProcess sim;
  const quint16 port = mzr::test::FreeUdpPort();
  QString error;
  QVERIFY2(sim.Start({QStringLiteral("--port"), QString::number(port), QStringLiteral("--silent")}, &error), qPrintable(error));
  const QStringList seats = WriteHall(QDir(m_dir->path()), 4, false);
  const Run run = Ctl(port, QStringList{QStringLiteral("align"), QStringLiteral("127.0.0.2"), QStringLiteral("--channel"), QStringLiteral("0"),
                                        QStringLiteral("--measurement")} +
                                seats);
  QCOMPARE(run.exitCode, 1);
}

void CtlAlignTest::aNarrowedFitRangeAndAReportThatCannotBeWritten() {
  // A room with a trough at 80 Hz and one at 2 kHz, aligned from 250 Hz: the bands more than
  // an octave below the range stay where they were, the trough inside is treated.
  const QString seat = Path(QStringLiteral("seat.txt"));
  {
    QFile file(seat);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("* two troughs\nFreq(Hz) SPL(dB)\n");
    for (double hz = 20.0; hz < 20500.0; hz *= std::pow(2.0, 1.0 / 24.0)) {
      const double db = 80.0 - 6.0 * std::exp(-std::pow(std::log2(hz / 80.0) / 0.6, 2)) -
                        4.0 * std::exp(-std::pow(std::log2(hz / 2000.0) / 0.5, 2));
      file.write(QStringLiteral("%1 %2\n").arg(hz, 0, 'f', 3).arg(db, 0, 'f', 3).toLatin1());
    }
  }
  const QString source = Path(QStringLiteral("hall.KVdat"));
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  QVERIFY(SaveProjectFile(PathOf(source), image) == FileResult::Ok);
  const QStringList common{QStringLiteral("align"), source, QStringLiteral("--channel"), QStringLiteral("0"),
                           QStringLiteral("--target"), QStringLiteral("flat"), QStringLiteral("--measurement"), seat,
                           QStringLiteral("--from"), QStringLiteral("250")};
  const Run run = Ctl(1, common + QStringList{QStringLiteral("--json")});
  QVERIFY2(run.exitCode == 0, qPrintable(run.err));
  const QJsonObject json = QJsonDocument::fromJson(run.out.toUtf8()).object();
  QCOMPARE(json.value(QStringLiteral("fromHz")).toDouble(), 250.0);
  const QJsonArray bands = json.value(QStringLiteral("bands")).toArray();
  for (int band = 0; band <= 4; ++band) {
    QVERIFY2(std::abs(bands[band].toObject().value(QStringLiteral("tenths")).toInt()) <= 5, qPrintable(QString::number(band)));
    QCOMPARE(bands[band].toObject().value(QStringLiteral("inRange")).toBool(), false);
  }
  QVERIFY(json.value(QStringLiteral("rmsAfter")).toDouble() < json.value(QStringLiteral("rmsBefore")).toDouble() / 2);

  // A report into a folder that does not exist: neither it nor --out is written.
  const QString out = Path(QStringLiteral("aligned.KVdat"));
  const Run failed = Ctl(1, common + QStringList{QStringLiteral("--out"), out, QStringLiteral("--report"),
                                                 Path(QStringLiteral("no/such/folder/hall.pdf"))});
  QCOMPARE(failed.exitCode, 3);
  QVERIFY2(failed.err.contains(QLatin1String("cannot write the report")), qPrintable(failed.err));
  QVERIFY(!QFile::exists(out));
  QVERIFY(!QFile::exists(out + QStringLiteral(".part")));
}

QTEST_GUILESS_MAIN(CtlAlignTest)
#include "CtlAlignTest.moc"
