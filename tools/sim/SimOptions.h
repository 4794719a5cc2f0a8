#pragma once
// The command line of mzr4700-sim, parsed into plain values. Parsing never exits: it gives
// the options or the text of the first problem, so main decides how to report it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>

namespace mzr::sim {

// IPv4 addresses are kept as host-order 32-bit numbers inside the simulator.
using Address = std::uint32_t;

inline constexpr Address kLoopbackNet = 0x7F000000u;        // 127.0.0.0
inline constexpr Address kLoopbackBroadcast = 0x7FFFFFFFu;  // 127.255.255.255
inline constexpr Address kProgramAddress = 0x7F000001u;     // 127.0.0.1

// True for every address of 127.0.0.0/8: the only addresses the simulator sends to.
constexpr bool IsLoopback(Address a) { return (a >> 24) == 127u; }
// A loopback address a unit may hold: not the network or broadcast address, and not
// 127.0.0.1, where the program's answers arrive (its socket on 0.0.0.0 sends from there, and
// a unit socket bound to 127.0.0.1 would take those answers away from it).
constexpr bool IsUnitAddress(Address a) {
  return IsLoopback(a) && a != kLoopbackNet && a != kLoopbackBroadcast && a != kProgramAddress;
}

std::string FormatAddress(Address a);
std::optional<Address> ParseAddress(const std::string& text);

struct SimOptions {
  int units = 1;
  Address firstAddress = 0x7F000002u;  // 127.0.0.2
  std::uint16_t port = 2305;
  std::optional<std::filesystem::path> stateDir;
  std::optional<std::filesystem::path> logFile;
  double lossPercent = 0.0;
  std::uint64_t seed = 1;
  int delayMs = 0;
  int restartMs = 1000;  // how long a restarting unit stays silent
  // The last unit's image names this address (outside 127.0.0.0/8), as a unit set up for
  // another network does, while it sits at its loopback address until a network write.
  std::optional<Address> elsewhere;
  bool silent = false;
  // Writes and block writes are acknowledged but change nothing: a unit that says it took
  // the settings and keeps its own (the network-settings write still moves it).
  bool keepSettings = false;
  bool verbose = false;
  // --audio-out: what a microphone at seat `seat` (from 1) of synthetic room `roomSeed`
  // hears from the first unit, as raw float samples to this file, pipe or "-" (stdout).
  std::optional<std::string> audioOut;
  std::uint32_t roomSeed = 1;
  int seat = 1;
  bool help = false;
  bool version = false;
};

// Either the options or a message naming the bad argument.
std::variant<SimOptions, std::string> ParseSimOptions(int argc, const char* const* argv);

extern const char* const kUsageText;

}  // namespace mzr::sim
