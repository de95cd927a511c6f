// Both blending passes over one band of the frame pipeline, written once over a level's
// blending pieces M like mlaa_blend_passes.h (which the level files include first). The
// band's working copy holds its rows and the few around them that its horizontal lines read
// (band_layout.h says which and why that is exact); the vertical pass touches the band's own
// rows only, blending the parts of crossing runs that lie in them (mlaa_bands.h).
#pragma once

#include <algorithm>

#include "effects/antialias/mlaa_bands.h"

namespace qov::aa::detail {
namespace {

// The pixels j, j + s, ... before end.
inline int pixelsBetween(Index j, Index end, Index s) { return static_cast<int>((end - j + s - 1) / s); }

// The pixels of a blend (down a column: crossing runs are vertical) that lie in [lo, hi] (indices on its run's side, lo no earlier than
// its first pixel, hi no later than its last), with weightAtLo the weight the blend has
// reached at lo when lo lies inside one of its halves after that half's first pixel.
template <class M>
void blendShapeSpan(uint8_t* image, Index imageFirst, const BlendShape& b, Index lo, Index hi, float weightAtLo) {
  const Index s = b.s;
  Index j = lo;
  if (j < b.firstHalfEnd) {
    const Index end = std::min(b.firstHalfEnd, hi + s);
    blendSpan<M, ColumnPass>(image, j - imageFirst, pixelsBetween(j, end, s), s, b.across,
                             j == b.a2 ? b.t0 : weightAtLo, b.r0, true);
    j = end;
  }
  if (j > hi) return;
  if (b.middle && j == b.firstHalfEnd) {
    const Index own = j - imageFirst;
    const uint32_t p = mixMiddle<M>(loadWord(image, own), loadWord(image, own + b.across), b.r0 * kMiddleShare);
    storeWord(image, own, p);
    if (!b.sameSide)
      storeWord(image, own + b.across, mixRest<M>(p, loadWord(image, own + b.across), b.r1 * kMiddleShare));
    j += s;
    if (j > hi) return;
  }
  blendSpan<M, ColumnPass>(image, j - imageFirst, pixelsBetween(j, hi + s, s), s, b.across,
                           j == b.secondFirst ? b.w0 : weightAtLo, b.step, b.sameSide);
}

// A vertical run in column line x that crosses a boundary of the band [y0, y1): its rows
// runStart ... runEnd (runStart is only looked at when it lies in the band), its blends as
// the crossing holds them, and, for a run from the band above, the weights at y0.
template <class M>
void blendCrossingInBand(const BandFrame& f, const LineGeometry& g, int x, int y0, int y1, int runStart, int runEnd,
                         const VerticalCrossing& crossing, bool fromAbove) {
  const auto pixel = [&](int row) { return static_cast<Index>(row) * f.width + x; };
  if (f.flags & MLAA_THIN_LINES) {
    // The run's first pixel is dropped when it is the line's first; Thin Lines begins one
    // pixel before the run's (new) first pixel.
    const int first = fromAbove ? y0 : std::max(y0, std::max(runStart, 1) - 1);
    softenThinLine(g, pixel(first), pixel(std::min(runEnd, y1 - 1)));
  }
  int slot = 0;
  forEachBlendOfRun(endsOf(crossing, f.width, x), g.lineStride, f.flags,
                    [&](Index a, Index b, float h0, float h1, Index across, bool sameSide) {
                      const BlendShape shape = blendShapeOf(a, b, h0, h1, g.alongStep, across, sameSide);
                      // Every pixel of the blend is in its own row, at the same column.
                      const Index column = shape.a2 % f.width;
                      const Index lo = std::max(shape.a2, static_cast<Index>(y0) * f.width + column);
                      const Index hi = std::min(shape.b2, static_cast<Index>(y1 - 1) * f.width + column);
                      if (lo <= hi) blendShapeSpan<M>(g.image, g.imageFirst, shape, lo, hi, crossing.weight[slot]);
                      ++slot;
                    });
}

// The pass bits of every column line at rows first ... first + length - 1 (length at most
// kWindowRows): word j of line x is windows[j * lines + x], row first + 64 j + i at bit i.
// One loop over contiguous words per window word, with one shift for all.
inline void gatherWindows(const ColumnBits& bits, int first, int length, int lines, uint64_t* windows) {
  const int words = (length + kBitsPerWord - 1) / kBitsPerWord;
  const int lastWord = (bits.height - 1) / kBitsPerWord;
  const unsigned shift = static_cast<unsigned>(first % kBitsPerWord);
  const std::size_t width = static_cast<std::size_t>(bits.width);
  for (int j = 0; j < words; ++j) {
    const int w = first / kBitsPerWord + j;
    const uint64_t* low = bits.words + static_cast<std::size_t>(w) * width;
    uint64_t* const out = windows + static_cast<std::size_t>(j) * static_cast<std::size_t>(lines);
    const int rowsHere = std::min(kBitsPerWord, length - j * kBitsPerWord);
    const uint64_t keep = rowsHere == kBitsPerWord ? ~0ull : (1ull << rowsHere) - 1;
    if (shift != 0 && w < lastWord) {
      const uint64_t* high = low + width;
      for (int x = 0; x < lines; ++x) out[x] = ((low[x] >> shift) | (high[x] << (kBitsPerWord - shift))) & keep;
    } else {
      for (int x = 0; x < lines; ++x) out[x] = (low[x] >> shift) & keep;
    }
  }
}

// The vertical pass of column line x in the band's rows [y0, y1): each run's blends and
// Thin Lines as far as they fall into those rows, in the order of the runs. `bit(row)`,
// `nextSet(from, limit)` and `nextClear(from)` read the column's pass bits.
template <class M, class Bits>
void blendColumnRuns(const BandFrame& f, int band, int x, uint8_t* image, Index imageFirst, const Bits& bits) {
  const int y0 = f.layout.rowBegin(band), y1 = f.layout.rowEnd(band);
  const LineGeometry g{image,      f.edges,    static_cast<Index>(f.width) * f.height, 1, f.width, x == 0 ? 0 : -1,
                       EDGE_RIGHT, EDGE_BELOW, imageFirst};
  const search::LineLimits limits = search::lineLimits<ColumnPass, M>(g, x);
  int from = y0;
  if (band > 0 && bits.bit(y0 - 1) && bits.bit(y0)) {
    const int runEnd = bits.nextClear(y0) - 1;
    blendCrossingInBand<M>(f, g, x, y0, y1, y0 - 1, runEnd, f.crossing(band, x), true);
    from = runEnd + 2;
  }
  // A run that begins on row y1 still softens row y1 - 1 with Thin Lines.
  const int limit = std::min(y1 + 1, f.height);
  for (;;) {
    const int runStart = bits.nextSet(from, limit);
    if (runStart >= limit) return;
    const int runEnd = bits.nextClear(runStart + 1) - 1;
    if (runStart == y1) {
      if ((f.flags & MLAA_THIN_LINES) && runEnd > runStart) {
        const Index above = static_cast<Index>(y1 - 1) * f.width + x;
        softenThinLine(g, above, above);
      }
      return;
    }
    if (runEnd >= y1) {
      blendCrossingInBand<M>(f, g, x, y0, y1, runStart, runEnd, f.crossing(band + 1, x), false);
      return;
    }
    // Wholly in the band. Its Thin Lines may soften row y0 - 1 of the copy, which the band
    // does not own and nothing of the band reads again.
    handleRunAt<M, ColumnPass>(g, x, runStart, runEnd, f.flags, limits);
    from = runEnd + 2;
  }
}

// The first set bit at or after `from` and below `limit`, or `limit`. Bits at or beyond
// `limit` in the last word are zero.
inline int nextSetBit(const uint64_t* bits, int from, int limit) {
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
inline int nextClearBit(const uint64_t* bits, int from, int limit) {
  if (from >= limit) return limit;
  int w = from / kBitsPerWord;
  uint64_t word = ~bits[w] & (~0ull << (from % kBitsPerWord));
  while (word == 0) word = ~bits[++w];
  return std::min(w * kBitsPerWord + lowestSetBit(word), limit);
}

// The column's bits from a window of rows first ... last: a run that goes on past `last`
// ends there as far as they tell, which is all a band needs to know of it.
struct WindowBits {
  const uint64_t* window;
  int first, last;
  bool bit(int row) const { return (window[(row - first) / kBitsPerWord] >> ((row - first) % kBitsPerWord)) & 1u; }
  int nextSet(int from, int limit) const { return first + nextSetBit(window, from - first, limit - first); }
  int nextClear(int from) const { return first + nextClearBit(window, from - first, last + 1 - first); }
};

// The same from the frame's column bits.
struct FrameColumnBits {
  const ColumnBits& bits;
  int x;
  bool bit(int row) const { return bits.at(x, row); }
  int nextSet(int from, int limit) const { return bits.nextSet(x, from, limit); }
  int nextClear(int from) const { return bits.nextClear(x, from); }
};

// Bits from <= i < to of a word, with from and to clipped to the word.
inline uint64_t bitsBetween(int from, int to) {
  from = std::max(from, 0);
  to = std::min(to, kBitsPerWord);
  if (from >= to) return 0;
  return (to == kBitsPerWord ? ~0ull : (1ull << to) - 1) & (~0ull << from);
}

// The bits of the runs of one pixel whose row lies in the band's rows (window bits [lo, hi))
// into `ones`, laid out as the windows: taken off the windows, they leave the walk of
// blendColumnRuns only the longer runs and those that cross the band's boundaries (a lone
// bit has no set neighbour, so taking it off changes no other run). One loop over
// contiguous words per window word, as in gatherWindows.
inline void findOnePixelRuns(const uint64_t* windows, uint64_t* ones, int words, int lines, int lo, int hi) {
  for (int j = 0; j < words; ++j) {
    const uint64_t* const above = j > 0 ? windows + static_cast<std::size_t>(j - 1) * lines : nullptr;
    const uint64_t* const below = j + 1 < words ? windows + static_cast<std::size_t>(j + 1) * lines : nullptr;
    const uint64_t* const window = windows + static_cast<std::size_t>(j) * lines;
    uint64_t* const out = ones + static_cast<std::size_t>(j) * lines;
    const uint64_t inBand = bitsBetween(lo - j * kBitsPerWord, hi - j * kBitsPerWord);
    for (int x = 0; x < lines; ++x)
      out[x] = loneBits(above ? above[x] : 0, window[x], below ? below[x] : 0) & inBand;
  }
}

// The runs of one pixel of column line x at the set bits of its window words `ones`, row
// first + 64 j + i at bit i of word j. As along a row (blendLineRunsOf), the runs of a column
// touch disjoint pixels, so handling these before the others changes no byte.
template <class M>
void blendColumnOnePixelRuns(uint8_t* image, Index imageFirst, int width, int x, int first, int words,
                             const uint64_t* ones) {
  for (int j = 0; j < words; ++j)
    for (uint64_t one = ones[j]; one != 0; one &= one - 1) {
      const Index row = first + j * kBitsPerWord + lowestSetBit(one);
      blendOnePixelRun<M>(image, row * width + x - imageFirst, 1);
    }
}

template <class M>
void blendBand(const BandFrame& f, int band, uint8_t* copy) {
  const BandLayout& layout = f.layout;
  const Index imageFirst = static_cast<Index>(layout.copyBegin(band)) * f.width;
  const int firstLine = layout.firstLine(band), lastLine = layout.lastLine(band);
  // The horizontal lines in the serial order: those of even blocks, then those of odd ones.
  // A row without chunk marks has no EDGE_BELOW, so its line has no runs.
  const int chunkWords = chunkWordsFor(f.width);
  const auto hasMarks = [&](int y) {
    const uint64_t* const marks = f.rowChunks(y);
    if (marks == nullptr) return true;
    uint64_t any = 0;
    for (int w = 0; w < chunkWords; ++w) any |= marks[w];
    return any != 0;
  };
  for (int parity = 0; parity < 2; ++parity)
    for (int y = firstLine; y <= lastLine; ++y)
      if ((y / kBlockLines) % 2 == parity && hasMarks(y))
        blendHorizontalLine<M>(copy, imageFirst, f.edges, f.width, f.height, y, f.flags, f.rowChunks(y));

  // The column lines' bits from the row before the band to the second after it: the runs
  // that cross either boundary, and whether one that begins just below the band is longer
  // than a pixel. Taller bands (of narrow frames) read the frame's column bits.
  const int lines = f.width - 1;
  const int first = std::max(0, layout.rowBegin(band) - 1);
  const int last = std::min(layout.rowEnd(band) + 1, f.height - 1);
  const int length = last - first + 1;
  const int words = (length + kBitsPerWord - 1) / kBitsPerWord;
  const bool windowed = length <= kWindowRows;
  uint64_t* const windows = bandWindows(copy, f.width, layout);
  uint64_t* const ones = windows + static_cast<std::size_t>(f.width) * kWindowWords;
  if (windowed && lines > 0) {
    gatherWindows(f.columnBits, first, length, lines, windows);
    findOnePixelRuns(windows, ones, words, lines, layout.rowBegin(band) - first, layout.rowEnd(band) - first);
  }

  // The column lines in the serial order: those of even blocks, then those of odd ones.
  const int columnBlocks = (f.width + kBlockLines - 1) / kBlockLines;
  for (int step = 0; step < columnBlocks; ++step) {
    const int block = blockForStep(step, columnBlocks);
    for (int x = kBlockLines * block; x < lineEnd(block, f.width); ++x) {
      if (!windowed) {
        blendColumnRuns<M>(f, band, x, copy, imageFirst, FrameColumnBits{f.columnBits, x});
        continue;
      }
      uint64_t window[kWindowWords + 1], oneWords[kWindowWords];
      uint64_t any = 0, anyOne = 0;
      for (int j = 0; j < words; ++j) {
        anyOne |= oneWords[j] = ones[static_cast<std::size_t>(j) * lines + x];
        any |= window[j] = windows[static_cast<std::size_t>(j) * lines + x] & ~oneWords[j];
      }
      if (anyOne != 0) blendColumnOnePixelRuns<M>(copy, imageFirst, f.width, x, first, words, oneWords);
      if (any == 0) continue;
      window[words] = 0;  // stops the search for a clear bit
      blendColumnRuns<M>(f, band, x, copy, imageFirst, WindowBits{window, first, last});
    }
  }
}

}  // namespace
}  // namespace qov::aa::detail
