// 3-byte pixels to the working image's 4-byte pixels and back, per instruction-set level:
// the conversions of 24-bit frames in the frame pipeline. Every level moves the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/simd/simd.h"

namespace qov::aa {

struct ConvertKernels {
  // count pixels of bytes B, G, R to B, G, R, 0.
  void (*expand3)(const uint8_t* packed, uint8_t* work, std::size_t count);
  // count pixels of 4 bytes to their first three.
  void (*pack3)(const uint8_t* work, uint8_t* packed, std::size_t count);
};

namespace scalar {
extern const ConvertKernels kConvertKernels;
}
#if QOV_SIMD_X86
namespace avx2 {
extern const ConvertKernels kConvertKernels;
}
#endif
#if QOV_SIMD_NEON
namespace neon {
extern const ConvertKernels kConvertKernels;
}
#endif

inline constexpr simd::Entry<const ConvertKernels*> kConvertLevels[] = {
    {simd::Level::scalar, &scalar::kConvertKernels},
#if QOV_SIMD_X86
    {simd::Level::avx2, &avx2::kConvertKernels},
#endif
#if QOV_SIMD_NEON
    {simd::Level::neon, &neon::kConvertKernels},
#endif
};

}  // namespace qov::aa
