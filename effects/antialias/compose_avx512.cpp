// The composition with AVX-512: 64 bytes per step; byte 3 of 4-byte pixels kept by masked stores.
#include "effects/simd/simd.h"

#if QOV_SIMD_X86
#include "effects/simd/avx512.h"
// After the level's primitives:
#include "effects/antialias/compose_vector.h"

namespace qov::aa::avx512 {

const ComposeKernels kComposeKernels = vectorComposeKernels<simd::Avx512>();

}  // namespace qov::aa::avx512
#endif
