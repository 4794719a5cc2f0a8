#pragma once
// The bridge's word to systemd when it runs as a service: READY=1 once it listens and holds
// the unit's port (so units ordered after it start against a working bridge), and WATCHDOG=1
// from the event loop at half the unit's WatchdogSec=, so a loop that stops turning is
// restarted rather than left holding the port and answering no one. Written straight to
// $NOTIFY_SOCKET (a path, or an abstract name written with a leading '@'); outside a
// service the variable is not set and nothing is sent.

#include <QByteArray>
#include <QObject>
#include <QString>

class QTimer;

namespace mzr::bridge {

class ServiceNotifier final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(ServiceNotifier)

 public:
  explicit ServiceNotifier(QObject* parent = nullptr);

  // One datagram of "KEY=VALUE" lines to $NOTIFY_SOCKET. False with the reason when the
  // variable names no usable socket or the send fails; false with an empty reason when the
  // variable is not set.
  static bool Notify(const QByteArray& state, QString* error = nullptr);

  // READY=1 with a STATUS= line, then the watchdog's pings if systemd asked for them
  // (WATCHDOG_USEC, and WATCHDOG_PID naming this process when it is set).
  bool Ready(const QString& status, QString* error = nullptr);
  // The ping interval in milliseconds, 0 without a watchdog.
  int watchdogIntervalMs() const;

 private:
  QTimer* m_watchdog = nullptr;
};

}  // namespace mzr::bridge
