// Unsaved work in the file and in the unit, as an installer meets it: the real window
// offscreen, real project files in a temporary folder, the in-process unit on loopback. The
// title marks changes not in the project file; New, Open and closing ask first (Save / Don't
// Save / Cancel), and Cancel leaves everything as it was. Edits sent to the unit that it has
// not stored show in the status bar, and disconnecting or closing asks to store them first.

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

#include "files/ProjectFile.h"
#include "model/ParameterImage.h"
#include "support/WindowFixture.h"
#include "ui/CaptionTable.h"
#include "ui/output/OutputDrawer.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/window/SideChannel.h"
#include "ui/window/UnsavedWorkQuestions.h"
#include "ui/Skin.h"
#include "workspace/EditHistory.h"
#include "workspace/Workspace.h"

using namespace mzr;
using mzr::test::LoopbackUnit;
using mzr::test::U;
using mzr::test::WindowFixture;
using Answer = UnsavedWorkQuestions::Answer;
using Question = UnsavedWorkQuestions::Question;

Q_DECLARE_METATYPE(Answer)

namespace {

// The writes as "command @address", for the order of a download.
QStringList Writes(const QList<LoopbackUnit::Frame>& frames) {
  QStringList texts;
  for (const auto& f : LoopbackUnit::Writes(frames)) texts << QStringLiteral("%1 @%2").arg(f.command).arg(f.address);
  return texts;
}

}  // namespace

class UnsavedWorkTest final : public QObject {
  Q_OBJECT

  WindowFixture m_f{400};
  QList<Question> m_asked;

  MainWindow& w() { return m_f.window(); }
  // Answers every question with answer and notes what was asked.
  void AnswerWith(Answer answer) {
    w().questions().setAsker([this, answer](Question q, const QString&) {
      m_asked << q;
      return answer;
    });
  }
  void ClickMute(int slot) {
    QTest::mouseClick(w().outputDrawerContent()->muteButton(slot), Qt::LeftButton);
    QCoreApplication::processEvents();
  }

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }
  void init() { m_asked.clear(); }
  void cleanup() { m_f.Reset(); }

  // The mark follows the bytes: an edit sets it, its undo clears it, Save As clears it and
  // names the file.
  void theTitleMarksChangesNotInTheFile() {
    m_f.MakeWindow();
    w().outputDrawer()->setPinned(true);
    const QString title0 = CaptionTable::Text(0, 0);
    const QString shown = w().windowTitle();  // the long form, with the version, after the first show
    QVERIFY(shown.endsWith(U("   Untitle.KVdat")));
    ClickMute(0);
    QCOMPARE(w().windowTitle(), shown + U("*"));
    m_f.Item("UndoItem")->trigger();
    QCOMPARE(w().windowTitle(), shown);
    m_f.Item("RedoItem")->trigger();
    const QString path = m_f.Path(QStringLiteral("hall.kvdat"));
    w().files().setPathProvider({[] { return QString(); }, [path] { return path; }});
    m_f.Item("N5")->trigger();
    QCOMPARE(w().windowTitle(), title0 + U("   ") + path);
    m_f.Item("Endlish1")->trigger();  // the long form after a language change keeps the mark
    ClickMute(1);
    QVERIFY(w().windowTitle().endsWith(path + U("*")));
    m_f.Item("N4")->trigger();
    QVERIFY(w().windowTitle().endsWith(path));
  }

  // New, Open and close with and without unsaved changes, and each answer's effect.
  void newOpenAndCloseAskFirst_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<Answer>("answer");
    for (const char* action : {"New", "Open", "close"}) {
      QTest::addRow("%s, nothing unsaved", action) << QString::fromLatin1(action) << false << Answer::Cancel;
      QTest::addRow("%s, Save", action) << QString::fromLatin1(action) << true << Answer::Save;
      QTest::addRow("%s, Don't Save", action) << QString::fromLatin1(action) << true << Answer::Discard;
      QTest::addRow("%s, Cancel", action) << QString::fromLatin1(action) << true << Answer::Cancel;
    }
  }
  void newOpenAndCloseAskFirst() {
    QFETCH(QString, action);
    QFETCH(bool, unsaved);
    QFETCH(Answer, answer);
    ParameterImage other;
    other.ApplyNewProjectDefaults();
    other.setOutputLevel(5, 20);
    const QString otherPath = m_f.Path(QStringLiteral("other.kvdat"));
    QCOMPARE(SaveProjectFile(otherPath.toStdString(), other), FileResult::Ok);
    const QString savePath = m_f.Path(QStringLiteral("saved.kvdat"));
    QFile::remove(savePath);

    m_f.MakeWindow();
    w().outputDrawer()->setPinned(true);
    w().files().setPathProvider({[otherPath] { return otherPath; }, [savePath] { return savePath; }});
    AnswerWith(answer);
    if (unsaved) ClickMute(2);
    const ParameterImage edited = m_f.image();
    const QString titleBefore = w().windowTitle();

    bool closed = false;
    if (action == QStringLiteral("New")) m_f.Item("N2")->trigger();
    if (action == QStringLiteral("Open")) m_f.Item("N3")->trigger();
    if (action == QStringLiteral("close")) closed = w().close();

    QCOMPARE(m_asked, unsaved ? QList<Question>{Question::SaveFile} : QList<Question>{});
    // Save on an untitled project asks where (Save As) and writes the file.
    const bool saved = unsaved && answer == Answer::Save;
    QCOMPARE(QFile::exists(savePath), saved);
    if (saved) {
      ParameterImage written;
      QCOMPARE(LoadProjectFile(savePath.toStdString(), written), FileResult::Ok);
      QVERIFY(written == edited);
    }
    const bool goesOn = !unsaved || answer != Answer::Cancel;
    if (!goesOn) {
      // Cancel: the image, the title, the history and the window as they were.
      QVERIFY(m_f.image() == edited);
      QCOMPARE(w().windowTitle(), titleBefore);
      QVERIFY(w().workspace().history().canUndo());
      QVERIFY(w().isVisible());
      QVERIFY(!closed);
      return;
    }
    if (action == QStringLiteral("New")) {
      QCOMPARE(QString::fromStdString(w().document().currentName().string()), U("Untitle.KVdat"));
      QVERIFY(!w().workspace().history().canUndo());
      QVERIFY(!w().windowTitle().endsWith(U("*")));
    }
    if (action == QStringLiteral("Open")) QVERIFY(m_f.image() == other);
    if (action == QStringLiteral("close")) {
      QVERIFY(closed);
      QVERIFY(!w().isVisible());
    }
  }

  // A failed or refused save stops the action: nothing is lost.
  void aSaveThatDoesNotHappenStopsTheAction() {
    m_f.MakeWindow();
    w().outputDrawer()->setPinned(true);
    AnswerWith(Answer::Save);
    ClickMute(0);
    const ParameterImage edited = m_f.image();
    w().files().setPathProvider({[] { return QString(); }, [] { return QString(); }});  // Save As cancelled
    QVERIFY(!w().close());
    w().files().setPathProvider({[] { return QString(); }, [this] { return m_f.Path(QStringLiteral("no/such/x.kvdat")); }});
    m_f.Item("N2")->trigger();
    QCOMPARE(m_f.Status(0), U("Can't write this file!"));
    QVERIFY(m_f.image() == edited);
    QVERIFY(w().isVisible());
  }

  // Edits sent to the unit and not stored: the status bar says so until a download stores
  // them; disconnecting and closing ask.
  void theUnitsUnstoredEditsShowAndAreStoredOnRequest() {
    m_f.StartUnit();
    m_f.MakeWindow();
    w().outputDrawer()->setPinned(true);
    m_f.SearchAndConnect();
    QLabel* mark = w().unitUnsavedMark();
    QVERIFY(!mark->isVisible());
    ClickMute(0);
    QVERIFY(w().workspace().unitUnsaved());
    QVERIFY(mark->isVisible());
    QCOMPARE(mark->text(), U("设备未存储"));
    m_f.Item("Endlish1")->trigger();
    QCOMPARE(mark->text(), U("Not stored in unit"));
    m_f.Item("N20")->trigger();  // File > Download stores
    QTRY_VERIFY(!w().workspace().unitUnsaved());
    QVERIFY(!mark->isVisible());
    // An undo sends too.
    m_f.Item("UndoItem")->trigger();
    QVERIFY(w().workspace().unitUnsaved());
    // A read all replaces the image with the unit's stored-or-not state: nothing to ask.
    m_f.ReadAll();
    QVERIFY(!w().workspace().unitUnsaved());
  }

  void disconnectAndCloseAskToStore_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("unsaved");
    QTest::addColumn<Answer>("answer");
    for (const char* action : {"disconnect", "close"}) {
      QTest::addRow("%s, nothing unstored", action) << QString::fromLatin1(action) << false << Answer::Cancel;
      QTest::addRow("%s, Store", action) << QString::fromLatin1(action) << true << Answer::Save;
      QTest::addRow("%s, Don't Store", action) << QString::fromLatin1(action) << true << Answer::Discard;
      QTest::addRow("%s, Cancel", action) << QString::fromLatin1(action) << true << Answer::Cancel;
    }
  }
  void disconnectAndCloseAskToStore() {
    QFETCH(QString, action);
    QFETCH(bool, unsaved);
    QFETCH(Answer, answer);
    m_f.StartUnit();
    m_f.MakeWindow();
    w().outputDrawer()->setPinned(true);
    m_f.SearchAndConnect();
    if (unsaved) ClickMute(4);
    // The file question is not this test's: its answer lets the close go on.
    w().questions().setAsker([this, answer](Question q, const QString&) {
      m_asked << q;
      return q == Question::StoreInUnit ? answer : Answer::Discard;
    });
    m_f.unit().ClearFrames();

    bool closed = false;
    if (action == QStringLiteral("disconnect")) m_f.Item("N18")->trigger();
    if (action == QStringLiteral("close")) closed = w().close();
    if (unsaved) QCOMPARE(m_asked.value(0), Question::StoreInUnit);
    if (!unsaved) QVERIFY(!m_asked.contains(Question::StoreInUnit));

    if (unsaved && answer == Answer::Cancel) {
      QCOMPARE(m_f.state().connected, 1);
      QVERIFY(w().isVisible());
      QVERIFY(!closed);
      QVERIFY(w().workspace().unitUnsaved());
      QCOMPARE(Writes(m_f.unit().TakeFrames()), QStringList{});
      return;
    }
    if (unsaved && answer == Answer::Save) {
      // The image goes whole, then the store; only its acknowledgement lets the action go on.
      QTRY_VERIFY(action == QStringLiteral("close") ? !w().isVisible() : m_f.state().connected == 0);
      QCOMPARE(Writes(m_f.unit().TakeFrames()), (QStringList{U("16 @0"), U("6 @3000")}));
      m_f.unit().Pump();
      QCOMPARE(int(m_f.unit().image().muteMask()), int(m_f.image().muteMask()));
      return;
    }
    QCOMPARE(Writes(m_f.unit().TakeFrames()), QStringList{});
    if (action == QStringLiteral("close")) QVERIFY(closed);
    if (action == QStringLiteral("disconnect")) QCOMPARE(m_f.state().connected, 0);
  }

  // The real message boxes: their texts and buttons in the current language, and a click on
  // Cancel leaves everything as it was.
  void theRealBoxesSpeakTheLanguageAndCancelKeepsEverything_data() {
    QTest::addColumn<int>("language");
    QTest::addRow("Chinese") << 0;
    QTest::addRow("English") << 1;
  }
  void theRealBoxesSpeakTheLanguageAndCancelKeepsEverything() {
    QFETCH(int, language);
    m_f.StartUnit();
    m_f.MakeWindow();
    w().outputDrawer()->setPinned(true);
    m_f.SearchAndConnect();
    m_f.Item(language == 0 ? "N24" : "Endlish1")->trigger();
    w().questions().setAsker([this](Question q, const QString& text) {
      return UnsavedWorkQuestions::AskWithBox(&w(), m_f.state(), q, text);
    });
    ClickMute(1);
    const ParameterImage edited = m_f.image();

    QStringList seen;
    const auto clickCancel = [&seen] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      seen << box->objectName() << box->text();
      for (QAbstractButton* b : box->buttons()) seen << b->text();
      box->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
    };
    QTimer::singleShot(0, this, clickCancel);
    m_f.Item("N2")->trigger();
    QTimer::singleShot(0, this, clickCancel);
    m_f.Item("N18")->trigger();

    const QStringList expected =
        language == 0 ? QStringList{U("saveFileQuestion"), U("项目 Untitle.KVdat 有未保存的修改。是否保存？")}
                      : QStringList{U("saveFileQuestion"), U("The project Untitle.KVdat has changes that are not saved. Save them?")};
    QCOMPARE(seen.mid(0, 2), expected);
    const QStringList fileButtons = language == 0 ? QStringList{U("保存"), U("不保存"), U("取消")}
                                                  : QStringList{U("Save"), U("Don't Save"), U("Cancel")};
    for (const QString& b : fileButtons) QVERIFY2(seen.mid(2, 3).contains(b), qPrintable(b));
    QVERIFY(seen.contains(U("storeInUnitQuestion")));
    QVERIFY(seen.contains(language == 0 ? U("存入设备") : U("Store")));
    QVERIFY(seen.contains(language == 0 ? U("不存入") : U("Don't Store")));
    QVERIFY(m_f.image() == edited);
    QCOMPARE(m_f.state().connected, 1);
    QVERIFY(w().workspace().unitUnsaved());
  }
};

QTEST_MAIN(UnsavedWorkTest)
#include "UnsavedWorkTest.moc"
