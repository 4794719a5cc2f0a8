#pragma once
// The one way an editor changes the parameter image. Apply runs the editor's change on the
// image and then, while a unit is connected, sends the field's fixed span (WriteSpanFor) as
// one datagram with the bytes taken from the image; while none is connected nothing is sent
// (the edit reaches the unit with the next download or through a project file). Because every
// change passes here, this is also where a change becomes a step that can be taken back:
// each Apply that changed bytes reports them, before and after, through `applied`.
// Editors never build frames, know an address or look at the connection themselves.
//
// A plan (EditPlan, built by the workspace's intents) is carried out here in one of two
// ways. At once (Carry), for the window: each edit as Apply does it, the same frames in the
// same order. Queued (Enqueue), for the bridge and the companion: the plan's changes are
// stored when its turn comes, then its frames leave one by one, each only after the unit
// acknowledged the one before (the link remembers only its newest request, so a second frame
// sent early would leave the first one's answer unheard); a time-out ends the plan with an
// error that says how many frames were acknowledged, and nothing after the lost frame is sent.

#include <QObject>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "core/AppState.h"
#include "link/EditPlan.h"
#include "model/ParameterImage.h"
#include "model/WriteSpan.h"

namespace mzr {

class ParamLink;

// The bytes one Apply changed: [address, address + before.size()) held `before` and now
// holds `after`. The range covers the field's span and every byte the change touched.
struct EditStep {
  std::optional<EditedField> field;  // nothing: an image-only change (the profile texts)
  int index = 0;                     // WriteSpanFor's index
  std::uint16_t address = 0;
  std::vector<std::uint8_t> before;
  std::vector<std::uint8_t> after;
};

class EditOperation final : public QObject {
  Q_OBJECT
  Q_DISABLE_COPY_MOVE(EditOperation)

 public:
  using Change = std::function<void(ParameterImage&)>;

  // state, image and link are owned by the workspace and outlive the operation.
  EditOperation(const AppState& state, ParameterImage& image, ParamLink& link, QObject* parent = nullptr);

  // Stores: runs change on the image. Sends: while connected, the span of field (at index,
  // where the span depends on it), also when the change left the bytes as they were (a
  // click on the selected input sends its frame again, as the unit's own panel expects).
  void Apply(EditedField field, int index, const Change& change);
  // A change kept in the image and the project file only: no frame (the profile texts).
  void ApplyUnsent(const Change& change);
  // Puts one side of a step back into the image (after: true for redo) and sends the step's
  // span as Apply would; reports nothing through `applied`.
  void Restore(const EditStep& step, bool after);

  // At once: each edit of plan as Apply (or, without a field, ApplyUnsent) does it, in
  // order. False, and nothing changed, for a refused plan and for one with frames besides
  // the edits' spans (a download or a store waits for acknowledgements: Enqueue it).
  bool Carry(const EditPlan& plan);
  // Queued: plan is carried out after the plans queued before it; planFinished(ticket, ...)
  // tells how it ended, possibly before Enqueue returns (a refused plan, no unit connected,
  // a plan with nothing to send). The frames go to the link's remote address; a unit must be
  // connected when the plan's turn comes.
  quint64 Enqueue(EditPlan plan);
  // A queued plan is waiting for an acknowledgement, or plans wait for their turn.
  bool queueBusy() const { return m_running.has_value() || !m_queue.empty(); }

 signals:
  // An Apply or ApplyUnsent that changed at least one byte, and each edit of a plan that did.
  void applied(const mzr::EditStep& step);
  // Around the changes of a plan whose edits are one undo step.
  void stepBegun();
  void stepEnded();
  // A queued plan ended: every frame acknowledged, or why not.
  void planFinished(quint64 ticket, const mzr::PlanOutcome& outcome);

 private:
  struct Queued {
    quint64 ticket = 0;
    EditPlan plan;
  };
  struct Running {
    quint64 ticket = 0;
    std::vector<PlannedFrame> sends;
    std::size_t next = 0;  // the frame after the one awaiting its acknowledgement
    int expected = 0;      // the command byte that acknowledges it
  };

  // Runs edit's change on the image and, unless transient, reports the step; the span is
  // not sent.
  void StoreEdit(const PlannedEdit& edit, bool transient);
  void StoreEdits(const EditPlan& plan);
  void Pump();
  void SendNext();
  void Finish(PlanOutcome outcome);
  void OnAcknowledged(int command);
  void OnTimedOut();
  void Send(const std::optional<EditedField>& field, int index);
  // The step between the image before (a copy) and now, over field's span and every byte
  // that differs; nothing when no byte differs.
  std::optional<EditStep> StepSince(const std::array<std::uint8_t, kImageSize>& before, const std::optional<EditedField>& field,
                                    int index) const;

  const AppState& m_state;
  ParameterImage& m_image;
  ParamLink& m_link;
  std::deque<Queued> m_queue;
  std::optional<Running> m_running;
  quint64 m_nextTicket = 1;
  bool m_pumping = false;
};

}  // namespace mzr
