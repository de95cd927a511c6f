// The generic implementation of the composition, one byte at a time: the reference that
// every other implementation is measured against, and the fallback on any processor.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "effects/antialias/compose_internal.h"

namespace qov::aa::scalar {
namespace {

constexpr int kFull = 255;            // an alpha of 255 is a weight of 1
constexpr int kHalfDivisor = kFull / 2;  // added before a truncating division to round

// 1/255 as the nearest single-precision float (bits 0x3B808081). `over` is defined with
// this constant in both of its divisions by 255, not with the exact fraction.
constexpr float kInverse255 = 0.0039215689f;

// `over` in double precision, which gives the exactly rounded value of the expression:
// kInverse255 has a 24-bit significand, alpha2*(255 - alpha1) is below 2^16 and b below
// 2^8, so the weight (40 significant bits), its product with b (48 bits) and the sum with
// alpha1*a (all bits between 2^-31 and 2^17) are exact in a 53-bit significand. Only the
// final product is rounded, and a check of all 2^32 combinations of alphas and bytes
// shows that this rounding never moves the result across a half: the byte equals the
// rounded exact value, as an evaluation in extended precision gives too. The exact value
// is never a tie either (its numerator over 2^62 has fewer than 61 trailing zero bits),
// so the tie rule of nearbyint does not come into play.
uint8_t overByte(int a, int b, int alpha1, int alpha2) {
  const double inverse = kInverse255;
  const double weight2 = static_cast<double>(alpha2 * (kFull - alpha1)) * inverse;
  const double mixed = static_cast<double>(alpha1 * a) + weight2 * static_cast<double>(b);
  return static_cast<uint8_t>(std::nearbyint(mixed * inverse));
}

// round(x / 255) with a truncating division: x / 255 is never halfway between integers,
// since 255 is odd.
uint8_t plusByte(int a, int b, int alpha1, int alpha2) {
  const int rounded = (alpha1 * a + alpha2 * b + kHalfDivisor) / kFull;
  return static_cast<uint8_t>(rounded < kFull ? rounded : kFull);
}

template <uint8_t (*byteRule)(int, int, int, int)>
void row3(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
          int alpha1, int alpha2) {
  for (std::size_t i = 0; i < rowBytes; ++i) dst[i] = byteRule(src1[i], src2[i], alpha1, alpha2);
}

template <uint8_t (*byteRule)(int, int, int, int)>
void row4(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
          int alpha1, int alpha2) {
  for (std::size_t p = 0; p < rowBytes; p += kPixelBytes4)
    for (int c = 0; c < kColourBytes; ++c)
      dst[p + c] = byteRule(src1[p + c], src2[p + c], alpha1, alpha2);
}

}  // namespace

const ComposeKernels kComposeKernels{row3<overByte>, row3<plusByte>, row4<overByte>, row4<plusByte>,
                                     crossFade4ByPixel<row4<plusByte>>};

}  // namespace qov::aa::scalar
