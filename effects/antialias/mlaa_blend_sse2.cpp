// The blending passes with SSE2 (mlaa_blend_sse2.h). SSE2 is part of every x86 build's
// baseline (cmake/QovFlags.cmake), so the inline helpers of mlaa_internal.h compiled here are
// baseline code like everywhere else.
#include "effects/simd/simd.h"

#if QOV_SIMD_X86
#include "effects/antialias/mlaa_blend_sse2.h"
#include "effects/antialias/mlaa_band_passes.h"

namespace qov::aa::detail::sse2 {
const BlendKernels kBlendKernels = blendKernelsWith<Sse2Blend>();
}
#endif
