#include "bridge/BridgeServer.h"

#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "bridge/BridgeCommand.h"
#include "bridge/BridgeUnit.h"

namespace mzr::bridge {
namespace {

// What the socket keeps of a client's unread bytes; a line never needs more than a few
// hundred, and past this TCP holds the client back.
constexpr qint64 kReadBufferBytes = 16 * 1024;
// Bytes looked at for a line end at a time: a whole line of the longest kind with its end.
constexpr qint64 kChunkBytes = 512;
// Refusals and errors of one address are logged at most this often.
constexpr qint64 kLogIntervalMs = 60 * 1000;
constexpr int kSweepMs = 1000;
// How long a turned-away client gets to take its one line before it is cut off.
constexpr int kTurnAwayMs = 2000;
// Clients taken per wake-up, so a crowd at the door does not stall the ones inside.
constexpr int kAcceptBatch = 64;

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
  m_deadline = new QTimer(this);
  m_deadline->setSingleShot(true);
  m_deadline->setTimerType(Qt::PreciseTimer);
  connect(m_deadline, &QTimer::timeout, this, &BridgeServer::OnDeadline);
  m_idleSweep = new QTimer(this);
  connect(m_idleSweep, &QTimer::timeout, this, &BridgeServer::SweepIdle);
  m_idleSweep->start(m_options.idleTimeoutS > 0 ? std::min(kSweepMs, m_options.idleTimeoutS * 250) : kSweepMs);
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
  // The bridge accepts by itself: out of descriptors, Qt's server would try again at once,
  // for ever, on every turn of the loop. Its own notifier stays off.
  m_server->pauseAccepting();
  m_acceptNotifier = new QSocketNotifier(m_server->socketDescriptor(), QSocketNotifier::Read, this);
  connect(m_acceptNotifier, &QSocketNotifier::activated, this, &BridgeServer::OnAcceptable);
  return true;
}

quint16 BridgeServer::port() const { return m_server ? m_server->serverPort() : 0; }

qint64 BridgeServer::bufferedInputBytes() const {
  qint64 bytes = 0;
  for (const auto& [id, c] : m_clients) bytes += c->socket->bytesAvailable() + c->line.size();
  return bytes;
}

int BridgeServer::DeadlineMs(const BridgeCommand& command) const {
  // A read of the settings may come first (after a time-out), then each frame waits for its
  // acknowledgement at most one time-out.
  return (1 + FramesAtMost(command)) * m_options.unitTimeoutMs + kDeadlineSlackMs;
}

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

bool BridgeServer::LogDue(const QString& key) {
  if (m_limited.size() > 4096) {
    std::erase_if(m_limited, [](const auto& entry) { return entry.second.since.elapsed() >= kLogIntervalMs; });
  }
  Limited& limited = m_limited[key];
  if (limited.since.isValid() && limited.since.elapsed() < kLogIntervalMs) {
    ++limited.more;
    return false;
  }
  // What the last minute held back was told by the sweep when the minute ended.
  limited.since.start();
  limited.more = 0;
  return true;
}

void BridgeServer::TurnAway(QTcpSocket* socket, const QByteArray& reply) {
  connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  if (!reply.isEmpty()) {
    socket->write(reply);
    socket->disconnectFromHost();
    // A client that does not take the line still loses its descriptor soon.
    QTimer::singleShot(kTurnAwayMs, socket, [socket] {
      socket->abort();
      socket->deleteLater();
    });
  } else {
    socket->abort();
    socket->deleteLater();
  }
}

void BridgeServer::OnAcceptable() {
  for (int n = 0; n < kAcceptBatch; ++n) {
    const int fd = ::accept4(static_cast<int>(m_server->socketDescriptor()), nullptr, nullptr,
                             SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      const int error = errno;
      if (error == EINTR || error == ECONNABORTED || error == EPROTO) continue;
      if (error == EAGAIN || error == EWOULDBLOCK) return;
      // Out of descriptors (or memory): every try would fail at once, so the next one comes
      // after a pause, and the journal hears of it once.
      m_acceptNotifier->setEnabled(false);
      if (!m_acceptPaused) {
        m_acceptPaused = true;
        emit logLine(QStringLiteral("cannot accept a client (%1): trying again every %2 ms until it works")
                         .arg(QString::fromLocal8Bit(std::strerror(error)))
                         .arg(m_options.acceptPauseMs));
      }
      QTimer::singleShot(m_options.acceptPauseMs, this, [this] { m_acceptNotifier->setEnabled(true); });
      return;
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(fd)) {
      ::close(fd);
      delete socket;
      continue;
    }
    if (m_acceptPaused) {
      m_acceptPaused = false;
      emit logLine(QStringLiteral("accepting clients again"));
    }
    Admit(socket);
  }
}

void BridgeServer::Admit(QTcpSocket* socket) {
  const QString peer = PeerText(*socket);
  const QString address = Plain(socket->peerAddress()).toString();
  if (!Allowed(socket->peerAddress())) {
    // Closed before a byte is read or written.
    TurnAway(socket, {});
    if (LogDue(address + QStringLiteral(" allow"))) emit logLine(QStringLiteral("refused %1: not in --allow").arg(peer));
    return;
  }
  if (clientCount() >= m_options.maxClients) {
    TurnAway(socket, ErrorReply(QStringLiteral("too many clients")).toUtf8() + '\n');
    if (LogDue(address + QStringLiteral(" cap"))) {
      emit logLine(QStringLiteral("refused %1: %2 clients already (--max-clients)").arg(peer).arg(clientCount()));
    }
    return;
  }
  const quint64 id = ++m_nextClient;
  auto client = std::make_unique<Client>();
  client->socket = socket;
  client->peer = peer;
  client->address = address;
  client->active.start();
  socket->setReadBufferSize(kReadBufferBytes);
  m_clients.emplace(id, std::move(client));
  connect(socket, &QTcpSocket::readyRead, this, [this, id] { ReadLines(id); });
  connect(socket, &QTcpSocket::bytesWritten, this, [this, id] {
    if (Client* c = Find(id)) {
      c->active.restart();  // the client takes its replies
      ResumeSoon(id);
    }
  });
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

bool BridgeServer::HeldBack(const Client& c) const {
  // Commands waiting for the unit and replies the client has not taken are bounded: the
  // rest of its input stays in the socket, and reading goes on as replies leave.
  return static_cast<int>(c.replies.size()) >= m_options.maxPending ||
         c.socket->bytesToWrite() > m_options.maxUnsentBytes;
}

void BridgeServer::TakeLines(quint64 id) {
  for (;;) {
    Client* c = Find(id);
    if (!c || c->closing) return;
    c->resumeQueued = false;
    if (HeldBack(*c)) return;
    // One line (or what has come of it) at a time, never more than a chunk beyond a line's
    // bound: a line that never ends does not grow the bridge.
    char chunk[kChunkBytes];
    const qint64 peeked = c->socket->peek(chunk, kChunkBytes);
    if (peeked <= 0) return;
    c->active.restart();
    qint64 used = 0;
    if (c->afterCr) {
      c->afterCr = false;
      if (chunk[0] == '\n') {
        // The CR that ended the last line was the first half of a CR LF.
        c->lastEnd = LineEnd::CrLf;
        c->socket->skip(1);
        continue;
      }
    }
    const void* cr = std::memchr(chunk, '\r', static_cast<std::size_t>(peeked));
    const void* lf = std::memchr(chunk, '\n', static_cast<std::size_t>(peeked));
    const char* endAt = static_cast<const char*>(cr && lf ? std::min(cr, lf) : (cr ? cr : lf));
    const qint64 body = endAt ? endAt - chunk : peeked;
    std::optional<LineEnd> end;
    if (endAt) {
      used = body + 1;
      if (*endAt == '\n') {
        end = LineEnd::Lf;
      } else if (used < peeked) {
        end = chunk[used] == '\n' ? LineEnd::CrLf : LineEnd::Cr;
        if (*end == LineEnd::CrLf) ++used;
      } else {
        // The CR is the last byte so far: the line ends here; an LF that follows belongs to
        // it, and the reply ends as this client's last CR line did.
        end = c->lastEnd == LineEnd::CrLf ? LineEnd::CrLf : LineEnd::Cr;
        c->afterCr = true;
      }
    } else {
      used = body;
    }
    if (!c->discarding) {
      if (c->line.size() + body > kMaxLineBytes) {
        c->discarding = true;
        c->line.clear();
        Answer(id, *c, ErrorReply(QStringLiteral("line longer than %1 bytes").arg(kMaxLineBytes)),
               end.value_or(c->lastEnd));
        if (LogDue(c->address + QStringLiteral(" line"))) {
          emit logLine(QStringLiteral("client %1: line longer than %2 bytes dropped").arg(c->peer).arg(kMaxLineBytes));
        }
      } else {
        c->line.append(chunk, body);
      }
    }
    c->socket->skip(used);
    if (!end) continue;
    c->lastEnd = *end;
    if (c->discarding) {
      c->discarding = false;  // the end of the long line: the next line is served
      continue;
    }
    TakeLine(id, *c, *end);
  }
}

void BridgeServer::TakeLine(quint64 id, Client& c, LineEnd end) {
  std::optional<BridgeCommand> command = ParseBridgeLine(c.line);
  c.line.clear();
  if (!command) return;  // a line of blanks
  if (std::holds_alternative<SetField>(command->action) && !m_options.allowSet) {
    command->action = Refused{QStringLiteral("set is not enabled: start the bridge with --allow-set")};
  } else if (std::holds_alternative<StoreImage>(command->action) && !m_options.allowStore) {
    command->action = Refused{QStringLiteral("store is not enabled: start the bridge with --allow-store")};
  }
  if (const auto* refused = std::get_if<Refused>(&command->action)) {
    // Its place in the client's order: written once the commands before it are answered.
    if (LogDue(c.address + QStringLiteral(" error"))) {
      emit logLine(QStringLiteral("client %1: error %2").arg(c.peer, refused->reason));
    }
    Answer(id, c, ErrorReply(refused->reason), end);
    return;
  }
  const quint64 ticket = ++m_nextTicket;
  c.replies.push_back({ticket, std::nullopt, end});
  m_waiting.emplace(ticket, Waiting{id, DeadlineMs(*command)});
  ArmDeadline();
  m_unit.Submit(ticket, *command);  // may answer before it returns
}

void BridgeServer::Answer(quint64 id, Client& c, const QString& reply, LineEnd end) {
  c.replies.push_back({0, reply.toUtf8(), end});
  Flush(id);
}

void BridgeServer::OnFinished(quint64 ticket, const QString& reply) {
  if (!m_waiting.contains(ticket)) {
    // Already answered when its deadline passed; the unit side got there late.
    emit logLine(QStringLiteral("the unit side answered a command after its deadline: %1").arg(reply));
    return;
  }
  Settle(ticket, reply);
}

void BridgeServer::Settle(quint64 ticket, const QString& reply) {
  const auto waiting = m_waiting.find(ticket);
  if (waiting == m_waiting.end()) return;
  const quint64 id = waiting->second.client;
  m_waiting.erase(waiting);
  ArmDeadline();
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
  if (error && LogDue(c->address + QStringLiteral(" error"))) emit logLine(QStringLiteral("client %1: %2").arg(c->peer, reply));
  Flush(id);
  ResumeSoon(id);
}

void BridgeServer::ArmDeadline() {
  if (m_waiting.empty()) {
    m_deadline->stop();
    m_deadlineTicket = 0;
    return;
  }
  // The unit side carries commands out in the order they came: only the first one's clock
  // runs, and the next one's starts when it is answered.
  const auto& [ticket, waiting] = *m_waiting.begin();
  if (ticket == m_deadlineTicket) return;
  m_deadlineTicket = ticket;
  m_deadline->start(waiting.deadlineMs);
}

void BridgeServer::OnDeadline() {
  const quint64 ticket = m_deadlineTicket;
  const auto waiting = m_waiting.find(ticket);
  if (waiting == m_waiting.end()) return;
  const QString reply = ErrorReply(
      QStringLiteral("no answer from the unit side within %1 ms; the command may or may not have reached the unit")
          .arg(waiting->second.deadlineMs));
  emit logLine(reply);
  Settle(ticket, reply);
}

void BridgeServer::ResumeSoon(quint64 id) {
  Client* c = Find(id);
  if (!c || c->closing || c->resumeQueued || HeldBack(*c) || c->socket->bytesAvailable() == 0) return;
  // Not from here: a reply given at once would read the next line inside this call.
  c->resumeQueued = true;
  QMetaObject::invokeMethod(this, [this, id] { ReadLines(id); }, Qt::QueuedConnection);
}

void BridgeServer::Flush(quint64 id) {
  Client* c = Find(id);
  if (!c || c->closing) return;
  while (!c->replies.empty() && c->replies.front().reply) {
    Slot& slot = c->replies.front();
    static constexpr const char* kEnds[] = {"\n", "\r\n", "\r"};
    slot.reply->append(kEnds[static_cast<int>(slot.end)]);  // the client's own line end
    c->socket->write(*slot.reply);
    c->replies.pop_front();
    ++c->answered;
  }
}

void BridgeServer::SweepIdle() {
  if (m_options.idleTimeoutS > 0) {
    const qint64 limitMs = qint64{m_options.idleTimeoutS} * 1000;
    std::vector<quint64> idle;
    for (const auto& [id, c] : m_clients) {
      // A client waiting for the unit is not idle: its commands' deadlines bound the wait.
      if (!c->closing && c->replies.empty() && c->active.elapsed() >= limitMs) idle.push_back(id);
    }
    for (const quint64 id : idle) {
      Close(id, QStringLiteral("it sent nothing and took no reply for %1 s (--idle-timeout)").arg(m_options.idleTimeoutS));
    }
  }
  // What the minute's limit held back is still told, once the minute is over.
  for (auto it = m_limited.begin(); it != m_limited.end();) {
    if (it->second.since.elapsed() < kLogIntervalMs) {
      ++it;
      continue;
    }
    if (it->second.more > 0) {
      emit logLine(QStringLiteral("%1: %2 more refusals or errors like the last one logged in the minute before")
                       .arg(it->first.section(QLatin1Char(' '), 0, 0))
                       .arg(it->second.more));
    }
    it = m_limited.erase(it);
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
