// The NEON matte kernel: 8 pixels per step in two 16-byte vectors.
#include "effects/simd/simd.h"

#if QOV_SIMD_NEON
#include "effects/simd/neon.h"
// After the level's primitives:
#include "effects/matte/matte_vector.h"

namespace qov::matte::neon {

void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r) {
  applyMatteWith<simd::Neon>(colourSource, maskSource, destination, pixelCount, r);
}

}  // namespace qov::matte::neon
#endif
