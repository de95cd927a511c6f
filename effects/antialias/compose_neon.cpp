// The composition with NEON: 16 bytes per step.
#include "effects/simd/simd.h"

#if QOV_SIMD_NEON
#include "effects/simd/neon.h"
// After the level's primitives:
#include "effects/antialias/compose_vector.h"

namespace qov::aa::neon {

const ComposeKernels kComposeKernels = vectorComposeKernels<simd::Neon>();

}  // namespace qov::aa::neon
#endif
