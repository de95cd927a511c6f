// Edge detection, one pixel at a time: the reference every vector kernel is tested against,
// and the path for processors without vector units.
#include <algorithm>

#include "effects/antialias/edge_chunks.h"
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

void detectRows(const uint8_t* image, std::ptrdiff_t imageStride, uint32_t pixelMask, uint8_t* edges, int width,
                int height, int rowBegin, int rowEnd, uint64_t* chunks, uint8_t* rightMasks) {
  for (int y = rowBegin; y < rowEnd; ++y) {
    detectRowSpan(image, imageStride, pixelMask, edges, width, height, y, 0, width);
    if (chunks != nullptr) markRowChunks(edges, width, y, 0, chunkRowOf(chunks, width, y));
    if (rightMasks != nullptr) markRowRightMasks(edges, width, y, 0, rightMasks);
  }
}

void markRowChunks(const uint8_t* edges, int width, int y, int first, uint64_t* rowChunks) {
  const Index row = static_cast<Index>(y) * width;
  for (int k = first; k * kChunkPixels < width; ++k) {
    const int x0 = k * kChunkPixels, x1 = std::min(width, x0 + kChunkPixels);
    uint32_t any = 0;
    for (int x = x0; x < x1; ++x) any |= loadWord(edges, row + x);
    const uint64_t bit = 1ull << (k % kBitsPerWord);
    uint64_t& word = rowChunks[k / kBitsPerWord];
    word = (any & kEdgeBits) != 0 ? word | bit : word & ~bit;
  }
  // No marks past the row's last chunk.
  const int chunks = (width + kChunkPixels - 1) / kChunkPixels;
  if (chunks % kBitsPerWord != 0) rowChunks[chunks / kBitsPerWord] &= (1ull << (chunks % kBitsPerWord)) - 1;
}

void markRowRightMasks(const uint8_t* edges, int width, int y, int first, uint8_t* rightMasks) {
  constexpr int kRightShift = 30;  // EDGE_RIGHT
  const Index row = static_cast<Index>(y) * width;
  for (int block = first; block * kBlockLines < width; ++block) {
    const int x0 = block * kBlockLines, x1 = std::min(width, x0 + kBlockLines);
    uint32_t mask = 0;
    for (int x = x0; x < x1; ++x) mask |= ((loadWord(edges, row + x) >> kRightShift) & 1u) << (x - x0);
    rightMasks[rightMaskIndex(width, y, block)] = static_cast<uint8_t>(mask);
  }
}

void detectRowSpan(const uint8_t* image, std::ptrdiff_t imageStride, uint32_t pixelMask, uint8_t* edges, int width,
                   int height, int y, int xBegin, int xEnd) {
  const uint8_t* row = image + y * imageStride;
  const uint8_t* below = y + 1 < height ? row + imageStride : nullptr;
  uint8_t* const out = edges + static_cast<Index>(y) * width * kBytesPerPixel;
  for (int x = xBegin; x < xEnd; ++x) storeWord(out, x, edgeWordOf(row, below, width, x, pixelMask));
}

}  // namespace detail::scalar
}  // namespace qov::aa
