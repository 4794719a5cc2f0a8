#pragma once
// The automation bridge's TCP side: accepts the booth's automation clients (only the
// addresses allowed, others closed at once with nothing sent), cuts their bytes into lines,
// hands each command to the unit side and writes exactly one reply line per command, in the
// client's order, also when commands are pipelined.
//
// No client can hold up the others or grow the bridge's memory: a client's unread input is
// bounded (the socket's read buffer, and at most maxPending commands waiting for the unit;
// past that the bridge stops reading from it and TCP holds the sender back), and a client
// that stops reading its replies is closed once maxUnsentBytes of them wait.

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
class QTcpSocket;

namespace mzr::bridge {

class BridgeUnit;

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
    qint64 maxUnsentBytes = 64 * 1024;
    int maxPending = 64;
  };

  BridgeServer(BridgeUnit& unit, Options options, QObject* parent = nullptr);
  ~BridgeServer() override;

  bool Listen(QString* error);
  quint16 port() const;
  int clientCount() const { return static_cast<int>(m_clients.size()); }

  // "ADDR" or "ADDR/PREFIX" as an allow entry, or nothing.
  static std::optional<std::pair<QHostAddress, int>> ParseAllowEntry(const QString& text);

 signals:
  // One line per connection and per error, for the journal.
  void logLine(const QString& line);

 private:
  struct Slot {
    quint64 ticket = 0;
    std::optional<QByteArray> reply;
    bool crlf = false;
  };
  struct Client {
    QTcpSocket* socket = nullptr;
    QString peer;
    bool discarding = false;  // inside a line that was too long: dropped up to its end
    bool closing = false;
    bool resumeQueued = false;
    std::deque<Slot> replies;  // one per command, in the order of its lines
    quint64 answered = 0;
  };

  void OnNewConnection();
  bool Allowed(const QHostAddress& peer) const;
  void ReadLines(quint64 id);
  void TakeLines(quint64 id);
  void OnFinished(quint64 ticket, const QString& reply);
  void Flush(quint64 id);
  void Close(quint64 id, const QString& why);
  void Remove(quint64 id);
  Client* Find(quint64 id);

  BridgeUnit& m_unit;
  Options m_options;
  QTcpServer* m_server = nullptr;
  std::map<quint64, std::unique_ptr<Client>> m_clients;
  std::map<quint64, quint64> m_ticketOwner;  // ticket -> client id
  quint64 m_nextClient = 0;
  quint64 m_nextTicket = 0;
};

}  // namespace mzr::bridge
