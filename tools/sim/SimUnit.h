#pragma once
// One simulated unit: its parameter image, its address and MAC, and what it does with a
// well-formed request. No sockets here: Handle says what to send and what to do after
// sending, and the Simulator carries it out.
//
// The unit owns its network identity: ordinary writes and block writes leave bytes 132..151
// (MAC, address, mask, gateway, port) alone, so the address in the image is always where
// the unit answers. Only the network-settings write (12 bytes at 138, command 6) changes
// 138..149, and only to another loopback address.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "SimOptions.h"
#include "link/FrameCodec.h"
#include "model/ParameterImage.h"

namespace mzr::sim {

using Clock = std::chrono::steady_clock;

class SimUnit final {
 public:
  // index counts from 0; the unit shows hall name "Hall <index+1>" and screen "<index+1>".
  SimUnit(int index, Address address, std::uint16_t port, std::optional<std::filesystem::path> stateDir);

  // What the unit does with a request it heard.
  struct Reaction {
    std::string outcome;                 // for the log: "answered", "outside", "store-failed"
    std::optional<frame::Bytes> reply;   // sent to the requester
    bool restartAfterReply = false;
    std::optional<Address> moveAfterReply;  // rebind here once the "ModiNet!" left
    std::string message;                 // for stderr (store failures and the like)
  };
  Reaction Handle(const frame::Request& request);

  // Loads the stored image of this unit's MAC if there is one; a message when it was found
  // unusable (the defaults stay in place).
  std::optional<std::string> LoadStored();

  // A move to a new address: rebinding is the Simulator's; this updates the image.
  void SetAddress(Address address);
  // The image names this address instead of the one the unit sits at, until it moves.
  void SetListedAddress(Address address);
  // Writes and block writes are acknowledged but no longer change the image (--keep-settings).
  void setKeepSettings(bool keep) { m_keepSettings = keep; }
  // Called when the move was refused, so the pending mask and gateway are forgotten.
  void DropPendingNetwork() { m_pendingNetwork.reset(); }

  int index() const { return m_index; }
  Address address() const { return m_address; }
  const std::string& macText() const { return m_macText; }
  const ParameterImage& image() const { return m_image; }

  bool IsRestarting(Clock::time_point now) const { return now < m_restartUntil; }
  void BeginRestart(Clock::time_point until) { m_restartUntil = until; }

 private:
  void ApplyWrite(std::uint16_t address, frame::View data);
  void WriteIdentity();
  bool Store(std::string& message);

  int m_index;
  Address m_address;
  std::optional<Address> m_listedAddress;
  std::uint16_t m_port;
  std::optional<std::filesystem::path> m_stateDir;
  Mac m_mac{};
  std::string m_macText;
  ParameterImage m_image;
  Clock::time_point m_restartUntil{};
  // Mask and gateway of an accepted network-settings write, applied with the move.
  struct PendingNetwork {
    Ip4 mask;
    Ip4 gateway;
  };
  std::optional<PendingNetwork> m_pendingNetwork;
  bool m_keepSettings = false;
};

}  // namespace mzr::sim
