// One edit through the whole road, as an installer makes it: a step of the preset level bar
// runs its handler, which stores into the image and hands the field to the edit operation;
// the five-byte write leaves the link, reaches mzr4700-sim (started here on a free loopback
// port, sending only to 127.0.0.0/8) and comes back as its 38-byte acknowledgement.
// Reports the time from the step to the acknowledgement: median and 99th percentile.
//
//   mzr4700-edit-path-bench [--edits N]        (default 2000, on the current Qt platform)

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "../link/BenchSupport.h"
#include "link/ParamLink.h"
#include "link/discovery/DeviceDiscovery.h"
#include "support/SimProcess.h"
#include "ui/devices/DeviceListPanel.h"
#include "ui/devices/DeviceSession.h"
#include "ui/input/InputDrawer.h"
#include "ui/window/MainWindow.h"
#include "workspace/Workspace.h"
#include "ui/Skin.h"

using namespace mzr;
using mzr::bench::RunUntil;
using mzr::bench::StartSimulator;

namespace {

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(at, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("MZR4700_LOCAL_IP", "127.0.0.1");
  QApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addHelpOption();
  const QCommandLineOption editsOption(QStringLiteral("edits"), QStringLiteral("edits timed one by one"),
                                       QStringLiteral("N"), QStringLiteral("2000"));
  parser.addOption(editsOption);
  parser.process(app);
  const int edits = std::max(1, parser.value(editsOption).toInt());
  Skin::Apply(app);

  QTemporaryDir dir;
  QFile ini(dir.filePath(QStringLiteral("Config.ini")));
  if (!dir.isValid() || !ini.open(QIODevice::WriteOnly)) return 1;
  ini.write("[SysPara]\nsearchTime=300\n");
  ini.close();

  const quint16 port = mzr::test::FreeUdpPort();
  QProcess sim;
  if (!StartSimulator(
          sim, {QStringLiteral("--units"), QStringLiteral("1"), QStringLiteral("--port"), QString::number(port)})) {
    std::fprintf(stderr, "mzr4700-sim did not start\n");
    return 1;
  }

  MainWindow::Options options;
  Workspace::Options link;
  link.udpPort = port;
  link.bindAddress = QStringLiteral("127.0.0.1");
  link.configPath = ini.fileName();
  Workspace workspace(link);
    MainWindow window(workspace, options);
  window.show();

  // A real search and connect, as from the Communication menu and the device list.
  DeviceDiscovery& discovery = window.deviceSession()->discovery();
  bool completed = false;
  QObject::connect(&discovery, &DeviceDiscovery::searchCompleted, [&] { completed = true; });
  window.menuBar()->findChild<QAction*>(QStringLiteral("N17"))->trigger();
  if (!RunUntil([&] { return completed; }, 10000) || discovery.RowOf(QStringLiteral("127.0.0.2")) == 0) {
    std::fprintf(stderr, "the simulated unit was not found\n");
    return 1;
  }
  discovery.SelectRow(discovery.RowOf(QStringLiteral("127.0.0.2")));
  discovery.Connect();

  auto* bar = window.inputDrawerContent()->findChild<QSlider*>(QStringLiteral("suiTrackBar3"));
  int acks = 0;
  QObject::connect(&window.link(), &ParamLink::acknowledged, [&](int) { ++acks; });
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(edits));
  int lost = 0;
  QElapsedTimer clock;
  for (int i = 0; i < edits; ++i) {
    const int before = acks;
    const int position = bar->value() == 100 ? 0 : bar->value() + 1;
    clock.start();
    bar->setValue(position);
    if (!RunUntil([&] { return acks > before; }, 2000)) {
      ++lost;
      continue;
    }
    micros.push_back(static_cast<double>(clock.nsecsElapsed()) / 1000.0);
  }
  if (micros.empty()) {
    std::fprintf(stderr, "no edit was acknowledged\n");
    return 1;
  }
  std::printf(
      "preset bar step -> image -> 5-byte write -> acknowledgement (%d edits, %s): "
      "median %.1f us, p99 %.1f us, max %.1f us, lost %d\n",
      edits, qPrintable(QGuiApplication::platformName()), Percentile(micros, 0.5), Percentile(micros, 0.99),
      Percentile(micros, 1.0), lost);
  sim.terminate();
  sim.waitForFinished(5000);
  return lost == 0 ? 0 : 2;
}
