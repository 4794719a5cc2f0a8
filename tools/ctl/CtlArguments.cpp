#include "CtlArguments.h"

#include <QHostAddress>
#include <QRegularExpression>

namespace mzr::ctl {
namespace {

struct CommandSpec {
  Command command;
  const char* name;
  QStringList options;  // command options it accepts (without "--")
};

const QList<CommandSpec>& Commands() {
  static const QList<CommandSpec> commands{
      {Command::search, "search", {QStringLiteral("time"), QStringLiteral("json")}},
      {Command::backup, "backup", {QStringLiteral("all"), QStringLiteral("time")}},
      {Command::restore, "restore", {}},
      {Command::restart, "restart", {}},
      {Command::setNet, "set-net", {QStringLiteral("ip"), QStringLiteral("mask"), QStringLiteral("gateway"), QStringLiteral("time")}},
      {Command::show, "show", {QStringLiteral("json")}},
      {Command::diff, "diff", {}},
      {Command::curve, "curve", {QStringLiteral("channel"), QStringLiteral("png")}},
      {Command::audit, "audit", {QStringLiteral("json"), QStringLiteral("time")}},
      {Command::get, "get", {}},
      {Command::set, "set", {QStringLiteral("store")}},
      {Command::bridge, "bridge", {QStringLiteral("unit"), QStringLiteral("listen"), QStringLiteral("allow"),
                                   QStringLiteral("allow-set"), QStringLiteral("allow-store"),
                                   QStringLiteral("max-clients"), QStringLiteral("idle-timeout")}},
      {Command::align, "align", {QStringLiteral("channel"), QStringLiteral("measurement"), QStringLiteral("target"),
                                 QStringLiteral("from"), QStringLiteral("to"), QStringLiteral("out"),
                                 QStringLiteral("apply"), QStringLiteral("store"), QStringLiteral("report"),
                                 QStringLiteral("json"), QStringLiteral("fit"), QStringLiteral("smoothing"),
                                 QStringLiteral("max-boost"), QStringLiteral("seats"), QStringLiteral("volume"),
                                 QStringLiteral("set-level"), QStringLiteral("installer"), QStringLiteral("mic"),
                                 QStringLiteral("notes")}},
      {Command::measure, "measure", {QStringLiteral("channel"), QStringLiteral("device"), QStringLiteral("seconds"),
                                     QStringLiteral("calibration"), QStringLiteral("out"), QStringLiteral("json"),
                                     QStringLiteral("list-devices")}},
  };
  return commands;
}

const QStringList kGlobalOptions{QStringLiteral("local"), QStringLiteral("port"), QStringLiteral("timeout")};
const QStringList kFlags{QStringLiteral("json"),      QStringLiteral("all"),        QStringLiteral("store"),
                         QStringLiteral("apply"),     QStringLiteral("allow-set"), QStringLiteral("allow-store"),
                         QStringLiteral("list-devices"), QStringLiteral("set-level")};

// A number in [low, high] written in plain decimal.
std::optional<int> Number(const QString& text, int low, int high) {
  static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
  if (!digits.match(text).hasMatch()) return std::nullopt;
  const int v = text.toInt();
  if (v < low || v > high) return std::nullopt;
  return v;
}

QString Dashed(const QString& option) { return QStringLiteral("--") + option; }

}  // namespace

std::optional<QString> UnitAddress(const QString& text) {
  static const QRegularExpression quad(QStringLiteral("^([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})$"));
  const auto match = quad.match(text);
  if (!match.hasMatch()) return std::nullopt;
  QStringList octets;
  for (int i = 1; i <= 4; ++i) {
    const int octet = match.captured(i).toInt();
    if (octet > 255) return std::nullopt;
    octets << QString::number(octet);
  }
  const QString address = octets.join(QLatin1Char('.'));
  if (address == QLatin1String("0.0.0.0") || address == QLatin1String("255.255.255.255")) return std::nullopt;
  return address;
}

QString UsageText() {
  return QStringLiteral(
      "Usage: mzr4700ctl [--local IP] [--port P] [--timeout MS] COMMAND ...\n"
      "\n"
      "Commands:\n"
      "  search [--time MS] [--json]      list the units on the local network\n"
      "  backup IP FILE                   save a unit's settings as a project file\n"
      "  backup --all DIR [--time MS]     save every unit a search finds into DIR\n"
      "  restore FILE IP                  download a project file into a unit and store it\n"
      "  restart IP                       restart a unit\n"
      "  set-net IP --ip A --mask M --gateway G [--time MS]\n"
      "                                   give a unit a new address, mask and gateway\n"
      "  show FILE [--json]               every named field of a project file\n"
      "  diff A B                         compare two project files, or a file and a unit (IP)\n"
      "  curve FILE --channel N [--png OUT]\n"
      "                                   response of channel N (0..5) as the program draws it\n"
      "  audit DIR [--json] [--time MS]   compare every unit a search finds with its project file in DIR\n"
      "                                   (matched by the MAC address inside the file)\n"
      "  get TARGET FIELD...              values of a project file or a unit (IP); FIELD as in show --json,\n"
      "                                   e.g. outputLevel[2], geqGain[0][14], subPeq[1].qIndex\n"
      "  set TARGET FIELD=VALUE... [--store]\n"
      "                                   change fields of a project file, or of a unit as the program's\n"
      "                                   editors do (--store: then store them in the unit); VALUE is the\n"
      "                                   stored number or the text shown, e.g. -3.0dB, 40Hz, 24dB/OCT\n"
      "  bridge --unit IP [--listen HOST:PORT] [--allow ADDR[,ADDR...]]... [--allow-set] [--allow-store]\n"
      "         [--max-clients N] [--idle-timeout S]\n"
      "                                   serve the show automation's line commands on TCP (default\n"
      "                                   127.0.0.1:61408) to the unit at IP; --allow: the client addresses\n"
      "                                   (or ADDR/PREFIX subnets) that may connect; --allow-set/--allow-store:\n"
      "                                   serve set FIELD=VALUE and store (refused otherwise); at most N\n"
      "                                   clients (default 16); a client silent for S seconds is closed\n"
      "                                   (default 600, 0: never)\n"
      "  align SOURCE --channel N --measurement FILE [FILE...] [--target x-curve|small-room|flat|FILE]\n"
      "        [--from HZ] [--to HZ] [--out FILE] [--apply] [--store] [--report FILE.pdf|FILE.png] [--json]\n"
      "        [--seats N | --volume M3] [--fit installer|exact] [--smoothing 3|6] [--max-boost DB] [--set-level]\n"
      "        [--installer NAME] [--mic TEXT] [--notes TEXT]\n"
      "                                   fit channel N of a project file or a unit (IP) to a target from\n"
      "                                   measurements (several files: microphone positions, power-averaged);\n"
      "                                   --out saves the result as a project file, --apply sends the changed\n"
      "                                   fields to the unit as the editors do, --store then stores them\n"
      "  measure IP --channel N --out FILE [--device NAME] [--seconds S] [--calibration FILE] [--json]\n"
      "                                   measure one seat: the unit's pink noise on output N, captured from\n"
      "                                   the microphone (default input, or NAME as --list-devices shows it,\n"
      "                                   or file:PATH for raw float samples from a file or pipe) for S\n"
      "                                   seconds (default 10) after a noise-floor capture; FILE gets the\n"
      "                                   1/24-octave spectrum that align reads; the generator is put back\n"
      "  measure --list-devices           list the audio inputs\n"
      "\n"
      "Global options (else MZR4700_LOCAL_IP, MZR4700_PORT and Config.ini, as the program):\n"
      "  --local IP     this PC's address on the units' network\n"
      "  --port P       UDP port (default 2305)\n"
      "  --timeout MS   how long a unit may take to answer (default 2000)\n"
      "  --version      show the version and exit\n"
      "\n"
      "Exit codes: 0 success, 1 a unit did not answer or the images differ, 2 usage, 3 file error\n"
      "(measure: also an audio input that cannot be opened or a bad calibration file).\n");
}

std::variant<CtlArguments, QString> ParseArguments(const QStringList& args) {
  CtlArguments result;
  std::optional<CommandSpec> command;
  QStringList operands;
  QStringList seenOptions;

  for (int i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) return CtlArguments{};
    if (arg == QLatin1String("--version")) {
      CtlArguments version;
      version.command = Command::version;
      return version;
    }
    if (!arg.startsWith(QLatin1String("--")) || arg.size() == 2) {
      if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1 && arg != QLatin1String("--")) {
        return QStringLiteral("unknown option '%1'").arg(arg);
      }
      if (!command) {
        if (arg == QLatin1String("help")) return CtlArguments{};
        for (const auto& known : Commands()) {
          if (arg == QLatin1String(known.name)) command = known;
        }
        if (!command) return QStringLiteral("unknown command '%1'").arg(arg);
        continue;
      }
      operands << arg;
      continue;
    }

    QString name = arg.mid(2);
    std::optional<QString> inlineValue;
    if (const auto eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
      inlineValue = name.mid(eq + 1);
      name = name.left(eq);
    }
    const bool global = kGlobalOptions.contains(name);
    if (!global) {
      if (!command) return QStringLiteral("option '%1' must follow a command").arg(Dashed(name));
      if (!command->options.contains(name)) {
        return QStringLiteral("the %1 command takes no option '%2'").arg(QLatin1String(command->name), Dashed(name));
      }
    }
    if (seenOptions.contains(name) && name != QLatin1String("allow")) {
      return QStringLiteral("option '%1' given twice").arg(Dashed(name));
    }
    seenOptions << name;

    if (kFlags.contains(name)) {
      if (inlineValue) return QStringLiteral("option '%1' takes no value").arg(Dashed(name));
      (name == QLatin1String("json")          ? result.json
       : name == QLatin1String("all")         ? result.all
       : name == QLatin1String("apply")       ? result.apply
       : name == QLatin1String("allow-set")   ? result.allowSet
       : name == QLatin1String("allow-store") ? result.allowStore
       : name == QLatin1String("set-level")   ? result.setLevel
       : name == QLatin1String("store")       ? result.store
                                              : result.listDevices) = true;
      continue;
    }
    QString value;
    if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return QStringLiteral("option '%1' needs a value").arg(Dashed(name));
    }

    if (name == QLatin1String("local")) {
      const auto local = UnitAddress(value);
      if (!local) return QStringLiteral("--local needs an IPv4 address, not '%1'").arg(value);
      result.localIp = *local;
    } else if (name == QLatin1String("port")) {
      const auto port = Number(value, 1, 65535);
      if (!port) return QStringLiteral("--port needs a port number 1 to 65535, not '%1'").arg(value);
      result.port = static_cast<quint16>(*port);
    } else if (name == QLatin1String("timeout") || name == QLatin1String("time")) {
      const auto ms = Number(value, 1, 600000);
      if (!ms) return QStringLiteral("%1 needs a time in milliseconds (1 to 600000), not '%2'").arg(Dashed(name), value);
      (name == QLatin1String("time") ? result.searchTimeMs : result.timeoutMs) = *ms;
    } else if (name == QLatin1String("channel")) {
      const auto channel = Number(value, 0, 5);
      if (!channel) return QStringLiteral("--channel needs a channel 0 to 5, not '%1'").arg(value);
      result.channel = *channel;
    } else if (name == QLatin1String("png")) {
      if (value.isEmpty()) return QStringLiteral("--png needs a file name");
      result.pngPath = value;
    } else if (name == QLatin1String("unit")) {
      const auto unit = UnitAddress(value);
      if (!unit) return QStringLiteral("--unit needs a unit's IPv4 address, not '%1'").arg(value);
      result.unitIp = *unit;
    } else if (name == QLatin1String("listen")) {
      const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
      const auto port = colon > 0 ? Number(value.mid(colon + 1), 1, 65535) : std::nullopt;
      const QString host = colon > 0 ? value.left(colon) : QString();
      if (!port || QHostAddress(host).protocol() != QAbstractSocket::IPv4Protocol) {
        return QStringLiteral("--listen needs HOST:PORT with an IPv4 address, e.g. 0.0.0.0:61408, not '%1'").arg(value);
      }
      result.listenHost = host;
      result.listenPort = static_cast<quint16>(*port);
    } else if (name == QLatin1String("allow")) {
      for (const QString& entry : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qsizetype slash = entry.indexOf(QLatin1Char('/'));
        const bool ok = slash < 0 ? !QHostAddress(entry).isNull()
                                  : !QHostAddress::parseSubnet(entry).first.isNull();
        if (!ok) return QStringLiteral("--allow needs addresses or ADDR/PREFIX subnets, not '%1'").arg(entry);
        result.allow << entry;
      }
      if (result.allow.isEmpty()) return QStringLiteral("--allow needs at least one address");
    } else if (name == QLatin1String("max-clients")) {
      const auto clients = Number(value, 1, 1000);
      if (!clients) return QStringLiteral("--max-clients needs a number 1 to 1000, not '%1'").arg(value);
      result.maxClients = *clients;
    } else if (name == QLatin1String("idle-timeout")) {
      const auto seconds = Number(value, 0, 86400);
      if (!seconds) return QStringLiteral("--idle-timeout needs seconds 0 to 86400 (0: never), not '%1'").arg(value);
      result.idleTimeoutS = *seconds;
    } else if (name == QLatin1String("measurement")) {
      // One or more files: every argument up to the next option.
      result.measurements << value;
      while (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1String("--"))) result.measurements << args[++i];
    } else if (name == QLatin1String("target")) {
      if (value.isEmpty()) return QStringLiteral("--target needs x-curve, small-room, flat or a file");
      result.target = value;
    } else if (name == QLatin1String("from") || name == QLatin1String("to")) {
      bool ok = false;
      const double hz = value.toDouble(&ok);
      if (!ok || !(hz >= 10.0 && hz <= 24000.0)) {
        return QStringLiteral("%1 needs a frequency in Hz from 10 to 24000, not '%2'").arg(Dashed(name), value);
      }
      (name == QLatin1String("from") ? result.fromHz : result.toHz) = hz;
    } else if (name == QLatin1String("fit")) {
      if (value != QLatin1String("installer") && value != QLatin1String("exact")) {
        return QStringLiteral("--fit needs installer or exact, not '%1'").arg(value);
      }
      result.exactFit = value == QLatin1String("exact");
    } else if (name == QLatin1String("smoothing")) {
      const auto n = Number(value, 3, 6);
      if (!n || (*n != 3 && *n != 6)) return QStringLiteral("--smoothing needs 3 or 6 (1/3 or 1/6 octave), not '%1'").arg(value);
      result.smoothing = *n;
    } else if (name == QLatin1String("max-boost")) {
      bool ok = false;
      const double db = value.toDouble(&ok);
      if (!ok || !(db >= 0.0 && db <= 12.0)) return QStringLiteral("--max-boost needs 0 to 12 dB, not '%1'").arg(value);
      result.maxBoostDb = db;
    } else if (name == QLatin1String("seats")) {
      const auto n = Number(value, 1, 100000);
      if (!n) return QStringLiteral("--seats needs a number of seats, not '%1'").arg(value);
      result.seats = *n;
    } else if (name == QLatin1String("volume")) {
      bool ok = false;
      const double m3 = value.toDouble(&ok);
      if (!ok || !(m3 >= 10.0 && m3 <= 1000000.0)) return QStringLiteral("--volume needs the room's volume in m3, not '%1'").arg(value);
      result.volumeM3 = m3;
    } else if (name == QLatin1String("installer") || name == QLatin1String("mic") || name == QLatin1String("notes")) {
      (name == QLatin1String("installer") ? result.installer : name == QLatin1String("mic") ? result.mic : result.notes) = value;
    } else if (name == QLatin1String("out")) {
      if (value.isEmpty()) return QStringLiteral("--out needs a file name");
      result.outPath = value;
    } else if (name == QLatin1String("report")) {
      const QString lower = value.toLower();
      if (!lower.endsWith(QLatin1String(".pdf")) && !lower.endsWith(QLatin1String(".png"))) {
        return QStringLiteral("--report needs a file name ending in .pdf or .png, not '%1'").arg(value);
      }
      result.reportPath = value;
    } else if (name == QLatin1String("device")) {
      if (value.isEmpty()) return QStringLiteral("--device needs an input's id or description");
      result.device = value;
    } else if (name == QLatin1String("seconds")) {
      bool ok = false;
      const double seconds = value.toDouble(&ok);
      if (!ok || !(seconds >= 2.0 && seconds <= 600.0)) {
        return QStringLiteral("--seconds needs a time in seconds from 2 to 600, not '%1'").arg(value);
      }
      result.seconds = seconds;
    } else if (name == QLatin1String("calibration")) {
      if (value.isEmpty()) return QStringLiteral("--calibration needs a file name");
      result.calibration = value;
    } else if (name == QLatin1String("ip")) {
      result.newIp = value;
    } else if (name == QLatin1String("mask")) {
      result.newMask = value;
    } else if (name == QLatin1String("gateway")) {
      result.newGateway = value;
    }
  }

  if (!command) return QStringLiteral("no command given");
  result.command = command->command;
  result.operands = operands;

  const auto wantOperands = [&](int n, const char* what) -> std::optional<QString> {
    if (operands.size() == n) return std::nullopt;
    if (n == 0) return QStringLiteral("%1 takes no operands, not '%2'").arg(QLatin1String(command->name), operands.first());
    return QStringLiteral("%1 needs %2").arg(QLatin1String(command->name), QLatin1String(what));
  };
  const auto wantUnit = [&](int index) -> std::optional<QString> {
    if (const auto address = UnitAddress(operands[index])) {
      result.operands[index] = *address;
      return std::nullopt;
    }
    return QStringLiteral("'%1' is not a unit's IPv4 address").arg(operands[index]);
  };

  std::optional<QString> error;
  switch (result.command) {
    case Command::help:
    case Command::version:
      break;
    case Command::search:
      error = wantOperands(0, "");
      break;
    case Command::backup:
      if (result.all) {
        error = wantOperands(1, "one folder after --all");
      } else {
        if (result.searchTimeMs) return QStringLiteral("--time applies to backup --all only");
        error = wantOperands(2, "a unit's IP and a file (or --all DIR)");
        if (!error) error = wantUnit(0);
      }
      break;
    case Command::restore:
      error = wantOperands(2, "a file and a unit's IP");
      if (!error) error = wantUnit(1);
      break;
    case Command::restart:
      error = wantOperands(1, "a unit's IP");
      if (!error) error = wantUnit(0);
      break;
    case Command::setNet:
      error = wantOperands(1, "a unit's IP");
      if (!error) error = wantUnit(0);
      if (!error && (!seenOptions.contains(QStringLiteral("ip")) || !seenOptions.contains(QStringLiteral("mask")) ||
                     !seenOptions.contains(QStringLiteral("gateway")))) {
        error = QStringLiteral("set-net needs --ip, --mask and --gateway");
      }
      break;
    case Command::show:
      error = wantOperands(1, "a file");
      break;
    case Command::diff:
      error = wantOperands(2, "two files, or a file and a unit's IP");
      break;
    case Command::audit:
      error = wantOperands(1, "one folder of project files");
      break;
    case Command::get:
    case Command::set:
      if (operands.size() < 2) {
        error = result.command == Command::get ? QStringLiteral("get needs a file or a unit's IP and at least one field")
                                               : QStringLiteral("set needs a file or a unit's IP and at least one "
                                                                "FIELD=VALUE");
      }
      break;
    case Command::bridge:
      error = wantOperands(0, "");
      if (!error && result.unitIp.isEmpty()) error = QStringLiteral("bridge needs --unit IP");
      break;
    case Command::align:
      error = wantOperands(1, "a project file or a unit's IP");
      if (!error && !result.channel) error = QStringLiteral("align needs --channel N (0 to 5)");
      if (!error && result.measurements.isEmpty()) error = QStringLiteral("align needs --measurement FILE [FILE...]");
      if (!error && result.fromHz && result.toHz && *result.fromHz >= *result.toHz) {
        error = QStringLiteral("--from must be below --to");
      }
      if (!error && result.store && !result.apply) error = QStringLiteral("--store stores what --apply sent: give both");
      if (!error && result.seats && result.volumeM3) error = QStringLiteral("give --seats or --volume, not both");
      if (!error && result.exactFit && (result.smoothing || result.maxBoostDb)) {
        error = QStringLiteral("--smoothing and --max-boost are rules of the installer's fit, not of --fit exact");
      }
      if (!error && result.apply && !UnitAddress(operands[0])) {
        error = QStringLiteral("--apply needs a unit's IP as SOURCE, not '%1'").arg(operands[0]);
      }
      break;
    case Command::measure:
      if (result.listDevices) {
        error = wantOperands(0, "");
        break;
      }
      error = wantOperands(1, "a unit's IP");
      if (!error) error = wantUnit(0);
      if (!error && !result.channel) error = QStringLiteral("measure needs --channel N (0 to 5)");
      if (!error && result.outPath.isEmpty()) error = QStringLiteral("measure needs --out FILE");
      break;
    case Command::curve:
      error = wantOperands(1, "a file");
      if (!error && !result.channel) error = QStringLiteral("curve needs --channel N (0 to 5)");
      break;
  }
  if (error) return *error;
  return result;
}

}  // namespace mzr::ctl
