// One line of the automation bridge, as any bytes (the line end already taken off): the
// parser never fails, refuses every line that is too long or carries control or non-UTF-8
// bytes, keeps every value it takes inside its range, and every reply it leads to is one
// line.

#include <cstdint>
#include <cstdlib>

#include "bridge/BridgeCommand.h"

namespace {

bool OneLine(const QString& reply) { return !reply.isEmpty() && !reply.contains(QLatin1Char('\n')) && !reply.contains(QLatin1Char('\r')); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mzr::bridge;
  const QByteArrayView line(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const std::optional<BridgeCommand> command = ParseBridgeLine(line);

  QByteArrayView body = line;
  if (body.endsWith('\r')) body.chop(1);
  bool control = false;
  for (const char c : body) {
    const auto u = static_cast<unsigned char>(c);
    control = control || (u < 0x20 && u != '\t') || u == 0x7F;
  }
  if ((body.size() > kMaxLineBytes || control) && !(command && std::holds_alternative<Refused>(command->action))) {
    std::abort();
  }
  if (!command) {
    // Only blanks are no command.
    for (const char c : body) {
      if (c != ' ' && c != '\t') std::abort();
    }
    return 0;
  }

  const Action& action = command->action;
  if (const auto* fader = std::get_if<SetFader>(&action); fader && (fader->level < 0 || fader->level > 100)) std::abort();
  if (const auto* step = std::get_if<StepFader>(&action); step && (step->delta < -100 || step->delta > 100)) std::abort();
  if (const auto* input = std::get_if<SelectInput>(&action); input && (input->input < 0 || input->input >= mzr::kInputs)) {
    std::abort();
  }
  if (const auto* refused = std::get_if<Refused>(&action); refused && !OneLine(ErrorReply(refused->reason))) std::abort();
  // Every command has a deadline: a bounded number of frames, none for a refusal.
  const int frames = FramesAtMost(*command);
  if (frames < 0 || frames > 2 || (std::holds_alternative<Refused>(action) && frames != 0)) std::abort();

  mzr::ParameterImage image;
  image.ApplyNewProjectDefaults();
  if (!OneLine(AcknowledgedReply(*command, image)) || !OneLine(QueryReply(*command, image))) std::abort();
  return 0;
}
