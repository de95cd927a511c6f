// The composition with SSE2: 16 bytes per step.
#include "effects/simd/simd.h"

#if QOV_SIMD_X86
#include "effects/simd/sse2.h"
// After the level's primitives:
#include "effects/antialias/compose_vector.h"

namespace qov::aa::sse2 {

const ComposeKernels kComposeKernels = vectorComposeKernels<simd::Sse2>();

}  // namespace qov::aa::sse2
#endif
