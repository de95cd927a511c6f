// Edge detection with vectors, written once over a level's primitives L (Sse2, Avx2 or Neon of
// effects/simd/): kBytes / 4 pixels at a time, compared with as many below and with as many
// starting one pixel to the right (an unaligned load, so no transpose is needed). A row's
// last group overlaps the one before it, so that only its last pixel, which has no right
// neighbour, goes to the scalar path. Included by
// mlaa_detect_<level>.cpp only, after the level's header. Wider vectors than AVX2 would gain
// nothing: detection is bound by memory traffic.
#pragma once

#include <algorithm>
#include <type_traits>

#include "effects/antialias/edge_chunks.h"
#include "effects/antialias/mlaa_internal.h"

namespace qov::aa::detail {
namespace {

constexpr uint8_t kDiffBits = 0xF0;  // a byte difference of 16 or more has a high nibble

// All bits set in the lanes whose pixels differ by 16 or more in some byte.
template <class L>
typename L::Vector differ(typename L::Vector a, typename L::Vector b, typename L::Vector diffMask) {
  return L::test32(L::absoluteDifference8(a, b), diffMask);
}

template <class L>
void detectRowsWith(const uint8_t* image, std::ptrdiff_t imageStride, uint32_t pixelMask, uint8_t* edges, int width,
                    int height, int rowBegin, int rowEnd, uint64_t* chunks, uint8_t* rightMasks) {
  using V = typename L::Vector;
  constexpr int kLanes = static_cast<int>(L::kBytes) / kBytesPerPixel;
  const V diffMask = L::set8(kDiffBits);
  const V below = L::set32(EDGE_BELOW);
  const V right = L::set32(EDGE_RIGHT);
  const V keep = L::set32(~kEdgeBits);
  const V mask = L::set32(pixelMask);
  const auto at = [](auto* row, int x) { return row + static_cast<Index>(x) * kBytesPerPixel; };
  static_assert(kChunkPixels % kBlockLines == 0 && kBlockLines % kLanes == 0, "whole vectors to a chunk");
  // Vector groups need the pixel after the group for the right-hand comparison.
  const int vectorEnd = ((width - 1) / kLanes) * kLanes;
  // The last group whose pixel after it lies in the row, when pixels but the last are left.
  const int lastGroup = width - 1 - kLanes;
  const bool overlapping = lastGroup >= 0 && vectorEnd < width - 1;
  // The chunks whose vectors mark them; the rest are marked from their edge words.
  const int vectorChunks = chunks != nullptr ? vectorEnd / kChunkPixels : 0;
  for (int y = rowBegin; y < rowEnd; ++y) {
    const uint8_t* row = image + y * imageStride;
    const bool hasBelow = y + 1 < height;
    const uint8_t* next = hasBelow ? row + imageStride : row;
    uint8_t* const out = edges + static_cast<Index>(y) * width * kBytesPerPixel;
    uint64_t* const rowChunks = chunks != nullptr ? chunkRowOf(chunks, width, y) : nullptr;
    // The row's vector groups, compiled apart for rows with and without a row below; returns
    // the first pixel whose right mask is left to do.
    const auto vectorGroups = [&](auto hasRowBelow) {
      // The edge bits of the group at x, with its edge words stored.
      const auto detectGroup = [&](int x) {
        const V pixels = L::bitAnd(L::load(at(row, x)), mask);
        V flags = L::bitAnd(differ<L>(pixels, L::bitAnd(L::load(at(row, x + 1)), mask), diffMask), right);
        if constexpr (decltype(hasRowBelow)::value)
          flags = L::bitOr(flags, L::bitAnd(differ<L>(pixels, L::bitAnd(L::load(at(next, x)), mask), diffMask), below));
        L::store(at(out, x), L::bitOr(L::bitAnd(pixels, keep), flags));
        return flags;
      };
      // The groups of the column block at x (a multiple of 8), with its right mask stored;
      // returns their edge bits.
      const auto detectBlock = [&](int x) {
        V any = L::zero();
        uint32_t rightBits = 0;
        for (int i = 0; i < kBlockLines / kLanes; ++i) {
          const V flags = detectGroup(x + i * kLanes);
          any = L::bitOr(any, flags);
          rightBits |= L::signs32(L::template shiftLeft32<1>(flags)) << (i * kLanes);  // EDGE_RIGHT to the top bit
        }
        if (rightMasks != nullptr)
          rightMasks[rightMaskIndex(width, y, x / kBlockLines)] = static_cast<uint8_t>(rightBits);
        return any;
      };
      int x = 0;
      for (int k0 = 0; k0 < vectorChunks; k0 += kBitsPerWord) {
        uint64_t marks = 0;
        const int count = std::min(kBitsPerWord, vectorChunks - k0);
        for (int bit = 0; bit < count; ++bit) {
          V any = detectBlock(x);
          x += kBlockLines;
          for (int i = 1; i < kChunkPixels / kBlockLines; ++i, x += kBlockLines) any = L::bitOr(any, detectBlock(x));
          // Without a branch, which frames with fine texture would mispredict.
          marks |= static_cast<uint64_t>(!L::same(any, L::zero())) << bit;
        }
        rowChunks[k0 / kBitsPerWord] = marks;
      }
      for (; x + kBlockLines <= vectorEnd; x += kBlockLines) detectBlock(x);
      const int masked = x;
      for (; x < vectorEnd; x += kLanes) detectGroup(x);
      // The pixels left but the last, in one group that overlaps those done, which it writes
      // again as they were.
      if (overlapping) detectGroup(lastGroup);
      return masked;
    };
    const int masked = hasBelow ? vectorGroups(std::true_type{}) : vectorGroups(std::false_type{});
    scalar::detectRowSpan(image, imageStride, pixelMask, edges, width, height, y,
                          overlapping ? width - 1 : vectorEnd, width);
    if (chunks != nullptr) scalar::markRowChunks(edges, width, y, vectorChunks, rowChunks);
    if (rightMasks != nullptr) scalar::markRowRightMasks(edges, width, y, masked / kBlockLines, rightMasks);
  }
}

}  // namespace
}  // namespace qov::aa::detail
