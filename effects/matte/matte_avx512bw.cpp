// The AVX-512BW matte kernel: 32 pixels per step in two 64-byte vectors; the tail goes to the
// scalar kernel.
#include "effects/matte/matte_kernels.h"

#if QOV_MATTE_X86_KERNELS
#include <immintrin.h>

#include "effects/matte/matte_rule.h"
#include "effects/matte/matte_word_weights.h"

namespace qov::matte::avx512bw {
namespace {

constexpr size_t vectorBytes = 64;
constexpr size_t pixelsPerStep = 2 * vectorBytes / bytesPerPixel;
constexpr int byteBits = 8;
constexpr int32_t evenBytesOfPixel = 0x00FF00FF;
constexpr int32_t colourBytesOfPixel = 0x00FFFFFF;
// Ternary-logic truth table of (third ? first : second), bit by bit.
constexpr int bitSelect = 0xE4;
// GCC 12 warns about the undefined pass-through operand of the unmasked 512-bit shifts by an
// immediate; the zero-masked forms with every lane selected compile to the same instruction.
constexpr __mmask16 allLanes = 0xFFFF;

struct Constants {
  __m512i evenBytes, evenHigh, oddHigh, evenLow, oddLow, sumConstant, colourBytes, invertAll;
};

Constants makeConstants(const MatteSettings& s) {
  const MatteWordWeights w = matteWordWeights(s);
  return {_mm512_set1_epi32(evenBytesOfPixel),
          _mm512_set1_epi32(w.evenHigh),
          _mm512_set1_epi32(w.oddHigh),
          _mm512_set1_epi32(w.evenLow),
          _mm512_set1_epi32(w.oddLow),
          _mm512_set1_epi32(w.constant),
          _mm512_set1_epi32(colourBytesOfPixel),
          _mm512_set1_epi8(static_cast<char>(s.invertAll ? maskMax : 0))};
}

// floor(sum / 8) of the rule, unclamped, for the pixels of one vector.
inline __m512i shiftedSums(__m512i pixels, const Constants& k) {
  const __m512i even = _mm512_and_si512(pixels, k.evenBytes);  // blue, red words
  const __m512i odd = _mm512_srli_epi16(pixels, byteBits);     // green, alpha words
  const __m512i high =
      _mm512_add_epi32(_mm512_madd_epi16(even, k.evenHigh), _mm512_madd_epi16(odd, k.oddHigh));
  const __m512i low =
      _mm512_add_epi32(_mm512_madd_epi16(even, k.evenLow), _mm512_madd_epi16(odd, k.oddLow));
  const __m512i sum = _mm512_add_epi32(
      _mm512_add_epi32(_mm512_maskz_slli_epi32(allLanes, high, lowSplitBits), low), k.sumConstant);
  return _mm512_maskz_srai_epi32(allLanes, sum, maskShift);
}

}  // namespace

void applyMatte(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                size_t pixelCount, const MatteSettings& s) {
  const Constants k = makeConstants(s);
  const __m512i zero = _mm512_setzero_si512();
  size_t i = 0;
  for (; i + pixelsPerStep <= pixelCount; i += pixelsPerStep) {
    const size_t offset = i * bytesPerPixel;
    // Every input of the step is loaded before anything is stored (in-place processing).
    const __m512i maskA = _mm512_loadu_si512(reinterpret_cast<const __m512i*>(maskSource + offset));
    const __m512i maskB =
        _mm512_loadu_si512(reinterpret_cast<const __m512i*>(maskSource + offset + vectorBytes));
    const __m512i colourA =
        _mm512_loadu_si512(reinterpret_cast<const __m512i*>(colourSource + offset));
    const __m512i colourB =
        _mm512_loadu_si512(reinterpret_cast<const __m512i*>(colourSource + offset + vectorBytes));
    // The saturating packs are the clamp: to signed words (the sign survives), then to
    // unsigned bytes 0..255. 255 - m is m ^ 255 on that range.
    __m512i masks =
        _mm512_packus_epi16(_mm512_packs_epi32(shiftedSums(maskA, k), shiftedSums(maskB, k)), zero);
    masks = _mm512_xor_si512(masks, k.invertAll);
    // Spread the 32 mask bytes to byte 3 of their pixels. Packs and unpacks work within
    // each 16-byte quarter; unpacking undoes the packing's order, so pixels stay in place.
    const __m512i maskWords = _mm512_unpacklo_epi8(zero, masks);
    const __m512i alphaA = _mm512_unpacklo_epi16(zero, maskWords);
    const __m512i alphaB = _mm512_unpackhi_epi16(zero, maskWords);
    _mm512_storeu_si512(reinterpret_cast<__m512i*>(destination + offset),
                        _mm512_ternarylogic_epi32(colourA, alphaA, k.colourBytes, bitSelect));
    _mm512_storeu_si512(reinterpret_cast<__m512i*>(destination + offset + vectorBytes),
                        _mm512_ternarylogic_epi32(colourB, alphaB, k.colourBytes, bitSelect));
  }
  const size_t offset = i * bytesPerPixel;
  scalar::applyMatte(colourSource + offset, maskSource + offset, destination + offset,
                     pixelCount - i, s);
}

}  // namespace qov::matte::avx512bw
#endif
