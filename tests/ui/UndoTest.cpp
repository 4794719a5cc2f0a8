// Undo and redo as an installer uses them: the real window offscreen on 127.0.0.1, a unit
// played on loopback by the in-process unit (which records every frame it hears). Each
// gesture is one step; Ctrl+Z puts the image back and, while connected, the unit hears the
// same frame an editor sends for that field, with the bytes as they were, and nothing else;
// Ctrl+Y and Ctrl+Shift+Z do it again. The history is cleared when the whole image is
// replaced and holds at most 1,000 steps.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include <functional>
#include <vector>

#include "files/ProjectFile.h"
#include "link/EditOperation.h"
#include "model/ParameterImage.h"
#include "support/WindowFixture.h"
#include "ui/dialogs/TheaterProfileDialog.h"
#include "ui/equalizer/EqualizerPage.h"
#include "ui/output/OutputDrawer.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"
#include "workspace/EditHistory.h"
#include "workspace/Workspace.h"

using namespace mzr;
using mzr::test::LoopbackUnit;
using mzr::test::U;
using mzr::test::WindowFixture;

namespace {

// A write as "address: bytes", for readable comparisons.
QStringList Texts(const QList<LoopbackUnit::Frame>& frames) {
  QStringList texts;
  for (const auto& f : LoopbackUnit::Writes(frames)) {
    texts << QStringLiteral("%1 @%2: %3").arg(f.command).arg(f.address).arg(QString::fromLatin1(f.data.toHex(' ')));
  }
  return texts;
}

QStringList L(const std::vector<const char*>& texts) {
  QStringList list;
  for (const char* t : texts) list << QString::fromLatin1(t);
  return list;
}

std::vector<std::uint8_t> Snapshot(const ParameterImage& image) { return {image.All().begin(), image.All().end()}; }

// The unit's image: New's defaults with two shaped bands on the left channel, so that Flat
// has something to flatten.
ParameterImage UnitImage() {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  image.setGeqGain(0, 3, 20);
  image.setGeqGain(0, 10, -30);
  return image;
}

}  // namespace

class UndoTest final : public QObject {
  Q_OBJECT

 public:
  struct Case {
    const char* name;
    std::function<void(UndoTest&)> gesture;
    std::vector<const char*> editFrames;  // while connected
    std::vector<const char*> undoFrames;
    std::vector<const char*> redoFrames;
    std::function<void(UndoTest&, bool undone)> shown;  // what the controls show
  };

 private:
  WindowFixture m_f{400};

  MainWindow& w() { return m_f.window(); }
  AppState& state() { return m_f.state(); }
  OutputDrawer* drawer() { return w().outputDrawerContent(); }
  EditHistory& history() { return w().workspace().history(); }
  void Settle() { QCoreApplication::processEvents(); }  // the gesture closes after the release
  // A shortcut reaches the window it was pressed in, which must be the active one.
  void Key(QKeySequence keys) {
    w().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w()));
    QTest::keySequence(&w(), keys);
    Settle();
  }

  // Where the bar's handle is, as the style draws it.
  static QPoint HandleCentre(QSlider* bar) {
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.subControls = QStyle::SC_None;
    option.activeSubControls = QStyle::SC_None;
    option.orientation = bar->orientation();
    option.maximum = bar->maximum();
    option.minimum = bar->minimum();
    option.tickPosition = bar->tickPosition();
    option.tickInterval = bar->tickInterval();
    option.upsideDown = bar->orientation() == Qt::Horizontal ? bar->invertedAppearance() : !bar->invertedAppearance();
    option.direction = Qt::LeftToRight;
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    return bar->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, bar).center();
  }

  // A drag: pressed on the bar's handle, moved through values, released.
  void Drag(QSlider* bar, std::initializer_list<int> values) {
    const QPoint handle = HandleCentre(bar);
    QTest::mousePress(bar, Qt::LeftButton, {}, handle);
    for (int v : values) bar->setValue(v);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, HandleCentre(bar));
    Settle();
  }

  static const std::vector<Case>& Cases() {
    static const std::vector<Case> cases{
        {"output level bar dragged through three values",
         [](UndoTest& t) { t.Drag(t.drawer()->levelBar(0), {20, 22, 24}); },
         {"6 @198: 28", "6 @198: 26", "6 @198: 24"},  // stored = 60 - position
         {"6 @198: 2c"},
         {"6 @198: 24"},
         [](UndoTest& t, bool undone) {
           QCOMPARE(t.drawer()->levelBar(0)->value(), undone ? 60 - 44 : 24);
           QCOMPARE(t.drawer()->levelText(0)->text(), undone ? U("0.0dB") : U("-4.0dB"));
         }},
        {"polarity button clicked",
         [](UndoTest& t) { QTest::mouseClick(t.drawer()->polarityButton(1), Qt::LeftButton); },
         {"6 @214: 02"},
         {"6 @214: 00"},
         {"6 @214: 02"},
         [](UndoTest& t, bool undone) { QCOMPARE(t.drawer()->polarityButton(1)->isChecked(), !undone); }},
        {"test-signal box ticked",
         [](UndoTest& t) { QTest::mouseClick(t.drawer()->testBox(2), Qt::LeftButton); },
         {"6 @831: 04 00"},
         {"6 @831: 00 00"},
         {"6 @831: 04 00"},
         [](UndoTest& t, bool undone) { QCOMPARE(t.drawer()->testBox(2)->isChecked(), !undone); }},
        {"Flat on the left tab",
         [](UndoTest& t) { QTest::mouseClick(t.m_f.Control<QPushButton>("suiButton22"), Qt::LeftButton); },
         {"6 @255: 00", "6 @262: 00"},
         {"6 @262: e2", "6 @255: 14"},  // taken back in reverse order
         {"6 @255: 00", "6 @262: 00"},
         [](UndoTest& t, bool undone) { QCOMPARE(t.image().geqGain(0, 3), undone ? 20 : 0); }},
        {"delay bar stepped three times with the arrow keys",
         [](UndoTest& t) {
           QSlider* bar = t.drawer()->delayBar(4);
           bar->setFocus();
           for (int i = 0; i < 3; ++i) QTest::keyClick(bar, Qt::Key_Up);
           t.Settle();
         },
         {"6 @210: 01", "6 @210: 02", "6 @210: 03"},
         {"6 @210: 00"},
         {"6 @210: 03"},
         [](UndoTest& t, bool undone) { QCOMPARE(int(t.image().outputDelay(4)), undone ? 0 : 3); }},
    };
    return cases;
  }

 public:
  ParameterImage& image() { return m_f.image(); }

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }
  void cleanup() { m_f.Reset(); }

  void eachGestureIsOneStepWithTheEditorsFrames_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("connected");
    for (int i = 0; i < static_cast<int>(Cases().size()); ++i) {
      QTest::addRow("%s, connected", Cases()[std::size_t(i)].name) << i << true;
      QTest::addRow("%s, not connected", Cases()[std::size_t(i)].name) << i << false;
    }
  }
  void eachGestureIsOneStepWithTheEditorsFrames() {
    QFETCH(int, index);
    QFETCH(bool, connected);
    const Case& c = Cases()[std::size_t(index)];
    m_f.StartUnit().SetImage(UnitImage());
    m_f.MakeWindow();
    w().outputDrawer()->setPinned(true);
    m_f.SearchAndConnect();
    if (!connected) m_f.Item("N18")->trigger();
    QVERIFY(!history().canUndo());
    m_f.unit().ClearFrames();

    const auto before = Snapshot(image());
    c.gesture(*this);
    Settle();
    const auto after = Snapshot(image());
    QVERIFY(before != after);
    QCOMPARE(Texts(m_f.unit().TakeFrames()), connected ? L(c.editFrames) : QStringList{});
    QCOMPARE(history().undoCount(), std::size_t{1});

    Key(QKeySequence(U("Ctrl+Z")));
    QVERIFY(Snapshot(image()) == before);
    QCOMPARE(Texts(m_f.unit().TakeFrames()), connected ? L(c.undoFrames) : QStringList{});
    c.shown(*this, true);
    QVERIFY(!history().canUndo());

    Key(QKeySequence(U("Ctrl+Y")));
    QVERIFY(Snapshot(image()) == after);
    QCOMPARE(Texts(m_f.unit().TakeFrames()), connected ? L(c.redoFrames) : QStringList{});
    c.shown(*this, false);

    // Ctrl+Shift+Z redoes too, after another undo; the unit then holds what the window shows.
    Key(QKeySequence(U("Ctrl+Z")));
    Key(QKeySequence(U("Ctrl+Shift+Z")));
    QVERIFY(Snapshot(image()) == after);
    if (connected) {
      m_f.unit().Pump();
      QVERIFY(m_f.unit().image() == image());
    }
    QCOMPARE(state().refreshing, 0);
  }

  // Typing into a profile text is one step (a series on one slot); the undo restores the
  // slot and the edit, and sends nothing (profile texts travel with downloads and files).
  void profileTextTypingIsOneStepAndSendsNothing() {
    m_f.StartUnit().SetImage(UnitImage());
    m_f.MakeWindow();
    m_f.SearchAndConnect();
    m_f.Item("N22")->trigger();
    QLineEdit* theater = m_f.Control<QLineEdit>("Edit4", w().profileDialog());
    const QString old = theater->text();
    const auto before = Snapshot(image());
    m_f.unit().ClearFrames();
    QTest::keyClick(theater, Qt::Key_End);
    QTest::keyClicks(theater, QStringLiteral("Hall 7"));
    QCOMPARE(QString::fromStdString(image().Text(TextField::theaterName)), old + QStringLiteral("Hall 7"));
    QCOMPARE(history().undoCount(), std::size_t{1});

    m_f.Item("UndoItem")->trigger();
    QVERIFY(Snapshot(image()) == before);
    QCOMPARE(theater->text(), old);
    m_f.Item("RedoItem")->trigger();
    QCOMPARE(theater->text(), old + QStringLiteral("Hall 7"));
    QCOMPARE(Texts(m_f.unit().TakeFrames()), QStringList{});
    QVERIFY(!w().workspace().unitUnsaved());
  }

  // Two gestures are two steps; a new edit after an undo drops what could be redone; the
  // menu items follow what can be done.
  void stepsStackAndANewEditDropsTheRedo() {
    m_f.MakeWindow();
    w().outputDrawer()->setPinned(true);
    QVERIFY(!m_f.Item("UndoItem")->isEnabled());
    QTest::mouseClick(drawer()->muteButton(0), Qt::LeftButton);
    Settle();
    QTest::mouseClick(drawer()->muteButton(0), Qt::LeftButton);  // the same button again: its own step
    Settle();
    QCOMPARE(history().undoCount(), std::size_t{2});
    QVERIFY(m_f.Item("UndoItem")->isEnabled());
    Key(QKeySequence(U("Ctrl+Z")));
    QCOMPARE(int(image().muteMask()), 1);
    QVERIFY(m_f.Item("RedoItem")->isEnabled());
    QTest::mouseClick(drawer()->polarityButton(0), Qt::LeftButton);
    Settle();
    QVERIFY(!history().canRedo());
    QVERIFY(!m_f.Item("RedoItem")->isEnabled());
    Key(QKeySequence(U("Ctrl+Z")));
    Key(QKeySequence(U("Ctrl+Z")));
    QCOMPARE(int(image().muteMask()), 0);
    QCOMPARE(int(image().polarityMask()), 0);
  }

  // Keyboard steps on one control more than a second apart are separate steps.
  void aPauseEndsAKeyboardSeries() {
    m_f.MakeWindow();
    w().outputDrawer()->setPinned(true);
    auto now = std::chrono::steady_clock::now();
    history().setClock([&now] { return now; });
    QSlider* bar = drawer()->delayBar(0);
    bar->setFocus();
    QTest::keyClick(bar, Qt::Key_Up);
    now += std::chrono::milliseconds(900);
    QTest::keyClick(bar, Qt::Key_Up);
    now += std::chrono::milliseconds(1100);
    QTest::keyClick(bar, Qt::Key_Up);
    QCOMPARE(history().undoCount(), std::size_t{2});
    Key(QKeySequence(U("Ctrl+Z")));
    QCOMPARE(int(image().outputDelay(0)), 2);
  }

  // Connect, read all, New and Open each start a new history.
  void theHistoryIsClearedWhenTheWholeImageIsReplaced_data() {
    QTest::addColumn<QString>("event");
    for (const char* e : {"connect", "read all", "New", "Open"}) QTest::newRow(e) << QString::fromLatin1(e);
  }
  void theHistoryIsClearedWhenTheWholeImageIsReplaced() {
    QFETCH(QString, event);
    m_f.StartUnit().SetImage(UnitImage());
    m_f.MakeWindow();
    w().outputDrawer()->setPinned(true);
    const QString path = m_f.Path(QStringLiteral("p.kvdat"));
    QCOMPARE(SaveProjectFile(path.toStdString(), UnitImage()), FileResult::Ok);
    if (event == QStringLiteral("read all")) m_f.SearchAndConnect();
    QTest::mouseClick(drawer()->muteButton(3), Qt::LeftButton);
    Settle();
    QVERIFY(history().canUndo());
    if (event == QStringLiteral("connect")) m_f.SearchAndConnect();
    if (event == QStringLiteral("read all")) m_f.ReadAll();
    if (event == QStringLiteral("New")) m_f.Item("N2")->trigger();
    if (event == QStringLiteral("Open")) w().files().OpenProjectFile(path);
    QVERIFY(!history().canUndo());
    QVERIFY(!m_f.Item("UndoItem")->isEnabled());
    const auto now = Snapshot(image());
    Key(QKeySequence(U("Ctrl+Z")));
    QVERIFY(Snapshot(image()) == now);
  }

  // At most 1,000 steps: the oldest go first.
  void theHistoryKeepsTheNewestThousandSteps() {
    m_f.MakeWindow();
    EditOperation& edits = w().workspace().edits();
    // Alternating fields, so no step extends the one before it.
    for (int i = 0; i < 1005; ++i) {
      const int slot = i % 2;
      edits.Apply(EditedField::outputDelay, slot, [i, slot](ParameterImage& image) {
        image.setOutputDelay(slot, static_cast<std::uint8_t>(i / 2 + 1));
      });
    }
    QCOMPARE(history().undoCount(), EditHistory::kDefaultLimit);
    while (history().Undo()) {
    }
    // The five oldest steps stay done: delays 1, 2, 3 on output 0 and 1, 2 on output 1.
    QCOMPARE(int(image().outputDelay(0)), 3);
    QCOMPARE(int(image().outputDelay(1)), 2);
  }
};

QTEST_MAIN(UndoTest)
#include "UndoTest.moc"
