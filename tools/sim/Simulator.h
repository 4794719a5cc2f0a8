#pragma once
// The simulator's event loop: one socket per unit on its own address, one on the loopback
// broadcast address that hands a broadcast to every unit, the fault switches (loss, delay,
// silence) and the frame log. Single-threaded: one epoll set holds every socket, so a
// datagram wakes the loop for its own socket only and 254 units cost what one does; SIGINT
// and SIGTERM are unblocked only inside epoll_pwait so that a stop request is never missed.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "AudioOut.h"
#include "FrameLog.h"
#include "SimOptions.h"
#include "SimUnit.h"
#include "UdpSocket.h"

namespace mzr::sim {

class Simulator final {
 public:
  explicit Simulator(SimOptions options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Blocks SIGINT and SIGTERM and installs their handler. Called first thing, so a stop
  // request that comes right after "ready" (or during start-up) is held for Run, which
  // then ends cleanly, instead of killing the process.
  static void HoldStopSignals();

  // Loads stored images, opens the log and binds every socket. The exit status to use and a
  // message when something failed: 2 for an unusable state dir or log, 1 for a socket.
  int Open(std::string& error);
  // Serves until SIGINT or SIGTERM; gives the exit status.
  int Run();

 private:
  struct PendingReply {
    Clock::time_point due;
    std::size_t unit;
    frame::Bytes bytes;
    Address to;
    std::uint16_t toPort;
    bool restartAfter;
    std::optional<Address> moveAfter;
  };

  // Adds a socket to the epoll set under its index (units.size() is the broadcast socket).
  bool Watch(std::size_t socketIndex, int fd, std::string& error);
  void Drain(std::size_t socketIndex);
  void Dispatch(std::size_t unit, Address to, const UdpSocket::Datagram& datagram,
                const frame::Request& request);
  void SendReply(PendingReply reply);
  void SendDue(Clock::time_point now);
  // The socket at the target address, or nothing when the unit may not move there.
  std::optional<UdpSocket> BindForMove(std::size_t unit, Address target);
  bool DrawLoss();
  void Note(const std::string& text) const;

  SimOptions m_options;
  std::vector<SimUnit> m_units;
  std::vector<UdpSocket> m_sockets;  // one per unit, same order
  UdpSocket m_broadcast;
  int m_epoll = -1;
  FrameLog m_log;
  std::unique_ptr<AudioOut> m_audio;  // --audio-out
  std::deque<PendingReply> m_pending;  // in due order: the delay is the same for every reply
  std::uint64_t m_lossState;
  std::uint64_t m_malformed = 0;
  std::uint64_t m_framesReceived = 0;
  std::uint64_t m_framesAnswered = 0;
};

}  // namespace mzr::sim
