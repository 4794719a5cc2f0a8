// The automation bridge's line parser and reply texts: every form each dialect takes, the
// refusals (which send nothing, because nothing but a refusal comes out of them), and the
// replies built from an image.

#include <gtest/gtest.h>

#include "bridge/BridgeCommand.h"

using namespace mzr;
using namespace mzr::bridge;

namespace {

BridgeCommand Parsed(const char* line) {
  const auto command = ParseBridgeLine(QByteArrayView(line));
  EXPECT_TRUE(command.has_value()) << line;
  return command.value_or(BridgeCommand{Refused{QStringLiteral("no command")}});
}

QString RefusalOf(QByteArrayView line) {
  const auto command = ParseBridgeLine(line);
  if (!command) return QStringLiteral("<no command>");
  const auto* refused = std::get_if<Refused>(&command->action);
  return refused ? refused->reason : QString();
}

}  // namespace

TEST(BridgeCommand, TakesEveryFormOfBothDialects) {
  struct Case {
    const char* line;
    Action expected;
    Dialect dialect;
  };
  const Case cases[] = {
      {"fader 7.0", SetFader{70}, Dialect::Native},
      {"fader 0", SetFader{0}, Dialect::Native},
      {"FADER 10.0", SetFader{100}, Dialect::Native},
      {"  fader\t3.5  ", SetFader{35}, Dialect::Native},
      {"fader 4.5\r", SetFader{45}, Dialect::Native},
      {"fader?", QueryFader{}, Dialect::Native},
      {"fader ?", QueryFader{}, Dialect::Native},
      {"mute 1", SetMute{true}, Dialect::Native},
      {"mute 0", SetMute{false}, Dialect::Native},
      {"mute?", QueryMute{}, Dialect::Native},
      {"input 3", SelectInput{3}, Dialect::Native},
      {"input coax1", SelectInput{2}, Dialect::Native},
      {"input Digital OPT 2", SelectInput{1}, Dialect::Native},
      {"input MIC", SelectInput{4}, Dialect::Native},
      {"input?", QueryInput{}, Dialect::Native},
      {"store", StoreImage{}, Dialect::Native},
      {"cp750.sys.fader 45", SetFader{45}, Dialect::Cp750},
      {"cp750.sys.fader ?", QueryFader{}, Dialect::Cp750},
      {"cp750.sys.mute 1", SetMute{true}, Dialect::Cp750},
      {"cp750.sys.mute ?", QueryMute{}, Dialect::Cp750},
      {"cp750.sys.input_mode dig_1", SelectInput{0}, Dialect::Cp750},
      {"cp750.sys.input_mode dig_4", SelectInput{3}, Dialect::Cp750},
      {"cp750.sys.input_mode mic", SelectInput{4}, Dialect::Cp750},
      {"cp750.sys.input_mode last", SelectLastInput{}, Dialect::Cp750},
      {"cp750.sys.input_mode ?", QueryInput{}, Dialect::Cp750},
      {"cp750.ctrl.fader_delta -5", StepFader{-5}, Dialect::Cp750},
      {"cp750.ctrl.fader_delta +10", StepFader{10}, Dialect::Cp750},
      {"cp750.sysinfo.version ?", QueryVersion{}, Dialect::Cp750},
  };
  for (const Case& c : cases) {
    const BridgeCommand command = Parsed(c.line);
    EXPECT_EQ(command.action.index(), c.expected.index()) << c.line;
    EXPECT_EQ(command.dialect, c.dialect) << c.line;
    if (const auto* f = std::get_if<SetFader>(&command.action)) {
      EXPECT_EQ(f->level, std::get<SetFader>(c.expected).level) << c.line;
    }
    if (const auto* m = std::get_if<SetMute>(&command.action)) {
      EXPECT_EQ(m->on, std::get<SetMute>(c.expected).on) << c.line;
    }
    if (const auto* i = std::get_if<SelectInput>(&command.action)) {
      EXPECT_EQ(i->input, std::get<SelectInput>(c.expected).input) << c.line;
    }
    if (const auto* s = std::get_if<StepFader>(&command.action)) {
      EXPECT_EQ(s->delta, std::get<StepFader>(c.expected).delta) << c.line;
    }
  }
  // Field names and assignments are kept whole for the field table (values may hold blanks).
  EXPECT_EQ(std::get<GetField>(Parsed("get subPeq[1].qIndex").action).name, QStringLiteral("subPeq[1].qIndex"));
  EXPECT_EQ(std::get<SetField>(Parsed("set theaterName=Hall 2").action).assignment, QStringLiteral("theaterName=Hall 2"));
}

TEST(BridgeCommand, RefusesWhatItCannotCarryOut) {
  struct Case {
    QByteArray line;
    const char* reasonPart;
  };
  const Case cases[] = {
      {"fader 10.1", "0.0 to 10.0"},
      {"fader 7.25", "0.0 to 10.0"},
      {"fader -1", "0.0 to 10.0"},
      {"fader", "0.0 to 10.0"},
      {"fader? 3", "0.0 to 10.0"},
      {"mute 2", "0 or 1"},
      {"mute on", "0 or 1"},
      {"input 5", "0 to 4"},
      {"input analog", "0 to 4"},
      {"get", "one field"},
      {"get a b", "one field"},
      {"set outputLevel[0]", "FIELD=VALUE"},
      {"store now", "nothing after"},
      {"fadr 3", "unknown command 'fadr'"},
      {"cp750.sys.fader 101", "0 to 100"},
      {"cp750.sys.fader 4.5", "0 to 100"},
      {"cp750.sys.mute 2", "0, 1 or ?"},
      {"cp750.sys.input_mode analog", "dig_1 to dig_4"},
      {"cp750.sys.input_mode non_sync", "dig_1 to dig_4"},
      {"cp750.ctrl.fader_delta 101", "-100 to 100"},
      {"cp750.sys.power 1", "unknown command"},
      {QByteArray(257, 'a'), "longer than 256 bytes"},
      {QByteArray("mute\0 1", 7), "control or non-UTF-8"},
      {"mute 1\x1b[A", "control or non-UTF-8"},
      {"set theaterName=\xff\xfe", "control or non-UTF-8"},
      {"fader 1\r\r", "control or non-UTF-8"},
      {"  \xc2\xa0  ", "unknown command '\xc2\xa0'"},
      {"fader 7.0\xc2\xa0", "0.0 to 10.0"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(RefusalOf(c.line).contains(QString::fromUtf8(c.reasonPart))) << c.line.constData() << " -> "
                                                                              << RefusalOf(c.line).toStdString();
  }
  // 256 bytes and a CR LF end are still one line.
  EXPECT_TRUE(RefusalOf(QByteArray("set theaterName=") + QByteArray(240, 'x')).isEmpty());
  EXPECT_TRUE(RefusalOf(QByteArray("set theaterName=") + QByteArray(240, 'x') + "\r").isEmpty());
  EXPECT_FALSE(ParseBridgeLine("").has_value());
  EXPECT_FALSE(ParseBridgeLine(" \t \r").has_value());
}

TEST(BridgeCommand, RepliesShowTheImageInEachDialect) {
  ParameterImage image;
  image.ApplyNewProjectDefaults();
  image.setInputSource(2);
  image.setFaderLevel(2, 45);
  image.setMasterFlags(0x03);
  const auto reply = [&](const char* line) { return QueryReply(Parsed(line), image).toStdString(); };
  EXPECT_EQ(reply("fader?"), "fader 4.5");
  EXPECT_EQ(reply("mute?"), "mute 1");
  EXPECT_EQ(reply("input?"), "input 2");
  EXPECT_EQ(reply("cp750.sys.fader ?"), "cp750.sys.fader 45");
  EXPECT_EQ(reply("cp750.sys.mute ?"), "cp750.sys.mute 1");
  EXPECT_EQ(reply("cp750.sys.input_mode ?"), "cp750.sys.input_mode dig_3");
  EXPECT_EQ(AcknowledgedReply(Parsed("fader 4.5"), image).toStdString(), "ok");
  EXPECT_EQ(AcknowledgedReply(Parsed("cp750.sys.fader 45"), image).toStdString(), "cp750.sys.fader 45");
  EXPECT_EQ(AcknowledgedReply(Parsed("cp750.ctrl.fader_delta -5"), image).toStdString(), "cp750.ctrl.fader_delta -5");
  EXPECT_EQ(AcknowledgedReply(Parsed("cp750.sys.input_mode last"), image).toStdString(), "cp750.sys.input_mode dig_3");

  // An input code past the buttons: the fader shows 0, as the program shows it, and the
  // CP750 dialect has no mode to name.
  image.setInputSource(9);
  EXPECT_EQ(reply("fader?"), "fader 0.0");
  EXPECT_EQ(reply("input?"), "input 9");
  EXPECT_EQ(reply("cp750.sys.input_mode ?").rfind("error ", 0), 0u);
}

// The frames a command may send bound its deadline: an input change may carry the fader's
// frame before its own, a query or a refusal sends none.
TEST(BridgeCommand, FramesBoundEachCommandsDeadline) {
  const struct {
    const char* line;
    int frames;
  } cases[] = {
      {"input coax1", 2}, {"cp750.sys.input_mode last", 2}, {"fader 5.0", 1}, {"cp750.ctrl.fader_delta -5", 1},
      {"mute 1", 1},      {"set fadeTime=3", 1},            {"store", 1},     {"fader?", 0},
      {"get fadeTime", 0}, {"cp750.sysinfo.version ?", 0},  {"volume 3", 0},  {"fader 11", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(FramesAtMost(Parsed(c.line)), c.frames) << c.line;
}
