#include "Simulator.h"

#include <poll.h>
#include <signal.h>

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
  }
  if (m_options.elsewhere) m_units.back().SetListedAddress(*m_options.elsewhere);
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

  auto broadcast = UdpSocket::Bind(kLoopbackBroadcast, m_options.port, error);
  if (!broadcast) return 1;
  m_broadcast = std::move(*broadcast);
  m_sockets.reserve(m_units.size());
  for (const SimUnit& unit : m_units) {
    auto socket = UdpSocket::Bind(unit.address(), m_options.port, error);
    if (!socket) return 1;
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
  // The stop signals are let through only while ppoll waits.
  sigset_t runMask;
  sigprocmask(SIG_BLOCK, nullptr, &runMask);
  sigdelset(&runMask, SIGINT);
  sigdelset(&runMask, SIGTERM);

  std::vector<pollfd> fds(m_units.size() + 1);
  while (g_stopRequested == 0) {
    // Rebuilt every round: a move replaces a unit's socket.
    for (std::size_t i = 0; i < m_units.size(); ++i) fds[i] = {m_sockets[i].fd(), POLLIN, 0};
    fds[m_units.size()] = {m_broadcast.fd(), POLLIN, 0};

    timespec wait{};
    timespec* waitPointer = nullptr;
    if (!m_pending.empty()) {
      const auto left = std::max(Clock::duration::zero(), m_pending.front().due - Clock::now());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      wait.tv_sec = static_cast<time_t>(ns / 1000000000);
      wait.tv_nsec = static_cast<long>(ns % 1000000000);
      waitPointer = &wait;
    }
    m_log.Flush();
    const int ready = ppoll(fds.data(), fds.size(), waitPointer, &runMask);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "mzr4700-sim: poll failed: %s\n", std::strerror(errno));
      return 1;
    }
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if ((fds[i].revents & POLLIN) != 0) Drain(i);
    }
    SendDue(Clock::now());
  }
  m_log.Close();
  Note("stopped: " + std::to_string(m_framesReceived) + " frames received, " + std::to_string(m_framesAnswered) +
       " answered, " + std::to_string(m_malformed) + " malformed datagrams dropped");
  return 0;
}

}  // namespace mzr::sim
