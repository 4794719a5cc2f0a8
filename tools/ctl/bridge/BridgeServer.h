#pragma once
// The automation bridge's TCP side: accepts the booth's automation clients (only the
// addresses allowed, others closed at once with nothing sent), cuts their bytes into lines,
// hands each command to the unit side and writes exactly one reply line per command, in the
// client's order, also when commands are pipelined, and within the command's deadline
// whatever the unit side does.
//
// Built to be left running: at most maxClients clients, a client that neither sends nor
// reads for the idle time-out is closed, running out of descriptors pauses accepting instead
// of spinning, and no client can hold up the others or grow the bridge's memory. A client's
// unread input is bounded (the socket's read buffer, at most maxPending commands waiting for
// the unit, a line of at most kMaxLineBytes); while its unwritten replies pass maxUnsentBytes
// the bridge stops reading from it and TCP holds the sender back.

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <utility>

class QTcpServer;
class QSocketNotifier;
class QTcpSocket;
class QTimer;

namespace mzr::bridge {

class BridgeUnit;
struct BridgeCommand;

class BridgeServer final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(BridgeServer)

 public:
  struct Options {
    QHostAddress listenAddress = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 61408;
    // Client addresses or subnets that may connect; empty: any client that reaches the
    // listening address.
    QList<std::pair<QHostAddress, int>> allow;
    // set FIELD=VALUE reaches nearly every field of the unit (its serial number, the test
    // signal on every output) and store makes a change survive a restart: both are off
    // unless the bridge is started with them.
    bool allowSet = false;
    bool allowStore = false;
    int maxClients = 16;
    int idleTimeoutS = 600;  // 0: never
    // The unit side's time-out for one frame; a command's deadline is one per frame it may
    // send (and one for a read of the settings before it) plus kDeadlineSlackMs.
    int unitTimeoutMs = 2000;
    qint64 maxUnsentBytes = 64 * 1024;
    int maxPending = 64;
    int acceptPauseMs = 1000;  // after running out of descriptors
  };

  static constexpr int kDeadlineSlackMs = 1000;

  BridgeServer(BridgeUnit& unit, Options options, QObject* parent = nullptr);
  ~BridgeServer() override;

  bool Listen(QString* error);
  quint16 port() const;
  int clientCount() const { return static_cast<int>(m_clients.size()); }
  // Input bytes the bridge holds for its clients (socket buffers and partial lines).
  qint64 bufferedInputBytes() const;
  // The longest a command can wait for its reply, counted from when the commands before it
  // were answered.
  int DeadlineMs(const BridgeCommand& command) const;

  // "ADDR" or "ADDR/PREFIX" as an allow entry, or nothing.
  static std::optional<std::pair<QHostAddress, int>> ParseAllowEntry(const QString& text);

 signals:
  // One line per connection and per error (refusals at most once a minute per address), for
  // the journal.
  void logLine(const QString& line);

 private:
  enum class LineEnd { Lf, CrLf, Cr };
  struct Slot {
    quint64 ticket = 0;
    std::optional<QByteArray> reply;
    LineEnd end = LineEnd::Lf;
  };
  struct Client {
    QTcpSocket* socket = nullptr;
    QString peer;
    QString address;          // without the port, for the refusal log
    QByteArray line;          // the line being received, at most kMaxLineBytes + 1
    bool discarding = false;  // inside a line that was too long: dropped up to its end
    bool afterCr = false;     // the last line ended with CR: an LF next belongs to it
    LineEnd lastEnd = LineEnd::Lf;
    bool closing = false;
    bool resumeQueued = false;
    std::deque<Slot> replies;  // one per command, in the order of its lines
    quint64 answered = 0;
    QElapsedTimer active;      // since the client last sent a byte or took one of its replies
  };
  struct Waiting {
    quint64 client = 0;
    int deadlineMs = 0;
  };
  struct Limited {
    QElapsedTimer since;
    int more = 0;
  };

  void OnAcceptable();
  void Admit(QTcpSocket* socket);
  bool Allowed(const QHostAddress& peer) const;
  void TurnAway(QTcpSocket* socket, const QByteArray& reply);
  void ReadLines(quint64 id);
  void TakeLines(quint64 id);
  bool HeldBack(const Client& c) const;
  void TakeLine(quint64 id, Client& c, LineEnd end);
  void Answer(quint64 id, Client& c, const QString& reply, LineEnd end);
  void OnFinished(quint64 ticket, const QString& reply);
  void Settle(quint64 ticket, const QString& reply);
  void ArmDeadline();
  void OnDeadline();
  void ResumeSoon(quint64 id);
  void Flush(quint64 id);
  void SweepIdle();
  void Close(quint64 id, const QString& why);
  void Remove(quint64 id);
  Client* Find(quint64 id);
  // Whether a refusal or error under key is logged now: at most once a minute per key; the
  // ones held back are counted, and the sweep tells their number when the minute ends.
  bool LogDue(const QString& key);

  BridgeUnit& m_unit;
  Options m_options;
  QTcpServer* m_server = nullptr;  // listens; the bridge accepts by itself
  QSocketNotifier* m_acceptNotifier = nullptr;
  QTimer* m_deadline = nullptr;
  QTimer* m_idleSweep = nullptr;
  std::map<quint64, std::unique_ptr<Client>> m_clients;
  std::map<quint64, Waiting> m_waiting;  // ticket -> its client; the first is the unit's head
  quint64 m_deadlineTicket = 0;          // the ticket m_deadline runs for
  quint64 m_nextClient = 0;
  quint64 m_nextTicket = 0;
  bool m_acceptPaused = false;
  std::map<QString, Limited> m_limited;
};

}  // namespace mzr::bridge
