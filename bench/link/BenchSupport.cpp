#include "BenchSupport.h"

namespace mzr::bench {

bool StartSimulator(QProcess& sim, const QStringList& arguments) {
  sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  sim.start(QCoreApplication::applicationDirPath() + QStringLiteral("/mzr4700-sim"), arguments);
  return sim.waitForStarted(5000) &&
         RunUntil([&] { return sim.canReadLine() || sim.state() == QProcess::NotRunning; }, 15000) &&
         sim.readLine().startsWith("ready");
}

}  // namespace mzr::bench
