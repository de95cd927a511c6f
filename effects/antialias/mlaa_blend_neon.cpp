// The blending passes at the NEON level: the scalar pieces (mlaa_blend_scalar.h) with the run
// of one pixel in integer lanes.
//
// The run of one pixel mixes with the weights 7/8 and 1/8. A colour byte times either weight
// is a multiple of 1/8 below 256, and so is the sum of two such products: single precision
// holds every one of them exactly, so the scalar level's two mixes are exactly
//   P' = (7P + Q) >> 3   and then   Q' = (P' + 7Q) >> 3
// for each byte, which eight 16-bit lanes compute without rounding. The other mixes take
// weights that the searches compute, and stay in single precision: in float lanes they gave
// the same bytes but cost more than the scalar mixes (see docs/dev/simd.md).
#include "effects/simd/simd.h"

#if QOV_SIMD_NEON
#include <arm_neon.h>

#include "effects/antialias/mlaa_blend_scalar.h"
#include "effects/antialias/mlaa_band_passes.h"

namespace qov::aa::detail {
namespace {

struct NeonBlend : ScalarBlend {
  static void onePixelRun(uint8_t* image, Index i, Index lineStride) {
    constexpr int kEighths = 3;
    const Index across = i + lineStride;
    const uint8x8_t seven = vdup_n_u8(7);
    const uint8x8_t p = vreinterpret_u8_u32(vdup_n_u32(loadWord(image, i)));
    const uint8x8_t q = vreinterpret_u8_u32(vdup_n_u32(loadWord(image, across)));
    const uint8x8_t newP = vshrn_n_u16(vmlal_u8(vmovl_u8(q), p, seven), kEighths);
    const uint8x8_t newQ = vshrn_n_u16(vmlal_u8(vmovl_u8(newP), q, seven), kEighths);
    storeWord(image, i, vget_lane_u32(vreinterpret_u32_u8(newP), 0) | kOpaque);
    storeWord(image, across, vget_lane_u32(vreinterpret_u32_u8(newQ), 0) | kOpaque);
  }
};

}  // namespace

namespace neon {
const BlendKernels kBlendKernels = blendKernelsWith<NeonBlend>();
}

}  // namespace qov::aa::detail
#endif
