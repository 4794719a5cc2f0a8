#pragma once
// The command line of mzr4700ctl: global options anywhere, then one command with its own
// options and operands. Parsing is pure so that every refusal has its message tested.

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace mzr::ctl {

enum class Command { help, version, search, backup, restore, restart, setNet, show, diff, curve, audit, get, set, bridge, align, measure };

struct CtlArguments {
  Command command = Command::help;
  QStringList operands;           // positional arguments after the command

  // Global options.
  QString localIp;                // --local
  std::optional<quint16> port;    // --port
  std::optional<int> timeoutMs;   // --timeout: how long a unit may take to answer

  // Command options.
  std::optional<int> searchTimeMs;  // --time
  bool json = false;                // --json
  bool all = false;                 // backup --all
  bool store = false;               // set --store
  QString newIp, newMask, newGateway;  // set-net --ip --mask --gateway
  std::optional<int> channel;       // curve --channel
  QString pngPath;                  // curve --png
  QString unitIp;                   // bridge --unit
  QString listenHost = QStringLiteral("127.0.0.1");  // bridge --listen HOST:PORT
  quint16 listenPort = 61408;
  QStringList allow;                // bridge --allow, each ADDR or ADDR/PREFIX
  bool allowSet = false;            // bridge --allow-set
  bool allowStore = false;          // bridge --allow-store
  int maxClients = 16;              // bridge --max-clients
  int idleTimeoutS = 600;           // bridge --idle-timeout, 0: never

  // align (AlignCommand.cpp).
  QStringList measurements;         // --measurement FILE [FILE...]
  QString target;                   // --target: x-curve, small-room, flat or a file
  std::optional<double> fromHz, toHz;  // --from, --to
  QString outPath;                  // --out
  bool apply = false;               // --apply
  QString reportPath;               // --report
  bool exactFit = false;            // --fit exact (default: installer)
  std::optional<int> smoothing;     // --smoothing 3|6 (1/N octave)
  std::optional<double> maxBoostDb;  // --max-boost DB
  std::optional<int> seats;         // --seats N
  std::optional<double> volumeM3;   // --volume M3
  bool setLevel = false;            // --set-level
  QString installer, mic, notes;    // --installer, --mic, --notes: for the report

  // measure (MeasureCommand.cpp); also --channel, --out and --json.
  QString device;                   // --device: an input's id or description, or file:PATH
  std::optional<double> seconds;    // --seconds
  QString calibration;              // --calibration
  bool listDevices = false;         // --list-devices
};

// The arguments after the program name. A refusal gives its one-line message.
std::variant<CtlArguments, QString> ParseArguments(const QStringList& args);

// A unit's address as four decimal octets, neither 0.0.0.0 nor 255.255.255.255, written
// back without leading zeros; nothing for any other text. "192.168.001.020" is .1.20: the
// socket layer would read a leading zero as octal and send to .1.16 instead.
std::optional<QString> UnitAddress(const QString& text);

// The text of --help.
QString UsageText();

}  // namespace mzr::ctl
