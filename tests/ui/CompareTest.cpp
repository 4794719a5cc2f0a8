// File > Compare: the fields where the window's image differs from a project file or from
// the connected unit, worded exactly as `mzr4700ctl diff` prints them (the real companion is
// run on the same two files), carried bytes included; the unit is read into the dialog's own
// image (mzr4700-sim on loopback), never into the window's; choosing a line shows the field's
// control.

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <span>

#include "files/ProjectFile.h"
#include "link/ParamLink.h"
#include "model/FieldTable.h"
#include "model/ImageDiff.h"
#include "model/ParameterImage.h"
#include "support/WindowFixture.h"
#include "ui/dialogs/CompareDialog.h"
#include "ui/dialogs/TheaterProfileDialog.h"
#include "ui/equalizer/EqualizerPage.h"
#include "ui/window/MainWindow.h"
#include "ui/window/ProjectFileCommands.h"
#include "ui/window/SideChannel.h"
#include "ui/Skin.h"

using namespace mzr;
using mzr::test::U;
using mzr::test::WindowFixture;

namespace {

// A project whose left channel, right output and theater name differ from New's defaults,
// with a carried byte set.
ParameterImage Shaped(int carried) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  image.setGeqGain(0, 14, 60);
  image.setOutputLevel(2, 40);
  (void)image.SetText(TextField::theaterName, "Hall 2");
  const std::uint8_t value = 0x5A;
  if (!image.Store(static_cast<std::size_t>(carried), std::span(&value, 1))) qFatal("no carried byte");
  return image;
}

QStringList CtlDiff(const QString& a, const QString& b) {
  QProcess ctl;
  ctl.start(QStringLiteral(MZR_CTL_EXECUTABLE), {QStringLiteral("diff"), a, b});
  if (!ctl.waitForFinished(30000)) return {QStringLiteral("mzr4700ctl did not finish")};
  return QString::fromUtf8(ctl.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace

class CompareTest final : public QObject {
  Q_OBJECT

  WindowFixture m_f{400};

  MainWindow& w() { return m_f.window(); }
  CompareDialog* dialog() { return w().compareDialog(); }
  int carried() const { return UncoveredBytes().front(); }
  void Choose(const QString& prefix) {
    QListWidget* list = dialog()->list();
    for (int row = 0; row < list->count(); ++row) {
      if (list->item(row)->text().startsWith(prefix)) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(row)).center());
        return;
      }
    }
    QFAIL(qPrintable(prefix + QStringLiteral(" is not listed")));
  }

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }
  void cleanup() { m_f.Reset(); }

  void againstAFileTheLinesAreThoseOfTheCompanion() {
    const QString theirs = m_f.Path(QStringLiteral("theirs.kvdat"));
    QCOMPARE(SaveProjectFile(theirs.toStdString(), Shaped(carried())), FileResult::Ok);
    m_f.MakeWindow();
    m_f.Item("Endlish1")->trigger();
    const ParameterImage before = m_f.image();
    m_f.Item("CompareItem")->trigger();
    QVERIFY(dialog()->isVisible());
    QCOMPARE(dialog()->windowTitle(), U("Compare"));
    dialog()->setPathProvider([theirs] { return theirs; });
    QTest::mouseClick(m_f.Control<QPushButton>("compareFileButton", dialog()), Qt::LeftButton);

    // The companion on the window's image saved as a file and the same project file.
    const QString mine = m_f.Path(QStringLiteral("mine.kvdat"));
    QCOMPARE(SaveProjectFile(mine.toStdString(), m_f.image()), FileResult::Ok);
    const QStringList expected = CtlDiff(mine, theirs);
    QCOMPARE(dialog()->lines(), expected);
    QVERIFY(expected.contains(QStringLiteral("geqGain[0][14]: 0.0dB -> 6.0dB")));
    QVERIFY(expected.contains(QStringLiteral("byte %1 (carried): 0x00 -> 0x5A").arg(carried())));
    QCOMPARE(m_f.Control<QLabel>("compareHeading", dialog())->text(), U("This window -> theirs.kvdat"));
    QVERIFY(m_f.image() == before);

    // Choosing a line brings its control into view.
    Choose(QStringLiteral("geqGain[0][14]"));
    QCOMPARE(w().equalizerPage()->currentIndex(), 0);
    Choose(QStringLiteral("outputLevel[2]"));
    QVERIFY(w().outputDrawer()->isOpen());
    Choose(QStringLiteral("theaterName"));
    QVERIFY(w().profileDialog()->isVisible());

    // The same image: no lines, and the heading says so; a bad file is named as such.
    dialog()->CompareWithFile(mine);
    QCOMPARE(dialog()->lines(), QStringList{});
    QCOMPARE(m_f.Control<QLabel>("compareHeading", dialog())->text(), U("This window -> mine.kvdat: No differences"));
    m_f.Item("N24")->trigger();
    QCOMPARE(m_f.Control<QLabel>("compareHeading", dialog())->text(), U("本窗口 -> mine.kvdat: 没有差异"));
    dialog()->CompareWithFile(m_f.Path(QStringLiteral("missing.kvdat")));
    QCOMPARE(m_f.Control<QLabel>("compareHeading", dialog())->text(), U("无法读取文件: Can't open this file!"));
  }

  // The unit's image is read into the dialog's copy; the window's image, its editors and the
  // history stay as they were. What it lists is what a read all then shows.
  void againstTheUnitTheWindowsImageStaysAsItIs() {
    m_f.StartSim({QStringLiteral("--units"), QStringLiteral("1")});
    m_f.MakeWindow();
    w().outputDrawer()->setPinned(true);
    m_f.SearchAndConnect();
    m_f.Item("Endlish1")->trigger();
    // A project opened while connected: the window now differs from the unit.
    const QString project = m_f.Path(QStringLiteral("project.kvdat"));
    QCOMPARE(SaveProjectFile(project.toStdString(), Shaped(carried())), FileResult::Ok);
    w().files().OpenProjectFile(project);
    const ParameterImage mine = m_f.image();

    QSignalSpy replaced(&w().link(), &ParamLink::imageReceived);
    QSignalSpy copied(&w().link(), &ParamLink::imageReceivedInto);
    m_f.Item("CompareItem")->trigger();
    QPushButton* unitButton = m_f.Control<QPushButton>("compareUnitButton", dialog());
    QVERIFY(unitButton->isEnabled());
    QTest::mouseClick(unitButton, Qt::LeftButton);
    QVERIFY(copied.wait(10000));
    QCOMPARE(replaced.count(), 0);
    QVERIFY(m_f.image() == mine);
    QCOMPARE(m_f.Control<QLabel>("compareHeading", dialog())->text(), U("This window -> unit 127.0.0.2"));
    const QStringList lines = dialog()->lines();
    QVERIFY(lines.contains(QStringLiteral("geqGain[0][14]: 6.0dB -> 0.0dB")));
    QVERIFY(lines.contains(QStringLiteral("byte %1 (carried): 0x5A -> 0x00").arg(carried())));
    QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith(U("theaterName: \"Hall 2\" -> ")); }));

    // A read all brings the unit's image into the window: the same engine on the two images
    // gives the dialog's lines.
    m_f.ReadAll();
    QStringList again;
    for (const ImageDifference& d : DiffImages(mine, m_f.image())) again << QString::fromStdString(d.line);
    QCOMPARE(lines, again);

    // Not connected: the unit button waits for a connection.
    m_f.Item("N18")->trigger();
    dialog()->hide();
    m_f.Item("CompareItem")->trigger();
    QVERIFY(!unitButton->isEnabled());
  }
};

QTEST_MAIN(CompareTest)
#include "CompareTest.moc"
