#include "link/EditOperation.h"

#include <algorithm>

#include "link/ParamLink.h"

namespace mzr {

namespace {

std::array<std::uint8_t, kImageSize> CopyOf(const ParameterImage& image) {
  std::array<std::uint8_t, kImageSize> copy{};
  std::ranges::copy(image.All(), copy.begin());
  return copy;
}

}  // namespace

EditOperation::EditOperation(const AppState& state, ParameterImage& image, ParamLink& link, QObject* parent)
    : QObject(parent), m_state(state), m_image(image), m_link(link) {}

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
