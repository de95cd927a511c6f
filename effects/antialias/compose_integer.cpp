// The integer form of the composition, one byte at a time: the row tails of the vector
// levels and the exact model they are tested against.
#include <cstddef>
#include <cstdint>

#include "effects/antialias/compose_internal.h"

namespace qov::aa::integer {
namespace {

constexpr uint32_t kFull = 255;          // an alpha of 255 is a weight of 1
constexpr uint32_t kFullSquared = 65025; // largest sum the quotient formula divides exactly
constexpr uint32_t kHalf = 128;
constexpr int kByteShift = 8;

// round(x / 255) for x in 0..65025; beyond that the formula drifts below x / 255, which
// the inner quotient of `over` inherits on purpose (the vector levels compute the same).
constexpr uint32_t quotient255(uint32_t x) {
  const uint32_t biased = x + kHalf;
  return (biased + (biased >> kByteShift)) >> kByteShift;
}

constexpr uint8_t overByte(uint32_t a, uint32_t b, uint32_t alpha1, uint32_t alpha2) {
  const uint32_t inner = quotient255(b * (kFull - alpha1) * alpha2);
  return static_cast<uint8_t>(quotient255(alpha1 * a + inner));
}

constexpr uint8_t plusByte(uint32_t a, uint32_t b, uint32_t alpha1, uint32_t alpha2) {
  const uint32_t sum = alpha1 * a + alpha2 * b;
  return static_cast<uint8_t>(quotient255(sum < kFullSquared ? sum : kFullSquared));
}

template <uint8_t (*byteRule)(uint32_t, uint32_t, uint32_t, uint32_t)>
void row3(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
          int alpha1, int alpha2) {
  for (std::size_t i = 0; i < rowBytes; ++i)
    dst[i] = byteRule(src1[i], src2[i], static_cast<uint32_t>(alpha1), static_cast<uint32_t>(alpha2));
}

template <uint8_t (*byteRule)(uint32_t, uint32_t, uint32_t, uint32_t)>
void row4(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
          int alpha1, int alpha2) {
  for (std::size_t p = 0; p < rowBytes; p += kPixelBytes4)
    for (int c = 0; c < kColourBytes; ++c)
      dst[p + c] = byteRule(src1[p + c], src2[p + c], static_cast<uint32_t>(alpha1),
                            static_cast<uint32_t>(alpha2));
}

}  // namespace

const ComposeKernels kComposeKernels{row3<overByte>, row3<plusByte>, row4<overByte>, row4<plusByte>,
                                     crossFade4ByPixel<row4<plusByte>>};

}  // namespace qov::aa::integer
