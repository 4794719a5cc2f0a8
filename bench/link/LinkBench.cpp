// Timings of the UDP link against mzr4700-sim on loopback (it starts the simulators itself on
// free ports and sends only to 127.0.0.0/8):
//   1. time from a write to its acknowledgement (median, 99th percentile), against a simulator
//      playing one unit and one playing N units (default 254), the writes taking turns so
//      both see the same machine;
//   2. a 10,000-step slider drag against the N units, one write per step with the event loop
//      run between steps as the window does: frames per second sent, and until the last
//      acknowledgement;
//   3. a broadcast read answered by the N units: replies received per round.
// Usage: mzr4700-link-bench [--units N] [--rounds R] [--writes W] [--steps S]

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QSet>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "core/AppState.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "model/ParameterImage.h"
#include "model/WriteSpan.h"
#include "support/SimProcess.h"

using namespace mzr;
using mzr::bench::RunUntil;
using mzr::bench::StartSimulator;
using mzr::test::FreeUdpPort;

namespace {

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  const auto at = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
  return v[std::min(at, v.size() - 1)];
}

// A simulator with `units` units on its own free port and a connected link to its first unit.
struct Rig {
  explicit Rig(int unitCount) : units(unitCount) {}
  bool Open() {
    port = FreeUdpPort();
    if (!StartSimulator(sim, {QStringLiteral("--units"), QString::number(units), QStringLiteral("--port"),
                              QString::number(port), QStringLiteral("--first-address"),
                              QStringLiteral("127.0.0.2")})) {
      std::fprintf(stderr, "mzr4700-sim with %d unit(s) did not start\n", units);
      return false;
    }
    state.networkMode = 1;
    state.connected = 1;
    image.ApplyNewProjectDefaults();
    link = std::make_unique<ParamLink>(state, image, ParamLink::Options{port, 2000, QStringLiteral("0.0.0.0")});
    QString error;
    if (!link->Open(&error)) {
      std::fprintf(stderr, "%s\n", qPrintable(error));
      return false;
    }
    link->setLocalIp(QStringLiteral("127.0.0.1"));
    link->setRemoteAddress(QStringLiteral("127.0.0.2"));
    QObject::connect(link.get(), &ParamLink::acknowledged, [this](int) { ++acks; });
    QObject::connect(link.get(), &ParamLink::timedOut, [this] { ++timeouts; });
    std::printf("mzr4700-sim: %d unit(s) on 127.0.0.2.., port %u\n", units, port);
    return true;
  }
  ~Rig() {
    link.reset();
    sim.terminate();
    sim.waitForFinished(5000);
  }
  Rig(const Rig&) = delete;
  Rig& operator=(const Rig&) = delete;

  int units;
  quint16 port = 0;
  QProcess sim;
  AppState state;
  ParameterImage image;
  std::unique_ptr<ParamLink> link;
  int acks = 0;
  int timeouts = 0;
};

// One write through the link and the wait for its acknowledgement; the time in microseconds,
// or a negative value when none came within 2 s.
double TimedWrite(Rig& rig, const WriteSpan& span, int i) {
  rig.image.SetI8(span.address, static_cast<std::int8_t>(i % 240 - 120));
  const int before = rig.acks;
  QElapsedTimer clock;
  clock.start();
  rig.link->SendSpan(span);
  if (!RunUntil([&] { return rig.acks > before; }, 2000)) return -1.0;
  return static_cast<double>(clock.nsecsElapsed()) / 1000.0;
}

void PrintWrites(const Rig& rig, const std::vector<double>& micros, int writes) {
  std::printf("write -> acknowledgement, %d unit%s (%d writes): median %.1f us, p99 %.1f us, max %.1f us, lost %d\n",
              rig.units, rig.units == 1 ? "" : "s", writes, Percentile(micros, 0.5), Percentile(micros, 0.99),
              Percentile(micros, 1.0), writes - static_cast<int>(micros.size()));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCommandLineParser parser;
  parser.addHelpOption();
  const QCommandLineOption unitsOption(QStringLiteral("units"), QStringLiteral("units the larger simulator plays"),
                                       QStringLiteral("N"), QStringLiteral("254"));
  const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("broadcast rounds"),
                                        QStringLiteral("R"), QStringLiteral("10"));
  const QCommandLineOption writesOption(QStringLiteral("writes"), QStringLiteral("writes timed one by one, per simulator"),
                                        QStringLiteral("W"), QStringLiteral("2000"));
  const QCommandLineOption stepsOption(QStringLiteral("steps"), QStringLiteral("steps of the slider drag"),
                                       QStringLiteral("S"), QStringLiteral("10000"));
  parser.addOptions({unitsOption, roundsOption, writesOption, stepsOption});
  parser.process(app);
  const int units = std::clamp(parser.value(unitsOption).toInt(), 1, 254);
  const int rounds = std::max(1, parser.value(roundsOption).toInt());
  const int writes = std::max(1, parser.value(writesOption).toInt());
  const int steps = std::max(1, parser.value(stepsOption).toInt());

  Rig one(1);
  Rig many(units);
  if (!one.Open() || !many.Open()) return 1;

  // 1. Write to acknowledgement, one at a time, the two simulators taking turns.
  {
    const WriteSpan span = WriteSpanFor(EditedField::geqGain, 14);
    const std::array<std::uint8_t, 1> payload{};
    std::printf("frames: write request %zu bytes, acknowledgement %zu bytes\n",
                frame::BuildWrite(frame::Command::Write, span.address, payload).size(), frame::kAckSize);
    std::vector<double> oneMicros;
    std::vector<double> manyMicros;
    for (int i = 0; i < writes; ++i) {
      if (const double us = TimedWrite(one, span, i); us >= 0) oneMicros.push_back(us);
      if (const double us = TimedWrite(many, span, i); us >= 0) manyMicros.push_back(us);
    }
    PrintWrites(one, oneMicros, writes);
    PrintWrites(many, manyMicros, writes);
  }

  ParamLink& link = *many.link;
  // 2. A slider drag: one write per step, events handled between steps.
  {
    const WriteSpan span = WriteSpanFor(EditedField::outputLevel, 0);
    many.acks = 0;
    many.timeouts = 0;
    QElapsedTimer clock;
    qint64 lastAckNs = 0;
    const auto stamp =
        QObject::connect(&link, &ParamLink::acknowledged, [&](int) { lastAckNs = clock.nsecsElapsed(); });
    clock.start();
    for (int i = 0; i < steps; ++i) {
      many.image.SetU8(span.address, static_cast<std::uint8_t>(i % 256));
      link.SendSpan(span);
      QCoreApplication::processEvents();
    }
    const qint64 sentNs = clock.nsecsElapsed();
    RunUntil([&] { return many.acks >= steps; }, 3000);
    QObject::disconnect(stamp);
    std::printf(
        "slider drag (%d steps): %.0f frames/s sent; %d acknowledged, the last after %.1f ms "
        "(%.0f round trips/s); time-outs %d\n",
        steps, steps / (static_cast<double>(sentNs) / 1e9), many.acks, static_cast<double>(lastAckNs) / 1e6,
        lastAckNs > 0 ? many.acks / (static_cast<double>(lastAckNs) / 1e9) : 0.0, many.timeouts);
  }

  // 3. One broadcast read, every unit answers with its whole image.
  {
    QSet<QString> senders;
    link.SetSearchReplyHandler([&](const frame::ReadReply& reply, const QString& sender) {
      if (reply.count != kImageSize || senders.contains(sender)) return false;
      senders.insert(sender);
      return true;
    });
    link.setRemoteAddress(QStringLiteral("127.255.255.255"), ParamLink::Reach::AnyUnit);
    // The second pass keeps the thread busy for 100 ms after the broadcast, as a window busy
    // redrawing would: the whole burst must wait in the socket's receive buffer.
    for (const int busyMs : {0, 100}) {
      std::vector<double> millis;
      std::printf("broadcast read%s, replies per round (of %d):", busyMs > 0 ? " with the thread busy 100 ms" : "",
                  units);
      int complete = 0;
      for (int round = 0; round < rounds; ++round) {
        senders.clear();
        link.BeginSearch();
        QElapsedTimer clock;
        clock.start();
        link.SendRead(0, static_cast<std::uint16_t>(kImageSize));
        if (busyMs > 0) QThread::msleep(static_cast<unsigned long>(busyMs));
        const bool all = RunUntil([&] { return senders.size() >= units; }, 1000);
        if (all) {
          ++complete;
          millis.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
        }
        std::printf(" %lld", static_cast<long long>(senders.size()));
        std::fflush(stdout);
        RunUntil([] { return false; }, 50);  // let stragglers of this round drain
      }
      std::printf("\n  %d of %d rounds got all %d replies", complete, rounds, units);
      if (!millis.empty()) std::printf(", median %.1f ms to the last reply", Percentile(millis, 0.5));
      std::printf("\n");
    }
  }
  return 0;
}
