#pragma once
// What one thing a person or a script does means for the image and the unit: the changes,
// each with the field whose span carries it, and the frames that follow them, in the order
// they leave. The workspace's intents build plans; the edit operation carries a plan out at
// once (the window) or one acknowledged frame after another (the bridge, the companion).
// A plan is data: building one changes and sends nothing.

#include <QString>

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "model/ParameterImage.h"
#include "model/WriteSpan.h"

namespace mzr {

// One change of the image and the field span that carries it to the unit.
struct PlannedEdit {
  std::optional<EditedField> field;  // nothing: kept in the image and the project file only
  int index = 0;                     // WriteSpanFor's index
  // Runs on the image; empty: the span leaves again with the bytes as they are (a click on
  // the input already chosen).
  std::function<void(ParameterImage&)> change;
};

// A frame that is not an edit's span.
struct PlannedFrame {
  enum class Kind {
    Span,   // span's bytes from the image (the whole image of a download)
    Store,  // the store command: the unit keeps its image over a power cut
  };
  Kind kind = Kind::Span;
  WriteSpan span{WriteKind::Write, 0, 0};
};

struct EditPlan {
  // Set: the plan is refused and changes nothing; the text says why.
  std::optional<QString> refusal;
  // In order: each changes the image, then its span leaves (while a unit is connected).
  std::vector<PlannedEdit> edits;
  // After every edit's span, in order.
  std::vector<PlannedFrame> frames;
  // The edits are one undo step however many fields they touch (a fit).
  bool oneStep = false;
  // The edits are no step at all: nothing to take back and no unsaved work (the hall
  // measurement's generator, which puts the unit's own test signal back when it ends).
  bool transient = false;

  static EditPlan Refused(QString reason) {
    EditPlan plan;
    plan.refusal = std::move(reason);
    return plan;
  }
  bool refused() const { return refusal.has_value(); }
  // Every frame in the order it leaves: the edits' spans, then frames.
  std::vector<PlannedFrame> Sends() const {
    std::vector<PlannedFrame> sends;
    for (const PlannedEdit& edit : edits) {
      if (edit.field) sends.push_back({PlannedFrame::Kind::Span, WriteSpanFor(*edit.field, edit.index)});
    }
    sends.insert(sends.end(), frames.begin(), frames.end());
    return sends;
  }
};

// How a queued plan ended.
struct PlanOutcome {
  bool done = false;     // every frame was sent and acknowledged
  int acknowledged = 0;  // frames the unit acknowledged, from the first on
  int frames = 0;        // frames in the plan
  QString error;         // why not done; empty when done
};

}  // namespace mzr
