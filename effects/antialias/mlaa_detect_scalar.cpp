// Edge detection, one pixel at a time: the reference every vector kernel is tested against,
// and the path for processors without vector units.
#include "effects/antialias/mlaa_internal.h"

namespace qov::aa {

namespace {
constexpr uint32_t kDiffMask = 0xF0u;  // a byte difference of 16 or more has a high nibble
}

bool pixelsDiffer(uint32_t a, uint32_t b) {
  for (int c = 0; c < detail::kBytesPerPixel; ++c) {
    const int ac = detail::channel(a, c);
    const int bc = detail::channel(b, c);
    const uint32_t diff = static_cast<uint32_t>(ac > bc ? ac - bc : bc - ac);
    if (diff & kDiffMask) return true;
  }
  return false;
}

namespace detail::scalar {

void detectRows(const uint8_t* image, uint8_t* edges, int width, int height, int rowBegin,
                int rowEnd) {
  for (int y = rowBegin; y < rowEnd; ++y) detectRowSpan(image, edges, width, height, y, 0, width);
}

void detectRowSpan(const uint8_t* image, uint8_t* edges, int width, int height, int y,
                   int xBegin, int xEnd) {
  const Index row = static_cast<Index>(y) * width;
  for (int x = xBegin; x < xEnd; ++x)
    storeWord(edges, row + x, edgeWordOf(image, width, height, x, y));
}

}  // namespace detail::scalar
}  // namespace qov::aa
