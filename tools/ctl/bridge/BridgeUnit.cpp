#include "bridge/BridgeUnit.h"

#include <algorithm>
#include <array>

#include "FieldEdit.h"
#include "core/AppState.h"
#include "link/DeviceCommands.h"
#include "link/EditOperation.h"
#include "link/FrameCodec.h"
#include "link/ParamLink.h"
#include "model/FieldTable.h"
#include "workspace/Workspace.h"

namespace mzr::bridge {
namespace {

constexpr int kInputsWithFader = 8;

int CommandByte(const WriteSpan& span) {
  return static_cast<int>(span.kind == WriteKind::BlockWrite ? frame::Command::BlockWrite : frame::Command::Write);
}

// A reply is one line: text fields of an image may hold any byte.
QString OneLine(QString text) {
  for (QChar& c : text) {
    if (c.unicode() < 0x20 || c.unicode() == 0x7F) c = QLatin1Char('?');
  }
  return text;
}

// The line mzr4700ctl get prints for one element.
QString GetLine(const ParameterImage& image, const FieldElement& e) {
  return QStringLiteral("%1 %2 %3")
      .arg(QString::fromStdString(e.Name()), -28)
      .arg(QString::fromStdString(StoredText(image, e)), -20)
      .arg(QString::fromStdString(DisplayText(image, e)))
      .trimmed();
}

}  // namespace

BridgeUnit::BridgeUnit(Workspace& workspace, const QString& unitAddress, int timeoutMs, QObject* parent)
    : QObject(parent),
      m_workspace(workspace),
      m_image(workspace.image()),
      m_unitAddress(unitAddress),
      m_timeoutMs(timeoutMs) {
  ParamLink& link = m_workspace.link();
  connect(&link, &ParamLink::acknowledged, this, &BridgeUnit::OnAcknowledged);
  connect(&link, &ParamLink::imageReceived, this, &BridgeUnit::OnImageReceived);
  connect(&link, &ParamLink::timedOut, this, &BridgeUnit::OnTimedOut);
}

void BridgeUnit::Store(const std::function<void(ParameterImage&)>& change) {
  // Not Apply: Apply would send at once, and the queue sends each frame only after the unit
  // acknowledged the one before.
  m_workspace.edits().ApplyUnsent(change);
}

void BridgeUnit::Start() {
  if (m_step == Step::Idle && !m_imageValid) ReadImage();
}

void BridgeUnit::Submit(quint64 ticket, const BridgeCommand& command) {
  m_jobs.push_back({ticket, command});
  Pump();
}

QString BridgeUnit::NoAnswer(const QString& what) const {
  return QStringLiteral("the unit %1 did not answer %2 within %3 ms").arg(m_unitAddress, what).arg(m_timeoutMs);
}

void BridgeUnit::ReadImage() {
  // As connecting to a listed unit does: every frame to this one unit.
  AppState& state = m_workspace.state();
  state.networkMode = 1;
  state.connected = 1;
  m_workspace.link().setRemoteAddress(m_unitAddress);
  m_step = Step::Reading;
  m_workspace.commands().ReadAll();
}

void BridgeUnit::Pump() {
  // Replies given at once end up here again through their receivers; one loop serves all.
  if (m_pumping) return;
  m_pumping = true;
  while (m_step == Step::Idle && !m_jobs.empty()) {
    if (!m_imageValid) {
      ReadImage();
      break;
    }
    Plan plan = Resolve(m_jobs.front().command);
    if (plan.reply) {
      Finish(*plan.reply);
      continue;
    }
    m_frames = std::move(plan.frames);
    m_nextFrame = 0;
    m_step = Step::Sending;
    SendFrame(m_frames[m_nextFrame++]);
  }
  m_pumping = false;
}

void BridgeUnit::Finish(const QString& reply) {
  const quint64 ticket = m_jobs.front().ticket;
  m_jobs.pop_front();
  emit finished(ticket, OneLine(reply));
}

void BridgeUnit::FailAll(const QString& reason) {
  while (!m_jobs.empty()) Finish(ErrorReply(reason));
}

void BridgeUnit::SendFrame(const Frame& frame) {
  AppState& state = m_workspace.state();
  state.networkMode = 1;
  state.connected = 1;
  ParamLink& link = m_workspace.link();
  if (frame.store) {
    static constexpr std::array<std::uint8_t, 1> kStore{frame::kCommandValue};
    m_expected = static_cast<int>(frame::Command::Write);
    link.SendWrite(frame::kSaveCommandAddress, 1, kStore);
  } else {
    m_expected = CommandByte(frame.span);
    link.SendSpan(frame.span);
  }
}

void BridgeUnit::OnAcknowledged(int command) {
  if (m_step != Step::Sending || command != m_expected) return;
  if (m_nextFrame < m_frames.size()) {
    SendFrame(m_frames[m_nextFrame++]);
    return;
  }
  m_step = Step::Idle;
  Finish(AcknowledgedReply(m_jobs.front().command, m_image));
  Pump();
}

void BridgeUnit::OnImageReceived() {
  if (m_step != Step::Reading) return;
  m_step = Step::Idle;
  // A shorter reply would leave stale bytes beside the ones it carried.
  const ParamLink& link = m_workspace.link();
  if (link.lastReplyAddress() != 0 || link.lastReplyCount() != kImageSize) {
    const QString reason = QStringLiteral("the unit %1 answered the read of its settings with %2 bytes at %3")
                               .arg(m_unitAddress)
                               .arg(link.lastReplyCount())
                               .arg(link.lastReplyAddress());
    emit note(reason);
    FailAll(reason);
    return;
  }
  m_imageValid = true;
  emit note(QStringLiteral("read the settings of the unit %1 (input %2, fader %3, mute %4)")
                .arg(m_unitAddress)
                .arg(m_image.inputSource())
                .arg(QueryReply({QueryFader{}}, m_image).mid(6))
                .arg(m_image.masterFlags() & 0x01));
  Pump();
}

void BridgeUnit::OnTimedOut() {
  const Step was = m_step;
  m_step = Step::Idle;
  m_imageValid = false;
  if (was == Step::Reading) {
    // The unit is away: the commands waiting now would each wait out another time-out.
    const QString reason = NoAnswer(QStringLiteral("the read of its settings"));
    emit note(reason);
    FailAll(reason);
    return;
  }
  if (was == Step::Sending) {
    const QString reason = NoAnswer(QStringLiteral("a write"));
    emit note(reason + QStringLiteral("; its settings will be read again before the next command"));
    Finish(ErrorReply(reason));
  }
  Pump();
}

BridgeUnit::Plan BridgeUnit::FaderTo(int level) {
  const int input = m_image.inputSource();
  if (input >= kInputsWithFader) {
    return {ErrorReply(QStringLiteral("no input is chosen (input code %1): the fader moves nothing").arg(input)), {}};
  }
  Store([input, level](ParameterImage& image) { image.setFaderLevel(input, static_cast<std::uint8_t>(level)); });
  return {std::nullopt, {Frame{WriteSpanFor(EditedField::faderLevel)}}};
}

BridgeUnit::Plan BridgeUnit::ChooseInput(int input) {
  // While a test signal plays the input buttons change nothing.
  if (m_image.testSignalMask() != 0) {
    return {ErrorReply(QStringLiteral("a test signal is playing: the input stays as it is")), {}};
  }
  const int before = m_image.inputSource();
  const int shownBefore = ShownFaderLevel(m_image);
  Store([input](ParameterImage& image) { image.setInputSource(static_cast<std::uint8_t>(input)); });
  if (before != input && before < kInputs) m_lastInput = before;
  std::vector<Frame> frames;
  // The program's refresh moves the fader to the new input's level, and that move sends the
  // faders before the input goes out.
  if (ShownFaderLevel(m_image) != shownBefore) frames.push_back({WriteSpanFor(EditedField::faderLevel)});
  frames.push_back({WriteSpanFor(EditedField::inputSource)});
  return {std::nullopt, std::move(frames)};
}

BridgeUnit::Plan BridgeUnit::Resolve(const BridgeCommand& command) {
  const Action& action = command.action;
  if (const auto* refused = std::get_if<Refused>(&action)) return {ErrorReply(refused->reason), {}};
  if (std::holds_alternative<QueryFader>(action) || std::holds_alternative<QueryMute>(action) ||
      std::holds_alternative<QueryInput>(action) || std::holds_alternative<QueryVersion>(action)) {
    return {QueryReply(command, m_image), {}};
  }
  if (const auto* set = std::get_if<SetFader>(&action)) return FaderTo(set->level);
  if (const auto* step = std::get_if<StepFader>(&action)) {
    return FaderTo(std::clamp(ShownFaderLevel(m_image) + step->delta, 0, 100));
  }
  if (const auto* mute = std::get_if<SetMute>(&action)) {
    const bool on = mute->on;
    Store([on](ParameterImage& image) {
      image.setMasterFlags(static_cast<std::uint8_t>((image.masterFlags() & ~0x01) | (on ? 0x01 : 0)));
    });
    return {std::nullopt, {Frame{WriteSpanFor(EditedField::masterFlags)}}};
  }
  if (const auto* select = std::get_if<SelectInput>(&action)) return ChooseInput(select->input);
  if (std::holds_alternative<SelectLastInput>(action)) {
    if (!m_lastInput) return {ErrorReply(QStringLiteral("no other input was chosen through the bridge yet")), {}};
    return ChooseInput(*m_lastInput);
  }
  if (const auto* get = std::get_if<GetField>(&action)) {
    auto named = ctl::ElementsNamed(get->name);
    if (const auto* refusal = std::get_if<QString>(&named)) return {ErrorReply(*refusal), {}};
    const auto& elements = std::get<std::vector<FieldElement>>(named);
    if (elements.size() != 1) {
      return {ErrorReply(QStringLiteral("'%1' names %2 values; give one, as in %3")
                             .arg(get->name)
                             .arg(elements.size())
                             .arg(QString::fromStdString(elements.front().Name()))),
              {}};
    }
    return {GetLine(m_image, elements.front()), {}};
  }
  if (const auto* set = std::get_if<SetField>(&action)) {
    auto parsed = ctl::ParseAssignment(set->assignment);
    if (const auto* refusal = std::get_if<QString>(&parsed)) return {ErrorReply(*refusal), {}};
    const ctl::FieldEdit& edit = std::get<ctl::FieldEdit>(parsed);
    if (!edit.edited) {
      return {ErrorReply(QStringLiteral("%1 reaches a unit only with the whole image: set it in a project file and "
                                        "restore that")
                             .arg(QString::fromStdString(edit.element.Name()))),
              {}};
    }
    ParameterImage changed = m_image;
    if (!ctl::ApplyEdit(changed, edit)) {
      return {ErrorReply(QStringLiteral("%1: the text does not fit").arg(QString::fromStdString(edit.element.Name()))),
              {}};
    }
    Store([&changed](ParameterImage& image) { image = changed; });
    return {std::nullopt, {Frame{ctl::SpanOf(edit)}}};
  }
  if (std::holds_alternative<StoreImage>(action)) return {std::nullopt, {Frame{WriteSpan{}, true}}};
  return {ErrorReply(QStringLiteral("unknown command")), {}};
}

}  // namespace mzr::bridge
