// The conversions with NEON: sixteen pixels per step, the structure loads and stores taking
// three or four bytes per pixel apart into one vector per byte and putting them back
// together. The rest of a span goes to the scalar level.
#include "effects/simd/simd.h"

#if QOV_SIMD_NEON
#include <arm_neon.h>

#include "effects/antialias/pixel_convert.h"

namespace qov::aa::neon {
namespace {

constexpr std::size_t kStep = 16;  // pixels per step

void expand3(const uint8_t* packed, uint8_t* work, std::size_t count) {
  std::size_t i = 0;
  for (; i + kStep <= count; i += kStep) {
    const uint8x16x3_t colours = vld3q_u8(packed + 3 * i);
    const uint8x16x4_t pixels = {{colours.val[0], colours.val[1], colours.val[2], vdupq_n_u8(0)}};
    vst4q_u8(work + 4 * i, pixels);
  }
  scalar::kConvertKernels.expand3(packed + 3 * i, work + 4 * i, count - i);
}

void pack3(const uint8_t* work, uint8_t* packed, std::size_t count) {
  std::size_t i = 0;
  for (; i + kStep <= count; i += kStep) {
    const uint8x16x4_t pixels = vld4q_u8(work + 4 * i);
    const uint8x16x3_t colours = {{pixels.val[0], pixels.val[1], pixels.val[2]}};
    vst3q_u8(packed + 3 * i, colours);
  }
  scalar::kConvertKernels.pack3(work + 4 * i, packed + 3 * i, count - i);
}

}  // namespace

const ConvertKernels kConvertKernels{expand3, pack3};

}  // namespace qov::aa::neon
#endif
