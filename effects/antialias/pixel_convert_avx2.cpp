// The conversions with AVX2: eight pixels per step, each 128-bit half of a register
// shuffling four pixels in place (a byte shuffle cannot cross the halves), and for packing a
// permutation of 32-bit words that closes the gap between the halves. The rest of a span goes
// to the scalar level.
#include "effects/simd/simd.h"

#if QOV_SIMD_X86
#include <immintrin.h>

#include "effects/antialias/pixel_convert.h"

namespace qov::aa::avx2 {
namespace {

constexpr std::size_t kStep = 8;  // pixels per step
constexpr char kZero = static_cast<char>(0x80);  // a shuffle index that writes 0
// Expanding reads 16 bytes at the fourth pixel of a step, 4 past the step's last byte: a
// step runs only while the span has that many bytes left, i.e. 10 pixels from its start.
constexpr std::size_t kExpandReach = 10;

void expand3(const uint8_t* packed, uint8_t* work, std::size_t count) {
  const __m256i spread = _mm256_setr_epi8(0, 1, 2, kZero, 3, 4, 5, kZero, 6, 7, 8, kZero, 9, 10, 11, kZero,  //
                                          0, 1, 2, kZero, 3, 4, 5, kZero, 6, 7, 8, kZero, 9, 10, 11, kZero);
  std::size_t i = 0;
  for (; i + kExpandReach <= count; i += kStep) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(packed + 3 * i));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(packed + 3 * i + 12));
    const __m256i both = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(work + 4 * i), _mm256_shuffle_epi8(both, spread));
  }
  scalar::kConvertKernels.expand3(packed + 3 * i, work + 4 * i, count - i);
}

void pack3(const uint8_t* work, uint8_t* packed, std::size_t count) {
  const __m256i gather = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, kZero, kZero, kZero, kZero,  //
                                          0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, kZero, kZero, kZero, kZero);
  const __m256i closeGap = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  std::size_t i = 0;
  for (; i + kStep <= count; i += kStep) {
    const __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(work + 4 * i));
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(pixels, gather), closeGap);
    // 24 bytes: 16, then 8.
    _mm_storeu_si128(reinterpret_cast<__m128i*>(packed + 3 * i), _mm256_castsi256_si128(bytes));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(packed + 3 * i + 16), _mm256_extracti128_si256(bytes, 1));
  }
  scalar::kConvertKernels.pack3(work + 4 * i, packed + 3 * i, count - i);
}

}  // namespace

const ConvertKernels kConvertKernels{expand3, pack3};

}  // namespace qov::aa::avx2
#endif
