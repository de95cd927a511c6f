// Settings of the matte rule: the four channel weights and the five inversion flags, and
// what the two-input matte adds to them.
#pragma once

#include <cstdint>

namespace qov::matte {

// A weight multiplies a byte value in 16.16 fixed point: amount 1.0 is weight 65536.
constexpr int32_t maxWeight = 65536;

// Per-frame values of the rule. Weights lie in [0, maxWeight]; the kernels rely on it.
struct MatteSettings {
  int32_t alphaWeight = 0;
  int32_t redWeight = 0;
  int32_t greenWeight = 0;
  int32_t blueWeight = 0;
  bool invertAll = false;
  bool invertAlpha = false;
  bool invertRed = false;
  bool invertGreen = false;
  bool invertBlue = false;
};

// The two-input matte: the rule, and which input gives the colour.
struct TwoInputMatteSettings {
  MatteSettings matte;
  bool switchInputs = false;  // off: colour from the first input, mask from the second
};

// amount * 65536 in single precision, truncated toward zero. Values are clamped to [0, 1]
// first and NaN gives 0, so every float bit pattern gives a weight in [0, maxWeight].
int32_t weightFromAmount(float amount);

}  // namespace qov::matte
