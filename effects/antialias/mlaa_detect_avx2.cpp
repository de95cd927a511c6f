// Edge detection with 32-byte vectors: eight pixels at a time, compared with the eight below and
// with the eight starting one pixel to the right. The pixels whose right neighbour would lie
// past the row go to the scalar path.
#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include "effects/antialias/mlaa_internal.h"

namespace qov::aa::detail::avx2 {
namespace {

constexpr int kLanes = 8;

inline __m256i load(const uint8_t* base, Index index) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + index * kBytesPerPixel));
}

// All bits set in the lanes whose pixels differ by 16 or more in some byte.
inline __m256i differ(__m256i a, __m256i b, __m256i diffMask) {
  const __m256i absDiff = _mm256_or_si256(_mm256_subs_epu8(a, b), _mm256_subs_epu8(b, a));
  const __m256i same =
      _mm256_cmpeq_epi32(_mm256_and_si256(absDiff, diffMask), _mm256_setzero_si256());
  return _mm256_xor_si256(same, _mm256_set1_epi32(-1));
}

}  // namespace

void detectRows(const uint8_t* image, uint8_t* edges, int width, int height, int rowBegin,
                int rowEnd) {
  const __m256i diffMask = _mm256_set1_epi8(static_cast<char>(0xF0));
  const __m256i below = _mm256_set1_epi32(static_cast<int>(EDGE_BELOW));
  const __m256i right = _mm256_set1_epi32(static_cast<int>(EDGE_RIGHT));
  const __m256i keep = _mm256_set1_epi32(static_cast<int>(~kEdgeBits));
  // Vector groups need the pixel after the group for the right-hand comparison.
  const int vectorEnd = ((width - 1) / kLanes) * kLanes;
  for (int y = rowBegin; y < rowEnd; ++y) {
    const Index row = static_cast<Index>(y) * width;
    const bool hasBelow = y + 1 < height;
    int x = 0;
    for (; x < vectorEnd; x += kLanes) {
      const __m256i pixels = load(image, row + x);
      __m256i flags =
          _mm256_and_si256(differ(pixels, load(image, row + x + 1), diffMask), right);
      if (hasBelow)
        flags = _mm256_or_si256(
            flags,
            _mm256_and_si256(differ(pixels, load(image, row + x + width), diffMask), below));
      const __m256i words = _mm256_or_si256(_mm256_and_si256(pixels, keep), flags);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(edges + (row + x) * kBytesPerPixel), words);
    }
    scalar::detectRowSpan(image, edges, width, height, y, x, width);
  }
}

}  // namespace qov::aa::detail::avx2

#endif
