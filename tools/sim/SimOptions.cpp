#include "SimOptions.h"

#include <arpa/inet.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace mzr::sim {

const char* const kUsageText =
    "Usage: mzr4700-sim [options]\n"
    "Plays one or many MZR4700 units on the loopback network.\n"
    "\n"
    "  --units N            number of units, 1..254 (default 1)\n"
    "  --first-address A    address of the first unit, in 127.0.0.0/8 but not 127.0.0.1\n"
    "                       (default 127.0.0.2); unit k (k = 0..N-1) answers at A+k\n"
    "  --port P             UDP port (default 2305)\n"
    "  --state-dir DIR      keep each unit's stored image in DIR/<MAC>.kvdat; loaded at start\n"
    "  --log FILE           write one JSON line per frame received (the file is replaced)\n"
    "  --loss PCT           drop this share of requests, 0..100 (default 0)\n"
    "  --seed S             seed of the loss draw (default 1)\n"
    "  --delay MS           answer MS milliseconds late (default 0)\n"
    "  --restart-ms MS      silence after a restart command (default 1000)\n"
    "  --elsewhere A        the last unit's image names A (outside 127.0.0.0/8) as its\n"
    "                       address, as a unit set up for another network; it still sits\n"
    "                       at its loopback address until a network write moves it\n"
    "  --silent             receive and log, but never answer\n"
    "  --keep-settings      acknowledge writes and block writes but keep the image as it\n"
    "                       was (stores and restarts as usual), as a faulty unit would\n"
    "  --verbose            describe every frame and every dropped datagram on stderr\n"
    "  --audio-out PATH|-   write, at real-time pace, raw float32 mono 48 kHz samples of what\n"
    "                       a microphone in a synthetic room hears from the first unit: its\n"
    "                       test signal through the output's equalizer and the room, and a\n"
    "                       faint background noise; PATH may be a file or a named pipe,\n"
    "                       - is standard output (\"ready\" then goes to stderr)\n"
    "  --room SEED          the synthetic room (default 1)\n"
    "  --seat K             the microphone's seat, 1..8 (default 1)\n"
    "  --help               show this text\n"
    "  --version            show the version\n"
    "\n"
    "Prints \"ready\" once every socket is bound. Exit status: 0 after SIGINT/SIGTERM,\n"
    "1 when a socket cannot be bound, 2 for bad arguments.\n";

std::string FormatAddress(Address a) {
  return std::to_string(a >> 24) + '.' + std::to_string((a >> 16) & 0xFF) + '.' +
         std::to_string((a >> 8) & 0xFF) + '.' + std::to_string(a & 0xFF);
}

std::optional<Address> ParseAddress(const std::string& text) {
  in_addr parsed{};
  // inet_pton takes only the four-part decimal form, so "127.1" is not silently widened.
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return std::nullopt;
  return ntohl(parsed.s_addr);
}

namespace {

template <typename T>
std::optional<T> ParseInteger(std::string_view text) {
  T value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<double> ParsePercent(const std::string& text) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(v)) return std::nullopt;
  return v;
}

}  // namespace

std::variant<SimOptions, std::string> ParseSimOptions(int argc, const char* const* argv) {
  SimOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= argc) return std::nullopt;
      return std::string(argv[++i]);
    };
    auto missing = [&] { return "option " + arg + " needs a value"; };
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--silent") {
      o.silent = true;
    } else if (arg == "--keep-settings") {
      o.keepSettings = true;
    } else if (arg == "--verbose") {
      o.verbose = true;
    } else if (arg == "--units") {
      const auto v = value();
      if (!v) return missing();
      const auto n = ParseInteger<int>(*v);
      if (!n || *n < 1 || *n > 254) return "--units must be a whole number from 1 to 254, not \"" + *v + "\"";
      o.units = *n;
    } else if (arg == "--first-address") {
      const auto v = value();
      if (!v) return missing();
      const auto a = ParseAddress(*v);
      if (!a) return "--first-address \"" + *v + "\" is not a dotted IPv4 address";
      if (!IsUnitAddress(*a)) {
        return "--first-address must be an address in 127.0.0.0/8 other than 127.0.0.0, 127.0.0.1 (the "
               "program's) and 127.255.255.255, not " + *v;
      }
      o.firstAddress = *a;
    } else if (arg == "--port") {
      const auto v = value();
      if (!v) return missing();
      const auto p = ParseInteger<unsigned>(*v);
      if (!p || *p < 1 || *p > 65535) return "--port must be a number from 1 to 65535, not \"" + *v + "\"";
      o.port = static_cast<std::uint16_t>(*p);
    } else if (arg == "--state-dir") {
      const auto v = value();
      if (!v || v->empty()) return missing();
      o.stateDir = *v;
    } else if (arg == "--log") {
      const auto v = value();
      if (!v || v->empty()) return missing();
      o.logFile = *v;
    } else if (arg == "--loss") {
      const auto v = value();
      if (!v) return missing();
      const auto p = ParsePercent(*v);
      if (!p || *p < 0.0 || *p > 100.0) return "--loss must be a percentage from 0 to 100, not \"" + *v + "\"";
      o.lossPercent = *p;
    } else if (arg == "--seed") {
      const auto v = value();
      if (!v) return missing();
      const auto s = ParseInteger<std::uint64_t>(*v);
      if (!s) return "--seed must be a whole number, not \"" + *v + "\"";
      o.seed = *s;
    } else if (arg == "--delay" || arg == "--restart-ms") {
      const auto v = value();
      if (!v) return missing();
      const auto ms = ParseInteger<int>(*v);
      if (!ms || *ms < 0 || *ms > 600000) return arg + " must be a number of milliseconds from 0 to 600000, not \"" + *v + "\"";
      (arg == "--delay" ? o.delayMs : o.restartMs) = *ms;
    } else if (arg == "--audio-out") {
      const auto v = value();
      if (!v || v->empty()) return missing();
      o.audioOut = *v;
    } else if (arg == "--room") {
      const auto v = value();
      if (!v) return missing();
      const auto s = ParseInteger<std::uint32_t>(*v);
      if (!s) return "--room must be a whole number, not \"" + *v + "\"";
      o.roomSeed = *s;
    } else if (arg == "--seat") {
      const auto v = value();
      if (!v) return missing();
      const auto k = ParseInteger<int>(*v);
      if (!k || *k < 1 || *k > 8) return "--seat must be a whole number from 1 to 8, not \"" + *v + "\"";
      o.seat = *k;
    } else if (arg == "--elsewhere") {
      const auto v = value();
      if (!v) return missing();
      const auto a = ParseAddress(*v);
      if (!a || IsLoopback(*a) || *a == 0 || *a == 0xFFFFFFFFu) {
        return "--elsewhere must be a dotted IPv4 address outside 127.0.0.0/8, not \"" + *v + "\"";
      }
      o.elsewhere = *a;
    } else {
      return "unknown argument \"" + arg + "\"";
    }
  }
  const Address last = o.firstAddress + static_cast<Address>(o.units - 1);
  if (!IsUnitAddress(last) || last < o.firstAddress) {
    return std::to_string(o.units) + " units from " + FormatAddress(o.firstAddress) +
           " would pass the end of 127.0.0.0/8 (last host address 127.255.255.254)";
  }
  return o;
}

}  // namespace mzr::sim
