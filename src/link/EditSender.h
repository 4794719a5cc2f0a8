#pragma once
// The one road of an edit to the unit. An editor stores the new value through the image's
// setters and then calls Send with the field it changed; while a unit is connected the
// field's fixed span (WriteSpanFor) goes out as one datagram with the bytes taken from the
// image, and while none is connected nothing is sent (the edit reaches the unit with the
// next download or through a project file). Editors never build frames, know an address or
// look at the connection themselves.

#include "core/AppState.h"
#include "model/WriteSpan.h"

namespace mzr {

class ParamLink;

class EditSender final {
 public:
  // state and link are owned by the window and outlive the sender.
  EditSender(const AppState& state, ParamLink& link) : m_state(state), m_link(link) {}
  EditSender(const EditSender&) = delete;
  EditSender& operator=(const EditSender&) = delete;

  // Sends the span of field (at index, where the span depends on it) while connected.
  void Send(EditedField field, int index = 0);

 private:
  const AppState& m_state;
  ParamLink& m_link;
};

}  // namespace mzr
