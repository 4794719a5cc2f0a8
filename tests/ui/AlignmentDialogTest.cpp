// The alignment dialog as an installer uses it: the real window offscreen, connected to a unit
// played on loopback by the in-process unit (which records every frame it hears), and
// measurement files in the formats measurement programs export. Apply sends exactly the
// editors' frames for the fields the fit changed and is one undo step; a bad file changes
// nothing; files can be dropped; the report covers the channels aligned.

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QPushButton>
#include <QDoubleSpinBox>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "align/AlignedEdits.h"
#include "align/MeasurementAverage.h"
#include "model/EditableFields.h"
#include "model/ParameterImage.h"
#include "report/AlignmentReport.h"
#include "support/WindowFixture.h"
#include "ui/dialogs/AlignmentDialog.h"
#include "ui/equalizer/EqualizerPage.h"
#include "ui/equalizer/GraphicEqPanel.h"
#include "ui/window/MainWindow.h"
#include "ui/Skin.h"
#include "workspace/EditHistory.h"
#include "workspace/Workspace.h"

using namespace mzr;
using mzr::test::LoopbackUnit;
using mzr::test::WindowFixture;

namespace {

QString Fixture(const char* name) { return QStringLiteral(MZR_ALIGN_FIXTURES "/") + QLatin1String(name); }

std::vector<std::uint8_t> Snapshot(const ParameterImage& image) { return {image.All().begin(), image.All().end()}; }

// A write as "command @address: bytes".
QStringList Texts(const QList<LoopbackUnit::Frame>& frames) {
  QStringList texts;
  for (const auto& f : LoopbackUnit::Writes(frames)) {
    texts << QStringLiteral("%1 @%2: %3").arg(f.command).arg(f.address).arg(QString::fromLatin1(f.data.toHex(' ')));
  }
  return texts;
}

// The frames the editors send for the fields that differ between before and after.
QStringList EditorFrames(const ParameterImage& before, const ParameterImage& after, int channel, bool reverse) {
  QStringList texts;
  for (const AlignedEdit& edit : AlignedEdits(before, after, channel)) {
    const WriteSpan span = WriteSpanFor(edit.field, edit.index);
    const auto bytes = after.Bytes(span.address, span.count);
    const QByteArray data(reinterpret_cast<const char*>(bytes->data()), static_cast<qsizetype>(bytes->size()));
    texts << QStringLiteral("%1 @%2: %3").arg(span.kind == WriteKind::BlockWrite ? 7 : 6).arg(span.address)
                 .arg(QString::fromLatin1(data.toHex(' ')));
  }
  if (reverse) std::reverse(texts.begin(), texts.end());
  return texts;
}

}  // namespace

class AlignmentDialogTest final : public QObject {
  Q_OBJECT

  WindowFixture m_f{400};

  MainWindow& w() { return m_f.window(); }
  ParameterImage& image() { return m_f.image(); }
  EditHistory& history() { return w().workspace().history(); }

  // The window connected to the loopback unit, the dialog open on the tab's channel.
  AlignmentDialog& Open(int tab) {
    ParameterImage unitImage;
    unitImage.ApplyNewProjectDefaults();
    unitImage.setGeqGain(0, 12, 15);  // the left channel was already shaped a little
    m_f.StartUnit().SetImage(unitImage);
    m_f.MakeWindow();
    m_f.SearchAndConnect();
    w().equalizerPage()->setCurrentIndex(tab);
    m_f.Item("AlignItem")->trigger();
    AlignmentDialog* dialog = w().alignmentDialog();
    if (!dialog->isVisible() || dialog->channel() != tab) qFatal("the alignment dialog did not open on tab %d", tab);
    m_f.unit().ClearFrames();
    return *dialog;
  }

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }
  void cleanup() { m_f.Reset(); }

  void applyIsOneUndoStepWithTheEditorsFrames() {
    AlignmentDialog& dialog = Open(0);
    QVERIFY(!dialog.applyButton()->isEnabled());
    // Two seats, exported as text with a header and as CSV.
    dialog.AddFiles({Fixture("text-export.txt"), Fixture("export.csv")});
    QVERIFY2(dialog.fit().has_value(), qPrintable(dialog.statusText()));
    const FitResult fit = *dialog.fit();
    QVERIFY(fit.rmsAfter < fit.rmsBefore);
    QCOMPARE(dialog.table()->rowCount(), kGeqBands);
    QVERIFY2(dialog.statusText().startsWith(QStringLiteral("2 ")), qPrintable(dialog.statusText()));  // two positions
    QVERIFY(dialog.applyButton()->isEnabled());
    QVERIFY(m_f.unit().frames().isEmpty());  // fitting sends nothing

    const ParameterImage before = image();
    const QStringList expected = EditorFrames(before, fit.image, 0, false);
    QVERIFY(expected.size() > 5);
    QTest::mouseClick(dialog.applyButton(), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([&] { return Texts(m_f.unit().frames()).size() >= expected.size(); }, 3000));
    QCOMPARE(Texts(m_f.unit().frames()), expected);
    for (int band = 0; band < kGeqBands; ++band) QCOMPARE(image().geqGain(0, band), fit.image.geqGain(0, band));
    // The other channels are as they were, and the bars show the new gains.
    for (int band = 0; band < kGeqBands; ++band) QCOMPARE(image().geqGain(1, band), before.geqGain(1, band));
    auto* panel = w().findChild<GraphicEqPanel*>(QStringLiteral("graphicEqPanel"));
    QVERIFY(panel != nullptr);
    for (int band : {0, 9, 20}) QCOMPARE(slider::geqBand.ToStored(panel->bar(band)->value()), int(fit.image.geqGain(0, band)));

    QCoreApplication::processEvents();  // the click's gesture closes once the loop turns
    // One Undo takes all of it back, with the editors' frames in reverse order; Redo again.
    QVERIFY(history().canUndo());
    m_f.unit().ClearFrames();
    history().Undo();
    QCOMPARE(Snapshot(image()), Snapshot(before));
    QVERIFY(!history().canUndo());
    QVERIFY(QTest::qWaitFor([&] { return Texts(m_f.unit().frames()).size() >= expected.size(); }, 3000));
    QCOMPARE(Texts(m_f.unit().frames()), EditorFrames(fit.image, before, 0, true));
    history().Redo();
    for (int band = 0; band < kGeqBands; ++band) QCOMPARE(image().geqGain(0, band), fit.image.geqGain(0, band));
  }

  void subwooferSectionsAreFittedFlat() {
    AlignmentDialog& dialog = Open(5);
    QCOMPARE(dialog.targetBox()->currentIndex(), 2);  // flat
    dialog.AddFiles({Fixture("text-export.txt")});
    QVERIFY2(dialog.fit().has_value(), qPrintable(dialog.statusText()));
    QCOMPARE(dialog.table()->rowCount(), 2);
    const ParameterImage before = image();
    const QStringList expected = EditorFrames(before, dialog.fit()->image, 5, false);
    dialog.ApplyFit();
    QVERIFY(QTest::qWaitFor([&] { return Texts(m_f.unit().frames()).size() >= expected.size(); }, 3000));
    QCOMPARE(Texts(m_f.unit().frames()), expected);
    history().Undo();
    QCOMPARE(Snapshot(image()), Snapshot(before));
  }

  void theRulesAreChosenInTheDialog() {
    // The hall with a cancellation near 180 Hz: left out and not filled; the seats move the
    // x-curve's slopes, the fit range and the boost limit reach the fit.
    AlignmentDialog& dialog = Open(0);
    dialog.AddFiles({Fixture("null-room-seat1.txt"), Fixture("null-room-seat2.txt"), Fixture("null-room-seat3.txt")});
    QVERIFY2(dialog.fit().has_value(), qPrintable(dialog.statusText()));
    QCOMPARE(dialog.fit()->leftOut.size(), std::size_t{1});
    QVERIFY(CurveAt(dialog.fit()->equalizer, 180.0) - dialog.fit()->equalizerMedianDb < 1.0);
    const double at16k = CurveAt(dialog.fit()->target, 16000.0);
    dialog.seatsBox()->setValue(2000);
    QVERIFY(CurveAt(dialog.fit()->target, 16000.0) < at16k - 4.0);
    dialog.fromBox()->setValue(250);
    QCOMPARE(dialog.fit()->fromHz, 250.0);
    dialog.boostBox()->setValue(0.0);
    QCOMPARE(dialog.fit()->maxBoostDb, 0.0);
    QVERIFY(dialog.fit()->bands[0].inRange == false);
    dialog.fromBox()->setValue(20000);  // above the upper limit: refused, said so
    QVERIFY(!dialog.fit().has_value());
    QVERIFY(!dialog.applyButton()->isEnabled());
  }

  void aBadFileChangesNothing_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no numeric rows") << QByteArray("* export\nFreq SPL\nnothing here\n") << QStringLiteral("bad.txt");
    QByteArray narrow;
    for (int i = 0; i < 20; ++i) narrow += QByteArray::number(200 + i * 100) + " 80.0\n";
    QTest::newRow("does not cover 40 Hz to 16 kHz") << narrow << QStringLiteral("bad.txt");
    QTest::newRow("frequencies not increasing") << QByteArray("100 80\n90 80\n") + narrow << QStringLiteral("bad.txt:2");
  }
  void aBadFileChangesNothing() {
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString bad = dir.filePath(QStringLiteral("bad.txt"));
    QFile file(bad);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    AlignmentDialog& dialog = Open(0);
    dialog.AddFiles({Fixture("text-export.txt")});
    QVERIFY(dialog.fit().has_value());
    const FitResult good = *dialog.fit();
    const auto before = Snapshot(image());
    dialog.AddFiles({bad, Fixture("export.csv")});
    QVERIFY2(dialog.statusText().startsWith(reason), qPrintable(dialog.statusText()));
    // Neither file was added (not even the good one beside it): the fit of the first file
    // stands, and nothing was stored or sent.
    QVERIFY(dialog.fit().has_value());
    QCOMPARE(dialog.fit()->rmsAfter, good.rmsAfter);
    QCOMPARE(Snapshot(image()), before);
    QVERIFY(m_f.unit().frames().isEmpty());
    // A missing file is one line naming it.
    dialog.ClearMeasurements();
    dialog.AddFiles({dir.filePath(QStringLiteral("missing.txt"))});
    QVERIFY2(dialog.statusText().startsWith(QStringLiteral("missing.txt")), qPrintable(dialog.statusText()));
    QVERIFY(!dialog.fit().has_value());
  }

  void droppedFilesAreMeasurements() {
    AlignmentDialog& dialog = Open(0);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Fixture("speaker.frd")), QUrl::fromLocalFile(Fixture("export.csv"))});
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &drop);
    QVERIFY2(dialog.fit().has_value(), qPrintable(dialog.statusText()));
    QVERIFY2(dialog.statusText().startsWith(QStringLiteral("2 ")), qPrintable(dialog.statusText()));  // two positions
    // Only local files.
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("http://127.0.0.1/seat.txt"))});
    QDragEnterEvent refused(QPoint(20, 20), Qt::CopyAction, &web, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(&dialog, &refused);
    QVERIFY(!refused.isAccepted());
  }

  void reportAndCaptionsFollowTheLanguage() {
    AlignmentDialog& dialog = Open(0);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("房间均衡对准 - 左"));
    w().OnEnglishChosen();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Room Alignment - Left"));
    QCOMPARE(dialog.targetBox()->currentText(), QStringLiteral("X-curve"));
    dialog.AddFiles({Fixture("text-export.txt")});
    QVERIFY(dialog.fit().has_value());
    QCOMPARE(dialog.table()->horizontalHeaderItem(3)->text(), QStringLiteral("Predicted dB"));

    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("hall.png"));
    dialog.setSavePath([png] { return png; });
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("alignReportButton")), Qt::LeftButton);
    QVERIFY2(dialog.statusText().startsWith(QStringLiteral("Report written")), qPrintable(dialog.statusText()));
    const QImage pages(png);
    QCOMPARE(pages.width(), AlignmentReport::kPageWidth);
    QCOMPARE(pages.height(), 6 * AlignmentReport::kPageHeight);  // every channel of the unit
    // A report that cannot be written says so.
    dialog.WriteReport(dir.filePath(QStringLiteral("no/such/folder/hall.png")));
    QVERIFY2(dialog.statusText().startsWith(QStringLiteral("Cannot write the report")), qPrintable(dialog.statusText()));

    // The monitor tab has nothing to align.
    w().equalizerPage()->setCurrentIndex(6);
    m_f.Item("AlignItem")->trigger();
    QVERIFY(!dialog.fit().has_value());
    QVERIFY(!dialog.findChild<QPushButton*>(QStringLiteral("alignAddButton"))->isEnabled());
    QCOMPARE(dialog.statusText(), QStringLiteral("The monitor mix has no equalizer to align"));
  }
};

QTEST_MAIN(AlignmentDialogTest)
#include "AlignmentDialogTest.moc"
