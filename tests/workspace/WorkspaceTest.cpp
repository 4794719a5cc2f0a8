// The workspace alone, as a command-line service holds it: no widget, no QApplication (a
// QCoreApplication, under which any widget would abort the test), a real mzr4700-sim on
// loopback. It reads the unit's whole image into its own image and sends one edit through
// the edit operation, which the unit logs as the exact frame the window's editor sends.

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include "link/DeviceCommands.h"
#include "link/EditOperation.h"
#include "link/ParamLink.h"
#include "support/SimProcess.h"
#include "workspace/Workspace.h"

using namespace mzr;
using mzr::test::SimProcess;

class WorkspaceTest final : public QObject {
  Q_OBJECT

 private slots:
  void readsAUnitAndSendsOneEditWithoutAWindow() {
    QVERIFY(qobject_cast<QCoreApplication*>(QCoreApplication::instance()));
    QVERIFY(!QCoreApplication::instance()->inherits("QApplication"));

    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    QString error;
    QVERIFY2(sim.Start({QStringLiteral("--port"), QString::number(port)}, &error), qPrintable(error));

    Workspace::Options options;
    options.udpPort = port;
    options.bindAddress = QStringLiteral("127.0.0.1");
    Workspace workspace(options);
    QVERIFY2(workspace.link().Open(&error), qPrintable(error));
    workspace.state().networkMode = 1;
    workspace.state().connected = 1;
    workspace.link().setRemoteAddress(QStringLiteral("127.0.0.2"));

    QSignalSpy received(&workspace.link(), &ParamLink::imageReceived);
    workspace.commands().ReadAll();
    QVERIFY(received.wait());
    QCOMPARE(workspace.image().Text(TextField::theaterName), std::string("Hall 1"));
    QCOMPARE(workspace.image().ipAddress(), (Ip4{127, 0, 0, 2}));

    // The 1 kHz band of the left channel to +6.0 dB: one byte at 266, as the band's bar sends.
    QSignalSpy acknowledged(&workspace.link(), &ParamLink::acknowledged);
    QSignalSpy applied(&workspace.edits(), &EditOperation::applied);
    workspace.edits().Apply(EditedField::geqGain, 14, [](ParameterImage& image) { image.setGeqGain(0, 14, 60); });
    QVERIFY(acknowledged.wait());
    QCOMPARE(applied.size(), 1);
    QVERIFY(sim.WaitForLogLines(2));
    const QJsonObject edit = sim.LogLines().at(1);
    QCOMPARE(edit[QStringLiteral("command")].toInt(), 6);
    QCOMPARE(edit[QStringLiteral("address")].toInt(), 266);
    QCOMPARE(edit[QStringLiteral("count")].toInt(), 1);
    QCOMPARE(edit[QStringLiteral("data")].toString(), QStringLiteral("3c"));
    QVERIFY(!workspace.link().timerActive());
  }
};

QTEST_GUILESS_MAIN(WorkspaceTest)
#include "WorkspaceTest.moc"
