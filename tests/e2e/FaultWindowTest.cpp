// A faulty unit and a faulty network, end to end through the window: the real main window
// (offscreen, 127.0.0.1 on a free port) first connects to a healthy mzr4700-sim unit at
// 127.0.0.2, which is then replaced, on the same address and port, by one that loses
// requests, answers late, stays silent, restarts, or is joined by senders of malformed and
// foreign answers. Each command (a moved bar, File > Read all, File > Open then Download)
// must end either answered or in "Connect Fail!" when Timer2 runs out; no lost, late or
// malformed answer may change the image; "DownLoad Success" only with the unit's
// acknowledgement of the store, with the unit's stored image (its state folder) equal to
// the program's at that moment; and afterwards a search and a connect work again. The
// simulator's log shows what the unit heard and which requests it left unanswered. Every
// datagram stays on 127.0.0.0/8.

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QSlider>
#include <QTest>
#include <QUdpSocket>

#include <memory>

#include "e2e/WindowDriver.h"
#include "files/ProjectFile.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "model/WriteSpan.h"
#include "support/WindowFixture.h"
#include "ui/window/MainWindow.h"
#include "ui/output/OutputDrawer.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/Skin.h"

using namespace mzr;
using mzr::test::FirstDifference;
using mzr::test::LoopbackUnit;
using mzr::test::SimProcess;
using mzr::test::StallMeter;
using mzr::test::WindowDriver;
using mzr::test::WindowFixture;

namespace {

const QString kUnitIp = QStringLiteral("127.0.0.2");
// A loopback address no unit of the test holds: answers from it are another unit's.
const QHostAddress kForeignAddress(QStringLiteral("127.0.0.9"));
const QString kConnectFail = QStringLiteral("Connect Fail!");
const QString kDownloadSuccess = QStringLiteral("DownLoad Success");

enum class Step {
  Edit,                 // an output level bar moved
  ReadAll,              // File > Read all
  OpenAndDownload,      // File > Open of a project that differs from the unit, then Download
  RestartThenDownload,  // File > Restart and File > Download at once: the unit restarts as
                        // the image arrives
};

struct FaultCase {
  const char* name;
  QStringList faultArgs;    // the faulty unit's simulator options
  int timeoutMs;            // Timer2
  int searchTimeMs;
  QList<Step> steps;
  bool everyCommandFails;   // nothing the faulty unit does answers within the time-out
  bool searchable;          // a search finds the faulty unit (else it is replaced by a healthy one at the end)
  bool injectBadAnswers;    // malformed and foreign datagrams follow each command
};

QList<Step> Repeat(const QList<Step>& steps, int times) {
  QList<Step> all;
  for (int i = 0; i < times; ++i) all += steps;
  return all;
}

const QList<FaultCase>& Cases() {
  static const QList<FaultCase> cases{
      {"5% of requests lost",
       {QStringLiteral("--loss"), QStringLiteral("5"), QStringLiteral("--seed"), QStringLiteral("5")},
       500, 200,
       Repeat({Step::Edit, Step::Edit, Step::ReadAll, Step::OpenAndDownload}, 10),
       false, true, false},
      {"30% of requests lost",
       {QStringLiteral("--loss"), QStringLiteral("30"), QStringLiteral("--seed"), QStringLiteral("3")},
       500, 200,
       Repeat({Step::Edit, Step::ReadAll, Step::OpenAndDownload}, 6),
       false, true, false},
      // Answers 2.5 s late, after Timer2 (1 s) has run out; they arrive while the window is
      // disconnected or connected anew.
      {"answers 2.5 s late",
       {QStringLiteral("--delay"), QStringLiteral("2500")},
       1000, 300,
       {Step::ReadAll, Step::Edit, Step::OpenAndDownload},
       true, false, false},
      {"silent unit",
       {QStringLiteral("--silent")},
       1000, 300,
       {Step::Edit, Step::ReadAll, Step::OpenAndDownload},
       true, false, false},
      // The unit stays silent; what arrives instead is malformed, or comes from another unit.
      {"malformed and foreign answers",
       {QStringLiteral("--silent")},
       1000, 300,
       {Step::ReadAll, Step::OpenAndDownload, Step::Edit},
       true, false, true},
      // The restart's acknowledgement arrives while the image is pending; the unit hears
      // nothing for 4 s after it.
      {"restart in the middle of a download",
       {QStringLiteral("--restart-ms"), QStringLiteral("4000")},
       1000, 300,
       {Step::RestartThenDownload, Step::OpenAndDownload},
       false, true, false},
  };
  return cases;
}

const char* StepName(Step step) {
  switch (step) {
    case Step::Edit: return "edit";
    case Step::ReadAll: return "read all";
    case Step::OpenAndDownload: return "open and download";
    case Step::RestartThenDownload: return "restart then download";
  }
  return "?";
}

// One request as the unit logged it.
struct Heard {
  int command;
  int address;
  int count;
  QString outcome;
};

QByteArray Bytes(const frame::Bytes& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

}  // namespace

class FaultWindowTest final : public QObject {
  Q_OBJECT

 private:
  WindowFixture m_f;
  QString m_stateDir;
  std::unique_ptr<WindowDriver> m_driver;
  std::unique_ptr<StallMeter> m_stalls;
  QStringList m_unsoundSuccesses;  // every "DownLoad Success" whose stored image was not the program's
  int m_projects = 0;
  QString m_nextProject;

  // The previous unit goes away first: the new one takes its address and port.
  void StartSim(const QStringList& extra) {
    m_f.StartSim(QStringList{QStringLiteral("--units"), QStringLiteral("1"), QStringLiteral("--state-dir"), m_stateDir} +
                 extra);
  }
  SimProcess& sim() { return m_f.sim(); }
  MainWindow* window() { return &m_f.window(); }

  void MakeWindow(int timeoutMs) {
    WindowFixture::Settings settings;
    settings.linkTimeoutMs = timeoutMs;
    m_f.MakeWindow(settings);
    window()->files().setPathProvider({[this] { return m_nextProject; }, [this] { return m_nextProject; }});
    m_driver = std::make_unique<WindowDriver>(*window(), kUnitIp, m_f.port());
    m_driver->setOnDownloadSuccess([this] {
      // Looked at the moment the text shows: the unit stores before it acknowledges.
      const auto stored = m_driver->StoredImage(m_stateDir);
      if (!stored) {
        m_unsoundSuccesses << QStringLiteral("no stored image");
      } else if (*stored != window()->image()) {
        m_unsoundSuccesses << QStringLiteral("stored image differs at %1").arg(FirstDifference(*stored, window()->image()));
      }
    });
  }

  QAction* Item(const char* name) { return m_f.Item(name); }

  // A project that differs from everything the unit has held so far: its levels are new, its
  // identity bytes are the unit's (which the unit keeps as its own), so a stored image equal
  // to it is the proof that this download landed.
  ParameterImage NextProject() {
    ParameterImage image = window()->image();
    const int k = ++m_projects;
    for (int slot = 0; slot < 6; ++slot) image.setOutputLevel(slot, static_cast<std::uint8_t>((k * 7 + slot * 3) % 61));
    for (int input = 0; input < 5; ++input) image.setPresetLevel(input, static_cast<std::uint8_t>((k * 11 + input) % 101));
    image.setFaderLevel(0, static_cast<std::uint8_t>((k * 13) % 101));
    m_nextProject = m_f.Path(QStringLiteral("project-%1.kvdat").arg(k));
    if (SaveProjectFile(m_nextProject.toStdString(), image) != FileResult::Ok) qFatal("cannot write a project file");
    return image;
  }

  // The requests the program sent to the unit (not the probes) from log line skip on.
  QList<Heard> HeardFromProgram(qsizetype skip) {
    const QString program = QStringLiteral("127.0.0.1:%1").arg(m_f.port());
    QList<Heard> heard;
    const QList<QJsonObject> lines = sim().LogLines();
    for (qsizetype i = skip; i < lines.size(); ++i) {
      const QJsonObject& line = lines[i];
      if (line.value(QStringLiteral("from")).toString() != program) continue;
      heard.append({line.value(QStringLiteral("command")).toInt(), line.value(QStringLiteral("address")).toInt(),
                    line.value(QStringLiteral("count")).toInt(), line.value(QStringLiteral("outcome")).toString()});
    }
    return heard;
  }

  // The outcome of the probe sent from probePort, once the unit has logged it.
  std::optional<QString> ProbeOutcome(qsizetype skip, quint16 probePort) {
    const QString probe = QStringLiteral("127.0.0.1:%1").arg(probePort);
    const QList<QJsonObject> lines = sim().LogLines();
    for (qsizetype i = skip; i < lines.size(); ++i) {
      if (lines[i].value(QStringLiteral("from")).toString() == probe) return lines[i].value(QStringLiteral("outcome")).toString();
    }
    return std::nullopt;
  }

  // Malformed answers from the unit's own address and well-formed ones from another unit,
  // sent while command is pending: none of them answers it.
  void SendBadAnswers(Step step, int index, const ParameterImage& otherImage) {
    QUdpSocket own;
    QUdpSocket foreign;
    QVERIFY(own.bind(QHostAddress(kUnitIp), 0));
    QVERIFY(foreign.bind(kForeignAddress, 0));
    const QHostAddress program(QStringLiteral("127.0.0.1"));
    const auto send = [&](QUdpSocket& from, const QByteArray& bytes) {
      QCOMPARE(from.writeDatagram(bytes, program, m_f.port()), qint64(bytes.size()));
    };
    const QByteArray whole = Bytes(frame::BuildReadReply(0, otherImage.All()));
    QByteArray badToken = whole;
    badToken[12] = 'X';
    const auto tail = otherImage.All().subspan(800);
    QByteArray pastTheEnd = Bytes(frame::BuildReadReply(800, tail));
    pastTheEnd[34] = char(100);  // claims 100 bytes at 800: beyond the image and beyond what it carries
    QByteArray oversize = whole + QByteArray(1700 - whole.size(), '\0');
    const QByteArray blockAck = Bytes(frame::BuildAck(frame::Command::BlockWrite, 0, 852));
    const QByteArray storeAck = Bytes(frame::BuildAck(frame::Command::Write, frame::kSaveCommandAddress, 1));
    const WriteSpan edited = WriteSpanFor(EditedField::outputLevel, index % 5);
    const QByteArray editAck = Bytes(frame::BuildAck(frame::Command::Write, edited.address, edited.count));
    QByteArray shortAck = step == Step::Edit ? editAck : blockAck;
    shortAck.chop(1);

    const QList<QByteArray> fromUnit{whole.left(600), badToken, pastTheEnd, oversize, shortAck};
    for (const QByteArray& bytes : fromUnit) send(own, bytes);
    // Well formed, but from a unit the window is not connected to.
    switch (step) {
      case Step::ReadAll: send(foreign, whole); break;
      case Step::Edit: send(foreign, editAck); break;
      default:
        send(foreign, blockAck);
        send(foreign, storeAck);
        break;
    }
  }

  void RunStep(const FaultCase& c, Step step, int index, int* timeOuts, qint64* longestFailMs) {
    const QString where = QStringLiteral("%1, step %2 (%3)").arg(QString::fromLatin1(c.name)).arg(index).arg(QString::fromLatin1(StepName(step)));
    QCOMPARE(window()->state().connected, 1);
    ParameterImage& image = window()->image();
    ParameterImage expected = image;
    const qsizetype logBefore = sim().LogLines().size();
    const int successesBefore = m_driver->downloadSuccesses();
    // The unit's image as the faulty unit may still send it: a late or foreign answer must
    // not bring it in.
    ParameterImage otherImage = image;
    otherImage.setFadeTime(static_cast<std::uint8_t>((image.fadeTime() + 3) % 10));
    otherImage.setOutputLevel(0, static_cast<std::uint8_t>((image.outputLevel(0) + 17) % 61));

    QElapsedTimer clock;
    switch (step) {
      case Step::Edit: {
        auto* bar = window()->outputDrawerContent()->findChild<QSlider*>(QStringLiteral("suiTrackBar%1").arg(6 + index % 5));
        QVERIFY(bar != nullptr);
        const int value = bar->value() == bar->maximum() ? 0 : bar->value() + 1;
        expected.setOutputLevel(index % 5, static_cast<std::uint8_t>(bar->maximum() - value));
        clock.start();
        bar->setValue(value);
        break;
      }
      case Step::ReadAll:
        clock.start();
        Item("N21")->trigger();
        break;
      case Step::OpenAndDownload:
        expected = NextProject();
        Item("N3")->trigger();
        QCOMPARE(m_driver->status0(), QStringLiteral("Open File Success"));
        QVERIFY2(image == expected, qPrintable(where));
        clock.start();
        Item("N20")->trigger();
        break;
      case Step::RestartThenDownload:
        expected = NextProject();
        Item("N3")->trigger();
        QVERIFY2(image == expected, qPrintable(where));
        clock.start();
        // In one turn of the event loop: the restart's acknowledgement comes back while the
        // image is the newest request.
        Item("N27")->trigger();
        Item("N20")->trigger();
        break;
    }
    if (c.injectBadAnswers) SendBadAnswers(step, index, otherImage);

    const WindowDriver::Outcome outcome = m_driver->WaitExchange();
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(outcome != WindowDriver::Outcome::Stuck, qPrintable(where + QStringLiteral(": the exchange never ended")));
    const bool mustFail = c.everyCommandFails || step == Step::RestartThenDownload;
    if (mustFail) QVERIFY2(outcome == WindowDriver::Outcome::TimedOut, qPrintable(where + QStringLiteral(": answered")));
    if (outcome == WindowDriver::Outcome::TimedOut) {
      ++*timeOuts;
      *longestFailMs = std::max(*longestFailMs, elapsed);
      QCOMPARE(m_driver->status0(), kConnectFail);
      QCOMPARE(window()->state().connected, 0);
      QVERIFY2(image == expected, qPrintable(where + QStringLiteral(": the time-out changed the image")));
    } else if (step == Step::ReadAll) {
      expected = image;  // the unit's answer is the image now
    }

    // Every answer the unit still owed has now been handled.
    QVERIFY2(m_driver->Settle([&](quint16 port) { return ProbeOutcome(logBefore, port); }),
             qPrintable(m_driver->error()));
    QVERIFY2(image == expected,
             qPrintable(where + QStringLiteral(": a late or bad answer changed the image at %1").arg(FirstDifference(image, expected))));

    // What the unit heard: an unanswered request always ends in "Connect Fail!", the store
    // never follows an image the unit did not take, and "DownLoad Success" needs both
    // acknowledgements.
    const QList<Heard> heard = HeardFromProgram(logBefore);
    bool unanswered = false;
    bool imageLost = false;
    bool imageTaken = false;
    bool storeTaken = false;
    for (const Heard& h : heard) {
      unanswered = unanswered || h.outcome != QStringLiteral("answered");
      if (h.command == 16) {
        imageLost = imageLost || h.outcome != QStringLiteral("answered");
        imageTaken = imageTaken || h.outcome == QStringLiteral("answered");
      }
      if (h.command == 6 && h.address == frame::kSaveCommandAddress) {
        QVERIFY2(!imageLost, qPrintable(where + QStringLiteral(": the store was sent after an image the unit never took")));
        storeTaken = storeTaken || h.outcome == QStringLiteral("answered");
      }
    }
    if (unanswered) QVERIFY2(outcome == WindowDriver::Outcome::TimedOut, qPrintable(where + QStringLiteral(": a request went unanswered without \"Connect Fail!\"")));
    const bool succeeded = m_driver->downloadSuccesses() > successesBefore;
    if (succeeded) {
      QCOMPARE(m_driver->downloadSuccesses(), successesBefore + 1);
      QVERIFY2(imageTaken && storeTaken, qPrintable(where + QStringLiteral(": \"DownLoad Success\" without both acknowledgements")));
      QVERIFY2(m_driver->StoredImage(m_stateDir) == std::optional<ParameterImage>(image), qPrintable(where));
    }
    if (step == Step::OpenAndDownload && outcome == WindowDriver::Outcome::Answered) {
      QVERIFY2(succeeded, qPrintable(where + QStringLiteral(": a download ended with \"%1\"").arg(m_driver->status0())));
    }

    if (window()->state().connected == 0) {
      if (c.searchable) {
        QVERIFY2(m_driver->SearchAndConnect(), qPrintable(m_driver->error()));
      } else {
        QVERIFY2(m_driver->ConnectListed(), qPrintable(m_driver->error()));
      }
    }
  }

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }

  void cleanup() {
    m_driver.reset();
    m_f.Reset();
    m_stalls.reset();
  }

  // An edit sent while the download's image waits for its acknowledgement becomes the link's
  // newest command, so the edit's acknowledgement is the one the download hears next; it says
  // nothing about the image. Here the image is lost on the way and the edit answered: the
  // image must go again, and only once the unit has taken it may the store follow and
  // "DownLoad Success" show.
  void anEditsAcknowledgementDoesNotStandInForTheImage() {
    LoopbackUnit& unit = m_f.StartUnit();
    m_f.MakeWindow();
    m_f.SearchAndConnect();
    if (QTest::currentTestFailed()) return;
    ParameterImage& image = window()->image();
    // Settings the unit does not hold yet: they reach it only with the image.
    for (int input = 0; input < 5; ++input) image.setPresetLevel(input, static_cast<std::uint8_t>(91 - input));
    QVERIFY(unit.image() != image);

    unit.ClearFrames();
    unit.DropNext(static_cast<int>(frame::Command::BlockWrite));
    Item("N20")->trigger();
    QCOMPARE(m_f.Status(0), QStringLiteral("DownLoad.."));
    auto* bar = m_f.Control<QSlider>("suiTrackBar6", window()->outputDrawerContent());
    bar->setValue(bar->value() == bar->maximum() ? 0 : bar->value() + 1);
    QTRY_COMPARE(m_f.Status(0), kDownloadSuccess);

    struct Heard {
      int command;
      int address;
      QString outcome;
      bool operator==(const Heard&) const = default;
    };
    QList<Heard> heard;
    for (const LoopbackUnit::Frame& f : unit.frames()) heard.append({f.command, f.address, f.outcome});
    const QString answered = QStringLiteral("answered");
    const QList<Heard> expected{{16, 0, QStringLiteral("dropped")},
                                {6, WriteSpanFor(EditedField::outputLevel, 0).address, answered},
                                {16, 0, answered},
                                {6, frame::kSaveCommandAddress, answered}};
    QVERIFY2(heard == expected, "the unit did not hear: the lost image, the edit, the image again, the store");
    QVERIFY2(unit.image() == image, "\"DownLoad Success\" while the unit holds another image");
  }

  void faults_data() {
    QTest::addColumn<int>("index");
    for (int i = 0; i < Cases().size(); ++i) QTest::newRow(Cases()[i].name) << i;
  }

  void faults() {
    QFETCH(int, index);
    const FaultCase& c = Cases()[index];
    m_stateDir = m_f.Path(QStringLiteral("units-%1").arg(index));
    QVERIFY(QDir().mkpath(m_stateDir));
    m_unsoundSuccesses.clear();
    m_f.WriteConfig(c.searchTimeMs);

    // Connected to a healthy unit first.
    StartSim({});
    MakeWindow(c.timeoutMs);
    m_stalls = std::make_unique<StallMeter>();
    QVERIFY2(m_driver->SearchAndConnect(), qPrintable(m_driver->error()));

    // The faulty unit takes its place with settings of its own, so that its late or stray
    // answers would show in the image.
    ParameterImage unitImage = window()->image();
    for (int input = 0; input < 8; ++input) unitImage.setFaderLevel(input, static_cast<std::uint8_t>(90 - input));
    QCOMPARE(SaveProjectFile(m_driver->StoredImagePath(m_stateDir).toStdString(), unitImage), FileResult::Ok);
    StartSim(c.faultArgs);

    int timeOuts = 0;
    qint64 longestFailMs = 0;
    for (int i = 0; i < c.steps.size(); ++i) {
      RunStep(c, c.steps[i], i, &timeOuts, &longestFailMs);
      if (QTest::currentTestFailed()) return;
    }
    // A case with loss must have met some, or it proved nothing about them.
    QVERIFY(timeOuts > 0);

    // Later, a search finds the unit (the healthy one again where the faulty one cannot be
    // found), the window connects, and a download lands.
    if (!c.searchable) StartSim({});
    QVERIFY2(m_driver->SearchAndConnect(), qPrintable(m_driver->error()));
    bool stored = false;
    for (int attempt = 0; attempt < 20 && !stored; ++attempt) {
      const ParameterImage project = NextProject();
      Item("N3")->trigger();
      QVERIFY(window()->image() == project);
      const int before = m_driver->downloadSuccesses();
      Item("N20")->trigger();
      const WindowDriver::Outcome outcome = m_driver->WaitExchange();
      QVERIFY(outcome != WindowDriver::Outcome::Stuck);
      if (outcome == WindowDriver::Outcome::Answered) {
        QCOMPARE(m_driver->status0(), kDownloadSuccess);
        QCOMPARE(m_driver->downloadSuccesses(), before + 1);
        QVERIFY(m_driver->StoredImage(m_stateDir) == std::optional<ParameterImage>(project));
        stored = true;
      } else {
        QCOMPARE(m_driver->status0(), kConnectFail);
        QVERIFY2(m_driver->SearchAndConnect(), qPrintable(m_driver->error()));
      }
    }
    QVERIFY(stored);
    QVERIFY2(m_unsoundSuccesses.isEmpty(), qPrintable(m_unsoundSuccesses.join(QStringLiteral("; "))));
    qInfo("%s: %d of %d commands ended in \"Connect Fail!\", at most %lld ms after they left (Timer2 %d ms); "
          "%d searches; longest event-loop stall %.1f ms",
          c.name, timeOuts, int(c.steps.size()), longestFailMs, c.timeoutMs, m_driver->searches(),
          m_stalls->longestGapMsExact());
  }
};

QTEST_MAIN(FaultWindowTest)
#include "FaultWindowTest.moc"
