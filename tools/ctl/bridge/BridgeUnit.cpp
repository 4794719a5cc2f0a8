#include "bridge/BridgeUnit.h"

#include <algorithm>
#include <array>

#include "core/AppState.h"
#include "link/DeviceCommands.h"
#include "link/EditOperation.h"
#include "link/ParamLink.h"
#include "model/FieldTable.h"
#include "workspace/EditIntents.h"
#include "workspace/FieldEdit.h"
#include "workspace/Workspace.h"

namespace mzr::bridge {
namespace {

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
  connect(&m_workspace.edits(), &EditOperation::planFinished, this, &BridgeUnit::OnPlanFinished);
  connect(&link, &ParamLink::imageReceived, this, &BridgeUnit::OnImageReceived);
  connect(&link, &ParamLink::timedOut, this, &BridgeUnit::OnTimedOut);
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
    Resolved resolved = Resolve(m_jobs.front().command);
    if (resolved.reply) {
      Finish(*resolved.reply);
      continue;
    }
    // The edit operation may end the plan before Enqueue returns (a plan with nothing to
    // send): the step and the ticket it answers to are set first.
    m_step = Step::Sending;
    m_planTicket = 0;
    m_planTicket = m_workspace.edits().Enqueue(std::move(resolved.plan));
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

void BridgeUnit::OnPlanFinished(quint64 ticket, const PlanOutcome& outcome) {
  // Enqueue has not returned yet when the plan ends at once: the ticket is still 0 then.
  if (m_step != Step::Sending || (m_planTicket != 0 && ticket != m_planTicket)) return;
  m_step = Step::Idle;
  m_planTicket = 0;
  if (outcome.done) {
    Finish(AcknowledgedReply(m_jobs.front().command, m_image));
  } else {
    // A frame the unit did not acknowledge: what it holds now is not known.
    m_imageValid = false;
    const QString reason = NoAnswer(QStringLiteral("a write")) +
                           QStringLiteral(" (%1 of %2 frames acknowledged)").arg(outcome.acknowledged).arg(outcome.frames);
    emit note(reason + QStringLiteral("; its settings will be read again before the next command"));
    Finish(ErrorReply(reason));
  }
  // Pumping already (the plan ended inside Enqueue): the loop there takes the next job.
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
  // The edit operation ends a plan whose frame timed out (OnPlanFinished), and what that
  // starts may already be a new request: its own time-out is still to come.
  if (m_step != Step::Reading || m_workspace.link().timerActive()) return;
  m_step = Step::Idle;
  m_imageValid = false;
  // The unit is away: the commands waiting now would each wait out another time-out.
  const QString reason = NoAnswer(QStringLiteral("the read of its settings"));
  emit note(reason);
  FailAll(reason);
}

BridgeUnit::Resolved BridgeUnit::Intent(EditPlan plan) const {
  if (plan.refusal) return {ErrorReply(*plan.refusal), {}};
  return {std::nullopt, std::move(plan)};
}

BridgeUnit::Resolved BridgeUnit::ChooseInput(int input) {
  const int before = m_image.inputSource();
  Resolved resolved = Intent(m_workspace.intents().ChooseInput(input));
  if (!resolved.reply && before != input && before < kInputs) m_lastInput = before;
  return resolved;
}

BridgeUnit::Resolved BridgeUnit::Resolve(const BridgeCommand& command) {
  const Action& action = command.action;
  if (const auto* refused = std::get_if<Refused>(&action)) return {ErrorReply(refused->reason), {}};
  if (std::holds_alternative<QueryFader>(action) || std::holds_alternative<QueryMute>(action) ||
      std::holds_alternative<QueryInput>(action) || std::holds_alternative<QueryVersion>(action)) {
    return {QueryReply(command, m_image), {}};
  }
  const EditIntents& intents = m_workspace.intents();
  if (const auto* set = std::get_if<SetFader>(&action)) return Intent(intents.SetFader(set->level));
  if (const auto* step = std::get_if<StepFader>(&action)) {
    return Intent(intents.SetFader(std::clamp(EditIntents::ShownFader(m_image) + step->delta, 0, EditIntents::kFaderMax)));
  }
  if (const auto* mute = std::get_if<SetMute>(&action)) return Intent(intents.SetMasterMute(mute->on));
  if (const auto* select = std::get_if<SelectInput>(&action)) return ChooseInput(select->input);
  if (std::holds_alternative<SelectLastInput>(action)) {
    if (!m_lastInput) return {ErrorReply(QStringLiteral("no other input was chosen through the bridge yet")), {}};
    return ChooseInput(*m_lastInput);
  }
  if (const auto* get = std::get_if<GetField>(&action)) {
    auto named = ElementsNamed(get->name);
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
    auto parsed = ParseAssignment(set->assignment);
    if (const auto* refusal = std::get_if<QString>(&parsed)) return {ErrorReply(*refusal), {}};
    return Intent(intents.SetField(std::get<FieldEdit>(parsed)));
  }
  if (std::holds_alternative<StoreImage>(action)) return Intent(intents.Store());
  return {ErrorReply(QStringLiteral("unknown command")), {}};
}

}  // namespace mzr::bridge
