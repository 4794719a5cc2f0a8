// How long a device search with many units takes, through the whole path the user sees:
// the link, the discovery and the device-list grid (offscreen widgets). It starts
// mzr4700-sim itself on a free loopback port; the program's local address is 127.0.0.1, so
// the search goes to 127.255.255.255 and nothing leaves the machine.
// For each round: the units listed when Timer3 ends the search (default 500 ms) and the time
// from the broadcast to the last unit listed.
// Usage: mzr4700-search-bench [--units N] [--rounds R]

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "BenchSupport.h"
#include "core/AppState.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "model/ParameterImage.h"
#include "support/SimProcess.h"
#include "ui/devices/DeviceListPanel.h"

using namespace mzr;
using mzr::bench::RunUntil;
using mzr::bench::StartSimulator;
using mzr::test::FreeUdpPort;

namespace {}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("MZR4700_LOCAL_IP", "127.0.0.1");
  QApplication app(argc, argv);
  QCommandLineParser parser;
  const QCommandLineOption unitsOption(QStringLiteral("units"), QStringLiteral("units the simulator plays"),
                                       QStringLiteral("N"), QStringLiteral("254"));
  const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("searches"), QStringLiteral("R"),
                                        QStringLiteral("10"));
  parser.addOptions({unitsOption, roundsOption});
  parser.addHelpOption();
  parser.process(app);
  const int units = std::clamp(parser.value(unitsOption).toInt(), 1, 254);
  const int rounds = std::max(1, parser.value(roundsOption).toInt());
  const quint16 port = FreeUdpPort();

  QProcess sim;
  if (!StartSimulator(
          sim, {QStringLiteral("--units"), QString::number(units), QStringLiteral("--port"), QString::number(port)})) {
    std::fprintf(stderr, "mzr4700-sim did not start\n");
    return 1;
  }

  QTemporaryDir dir;  // no Config.ini in it: the default search time of 500 ms
  AppState state;
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  ParamLink link(state, image, ParamLink::Options{port, 2000, QStringLiteral("127.0.0.1")});
  QString error;
  if (!link.Open(&error)) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  DeviceDiscovery discovery(state, image, link,
                            DeviceDiscovery::Options{dir.filePath(QStringLiteral("Config.ini")), 300});
  DeviceListPanel panel(discovery);
  panel.show();

  QString status;
  QObject::connect(&discovery, &DeviceDiscovery::statusText, [&](int panelIndex, const QString& text) {
    if (panelIndex == 0) status = text;
  });
  QElapsedTimer clock;
  qint64 lastListedMs = 0;
  QObject::connect(&discovery, &DeviceDiscovery::rowsChanged, [&](int first, int last) {
    if (first == last) lastListedMs = clock.elapsed();
  });

  std::printf("mzr4700-sim: %d unit(s) on 127.0.0.2.., port %u; search time 500 ms\n", units, port);
  std::vector<qint64> lastTimes;
  int complete = 0;
  for (int round = 1; round <= rounds; ++round) {
    bool completed = false;
    int found = 0;
    const auto connection = QObject::connect(&discovery, &DeviceDiscovery::searchCompleted, [&](int count) {
      completed = true;
      found = count;
    });
    lastListedMs = 0;
    clock.start();
    discovery.SearchDevices();
    RunUntil([&] { return completed; }, 10000);
    QObject::disconnect(connection);
    const qint64 total = clock.elapsed();
    std::printf("round %2d: %-32s  last unit listed after %3lld ms, completion after %3lld ms\n", round,
                qPrintable(status), static_cast<long long>(lastListedMs), static_cast<long long>(total));
    lastTimes.push_back(lastListedMs);
    if (found == units) ++complete;
  }
  std::sort(lastTimes.begin(), lastTimes.end());
  std::printf(
      "%d of %d searches listed all %d units within the search time; last unit listed after %lld ms "
      "(median), %lld ms (worst)\n",
      complete, rounds, units, static_cast<long long>(lastTimes[lastTimes.size() / 2]),
      static_cast<long long>(lastTimes.back()));
  sim.terminate();
  sim.waitForFinished(5000);
  return complete == rounds ? 0 : 1;
}
