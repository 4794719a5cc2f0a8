#pragma once
// One unit inside the test process: the simulator's own unit (tools/sim SimUnit, which
// decides every answer) behind a real UDP socket on its 127.0.0.x address and the window's
// port, plus one on 127.255.255.255 that hears searches. So it answers exactly as
// mzr4700-sim does, without a process to start. It records every frame it hears, in order,
// for the test to look at, and has the faults the window tests need: lost requests, late
// answers, silence. Answers go only to senders in 127.0.0.0/8.
//
// A loopback datagram is queued at the receiver before its send returns, so Pump() (which
// every look at the frames does first) sees everything the program has sent so far, without
// the event loop having to turn.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QUdpSocket>

#include <memory>

#include "model/ParameterImage.h"

namespace mzr::sim {
class SimUnit;
}

namespace mzr::test {

class LoopbackUnit final {
  Q_DISABLE_COPY_MOVE(LoopbackUnit)

 public:
  // One request as the unit heard it.
  struct Frame {
    int command = 0;
    int address = 0;
    int count = 0;
    QByteArray data;
    bool broadcast = false;  // heard on 127.255.255.255 (a search, or a change sent there)
    QString outcome;         // as the simulator logs it: "answered", "dropped", "silent", "restarting", "outside"
  };

  // index: the unit's place in a simulator (0 is "Hall 1"); its MAC follows its address.
  explicit LoopbackUnit(quint16 port, const QString& address = QStringLiteral("127.0.0.2"), int index = 0);
  ~LoopbackUnit();

  bool bound() const { return m_bound; }
  QString address() const;
  quint16 port() const { return m_port; }

  // The unit's image as it holds it now.
  const ParameterImage& image() const;
  // Replaces the unit's settings the way a block write would: bytes 132..151 (MAC, address,
  // mask, gateway, port) stay the unit's own. Records nothing.
  void SetImage(const ParameterImage& image);

  // Handles every datagram that has arrived.
  void Pump();
  // Every frame heard since the last clear (pumps first).
  const QList<Frame>& frames();
  // The frames heard since the last clear, then clears.
  QList<Frame> TakeFrames();
  void ClearFrames() { m_frames.clear(); }
  // Only the writes and block writes among frames.
  static QList<Frame> Writes(const QList<Frame>& frames);

  // Faults. Silent: hears and records, answers nothing (mzr4700-sim --silent).
  void setSilent(bool silent) { m_silent = silent; }
  // Every answer leaves this many milliseconds late (--delay).
  void setAnswerDelayMs(int ms) { m_delayMs = ms; }
  // How long the unit hears nothing after a restart command (--restart-ms; the simulator's
  // default is 1000).
  void setRestartMs(int ms) { m_restartMs = ms; }
  // Writes and block writes are acknowledged but change nothing (--keep-settings).
  void setKeepSettings(bool keep);
  // The next `times` requests with this command are lost on the way: recorded as
  // "dropped", not applied, not answered.
  void DropNext(int command, int times = 1);

 private:
  void Drain(QUdpSocket& socket, bool broadcast);
  void Send(const QByteArray& bytes, const QHostAddress& to, quint16 port);

  quint16 m_port;
  std::unique_ptr<sim::SimUnit> m_unit;
  QUdpSocket m_unicast;
  QUdpSocket m_broadcast;
  bool m_bound = false;
  QList<Frame> m_frames;
  bool m_silent = false;
  int m_delayMs = 0;
  int m_restartMs = 1000;
  int m_dropCommand = -1;
  int m_dropsLeft = 0;
};

}  // namespace mzr::test
