// The blending passes: blocks of lines, runs of edge pixels on each line, and the choice of
// blends for each run. Within a block everything runs in a fixed order, because every blend
// works in place and later blends read what earlier ones wrote; mlaa.cpp says which blocks
// may run side by side.
#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "effects/antialias/mlaa_internal.h"

namespace qov::aa::detail {
namespace {

// Runs are found in bit sets of the pass bits of a line, one bit per pixel, 64 per word, so
// that stretches without runs are skipped a word at a time. The edge words never change while
// the passes run (the blends write the image only), so the sets can be gathered up front.
// Lines longer than the sets can hold are walked word by word instead.
constexpr int kBitsPerWord = 64;
constexpr int kMaxBitsetPixels = 8192;  // rows of 4K and 8K video, columns of 4K
constexpr int kBitsetWords = kMaxBitsetPixels / kBitsPerWord;
constexpr int kRowsPerGather = 16;  // rows whose masks of a column block are transposed at once

using LineBits = uint64_t[kBitsetWords];

inline int lowestSetBit(uint64_t word) { return __builtin_ctzll(word); }

// The first set bit at or after `from` and below `limit`, or `limit`. Bits at or beyond
// `limit` in the last word are zero.
int nextSetBit(const uint64_t* bits, int from, int limit) {
  if (from >= limit) return limit;
  int w = from / kBitsPerWord;
  const int lastWord = (limit - 1) / kBitsPerWord;
  uint64_t word = bits[w] & (~0ull << (from % kBitsPerWord));
  while (word == 0) {
    if (++w > lastWord) return limit;
    word = bits[w];
  }
  return w * kBitsPerWord + lowestSetBit(word);
}

// The first clear bit at or after `from`, at most `limit` (the zero bits past the line stop
// the search there).
int nextClearBit(const uint64_t* bits, int from, int limit) {
  if (from >= limit) return limit;
  int w = from / kBitsPerWord;
  uint64_t word = ~bits[w] & (~0ull << (from % kBitsPerWord));
  while (word == 0) word = ~bits[++w];
  return std::min(w * kBitsPerWord + lowestSetBit(word), limit);
}

// Handles the runs of a line of `length` pixels, first, first + alongStep, ..., whose pass
// bits are `bits`, in order along the line.
void blendLineRuns(const LineGeometry& g, Index first, int length, const uint64_t* bits,
                   uint32_t flags) {
  for (int k = nextSetBit(bits, 0, length); k < length;) {
    const int last = nextClearBit(bits, k + 1, length) - 1;
    handleRun(g, first, first + k * g.alongStep, first + last * g.alongStep, flags);
    k = nextSetBit(bits, last + 1, length);
  }
}

// EDGE_BELOW of the pixels of one row, into bits[0 .. ceil(width / 64)).
void gatherRowBits(const uint8_t* edges, Index first, int width, uint64_t* bits) {
  int x = 0;
  for (int w = 0; w * kBitsPerWord < width; ++w) {
    uint64_t word = 0;
    int bit = 0;
#if defined(__SSE2__)
    // EDGE_BELOW is the sign bit: saturating packs keep the signs of 16 words in 16 bytes.
    constexpr int kWordsPerStep = 16;
    for (; bit < kBitsPerWord && x + kWordsPerStep <= width;
         bit += kWordsPerStep, x += kWordsPerStep) {
      const auto load = [&](int k) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(
            edges + (first + x + 4 * k) * kBytesPerPixel));
      };
      const __m128i signs = _mm_packs_epi16(_mm_packs_epi32(load(0), load(1)),
                                            _mm_packs_epi32(load(2), load(3)));
      word |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(signs)) & 0xFFFFu)
              << bit;
    }
#endif
    for (; bit < kBitsPerWord && x < width; ++bit, ++x)
      word |= static_cast<uint64_t>(loadWord(edges, first + x) >> 31) << bit;
    bits[w] = word;
  }
}

// EDGE_RIGHT of `count` columns (at most 8) from column x0, rows y0 .. y0 + 15 (those in
// the frame; y0 a multiple of 16): column c's 16 bits go into the bit-set word out[c * stride]
// (which they start when y0 is a multiple of 64). Each row's bits of the block are gathered
// into one byte first; the 16 bytes are then turned into 16 bits per column.
void gatherColumnGroup(const uint8_t* edges, int width, int height, int x0, int count, int y0,
                       uint64_t* out, Index stride) {
  constexpr int kRightShift = 30;  // EDGE_RIGHT
  alignas(16) uint8_t rowMasks[kRowsPerGather] = {};
  const int rows = std::min(kRowsPerGather, height - y0);
  int r = 0;
#if defined(__SSE2__)
  if (count == kBlockLines && x0 + kBlockLines <= width) {
    // Two rows at a time: EDGE_RIGHT is moved to the sign bit, and saturating packs keep
    // the signs of the 16 words in 16 bytes, row y0 + r in the low 8, the next in the high.
    const auto rightAsSign = [&](int row, int k) {
      const Index index = static_cast<Index>(y0 + row) * width + x0 + 4 * k;
      return _mm_slli_epi32(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(edges + index * kBytesPerPixel)), 1);
    };
    for (; r + 1 < rows; r += 2) {
      const __m128i signs =
          _mm_packs_epi16(_mm_packs_epi32(rightAsSign(r, 0), rightAsSign(r, 1)),
                          _mm_packs_epi32(rightAsSign(r + 1, 0), rightAsSign(r + 1, 1)));
      const auto pair = static_cast<uint32_t>(_mm_movemask_epi8(signs));
      rowMasks[r] = static_cast<uint8_t>(pair);
      rowMasks[r + 1] = static_cast<uint8_t>(pair >> 8);
    }
  }
#endif
  for (; r < rows; ++r) {
    const Index row = static_cast<Index>(y0 + r) * width + x0;
    uint32_t mask = 0;
    for (int c = 0; c < count; ++c) mask |= ((loadWord(edges, row + c) >> kRightShift) & 1u) << c;
    rowMasks[r] = static_cast<uint8_t>(mask);
  }
  const int shift = y0 % kBitsPerWord;
#if defined(__SSE2__)
  // Adding a byte to itself moves each bit up by one without crossing into the next byte,
  // so bit 7 of every byte walks through the columns 7, 6, ..., 0.
  __m128i masks = _mm_load_si128(reinterpret_cast<const __m128i*>(rowMasks));
  for (int c = kBlockLines - 1; c >= 0; --c) {
    const auto column = static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(masks)));
    if (c < count) out[c * stride] = (shift == 0 ? 0 : out[c * stride]) | (column << shift);
    masks = _mm_add_epi8(masks, masks);
  }
#else
  for (int c = 0; c < count; ++c) {
    uint64_t column = 0;
    for (int r = 0; r < kRowsPerGather; ++r)
      column |= static_cast<uint64_t>((rowMasks[r] >> c) & 1u) << r;
    out[c * stride] = (shift == 0 ? 0 : out[c * stride]) | (column << shift);
  }
#endif
}

// EDGE_RIGHT of `count` columns (at most 8) from column x0, all rows: column c's bits go to
// bits[c].
void gatherColumnBits(const uint8_t* edges, int width, int height, int x0, int count,
                      LineBits* bits) {
  for (int y0 = 0; y0 < height; y0 += kRowsPerGather)
    gatherColumnGroup(edges, width, height, x0, count, y0, &bits[0][y0 / kBitsPerWord],
                      kBitsetWords);
}

// The first index in [from, last] of a line whose edge word has the pass bit, or past last.
Index nextPassBitOnLine(const LineGeometry& g, Index from, Index last) {
  Index i = from;
  while (i <= last && !(loadWord(g.edges, i) & g.passBit)) i += g.alongStep;
  return i;
}

// Finds and handles the runs of one line, first to last (inclusive, alongStep apart), one
// word at a time: for lines too long for the bit sets.
void blendLineByWords(const LineGeometry& g, Index first, Index last, uint32_t flags) {
  const Index s = g.alongStep;
  Index i = first;
  while (i <= last) {
    const Index start = nextPassBitOnLine(g, i, last);
    if (start > last) break;
    Index end = start;
    while (end + s <= last && (loadWord(g.edges, end + s) & g.passBit)) end += s;
    handleRun(g, first, start, end, flags);
    i = end + s;
  }
}

int lineEnd(int block, int lineCount) {
  return std::min(kBlockLines * block + kBlockLines, lineCount - 1);
}

}  // namespace

void handleRun(const LineGeometry& g, Index lineFirst, Index start, Index end, uint32_t flags) {
  const Index s = g.alongStep;
  int len = static_cast<int>((end - start) / s) + 1;
  if (len == 1) {
    blendOnePixelRun(g.image, start, g.lineStride);
    return;
  }
  // The searches look one pixel before the start, which must stay on the line.
  if (start == lineFirst) {
    start += s;
    --len;
  }
  if (flags & MLAA_THIN_LINES) softenThinLine(g, start - s, end);

  RunEnds e = findRunEnds(g, start, end, len);
  if (flags & MLAA_USE_HALF) e.p1.height = e.p2.height = e.p3.height = e.p4.height = kHalf;

  const bool zShape = false, uShape = true;
  bool zDone = false;
  if (e.p1.found && e.p4.found && e.p4.index > e.p1.index) {
    blendRun(g.image, e.p1.index, e.p4.index, e.p1.height, e.p4.height, s, g.lineStride, zShape);
    zDone = true;
  }
  if (e.p3.found && e.p2.found && e.p2.index > e.p3.index) {
    blendRun(g.image, e.p3.index, e.p2.index, e.p3.height, e.p2.height, s, -g.lineStride, zShape);
    zDone = true;
  }
  if (zDone) return;
  if (e.p1.found && e.p2.found && e.p2.index > e.p1.index)
    blendRun(g.image, e.p1.index, e.p2.index, e.p1.height, e.p2.height, s, g.lineStride, uShape);
  if (e.p3.found && e.p4.found && e.p4.index > e.p3.index)
    blendRun(g.image, e.p3.index, e.p4.index, e.p3.height, e.p4.height, s, -g.lineStride, uShape);
}

int blockForStep(int j, int n) {
  const int evenBlocks = (n + 1) / 2;
  return j < evenBlocks ? 2 * j : 2 * (j - evenBlocks) + 1;
}

std::size_t columnBitWords(int width, int height) {
  if (height > kMaxBitsetPixels) return 0;
  return static_cast<std::size_t>(width) * static_cast<std::size_t>((height + kBitsPerWord - 1) / kBitsPerWord);
}

void gatherFrameColumnBits(const uint8_t* edges, int width, int height, int wordBegin, int wordEnd,
                           uint64_t* bits) {
  const int rowEnd = std::min(height, wordEnd * kBitsPerWord);
  for (int y0 = wordBegin * kBitsPerWord; y0 < rowEnd; y0 += kRowsPerGather) {
    uint64_t* const word = bits + static_cast<Index>(y0 / kBitsPerWord) * width;
    // The last column is no line of the vertical pass.
    for (int x0 = 0; x0 < width - 1; x0 += kBlockLines)
      gatherColumnGroup(edges, width, height, x0, std::min(kBlockLines, width - 1 - x0), y0,
                        word + x0, 1);
  }
}

void blendHorizontalBlock(uint8_t* image, const uint8_t* edges, int width, int height,
                          int block, uint32_t flags) {
  const Index pixelCount = static_cast<Index>(width) * height;
  for (int y = kBlockLines * block; y < lineEnd(block, height); ++y) {
    // Row 0 has no previous row; the row itself takes its place.
    const LineGeometry g{image,     edges,     pixelCount, width, 1, y == 0 ? 0 : -width,
                         EDGE_BELOW, EDGE_RIGHT};
    const Index first = static_cast<Index>(y) * width;
    if (width <= kMaxBitsetPixels) {
      LineBits bits;
      gatherRowBits(edges, first, width, bits);
      blendLineRuns(g, first, width, bits, flags);
    } else {
      blendLineByWords(g, first, first + width - 1, flags);
    }
  }
}

void blendVerticalBlock(uint8_t* image, const uint8_t* edges, int width, int height, int block,
                        uint32_t flags, const uint64_t* frameColumnBits) {
  const Index pixelCount = static_cast<Index>(width) * height;
  const int x0 = kBlockLines * block, xEnd = lineEnd(block, width);
  if (xEnd <= x0) return;
  LineBits bits[kBlockLines];
  const bool useBits = height <= kMaxBitsetPixels;
  if (useBits && frameColumnBits != nullptr) {
    const int words = (height + kBitsPerWord - 1) / kBitsPerWord;
    for (int x = x0; x < xEnd; ++x)
      for (int w = 0; w < words; ++w) bits[x - x0][w] = frameColumnBits[static_cast<Index>(w) * width + x];
  } else if (useBits) {
    gatherColumnBits(edges, width, height, x0, xEnd - x0, bits);
  }
  for (int x = x0; x < xEnd; ++x) {
    const LineGeometry g{image,      edges,     pixelCount, 1, width, x == 0 ? 0 : -1,
                         EDGE_RIGHT, EDGE_BELOW};
    if (useBits)
      blendLineRuns(g, x, height, bits[x - x0], flags);
    else
      blendLineByWords(g, x, x + static_cast<Index>(height - 1) * width, flags);
  }
}

}  // namespace qov::aa::detail
