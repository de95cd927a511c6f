// The AVX2 matte kernel: 16 pixels per step in two 32-byte vectors; the tail goes to the
// scalar kernel.
#include "effects/matte/matte_kernels.h"

#if QOV_MATTE_X86_KERNELS
#include <immintrin.h>

#include "effects/matte/matte_rule.h"
#include "effects/matte/matte_word_weights.h"

namespace qov::matte::avx2 {
namespace {

constexpr size_t vectorBytes = 32;
constexpr size_t pixelsPerStep = 2 * vectorBytes / bytesPerPixel;
constexpr int byteBits = 8;
constexpr int32_t evenBytesOfPixel = 0x00FF00FF;
constexpr int32_t colourBytesOfPixel = 0x00FFFFFF;

struct Constants {
  __m256i evenBytes, evenHigh, oddHigh, evenLow, oddLow, sumConstant, colourBytes, invertAll;
};

Constants makeConstants(const MatteSettings& s) {
  const MatteWordWeights w = matteWordWeights(s);
  return {_mm256_set1_epi32(evenBytesOfPixel),
          _mm256_set1_epi32(w.evenHigh),
          _mm256_set1_epi32(w.oddHigh),
          _mm256_set1_epi32(w.evenLow),
          _mm256_set1_epi32(w.oddLow),
          _mm256_set1_epi32(w.constant),
          _mm256_set1_epi32(colourBytesOfPixel),
          _mm256_set1_epi8(static_cast<char>(s.invertAll ? maskMax : 0))};
}

// floor(sum / 8) of the rule, unclamped, for the pixels of one vector.
inline __m256i shiftedSums(__m256i pixels, const Constants& k) {
  const __m256i even = _mm256_and_si256(pixels, k.evenBytes);  // blue, red words
  const __m256i odd = _mm256_srli_epi16(pixels, byteBits);     // green, alpha words
  const __m256i high =
      _mm256_add_epi32(_mm256_madd_epi16(even, k.evenHigh), _mm256_madd_epi16(odd, k.oddHigh));
  const __m256i low =
      _mm256_add_epi32(_mm256_madd_epi16(even, k.evenLow), _mm256_madd_epi16(odd, k.oddLow));
  const __m256i sum =
      _mm256_add_epi32(_mm256_add_epi32(_mm256_slli_epi32(high, lowSplitBits), low), k.sumConstant);
  return _mm256_srai_epi32(sum, maskShift);
}

}  // namespace

void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteSettings& s) {
  const Constants k = makeConstants(s);
  const __m256i zero = _mm256_setzero_si256();
  size_t i = 0;
  for (; i + pixelsPerStep <= pixelCount; i += pixelsPerStep) {
    const size_t offset = i * bytesPerPixel;
    // Every input of the step is loaded before anything is stored (in-place processing).
    const __m256i maskA = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(maskSource + offset));
    const __m256i maskB =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(maskSource + offset + vectorBytes));
    const __m256i colourA =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colourSource + offset));
    const __m256i colourB =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(colourSource + offset + vectorBytes));
    // The saturating packs are the clamp: to signed words (the sign survives), then to
    // unsigned bytes 0..255. 255 - m is m ^ 255 on that range.
    __m256i masks =
        _mm256_packus_epi16(_mm256_packs_epi32(shiftedSums(maskA, k), shiftedSums(maskB, k)), zero);
    masks = _mm256_xor_si256(masks, k.invertAll);
    // Spread the 16 mask bytes to byte 3 of their pixels. Packs and unpacks work within
    // each 16-byte half; unpacking undoes the packing's order, so pixels stay in place.
    const __m256i maskWords = _mm256_unpacklo_epi8(zero, masks);
    const __m256i alphaA = _mm256_unpacklo_epi16(zero, maskWords);
    const __m256i alphaB = _mm256_unpackhi_epi16(zero, maskWords);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + offset),
                        _mm256_or_si256(_mm256_and_si256(colourA, k.colourBytes), alphaA));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(destination + offset + vectorBytes),
                        _mm256_or_si256(_mm256_and_si256(colourB, k.colourBytes), alphaB));
  }
  const size_t offset = i * bytesPerPixel;
  scalar::applyMatte(colourSource + offset, maskSource + offset, destination + offset,
                     pixelCount - i, s);
}

}  // namespace qov::matte::avx2
#endif
