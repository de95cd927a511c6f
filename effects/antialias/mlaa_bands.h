// MLAA in bands of rows (band_layout.h): what the band pipeline needs besides the edge
// words. The column bits of the whole frame, gathered while it is detected; the vertical runs
// that cross an inner boundary between bands, searched once for the whole frame; and the
// weights along a blend, so that a band can blend the part of a run that lies in its rows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/antialias/band_layout.h"
#include "effects/antialias/edge_chunks.h"
#include "effects/antialias/mlaa_internal.h"

namespace qov::aa::detail {

// --- column bits --------------------------------------------------------------------------------

// EDGE_RIGHT of column x at rows 64w ... 64w + 63 is word w * width + x (the layout
// BlendKernels::gatherFrameColumnBits fills); rows past the frame's last have no bit.
inline std::size_t columnBitWordsFor(int width, int height) {
  return static_cast<std::size_t>(width) * static_cast<std::size_t>((height + kBitsPerWord - 1) / kBitsPerWord);
}

struct ColumnBits {
  const uint64_t* words;
  int width;
  int height;

  uint64_t word(int x, int w) const { return words[static_cast<std::size_t>(w) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
  bool at(int x, int y) const { return (word(x, y / kBitsPerWord) >> (y % kBitsPerWord)) & 1u; }

  // The first row at or after `from` and below `limit` whose bit is set, or `limit`.
  int nextSet(int x, int from, int limit) const {
    if (from >= limit) return limit;
    int w = from / kBitsPerWord;
    const int lastWord = (limit - 1) / kBitsPerWord;
    uint64_t bits = word(x, w) & (~0ull << (from % kBitsPerWord));
    while (bits == 0) {
      if (++w > lastWord) return limit;
      bits = word(x, w);
    }
    return std::min(limit, w * kBitsPerWord + __builtin_ctzll(bits));
  }
  // The first row at or after `from` whose bit is clear (height at the latest).
  int nextClear(int x, int from) const {
    if (from >= height) return height;
    int w = from / kBitsPerWord;
    const int lastWord = (height - 1) / kBitsPerWord;
    uint64_t clear = ~word(x, w) & (~0ull << (from % kBitsPerWord));
    while (clear == 0) {
      if (++w > lastWord) return height;
      clear = ~word(x, w);
    }
    return std::min(height, w * kBitsPerWord + __builtin_ctzll(clear));
  }
  // The last row at or before `from` whose bit is clear, or -1.
  int previousClear(int x, int from) const {
    int w = from / kBitsPerWord;
    const int shift = kBitsPerWord - 1 - from % kBitsPerWord;
    uint64_t clear = (~word(x, w) << shift) >> shift;
    while (clear == 0) {
      if (--w < 0) return -1;
      clear = ~word(x, w);
    }
    return w * kBitsPerWord + (kBitsPerWord - 1 - __builtin_clzll(clear));
  }
};

// --- a band's working memory -------------------------------------------------------------------

// Rows of pass bits of a column that a band gathers into windows of its own at most; taller
// bands (of narrow frames) walk the frame's column bits instead.
inline constexpr int kWindowWords = 4;
inline constexpr int kWindowRows = kWindowWords * kBitsPerWord;

// A band's working memory: its working copy of layout.copyRows() rows, then room for the
// windows of its vertical pass (kWindowWords words per column) and, as many again, for the
// bits of the one-pixel runs taken out of them.
inline std::size_t bandCopyBytesFor(int width, const BandLayout& layout) {
  constexpr std::size_t kAlignment = 64;
  const std::size_t rows = static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(layout.copyRows());
  return (rows + kAlignment - 1) / kAlignment * kAlignment;
}
inline std::size_t bandMemoryBytesFor(int width, const BandLayout& layout) {
  return bandCopyBytesFor(width, layout) + 2 * static_cast<std::size_t>(width) * kWindowWords * sizeof(uint64_t);
}
inline uint64_t* bandWindows(uint8_t* bandMemory, int width, const BandLayout& layout) {
  return reinterpret_cast<uint64_t*>(bandMemory + bandCopyBytesFor(width, layout));
}

// --- the weights along a blend --------------------------------------------------------------------

// What blendRun derives from its arguments (the same expressions, in the same order, so the
// same floats): its first half a2, a2 + s, ... below firstHalfEnd with weights t0, t0 + r0,
// ...; then the middle pixel when there is one; then its second half from secondFirst to b2
// with weights w0, w0 + step, ...
struct BlendShape {
  Index a2, b2, s, across;
  bool sameSide;
  float r0, r1;
  Index mid;
  Index firstHalfEnd;  // the first index at or past the first half's end
  bool middle;         // firstHalfEnd is the middle pixel
  Index secondFirst;
  float t0;
  float w0, step;
};

inline BlendShape blendShapeOf(Index a, Index b, float h0, float h1, Index s, Index across, bool sameSide) {
  BlendShape shape;
  const Index off = across < 0 ? -across : 0;
  shape.a2 = a + off;
  shape.b2 = b + off;
  shape.s = s;
  shape.across = across;
  shape.sameSide = sameSide;
  const float span = static_cast<float>(b - a + s);
  shape.r0 = ((1.0f - h0) * 2.0f * static_cast<float>(s)) / span;
  shape.r1 = ((1.0f - h1) * 2.0f * static_cast<float>(s)) / span;
  shape.mid = (shape.a2 + shape.b2) / 2;
  const Index firstHalfEnd = shape.mid > shape.a2 + s ? shape.mid : shape.a2 + s;
  shape.firstHalfEnd = shape.a2 + (firstHalfEnd - shape.a2 + s - 1) / s * s;
  shape.middle = shape.firstHalfEnd == shape.mid;
  shape.secondFirst = shape.firstHalfEnd + (shape.middle ? s : 0);
  shape.t0 = 0.5f * shape.r0 + h0;
  const float w0 = shape.middle ? shape.r1 : 0.5f * shape.r1;
  shape.w0 = shape.sameSide ? 1.0f - w0 : w0;
  shape.step = shape.sameSide ? -shape.r1 : shape.r1;
  return shape;
}

// --- vertical runs across band boundaries -------------------------------------------------------

// A vertical run that crosses the inner boundary of bands K - 1 and K, that is, whose rows
// include Y(K) - 1 and Y(K): its end points as the searches found them (for
// forEachBlendOfRun), and for each of its blends that goes on past the boundary row without beginning there,
// the weight it has reached at that row.
struct VerticalCrossing {
  int32_t row[4];  // rows of p1 ... p4
  float height[4];
  uint32_t found;  // bit n: p(n+1) was found
  float weight[2];
};

// Everything a band needs of the whole frame.
struct BandFrame {
  const uint8_t* edges;
  ColumnBits columnBits;
  // The crossing of boundary K (1 ... layout.count - 1) in column line x is
  // crossings[(K - 1) * width + x], when column x's bits at rows Y(K) - 1 and Y(K) are set.
  VerticalCrossing* crossings;
  int width;
  int height;
  BandLayout layout;
  uint32_t flags;
  // The chunk marks of every row (edge_chunks.h), or null.
  const uint64_t* chunks;

  const uint64_t* rowChunks(int y) const { return chunks == nullptr ? nullptr : chunkRowOf(chunks, width, y); }

  VerticalCrossing& crossing(int boundary, int x) const {
    return crossings[static_cast<std::size_t>(boundary - 1) * static_cast<std::size_t>(width) +
                     static_cast<std::size_t>(x)];
  }
};

// Crossings a frame can have: one per inner boundary and column line.
inline std::size_t crossingSlotsFor(int width, const BandLayout& layout) {
  return static_cast<std::size_t>(layout.count - 1) * static_cast<std::size_t>(width);
}

// The end points stored in a crossing, as the searches gave them.
RunEnds endsOf(const VerticalCrossing& crossing, int width, int x);

// Searches each vertical run of the column lines [lineBegin, lineEnd) that crosses an inner
// boundary, and fills its crossings. Lines are independent of one another.
void planVerticalCrossings(const BandFrame& f, int lineBegin, int lineEnd);

}  // namespace qov::aa::detail
