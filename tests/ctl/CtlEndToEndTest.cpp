// mzr4700ctl as an installer runs it: the real binary as a child process, talking to
// mzr4700-sim over loopback on a free port, reading and writing real files in a temporary
// folder. Every run names the local address 127.0.0.1 and the port, on the command line and
// in the environment, so nothing can leave the loopback network.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <array>

#include "files/ProjectFile.h"
#include "link/FrameCodec.h"
#include "model/FieldTable.h"
#include "model/ParameterImage.h"
#include "support/CtlRun.h"
#include "support/SimProcess.h"

using namespace mzr;
using mzr::test::SimProcess;

namespace {

using Run = mzr::test::CtlRun;

// A search that must hear every unit: long enough for a simulator slowed by a sanitizer on
// a busy machine. Waiting for absent replies is done with short times instead.
const QString kFullSearchMs = QStringLiteral("2000");

// Runs mzr4700ctl, with --local 127.0.0.1 --port port before args unless told not to; the
// environment names them in any case. Unless args set their own, the unit time-out is
// generous for the same reason: a run that should succeed must not fail on a slow answer.
void StartCtl(QProcess& process, quint16 port, const QStringList& args, bool withGlobals = true) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("MZR4700_LOCAL_IP"), QStringLiteral("127.0.0.1"));
  env.insert(QStringLiteral("MZR4700_PORT"), QString::number(port));
  process.setProcessEnvironment(env);
  QStringList globals{QStringLiteral("--local"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"),
                      QString::number(port)};
  if (!args.contains(QStringLiteral("--timeout"))) globals << QStringLiteral("--timeout") << QStringLiteral("10000");
  process.start(QStringLiteral(MZR_CTL_EXECUTABLE), withGlobals ? globals + args : args);
}

Run Finish(QProcess& process) { return mzr::test::FinishCtl(process, 30000); }

Run Ctl(quint16 port, const QStringList& args, bool withGlobals = true) {
  QProcess process;
  StartCtl(process, port, args, withGlobals);
  return Finish(process);
}

QStringList SimArgs(quint16 port, int units, QStringList more = {}) {
  return QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--units"),
                     QString::number(units)} +
         more;
}

ParameterImage DefaultImage() {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  return image;
}

bool Save(const QString& path, const ParameterImage& image) {
  return SaveProjectFile(std::filesystem::path(path.toStdString()), image) == FileResult::Ok;
}

std::optional<ParameterImage> Load(const QString& path) {
  ParameterImage image;
  if (LoadProjectFile(std::filesystem::path(path.toStdString()), image) != FileResult::Ok) return std::nullopt;
  return image;
}

QByteArray FileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The single state file the simulator keeps for its unit (named after the MAC).
QString StateFile(const QString& stateDir) {
  const QStringList files = QDir(stateDir).entryList(QDir::Files);
  return files.size() == 1 ? QDir(stateDir).filePath(files.first()) : QString();
}

// Log lines of frames the simulator's units received with the given command and address.
QList<QJsonObject> Frames(const SimProcess& sim, int command, int address) {
  QList<QJsonObject> found;
  for (const QJsonObject& line : sim.LogLines()) {
    if (line.value(QStringLiteral("command")).toInt() == command &&
        line.value(QStringLiteral("address")).toInt() == address) {
      found << line;
    }
  }
  return found;
}

// The curve lines as (hz, dB, row).
struct Point {
  double hz;
  double db;
  int row;
};
QList<Point> CurvePoints(const QString& out) {
  QList<Point> points;
  for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
    const QStringList f = line.split(QLatin1Char(' '));
    if (f.size() != 3) return {};
    points << Point{f[0].toDouble(), f[1].toDouble(), f[2].toInt()};
  }
  return points;
}

}  // namespace

class CtlEndToEndTest final : public QObject {
  Q_OBJECT

 private slots:
  void init();

  void searchListsEachUnitOnce();
  void backupEditRestoreRoundTrip();
  void backupAllNamesFilesSafely();
  void restartSendsTheCommandToTheOneUnit();
  void unitAddressesAreReadAsDecimal();
  void parallelCommandsTakeTurns();
  void setNetChangesOneUnitAndRefusesATakenAddress();
  void unitThatDoesNotAnswerExitsOne_data();
  void unitThatDoesNotAnswerExitsOne();
  void restoreToAUnitThatKeepsItsSettingsExitsOne();
  void backupRefusesAReplyThatIsNotTheWholeImage();
  void setNetEndsOnAPlainAcknowledgement();
  void setNetReachesAUnitOutsideTheSubnetOnlyWhenFoundAlone_data();
  void setNetReachesAUnitOutsideTheSubnetOnlyWhenFoundAlone();
  void restoresUnderLossSucceedOnlyWhenStoredAndReadBack();

  void showJsonOfADefaultProject();
  void diffReportsOneBandAndOneCarriedByte();
  void curveOfFlatAndBoostedChannels();
  void badArgumentsAndFiles_data();
  void badArgumentsAndFiles();

 private:
  QString Path(const QString& name) const { return m_dir->filePath(name); }

  std::unique_ptr<QTemporaryDir> m_dir;
  quint16 m_port = 0;
};

void CtlEndToEndTest::init() {
  m_dir = std::make_unique<QTemporaryDir>();
  QVERIFY(m_dir->isValid());
  m_port = test::FreeUdpPort();
  QVERIFY(m_port != 0);
}

void CtlEndToEndTest::searchListsEachUnitOnce() {
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 3), &error), qPrintable(error));

  const Run json = Ctl(m_port, {QStringLiteral("search"), QStringLiteral("--json"), QStringLiteral("--time"), kFullSearchMs});
  QCOMPARE(json.exitCode, 0);
  QJsonParseError parseError{};
  const QJsonDocument doc = QJsonDocument::fromJson(json.out.toUtf8(), &parseError);
  QCOMPARE(parseError.error, QJsonParseError::NoError);
  const QJsonArray units = doc.array();
  QCOMPARE(units.size(), 3);
  const QSet<QString> keys{QStringLiteral("ip"),  QStringLiteral("hall"), QStringLiteral("screen"), QStringLiteral("model"),
                           QStringLiteral("mac"), QStringLiteral("mask"), QStringLiteral("gateway"), QStringLiteral("port")};
  QSet<QString> ips;
  for (const QJsonValue& value : units) {
    const QJsonObject unit = value.toObject();
    const QStringList unitKeys = unit.keys();
    QCOMPARE(QSet<QString>(unitKeys.begin(), unitKeys.end()), keys);
    const QString ip = unit.value(QStringLiteral("ip")).toString();
    ips << ip;
    const int k = ip.section(QLatin1Char('.'), 3).toInt() - 1;
    QCOMPARE(unit.value(QStringLiteral("hall")).toString(), QStringLiteral("Hall %1").arg(k));
    QCOMPARE(unit.value(QStringLiteral("screen")).toString(), QString::number(k));
    QCOMPARE(unit.value(QStringLiteral("model")).toString(), QStringLiteral("MZR4700"));
    QCOMPARE(unit.value(QStringLiteral("mac")).toString(), QStringLiteral("4C-32-7F-00-00-%1").arg(k + 1, 2, 10, QLatin1Char('0')));
    QCOMPARE(unit.value(QStringLiteral("mask")).toString(), QStringLiteral("255.0.0.0"));
    QCOMPARE(unit.value(QStringLiteral("gateway")).toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(unit.value(QStringLiteral("port")).toInt(), int{m_port});
  }
  QCOMPARE(ips, (QSet<QString>{QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.3"), QStringLiteral("127.0.0.4")}));

  // The search is one broadcast read of the whole image.
  QTRY_VERIFY(!Frames(sim, 3, 0).isEmpty());
  const auto reads = Frames(sim, 3, 0);
  for (const QJsonObject& read : reads) {
    QCOMPARE(read.value(QStringLiteral("to")).toString(), QStringLiteral("127.255.255.255"));
    QCOMPARE(read.value(QStringLiteral("count")).toInt(), 852);
  }

  const Run table = Ctl(m_port, {QStringLiteral("search"), QStringLiteral("--time"), kFullSearchMs});
  QCOMPARE(table.exitCode, 0);
  const QStringList lines = table.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), 4);  // the header and one line per unit
  QVERIFY(lines[0].startsWith(QStringLiteral("IP")));
  for (int k = 1; k <= 3; ++k) {
    const QStringList cells = lines[k].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(cells.value(0), QStringLiteral("127.0.0.%1").arg(k + 1));
    QCOMPARE(cells.last(), QString::number(m_port));
  }
}

void CtlEndToEndTest::backupEditRestoreRoundTrip() {
  const QString stateDir = Path(QStringLiteral("state"));
  QVERIFY(QDir().mkpath(stateDir));
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 1, {QStringLiteral("--state-dir"), stateDir}), &error), qPrintable(error));

  const QString backup = Path(QStringLiteral("unit.KVdat"));
  const Run first = Ctl(m_port, {QStringLiteral("backup"), QStringLiteral("127.0.0.2"), backup});
  QCOMPARE(first.exitCode, 0);
  QVERIFY2(first.err.isEmpty(), qPrintable(first.err));
  auto image = Load(backup);
  QVERIFY(image);
  QCOMPARE(image->Text(TextField::theaterName), std::string("Hall 1"));
  QCOMPARE(image->ipAddress(), (Ip4{127, 0, 0, 2}));

  // A backup that cannot be written says so and leaves what is there alone.
  const Run toFolder = Ctl(m_port, {QStringLiteral("backup"), QStringLiteral("127.0.0.2"), stateDir});
  QCOMPARE(toFolder.exitCode, 3);
  QVERIFY2(toFolder.err.contains(QStringLiteral("Can't write this file!")), qPrintable(toFolder.err));

  // An installer edits the backup and restores it: fields, a Chinese text and a carried byte.
  image->setGeqGain(0, 14, 60);
  image->setOutputLevel(2, 43);
  image->setSubPeq(1, {90, -30, 10});
  image->SetU8(160, 0x5A);
  QCOMPARE(image->SetText(TextField::projectName, "星光影城"), TextStoreResult::Stored);
  const QString edited = Path(QStringLiteral("edited.KVdat"));
  QVERIFY(Save(edited, *image));

  const Run restore = Ctl(m_port, {QStringLiteral("restore"), edited, QStringLiteral("127.0.0.2")});
  QCOMPARE(restore.exitCode, 0);
  QVERIFY2(restore.err.isEmpty(), qPrintable(restore.err));
  // The unit stored exactly the file's image.
  QCOMPARE(FileBytes(StateFile(stateDir)), FileBytes(edited));
  // The image went as one block write, then the store command.
  QVERIFY(sim.WaitForLogLines(3));
  QCOMPARE(Frames(sim, 16, 0).size(), 1);
  QCOMPARE(Frames(sim, 6, 3000).size(), 1);
  QCOMPARE(Frames(sim, 6, 3000).first().value(QStringLiteral("data")).toString(), QStringLiteral("02"));

  // Reading the unit back gives the same file, and diff against the unit finds nothing.
  const QString again = Path(QStringLiteral("again.KVdat"));
  QCOMPARE(Ctl(m_port, {QStringLiteral("backup"), QStringLiteral("127.0.0.2"), again}).exitCode, 0);
  QCOMPARE(FileBytes(again), FileBytes(edited));
  const Run same = Ctl(m_port, {QStringLiteral("diff"), edited, QStringLiteral("127.0.0.2")});
  QCOMPARE(same.exitCode, 0);
  QCOMPARE(same.out, QString());

  // Against the first backup the unit now differs in exactly the edited places.
  const Run changed = Ctl(m_port, {QStringLiteral("diff"), backup, QStringLiteral("127.0.0.2")});
  QCOMPARE(changed.exitCode, 1);
  QVERIFY2(changed.err.isEmpty(), qPrintable(changed.err));
  QCOMPARE(changed.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
           (QStringList{QStringLiteral("outputLevel[2]: 0.0dB -> -0.5dB"), QStringLiteral("subPeq[1].freq: 80Hz -> 90Hz"),
                        QStringLiteral("subPeq[1].gain: 0.0dB -> -3.0dB"), QStringLiteral("subPeq[1].qIndex: 1.0 -> 3.0"),
                        QStringLiteral("geqGain[0][14]: 0.0dB -> 6.0dB"),
                        QStringLiteral("projectName: \" \" -> \"星光影城\""),
                        QStringLiteral("byte 160 (carried): 0x00 -> 0x5A")}));
}

void CtlEndToEndTest::backupAllNamesFilesSafely() {
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 3), &error), qPrintable(error));

  // Give unit 1 a hall name that would climb out of the folder if used as it is.
  const QString unitFile = Path(QStringLiteral("u1.KVdat"));
  QCOMPARE(Ctl(m_port, {QStringLiteral("backup"), QStringLiteral("127.0.0.2"), unitFile}).exitCode, 0);
  auto image = Load(unitFile);
  QVERIFY(image);
  QCOMPARE(image->SetText(TextField::theaterName, "../厅 1/*"), TextStoreResult::Stored);
  QVERIFY(Save(unitFile, *image));
  QCOMPARE(Ctl(m_port, {QStringLiteral("restore"), unitFile, QStringLiteral("127.0.0.2")}).exitCode, 0);

  const QString dir = Path(QStringLiteral("backups/today"));
  const Run run = Ctl(m_port, {QStringLiteral("backup"), QStringLiteral("--all"), dir, QStringLiteral("--time"), kFullSearchMs});
  QCOMPARE(run.exitCode, 0);
  const QStringList files = QDir(dir).entryList(QDir::Files | QDir::Hidden, QDir::Name);
  QCOMPARE(files, (QStringList{QStringLiteral("Hall_2_2_127.0.0.3.KVdat"), QStringLiteral("Hall_3_3_127.0.0.4.KVdat"),
                               QStringLiteral("_._厅_1___1_127.0.0.2.KVdat")}));
  QCOMPARE(QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
  // Progress lines are for a terminal; a script that captures stderr sees nothing.
  QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
  // Each file holds the image of the unit it is named after.
  for (int k = 2; k <= 3; ++k) {
    const auto saved = Load(QDir(dir).filePath(QStringLiteral("Hall_%1_%1_127.0.0.%2.KVdat").arg(k).arg(k + 1)));
    QVERIFY(saved);
    QCOMPARE(saved->ipAddress(), (Ip4{127, 0, 0, static_cast<std::uint8_t>(k + 1)}));
  }
  QCOMPARE(FileBytes(QDir(dir).filePath(files.last())), FileBytes(unitFile));
}

void CtlEndToEndTest::restartSendsTheCommandToTheOneUnit() {
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 2), &error), qPrintable(error));

  // The local network's broadcast address names every unit, not one: refused before sending.
  const QString file = Path(QStringLiteral("default.KVdat"));
  QVERIFY(Save(file, DefaultImage()));
  for (const QStringList& args : {QStringList{QStringLiteral("restart"), QStringLiteral("127.255.255.255")},
                                  QStringList{QStringLiteral("restore"), file, QStringLiteral("127.255.255.255")},
                                  QStringList{QStringLiteral("backup"), QStringLiteral("127.255.255.255"), Path(QStringLiteral("x"))}}) {
    const Run refused = Ctl(m_port, args);
    QCOMPARE(refused.exitCode, 2);
    QCOMPARE(refused.errLines(), QStringList{QStringLiteral("mzr4700ctl: 127.255.255.255 is the broadcast address of "
                                                            "the local network, not one unit's address")});
  }
  QVERIFY(!QFile::exists(Path(QStringLiteral("x"))));

  const Run run = Ctl(m_port, {QStringLiteral("restart"), QStringLiteral("127.0.0.3")});
  QCOMPARE(run.exitCode, 0);
  QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
  QVERIFY(sim.WaitForLogLines(1));
  const QList<QJsonObject> lines = sim.LogLines();
  QCOMPARE(lines.size(), 1);  // the refused commands sent nothing
  QCOMPARE(lines[0].value(QStringLiteral("to")).toString(), QStringLiteral("127.0.0.3"));
  QCOMPARE(lines[0].value(QStringLiteral("command")).toInt(), 6);
  QCOMPARE(lines[0].value(QStringLiteral("address")).toInt(), 3001);
  QCOMPARE(lines[0].value(QStringLiteral("data")).toString(), QStringLiteral("02"));
}

void CtlEndToEndTest::unitAddressesAreReadAsDecimal() {
  // Units at 127.0.0.2 to 127.0.0.10. Zero-padded octets name the decimal address, as the
  // parser promises: never 127.0.0.8 (octal 010), and 09 is no reason to give up.
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 9), &error), qPrintable(error));

  const Run restart = Ctl(m_port, {QStringLiteral("restart"), QStringLiteral("127.000.000.010")});
  QCOMPARE(restart.exitCode, 0);
  QVERIFY(sim.WaitForLogLines(1));
  QCOMPARE(sim.LogLines().first().value(QStringLiteral("to")).toString(), QStringLiteral("127.0.0.10"));

  const QString file = Path(QStringLiteral("nine.KVdat"));
  const Run backup = Ctl(m_port, {QStringLiteral("--timeout"), QStringLiteral("3000"), QStringLiteral("backup"),
                                  QStringLiteral("127.0.0.09"), file});
  QCOMPARE(backup.exitCode, 0);
  const auto image = Load(file);
  QVERIFY(image);
  QCOMPARE(image->ipAddress(), (Ip4{127, 0, 0, 9}));
  const Run diff = Ctl(m_port, {QStringLiteral("diff"), file, QStringLiteral("127.0.0.09")});
  QCOMPARE(diff.exitCode, 0);
}

void CtlEndToEndTest::parallelCommandsTakeTurns() {
  // A script backing units up side by side: every instance shares the port, so without
  // taking turns one could take another's reply and save the wrong unit's settings. Units
  // that answer late keep the three requests in flight together.
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 3, {QStringLiteral("--delay"), QStringLiteral("300")}), &error), qPrintable(error));
  for (int round = 0; round < 3; ++round) {
    std::array<QProcess, 3> runs;
    for (int k = 0; k < 3; ++k) {
      StartCtl(runs[k], m_port, {QStringLiteral("backup"), QStringLiteral("127.0.0.%1").arg(k + 2),
                                 Path(QStringLiteral("unit%1-%2.KVdat").arg(k).arg(round))});
    }
    for (int k = 0; k < 3; ++k) {
      const Run run = Finish(runs[k]);
      QVERIFY2(run.exitCode == 0, qPrintable(run.err));
      const auto image = Load(Path(QStringLiteral("unit%1-%2.KVdat").arg(k).arg(round)));
      QVERIFY(image);
      QCOMPARE(image->ipAddress(), (Ip4{127, 0, 0, static_cast<std::uint8_t>(k + 2)}));
    }
  }
}

void CtlEndToEndTest::setNetChangesOneUnitAndRefusesATakenAddress() {
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 2), &error), qPrintable(error));
  const auto setNet = [this](const QString& ip, const QString& mask) {
    return Ctl(m_port, {QStringLiteral("set-net"), QStringLiteral("127.0.0.3"), QStringLiteral("--ip"), ip,
                        QStringLiteral("--mask"), mask, QStringLiteral("--gateway"), QStringLiteral("127.0.0.1"),
                        QStringLiteral("--time"), kFullSearchMs});
  };

  // 127.0.0.2 belongs to the other unit: refused before anything is written.
  const Run taken = setNet(QStringLiteral("127.0.0.2"), QStringLiteral("255.0.0.0"));
  QCOMPARE(taken.exitCode, 2);
  QCOMPARE(taken.errLines().size(), 1);
  QVERIFY2(taken.err.contains(QStringLiteral("already uses")) && taken.err.contains(QStringLiteral("重复IP")),
           qPrintable(taken.err));
  const Run badMask = setNet(QStringLiteral("127.0.0.30"), QStringLiteral("255.0.0.0.1"));
  QCOMPARE(badMask.exitCode, 2);
  QVERIFY2(badMask.err.contains(QStringLiteral("--mask")), qPrintable(badMask.err));

  // The program's address rules: "127.30" is 127.0.0.30 as inet_aton reads it.
  const Run moved = setNet(QStringLiteral("127.30"), QStringLiteral("255.0.0.0"));
  QCOMPARE(moved.exitCode, 0);
  QVERIFY2(moved.err.isEmpty(), qPrintable(moved.err));
  // One write at 138 in all: the two refusals sent none.
  QTRY_COMPARE(Frames(sim, 6, 138).size(), 1);
  const auto writes = Frames(sim, 6, 138);
  QCOMPARE(writes[0].value(QStringLiteral("to")).toString(), QStringLiteral("127.0.0.3"));  // never the broadcast
  QCOMPARE(writes[0].value(QStringLiteral("count")).toInt(), 12);
  QCOMPARE(writes[0].value(QStringLiteral("data")).toString(), QStringLiteral("7f00001eff0000007f000001"));

  const Run search = Ctl(m_port, {QStringLiteral("search"), QStringLiteral("--json"), QStringLiteral("--time"), kFullSearchMs});
  QCOMPARE(search.exitCode, 0);
  QSet<QString> ips;
  for (const QJsonValue& unit : QJsonDocument::fromJson(search.out.toUtf8()).array()) {
    ips << unit.toObject().value(QStringLiteral("ip")).toString();
  }
  QCOMPARE(ips, (QSet<QString>{QStringLiteral("127.0.0.2"), QStringLiteral("127.0.0.30")}));
}

void CtlEndToEndTest::unitThatDoesNotAnswerExitsOne_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<QString>("message");
  const QString file = QStringLiteral("@file");
  QTest::newRow("backup") << QStringList{QStringLiteral("backup"), QStringLiteral("127.0.0.2"), QStringLiteral("@out")}
                          << QStringLiteral("127.0.0.2 did not answer");
  QTest::newRow("restore") << QStringList{QStringLiteral("restore"), file, QStringLiteral("127.0.0.2")}
                           << QStringLiteral("127.0.0.2 did not answer");
  QTest::newRow("restart") << QStringList{QStringLiteral("restart"), QStringLiteral("127.0.0.2")}
                           << QStringLiteral("127.0.0.2 did not answer");
  QTest::newRow("diff") << QStringList{QStringLiteral("diff"), file, QStringLiteral("127.0.0.2")}
                        << QStringLiteral("127.0.0.2 did not answer");
  QTest::newRow("search") << QStringList{QStringLiteral("search"), QStringLiteral("--time"), QStringLiteral("300")}
                          << QStringLiteral("no unit answered");
  QTest::newRow("set-net") << QStringList{QStringLiteral("set-net"), QStringLiteral("127.0.0.2"), QStringLiteral("--ip"),
                                          QStringLiteral("127.0.0.9"), QStringLiteral("--mask"), QStringLiteral("255.0.0.0"),
                                          QStringLiteral("--gateway"), QStringLiteral("127.0.0.1"), QStringLiteral("--time"),
                                          QStringLiteral("300")}
                           << QStringLiteral("127.0.0.2 did not answer the search");
}

void CtlEndToEndTest::unitThatDoesNotAnswerExitsOne() {
  QFETCH(QStringList, args);
  QFETCH(QString, message);
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 1, {QStringLiteral("--silent")}), &error), qPrintable(error));
  const QString file = Path(QStringLiteral("default.KVdat"));
  QVERIFY(Save(file, DefaultImage()));
  const QString out = Path(QStringLiteral("out.KVdat"));
  args.replaceInStrings(QStringLiteral("@file"), file);
  args.replaceInStrings(QStringLiteral("@out"), out);

  const Run run = Ctl(m_port, QStringList{QStringLiteral("--timeout"), QStringLiteral("400")} + args);
  QCOMPARE(run.exitCode, 1);
  QCOMPARE(run.errLines().size(), 1);
  QVERIFY2(run.err.contains(message), qPrintable(run.err));
  QVERIFY(!QFile::exists(out));  // a failed backup writes no file
  QVERIFY(sim.WaitForLogLines(1));  // the request did reach the unit
}

// A unit that acknowledges the image and the store but keeps its own settings: the
// acknowledgements alone would call the restore done; the read-back finds the difference.
void CtlEndToEndTest::restoreToAUnitThatKeepsItsSettingsExitsOne() {
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 1, {QStringLiteral("--keep-settings")}), &error), qPrintable(error));
  ParameterImage image = DefaultImage();
  image.setGeqGain(0, 14, 60);
  image.setOutputLevel(2, 43);
  const QString file = Path(QStringLiteral("restore.KVdat"));
  QVERIFY(Save(file, image));

  const Run run = Ctl(m_port, {QStringLiteral("restore"), file, QStringLiteral("127.0.0.2")});
  QCOMPARE(run.exitCode, 1);
  QCOMPARE(run.errLines().size(), 1);
  QVERIFY2(run.err.contains(QStringLiteral("acknowledged the restore but holds other settings")), qPrintable(run.err));
  // Both acknowledgements came: only the comparison could tell.
  QVERIFY(sim.WaitForLogLines(3));
  QCOMPARE(Frames(sim, 16, 0).size(), 1);
  QCOMPARE(Frames(sim, 16, 0).first().value(QStringLiteral("outcome")).toString(), QStringLiteral("answered"));
  QCOMPARE(Frames(sim, 6, 3000).size(), 1);
  QCOMPARE(Frames(sim, 6, 3000).first().value(QStringLiteral("outcome")).toString(), QStringLiteral("answered"));
  QCOMPARE(Frames(sim, 3, 0).size(), 1);  // the read-back
}

void CtlEndToEndTest::backupRefusesAReplyThatIsNotTheWholeImage() {
  // A unit of the test's own at 127.0.0.9 that answers the read with its first 100 bytes.
  QUdpSocket unit;
  QVERIFY(unit.bind(QHostAddress(QStringLiteral("127.0.0.9")), m_port,
                    QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
  const QString out = Path(QStringLiteral("short.KVdat"));
  QProcess ctl;
  StartCtl(ctl, m_port, {QStringLiteral("backup"), QStringLiteral("127.0.0.9"), out});

  QVERIFY(unit.waitForReadyRead(20000));
  const QNetworkDatagram request = unit.receiveDatagram();
  const auto expected = frame::BuildRead(0, static_cast<std::uint16_t>(kImageSize));
  QCOMPARE(request.data(), QByteArray(reinterpret_cast<const char*>(expected.data()), static_cast<qsizetype>(expected.size())));
  const ParameterImage image = DefaultImage();
  const auto reply = frame::BuildReadReply(0, image.All().first(100));
  // To the companion's port on 127.0.0.1, where the request came from.
  QCOMPARE(unit.writeDatagram(reinterpret_cast<const char*>(reply.data()), static_cast<qint64>(reply.size()),
                              QHostAddress(QStringLiteral("127.0.0.1")), m_port),
           static_cast<qint64>(reply.size()));

  const Run run = Finish(ctl);
  QCOMPARE(run.exitCode, 1);
  QCOMPARE(run.errLines(), QStringList{QStringLiteral("mzr4700ctl: 127.0.0.9 answered the read of its settings with 100 "
                                                      "bytes at address 0 instead of all 852")});
  QVERIFY(!QFile::exists(out));
}

void CtlEndToEndTest::setNetEndsOnAPlainAcknowledgement() {
  // A unit of the test's own at 127.0.0.9: it answers the search, then acknowledges the
  // network write like any write instead of with "ModiNet!".
  QUdpSocket broadcast;
  QUdpSocket unit;
  const auto share = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;
  QVERIFY(broadcast.bind(QHostAddress(QStringLiteral("127.255.255.255")), m_port, share));
  QVERIFY(unit.bind(QHostAddress(QStringLiteral("127.0.0.9")), m_port, share));
  const QHostAddress companion(QStringLiteral("127.0.0.1"));
  const auto send = [&](const frame::Bytes& datagram) {
    return unit.writeDatagram(reinterpret_cast<const char*>(datagram.data()), static_cast<qint64>(datagram.size()),
                              companion, m_port) == static_cast<qint64>(datagram.size());
  };

  QProcess ctl;
  StartCtl(ctl, m_port, {QStringLiteral("set-net"), QStringLiteral("127.0.0.9"), QStringLiteral("--ip"), QStringLiteral("127.0.0.19"),
                         QStringLiteral("--mask"), QStringLiteral("255.0.0.0"), QStringLiteral("--gateway"),
                         QStringLiteral("127.0.0.1"), QStringLiteral("--time"), kFullSearchMs});
  QVERIFY(broadcast.waitForReadyRead(20000));
  (void)broadcast.receiveDatagram();
  ParameterImage image = DefaultImage();
  image.setIpAddress({127, 0, 0, 9});
  QVERIFY(send(frame::BuildReadReply(0, image.All())));

  QVERIFY(unit.waitForReadyRead(20000));
  const QNetworkDatagram write = unit.receiveDatagram();
  QCOMPARE(write.data().size(), 38 + 12);
  QVERIFY(send(frame::BuildAck(frame::Command::Write, addr::ipAddress, 12)));

  const Run run = Finish(ctl);
  QCOMPARE(run.exitCode, 1);
  QCOMPARE(run.errLines(), QStringList{QStringLiteral("mzr4700ctl: 127.0.0.9 acknowledged the new network settings without "
                                                      "confirming them (\"ModiNet!\"); search to see which address it "
                                                      "answers at")});
}

void CtlEndToEndTest::showJsonOfADefaultProject() {
  ParameterImage image = DefaultImage();
  QCOMPARE(image.SetText(TextField::comments, "二号厅 IMAX"), TextStoreResult::Stored);
  const QString file = Path(QStringLiteral("default.KVdat"));
  QVERIFY(Save(file, image));

  const Run run = Ctl(m_port, {QStringLiteral("show"), file, QStringLiteral("--json")});
  QCOMPARE(run.exitCode, 0);
  QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
  QJsonParseError parseError{};
  const QJsonObject show = QJsonDocument::fromJson(run.out.toUtf8(), &parseError).object();
  QCOMPARE(parseError.error, QJsonParseError::NoError);

  QSet<QString> names;
  for (const FieldSpec& field : FieldTable()) names << QString::fromUtf8(field.name.data(), static_cast<qsizetype>(field.name.size()));
  const QStringList keys = show.keys();
  QCOMPARE(QSet<QString>(keys.begin(), keys.end()), names);

  QCOMPARE(show.value(QStringLiteral("modelName")).toString(), QStringLiteral("MZR4700"));
  QCOMPARE(show.value(QStringLiteral("firmwareDate")).toString(), QStringLiteral("Nov  2 2010"));
  QCOMPARE(show.value(QStringLiteral("comments")).toString(), QStringLiteral("二号厅 IMAX"));
  QCOMPARE(show.value(QStringLiteral("ipAddress")).toString(), QStringLiteral("192.168.0.7"));
  QCOMPARE(show.value(QStringLiteral("macAddress")).toString(), QStringLiteral("4C-32-C0-A8-00-07"));
  QCOMPARE(show.value(QStringLiteral("udpPort")).toInt(), 2305);
  QCOMPARE(show.value(QStringLiteral("speakerFreq")).toArray().first().toInt(), 1000);
  QCOMPARE(show.value(QStringLiteral("outputLevel")).toArray().size(), 8);
  QCOMPARE(show.value(QStringLiteral("monitorLevel")).toArray().size(), 12);
  QCOMPARE(show.value(QStringLiteral("fadeTime")).toInt(), 4);

  const QJsonArray geq = show.value(QStringLiteral("geqGain")).toArray();
  QCOMPARE(geq.size(), 7);
  for (const QJsonValue& row : geq) {
    QCOMPARE(row.toArray().size(), 27);
    for (const QJsonValue& band : row.toArray()) QCOMPARE(band.toInt(-1), 0);
  }
  const QJsonArray peq = show.value(QStringLiteral("subPeq")).toArray();
  QCOMPARE(peq.size(), 2);
  QCOMPARE(peq[0].toObject(), (QJsonObject{{QStringLiteral("freq"), 60}, {QStringLiteral("gain"), 0}, {QStringLiteral("qIndex"), 2}}));
  QCOMPARE(peq[1].toObject().value(QStringLiteral("freq")).toInt(), 80);
  const QJsonArray tone = show.value(QStringLiteral("toneControl")).toArray();
  QCOMPARE(tone.size(), 7);
  QCOMPARE(tone[6].toObject(), (QJsonObject{{QStringLiteral("bassGain"), 0}, {QStringLiteral("bassFreq"), 3},
                                            {QStringLiteral("trebleGain"), 0}, {QStringLiteral("trebleFreq"), 3}}));

  // The plain listing: one line per value, stored value and display text side by side.
  const Run plain = Ctl(m_port, {QStringLiteral("show"), file});
  QCOMPARE(plain.exitCode, 0);
  const QStringList lines = plain.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  QCOMPARE(lines.size(), static_cast<qsizetype>(AllElements().size()));
  const auto line = [&lines](const QString& name) {
    for (const QString& l : lines) {
      if (l.section(QLatin1Char(' '), 0, 0) == name) return l.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    }
    return QStringList();
  };
  QCOMPARE(line(QStringLiteral("outputLevel[0]")), (QStringList{QStringLiteral("outputLevel[0]"), QStringLiteral("44"), QStringLiteral("0.0dB")}));
  QCOMPARE(line(QStringLiteral("subLpfSlope")), (QStringList{QStringLiteral("subLpfSlope"), QStringLiteral("2"), QStringLiteral("24dB/OCT")}));
  QCOMPARE(line(QStringLiteral("powerOnSource")), (QStringList{QStringLiteral("powerOnSource"), QStringLiteral("5"), QStringLiteral("Last"), QStringLiteral("Selected")}));
  QCOMPARE(line(QStringLiteral("toneControl[0].trebleFreq")), (QStringList{QStringLiteral("toneControl[0].trebleFreq"), QStringLiteral("3"), QStringLiteral("2KHz")}));
  QCOMPARE(line(QStringLiteral("comments")).mid(1), (QStringList{QStringLiteral("\"\\xB6\\xFE\\xBA\\xC5\\xCC\\xFC"), QStringLiteral("IMAX\""), QStringLiteral("二号厅"), QStringLiteral("IMAX")}));
}

void CtlEndToEndTest::diffReportsOneBandAndOneCarriedByte() {
  const QString a = Path(QStringLiteral("a.KVdat"));
  const QString b = Path(QStringLiteral("b.KVdat"));
  ParameterImage image = DefaultImage();
  QVERIFY(Save(a, image));
  image.setGeqGain(1, 3, -25);
  image.SetU8(501, 0x80);
  QVERIFY(Save(b, image));

  const Run differ = Ctl(m_port, {QStringLiteral("diff"), a, b});
  QCOMPARE(differ.exitCode, 1);
  QVERIFY2(differ.err.isEmpty(), qPrintable(differ.err));
  QCOMPARE(differ.out, QStringLiteral("geqGain[1][3]: 0.0dB -> -2.5dB\nbyte 501 (carried): 0x00 -> 0x80\n"));

  const Run same = Ctl(m_port, {QStringLiteral("diff"), a, a});
  QCOMPARE(same.exitCode, 0);
  QCOMPARE(same.out, QString());

  // Bytes behind a text's terminator differ while the text reads the same: still reported.
  ParameterImage tail = DefaultImage();
  tail.SetU8(addr::modelName + 12, 0x41);
  const QString c = Path(QStringLiteral("c.KVdat"));
  QVERIFY(Save(c, tail));
  const Run hidden = Ctl(m_port, {QStringLiteral("diff"), a, c});
  QCOMPARE(hidden.exitCode, 1);
  QVERIFY2(hidden.out.startsWith(QStringLiteral("modelName: \"MZR4700\" -> \"MZR4700\" (bytes ")), qPrintable(hidden.out));
}

void CtlEndToEndTest::curveOfFlatAndBoostedChannels() {
  const QString flatFile = Path(QStringLiteral("flat.KVdat"));
  const QString boostFile = Path(QStringLiteral("boost.KVdat"));
  ParameterImage image = DefaultImage();
  QVERIFY(Save(flatFile, image));
  image.setGeqGain(2, 14, 60);  // +6.0 dB at 1 kHz on the right channel
  QVERIFY(Save(boostFile, image));

  const Run flat = Ctl(m_port, {QStringLiteral("curve"), flatFile, QStringLiteral("--channel"), QStringLiteral("2")});
  QCOMPARE(flat.exitCode, 0);
  const QList<Point> flatPoints = CurvePoints(flat.out);
  QCOMPARE(flatPoints.size(), 315);
  QCOMPARE(flatPoints.first().hz, 17.419);
  QCOMPARE(flatPoints.last().hz, 24045.289);
  for (const Point& p : flatPoints) {
    QCOMPARE(p.db, 0.0);
    QCOMPARE(p.row, 97);
  }

  const QString png = Path(QStringLiteral("boost.png"));
  const Run boost = Ctl(m_port, {QStringLiteral("curve"), boostFile, QStringLiteral("--channel"), QStringLiteral("2"),
                                 QStringLiteral("--png"), png});
  QCOMPARE(boost.exitCode, 0);
  QVERIFY2(boost.err.isEmpty(), qPrintable(boost.err));
  const QList<Point> points = CurvePoints(boost.out);
  QCOMPARE(points.size(), 315);
  qsizetype peak = 0;
  for (qsizetype n = 0; n < points.size(); ++n) {
    if (points[n].db > points[peak].db) peak = n;
  }
  QVERIFY(std::abs(points[peak].hz - 1000.0) < 30.0);
  QVERIFY(std::abs(points[peak].db - 6.0) < 0.01);
  QCOMPARE(points[peak].row, static_cast<int>(97 - 9.6 * points[peak].db));  // 9.6 pixels per dB
  QVERIFY(points[peak].row < 97 - 55);
  // Far from the band the curve is back on its zero line (within a pixel's truncation).
  QVERIFY(std::abs(points.first().db) < 0.01 && points.first().row >= 96);
  QVERIFY(std::abs(points.last().db) < 0.01 && points.last().row >= 96);

  // The picture is the graph the program paints: its size, and the lime curve where the
  // lines say it is, on black.
  QImage graph(png);
  QCOMPARE(graph.size(), QSize(634, 195));
  QCOMPARE(QColor(graph.pixel(6 + 2 * static_cast<int>(peak), points[peak].row)), QColor(0, 255, 0));
  QCOMPARE(QColor(graph.pixel(6 + 2 * static_cast<int>(peak), 150)), QColor(0, 0, 0));

  // The subwoofer tab's zero line sits 50 rows higher; its pass band starts there.
  const Run sub = Ctl(m_port, {QStringLiteral("curve"), flatFile, QStringLiteral("--channel"), QStringLiteral("5")});
  QCOMPARE(sub.exitCode, 0);
  const QList<Point> subPoints = CurvePoints(sub.out);
  QCOMPARE(subPoints.size(), 315);
  QCOMPARE(subPoints.first().row, 47);
  QVERIFY(subPoints.last().db < -40.0);  // the 24 dB/oct low-pass at 125 Hz
}

void CtlEndToEndTest::badArgumentsAndFiles_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<int>("exitCode");
  QTest::addColumn<QString>("message");
  const auto row = [](const char* name, QStringList args, int code, const char* message) {
    QTest::newRow(name) << args << code << QString::fromUtf8(message);
  };
  const QString good = QStringLiteral("@good");
  row("no command", {}, 2, "mzr4700ctl: no command given; see mzr4700ctl --help");
  row("operand to search", {QStringLiteral("search"), QStringLiteral("127.0.0.2")}, 2,
      "mzr4700ctl: search takes no operands, not '127.0.0.2'; see mzr4700ctl --help");
  row("unknown command", {QStringLiteral("frob")}, 2, "unknown command 'frob'");
  row("unknown option", {QStringLiteral("show"), good, QStringLiteral("--colour")}, 2, "takes no option '--colour'");
  row("option of another command", {QStringLiteral("show"), good, QStringLiteral("--png"), QStringLiteral("x.png")}, 2,
      "the show command takes no option '--png'");
  row("missing file", {QStringLiteral("show")}, 2, "show needs a file");
  row("extra operand", {QStringLiteral("show"), good, good}, 2, "show needs a file");
  row("curve without channel", {QStringLiteral("curve"), good}, 2, "curve needs --channel");
  row("channel 6", {QStringLiteral("curve"), good, QStringLiteral("--channel"), QStringLiteral("6")}, 2,
      "--channel needs a channel 0 to 5, not '6'");
  row("port 0", {QStringLiteral("search"), QStringLiteral("--port"), QStringLiteral("0")}, 2, "--port needs a port number");
  row("option twice", {QStringLiteral("--local"), QStringLiteral("127.0.0.1"), QStringLiteral("search"), QStringLiteral("--local"),
                       QStringLiteral("127.0.0.1")},
      2, "option '--local' given twice");
  row("local not an address", {QStringLiteral("--local"), QStringLiteral("pc1"), QStringLiteral("search")}, 2,
      "--local needs an IPv4 address");
  row("time not a number", {QStringLiteral("search"), QStringLiteral("--time"), QStringLiteral("soon")}, 2,
      "--time needs a time in milliseconds");
  row("value missing", {QStringLiteral("search"), QStringLiteral("--time")}, 2, "option '--time' needs a value");
  row("unit address", {QStringLiteral("restart"), QStringLiteral("127.0.0")}, 2, "'127.0.0' is not a unit's IPv4 address");
  row("broadcast as unit", {QStringLiteral("backup"), QStringLiteral("255.255.255.255"), QStringLiteral("x")}, 2,
      "is not a unit's IPv4 address");
  row("set-net without mask", {QStringLiteral("set-net"), QStringLiteral("127.0.0.2"), QStringLiteral("--ip"),
                               QStringLiteral("127.0.0.5"), QStringLiteral("--gateway"), QStringLiteral("127.0.0.1")},
      2, "set-net needs --ip, --mask and --gateway");
  row("diff against the broadcast of every network", {QStringLiteral("diff"), good, QStringLiteral("255.255.255.255")}, 2,
      "'255.255.255.255' is not a unit's IPv4 address");
  row("set-net with a mistyped mask", {QStringLiteral("set-net"), QStringLiteral("127.0.0.2"), QStringLiteral("--ip"),
                                       QStringLiteral("127.0.0.5"), QStringLiteral("--mask"), QStringLiteral("255.0.0.0.1"),
                                       QStringLiteral("--gateway"), QStringLiteral("127.0.0.1")},
      2, "--mask '255.0.0.0.1' is not a valid mask");
  row("backup --all with two operands", {QStringLiteral("backup"), QStringLiteral("--all"), QStringLiteral("a"), QStringLiteral("b")}, 2,
      "backup needs one folder after --all");
  row("file missing", {QStringLiteral("show"), QStringLiteral("@dir/none.KVdat")}, 3, "none.KVdat: Can't open this file!");
  row("folder as file", {QStringLiteral("diff"), good, QStringLiteral("@dir")}, 3, "Can't open this file!");
  row("wrong signature", {QStringLiteral("show"), QStringLiteral("@badsig")}, 3, "badsig.KVdat: File Format Error!");
  row("short file", {QStringLiteral("curve"), QStringLiteral("@short"), QStringLiteral("--channel"), QStringLiteral("0")}, 3,
      "short.KVdat: File Format Error!");
  row("restore of a bad file", {QStringLiteral("restore"), QStringLiteral("@short"), QStringLiteral("127.0.0.2")}, 3,
      "short.KVdat: File Format Error!");
  row("png not writable", {QStringLiteral("curve"), good, QStringLiteral("--channel"), QStringLiteral("0"), QStringLiteral("--png"),
                           QStringLiteral("@dir/no/such/folder/x.png")},
      3, "x.png: cannot write the PNG");
}

void CtlEndToEndTest::badArgumentsAndFiles() {
  QFETCH(QStringList, args);
  QFETCH(int, exitCode);
  QFETCH(QString, message);

  const QString good = Path(QStringLiteral("good.KVdat"));
  QVERIFY(Save(good, DefaultImage()));
  const QByteArray full = FileBytes(good);
  QFile badsig(Path(QStringLiteral("badsig.KVdat")));
  QVERIFY(badsig.open(QIODevice::WriteOnly));
  badsig.write(QByteArray(full).replace(0, 3, "XYZ"));
  badsig.close();
  QFile shortFile(Path(QStringLiteral("short.KVdat")));
  QVERIFY(shortFile.open(QIODevice::WriteOnly));
  shortFile.write(full.left(500));  // the signature, then too few image bytes
  shortFile.close();

  args.replaceInStrings(QStringLiteral("@good"), good);
  args.replaceInStrings(QStringLiteral("@badsig"), badsig.fileName());
  args.replaceInStrings(QStringLiteral("@short"), shortFile.fileName());
  args.replaceInStrings(QStringLiteral("@dir"), m_dir->path());

  // No simulator runs: any frame sent would go unanswered, and the usage and file errors
  // must come before anything is sent.
  const Run run = Ctl(m_port, args, false);
  QCOMPARE(run.exitCode, exitCode);
  QCOMPARE(run.errLines().size(), 1);
  QVERIFY2(run.err.startsWith(QStringLiteral("mzr4700ctl: ")), qPrintable(run.err));
  QVERIFY2(run.err.contains(message), qPrintable(run.err));
  QCOMPARE(run.out, QString());
  QCOMPARE(FileBytes(good), full);
}

void CtlEndToEndTest::setNetReachesAUnitOutsideTheSubnetOnlyWhenFoundAlone_data() {
  QTest::addColumn<int>("units");
  QTest::addColumn<int>("exitCode");
  QTest::newRow("others found: refused") << 3 << 2;
  QTest::newRow("found alone: broadcast") << 1 << 0;
}

void CtlEndToEndTest::setNetReachesAUnitOutsideTheSubnetOnlyWhenFoundAlone() {
  // The last simulated unit's image names 192.0.2.7, as a unit set up for another network:
  // unicast cannot reach it, and a broadcast would move every unit that hears it.
  QFETCH(int, units);
  QFETCH(int, exitCode);
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, units, {QStringLiteral("--elsewhere"), QStringLiteral("192.0.2.7")}), &error),
           qPrintable(error));
  const Run run = Ctl(m_port, {QStringLiteral("set-net"), QStringLiteral("192.0.2.7"), QStringLiteral("--ip"),
                               QStringLiteral("127.0.0.40"), QStringLiteral("--mask"), QStringLiteral("255.0.0.0"),
                               QStringLiteral("--gateway"), QStringLiteral("127.0.0.1"), QStringLiteral("--time"),
                               kFullSearchMs});
  QCOMPARE(run.exitCode, exitCode);
  if (exitCode != 0) {
    QCOMPARE(run.errLines().size(), 1);
    QVERIFY2(run.err.contains(QStringLiteral("outside this PC's subnet")), qPrintable(run.err));
    QVERIFY(sim.WaitForLogLines(units));  // the search's read, one line per unit
    QCOMPARE(Frames(sim, 6, 138).size(), 0);
    return;
  }
  QVERIFY2(run.err.isEmpty(), qPrintable(run.err));
  QTRY_COMPARE(Frames(sim, 6, 138).size(), 1);
  QCOMPARE(Frames(sim, 6, 138)[0].value(QStringLiteral("to")).toString(), QStringLiteral("127.255.255.255"));
  const Run search = Ctl(m_port, {QStringLiteral("search"), QStringLiteral("--json"), QStringLiteral("--time"), kFullSearchMs});
  QCOMPARE(QJsonDocument::fromJson(search.out.toUtf8()).array().at(0).toObject().value(QStringLiteral("ip")).toString(),
           QStringLiteral("127.0.0.40"));
}

void CtlEndToEndTest::restoresUnderLossSucceedOnlyWhenStoredAndReadBack() {
  // Every exit 0 leaves the unit's stored image (the simulator's state folder) equal to the
  // file; every other outcome is exit 1 with one line. Each restore is its own process.
  constexpr int kRestores = 200;
  const QString stateDir = Path(QStringLiteral("state"));
  SimProcess sim;
  QString error;
  QVERIFY2(sim.Start(SimArgs(m_port, 1, {QStringLiteral("--loss"), QStringLiteral("10"), QStringLiteral("--seed"),
                                         QStringLiteral("11"), QStringLiteral("--state-dir"), stateDir}),
                     &error),
           qPrintable(error));
  const QString file = Path(QStringLiteral("restore.KVdat"));
  int successes = 0;
  int failures = 0;
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < kRestores; ++i) {
    ParameterImage image = DefaultImage();
    image.SetU8(160, static_cast<std::uint8_t>(i));
    image.SetU8(161, static_cast<std::uint8_t>(i >> 8));
    image.setGeqGain(1, i % 27, static_cast<std::int8_t>(i % 100));
    QVERIFY(Save(file, image));
    const Run run = Ctl(m_port, {QStringLiteral("--timeout"), QStringLiteral("300"), QStringLiteral("restore"), file,
                                 QStringLiteral("127.0.0.2")});
    if (run.exitCode == 0) {
      ++successes;
      const auto stored = Load(StateFile(stateDir));
      QVERIFY(stored);
      for (int at = 0; at < static_cast<int>(kImageSize); ++at) {
        if (at >= addr::macAddress && at < addr::udpPort + 2) continue;  // the unit's own
        if (stored->U8(at) != image.U8(at)) QFAIL(qPrintable(QStringLiteral("restore %1: stored byte %2 differs").arg(i).arg(at)));
      }
    } else {
      ++failures;
      QCOMPARE(run.exitCode, 1);
      QCOMPARE(run.errLines().size(), 1);
      QVERIFY2(run.err.contains(QStringLiteral("127.0.0.2 did not answer")), qPrintable(run.err));
    }
  }
  qInfo("%d restores with 10%% loss: %d exited 0 (each stored as sent), %d exited 1; %lld ms", kRestores, successes,
        failures, static_cast<long long>(clock.elapsed()));
  QVERIFY(successes > 0);
  QVERIFY(failures > 0);
}

QTEST_GUILESS_MAIN(CtlEndToEndTest)
#include "CtlEndToEndTest.moc"
