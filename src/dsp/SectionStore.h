#pragma once
// The response engine's 29 section slots. A full-range channel fills 0..26 with its graphic
// bands, 27 with the bass shelf and 28 with the treble shelf; the subwoofer fills 0..1 with
// its parametric sections and 2..5 with its low-pass cascade. Slots a channel does not use
// keep whatever an earlier design left there.

#include <array>
#include <cstddef>
#include <span>

#include "dsp/Biquad.h"

namespace mzr {

inline constexpr int kSectionSlots = 29;

class SectionStore final {
 public:
  SectionStore() = default;

  Biquad& operator[](int slot) { return m_slots.at(static_cast<std::size_t>(slot)); }
  const Biquad& operator[](int slot) const { return m_slots.at(static_cast<std::size_t>(slot)); }

  // Slots 0..count-1, the run a curve evaluates; count is clamped to the store.
  std::span<const Biquad> First(int count) const {
    const auto n = static_cast<std::size_t>(count < 0 ? 0 : (count > kSectionSlots ? kSectionSlots : count));
    return std::span<const Biquad>(m_slots).first(n);
  }

 private:
  std::array<Biquad, kSectionSlots> m_slots{};
};

}  // namespace mzr
