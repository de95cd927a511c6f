// Turning the matte plug-ins' float parameters into integer weights and flags.
#include "effects/matte/matte_settings.h"

namespace qov::matte {
namespace {

constexpr float weightScale = 65536.0f;
constexpr float switchThreshold = 0.5f;

}  // namespace

int32_t weightFromAmount(float amount) {
  // Written so that NaN fails the first test: every comparison with NaN is false.
  if (!(amount > 0.0f)) return 0;
  if (amount >= 1.0f) return maxWeight;
  // A product with a power of two is exact, so the cast truncates the true value; it is
  // below 65536 here, which keeps the conversion defined.
  return static_cast<int32_t>(amount * weightScale);
}

bool flagFromValue(float value) { return value > switchThreshold; }

MatteSettings matteSettingsFromParameters(const float values[matteParameterCount]) {
  MatteSettings s;
  s.alphaWeight = weightFromAmount(values[alphaAmountIndex]);
  s.redWeight = weightFromAmount(values[redAmountIndex]);
  s.greenWeight = weightFromAmount(values[greenAmountIndex]);
  s.blueWeight = weightFromAmount(values[blueAmountIndex]);
  s.invertAll = flagFromValue(values[invertAllIndex]);
  s.invertAlpha = flagFromValue(values[invertAlphaIndex]);
  s.invertRed = flagFromValue(values[invertRedIndex]);
  s.invertGreen = flagFromValue(values[invertGreenIndex]);
  s.invertBlue = flagFromValue(values[invertBlueIndex]);
  return s;
}

}  // namespace qov::matte
