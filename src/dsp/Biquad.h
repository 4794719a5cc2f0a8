#pragma once
// One second-order section H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2). The
// denominator's leading 1 is not stored; a1 and a2 carry the sign they have in it.

namespace mzr {

struct Biquad {
  double b0 = 1.0;
  double b1 = 0.0;
  double b2 = 0.0;
  double a1 = 0.0;
  double a2 = 0.0;
  friend bool operator==(const Biquad&, const Biquad&) = default;
};

// The trivial section: response exactly 1 everywhere.
inline constexpr Biquad kFlatSection{1.0, 0.0, 0.0, 0.0, 0.0};

// What the unit holds in a low-pass slot the slope does not need: numerator and denominator
// are the same polynomial, so the response is exactly 1, yet it is not the trivial section.
inline constexpr Biquad kPassThroughSection{1.0, -1.99876130081668, 0.998788699717626,
                                            -1.99876130081668, 0.998788699717626};

}  // namespace mzr
