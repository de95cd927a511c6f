// The matte weights in the form the byte dot-product instruction (AVX-512 VNNI) multiplies
// with: each signed weight written as three base-128 digits that fit a signed byte, the
// digits of one rank for the four byte offsets packed into one 32-bit word, so that one
// instruction multiplies all four bytes of a pixel by them and adds the products.
//
// With v = d0 + 128 d1 + 16384 d2 for the weight of every byte, Sk the sum over the four
// bytes of byte * dk, and the constant split as constant = 16384 high + low, low in
// [0, 16383]:
//     sum = ((high + S2) * 128 + S1) * 128 + S0 + low,
// three dot products (each adding to the one before, shifted), two shifts and one addition.
//
// The final inversion is folded into the weights: with sum = 8q + t, t in 0..7,
//     2047 - sum = 8 (255 - q) + (7 - t),  so  floor((2047 - sum) / 8) = 255 - floor(sum / 8),
// and clamping to 0..255 commutes with m -> 255 - m. Under invertAll the weights are negated
// and the constant becomes 2047 - constant; a kernel then never inverts.
//
// Digit ranges: d0 and d1 are the residues in [-64, 63]. As |v| <= 65536 (negated or not),
// v1 = (v - d0) / 128 has |v1| <= 65600 / 128 < 513, and d2 = (v1 - d1) / 128 lies in [-4, 4].
//
// No 32-bit intermediate wraps. |constant| < 2^25 (matte_byte_rule.h), so after the folding
// |constant| < 2^25 + 2^11 and |high| <= 2^11 + 1. Then, with |S2| <= 4 * 255 * 4 = 4080 and
// |S1|, |S0| <= 4 * 255 * 64 = 65280 < 2^16:
//     high + S2                 < 2^13
//     (high + S2) * 128 + S1    < 2^20 + 2^16 < 2^21
//     (...) * 128 + S0 + low    < 2^28 + 2^16 + 2^14 < 2^29
// and every partial sum inside a dot product is bounded by its result plus 4 * 255 * 64.
#pragma once

#include <cstdint>
#include <cstring>

#include "effects/matte/matte_byte_rule.h"

namespace qov::matte {

constexpr int digitBits = 7;
constexpr int digitCount = 3;
// The constant's split: 16384 = 128^2, the place of the top digit.
constexpr int highConstantBits = 2 * digitBits;
// The largest sum whose floor(sum / 8) is still a mask byte: 8 * 255 + 7.
constexpr int32_t maskSumMax = ((maskMax + 1) << maskShift) - 1;

struct MatteDigitWeights {
  int32_t digits[digitCount];  // digits[k]: byte i holds digit k of the weight of byte offset i
  int32_t highConstant;        // added before the two shifts
  int32_t lowConstant;         // added after them, in [0, 16383]
};

namespace detail {

constexpr int32_t digitBase = int32_t{1} << digitBits;

struct WeightDigits {
  int8_t digit[digitCount];  // digit[0] the lowest
};

// The residue of v modulo 2^bits in [-2^(bits-1), 2^(bits-1)), defined for negative v.
inline int32_t balancedResidue(int32_t v, int bits) {
  const int32_t base = int32_t{1} << bits;
  const int32_t half = base / 2;
  return ((v % base) + base + half) % base - half;
}

inline WeightDigits weightDigits(int32_t v) {
  WeightDigits w;
  for (int k = 0; k < digitCount - 1; ++k) {
    const int32_t d = balancedResidue(v, digitBits);
    w.digit[k] = static_cast<int8_t>(d);
    v = (v - d) / digitBase;  // exact
  }
  w.digit[digitCount - 1] = static_cast<int8_t>(v);
  return w;
}

}  // namespace detail

inline MatteDigitWeights matteDigitWeights(const MatteByteRule& r) {
  MatteDigitWeights w;
  int8_t packed[digitCount][bytesPerPixel];
  for (size_t i = 0; i < bytesPerPixel; ++i) {
    const detail::WeightDigits d = detail::weightDigits(r.invertAll ? -r.weights[i] : r.weights[i]);
    for (int k = 0; k < digitCount; ++k) packed[k][i] = d.digit[k];
  }
  for (int k = 0; k < digitCount; ++k) std::memcpy(&w.digits[k], packed[k], sizeof w.digits[k]);
  const int32_t constant = r.invertAll ? maskSumMax - r.constant : r.constant;
  const int32_t highUnit = int32_t{1} << highConstantBits;
  w.lowConstant = ((constant % highUnit) + highUnit) % highUnit;
  w.highConstant = (constant - w.lowConstant) / highUnit;
  return w;
}

}  // namespace qov::matte
