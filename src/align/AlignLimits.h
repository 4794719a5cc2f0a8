#pragma once
// The stored ranges the alignment may set, in one place: read from the slider scales of the
// editable-field table (model/EditableFields.h), so the fit can never choose a value an
// editor could not.

#include <algorithm>

#include "model/EditableFields.h"
#include "model/ValueFormat.h"

namespace mzr {

struct StoredRange {
  int low;
  int high;
  constexpr int Clamp(int v) const { return std::clamp(v, low, high); }
};

constexpr StoredRange RangeOf(const SliderScale& scale) {
  const int a = scale.ToStored(scale.minPosition);
  const int b = scale.ToStored(scale.maxPosition);
  return {std::min(a, b), std::max(a, b)};
}

namespace alignrange {
inline constexpr StoredRange bandTenths = RangeOf(slider::geqBand);        // -60..60
inline constexpr StoredRange shelfTenths = RangeOf(slider::shelfGain);     // -60..60
inline constexpr StoredRange bassCorner = RangeOf(slider::bassCorner);     // 0..10
inline constexpr StoredRange trebleCorner = RangeOf(slider::trebleCorner); // 0..9
inline constexpr StoredRange subFreqHz = RangeOf(slider::subPeqFreq);      // 20..120
inline constexpr StoredRange subGainTenths = RangeOf(slider::subPeqGain);  // -120..30
inline constexpr StoredRange subQIndex = RangeOf(slider::subPeqQ);         // 0..38
inline constexpr StoredRange outputLevel = RangeOf(slider::outputLevel);   // 0..60, 0.5 dB steps
}  // namespace alignrange

}  // namespace mzr
