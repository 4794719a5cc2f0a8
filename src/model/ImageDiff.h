#pragma once
// The differences between two images field by field, plus the carried bytes no field names:
// the engine of the companion's diff and audit and of the window's compare dialog, so both
// say the same thing in the same words.

#include <optional>
#include <string>
#include <vector>

#include "model/FieldTable.h"
#include "model/ParameterImage.h"

namespace mzr {

struct ImageDifference {
  std::optional<FieldElement> element;  // nothing: a carried byte
  int address = 0;                      // the element's or the carried byte's
  // "name: textA -> textB" (with the stored values, or the raw bytes, when the display texts
  // alone do not tell them apart), or "byte N (carried): 0xAA -> 0xBB".
  std::string line;
};

// In table order, then the carried bytes ascending. Empty when the 852 bytes are equal.
std::vector<ImageDifference> DiffImages(const ParameterImage& a, const ParameterImage& b);

}  // namespace mzr
