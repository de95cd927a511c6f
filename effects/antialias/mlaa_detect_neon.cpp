// Edge detection with NEON's 16-byte vectors, four pixels at a time.
#include "effects/simd/simd.h"

#if QOV_SIMD_NEON
#include "effects/simd/neon.h"
// After the level's primitives:
#include "effects/antialias/mlaa_detect_vector.h"

namespace qov::aa::detail::neon {

void detectRows(const uint8_t* image, std::ptrdiff_t imageStride, uint32_t pixelMask, uint8_t* edges, int width,
                int height, int rowBegin, int rowEnd, uint64_t* chunks, uint8_t* rightMasks) {
  detectRowsWith<simd::Neon>(image, imageStride, pixelMask, edges, width, height, rowBegin, rowEnd, chunks,
                             rightMasks);
}

}  // namespace qov::aa::detail::neon
#endif
