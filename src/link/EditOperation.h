#pragma once
// The one way an editor changes the parameter image. Apply runs the editor's change on the
// image and then, while a unit is connected, sends the field's fixed span (WriteSpanFor) as
// one datagram with the bytes taken from the image; while none is connected nothing is sent
// (the edit reaches the unit with the next download or through a project file). Because every
// change passes here, this is also where a change becomes a step that can be taken back:
// each Apply that changed bytes reports them, before and after, through `applied`.
// Editors never build frames, know an address or look at the connection themselves.

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/AppState.h"
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

 signals:
  // An Apply or ApplyUnsent that changed at least one byte.
  void applied(const mzr::EditStep& step);

 private:
  void Send(const std::optional<EditedField>& field, int index);
  // The step between the image before (a copy) and now, over field's span and every byte
  // that differs; nothing when no byte differs.
  std::optional<EditStep> StepSince(const std::array<std::uint8_t, kImageSize>& before, const std::optional<EditedField>& field,
                                    int index) const;

  const AppState& m_state;
  ParameterImage& m_image;
  ParamLink& m_link;
};

}  // namespace mzr
