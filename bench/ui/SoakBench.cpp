// The soak: many edits through the window's bars (output levels, input presets, the main
// fader) against mzr4700-sim playing one unit that loses a share of the requests (started
// here on a free loopback port with a state folder; every datagram stays on 127.0.0.0/8).
// Each edit is waited for; a lost request ends in "Connect Fail!", and the soak searches,
// connects and makes the edit again. At the end the program's image must equal what was
// edited, and a download (retried after each "Connect Fail!") must leave the unit's stored
// image equal to it. Prints the edits, the time-outs and reconnects, the resident memory
// after 1,000 edits and at the end, and the longest time the event loop went without
// running (a 5 ms heartbeat timer). Exits 1 when the soak fails or the images differ.
//
//   mzr4700-soak-bench [--edits N] [--loss PCT] [--timeout-ms MS] [--search-ms MS] [--seed S]
//                      [--rss-every N]
//   (defaults 10000 edits, 5% loss, Timer2 300 ms, search time 150 ms; offscreen if no
//   platform is set)

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#include "e2e/WindowDriver.h"
#include "support/SimProcess.h"
#include "ui/window/MainWindow.h"
#include "workspace/Workspace.h"
#include "ui/Skin.h"

using namespace mzr;
using mzr::test::ResidentKiB;
using mzr::test::SimProcess;
using mzr::test::StallMeter;
using mzr::test::WindowDriver;
using mzr::test::WindowSoak;

namespace {

constexpr int kFirstMeasure = 1000;

int Fail(const QString& text) {
  std::fprintf(stderr, "soak failed: %s\n", qPrintable(text));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("MZR4700_LOCAL_IP", "127.0.0.1");
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addHelpOption();
  const QCommandLineOption editsOption(QStringLiteral("edits"), QStringLiteral("edits to make"), QStringLiteral("N"),
                                       QStringLiteral("10000"));
  const QCommandLineOption lossOption(QStringLiteral("loss"), QStringLiteral("share of requests the unit loses"),
                                      QStringLiteral("PCT"), QStringLiteral("5"));
  const QCommandLineOption timeoutOption(QStringLiteral("timeout-ms"), QStringLiteral("Timer2"), QStringLiteral("MS"),
                                         QStringLiteral("300"));
  const QCommandLineOption searchOption(QStringLiteral("search-ms"), QStringLiteral("searchTime of Config.ini"),
                                        QStringLiteral("MS"), QStringLiteral("150"));
  const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("seed of the loss and of the edits"),
                                      QStringLiteral("S"), QStringLiteral("1"));
  const QCommandLineOption everyOption(QStringLiteral("rss-every"),
                                       QStringLiteral("also print resident memory and reconnects every N edits"),
                                       QStringLiteral("N"), QStringLiteral("0"));
  parser.addOptions({editsOption, lossOption, timeoutOption, searchOption, seedOption, everyOption});
  parser.process(app);
  const int edits = std::max(1, parser.value(editsOption).toInt());
  const int timeoutMs = std::max(50, parser.value(timeoutOption).toInt());
  const int seed = parser.value(seedOption).toInt();
  const int every = std::max(0, parser.value(everyOption).toInt());
  Skin::Apply(app);

  QTemporaryDir dir;
  const QString state = dir.filePath(QStringLiteral("units"));
  QFile ini(dir.filePath(QStringLiteral("Config.ini")));
  if (!dir.isValid() || !QDir().mkpath(state) || !ini.open(QIODevice::WriteOnly)) return Fail(QStringLiteral("no temporary folder"));
  ini.write(QStringLiteral("[SysPara]\nsearchTime=%1\n").arg(parser.value(searchOption).toInt()).toUtf8());
  ini.close();

  const quint16 port = mzr::test::FreeUdpPort();
  SimProcess sim;
  QString error;
  if (!sim.Start({QStringLiteral("--units"), QStringLiteral("1"), QStringLiteral("--port"), QString::number(port),
                  QStringLiteral("--loss"), parser.value(lossOption), QStringLiteral("--seed"), QString::number(seed),
                  QStringLiteral("--state-dir"), state},
                 &error)) {
    return Fail(error);
  }

  MainWindow::Options options;
  Workspace::Options link;
  options.drawerStepIntervalMs = 1;
  link.udpPort = port;
  link.bindAddress = QStringLiteral("127.0.0.1");
  link.configPath = ini.fileName();
  link.linkTimeoutMs = timeoutMs;
  Workspace workspace(link);
    MainWindow window(workspace, options);
  window.show();
  QCoreApplication::processEvents();

  StallMeter stalls;
  WindowDriver driver(window, QStringLiteral("127.0.0.2"), port);
  if (!driver.SearchAndConnect()) return Fail(driver.error());
  const long rssStart = ResidentKiB();

  WindowSoak soak(driver, static_cast<std::uint32_t>(seed));
  soak.TakeModelFromWindow();
  long rssFirst = 0;
  QElapsedTimer clock;
  clock.start();
  const bool edited = soak.RunEdits(edits, [&](int n) {
    if (n == kFirstMeasure) rssFirst = ResidentKiB();
    if (every > 0 && n % every == 0)
      std::printf("  after %d edits: %ld KiB resident, %d connects\n", n, ResidentKiB(), driver.connects());
  });
  const double editSeconds = static_cast<double>(clock.elapsed()) / 1000.0;
  const long rssEnd = ResidentKiB();
  if (!edited) return Fail(soak.error());
  if (!soak.DownloadUntilStored(state)) return Fail(soak.error());
  const auto stored = driver.StoredImage(state);
  const bool equal = window.image() == soak.model() && stored && *stored == window.image();

  std::printf("soak: %d edits through the window's bars, unit losing %s%% of requests, Timer2 %d ms, search %d ms, %s\n",
              soak.edits(), qPrintable(parser.value(lossOption)), timeoutMs, parser.value(searchOption).toInt(),
              qPrintable(QGuiApplication::platformName()));
  std::printf("  time-outs (\"Connect Fail!\"): %d during edits, %d during the final download, %d in all\n",
              soak.editTimeOuts(), soak.downloadTimeOuts(), driver.connectFails());
  std::printf("  reconnects: %d searches, %d connects\n", driver.searches(), driver.connects());
  std::printf("  edits took %.1f s (%.2f ms per edit, time-outs included)\n", editSeconds,
              editSeconds * 1000.0 / std::max(1, soak.edits()));
  if (rssFirst > 0) {
    std::printf("  resident memory: %ld KiB connected, %ld KiB after %d edits, %ld KiB after %d edits (%+ld KiB)\n",
                rssStart, rssFirst, kFirstMeasure, rssEnd, soak.edits(), rssEnd - rssFirst);
  } else {
    std::printf("  resident memory: %ld KiB connected, %ld KiB after %d edits\n", rssStart, rssEnd, soak.edits());
  }
  std::printf("  longest event-loop stall: %.1f ms (heartbeat every 5 ms)\n", stalls.longestGapMsExact());
  std::printf("  image equals the edits and the unit's stored image: %s\n", equal ? "yes" : "NO");
  return equal ? 0 : 1;
}
