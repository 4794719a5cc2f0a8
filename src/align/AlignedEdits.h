#pragma once
// The fields of one channel that an alignment changed, each as the program's editor for it
// stores and sends it, in the order an installer would move them: bands low to high, then the
// shelves; on the subwoofer each section's frequency and gain, then its Q; the output level last
// when it was set (--set-level). The companion sends
// their spans one by one; the window applies them through its edit operation as one step.

#include <string>
#include <vector>

#include "model/ParameterImage.h"
#include "model/WriteSpan.h"

namespace mzr {

struct AlignedEdit {
  EditedField field;
  int index = 0;     // as WriteSpanFor takes it
  std::string what;  // the field's name, e.g. "geqGain[0][13]"
};

std::vector<AlignedEdit> AlignedEdits(const ParameterImage& before, const ParameterImage& after, int channel);

}  // namespace mzr
