#pragma once
// Guards the numeric entry points against a dirty upper half of the AVX registers. Some
// library code (Qt's GUI start-up among it) returns with that state dirty; from then on
// every plain SSE instruction of ours pays a merge penalty, which made a channel's design
// five to ten times slower. Clearing it on entry costs one instruction.

namespace mzr {

void ClearUpperVectorState();

}  // namespace mzr
