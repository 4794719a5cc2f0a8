#include "link/EditOperation.h"

#include <QMetaType>

#include <algorithm>
#include <array>

#include "link/FrameCodec.h"
#include "link/ParamLink.h"

namespace mzr {

namespace {

std::array<std::uint8_t, kImageSize> CopyOf(const ParameterImage& image) {
  std::array<std::uint8_t, kImageSize> copy{};
  std::ranges::copy(image.All(), copy.begin());
  return copy;
}

// The command byte of the acknowledgement that answers frame.
int AcknowledgingCommand(const PlannedFrame& frame) {
  const bool block = frame.kind == PlannedFrame::Kind::Span && frame.span.kind == WriteKind::BlockWrite;
  return static_cast<int>(block ? frame::Command::BlockWrite : frame::Command::Write);
}

}  // namespace

EditOperation::EditOperation(const AppState& state, ParameterImage& image, ParamLink& link, QObject* parent)
    : QObject(parent), m_state(state), m_image(image), m_link(link) {
  qRegisterMetaType<mzr::PlanOutcome>();
  connect(&m_link, &ParamLink::acknowledged, this, &EditOperation::OnAcknowledged);
  connect(&m_link, &ParamLink::timedOut, this, &EditOperation::OnTimedOut);
}

void EditOperation::Apply(EditedField field, int index, const Change& change) {
  const auto before = CopyOf(m_image);
  change(m_image);
  Send(field, index);
  if (auto step = StepSince(before, field, index)) emit applied(*step);
}

void EditOperation::ApplyUnsent(const Change& change) {
  const auto before = CopyOf(m_image);
  change(m_image);
  if (auto step = StepSince(before, std::nullopt, 0)) emit applied(*step);
}

void EditOperation::Restore(const EditStep& step, bool after) {
  const std::vector<std::uint8_t>& bytes = after ? step.after : step.before;
  if (!m_image.Store(step.address, bytes)) return;
  Send(step.field, step.index);
}

void EditOperation::StoreEdit(const PlannedEdit& edit, bool transient) {
  const auto before = CopyOf(m_image);
  if (edit.change) edit.change(m_image);
  if (transient) return;
  if (auto step = StepSince(before, edit.field, edit.index)) emit applied(*step);
}

void EditOperation::StoreEdits(const EditPlan& plan) {
  if (plan.oneStep) emit stepBegun();
  for (const PlannedEdit& edit : plan.edits) StoreEdit(edit, plan.transient);
  if (plan.oneStep) emit stepEnded();
}

bool EditOperation::Carry(const EditPlan& plan) {
  if (plan.refused() || !plan.frames.empty()) return false;
  if (plan.oneStep) emit stepBegun();
  for (const PlannedEdit& edit : plan.edits) {
    const auto before = CopyOf(m_image);
    if (edit.change) edit.change(m_image);
    Send(edit.field, edit.index);
    if (plan.transient) continue;
    if (auto step = StepSince(before, edit.field, edit.index)) emit applied(*step);
  }
  if (plan.oneStep) emit stepEnded();
  return true;
}

quint64 EditOperation::Enqueue(EditPlan plan) {
  const quint64 ticket = m_nextTicket++;
  m_queue.push_back({ticket, std::move(plan)});
  Pump();
  return ticket;
}

void EditOperation::Pump() {
  // A receiver of planFinished may enqueue again; one loop serves every plan.
  if (m_pumping) return;
  m_pumping = true;
  while (!m_running && !m_queue.empty()) {
    Queued queued = std::move(m_queue.front());
    m_queue.pop_front();
    const EditPlan& plan = queued.plan;
    const int frames = static_cast<int>(plan.Sends().size());
    m_running = Running{queued.ticket, {}, 0, 0};
    if (plan.refused()) {
      Finish({false, 0, frames, *plan.refusal});
      continue;
    }
    if (m_state.connected != 1 || m_state.networkMode == 0) {
      Finish({false, 0, frames, QStringLiteral("no unit is connected: nothing was changed or sent")});
      continue;
    }
    StoreEdits(plan);
    m_running->sends = plan.Sends();
    if (m_running->sends.empty()) {
      Finish({true, 0, 0, {}});
      continue;
    }
    SendNext();
  }
  m_pumping = false;
}

void EditOperation::SendNext() {
  const PlannedFrame& frame = m_running->sends[m_running->next++];
  m_running->expected = AcknowledgingCommand(frame);
  if (frame.kind == PlannedFrame::Kind::Store) {
    static constexpr std::array<std::uint8_t, 1> kStore{frame::kCommandValue};
    m_link.SendWrite(frame::kSaveCommandAddress, 1, kStore);
  } else {
    m_link.SendSpan(frame.span);
  }
}

void EditOperation::Finish(PlanOutcome outcome) {
  const quint64 ticket = m_running->ticket;
  m_running.reset();
  emit planFinished(ticket, outcome);
}

void EditOperation::OnAcknowledged(int command) {
  if (!m_running || m_running->sends.empty() || command != m_running->expected) return;
  if (m_running->next < m_running->sends.size()) {
    SendNext();
    return;
  }
  const int frames = static_cast<int>(m_running->sends.size());
  Finish({true, frames, frames, {}});
  Pump();
}

void EditOperation::OnTimedOut() {
  if (!m_running || m_running->sends.empty()) return;
  const int frames = static_cast<int>(m_running->sends.size());
  const int acknowledged = static_cast<int>(m_running->next) - 1;
  Finish({false, acknowledged, frames,
          QStringLiteral("the unit %1 did not answer frame %2 of %3 within %4 ms: %5 of %3 acknowledged, nothing "
                         "after it sent")
              .arg(m_link.remoteAddress())
              .arg(acknowledged + 1)
              .arg(frames)
              .arg(m_link.timeoutMs())
              .arg(acknowledged)});
  Pump();
}

void EditOperation::Send(const std::optional<EditedField>& field, int index) {
  if (!field || m_state.connected != 1) return;
  m_link.SendSpan(WriteSpanFor(*field, index));
}

std::optional<EditStep> EditOperation::StepSince(const std::array<std::uint8_t, kImageSize>& before,
                                                 const std::optional<EditedField>& field, int index) const {
  const auto now = m_image.All();
  const auto first = std::ranges::mismatch(before, now).in1;
  if (first == before.end()) return std::nullopt;
  std::size_t low = static_cast<std::size_t>(first - before.begin());
  std::size_t high = low;
  for (std::size_t a = kImageSize; a-- > low;) {
    if (before[a] != now[a]) {
      high = a;
      break;
    }
  }
  // The span is part of the step, so taking the step back sends the same frame an editor
  // sends, with every byte of it as it was.
  if (field) {
    const WriteSpan span = WriteSpanFor(*field, index);
    low = std::min<std::size_t>(low, span.address);
    high = std::max<std::size_t>(high, span.address + span.count - 1u);
  }
  EditStep step;
  step.field = field;
  step.index = index;
  step.address = static_cast<std::uint16_t>(low);
  step.before.assign(before.begin() + static_cast<std::ptrdiff_t>(low), before.begin() + static_cast<std::ptrdiff_t>(high) + 1);
  step.after.assign(now.begin() + static_cast<std::ptrdiff_t>(low), now.begin() + static_cast<std::ptrdiff_t>(high) + 1);
  return step;
}

}  // namespace mzr
