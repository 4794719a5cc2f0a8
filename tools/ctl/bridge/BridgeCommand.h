#pragma once
// One line of the automation bridge's protocol, parsed, and the reply texts of its answers.
// Pure: bytes in, a command out, so every refusal is decided before anything reaches the
// unit and the parser can be fuzzed on its own.
//
// Two dialects share the port. The bridge's own lines ("fader 7.0", "mute?", "input 2",
// "get FIELD", "set FIELD=VALUE", "store") answer "ok", a value line or "error <reason>".
// The established line syntax of the CP750 cinema processor ("cp750.sys.fader 70",
// "cp750.sys.mute ?", "cp750.sys.input_mode dig_1", "cp750.ctrl.fader_delta -5") answers as
// that processor does, with the key and the value after the change, so automation drivers
// written for it work unchanged.

#include <QByteArrayView>
#include <QString>

#include <optional>
#include <variant>

#include "model/ParameterImage.h"

namespace mzr::bridge {

// The longest line taken, without its line end.
inline constexpr qsizetype kMaxLineBytes = 256;

enum class Dialect { Native, Cp750 };

struct SetFader {
  int level;  // tenths: 0..100 is 0.0 .. 10.0
};
struct StepFader {
  int delta;  // tenths, -100..100; the result is kept inside 0..100
};
struct QueryFader {};
struct SetMute {
  bool on;
};
struct QueryMute {};
struct SelectInput {
  int input;  // 0..4, the input buttons from the left
};
struct SelectLastInput {};  // the input chosen before the current one
struct QueryInput {};
struct GetField {
  QString name;
};
struct SetField {
  QString assignment;  // FIELD=VALUE, checked against the field table by the unit side
};
struct StoreImage {};
struct QueryVersion {};
struct Refused {
  QString reason;
};

using Action = std::variant<SetFader, StepFader, QueryFader, SetMute, QueryMute, SelectInput, SelectLastInput,
                            QueryInput, GetField, SetField, StoreImage, QueryVersion, Refused>;

struct BridgeCommand {
  Action action;
  Dialect dialect = Dialect::Native;
};

// One line without its line end (a trailing CR is taken off here). Nothing for a line of
// blanks, which is not a command and gets no reply. Lines longer than kMaxLineBytes, with
// control bytes or with bytes that are not UTF-8 are refused.
std::optional<BridgeCommand> ParseBridgeLine(QByteArrayView line);

// The most frames the command sends to the unit (each waits for its acknowledgement): none
// for a query or a refusal, two for an input change that moves the fader.
int FramesAtMost(const BridgeCommand& command);

// The reply lines, without line end.
QString ErrorReply(const QString& reason);
// After the unit acknowledged the command's frames: "ok", or in the CP750 dialect the key
// with the value that now holds (the delta itself for a fader step).
QString AcknowledgedReply(const BridgeCommand& command, const ParameterImage& image);
// The answer to a query, from the image; an error line when the image holds a value the
// dialect has no word for.
QString QueryReply(const BridgeCommand& command, const ParameterImage& image);

// The main fader of the selected input as the program shows it: 0 when no input with a
// fader is selected.
int ShownFaderLevel(const ParameterImage& image);
// The input names the bridge takes ("opt1", "Digital OPT 1", ...): the input, or nothing.
std::optional<int> InputNamed(const QString& name);

}  // namespace mzr::bridge
