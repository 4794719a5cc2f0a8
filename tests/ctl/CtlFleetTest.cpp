// audit, get and set of mzr4700ctl as a cinema chain's installer scripts them: the real
// binary against mzr4700-sim on loopback, on a free port, with real files in a temporary
// folder. Every run names 127.0.0.1 as the local address, so nothing leaves the machine.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "files/ProjectFile.h"
#include "model/ParameterImage.h"
#include "support/CtlRun.h"
#include "support/SharedSimulator.h"
#include "support/SimProcess.h"

using namespace mzr;
using mzr::test::SharedSimulator;
using mzr::test::SimProcess;

namespace {

using Run = mzr::test::CtlRun;

const QString kSearchMs = QStringLiteral("2000");  // long enough for a slow, busy machine

QStringList Globals(quint16 port) {
  return {QStringLiteral("--local"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(port),
          QStringLiteral("--timeout"), QStringLiteral("10000")};
}

QProcessEnvironment LoopbackEnvironment(quint16 port) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("MZR4700_LOCAL_IP"), QStringLiteral("127.0.0.1"));
  env.insert(QStringLiteral("MZR4700_PORT"), QString::number(port));
  return env;
}

Run Ctl(quint16 port, const QStringList& args) {
  QProcess process;
  process.setProcessEnvironment(LoopbackEnvironment(port));
  process.start(QStringLiteral(MZR_CTL_EXECUTABLE), Globals(port) + args);
  return mzr::test::FinishCtl(process, 60000);
}

QStringList SimArgs(quint16 port, int units, const QStringList& more = {}) {
  return QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--units"),
                     QString::number(units)} +
         more;
}

std::filesystem::path PathOf(const QString& path) { return std::filesystem::path(path.toStdString()); }

std::optional<ParameterImage> Load(const QString& path) {
  ParameterImage image;
  if (LoadProjectFile(PathOf(path), image) != FileResult::Ok) return std::nullopt;
  return image;
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The audit line of the unit or file that the text names.
QString LineWith(const Run& run, const QString& text) {
  for (const QString& line : run.outLines()) {
    if (line.contains(text)) return line;
  }
  return {};
}

}  // namespace

class CtlFleetTest final : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_port = test::FreeUdpPort();
    QVERIFY(m_port != 0);
  }

  void auditFindsTheChangedHallAndTheStrays();
  void setSendsTheEditorsFrame_data();
  void setSendsTheEditorsFrame();
  void setStoreSurvivesARestartOfTheUnit();
  void refusedEditsSendNothing_data();
  void refusedEditsSendNothing();
  void setOnAFileChangesOnlyTheNamedBytes();
  void progressOnlyOnATerminal();

 private:
  QString Path(const QString& name) const { return m_dir->filePath(name); }

  std::unique_ptr<QTemporaryDir> m_dir;
  quint16 m_port = 0;
  // One unit for every row of the set and refusal tables, reset before each.
  SharedSimulator m_oneUnit;
};

void CtlFleetTest::auditFindsTheChangedHallAndTheStrays() {
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 3), &error), qPrintable(error));
  const QString approved = Path(QStringLiteral("approved"));
  QCOMPARE(Ctl(m_port, {QStringLiteral("backup"), QStringLiteral("--all"), approved, QStringLiteral("--time"), kSearchMs})
               .exitCode,
           0);

  // Straight after the backup every hall is in step.
  const Run inStep = Ctl(m_port, {QStringLiteral("audit"), approved, QStringLiteral("--time"), kSearchMs});
  QCOMPARE(inStep.exitCode, 0);
  QVERIFY2(inStep.err.isEmpty(), qPrintable(inStep.err));
  QCOMPARE(inStep.outLines().size(), 3);
  for (const QString& line : inStep.outLines()) QVERIFY2(line.endsWith(QLatin1String(" in step")), qPrintable(line));

  // Someone changes one output level of the second hall.
  QCOMPARE(Ctl(m_port, {QStringLiteral("set"), QStringLiteral("127.0.0.3"), QStringLiteral("outputLevel[1]=-2.0dB")})
               .exitCode,
           0);
  const Run changed = Ctl(m_port, {QStringLiteral("audit"), approved, QStringLiteral("--time"), kSearchMs});
  QCOMPARE(changed.exitCode, 1);
  QVERIFY2(LineWith(changed, QStringLiteral("127.0.0.3")).endsWith(QLatin1String("1 field differs: outputLevel[1]")),
           qPrintable(changed.out));
  QVERIFY2(LineWith(changed, QStringLiteral("127.0.0.2")).endsWith(QLatin1String(" in step")), qPrintable(changed.out));
  QVERIFY2(LineWith(changed, QStringLiteral("127.0.0.4")).endsWith(QLatin1String(" in step")), qPrintable(changed.out));

  // The fourth hall's file is renamed (any name matches by the MAC inside), a file of a hall
  // whose unit is switched off joins the folder, and the third hall's file goes missing.
  const QString third = QDir(approved).filePath(QStringLiteral("Hall_3_3_127.0.0.4.KVdat"));
  QVERIFY(QFile::remove(third));
  const QString first = QDir(approved).filePath(QStringLiteral("Hall_1_1_127.0.0.2.KVdat"));
  QVERIFY(QFile::rename(first, QDir(approved).filePath(QStringLiteral("screen one"))));
  auto absent = Load(QDir(approved).filePath(QStringLiteral("Hall_2_2_127.0.0.3.KVdat")));
  QVERIFY(absent);
  absent->setMacAddress(Mac{0x4C, 0x32, 0x7F, 0x00, 0x00, 0x09});
  QVERIFY(SaveProjectFile(PathOf(QDir(approved).filePath(QStringLiteral("hall9.kvdat"))), *absent) == FileResult::Ok);

  const Run strays = Ctl(m_port, {QStringLiteral("audit"), approved, QStringLiteral("--time"), kSearchMs});
  QCOMPARE(strays.exitCode, 1);
  QCOMPARE(strays.outLines().size(), 4);
  QVERIFY2(LineWith(strays, QStringLiteral("screen one")).endsWith(QLatin1String(" in step")), qPrintable(strays.out));
  QVERIFY2(LineWith(strays, QStringLiteral("127.0.0.4")).endsWith(QLatin1String("no file for this unit")),
           qPrintable(strays.out));
  const QString stray = LineWith(strays, QStringLiteral("hall9.kvdat"));
  QVERIFY2(stray.endsWith(QLatin1String("file with no unit answering")) && stray.contains(QLatin1String("4C-32-7F-00-00-09")),
           qPrintable(strays.out));

  // The same as JSON, one object per line with the keys the README documents.
  const Run json =
      Ctl(m_port, {QStringLiteral("audit"), approved, QStringLiteral("--json"), QStringLiteral("--time"), kSearchMs});
  QCOMPARE(json.exitCode, 1);
  const QJsonArray objects = QJsonDocument::fromJson(json.out.toUtf8()).array();
  QCOMPARE(objects.size(), 4);
  const QSet<QString> keys{QStringLiteral("ip"),     QStringLiteral("mac"),    QStringLiteral("hall"),
                           QStringLiteral("screen"), QStringLiteral("file"),   QStringLiteral("status"),
                           QStringLiteral("fields"), QStringLiteral("text")};
  QMap<QString, QJsonObject> byMac;
  for (const QJsonValue& value : objects) {
    const QJsonObject object = value.toObject();
    const QStringList objectKeys = object.keys();
    QCOMPARE(QSet<QString>(objectKeys.begin(), objectKeys.end()), keys);
    byMac.insert(object.value(QStringLiteral("mac")).toString(), object);
  }
  const QJsonObject differs = byMac.value(QStringLiteral("4C-32-7F-00-00-03"));
  QCOMPARE(differs.value(QStringLiteral("status")).toString(), QStringLiteral("differs"));
  QCOMPARE(differs.value(QStringLiteral("fields")).toArray(), QJsonArray{QStringLiteral("outputLevel[1]")});
  QCOMPARE(differs.value(QStringLiteral("hall")).toString(), QStringLiteral("Hall 2"));
  QCOMPARE(byMac.value(QStringLiteral("4C-32-7F-00-00-02")).value(QStringLiteral("file")).toString(),
           QStringLiteral("screen one"));
  QCOMPARE(byMac.value(QStringLiteral("4C-32-7F-00-00-04")).value(QStringLiteral("status")).toString(),
           QStringLiteral("no-file"));
  QVERIFY(byMac.value(QStringLiteral("4C-32-7F-00-00-04")).value(QStringLiteral("file")).isNull());
  const QJsonObject noUnit = byMac.value(QStringLiteral("4C-32-7F-00-00-09"));
  QCOMPARE(noUnit.value(QStringLiteral("status")).toString(), QStringLiteral("no-unit"));
  QVERIFY(noUnit.value(QStringLiteral("ip")).isNull());
}

// One edit per row on a unit at its start-up image (the New Project defaults); the frame
// the program's editor sends for the field: command, address, count and data.
void CtlFleetTest::setSendsTheEditorsFrame_data() {
  QTest::addColumn<QString>("assignment");
  QTest::addColumn<int>("command");
  QTest::addColumn<int>("address");
  QTest::addColumn<int>("count");
  QTest::addColumn<QString>("data");
  QTest::addColumn<QString>("shown");  // what get shows afterwards
  QTest::newRow("output level as dB") << "outputLevel[2]=-3.0dB" << 6 << 200 << 1 << "26" << "-3.0dB";
  QTest::newRow("output delay as stored") << "outputDelay[5]=12" << 6 << 211 << 1 << "0C" << "12mS";
  QTest::newRow("low-pass slope with its corner") << "subLpfSlope=48dB/OCT" << 6 << 196 << 2 << "0304" << "48dB/OCT";
  QTest::newRow("low-pass corner with its slope") << "subLpfFreq=63Hz" << 6 << 196 << 2 << "0002" << "63Hz";
  QTest::newRow("section freq with its gain") << "subPeq[1].freq=40Hz" << 6 << 220 << 3 << "280000" << "40Hz";
  QTest::newRow("section Q, the whole record") << "subPeq[0].qIndex=6" << 6 << 216 << 4 << "3C000006" << "2.0";
  QTest::newRow("treble corner with its gain") << "toneControl[1].trebleFreq=4KHz" << 6 << 230 << 2 << "0006"
                                               << "4KHz";
  QTest::newRow("bass gain with its corner") << "toneControl[4].bassGain=-45" << 6 << 240 << 2 << "D303" << "-4.5dB";
  QTest::newRow("band of row 1") << "geqGain[1][14]=+2.5dB" << 6 << 294 << 1 << "19" << "2.5dB";
  QTest::newRow("input with faders 0..3") << "inputSource=MIC" << 6 << 822 << 5 << "0446464646" << "MIC";
  QTest::newRow("fader, the whole table") << "faderLevel[1]=5.5" << 6 << 823 << 8 << "4637464646464646" << "5.5";
  QTest::newRow("preset, inputs 0..4") << "presetLevel[0]=10.0" << 6 << 186 << 5 << "6450505050" << "10.0";
  QTest::newRow("monitor, the whole table") << "monitorLevel[0]=-10dB" << 6 << 489 << 12
                                            << "3C0000000000000000000000" << "-10dB";
  QTest::newRow("mute mask as shown") << "muteMask=00000101" << 6 << 215 << 1 << "05" << "00000101";
  QTest::newRow("test signal with its mask") << "testSignalType=1KHz" << 6 << 831 << 2 << "0003" << "1KHz";
  QTest::newRow("master flags") << "masterFlags=3" << 6 << 835 << 1 << "03" << "00000011";
  // Block writes; the serial number's slot keeps the old bytes behind the new terminator.
  QTest::newRow("serial number") << "serialNumber=SN-0042" << 16 << 80 << 16
                                 << "534E2D303034320030303031" "00000000" << "SN-0042";
  QTest::newRow("fade time") << "fadeTime=Fade Time 3S" << 16 << 833 << 1 << "02" << "Fade Time 3S";
  QTest::newRow("power-on input") << "powerOnSource=Digital COAX 1" << 16 << 834 << 1 << "02" << "Digital COAX 1";
}

void CtlFleetTest::setSendsTheEditorsFrame() {
  QFETCH(QString, assignment);
  SharedSimulator& sim = m_oneUnit;
  QString error;
  QVERIFY2(sim.Acquire({QStringLiteral("--units"), QStringLiteral("1")}, &error), qPrintable(error));
  m_port = sim.port();

  const Run set = Ctl(m_port, {QStringLiteral("set"), QStringLiteral("127.0.0.2"), assignment});
  QVERIFY2(set.exitCode == 0 && set.err.isEmpty(), qPrintable(set.err));
  // The unit's image is read first, then exactly one frame is written.
  QVERIFY(sim.WaitForLogLines(2));
  const QList<QJsonObject> lines = sim.LogLines();
  QCOMPARE(lines.size(), 2);
  QCOMPARE(lines[0].value(QStringLiteral("command")).toInt(), 3);
  const QJsonObject frame = lines[1];
  QTEST(frame.value(QStringLiteral("command")).toInt(), "command");
  QTEST(frame.value(QStringLiteral("address")).toInt(), "address");
  QTEST(frame.value(QStringLiteral("count")).toInt(), "count");
  QTEST(frame.value(QStringLiteral("data")).toString().toUpper(), "data");
  QCOMPARE(frame.value(QStringLiteral("outcome")).toString(), QStringLiteral("answered"));

  // get reads the value back from the unit.
  const QString field = assignment.section(QLatin1Char('='), 0, 0);
  const Run get = Ctl(m_port, {QStringLiteral("get"), QStringLiteral("127.0.0.2"), field});
  QCOMPARE(get.exitCode, 0);
  QFETCH(QString, shown);
  QVERIFY2(get.out.startsWith(field + QLatin1Char(' ')) && get.out.trimmed().endsWith(QLatin1Char(' ') + shown),
           qPrintable(get.out));
}

void CtlFleetTest::setStoreSurvivesARestartOfTheUnit() {
  const QString state = Path(QStringLiteral("state"));
  QVERIFY(QDir().mkpath(state));
  {
    SimProcess sim;
    QString error;
    QVERIFY2(sim.Start(SimArgs(m_port, 1, {QStringLiteral("--state-dir"), state}), &error), qPrintable(error));
    const Run set = Ctl(m_port, {QStringLiteral("set"), QStringLiteral("127.0.0.2"), QStringLiteral("outputLevel[0]=50"),
                                 QStringLiteral("fadeTime=Fade Time 8S"), QStringLiteral("--store")});
    QVERIFY2(set.exitCode == 0, qPrintable(set.err));
    // Read, the two writes, then the store command, each after the previous answer.
    QVERIFY(sim.WaitForLogLines(4));
    const QList<QJsonObject> lines = sim.LogLines();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[3].value(QStringLiteral("address")).toInt(), 3000);
    QCOMPARE(lines[3].value(QStringLiteral("data")).toString(), QStringLiteral("02"));
    QCOMPARE(sim.Stop(), 0);
  }
  SimProcess restarted;
  QString error;
  QVERIFY2(restarted.Start(SimArgs(m_port, 1, {QStringLiteral("--state-dir"), state}), &error), qPrintable(error));
  const Run get = Ctl(m_port, {QStringLiteral("get"), QStringLiteral("127.0.0.2"), QStringLiteral("outputLevel[0]"),
                               QStringLiteral("fadeTime")});
  QCOMPARE(get.exitCode, 0);
  QCOMPARE(get.outLines().size(), 2);
  QVERIFY2(get.outLines()[0].endsWith(QLatin1String(" 50                   3.0dB")), qPrintable(get.out));
  QVERIFY2(get.outLines()[1].endsWith(QLatin1String(" Fade Time 8S")), qPrintable(get.out));
}

void CtlFleetTest::refusedEditsSendNothing_data() {
  QTest::addColumn<QStringList>("assignments");
  QTest::addColumn<QString>("message");
  QTest::newRow("above the range") << QStringList{QStringLiteral("outputLevel[0]=61")} << "outside the field's range";
  QTest::newRow("below the range, shown") << QStringList{QStringLiteral("geqGain[0][0]=-6.5dB")}
                                          << "outside the field's range";
  QTest::newRow("not a list entry") << QStringList{QStringLiteral("subLpfSlope=60dB/OCT")} << "outside";
  QTest::newRow("two test outputs") << QStringList{QStringLiteral("testSignalMask=3")} << "one bit";
  QTest::newRow("MAC address") << QStringList{QStringLiteral("macAddress=4C-32-00-00-00-01")}
                               << "not changed by any editor";
  QTest::newRow("token") << QStringList{QStringLiteral("configToken=x")} << "not changed by any editor";
  QTest::newRow("output no editor reaches") << QStringList{QStringLiteral("outputLevel[6]=44")} << "no editor";
  QTest::newRow("unknown field") << QStringList{QStringLiteral("volume=3")} << "unknown field 'volume'";
  QTest::newRow("a whole table") << QStringList{QStringLiteral("outputLevel=44")} << "more than one value";
  QTest::newRow("profile text to a unit") << QStringList{QStringLiteral("theaterName=Hall 9")} << "whole image";
  QTest::newRow("serial number too long") << QStringList{QStringLiteral("serialNumber=12345678901234567")}
                                          << "does not fit";
  // One bad assignment stops the good ones before them as well.
  QTest::newRow("good then bad") << QStringList{QStringLiteral("outputLevel[0]=40"), QStringLiteral("fadeTime=11")}
                                 << "fadeTime: '11'";
}

void CtlFleetTest::refusedEditsSendNothing() {
  QFETCH(QStringList, assignments);
  QFETCH(QString, message);
  SharedSimulator& sim = m_oneUnit;
  QString error;
  QVERIFY2(sim.Acquire({QStringLiteral("--units"), QStringLiteral("1")}, &error), qPrintable(error));
  m_port = sim.port();
  const Run refused = Ctl(m_port, QStringList{QStringLiteral("set"), QStringLiteral("127.0.0.2")} + assignments);
  QCOMPARE(refused.exitCode, 2);
  QVERIFY2(refused.err.contains(message) && refused.err.count(QLatin1Char('\n')) == 1, qPrintable(refused.err));
  // A read sent afterwards is the first and only frame the unit ever saw.
  QCOMPARE(Ctl(m_port, {QStringLiteral("get"), QStringLiteral("127.0.0.2"), QStringLiteral("fadeTime")}).exitCode, 0);
  QVERIFY(sim.WaitForLogLines(1));
  const QList<QJsonObject> lines = sim.LogLines();
  QCOMPARE(lines.size(), 1);
  QCOMPARE(lines[0].value(QStringLiteral("command")).toInt(), 3);
}

void CtlFleetTest::setOnAFileChangesOnlyTheNamedBytes() {
  ParameterImage before;
  before.ApplyNewProjectDefaults();
  const QString file = Path(QStringLiteral("hall.KVdat"));
  QVERIFY(SaveProjectFile(PathOf(file), before) == FileResult::Ok);
  const QByteArray original = FileBytes(file);

  const Run set = Ctl(m_port, {QStringLiteral("set"), file, QStringLiteral("outputLevel[1]=+2.0dB"),
                               QStringLiteral("theaterName=Hall 9"), QStringLiteral("geqGain[2][0]=-60")});
  QVERIFY2(set.exitCode == 0, qPrintable(set.err));
  const QByteArray after = FileBytes(file);
  QCOMPARE(after.size(), original.size());
  constexpr int kHeader = 11;  // "MZR4700DAT" and its zero
  QSet<int> changed;
  for (int i = 0; i < after.size(); ++i) {
    if (after[i] != original[i]) changed << i - kHeader;
  }
  // outputLevel[1] at 199; "Hall 9" over " " at 622 (the old terminator at 623 becomes 'a',
  // the new one falls on a byte that was already zero); geqGain[2][0] at 308.
  QCOMPARE(changed, (QSet<int>{199, 622, 623, 624, 625, 626, 627, 308}));
  QCOMPARE(static_cast<quint8>(after[kHeader + 199]), quint8{48});
  QCOMPARE(static_cast<qint8>(after[kHeader + 308]), qint8{-60});

  // Refusals leave the file as it was, and a file takes no store command.
  for (const QStringList& args : {QStringList{QStringLiteral("set"), file, QStringLiteral("udpPort=2306")},
                                  QStringList{QStringLiteral("set"), file, QStringLiteral("outputLevel[1]=44"),
                                              QStringLiteral("--store")}}) {
    QCOMPARE(Ctl(m_port, args).exitCode, 2);
    QCOMPARE(FileBytes(file), after);
  }
  const Run get = Ctl(m_port, {QStringLiteral("get"), file, QStringLiteral("theaterName"), QStringLiteral("geqGain[2]")});
  QCOMPARE(get.exitCode, 0);
  QCOMPARE(get.outLines().size(), 1 + 27);
  QVERIFY2(get.outLines()[0].endsWith(QLatin1String("Hall 9")), qPrintable(get.out));
  QVERIFY2(get.outLines()[1].startsWith(QLatin1String("geqGain[2][0]")) &&
               get.outLines()[1].endsWith(QLatin1String("-6.0dB")),
           qPrintable(get.out));
}

void CtlFleetTest::progressOnlyOnATerminal() {
  // script(1) gives the command a terminal; without one, backup --all and audit write no
  // progress (the other tests see an empty stderr).
  const QString script = QStandardPaths::findExecutable(QStringLiteral("script"));
  if (script.isEmpty()) QSKIP("script(1) is not installed");
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 2), &error), qPrintable(error));
  const QString dir = Path(QStringLiteral("nightly"));
  QStringList command{QStringLiteral(MZR_CTL_EXECUTABLE)};
  command << Globals(m_port) << QStringLiteral("backup") << QStringLiteral("--all") << dir << QStringLiteral("--time")
          << kSearchMs;
  QProcess process;
  process.setProcessEnvironment(LoopbackEnvironment(m_port));
  process.start(script, {QStringLiteral("-qec"), command.join(QLatin1Char(' ')), QStringLiteral("/dev/null")});
  QVERIFY(process.waitForFinished(60000));
  const QString terminal = QString::fromUtf8(process.readAllStandardOutput());
  QCOMPARE(process.exitCode(), 0);
  QVERIFY2(terminal.contains(QLatin1String("[1/2] 127.0.0.2 -> ")) && terminal.contains(QLatin1String("[2/2] ")),
           qPrintable(terminal));

  const Run piped = Ctl(m_port, {QStringLiteral("audit"), dir, QStringLiteral("--time"), kSearchMs});
  QCOMPARE(piped.exitCode, 0);
  QCOMPARE(piped.err, QString());
}

QTEST_GUILESS_MAIN(CtlFleetTest)
#include "CtlFleetTest.moc"
