// The NEON matte kernel: 8 pixels per step in two vectors of four 32-bit lanes, each lane
// computing the rule of matte_byte_rule.h for its pixel as the scalar kernel does: the
// four bytes taken out by shifts and masks, the constant plus each byte times its signed
// weight in 32-bit multiply-accumulates (exact: the sum stays below 2^27 in magnitude), the
// arithmetic shift, the clamp to 0..255 and the final inversion. No widening or narrowing is
// needed, and the mask goes to byte 3 or byte 0 of its pixel with one shift.
#include "effects/simd/simd.h"

#if QOV_SIMD_NEON
#include <arm_neon.h>

#include "effects/matte/matte_kernels.h"

namespace qov::matte::neon {
namespace {

constexpr size_t kLanes = 4;
constexpr size_t kPixelsPerStep = 2 * kLanes;
constexpr int kByteBits = 8;
constexpr uint32_t kByteMask = 0xFF;
constexpr int kLastByte = 3;
constexpr uint32_t kKeptBytesMaskLast = 0x00FFFFFF;   // the colour bytes when the mask is byte 3
constexpr uint32_t kKeptBytesMaskFirst = 0xFFFFFF00;  // ... and when it is byte 0

struct Rule {
  int32x4_t weight0, weight1, weight2, weight3, constant, invert;
  uint32x4_t kept;
};

// The mask of each of the four pixels of `pixels`, 0..255 in its lane.
inline int32x4_t masks(uint32x4_t pixels, const Rule& r) {
  const uint32x4_t byteMask = vdupq_n_u32(kByteMask);
  const int32x4_t byte0 = vreinterpretq_s32_u32(vandq_u32(pixels, byteMask));
  const int32x4_t byte1 = vreinterpretq_s32_u32(vandq_u32(vshrq_n_u32(pixels, kByteBits), byteMask));
  const int32x4_t byte2 = vreinterpretq_s32_u32(vandq_u32(vshrq_n_u32(pixels, 2 * kByteBits), byteMask));
  const int32x4_t byte3 = vreinterpretq_s32_u32(vshrq_n_u32(pixels, 3 * kByteBits));
  int32x4_t sum = vmlaq_s32(r.constant, byte0, r.weight0);
  sum = vmlaq_s32(sum, byte1, r.weight1);
  sum = vmlaq_s32(sum, byte2, r.weight2);
  sum = vmlaq_s32(sum, byte3, r.weight3);
  const int32x4_t clamped = vminq_s32(vmaxq_s32(vshrq_n_s32(sum, maskShift), vdupq_n_s32(0)), vdupq_n_s32(maskMax));
  return veorq_s32(clamped, r.invert);
}

// The colour source's kept bytes with the mask in its place.
template <bool maskLast>
inline uint32x4_t matted(uint32x4_t colour, int32x4_t mask, const Rule& r) {
  const uint32x4_t placed = maskLast ? vshlq_n_u32(vreinterpretq_u32_s32(mask), 3 * kByteBits) : vreinterpretq_u32_s32(mask);
  return vorrq_u32(vandq_u32(colour, r.kept), placed);
}

inline uint32x4_t loadPixels(const uint8_t* p) { return vreinterpretq_u32_u8(vld1q_u8(p)); }

template <bool maskLast>
void applySteps(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination, size_t steps,
                const Rule& r) {
  constexpr size_t kVectorBytes = kLanes * bytesPerPixel;
  for (size_t step = 0; step < steps; ++step) {
    const size_t offset = step * kPixelsPerStep * bytesPerPixel;
    // Every input of the step is loaded before anything is stored (in-place processing).
    const uint32x4_t maskA = loadPixels(maskSource + offset), maskB = loadPixels(maskSource + offset + kVectorBytes);
    const uint32x4_t colourA = loadPixels(colourSource + offset);
    const uint32x4_t colourB = loadPixels(colourSource + offset + kVectorBytes);
    vst1q_u8(destination + offset, vreinterpretq_u8_u32(matted<maskLast>(colourA, masks(maskA, r), r)));
    vst1q_u8(destination + offset + kVectorBytes, vreinterpretq_u8_u32(matted<maskLast>(colourB, masks(maskB, r), r)));
  }
}

}  // namespace

void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteByteRule& r) {
  const bool maskLast = r.maskByte == kLastByte;
  const Rule rule{vdupq_n_s32(r.weights[0]), vdupq_n_s32(r.weights[1]), vdupq_n_s32(r.weights[2]),
                  vdupq_n_s32(r.weights[3]), vdupq_n_s32(r.constant), vdupq_n_s32(r.invertAll ? maskMax : 0),
                  vdupq_n_u32(maskLast ? kKeptBytesMaskLast : kKeptBytesMaskFirst)};
  const size_t steps = pixelCount / kPixelsPerStep;
  if (maskLast)
    applySteps<true>(colourSource, maskSource, destination, steps, rule);
  else
    applySteps<false>(colourSource, maskSource, destination, steps, rule);
  const size_t offset = steps * kPixelsPerStep * bytesPerPixel;
  scalar::applyMatte(colourSource + offset, maskSource + offset, destination + offset,
                     pixelCount - steps * kPixelsPerStep, r);
}

}  // namespace qov::matte::neon
#endif
