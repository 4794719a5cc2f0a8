// A thousand edits through the window's bars against a unit that loses 5% of the requests:
// the real main window (offscreen, 127.0.0.1 on a free port) and mzr4700-sim at 127.0.0.2
// with a state folder. Each lost request must end in "Connect Fail!", after which the soak
// searches, connects and makes the edit again; at the end the program's image is exactly
// what was edited, and a download (retried after each "Connect Fail!") leaves the unit's
// stored image equal to it. bench/ui/SoakBench.cpp runs the same soak ten times longer and
// reports time-outs, memory and the longest event-loop stall.

#include <QApplication>
#include <QDir>
#include <QTest>

#include "e2e/WindowDriver.h"
#include "support/WindowFixture.h"
#include "ui/window/MainWindow.h"
#include "ui/Skin.h"

using namespace mzr;
using mzr::test::SimProcess;
using mzr::test::StallMeter;
using mzr::test::WindowDriver;
using mzr::test::WindowFixture;
using mzr::test::WindowSoak;

class SoakWindowTest final : public QObject {
  Q_OBJECT

  WindowFixture m_f{150};

 private slots:
  void initTestCase() { Skin::Apply(*qApp); }

  void editsSurviveALossyUnitAndTheDownloadStoresThem() {
    const QString state = m_f.Path(QStringLiteral("units"));
    QVERIFY(QDir().mkpath(state));
    SimProcess& sim = m_f.StartSim({QStringLiteral("--units"), QStringLiteral("1"), QStringLiteral("--loss"),
                                    QStringLiteral("5"), QStringLiteral("--seed"), QStringLiteral("11"),
                                    QStringLiteral("--state-dir"), state});
    QVERIFY(sim.isRunning());

    WindowFixture::Settings settings;
    // Short, so the soak meets many time-outs; a late answer on a busy machine only adds one.
    settings.linkTimeoutMs = 500;
    MainWindow& window = m_f.MakeWindow(settings);
    StallMeter stalls;
    WindowDriver driver(window, QStringLiteral("127.0.0.2"), m_f.port());
    QVERIFY2(driver.SearchAndConnect(), qPrintable(driver.error()));

    WindowSoak soak(driver, 20261);
    soak.TakeModelFromWindow();
    QVERIFY2(soak.RunEdits(1000), qPrintable(soak.error()));
    QVERIFY2(soak.DownloadUntilStored(state), qPrintable(soak.error()));
    QVERIFY(window.image() == soak.model());

    // At 5% over a thousand requests some must have been lost, or the soak proved nothing
    // about reconnecting.
    QVERIFY(soak.editTimeOuts() > 0);
    QCOMPARE(driver.downloadSuccesses(), 1);
    qInfo("%d edits, %d edit time-outs, %d download time-outs, %d searches, %d connects, "
          "%d \"Connect Fail!\" in all; longest event-loop stall %.1f ms",
          soak.edits(), soak.editTimeOuts(), soak.downloadTimeOuts(), driver.searches(), driver.connects(),
          driver.connectFails(), stalls.longestGapMsExact());
  }
};

QTEST_MAIN(SoakWindowTest)
#include "SoakWindowTest.moc"
