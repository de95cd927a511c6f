// Settings of the matte rule: the four channel weights and the five inversion flags, and
// how they are derived from the nine float parameters of the matte plug-ins.
#pragma once

#include <cstdint>

namespace qov::matte {

// A weight multiplies a byte value in 16.16 fixed point: amount 1.0 is weight 65536.
constexpr int32_t maxWeight = 65536;

// Positions of the matte parameters in the plug-ins' parameter lists. The two-input plug-in
// adds "Switch Inputs" after the nine shared ones.
enum MatteParameter : int {
  alphaAmountIndex = 0,
  redAmountIndex = 1,
  greenAmountIndex = 2,
  blueAmountIndex = 3,
  invertAllIndex = 4,
  invertAlphaIndex = 5,
  invertRedIndex = 6,
  invertGreenIndex = 7,
  invertBlueIndex = 8,
  matteParameterCount = 9,
  switchInputsIndex = 9,
};

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

// amount * 65536 in single precision, truncated toward zero. Values are clamped to [0, 1]
// first and NaN gives 0, so every float bit pattern gives a weight in [0, maxWeight].
int32_t weightFromAmount(float amount);

// A switch is on when its value is strictly greater than one half; NaN is off.
bool flagFromValue(float value);

// Weights and flags from the nine parameter values, in MatteParameter order.
MatteSettings matteSettingsFromParameters(const float values[matteParameterCount]);

}  // namespace qov::matte
