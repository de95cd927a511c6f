// The composition with AVX2: 32 bytes per step.
#include "effects/simd/simd.h"

#if QOV_SIMD_X86
#include "effects/simd/avx2.h"
// After the level's primitives:
#include "effects/antialias/compose_vector.h"

namespace qov::aa::avx2 {

const ComposeKernels kComposeKernels = vectorComposeKernels<simd::Avx2>();

}  // namespace qov::aa::avx2
#endif
