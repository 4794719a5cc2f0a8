#include "link/EditSender.h"

#include "link/ParamLink.h"

namespace mzr {

void EditSender::Send(EditedField field, int index) {
  if (m_state.connected != 1) return;
  m_link.SendSpan(WriteSpanFor(field, index));
}

}  // namespace mzr
