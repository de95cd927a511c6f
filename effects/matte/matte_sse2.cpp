// The SSE2 matte kernel: 8 pixels per step in two 16-byte vectors; the tail goes to the
// scalar kernel.
#include "effects/matte/matte_kernels.h"

#if QOV_MATTE_X86_KERNELS
#include <emmintrin.h>

#include "effects/matte/matte_rule.h"
#include "effects/matte/matte_word_weights.h"

namespace qov::matte::sse2 {
namespace {

constexpr size_t vectorBytes = 16;
constexpr size_t pixelsPerStep = 2 * vectorBytes / bytesPerPixel;
constexpr int byteBits = 8;
constexpr int32_t evenBytesOfPixel = 0x00FF00FF;
constexpr int32_t colourBytesOfPixel = 0x00FFFFFF;

struct Constants {
  __m128i evenBytes, evenHigh, oddHigh, evenLow, oddLow, sumConstant, colourBytes, invertAll;
};

Constants makeConstants(const MatteSettings& s) {
  const MatteWordWeights w = matteWordWeights(s);
  return {_mm_set1_epi32(evenBytesOfPixel),
          _mm_set1_epi32(w.evenHigh),
          _mm_set1_epi32(w.oddHigh),
          _mm_set1_epi32(w.evenLow),
          _mm_set1_epi32(w.oddLow),
          _mm_set1_epi32(w.constant),
          _mm_set1_epi32(colourBytesOfPixel),
          _mm_set1_epi8(static_cast<char>(s.invertAll ? maskMax : 0))};
}

// floor(sum / 8) of the rule, unclamped, for the pixels of one vector.
inline __m128i shiftedSums(__m128i pixels, const Constants& k) {
  const __m128i even = _mm_and_si128(pixels, k.evenBytes);  // blue, red words
  const __m128i odd = _mm_srli_epi16(pixels, byteBits);     // green, alpha words
  const __m128i high =
      _mm_add_epi32(_mm_madd_epi16(even, k.evenHigh), _mm_madd_epi16(odd, k.oddHigh));
  const __m128i low = _mm_add_epi32(_mm_madd_epi16(even, k.evenLow), _mm_madd_epi16(odd, k.oddLow));
  const __m128i sum =
      _mm_add_epi32(_mm_add_epi32(_mm_slli_epi32(high, lowSplitBits), low), k.sumConstant);
  return _mm_srai_epi32(sum, maskShift);
}

}  // namespace

void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteSettings& s) {
  const Constants k = makeConstants(s);
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0;
  for (; i + pixelsPerStep <= pixelCount; i += pixelsPerStep) {
    const size_t offset = i * bytesPerPixel;
    // Every input of the step is loaded before anything is stored (in-place processing).
    const __m128i maskA = _mm_loadu_si128(reinterpret_cast<const __m128i*>(maskSource + offset));
    const __m128i maskB =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(maskSource + offset + vectorBytes));
    const __m128i colourA =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(colourSource + offset));
    const __m128i colourB =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(colourSource + offset + vectorBytes));
    // The saturating packs are the clamp: to signed words (the sign survives), then to
    // unsigned bytes 0..255. 255 - m is m ^ 255 on that range.
    __m128i masks =
        _mm_packus_epi16(_mm_packs_epi32(shiftedSums(maskA, k), shiftedSums(maskB, k)), zero);
    masks = _mm_xor_si128(masks, k.invertAll);
    // Spread the 8 mask bytes to byte 3 of their pixels.
    const __m128i maskWords = _mm_unpacklo_epi8(zero, masks);
    const __m128i alphaA = _mm_unpacklo_epi16(zero, maskWords);
    const __m128i alphaB = _mm_unpackhi_epi16(zero, maskWords);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + offset),
                     _mm_or_si128(_mm_and_si128(colourA, k.colourBytes), alphaA));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(destination + offset + vectorBytes),
                     _mm_or_si128(_mm_and_si128(colourB, k.colourBytes), alphaB));
  }
  const size_t offset = i * bytesPerPixel;
  scalar::applyMatte(colourSource + offset, maskSource + offset, destination + offset,
                     pixelCount - i, s);
}

}  // namespace qov::matte::sse2
#endif
