// The intents and the two ways the edit operation carries their plans out, with no widget:
// the workspace talks to the simulator's own unit on loopback (LoopbackUnit), which records
// every frame it hears. An input change sends the faders before the input, at once and
// queued alike; a fit is one undo step that one Undo takes back whole; a queued plan whose
// frame the unit never hears ends with the count of acknowledged frames, and nothing after
// the lost frame leaves.

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "link/EditOperation.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "support/LoopbackUnit.h"
#include "support/SimProcess.h"
#include "workspace/EditHistory.h"
#include "workspace/EditIntents.h"
#include "workspace/Workspace.h"

using namespace mzr;
using mzr::test::LoopbackUnit;

namespace {

constexpr int kWrite = static_cast<int>(frame::Command::Write);
constexpr int kBlockWrite = static_cast<int>(frame::Command::BlockWrite);
// Long where an answer is expected, so a loaded machine cannot turn it into a time-out; short
// where the test waits for one.
constexpr int kLongTimeoutMs = 60000;
constexpr int kShortTimeoutMs = 300;

QByteArray BytesAt(const ParameterImage& image, int address, int count) {
  const auto bytes = image.Bytes(static_cast<std::size_t>(address), static_cast<std::size_t>(count));
  return QByteArray(reinterpret_cast<const char*>(bytes->data()), count);
}

}  // namespace

class EditIntentsTest final : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<LoopbackUnit> m_unit;
  std::unique_ptr<Workspace> m_workspace;

  // A workspace connected to the unit at 127.0.0.2, its image the unit's.
  void Connect(int timeoutMs = kLongTimeoutMs) {
    m_workspace.reset();
    m_unit.reset();
    const quint16 port = test::FreeUdpPort();
    m_unit = std::make_unique<LoopbackUnit>(port);
    QVERIFY(m_unit->bound());
    Workspace::Options options;
    options.udpPort = port;
    options.bindAddress = QStringLiteral("127.0.0.1");
    options.linkTimeoutMs = timeoutMs;
    m_workspace = std::make_unique<Workspace>(options);
    QString error;
    QVERIFY2(m_workspace->link().Open(&error), qPrintable(error));
    m_workspace->state().networkMode = 1;
    m_workspace->state().connected = 1;
    m_workspace->link().setRemoteAddress(m_unit->address());
    m_workspace->image() = m_unit->image();
  }

  // Carries plan out through the queue and waits until it ends.
  PlanOutcome RunQueued(EditPlan plan) {
    QSignalSpy finished(&m_workspace->edits(), &EditOperation::planFinished);
    const quint64 ticket = m_workspace->edits().Enqueue(std::move(plan));
    if (finished.isEmpty()) finished.wait(10000);
    if (finished.isEmpty()) return {false, -1, -1, QStringLiteral("the plan never ended")};
    const QList<QVariant> last = finished.takeLast();
    if (last.at(0).toULongLong() != ticket) return {false, -1, -1, QStringLiteral("another plan ended")};
    return last.at(1).value<PlanOutcome>();
  }

  void Carry(const EditPlan& plan, bool queued) {
    if (queued) {
      const PlanOutcome outcome = RunQueued(plan);
      QVERIFY2(outcome.done, qPrintable(outcome.error));
    } else {
      QVERIFY(m_workspace->edits().Carry(plan));
    }
  }

 private slots:
  void cleanup() {
    m_workspace.reset();
    m_unit.reset();
  }

  // The window's input buttons send the faders first when the fader moves to another level
  // for the new input (its refresh moves the fader, whose handler sends), then the input.
  void anInputChangeSendsTheFadersFirst_data() {
    QTest::addColumn<bool>("queued");
    QTest::addColumn<int>("fromLevel");  // input 0's fader level, chosen before
    QTest::addColumn<int>("toLevel");    // input 2's
    QTest::addColumn<int>("shown");      // the level the fader shows and stores for input 2
    QTest::addColumn<bool>("fadersSent");
    for (const bool queued : {false, true}) {
      const char* how = queued ? "queued" : "at once";
      QTest::addRow("%s, another level", how) << queued << 30 << 70 << 70 << true;
      QTest::addRow("%s, the same level", how) << queued << 40 << 40 << 40 << false;
      QTest::addRow("%s, a level past the fader's range", how) << queued << 30 << 200 << 100 << true;
    }
  }
  void anInputChangeSendsTheFadersFirst() {
    QFETCH(bool, queued);
    QFETCH(int, fromLevel);
    QFETCH(int, toLevel);
    QFETCH(int, shown);
    QFETCH(bool, fadersSent);
    Connect();
    ParameterImage& image = m_workspace->image();
    image.setInputSource(0);
    image.setTestSignalMask(0);
    image.setFaderLevel(0, static_cast<std::uint8_t>(fromLevel));
    image.setFaderLevel(2, static_cast<std::uint8_t>(toLevel));
    m_unit->ClearFrames();

    Carry(m_workspace->intents().ChooseInput(2), queued);

    QCOMPARE(image.inputSource(), 2);
    QCOMPARE(int{image.faderLevel(2)}, shown);
    QCOMPARE(int{image.faderLevel(0)}, fromLevel);
    QTRY_COMPARE(m_unit->frames().size(), fadersSent ? 2 : 1);
    const QList<LoopbackUnit::Frame> frames = m_unit->TakeFrames();
    if (fadersSent) {
      QCOMPARE(frames[0].command, kWrite);
      QCOMPARE(frames[0].address, 823);
      QCOMPARE(frames[0].count, 8);
      QCOMPARE(frames[0].data, BytesAt(image, 823, 8));
      QCOMPARE(int{static_cast<std::uint8_t>(frames[0].data[2])}, shown);
    }
    const LoopbackUnit::Frame& input = frames.back();
    QCOMPARE(input.command, kWrite);
    QCOMPARE(input.address, 822);
    QCOMPARE(input.count, 5);
    QCOMPARE(input.data, BytesAt(image, 822, 5));
    QCOMPARE(input.data[0], char{2});
  }

  // Every field a fit changed is one undo step: one Undo puts each back, sending its span.
  void aFitIsOneUndoStep_data() {
    QTest::addColumn<bool>("queued");
    QTest::newRow("at once") << false;
    QTest::newRow("queued") << true;
  }
  void aFitIsOneUndoStep() {
    QFETCH(bool, queued);
    Connect();
    const ParameterImage original = m_workspace->image();
    ParameterImage fit = original;
    fit.setGeqGain(0, 3, -45);
    fit.setGeqGain(0, 14, 25);
    fit.setGeqGain(0, 26, 60);
    ToneControl tone = fit.toneControl(0);
    tone.bassGain = static_cast<std::int8_t>(tone.bassGain + 3);
    fit.setToneControl(0, tone);
    const std::vector<AlignedEdit> edits{{EditedField::geqGain, 3, "geqGain[0][3]"},
                                         {EditedField::geqGain, 14, "geqGain[0][14]"},
                                         {EditedField::geqGain, 26, "geqGain[0][26]"},
                                         {EditedField::toneBass, 0, "toneControl[0].bass"}};
    EditHistory& history = m_workspace->history();
    m_unit->ClearFrames();

    Carry(m_workspace->intents().ApplyFit(edits, fit), queued);

    QCOMPARE(history.undoCount(), std::size_t{1});
    QVERIFY(std::ranges::equal(m_workspace->image().All(), fit.All()));
    QTRY_COMPARE(m_unit->frames().size(), 4);
    QList<int> addresses;
    for (const auto& f : m_unit->TakeFrames()) addresses << f.address;
    QCOMPARE(addresses, (QList<int>{255, 266, 278, 224}));
    QCOMPARE(m_unit->image().geqGain(0, 26), std::int8_t{60});

    QVERIFY(history.Undo());
    QVERIFY(!history.canUndo());
    QVERIFY(std::ranges::equal(m_workspace->image().All(), original.All()));
    // Undo sends every field's span again, newest first, with the old bytes.
    QTRY_COMPARE(m_unit->frames().size(), 4);
    addresses.clear();
    for (const auto& f : m_unit->TakeFrames()) addresses << f.address;
    QCOMPARE(addresses, (QList<int>{224, 278, 266, 255}));
    QTRY_COMPARE(m_unit->image().geqGain(0, 26), original.geqGain(0, 26));
  }

  // The unit never hears the second of three frames: the plan ends on the time-out, says that
  // one frame was acknowledged, and the third never leaves.
  void aLostFrameEndsTheQueuedPlan() {
    Connect(kShortTimeoutMs);
    ParameterImage& image = m_workspace->image();
    image.setInputSource(0);
    image.setTestSignalMask(0);
    image.setFaderLevel(0, 10);
    image.setFaderLevel(2, 90);
    const EditIntents& intents = m_workspace->intents();
    EditPlan plan = intents.SetField(QStringLiteral("fadeTime"), QStringLiteral("3"));  // a block write
    QVERIFY(!plan.refused());
    for (PlannedEdit& edit : intents.ChooseInput(2).edits) plan.edits.push_back(std::move(edit));  // faders, input
    m_unit->ClearFrames();
    m_unit->DropNext(kWrite);

    const PlanOutcome outcome = RunQueued(std::move(plan));

    QVERIFY(!outcome.done);
    QCOMPARE(outcome.acknowledged, 1);
    QCOMPARE(outcome.frames, 3);
    QVERIFY2(outcome.error.contains(QStringLiteral("did not answer frame 2 of 3")), qPrintable(outcome.error));
    QVERIFY2(outcome.error.contains(QStringLiteral("1 of 3 acknowledged")), qPrintable(outcome.error));
    const QList<LoopbackUnit::Frame> frames = m_unit->TakeFrames();
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0].command, kBlockWrite);
    QCOMPARE(frames[0].outcome, QStringLiteral("answered"));
    QCOMPARE(frames[1].address, 823);
    QCOMPARE(frames[1].outcome, QStringLiteral("dropped"));
    QCOMPARE(m_workspace->state().connected, 0);
  }

  // The hall measurement's generator sends the test-signal frame like the output drawer's
  // boxes, yet is no step: nothing to undo, no unsaved work, an unchanged history.
  void theMeasurementsGeneratorIsNoStep_data() { aFitIsOneUndoStep_data(); }
  void theMeasurementsGeneratorIsNoStep() {
    QFETCH(bool, queued);
    Connect();
    m_workspace->image().setTestSignalMask(0);
    QVERIFY(!m_workspace->unitUnsaved());
    m_unit->ClearFrames();

    Carry(m_workspace->intents().SetTestSignalForMeasurement(0b100, 0), queued);

    QCOMPARE(int{m_workspace->image().testSignalMask()}, 0b100);
    QTRY_COMPARE(m_unit->frames().size(), 1);
    const LoopbackUnit::Frame frame = m_unit->TakeFrames().front();
    QCOMPARE(frame.address, 831);
    QCOMPARE(frame.data, BytesAt(m_workspace->image(), 831, 2));
    QTRY_COMPARE(int{m_unit->image().testSignalMask()}, 0b100);
    QVERIFY(!m_workspace->history().canUndo());
    QVERIFY(!m_workspace->unitUnsaved());
    // The same field through an editor's plan is a step and unsaved work.
    Carry(m_workspace->intents().SetField(QStringLiteral("testSignalMask"), QStringLiteral("0")), queued);
    QVERIFY(m_workspace->history().canUndo());
    QVERIFY(m_workspace->unitUnsaved());
  }

  // A refused intent changes nothing and sends nothing, carried at once or queued; the
  // queue still ends it, with the refusal.
  void aRefusedIntentChangesNothing_data() {
    QTest::addColumn<QString>("intent");
    QTest::addColumn<QString>("reason");
    QTest::newRow("input while a test signal plays") << QStringLiteral("input") << QStringLiteral("test signal");
    QTest::newRow("fader with no input chosen") << QStringLiteral("fader") << QStringLiteral("no input is chosen");
    QTest::newRow("unknown field") << QStringLiteral("field") << QStringLiteral("unknown field");
    QTest::newRow("band past the last") << QStringLiteral("band") << QStringLiteral("does not exist");
  }
  void aRefusedIntentChangesNothing() {
    QFETCH(QString, intent);
    QFETCH(QString, reason);
    Connect();
    ParameterImage& image = m_workspace->image();
    image.setTestSignalMask(intent == QLatin1String("input") ? 1 : 0);
    if (intent == QLatin1String("fader")) image.setInputSource(9);
    const ParameterImage before = image;
    const EditIntents& intents = m_workspace->intents();
    const EditPlan plan = intent == QLatin1String("input")   ? intents.ChooseInput(1)
                          : intent == QLatin1String("fader") ? intents.SetFader(50)
                          : intent == QLatin1String("field") ? intents.SetField(QStringLiteral("noSuchField"), QStringLiteral("1"))
                                                             : intents.SetBandGain(0, kGeqBands, 10);
    QVERIFY(plan.refused());
    QVERIFY2(plan.refusal->contains(reason), qPrintable(*plan.refusal));
    m_unit->ClearFrames();
    QVERIFY(!m_workspace->edits().Carry(plan));
    const PlanOutcome outcome = RunQueued(plan);
    QVERIFY(!outcome.done);
    QCOMPARE(outcome.error, *plan.refusal);
    QVERIFY(std::ranges::equal(image.All(), before.All()));
    QVERIFY(!m_workspace->history().canUndo());
    QVERIFY(m_unit->frames().isEmpty());
  }
};

QTEST_GUILESS_MAIN(EditIntentsTest)
#include "EditIntentsTest.moc"
