// The AVX-512 matte kernel: 32 pixels per step in two 64-byte vectors.
#include "effects/simd/simd.h"

#if QOV_SIMD_X86
#include "effects/simd/avx512.h"
// After the level's primitives:
#include "effects/matte/matte_vector.h"

namespace qov::matte::avx512 {

void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r) {
  applyMatteWith<simd::Avx512>(colourSource, maskSource, destination, pixelCount, r);
}

}  // namespace qov::matte::avx512
#endif
