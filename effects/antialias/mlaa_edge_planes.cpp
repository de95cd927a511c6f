// The edge planes of a frame: their layout in memory, and the column sets made from the row
// sets by transposing blocks of 64 x 64 bits.
#include <cstdint>
#include <cstring>

#include "effects/antialias/mlaa_internal.h"

namespace qov::aa::detail {
namespace {

constexpr int kBlockBits = 64;
constexpr int kPlanes = 4;
// A line's set: its bits, and a zero word after the last one (reads may go one word past).
constexpr Index kPaddingWords = 1;

Index wordsFor(int pixels) { return (static_cast<Index>(pixels) + kBlockBits - 1) / kBlockBits + kPaddingWords; }

// Transposes a 64 x 64 bit matrix in place: bit c of block[r] and bit r of block[c] trade
// places. Each round swaps the off-diagonal quarters of blocks half the size of the last.
void transpose64(uint64_t block[kBlockBits]) {
  uint64_t mask = 0x00000000FFFFFFFFull;
  for (int j = kBlockBits / 2; j != 0; j >>= 1, mask ^= mask << j) {
    for (int k = 0; k < kBlockBits; k = ((k | j) + 1) & ~j) {
      const uint64_t t = ((block[k] >> j) ^ block[k | j]) & mask;
      block[k] ^= t << j;
      block[k | j] ^= t;
    }
  }
}

void transposePlane(const uint64_t* rows, Index rowWords, uint64_t* columns, Index columnWords, int width, int height,
                    int group) {
  const int x0 = group * kBlockBits;
  const int columnsHere = width - x0 < kBlockBits ? width - x0 : kBlockBits;
  for (int y0 = 0; y0 < height; y0 += kBlockBits) {
    uint64_t block[kBlockBits];
    const int rowsHere = height - y0 < kBlockBits ? height - y0 : kBlockBits;
    for (int r = 0; r < kBlockBits; ++r) block[r] = r < rowsHere ? rows[(y0 + r) * rowWords + group] : 0;
    transpose64(block);
    for (int c = 0; c < columnsHere; ++c) columns[(x0 + c) * columnWords + y0 / kBlockBits] = block[c];
  }
  for (int c = 0; c < columnsHere; ++c)
    std::memset(columns + (x0 + c) * columnWords + (columnWords - kPaddingWords), 0, kPaddingWords * sizeof(uint64_t));
}

}  // namespace

std::size_t edgePlaneWords(int width, int height) {
  if (width < 1 || height < 1) return 0;
  const auto rowPart = static_cast<std::size_t>(wordsFor(width)) * static_cast<std::size_t>(height);
  const auto columnPart = static_cast<std::size_t>(wordsFor(height)) * static_cast<std::size_t>(width);
  const std::size_t limit = SIZE_MAX / sizeof(uint64_t) / kPlanes;
  if (rowPart > limit / 2 || columnPart > limit / 2) return 0;
  return 2 * rowPart + 2 * columnPart;
}

EdgePlanes edgePlanesIn(uint64_t* words, int width, int height) {
  EdgePlanes planes;
  planes.rowWords = wordsFor(width);
  planes.columnWords = wordsFor(height);
  const Index rowPart = planes.rowWords * height, columnPart = planes.columnWords * width;
  planes.below = words;
  planes.right = words + rowPart;
  planes.belowT = words + 2 * rowPart;
  planes.rightT = words + 2 * rowPart + columnPart;
  return planes;
}

void transposeEdgePlanes(const EdgePlanes& planes, int width, int height, int groupBegin, int groupEnd) {
  for (int group = groupBegin; group < groupEnd && group * kBlockBits < width; ++group) {
    transposePlane(planes.below, planes.rowWords, planes.belowT, planes.columnWords, width, height, group);
    transposePlane(planes.right, planes.rowWords, planes.rightT, planes.columnWords, width, height, group);
  }
}

}  // namespace qov::aa::detail
