// The program as a process: one client per UDP port between the real program (offscreen)
// and the real mzr4700ctl, with mzr4700-sim on loopback as the unit; and a start-up that
// throws ends with a non-zero exit status.

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <stdexcept>

#include "app/Application.h"
#include "link/PortLock.h"
#include "support/SimProcess.h"

using namespace mzr;
using mzr::test::SimProcess;

namespace {

QProcessEnvironment Environment(quint16 port) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  env.insert(QStringLiteral("MZR4700_PORT"), QString::number(port));
  env.insert(QStringLiteral("MZR4700_LOCAL_IP"), QStringLiteral("127.0.0.1"));
  return env;
}

void StartProgram(QProcess& program, quint16 port) {
  program.setProcessEnvironment(Environment(port));
  program.start(QStringLiteral(MZR_PROGRAM_EXECUTABLE), {});
}

struct Run {
  int exitCode = -1;
  QString out;
  QStringList errLines;
};

Run Search(quint16 port) {
  QProcess ctl;
  ctl.setProcessEnvironment(Environment(port));
  ctl.start(QStringLiteral(MZR_CTL_EXECUTABLE),
            {QStringLiteral("--local"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(port),
             QStringLiteral("search"), QStringLiteral("--time"), QStringLiteral("1500")});
  Run run;
  if (!ctl.waitForFinished(30000)) {
    ctl.kill();
    ctl.waitForFinished();
    return run;
  }
  run.exitCode = ctl.exitStatus() == QProcess::NormalExit ? ctl.exitCode() : -1;
  run.out = QString::fromUtf8(ctl.readAllStandardOutput());
  run.errLines = QString::fromUtf8(ctl.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  return run;
}

// What holds the port, as its holder and the kernel tell it.
QString Holder(quint16 port) {
  const auto occupant = PortLock::Ask(port);
  return occupant && occupant->holder ? QStringLiteral("%1 %2").arg(PortLock::HolderName(*occupant->holder)).arg(occupant->pid)
                                      : QString();
}

}  // namespace

class ProgramProcessTest final : public QObject {
  Q_OBJECT

 private slots:
  void aRunningProgramKeepsOtherClientsOffItsPort() {
    const quint16 port = test::FreeUdpPort();
    SimProcess sim;
    QString error;
    QVERIFY2(sim.Start({QStringLiteral("--port"), QString::number(port), QStringLiteral("--units"), QStringLiteral("1")},
                       &error),
             qPrintable(error));

    QProcess first;
    StartProgram(first, port);
    QVERIFY(first.waitForStarted(15000));
    const QString firstHolder = QStringLiteral("mzr4700 %1").arg(first.processId());
    QTRY_COMPARE_WITH_TIMEOUT(Holder(port), firstHolder, 15000);
    const QString sentence = QStringLiteral("UDP port %1 is in use on this PC by mzr4700 (process %2)")
                                 .arg(port)
                                 .arg(first.processId());

    // A companion command refuses in one line, exit 1, before it sends anything.
    const Run refused = Search(port);
    QCOMPARE(refused.exitCode, 1);
    QCOMPARE(refused.errLines.size(), 1);
    QVERIFY2(refused.errLines[0].contains(sentence), qPrintable(refused.errLines[0]));
    QCOMPARE(refused.out, QString());

    // A second program says the same and never takes the port (it waits on its error box).
    QProcess second;
    StartProgram(second, port);
    QVERIFY(second.waitForStarted(15000));
    QByteArray secondErr;
    QTRY_VERIFY_WITH_TIMEOUT((secondErr += second.readAllStandardError()).contains(sentence.toUtf8()), 15000);
    QCOMPARE(Holder(port), firstHolder);
    second.kill();
    second.waitForFinished();

    // The kernel releases the lock of a killed holder: the companion now searches, and the
    // unit heard exactly that one search (the refused command sent nothing).
    first.kill();
    QVERIFY(first.waitForFinished(15000));
    const Run found = Search(port);
    QCOMPARE(found.exitCode, 0);
    QVERIFY2(found.out.contains(QStringLiteral("127.0.0.2")), qPrintable(found.out));
    QVERIFY(sim.WaitForLogLines(1));
    QCOMPARE(sim.LogLines().size(), 1);
    QCOMPARE(sim.LogLines()[0].value(QStringLiteral("command")).toInt(), 3);

    // A program started after a companion that ended takes the port again.
    QProcess third;
    StartProgram(third, port);
    QVERIFY(third.waitForStarted(15000));
    QTRY_COMPARE_WITH_TIMEOUT(Holder(port), QStringLiteral("mzr4700 %1").arg(third.processId()), 15000);
    third.kill();
    third.waitForFinished();
  }

  // An exception escaping the start-up is shown in the error box, and the exit status says
  // the program failed.
  void aStartUpThatThrowsExitsNonZero() {
    QString shown;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shown = box->text();
        box->accept();
      }
    });
    closer.start(10);
    const int status = Application::RunGuarded([]() -> int { throw std::runtime_error("Config.ini unreadable"); });
    QCOMPARE(status, 1);
    QCOMPARE(shown, QStringLiteral("Config.ini unreadable"));
    QCOMPARE(Application::RunGuarded([] { return 0; }), 0);
  }
};

QTEST_MAIN(ProgramProcessTest)
#include "ProgramProcessTest.moc"
