#include "workspace/EditHistory.h"

#include <algorithm>
#include <utility>

namespace mzr {

namespace {

// What makes two steps "the same control": the field and its index, or for an image-only
// step (a profile text) the text slot it lies in. Nothing: never merged.
struct StepKey {
  int field = -1;
  int index = 0;
  int slot = -1;
  friend bool operator==(const StepKey&, const StepKey&) = default;
};

std::optional<StepKey> KeyOf(const EditStep& step) {
  if (step.field) return StepKey{static_cast<int>(*step.field), step.index, -1};
  const int first = step.address;
  const int last = step.address + static_cast<int>(step.after.size()) - 1;
  for (int f = static_cast<int>(TextField::bannerText); f <= static_cast<int>(TextField::makerTag); ++f) {
    const TextSlot& slot = SlotOf(static_cast<TextField>(f));
    if (first >= slot.address && last < slot.address + slot.width) return StepKey{-1, 0, f};
  }
  return std::nullopt;
}

// later follows earlier (no step between them touched these bytes): one step over the union
// of their ranges, from earlier's before to later's after. Bytes between the two ranges
// were touched by neither, so the image holds them as they were and are.
EditStep Merged(const EditStep& earlier, const EditStep& later, const ParameterImage& image) {
  const std::size_t low = std::min(earlier.address, later.address);
  const std::size_t high = std::max(earlier.address + earlier.after.size(), later.address + later.after.size());
  EditStep merged;
  merged.field = later.field;
  merged.index = later.index;
  merged.address = static_cast<std::uint16_t>(low);
  const auto now = image.All();
  merged.before.assign(now.begin() + static_cast<std::ptrdiff_t>(low), now.begin() + static_cast<std::ptrdiff_t>(high));
  merged.after = merged.before;
  const auto put = [low](std::vector<std::uint8_t>& into, const EditStep& step, const std::vector<std::uint8_t>& bytes) {
    std::ranges::copy(bytes, into.begin() + static_cast<std::ptrdiff_t>(step.address - low));
  };
  put(merged.before, later, later.before);
  put(merged.before, earlier, earlier.before);  // earlier's before wins where both cover
  put(merged.after, earlier, earlier.after);
  put(merged.after, later, later.after);  // later's after wins where both cover
  return merged;
}

}  // namespace

bool EditHistory::HasFrames(const Entry& entry) {
  return std::ranges::any_of(entry.steps, [](const EditStep& step) { return step.field.has_value(); });
}

EditHistory::EditHistory(const ParameterImage& image, EditOperation& edits, QObject* parent)
    : QObject(parent), m_image(image), m_edits(edits) {
  connect(&m_edits, &EditOperation::applied, this, &EditHistory::Record);
  // A plan whose edits are one step (a fit) is one gesture, whoever carries it out.
  connect(&m_edits, &EditOperation::stepBegun, this, &EditHistory::BeginGesture);
  connect(&m_edits, &EditOperation::stepEnded, this, &EditHistory::EndGesture);
}

void EditHistory::BeginGesture() {
  if (m_gestureDepth++ == 0) m_gesture.reset();
}

void EditHistory::EndGesture() {
  if (m_gestureDepth == 0) return;
  if (--m_gestureDepth > 0) return;
  FlushGesture();
}

void EditHistory::Record(const EditStep& step) {
  if (m_restoring || m_paused > 0) return;
  if (m_gestureDepth > 0) {
    if (!m_gesture) m_gesture.emplace();
    AddTo(*m_gesture, step);
    return;
  }
  const auto now = m_clock();
  // A keyboard series: the same field again within the window of the series' last step.
  if (m_redo.empty() && !m_undo.empty()) {
    Entry& top = m_undo.back();
    const auto key = KeyOf(step);
    if (top.series && key && top.steps.size() == 1 && KeyOf(top.steps.back()) == key && now - top.last <= kSeriesWindow) {
      AddTo(top, step);
      top.last = now;
      return;
    }
  }
  Entry entry;
  entry.series = true;
  entry.last = now;
  AddTo(entry, step);
  Push(std::move(entry));
}

void EditHistory::AddTo(Entry& entry, const EditStep& step) const {
  if (!entry.steps.empty()) {
    const auto key = KeyOf(step);
    if (key && KeyOf(entry.steps.back()) == key) {
      entry.steps.back() = Merged(entry.steps.back(), step, m_image);
      return;
    }
  }
  entry.steps.push_back(step);
}

void EditHistory::Push(Entry entry) {
  m_redo.clear();
  m_undo.push_back(std::move(entry));
  while (m_undo.size() > m_limit) m_undo.pop_front();
  emit changed();
}

void EditHistory::FlushGesture() {
  // Undo during a gesture (a key pressed while the mouse still holds a slider): what the
  // gesture did so far is a step of its own, and the gesture goes on from here.
  if (m_gesture && !m_gesture->steps.empty()) Push(std::move(*m_gesture));
  m_gesture.reset();
}

bool EditHistory::Undo() {
  FlushGesture();
  if (m_undo.empty()) return false;
  Entry entry = std::move(m_undo.back());
  m_undo.pop_back();
  {
    m_restoring = true;
    for (auto it = entry.steps.rbegin(); it != entry.steps.rend(); ++it) m_edits.Restore(*it, false);
    entry.series = false;  // a step done again is never extended
    const bool framesSent = HasFrames(entry);
    m_redo.push_back(std::move(entry));
    emit restored(framesSent);
    m_restoring = false;
  }
  emit changed();
  return true;
}

bool EditHistory::Redo() {
  FlushGesture();
  if (m_redo.empty()) return false;
  Entry entry = std::move(m_redo.back());
  m_redo.pop_back();
  {
    m_restoring = true;
    for (const EditStep& step : entry.steps) m_edits.Restore(step, true);
    const bool framesSent = HasFrames(entry);
    m_undo.push_back(std::move(entry));
    emit restored(framesSent);
    m_restoring = false;
  }
  emit changed();
  return true;
}

void EditHistory::Clear() {
  const bool had = !m_undo.empty() || !m_redo.empty();
  m_undo.clear();
  m_redo.clear();
  m_gesture.reset();
  if (had) emit changed();
}

void EditHistory::setLimit(std::size_t limit) {
  m_limit = std::max<std::size_t>(limit, 1);
  while (m_undo.size() > m_limit) m_undo.pop_front();
}

}  // namespace mzr
