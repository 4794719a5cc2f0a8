#pragma once
// What the link benchmarks share: running the event loop until a condition holds, and
// starting mzr4700-sim (without a log, which would slow it) on a free loopback port.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

namespace mzr::bench {

// Runs the event loop until done() holds or limitMs pass; true when done() holds.
template <typename Done>
bool RunUntil(Done done, int limitMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  }
  return true;
}

// Starts the simulator beside this program with arguments and waits for its "ready" line.
bool StartSimulator(QProcess& sim, const QStringList& arguments);

}  // namespace mzr::bench
