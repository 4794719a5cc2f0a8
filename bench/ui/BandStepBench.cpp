// One step of a graphic-band bar through the whole path, as a drag makes it: the bar's
// handler stores the gain and shows its text, the write leaves as a datagram to a unit on
// loopback, the band's section is redesigned, the channel's curve evaluated and painted
// into the graph's picture. The equalizer page is the program's own; the "unit" is a
// socket on 127.0.0.2 that counts what arrives. Prints the median, the 99th percentile
// and the worst step, and checks that every step's write arrived.
//
//   mzr4700-band-step-bench [--steps N]     (default 20000; runs offscreen)

#include <QApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QSlider>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/AppState.h"
#include "files/ProjectDocument.h"
#include "link/DeviceCommands.h"
#include "link/EditOperation.h"
#include "workspace/Workspace.h"
#include "link/ParamLink.h"
#include "model/ParameterImage.h"
#include "ui/equalizer/EqualizerPage.h"
#include "ui/equalizer/GraphicEqPanel.h"
#include "ui/Skin.h"
#include "ui/window/StatusBar.h"
#include "ui/UiContext.h"
#include "ui/equalizer/graph/ResponseGraphWidget.h"

using namespace mzr;

namespace {

quint16 FreePort() {
  QUdpSocket probe;
  probe.bind(QHostAddress(QStringLiteral("127.0.0.1")), 0);
  return probe.localPort();
}

double Percentile(std::vector<qint64> values, double p) {
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
  return static_cast<double>(values[at]) / 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
  QApplication app(argc, argv);
  Skin::Apply(app);
  int steps = 20000;
  const QStringList args = QApplication::arguments();
  const qsizetype at = args.indexOf(QStringLiteral("--steps"));
  if (at >= 0 && at + 1 < args.size()) steps = std::max(100, args[at + 1].toInt());

  // The program's side: state, image, link and the page, connected to the unit at 127.0.0.2.
  const quint16 port = FreePort();
  Workspace::Options options;
  options.udpPort = port;
  options.linkTimeoutMs = 24 * 3600 * 1000;  // the counting socket never answers
  options.bindAddress = QStringLiteral("127.0.0.1");
  Workspace workspace(options);
  AppState& state = workspace.state();
  ParameterImage& image = workspace.image();
  image.ApplyNewProjectDefaults();
  StatusBar statusBar;
  ParamLink& link = workspace.link();
  QString error;
  if (!link.Open(&error)) {
    std::fprintf(stderr, "cannot open the link: %s\n", qPrintable(error));
    return 1;
  }
  QUdpSocket unit;
  if (!unit.bind(QHostAddress(QStringLiteral("127.0.0.2")), port)) {
    std::fprintf(stderr, "cannot bind 127.0.0.2:%u\n", port);
    return 1;
  }
  unit.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 << 20);
  link.setRemoteAddress(QStringLiteral("127.0.0.2"));
  state.networkMode = 1;
  state.connected = 1;
  UiContext context{workspace,          state, image, workspace.document(), statusBar, workspace.edits(),
                    workspace.commands()};
  EqualizerPage page(context, nullptr);
  page.resize(769, 457);
  page.setCurrentIndex(0);
  page.OnChannelTabChanged(0);
  // A shaped channel, as after tuning a room.
  for (int band = 0; band < kGeqBands; ++band) image.setGeqGain(0, band, static_cast<std::int8_t>((band * 37) % 121 - 60));
  image.setToneControl(0, {-40, 4, 35, 6});
  page.OnChannelTabChanged(0);
  // As in the window, the graph has been on screen: from now on each step repaints the strip
  // of the kept picture where the curve moved (an unshown graph keeps no picture).
  if (page.graph()->picture().isNull()) return 1;

  // Band 14 (1 kHz) swept one position at a time between the top and the bottom.
  QSlider* bar = page.graphicEq()->bar(14);
  std::vector<qint64> times;
  times.reserve(static_cast<std::size_t>(steps));
  int position = bar->value();
  int direction = -1;
  long arrived = 0;
  QElapsedTimer clock;
  for (int i = 0; i < steps; ++i) {
    if (position + direction < 0 || position + direction > 120) direction = -direction;
    position += direction;
    clock.start();
    bar->setValue(position);
    times.push_back(clock.nsecsElapsed());
    while (unit.hasPendingDatagrams()) {
      unit.readDatagram(nullptr, 0);
      ++arrived;
    }
  }
  QElapsedTimer drain;
  drain.start();
  while (arrived < steps && drain.elapsed() < 2000) {
    if (!unit.hasPendingDatagrams()) unit.waitForReadyRead(50);
    while (unit.hasPendingDatagrams()) {
      unit.readDatagram(nullptr, 0);
      ++arrived;
    }
  }
  const bool painted = page.graph()->curve().has_value() && !page.graph()->picture().isNull();
  std::printf("band step through handler, write, design, evaluation and painting (%d steps)\n", steps);
  std::printf("median %.1f us, 99th percentile %.1f us, worst %.1f us; %ld of %d writes arrived%s\n",
              Percentile(times, 0.5), Percentile(times, 0.99), Percentile(times, 1.0), arrived, steps,
              painted ? "" : " (no curve!)");
  return arrived == steps && painted ? 0 : 1;
}
