// The AVX2 matte kernel: 16 pixels per step in two 32-byte vectors.
#include "effects/simd/simd.h"

#if QOV_SIMD_X86
#include "effects/simd/avx2.h"
// After the level's primitives:
#include "effects/matte/matte_vector.h"

namespace qov::matte::avx2 {

void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r) {
  applyMatteWith<simd::Avx2>(colourSource, maskSource, destination, pixelCount, r);
}

}  // namespace qov::matte::avx2
#endif
