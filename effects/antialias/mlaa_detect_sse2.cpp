// Edge detection with 16-byte vectors: four pixels at a time, compared with the four below and
// with the four starting one pixel to the right (an unaligned load, so no transpose is needed).
// The pixels whose right neighbour would lie past the row go to the scalar path.
#if defined(__i386__) || defined(__x86_64__)

#include <emmintrin.h>

#include "effects/antialias/mlaa_internal.h"

namespace qov::aa::detail::sse2 {
namespace {

constexpr int kLanes = 4;

inline __m128i load(const uint8_t* base, Index index) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + index * kBytesPerPixel));
}

// All bits set in the lanes whose pixels differ by 16 or more in some byte.
inline __m128i differ(__m128i a, __m128i b, __m128i diffMask) {
  const __m128i absDiff = _mm_or_si128(_mm_subs_epu8(a, b), _mm_subs_epu8(b, a));
  const __m128i same = _mm_cmpeq_epi32(_mm_and_si128(absDiff, diffMask), _mm_setzero_si128());
  return _mm_xor_si128(same, _mm_set1_epi32(-1));
}

}  // namespace

void detectRows(const uint8_t* image, uint8_t* edges, int width, int height, int rowBegin,
                int rowEnd) {
  const __m128i diffMask = _mm_set1_epi8(static_cast<char>(0xF0));
  const __m128i below = _mm_set1_epi32(static_cast<int>(EDGE_BELOW));
  const __m128i right = _mm_set1_epi32(static_cast<int>(EDGE_RIGHT));
  const __m128i keep = _mm_set1_epi32(static_cast<int>(~kEdgeBits));
  // Vector groups need the pixel after the group for the right-hand comparison.
  const int vectorEnd = ((width - 1) / kLanes) * kLanes;
  for (int y = rowBegin; y < rowEnd; ++y) {
    const Index row = static_cast<Index>(y) * width;
    const bool hasBelow = y + 1 < height;
    int x = 0;
    for (; x < vectorEnd; x += kLanes) {
      const __m128i pixels = load(image, row + x);
      __m128i flags = _mm_and_si128(differ(pixels, load(image, row + x + 1), diffMask), right);
      if (hasBelow)
        flags = _mm_or_si128(flags,
                             _mm_and_si128(differ(pixels, load(image, row + x + width), diffMask),
                                           below));
      const __m128i words = _mm_or_si128(_mm_and_si128(pixels, keep), flags);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(edges + (row + x) * kBytesPerPixel), words);
    }
    scalar::detectRowSpan(image, edges, width, height, y, x, width);
  }
}

}  // namespace qov::aa::detail::sse2

#endif
