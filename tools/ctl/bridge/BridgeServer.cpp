#include "bridge/BridgeServer.h"

#include <QTcpServer>
#include <QTcpSocket>

#include "bridge/BridgeCommand.h"
#include "bridge/BridgeUnit.h"

namespace mzr::bridge {
namespace {

// What the socket keeps of a client's unread bytes; a line never needs more than a few
// hundred, and past this TCP holds the client back.
constexpr qint64 kReadBufferBytes = 16 * 1024;

QHostAddress Plain(const QHostAddress& address) {
  bool ok = false;
  const quint32 v4 = address.toIPv4Address(&ok);  // an IPv4-mapped IPv6 address as IPv4
  return ok ? QHostAddress(v4) : address;
}

QString PeerText(const QTcpSocket& socket) {
  return QStringLiteral("%1:%2").arg(Plain(socket.peerAddress()).toString()).arg(socket.peerPort());
}

}  // namespace

BridgeServer::BridgeServer(BridgeUnit& unit, Options options, QObject* parent)
    : QObject(parent), m_unit(unit), m_options(std::move(options)) {
  connect(&m_unit, &BridgeUnit::finished, this, &BridgeServer::OnFinished);
}

BridgeServer::~BridgeServer() = default;

std::optional<std::pair<QHostAddress, int>> BridgeServer::ParseAllowEntry(const QString& text) {
  const qsizetype slash = text.indexOf(QLatin1Char('/'));
  if (slash < 0) {
    const QHostAddress address(text);
    if (address.isNull()) return std::nullopt;
    return std::pair{address, -1};
  }
  const auto subnet = QHostAddress::parseSubnet(text);
  if (subnet.first.isNull()) return std::nullopt;
  return std::pair{subnet.first, subnet.second};
}

bool BridgeServer::Listen(QString* error) {
  m_server = new QTcpServer(this);
  if (!m_server->listen(m_options.listenAddress, m_options.port)) {
    if (error) {
      *error = QStringLiteral("cannot listen on %1:%2 (%3)")
                   .arg(m_options.listenAddress.toString())
                   .arg(m_options.port)
                   .arg(m_server->errorString());
    }
    return false;
  }
  connect(m_server, &QTcpServer::newConnection, this, &BridgeServer::OnNewConnection);
  return true;
}

quint16 BridgeServer::port() const { return m_server ? m_server->serverPort() : 0; }

bool BridgeServer::Allowed(const QHostAddress& peer) const {
  if (m_options.allow.isEmpty()) return true;
  const QHostAddress address = Plain(peer);
  for (const auto& [allowed, prefix] : m_options.allow) {
    if (prefix < 0 ? address.isEqual(Plain(allowed)) : address.isInSubnet(allowed, prefix)) return true;
  }
  return false;
}

BridgeServer::Client* BridgeServer::Find(quint64 id) {
  const auto it = m_clients.find(id);
  return it == m_clients.end() ? nullptr : it->second.get();
}

void BridgeServer::OnNewConnection() {
  while (QTcpSocket* socket = m_server->nextPendingConnection()) {
    const QString peer = PeerText(*socket);
    if (!Allowed(socket->peerAddress())) {
      // Closed before a byte is read or written.
      socket->abort();
      socket->deleteLater();
      emit logLine(QStringLiteral("refused %1: not in --allow").arg(peer));
      continue;
    }
    const quint64 id = ++m_nextClient;
    auto client = std::make_unique<Client>();
    client->socket = socket;
    client->peer = peer;
    socket->setReadBufferSize(kReadBufferBytes);
    m_clients.emplace(id, std::move(client));
    connect(socket, &QTcpSocket::readyRead, this, [this, id] { ReadLines(id); });
    connect(socket, &QTcpSocket::disconnected, this, [this, id] {
      Client* c = Find(id);
      if (!c || c->closing) return;
      c->closing = true;
      emit logLine(QStringLiteral("client %1 disconnected after %2 replies").arg(c->peer).arg(c->answered));
      QMetaObject::invokeMethod(this, [this, id] { Remove(id); }, Qt::QueuedConnection);
    });
    emit logLine(QStringLiteral("client %1 connected").arg(peer));
    if (socket->bytesAvailable() > 0) ReadLines(id);
  }
}

void BridgeServer::ReadLines(quint64 id) {
  TakeLines(id);
  // Qt stops reading a socket whose read buffer is full, and takes it up again only on a
  // read that reaches the socket itself; lines taken from the buffer do not. Setting the
  // bound anew turns reading on again when the buffer has room (and leaves it off if not).
  if (Client* c = Find(id); c && !c->closing) {
    c->socket->setReadBufferSize(0);
    c->socket->setReadBufferSize(kReadBufferBytes);
  }
}

void BridgeServer::TakeLines(quint64 id) {
  for (;;) {
    Client* c = Find(id);
    if (!c || c->closing) return;
    c->resumeQueued = false;
    // Commands waiting for the unit are bounded per client: the rest stays in the socket,
    // and OnFinished resumes reading as replies leave.
    if (static_cast<int>(c->replies.size()) >= m_options.maxPending) return;
    QTcpSocket* socket = c->socket;
    if (c->discarding) {
      const QByteArray chunk = socket->readLine(4096);
      if (chunk.isEmpty()) return;
      if (chunk.endsWith('\n')) c->discarding = false;
      continue;
    }
    if (!socket->canReadLine()) {
      // A line end can still come for a line this short; a longer one is refused now and
      // the rest of it dropped as it arrives.
      if (socket->bytesAvailable() <= kMaxLineBytes + 1) return;
      c->discarding = true;
      c->replies.push_back({0, ErrorReply(QStringLiteral("line longer than %1 bytes").arg(kMaxLineBytes)).toUtf8(),
                          false});
      emit logLine(QStringLiteral("client %1: line longer than %2 bytes dropped").arg(c->peer).arg(kMaxLineBytes));
      Flush(id);
      continue;
    }
    QByteArray line = socket->readLine();
    const bool crlf = line.endsWith("\r\n");
    line.chop(1);
    const std::optional<BridgeCommand> command = ParseBridgeLine(line);
    if (!command) continue;
    if (const auto* refused = std::get_if<Refused>(&command->action)) {
      c->replies.push_back({0, ErrorReply(refused->reason).toUtf8(), crlf});
      emit logLine(QStringLiteral("client %1: error %2").arg(c->peer, refused->reason));
      Flush(id);
      continue;
    }
    const quint64 ticket = ++m_nextTicket;
    c->replies.push_back({ticket, std::nullopt, crlf});
    m_ticketOwner.emplace(ticket, id);
    m_unit.Submit(ticket, *command);  // may answer before it returns
  }
}

void BridgeServer::OnFinished(quint64 ticket, const QString& reply) {
  const auto owner = m_ticketOwner.find(ticket);
  if (owner == m_ticketOwner.end()) return;
  const quint64 id = owner->second;
  m_ticketOwner.erase(owner);
  Client* c = Find(id);
  const bool error = reply.startsWith(QLatin1String("error "));
  if (!c || c->closing) {
    // The command was whole, so it was carried out; its client left before the reply.
    if (error) emit logLine(QStringLiteral("%1 (its client had left)").arg(reply));
    return;
  }
  for (Slot& slot : c->replies) {
    if (slot.ticket == ticket) {
      slot.reply = reply.toUtf8();
      break;
    }
  }
  if (error) emit logLine(QStringLiteral("client %1: %2").arg(c->peer, reply));
  Flush(id);
  c = Find(id);
  if (c && !c->closing && !c->resumeQueued && c->socket->bytesAvailable() > 0) {
    // Not from here: a reply given at once would read the next line inside this call.
    c->resumeQueued = true;
    QMetaObject::invokeMethod(this, [this, id] { ReadLines(id); }, Qt::QueuedConnection);
  }
}

void BridgeServer::Flush(quint64 id) {
  Client* c = Find(id);
  if (!c || c->closing) return;
  while (!c->replies.empty() && c->replies.front().reply) {
    Slot& slot = c->replies.front();
    slot.reply->append(slot.crlf ? "\r\n" : "\n");  // the client's own line end
    c->socket->write(*slot.reply);
    c->replies.pop_front();
    ++c->answered;
  }
  if (c->socket->bytesToWrite() > m_options.maxUnsentBytes) {
    Close(id, QStringLiteral("%1 bytes of replies unread").arg(c->socket->bytesToWrite()));
  }
}

void BridgeServer::Close(quint64 id, const QString& why) {
  Client* c = Find(id);
  if (!c || c->closing) return;
  c->closing = true;
  emit logLine(QStringLiteral("closed client %1: %2").arg(c->peer, why));
  c->socket->abort();
  QMetaObject::invokeMethod(this, [this, id] { Remove(id); }, Qt::QueuedConnection);
}

void BridgeServer::Remove(quint64 id) {
  const auto it = m_clients.find(id);
  if (it == m_clients.end()) return;
  it->second->socket->deleteLater();
  m_clients.erase(it);
}

}  // namespace mzr::bridge
