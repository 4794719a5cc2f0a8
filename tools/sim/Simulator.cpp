#include "Simulator.h"

#include <signal.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace mzr::sim {
namespace {

volatile sig_atomic_t g_stopRequested = 0;

void OnStopSignal(int) { g_stopRequested = 1; }

// The receive buffer is larger than any datagram the unit takes (1600 bytes), so a longer
// datagram shows up with its real length and is dropped as malformed.
constexpr std::size_t kReceiveBuffer = 2048;

const char* CommandName(frame::Command c) {
  switch (c) {
    case frame::Command::Read: return "read";
    case frame::Command::Write: return "write";
    case frame::Command::BlockWrite: return "block write";
  }
  return "?";
}

}  // namespace

Simulator::Simulator(SimOptions options) : m_options(std::move(options)), m_lossState(m_options.seed) {
  m_units.reserve(static_cast<std::size_t>(m_options.units));
  for (int k = 0; k < m_options.units; ++k) {
    m_units.emplace_back(k, m_options.firstAddress + static_cast<Address>(k), m_options.port, m_options.stateDir);
    m_units.back().setKeepSettings(m_options.keepSettings);
  }
  if (m_options.elsewhere) m_units.back().SetListedAddress(*m_options.elsewhere);
}

Simulator::~Simulator() {
  if (m_epoll >= 0) ::close(m_epoll);
}

bool Simulator::Watch(std::size_t socketIndex, int fd, std::string& error) {
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.u64 = socketIndex;
  if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event) == 0) return true;
  error = std::string("cannot watch a socket: ") + std::strerror(errno);
  return false;
}

int Simulator::Open(std::string& error) {
  if (m_options.stateDir) {
    std::error_code ec;
    std::filesystem::create_directories(*m_options.stateDir, ec);
    if (ec || !std::filesystem::is_directory(*m_options.stateDir)) {
      error = "cannot use the state dir " + m_options.stateDir->string() + ": " +
              (ec ? ec.message() : std::string("not a folder"));
      return 2;
    }
    for (SimUnit& unit : m_units) {
      if (const auto problem = unit.LoadStored()) std::fprintf(stderr, "mzr4700-sim: %s\n", problem->c_str());
    }
  }
  if (m_options.logFile && !m_log.Open(*m_options.logFile, error)) return 2;
  if (m_options.audioOut) {
    m_audio = std::make_unique<AudioOut>(*m_options.audioOut, m_options.roomSeed, m_options.seat);
    if (!m_audio->Start(m_units.front().image(), error)) return 2;
  }

  m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
  if (m_epoll < 0) {
    error = std::string("cannot create an epoll set: ") + std::strerror(errno);
    return 1;
  }
  auto broadcast = UdpSocket::Bind(kLoopbackBroadcast, m_options.port, error);
  if (!broadcast) return 1;
  m_broadcast = std::move(*broadcast);
  if (!Watch(m_units.size(), m_broadcast.fd(), error)) return 1;
  m_sockets.reserve(m_units.size());
  for (const SimUnit& unit : m_units) {
    auto socket = UdpSocket::Bind(unit.address(), m_options.port, error);
    if (!socket) return 1;
    if (!Watch(m_sockets.size(), socket->fd(), error)) return 1;
    m_sockets.push_back(std::move(*socket));
  }
  return 0;
}

void Simulator::Note(const std::string& text) const {
  if (m_options.verbose) std::fprintf(stderr, "mzr4700-sim: %s\n", text.c_str());
}

bool Simulator::DrawLoss() {
  if (m_options.lossPercent <= 0.0) return false;
  // splitmix64: the same seed drops the same requests on every platform and library.
  std::uint64_t z = (m_lossState += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  const double u = static_cast<double>(z >> 11) * 0x1.0p-53;
  return u * 100.0 < m_options.lossPercent;
}

void Simulator::Drain(std::size_t socketIndex) {
  const bool broadcast = socketIndex == m_units.size();
  const UdpSocket& socket = broadcast ? m_broadcast : m_sockets[socketIndex];
  std::array<std::uint8_t, kReceiveBuffer> buffer{};
  // A bounded batch per wake-up keeps one busy socket from starving the others.
  for (int n = 0; n < 256; ++n) {
    const auto datagram = socket.Receive(buffer);
    if (!datagram) return;
    const std::size_t size = std::min(datagram->size, buffer.size());
    const auto request = datagram->size > buffer.size()
                             ? std::nullopt
                             : frame::ParseRequest(frame::View(buffer.data(), size));
    if (!request) {
      ++m_malformed;
      Note("dropped a malformed datagram of " + std::to_string(datagram->size) + " bytes from " +
           FormatAddress(datagram->from) + ":" + std::to_string(datagram->fromPort));
      continue;
    }
    if (broadcast) {
      for (std::size_t u = 0; u < m_units.size(); ++u) Dispatch(u, kLoopbackBroadcast, *datagram, *request);
    } else {
      Dispatch(socketIndex, m_units[socketIndex].address(), *datagram, *request);
    }
  }
}

void Simulator::Dispatch(std::size_t u, Address to, const UdpSocket::Datagram& datagram,
                         const frame::Request& request) {
  SimUnit& unit = m_units[u];
  const Address unitAddress = unit.address();
  ++m_framesReceived;
  const auto now = Clock::now();
  const bool lost = DrawLoss();
  std::string outcome;
  if (!IsLoopback(datagram.from)) {
    outcome = "foreign-sender";
  } else if (lost) {
    outcome = "dropped";
  } else if (m_options.silent) {
    outcome = "silent";
  } else if (unit.IsRestarting(now)) {
    outcome = "restarting";
  } else {
    SimUnit::Reaction reaction = unit.Handle(request);
    outcome = reaction.outcome;
    // The room hears the first unit's settings as soon as it took them.
    if (m_audio && u == 0 && request.command != frame::Command::Read) m_audio->Update(unit.image());
    if (!reaction.message.empty()) std::fprintf(stderr, "mzr4700-sim: %s\n", reaction.message.c_str());
    if (reaction.reply) {
      ++m_framesAnswered;
      PendingReply reply{now + std::chrono::milliseconds(m_options.delayMs), u, std::move(*reaction.reply),
                         datagram.from, datagram.fromPort, reaction.restartAfterReply, reaction.moveAfterReply};
      if (m_options.delayMs > 0) {
        m_pending.push_back(std::move(reply));
      } else {
        SendReply(std::move(reply));
      }
    }
  }
  // Written after an immediate answer left, so a reader who sees the line can rely on the
  // answer already being in its socket (the line becomes visible at the next flush, before
  // the loop waits again).
  m_log.Write({unitAddress, to, datagram.from, datagram.fromPort, &request, outcome});
  if (m_options.verbose) {
    std::fprintf(stderr, "mzr4700-sim: %s <- %s:%u %s %u bytes at %u: %s\n", FormatAddress(unitAddress).c_str(),
                 FormatAddress(datagram.from).c_str(), unsigned{datagram.fromPort}, CommandName(request.command),
                 unsigned{request.count}, unsigned{request.address}, outcome.c_str());
  }
}

void Simulator::SendReply(PendingReply reply) {
  // A moving unit binds its new address before the "ModiNet!" leaves, so a requester that
  // turns to the new address as soon as it reads the answer finds the unit there.
  std::optional<UdpSocket> moved;
  if (reply.moveAfter) moved = BindForMove(reply.unit, *reply.moveAfter);
  std::string error;
  if (!m_sockets[reply.unit].SendTo(reply.bytes, reply.to, reply.toPort, error)) {
    std::fprintf(stderr, "mzr4700-sim: unit %s: %s\n", FormatAddress(m_units[reply.unit].address()).c_str(),
                 error.c_str());
  }
  if (reply.restartAfter) {
    m_units[reply.unit].BeginRestart(Clock::now() + std::chrono::milliseconds(m_options.restartMs));
    Note("unit " + FormatAddress(m_units[reply.unit].address()) + " restarts");
  }
  if (moved) {
    const std::string from = FormatAddress(m_units[reply.unit].address());
    // Closing the old socket takes it out of the epoll set; the new one joined it in BindForMove.
    m_sockets[reply.unit] = std::move(*moved);
    m_units[reply.unit].SetAddress(*reply.moveAfter);
    std::fprintf(stderr, "mzr4700-sim: unit %s moved to %s\n", from.c_str(), FormatAddress(*reply.moveAfter).c_str());
  }
}

void Simulator::SendDue(Clock::time_point now) {
  while (!m_pending.empty() && m_pending.front().due <= now) {
    PendingReply reply = std::move(m_pending.front());
    m_pending.pop_front();
    SendReply(std::move(reply));
  }
}

std::optional<UdpSocket> Simulator::BindForMove(std::size_t u, Address target) {
  SimUnit& unit = m_units[u];
  const std::string from = FormatAddress(unit.address());
  for (const SimUnit& other : m_units) {
    if (&other != &unit && other.address() == target) {
      unit.DropPendingNetwork();
      std::fprintf(stderr, "mzr4700-sim: unit %s does not move to %s: unit %d already answers there\n",
                   from.c_str(), FormatAddress(target).c_str(), other.index() + 1);
      return std::nullopt;
    }
  }
  std::string error;
  auto socket = UdpSocket::Bind(target, m_options.port, error);
  if (socket && !Watch(u, socket->fd(), error)) socket.reset();
  if (!socket) {
    unit.DropPendingNetwork();
    std::fprintf(stderr, "mzr4700-sim: unit %s does not move: %s\n", from.c_str(), error.c_str());
  }
  return socket;
}

void Simulator::HoldStopSignals() {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int Simulator::Run() {
  // The stop signals are let through only while epoll_pwait waits.
  sigset_t runMask;
  sigprocmask(SIG_BLOCK, nullptr, &runMask);
  sigdelset(&runMask, SIGINT);
  sigdelset(&runMask, SIGTERM);

  std::array<epoll_event, 64> events{};
  while (g_stopRequested == 0) {
    int waitMs = -1;
    if (!m_pending.empty()) {
      // Rounded up: a reply is never sent before it is due, and the loop never spins on a
      // wait of zero while a reply is still a fraction of a millisecond away.
      const auto left = std::max(Clock::duration::zero(), m_pending.front().due - Clock::now());
      const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
      waitMs = static_cast<int>(std::min<std::int64_t>(ms, 1 << 30));
    }
    m_log.Flush();
    const int ready = ::epoll_pwait(m_epoll, events.data(), static_cast<int>(events.size()), waitMs, &runMask);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "mzr4700-sim: epoll failed: %s\n", std::strerror(errno));
      return 1;
    }
    for (int i = 0; i < ready; ++i) {
      if ((events[static_cast<std::size_t>(i)].events & (EPOLLIN | EPOLLERR)) != 0) {
        Drain(static_cast<std::size_t>(events[static_cast<std::size_t>(i)].data.u64));
      }
    }
    SendDue(Clock::now());
  }
  m_log.Close();
  Note("stopped: " + std::to_string(m_framesReceived) + " frames received, " + std::to_string(m_framesAnswered) +
       " answered, " + std::to_string(m_malformed) + " malformed datagrams dropped");
  return 0;
}

}  // namespace mzr::sim
