// The vector levels of the composition, written once over a level's primitives L (Sse2,
// Avx2, Avx512 or Neon of effects/simd/): bytes widened to 16-bit lanes, the integer form of
// compose_internal.h, narrowed back; each row's tail goes to the integer kernels. Included by
// compose_<level>.cpp only, after the level's header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "effects/antialias/compose_internal.h"
#include "effects/simd/vector.h"

namespace qov::aa {
namespace {

constexpr int kFull = 255;
constexpr int kFullSquared = 65025;  // largest sum the quotient formula divides exactly
constexpr int kHalf = 128;
constexpr int kByteShift = 8;
constexpr int kLowByteMask = 0xFF;
constexpr int kHalvedShift = kByteShift - 1;

template <class L>
class PlusRule {
  using V = typename L::Vector;

 public:
  PlusRule(int alpha1, int alpha2)
      : alpha1_(L::set16(alpha1)), alpha2_(L::set16(alpha2)), limit_(L::set16(kFullSquared)) {}

  // a1*A + a2*B reaches 130050 when the alphas add up to more than 255. The saturating
  // add stops at 65535 and the clamp brings that to 65025, whose quotient is already 255.
  V operator()(V a, V b) const {
    V sum = L::addSaturated16(L::mulLow16(a, alpha1_), L::mulLow16(b, alpha2_));
    sum = L::sub16(sum, L::subSaturated16(sum, limit_));
    return simd::divide255<L>(sum);
  }

 private:
  V alpha1_, alpha2_, limit_;
};

template <class L>
class OverRule {
  using V = typename L::Vector;

 public:
  // The inner product t = B*(255 - a1)*a2 needs 24 bits. Its weight is split into bytes,
  // weight = 256*high + low, so that t = 256*(B*high) + B*low with 16-bit products.
  OverRule(int alpha1, int alpha2)
      : alpha1_(L::set16(alpha1)),
        weightLow_(L::set16(((kFull - alpha1) * alpha2) & kLowByteMask)),
        weightHigh_(L::set16(((kFull - alpha1) * alpha2) >> kByteShift)) {}

  V operator()(V a, V b) const {
    const V one = L::set16(1);
    const V high = L::mulLow16(b, weightHigh_);
    const V lowBiased = L::add16(L::mulLow16(b, weightLow_), L::set16(kHalf));
    // (t + 128) >> 8, below 65025.
    const V shifted = L::add16(high, L::template shiftRight16<kByteShift>(lowBiased));
    // q = (t + 128 + shifted) >> 8 = high + ((lowBiased + shifted) >> 8); that sum needs
    // 17 bits, so it is halved first: the rounding average minus the dropped odd bit.
    const V halfSum = L::sub16(L::average16(lowBiased, shifted),
                               L::bitAnd(L::bitXor(lowBiased, shifted), one));
    const V inner = L::add16(high, L::template shiftRight16<kHalvedShift>(halfSum));
    // a1*A + q never exceeds 65025: a1*A is at most a1*255 and q at most (255 - a1)*255.
    return simd::divide255<L>(L::add16(L::mulLow16(a, alpha1_), inner));
  }

 private:
  V alpha1_, weightLow_, weightHigh_;
};

template <class L, class Rule>
typename L::Vector composeGroup(const Rule& rule, typename L::Vector a, typename L::Vector b) {
  const typename L::Vector low = rule(L::interleaveLow8(a, L::zero()), L::interleaveLow8(b, L::zero()));
  const typename L::Vector high = rule(L::interleaveHigh8(a, L::zero()), L::interleaveHigh8(b, L::zero()));
  return L::narrow16(low, high);
}

// 4-byte pixels store their colour bytes only, after the sources of the group have been
// read, so byte 3 of dst stays as it was.
template <class L, bool plus, int pixelBytes>
void composeRow(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
                int alpha1, int alpha2) {
  const std::conditional_t<plus, PlusRule<L>, OverRule<L>> rule(alpha1, alpha2);
  std::size_t i = 0;
  for (; i + L::kBytes <= rowBytes; i += L::kBytes) {
    const typename L::Vector composed = composeGroup<L>(rule, L::load(src1 + i), L::load(src2 + i));
    if constexpr (pixelBytes == kPixelBytes3)
      L::store(dst + i, composed);
    else
      simd::storeColourBytes<L>(dst + i, composed);
  }
  const ComposeKernels& tails = integer::kComposeKernels;
  const ComposeRow tail = pixelBytes == kPixelBytes3 ? (plus ? tails.plus3 : tails.over3)
                                                     : (plus ? tails.plus4 : tails.over4);
  tail(src1 + i, src2 + i, dst + i, rowBytes - i, alpha1, alpha2);
}

// `plus` over the groups of a row, each group stored as keep(a, mixed): a the group of src1,
// mixed its `plus` with src2's; returns the first byte left for a tail kernel. When the
// alphas add up to 255, a byte mixed with an equal one stays as it is ((255 A) / 255 = A,
// exactly), so a group in which src2 equals src1 is src1, kept as keep keeps src1: most of
// a Strength mix, where the antialiasing left most pixels alone. In place (dst is src1)
// such a group is not even written.
template <class L, class Keep>
std::size_t plusGroupsPassingEqual(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
                                   int alpha1, int alpha2, Keep keep) {
  const PlusRule<L> rule(alpha1, alpha2);
  const bool equalsStay = alpha1 + alpha2 == kFull, inPlace = dst == src1;
  std::size_t i = 0;
  for (; i + L::kBytes <= rowBytes; i += L::kBytes) {
    const typename L::Vector a = L::load(src1 + i), b = L::load(src2 + i);
    if (!(equalsStay && L::same(a, b)))
      L::store(dst + i, keep(a, composeGroup<L>(rule, a, b)));
    else if (!inPlace)
      L::store(dst + i, a);
  }
  return i;
}

// `plus` on every byte of 3-byte pixels: the 24-bit Strength mix.
template <class L>
void plusRow3(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes, int alpha1,
              int alpha2) {
  using V = typename L::Vector;
  const std::size_t i =
      plusGroupsPassingEqual<L>(src1, src2, dst, rowBytes, alpha1, alpha2, [](V, V mixed) { return mixed; });
  integer::kComposeKernels.plus3(src1 + i, src2 + i, dst + i, rowBytes - i, alpha1, alpha2);
}

// `plus` on every byte, then byte 3 of each pixel put back from src1: the 32-bit Strength mix.
template <class L>
void crossFadeRow4(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes, int alpha1,
                   int alpha2) {
  using V = typename L::Vector;
  constexpr uint32_t kFourthByte = 0xFF000000u;  // byte 3 of a little-endian pixel word
  const V fourth = L::set32(kFourthByte);
  const std::size_t i = plusGroupsPassingEqual<L>(src1, src2, dst, rowBytes, alpha1, alpha2,
                                                  [&](V a, V mixed) { return L::select(fourth, a, mixed); });
  integer::kComposeKernels.crossFade4(src1 + i, src2 + i, dst + i, rowBytes - i, alpha1, alpha2);
}

template <class L>
constexpr ComposeKernels vectorComposeKernels() {
  return {composeRow<L, false, kPixelBytes3>, plusRow3<L>,
          composeRow<L, false, kPixelBytes4>, composeRow<L, true, kPixelBytes4>, crossFadeRow4<L>};
}

}  // namespace
}  // namespace qov::aa
