// The composition with AVX2: 32 bytes per step, widened to 16-bit lanes, in the integer
// form of compose_levels.h; each row's tail goes to the integer row kernels.
#include "effects/antialias/compose_levels.h"

#if QOV_COMPOSE_X86
#if !defined(__AVX2__)
#error "compose_avx2.cpp must be compiled for AVX2 (qov_simd_source)"
#endif

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace qov::aa::avx2 {
namespace {

constexpr std::size_t kGroupBytes = 32;
constexpr int kFull = 255;
constexpr int kFullSquared = 65025;  // largest sum the quotient formula divides exactly
constexpr int kHalf = 128;
constexpr int kByteShift = 8;
constexpr int kLowByteMask = 0xFF;
constexpr int kHalvedShift = kByteShift - 1;
constexpr uint32_t kAlphaByteMask = 0xFF000000u;  // byte 3 of a little-endian pixel

__m256i set16(int value) { return _mm256_set1_epi16(static_cast<short>(value)); }

// round(x / 255) per lane for x in 0..65025: (x + 128 + ((x + 128) >> 8)) >> 8, where
// every intermediate stays below 2^16.
__m256i quotient255(__m256i x) {
  const __m256i biased = _mm256_add_epi16(x, set16(kHalf));
  return _mm256_srli_epi16(_mm256_add_epi16(biased, _mm256_srli_epi16(biased, kByteShift)), kByteShift);
}

class PlusRule {
 public:
  PlusRule(int alpha1, int alpha2)
      : alpha1_(set16(alpha1)), alpha2_(set16(alpha2)), limit_(set16(kFullSquared)) {}

  // a1*A + a2*B reaches 130050 when the alphas add up to more than 255. The saturating
  // add stops at 65535 and the clamp brings that to 65025, whose quotient is already 255.
  __m256i operator()(__m256i a, __m256i b) const {
    __m256i sum = _mm256_adds_epu16(_mm256_mullo_epi16(a, alpha1_), _mm256_mullo_epi16(b, alpha2_));
    sum = _mm256_sub_epi16(sum, _mm256_subs_epu16(sum, limit_));
    return quotient255(sum);
  }

 private:
  __m256i alpha1_, alpha2_, limit_;
};

class OverRule {
 public:
  // The inner product t = B*(255 - a1)*a2 needs 24 bits. Its weight is split into bytes,
  // weight = 256*high + low, so that t = 256*(B*high) + B*low with 16-bit products.
  OverRule(int alpha1, int alpha2)
      : alpha1_(set16(alpha1)),
        weightLow_(set16(((kFull - alpha1) * alpha2) & kLowByteMask)),
        weightHigh_(set16(((kFull - alpha1) * alpha2) >> kByteShift)) {}

  __m256i operator()(__m256i a, __m256i b) const {
    const __m256i one = set16(1);
    const __m256i high = _mm256_mullo_epi16(b, weightHigh_);
    const __m256i lowBiased = _mm256_add_epi16(_mm256_mullo_epi16(b, weightLow_), set16(kHalf));
    // (t + 128) >> 8, below 65025.
    const __m256i shifted = _mm256_add_epi16(high, _mm256_srli_epi16(lowBiased, kByteShift));
    // q = (t + 128 + shifted) >> 8 = high + ((lowBiased + shifted) >> 8); that sum needs
    // 17 bits, so it is halved first: the rounding average minus the dropped odd bit.
    const __m256i halfSum = _mm256_sub_epi16(_mm256_avg_epu16(lowBiased, shifted),
                                          _mm256_and_si256(_mm256_xor_si256(lowBiased, shifted), one));
    const __m256i inner = _mm256_add_epi16(high, _mm256_srli_epi16(halfSum, kHalvedShift));
    // a1*A + q never exceeds 65025: a1*A is at most a1*255 and q at most (255 - a1)*255.
    return quotient255(_mm256_add_epi16(_mm256_mullo_epi16(a, alpha1_), inner));
  }

 private:
  __m256i alpha1_, weightLow_, weightHigh_;
};

// Unpacking and packing both work within 128-bit halves, so the bytes come back in order.
template <class Rule>
__m256i composeGroup(const Rule& rule, __m256i a, __m256i b) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i low = rule(_mm256_unpacklo_epi8(a, zero), _mm256_unpacklo_epi8(b, zero));
  const __m256i high = rule(_mm256_unpackhi_epi8(a, zero), _mm256_unpackhi_epi8(b, zero));
  return _mm256_packus_epi16(low, high);
}

__m256i load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
void store(uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

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
  const __m256i alphaBytes = _mm256_set1_epi32(static_cast<int>(kAlphaByteMask));
  std::size_t i = 0;
  for (; i + kGroupBytes <= rowBytes; i += kGroupBytes) {
    const __m256i composed = composeGroup(rule, load(src1 + i), load(src2 + i));
    const __m256i kept = _mm256_and_si256(alphaBytes, load(dst + i));
    store(dst + i, _mm256_or_si256(_mm256_andnot_si256(alphaBytes, composed), kept));
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

}  // namespace qov::aa::avx2

#endif  // QOV_COMPOSE_X86
