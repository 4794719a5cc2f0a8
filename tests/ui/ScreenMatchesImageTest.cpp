// What the window shows is what the image holds and what the unit receives: the test-signal
// generator after a search and connect to a unit whose image holds another signal type, and
// the profile edits over slots with bytes GBK cannot read or with no terminator. The real
// window offscreen, the in-process unit on loopback, a real project file on disk.

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "files/ProjectFile.h"
#include "model/ParameterImage.h"
#include "support/WindowFixture.h"
#include "ui/dialogs/TheaterProfileDialog.h"
#include "ui/output/OutputDrawer.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"

using namespace mzr;
using mzr::test::LoopbackUnit;
using mzr::test::U;
using mzr::test::WindowFixture;

namespace {

QByteArray Bytes(const ParameterImage& image, int address, int count) {
  const auto all = image.All();
  return QByteArray(reinterpret_cast<const char*>(all.data()) + address, count);
}

void StoreBytes(ParameterImage& image, int address, const QByteArray& bytes) {
  QVERIFY(image.Store(static_cast<std::uint16_t>(address),
                      std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size()))));
}

}  // namespace

class ScreenMatchesImageTest final : public QObject {
  Q_OBJECT

  WindowFixture m_f{400};

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }
  void cleanup() { m_f.Reset(); }

  // A unit whose image holds type 3 (1 kHz) while the group shows pink noise: ticking a box
  // sends the type the group shows, and the image keeps it.
  void aTickedBoxSendsTheTypeTheGeneratorShows_data() {
    QTest::addColumn<int>("slot");
    QTest::addColumn<bool>("channelBox");
    QTest::addRow("left output box") << 0 << false;
    QTest::addRow("subwoofer output box") << 5 << false;
    QTest::addRow("channel page box on the left tab") << 0 << true;
  }
  void aTickedBoxSendsTheTypeTheGeneratorShows() {
    QFETCH(int, slot);
    QFETCH(bool, channelBox);
    ParameterImage unitImage;
    unitImage.ApplyNewProjectDefaults();
    unitImage.setTestSignalType(3);
    m_f.StartUnit().SetImage(unitImage);
    MainWindow& w = m_f.MakeWindow();
    w.outputDrawer()->setPinned(true);
    m_f.SearchAndConnect();
    OutputDrawer* drawer = w.outputDrawerContent();
    QVERIFY(drawer->generatorItem(0)->isChecked());
    QCOMPARE(drawer->testBox(slot)->text(), U("粉红噪声"));
    m_f.unit().ClearFrames();

    QCheckBox* box = channelBox ? m_f.Control<QCheckBox>("suiCheckBox14") : drawer->testBox(slot);
    QTest::mouseClick(box, Qt::LeftButton);
    QVERIFY(box->isChecked());

    const auto writes = LoopbackUnit::Writes(m_f.unit().TakeFrames());
    QCOMPARE(writes.size(), 1);
    QCOMPARE(writes[0].address, int(addr::testSignalMask));
    QCOMPARE(writes[0].data.toHex(' '), QByteArray::number(1 << slot, 16).rightJustified(2, '0') + " 00");
    QCOMPARE(int(m_f.image().testSignalType()), 0);
    QCOMPARE(int(m_f.unit().image().testSignalType()), 0);
  }

  // Slots a file or a unit may hold that the edits cannot: bytes GBK cannot read, and a full
  // slot with no terminator. The edit shows what the slot will hold; the first keystroke
  // stores the edit's whole text.
  void aDamagedProfileSlotShowsWhatItWillHold() {
    ParameterImage project;
    project.ApplyNewProjectDefaults();
    StoreBytes(project, addr::automationSystem, QByteArray("\x81\x20OK\0", 5));  // not valid GBK
    StoreBytes(project, addr::comments, QByteArray(40, 'c'));                   // no terminator
    const QString path = m_f.Path(QStringLiteral("damaged.kvdat"));
    QCOMPARE(SaveProjectFile(path.toStdString(), project), FileResult::Ok);

    MainWindow& w = m_f.MakeWindow();
    w.files().OpenProjectFile(path);
    QVERIFY(Bytes(w.image(), addr::comments, 40) == QByteArray(40, 'c'));  // a refresh stores nothing
    m_f.Item("N22")->trigger();
    QLineEdit* automation = m_f.Control<QLineEdit>("Edit7", w.profileDialog());
    QLineEdit* comments = m_f.Control<QLineEdit>("Edit8", w.profileDialog());

    // The unreadable byte shows as '?', which the slot can hold; what is typed is stored.
    const QString shown = automation->text();
    QTest::keyClick(automation, Qt::Key_End);
    QTest::keyClicks(automation, QStringLiteral("X"));
    QCOMPARE(QString::fromStdString(w.image().Text(TextField::automationSystem)), automation->text());
    QCOMPARE(shown, QStringLiteral("? OK"));
    QCOMPARE(automation->text(), QStringLiteral("? OKX"));
    QCOMPARE(QString::fromStdString(w.image().Text(TextField::automationSystem)), QStringLiteral("? OKX"));
    QCOMPARE(Bytes(w.image(), addr::automationSystem, 6), QByteArray("? OKX\0", 6));

    // 39 of the 40 bytes: the slot keeps its terminator. It is full, so a further character is
    // refused; a deletion stores the whole text.
    const QString full(39, QLatin1Char('c'));
    QCOMPARE(comments->text(), full);
    QTest::keyClick(comments, Qt::Key_End);
    QTest::keyClicks(comments, QStringLiteral("d"));
    QCOMPARE(comments->text(), full);
    QCOMPARE(Bytes(w.image(), addr::comments, 40), QByteArray(40, 'c'));
    QTest::keyClick(comments, Qt::Key_Backspace);
    QCOMPARE(comments->text(), QString(38, QLatin1Char('c')));
    QCOMPARE(QString::fromStdString(w.image().Text(TextField::comments)), QString(38, QLatin1Char('c')));
    QCOMPARE(Bytes(w.image(), addr::comments, 39), QByteArray(38, 'c') + QByteArray(1, '\0'));
  }
};

QTEST_MAIN(ScreenMatchesImageTest)
#include "ScreenMatchesImageTest.moc"
