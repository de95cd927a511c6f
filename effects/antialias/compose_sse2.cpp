// The composition with SSE2: 16 bytes per step, widened to 16-bit lanes, in the integer
// form of compose_levels.h; each row's tail goes to the integer row kernels.
#include "effects/antialias/compose_levels.h"

#if QOV_COMPOSE_X86
#if !defined(__SSE2__)
#error "compose_sse2.cpp must be compiled for SSE2 (qov_simd_source)"
#endif

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>

namespace qov::aa::sse2 {
namespace {

constexpr std::size_t kGroupBytes = 16;
constexpr int kFull = 255;
constexpr int kFullSquared = 65025;  // largest sum the quotient formula divides exactly
constexpr int kHalf = 128;
constexpr int kByteShift = 8;
constexpr int kLowByteMask = 0xFF;
constexpr int kHalvedShift = kByteShift - 1;
constexpr uint32_t kAlphaByteMask = 0xFF000000u;  // byte 3 of a little-endian pixel

__m128i set16(int value) { return _mm_set1_epi16(static_cast<short>(value)); }

// round(x / 255) per lane for x in 0..65025: (x + 128 + ((x + 128) >> 8)) >> 8, where
// every intermediate stays below 2^16.
__m128i quotient255(__m128i x) {
  const __m128i biased = _mm_add_epi16(x, set16(kHalf));
  return _mm_srli_epi16(_mm_add_epi16(biased, _mm_srli_epi16(biased, kByteShift)), kByteShift);
}

class PlusRule {
 public:
  PlusRule(int alpha1, int alpha2)
      : alpha1_(set16(alpha1)), alpha2_(set16(alpha2)), limit_(set16(kFullSquared)) {}

  // a1*A + a2*B reaches 130050 when the alphas add up to more than 255. The saturating
  // add stops at 65535 and the clamp brings that to 65025, whose quotient is already 255.
  __m128i operator()(__m128i a, __m128i b) const {
    __m128i sum = _mm_adds_epu16(_mm_mullo_epi16(a, alpha1_), _mm_mullo_epi16(b, alpha2_));
    sum = _mm_sub_epi16(sum, _mm_subs_epu16(sum, limit_));
    return quotient255(sum);
  }

 private:
  __m128i alpha1_, alpha2_, limit_;
};

class OverRule {
 public:
  // The inner product t = B*(255 - a1)*a2 needs 24 bits. Its weight is split into bytes,
  // weight = 256*high + low, so that t = 256*(B*high) + B*low with 16-bit products.
  OverRule(int alpha1, int alpha2)
      : alpha1_(set16(alpha1)),
        weightLow_(set16(((kFull - alpha1) * alpha2) & kLowByteMask)),
        weightHigh_(set16(((kFull - alpha1) * alpha2) >> kByteShift)) {}

  __m128i operator()(__m128i a, __m128i b) const {
    const __m128i one = set16(1);
    const __m128i high = _mm_mullo_epi16(b, weightHigh_);
    const __m128i lowBiased = _mm_add_epi16(_mm_mullo_epi16(b, weightLow_), set16(kHalf));
    // (t + 128) >> 8, below 65025.
    const __m128i shifted = _mm_add_epi16(high, _mm_srli_epi16(lowBiased, kByteShift));
    // q = (t + 128 + shifted) >> 8 = high + ((lowBiased + shifted) >> 8); that sum needs
    // 17 bits, so it is halved first: the rounding average minus the dropped odd bit.
    const __m128i halfSum = _mm_sub_epi16(_mm_avg_epu16(lowBiased, shifted),
                                          _mm_and_si128(_mm_xor_si128(lowBiased, shifted), one));
    const __m128i inner = _mm_add_epi16(high, _mm_srli_epi16(halfSum, kHalvedShift));
    // a1*A + q never exceeds 65025: a1*A is at most a1*255 and q at most (255 - a1)*255.
    return quotient255(_mm_add_epi16(_mm_mullo_epi16(a, alpha1_), inner));
  }

 private:
  __m128i alpha1_, weightLow_, weightHigh_;
};

template <class Rule>
__m128i composeGroup(const Rule& rule, __m128i a, __m128i b) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i low = rule(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero));
  const __m128i high = rule(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero));
  return _mm_packus_epi16(low, high);
}

__m128i load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void store(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

template <class Rule, ComposeRow tail>
void row3(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
          int alpha1, int alpha2) {
  const Rule rule(alpha1, alpha2);
  std::size_t i = 0;
  for (; i + kGroupBytes <= rowBytes; i += kGroupBytes)
    store(dst + i, composeGroup(rule, load(src1 + i), load(src2 + i)));
  tail(src1 + i, src2 + i, dst + i, rowBytes - i, alpha1, alpha2);
}

// Byte 3 of each pixel is stored back as read from dst in the same group, after the
// sources of the group have been read.
template <class Rule, ComposeRow tail>
void row4(const uint8_t* src1, const uint8_t* src2, uint8_t* dst, std::size_t rowBytes,
          int alpha1, int alpha2) {
  const Rule rule(alpha1, alpha2);
  const __m128i alphaBytes = _mm_set1_epi32(static_cast<int>(kAlphaByteMask));
  std::size_t i = 0;
  for (; i + kGroupBytes <= rowBytes; i += kGroupBytes) {
    const __m128i composed = composeGroup(rule, load(src1 + i), load(src2 + i));
    const __m128i kept = _mm_and_si128(alphaBytes, load(dst + i));
    store(dst + i, _mm_or_si128(_mm_andnot_si128(alphaBytes, composed), kept));
  }
  tail(src1 + i, src2 + i, dst + i, rowBytes - i, alpha1, alpha2);
}

constexpr ComposeRowKernels kRows3{row3<OverRule, integer::overRow3>,
                                   row3<PlusRule, integer::plusRow3>};
constexpr ComposeRowKernels kRows4{row4<OverRule, integer::overRow4>,
                                   row4<PlusRule, integer::plusRow4>};

}  // namespace

int composeConstAlpha3(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind) {
  return composeRows(src1, src1Step, alpha1, src2, src2Step, alpha2, dst, dstStep, width,
                     height, kind, kPixelBytes3, kRows3);
}

int composeConstAlpha4(const uint8_t* src1, int src1Step, uint8_t alpha1,
                       const uint8_t* src2, int src2Step, uint8_t alpha2,
                       uint8_t* dst, int dstStep, int width, int height, int kind) {
  return composeRows(src1, src1Step, alpha1, src2, src2Step, alpha2, dst, dstStep, width,
                     height, kind, kPixelBytes4, kRows4);
}

}  // namespace qov::aa::sse2

#endif  // QOV_COMPOSE_X86
