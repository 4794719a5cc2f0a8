// bridge: the show automation's line commands on TCP, carried to one unit. Runs until it is
// stopped (a service's SIGTERM); logs one line per connection and per error on stderr.

#include <QCoreApplication>
#include <QDateTime>

#include "CtlRunner.h"
#include "bridge/BridgeServer.h"
#include "bridge/BridgeUnit.h"
#include "bridge/ServiceNotifier.h"
#include "core/Config.h"
#include "link/ParamLink.h"
#include "link/discovery/LocalNetwork.h"
#include "workspace/Workspace.h"

namespace mzr::ctl {
namespace {

// How long the bridge waits for a companion command that holds the port to finish.
constexpr int kBridgeLockWaitMs = 120000;

}  // namespace

CtlResult CtlRunner::Bridge() {
  using namespace mzr::bridge;
  const auto log = [this](const QString& line) {
    m_err << "mzr4700ctl bridge: " << line << '\n';
    m_err.flush();
  };

  if (!m_args.localIp.isEmpty()) qputenv("MZR4700_LOCAL_IP", m_args.localIp.toUtf8());
  const quint16 udpPort = m_args.port.value_or(UdpPort());
  const int timeoutMs = m_args.timeoutMs.value_or(2000);
  const QString localIp = FindLocalIp(Config::Load(Config::DefaultPath()));
  if (m_args.unitIp == SearchBroadcastAddress(localIp)) {
    return CtlResult::Fail(ExitCode::usage, QStringLiteral("%1 is the broadcast address of the local network, not one "
                                                           "unit's address")
                                                .arg(m_args.unitIp));
  }

  BridgeServer::Options serverOptions;
  serverOptions.listenAddress = QHostAddress(m_args.listenHost);
  serverOptions.port = m_args.listenPort;
  for (const QString& entry : m_args.allow) {
    if (const auto parsed = BridgeServer::ParseAllowEntry(entry)) serverOptions.allow << *parsed;
  }
  serverOptions.allowSet = m_args.allowSet;
  serverOptions.allowStore = m_args.allowStore;
  serverOptions.maxClients = m_args.maxClients;
  serverOptions.idleTimeoutS = m_args.idleTimeoutS;
  serverOptions.unitTimeoutMs = timeoutMs;

  // One client of the unit's port per PC, as the program and the other commands.
  if (auto locked = LockPort(udpPort, PortLock::Holder::Bridge, kBridgeLockWaitMs); locked.code != ExitCode::ok) return locked;

  // The unit's image lives in a workspace, as the program's does.
  Workspace::Options workspaceOptions;
  workspaceOptions.udpPort = udpPort;
  workspaceOptions.linkTimeoutMs = timeoutMs;
  Workspace workspace(workspaceOptions);
  QString error;
  if (!workspace.link().Open(&error)) return CtlResult::Fail(ExitCode::noAnswerOrDiffer, error);
  workspace.link().setLocalIp(localIp);

  BridgeUnit unit(workspace, m_args.unitIp, timeoutMs);
  BridgeServer server(unit, serverOptions);
  QObject::connect(&unit, &BridgeUnit::note, &unit, log);
  QObject::connect(&server, &BridgeServer::logLine, &server, log);
  if (!server.Listen(&error)) return CtlResult::Fail(ExitCode::usage, error);

  log(QStringLiteral("listening on %1:%2 for the unit %3 (UDP port %4, time-out %5 ms); %6")
          .arg(m_args.listenHost)
          .arg(server.port())
          .arg(m_args.unitIp)
          .arg(udpPort)
          .arg(timeoutMs)
          .arg(m_args.allow.isEmpty() ? QStringLiteral("any client that reaches this address may connect")
                                      : QStringLiteral("clients allowed: ") + m_args.allow.join(QLatin1Char(' '))));
  log(QStringLiteral("holding UDP port %1 on this PC: the program and other mzr4700ctl commands refuse to use it "
                     "while the bridge runs")
          .arg(udpPort));
  log(QStringLiteral("serving the input, the fader, mute, queries and get; set %1, store %2; at most %3 clients, "
                     "idle time-out %4")
          .arg(m_args.allowSet ? QStringLiteral("allowed") : QStringLiteral("refused (--allow-set)"),
               m_args.allowStore ? QStringLiteral("allowed") : QStringLiteral("refused (--allow-store)"))
          .arg(m_args.maxClients)
          .arg(m_args.idleTimeoutS > 0 ? QStringLiteral("%1 s").arg(m_args.idleTimeoutS) : QStringLiteral("none")));
  ServiceNotifier service;
  QString notifyError;
  if (!service.Ready(QStringLiteral("listening on %1:%2 for the unit %3").arg(m_args.listenHost).arg(server.port()).arg(m_args.unitIp),
                     &notifyError) &&
      !notifyError.isEmpty()) {
    log(QStringLiteral("cannot tell systemd the bridge is ready: ") + notifyError);
  }
  if (service.watchdogIntervalMs() > 0) {
    log(QStringLiteral("watchdog: telling systemd every %1 ms that the bridge still turns").arg(service.watchdogIntervalMs()));
  }
  unit.Start();
  const int status = QCoreApplication::exec();
  return status == 0 ? CtlResult::Ok() : CtlResult::Fail(ExitCode::noAnswerOrDiffer, QStringLiteral("stopped"));
}

}  // namespace mzr::ctl
