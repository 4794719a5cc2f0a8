#include "bridge/BridgeCommand.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <array>

#include "model/ValueFormat.h"

namespace mzr::bridge {
namespace {

// Inputs with a fader entry; codes past them show the fader at 0 and take no moves.
constexpr int kInputsWithFader = 8;

// The short names and the captions of the five input buttons, in button order.
constexpr std::array<const char*, kInputs> kShortNames{"opt1", "opt2", "coax1", "coax2", "mic"};
constexpr std::array<const char*, kInputs> kCaptions{"Digital OPT 1", "Digital OPT 2", "Digital COAX 1",
                                                     "Digital COAX 2", "MIC"};
// The CP750's input modes that this unit has: its four digital inputs and the microphone.
// Its "analog" and "non_sync" modes have no input here and are refused.
constexpr std::array<const char*, kInputs> kCp750Modes{"dig_1", "dig_2", "dig_3", "dig_4", "mic"};

const QString kFaderKey = QStringLiteral("cp750.sys.fader");
const QString kMuteKey = QStringLiteral("cp750.sys.mute");
const QString kInputKey = QStringLiteral("cp750.sys.input_mode");
const QString kDeltaKey = QStringLiteral("cp750.ctrl.fader_delta");
const QString kVersionKey = QStringLiteral("cp750.sysinfo.version");

BridgeCommand Refuse(const QString& reason, Dialect dialect = Dialect::Native) { return {Refused{reason}, dialect}; }

// Blanks are the space and the tab only, as the split between words is: a no-break space or
// any other Unicode space is text, so a line of them is refused rather than taken as empty,
// and a value that ends in one is refused rather than read without it.
QString WithoutBlankEnds(const QString& text) {
  const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && blank(text[begin])) ++begin;
  while (end > begin && blank(text[end - 1])) --end;
  return text.mid(begin, end - begin);
}

bool ValidText(QByteArrayView line) {
  for (const char c : line) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && u != '\t') || u == 0x7F) return false;
  }
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = utf8.decode(line);  // decode() converts only when taken as a string
  return !utf8.hasError();
}

// "N", "N.N" or "NN.N" tenths, as the program shows the fader.
std::optional<int> FaderTenths(const QString& text) {
  static const QRegularExpression shown(QStringLiteral("^([0-9]{1,2})(?:\\.([0-9]))?$"));
  const auto match = shown.match(text);
  if (!match.hasMatch()) return std::nullopt;
  return match.captured(1).toInt() * 10 + (match.captured(2).isEmpty() ? 0 : match.captured(2).toInt());
}

std::optional<int> Integer(const QString& text, int low, int high) {
  static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]{1,4}$"));
  if (!digits.match(text).hasMatch()) return std::nullopt;
  const int v = text.toInt();
  if (v < low || v > high) return std::nullopt;
  return v;
}

BridgeCommand ParseCp750(const QString& key, const QString& value) {
  constexpr Dialect d = Dialect::Cp750;
  const bool query = value == QLatin1String("?");
  if (key == kFaderKey) {
    if (query) return {QueryFader{}, d};
    if (const auto level = Integer(value, 0, 100); level && !value.startsWith(QLatin1Char('-'))) {
      return {SetFader{*level}, d};
    }
    return Refuse(QStringLiteral("%1 takes 0 to 100 or ?, not '%2'").arg(key, value), d);
  }
  if (key == kDeltaKey) {
    if (const auto delta = Integer(value, -100, 100)) return {StepFader{*delta}, d};
    return Refuse(QStringLiteral("%1 takes -100 to 100, not '%2'").arg(key, value), d);
  }
  if (key == kMuteKey) {
    if (query) return {QueryMute{}, d};
    if (value == QLatin1String("0") || value == QLatin1String("1")) return {SetMute{value == QLatin1String("1")}, d};
    return Refuse(QStringLiteral("%1 takes 0, 1 or ?, not '%2'").arg(key, value), d);
  }
  if (key == kInputKey) {
    if (query) return {QueryInput{}, d};
    if (value.compare(QLatin1String("last"), Qt::CaseInsensitive) == 0) return {SelectLastInput{}, d};
    for (int i = 0; i < kInputs; ++i) {
      if (value.compare(QLatin1String(kCp750Modes[static_cast<std::size_t>(i)]), Qt::CaseInsensitive) == 0) {
        return {SelectInput{i}, d};
      }
    }
    return Refuse(QStringLiteral("%1 '%2': this unit has dig_1 to dig_4 (OPT 1, OPT 2, COAX 1, COAX 2), mic and "
                                 "last")
                      .arg(key, value),
                  d);
  }
  if (key == kVersionKey && query) return {QueryVersion{}, d};
  return Refuse(QStringLiteral("unknown command '%1'").arg(key), d);
}

BridgeCommand ParseNative(const QString& keyword, const QString& rest) {
  const QString word = keyword.toLower();
  const bool query = rest == QLatin1String("?") || word.endsWith(QLatin1Char('?'));
  const QString base = word.endsWith(QLatin1Char('?')) ? word.chopped(1) : word;
  const bool bare = word.endsWith(QLatin1Char('?')) ? rest.isEmpty() : true;

  if (base == QLatin1String("fader")) {
    if (query && bare) return {QueryFader{}};
    if (const auto level = FaderTenths(rest); level && *level <= 100 && !word.endsWith(QLatin1Char('?'))) {
      return {SetFader{*level}};
    }
    return Refuse(QStringLiteral("fader takes 0.0 to 10.0 in steps of 0.1, not '%1'").arg(rest));
  }
  if (base == QLatin1String("mute")) {
    if (query && bare) return {QueryMute{}};
    if (!word.endsWith(QLatin1Char('?')) && (rest == QLatin1String("0") || rest == QLatin1String("1"))) {
      return {SetMute{rest == QLatin1String("1")}};
    }
    return Refuse(QStringLiteral("mute takes 0 or 1, not '%1'").arg(rest));
  }
  if (base == QLatin1String("input")) {
    if (query && bare) return {QueryInput{}};
    if (!word.endsWith(QLatin1Char('?'))) {
      if (const auto input = InputNamed(rest)) return {SelectInput{*input}};
    }
    return Refuse(QStringLiteral("input takes 0 to 4 or opt1, opt2, coax1, coax2, mic, not '%1'").arg(rest));
  }
  if (word == QLatin1String("get")) {
    if (rest.isEmpty() || rest.contains(QLatin1Char(' '))) return Refuse(QStringLiteral("get takes one field name"));
    return {GetField{rest}};
  }
  if (word == QLatin1String("set")) {
    if (!rest.contains(QLatin1Char('='))) return Refuse(QStringLiteral("set takes FIELD=VALUE"));
    return {SetField{rest}};
  }
  if (word == QLatin1String("store")) {
    if (!rest.isEmpty()) return Refuse(QStringLiteral("store takes nothing after it"));
    return {StoreImage{}};
  }
  return Refuse(QStringLiteral("unknown command '%1'").arg(keyword));
}

}  // namespace

std::optional<BridgeCommand> ParseBridgeLine(QByteArrayView line) {
  if (line.endsWith('\r')) line.chop(1);
  if (line.size() > kMaxLineBytes) {
    return Refuse(QStringLiteral("line longer than %1 bytes").arg(kMaxLineBytes));
  }
  if (!ValidText(line)) return Refuse(QStringLiteral("control or non-UTF-8 bytes in the line"));
  const QString text = WithoutBlankEnds(QString::fromUtf8(line));
  if (text.isEmpty()) return std::nullopt;

  static const QRegularExpression blanks(QStringLiteral("[ \\t]+"));
  const qsizetype split = text.indexOf(blanks);
  const QString keyword = split < 0 ? text : text.left(split);
  const QString rest = split < 0 ? QString() : WithoutBlankEnds(text.mid(split));
  if (keyword.startsWith(QLatin1String("cp750."), Qt::CaseInsensitive)) return ParseCp750(keyword.toLower(), rest);
  return ParseNative(keyword, rest);
}

std::optional<int> InputNamed(const QString& name) {
  if (const auto number = Integer(name, 0, kInputs - 1); number && !name.startsWith(QLatin1Char('+')) &&
                                                         !name.startsWith(QLatin1Char('-'))) {
    return number;
  }
  for (int i = 0; i < kInputs; ++i) {
    const auto at = static_cast<std::size_t>(i);
    if (name.compare(QLatin1String(kShortNames[at]), Qt::CaseInsensitive) == 0 ||
        name.compare(QLatin1String(kCaptions[at]), Qt::CaseInsensitive) == 0) {
      return i;
    }
  }
  return std::nullopt;
}

int ShownFaderLevel(const ParameterImage& image) {
  const int input = image.inputSource();
  return input < kInputsWithFader ? image.faderLevel(input) : 0;
}

int FramesAtMost(const BridgeCommand& command) {
  const Action& a = command.action;
  if (std::holds_alternative<SelectInput>(a) || std::holds_alternative<SelectLastInput>(a)) return 2;
  if (std::holds_alternative<SetFader>(a) || std::holds_alternative<StepFader>(a) || std::holds_alternative<SetMute>(a) ||
      std::holds_alternative<SetField>(a) || std::holds_alternative<StoreImage>(a)) {
    return 1;
  }
  return 0;
}

QString ErrorReply(const QString& reason) { return QStringLiteral("error ") + reason; }

QString QueryReply(const BridgeCommand& command, const ParameterImage& image) {
  const bool cp750 = command.dialect == Dialect::Cp750;
  const int mute = image.masterFlags() & 0x01;
  const int input = image.inputSource();
  if (std::holds_alternative<QueryFader>(command.action)) {
    const int level = ShownFaderLevel(image);
    return cp750 ? QStringLiteral("%1 %2").arg(kFaderKey).arg(level)
                 : QStringLiteral("fader ") + QString::fromStdString(FormatFader(level));
  }
  if (std::holds_alternative<QueryMute>(command.action)) {
    return cp750 ? QStringLiteral("%1 %2").arg(kMuteKey).arg(mute) : QStringLiteral("mute %1").arg(mute);
  }
  if (std::holds_alternative<QueryInput>(command.action)) {
    if (!cp750) return QStringLiteral("input %1").arg(input);
    if (input >= kInputs) return ErrorReply(QStringLiteral("the unit's input code %1 has no input mode").arg(input));
    return QStringLiteral("%1 %2").arg(kInputKey, QLatin1String(kCp750Modes[static_cast<std::size_t>(input)]));
  }
  if (std::holds_alternative<QueryVersion>(command.action)) {
    return QStringLiteral("%1 %2").arg(kVersionKey, QStringLiteral(MZR_VERSION_TEXT));
  }
  return ErrorReply(QStringLiteral("not a query"));
}

QString AcknowledgedReply(const BridgeCommand& command, const ParameterImage& image) {
  if (command.dialect == Dialect::Native) return QStringLiteral("ok");
  if (const auto* step = std::get_if<StepFader>(&command.action)) {
    return QStringLiteral("%1 %2").arg(kDeltaKey).arg(step->delta);
  }
  if (std::holds_alternative<SetFader>(command.action)) return QueryReply({QueryFader{}, command.dialect}, image);
  if (std::holds_alternative<SetMute>(command.action)) return QueryReply({QueryMute{}, command.dialect}, image);
  if (std::holds_alternative<SelectInput>(command.action) || std::holds_alternative<SelectLastInput>(command.action)) {
    return QueryReply({QueryInput{}, command.dialect}, image);
  }
  return QStringLiteral("ok");
}

}  // namespace mzr::bridge
