// Turning the matte amounts into integer weights.
#include "effects/matte/matte_settings.h"

namespace qov::matte {
namespace {

constexpr float weightScale = 65536.0f;

}  // namespace

int32_t weightFromAmount(float amount) {
  // Written so that NaN fails the first test: every comparison with NaN is false.
  if (!(amount > 0.0f)) return 0;
  if (amount >= 1.0f) return maxWeight;
  // A product with a power of two is exact, so the cast truncates the true value; it is
  // below 65536 here, which keeps the conversion defined.
  return static_cast<int32_t>(amount * weightScale);
}

}  // namespace qov::matte
