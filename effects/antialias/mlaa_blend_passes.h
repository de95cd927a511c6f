// The blending passes of MLAA, written once over a level's blending pieces M (the scalar
// ones in mlaa_blend_scalar.cpp, the vector ones in mlaa_blend_sse2.h, which the SSE2 and
// AVX2 levels build on): blocks of lines, runs of edge pixels on each line, the choice of
// blends for each run, and the colour mixes along a run. Within a block everything runs in a
// fixed order, because every blend works in place and later blends read what earlier ones
// wrote; mlaa.cpp says which blocks may run side by side, band_layout.h how a frame is cut
// into bands. Included by the level files only; each instantiates everything with its own M,
// so the mixes are direct (inlined) calls, not calls through the level table.
//
// M provides:
//   uint32_t mix(p, q, wp, wq)     bytes 2, 1, 0 of truncate(P * wp + Q * wq), byte 3 = 255
//   bool kEdgeBits8, EdgeBits8 edgeBits8(edges, first)
//                                  whether it has, and the edge bits of eight words from first
//                                  on (the end searches of short runs along rows)
//   bool kEndsInLanes, int kLanesRunMax, bool findEndsInLanes<P>(g, start, len, r)
//                                  whether it has, up to which length, and the ends of a run
//                                  found by its own searches (false, r untouched, where they
//                                  cannot read all they need)
//   Index mixFours(image, j, end, across, w, step, onSide)
//                                  blendSpan's pixels four at a time where it can (adjacent
//                                  pixels, partners four or more away): returns the first
//                                  pixel left and advances w past the pixels done
//   Index mixFoursDown(image, j, end, s, across, w, step, onSide)
//                                  the same down a column (pixels s apart, partners 1 away)
//   void onePixelRun(image, i, lineStride)
//                                  blendOnePixelRun
//   void gatherSigns(edges, first, width, x, bit, word)
//                                  EDGE_BELOW of 16 pixels at a time while they fit word
//   int gatherRowMasks(edges, width, x0, y0, rows, rowMasks)
//                                  rowMasks of full groups of 8 columns, some rows at a time;
//                                  returns the first row left
//   void spreadColumns(rowMasks, count, shift, out, stride)
//                                  the 16 row masks turned into 16 bits per column
#pragma once

#include <algorithm>
#include <cstdint>

#include "effects/antialias/edge_chunks.h"
#include "effects/antialias/mlaa_internal.h"
#include "effects/antialias/mlaa_search.h"

namespace qov::aa::detail {
namespace {

constexpr float kOnePixelKeep = 0.875f;  // a one-pixel run keeps 7/8 of P ...
constexpr float kOnePixelGive = 0.125f;  // ... then Q keeps 7/8 of itself
constexpr float kMiddleShare = 0.125f;   // share of r0 / r1 at a run's middle pixel

// Runs are found in bit sets of the pass bits of a line, one bit per pixel, 64 per word, so
// that stretches without runs are skipped a word at a time. The edge words never change while
// the passes run (the blends write the image only), so the sets can be gathered up front.
// Lines longer than the sets can hold are walked word by word instead.
constexpr int kBitsetWords = kMaxBitsetPixels / kBitsPerWord;
using LineBits = uint64_t[kBitsetWords];

// --- colour mixes along a run ---------------------------------------------------------------

// The blends' mix: P takes w, Q the rest.
template <class M>
inline uint32_t mixRest(uint32_t p, uint32_t q, float w) { return M::mix(p, q, w, 1.0f - w); }

// P x (1 - s0) + Q x s0: the middle pixel's own form. It is not mixRest(P, Q, 1 - s0),
// because 1 - (1 - s0) need not equal s0 in single precision.
template <class M>
inline uint32_t mixMiddle(uint32_t p, uint32_t q, float s0) { return M::mix(p, q, 1.0f - s0, s0); }

// The `count` pixels j, j + s, ... each take mixRest(pixel, partner across, w), with w
// changing by `step` from one pixel to the next, and write it to themselves (onSide) or to
// the partner. Inline, as the hot loop of blendRun.
template <class M, class P>
inline void blendSpan(uint8_t* image, Index j, int count, Index s, Index across, float w, float step,
                      bool onSide) {
  constexpr int kFour = 4;
  const Index end = j + count * s;
  if (count >= kFour) {
    if constexpr (P::kPassBit == RowPass::kPassBit) {
      if (across >= kFour || across <= -kFour) j = M::mixFours(image, j, end, across, w, step, onSide);
    } else {
      j = M::mixFoursDown(image, j, end, s, across, w, step, onSide);
    }
  }
  for (; j < end; j += s) {
    const uint32_t v = mixRest<M>(loadWord(image, j), loadWord(image, j + across), w);
    storeWord(image, onSide ? j : j + across, v);
    w += step;
  }
}

// The run of one pixel i, mix by mix: P takes 1/8 of its partner Q across the edge, then Q
// takes 1/8 of the new P.
template <class M>
void onePixelRunByMixes(uint8_t* image, Index i, Index lineStride) {
  const Index across = i + lineStride;
  const uint32_t p = mixRest<M>(loadWord(image, i), loadWord(image, across), kOnePixelKeep);
  storeWord(image, i, p);
  storeWord(image, across, mixRest<M>(p, loadWord(image, across), kOnePixelGive));
}

template <class M>
void blendOnePixelRun(uint8_t* image, Index i, Index lineStride) {
  M::onePixelRun(image, i, lineStride);
}

// A run of n pixels (n >= 2) has a first half, a middle pixel or none, and a second half. The
// middle is the pixel at index (a + b) / 2, on the indices of the run's first and last
// pixels: along a row that is always a pixel (the lower middle one when n is even), except
// for n = 2, whose only candidate is the first pixel, which belongs to the first half; down
// a column (index step width, at least 2) it falls between two pixels when n is even.
template <class P>
inline int firstHalfPixels(int n) {
  // (n == 2) as a number: as a condition, the compiler branches on it, and the lengths of
  // runs follow the picture.
  if constexpr (P::kPassBit == RowPass::kPassBit) return (n - 1) / 2 + static_cast<int>(n == 2);
  return n / 2;
}

template <class P>
inline bool hasMiddlePixel(int n) {
  if constexpr (P::kPassBit == RowPass::kPassBit) return n > 2;
  return n % 2 == 1;
}

// Blends the n pixels a, a + s, ... (n >= 2) with their partners across the edge: heights h0
// at the start, h1 at the end; a U shape (sameSide) writes both halves on the run's side, a
// Z writes the second half across the edge.
template <class M, class P>
inline void blendRunOf(uint8_t* image, Index a, int n, float h0, float h1, Index s, Index across, bool sameSide) {
  // The pixels on the run's side of the edge: the current line, or the next one when the run
  // is taken across.
  const Index a2 = across < 0 ? a - across : a;
  // b - a + s, the run's span in indices.
  const float span = static_cast<float>(static_cast<Index>(n) * s);
  const float r0 = ((1.0f - h0) * 2.0f * static_cast<float>(s)) / span;
  const float r1 = ((1.0f - h1) * 2.0f * static_cast<float>(s)) / span;

  // First half: P takes weight t, which grows by r0 per pixel.
  const int firstHalf = firstHalfPixels<P>(n);
  blendSpan<M, P>(image, a2, firstHalf, s, across, 0.5f * r0 + h0, r0, true);
  Index j = a2 + firstHalf * s;
  int rest = n - firstHalf;

  float w0;
  if (hasMiddlePixel<P>(n)) {
    const float s0 = r0 * kMiddleShare;
    const uint32_t p = mixMiddle<M>(loadWord(image, j), loadWord(image, j + across), s0);
    storeWord(image, j, p);
    if (!sameSide)
      storeWord(image, j + across, mixRest<M>(p, loadWord(image, j + across), r1 * kMiddleShare));
    j += s;
    --rest;
    w0 = r1;
  } else {
    w0 = 0.5f * r1;
  }

  // Second half: a Z writes across the edge with a growing weight, a U writes on the run's
  // side with a shrinking one. There is always at least one pixel left.
  blendSpan<M, P>(image, j, rest, s, across, sameSide ? 1.0f - w0 : w0, sameSide ? -r1 : r1, sameSide);
}

// blendRun as the tests call it, on the indices of the run's first and last pixels.
template <class M>
void blendRun(uint8_t* image, Index a, Index b, float h0, float h1, Index alongStep, Index across,
              bool sameSide) {
  const int n = static_cast<int>((b - a) / alongStep) + 1;
  if (alongStep == 1)
    blendRunOf<M, RowPass>(image, a, n, h0, h1, alongStep, across, sameSide);
  else
    blendRunOf<M, ColumnPass>(image, a, n, h0, h1, alongStep, across, sameSide);
}

// --- runs on a line ---------------------------------------------------------------------------

// Handles the run of two or more pixels at positions first ... last of the line that begins
// at index lineFirst.
template <class M, class P>
void handleLongRun(const LineGeometry& g, Index lineFirst, int first, int last, uint32_t flags,
                   search::LineLimits limits) {
  const Index s = P::along(g), L = P::lineStride(g);
  // The searches look one pixel before the start, which must stay on the line.
  if (first == 0) first = 1;
  const Index start = lineFirst + first * s;
  if (flags & MLAA_THIN_LINES) softenThinLine(g, start - s, lineFirst + last * s);
  // The searches work on frame indices, the blends on the image, which begins at imageFirst.
  const Index own = start - g.imageFirst;

  RunEndPositions e = search::findRunEndPositions<P, M>(g, lineFirst, first, last, limits);
  if (flags & MLAA_USE_HALF) e.h1 = e.h2 = e.h3 = e.h4 = kHalf;

  // An end that was not found fails every comparison (see RunEndPositions).
  const bool zShape = false, uShape = true;
  bool zDone = false;
  if (e.p4 > e.p1) {
    blendRunOf<M, P>(g.image, own + e.p1 * s, e.p4 - e.p1 + 1, e.h1, e.h4, s, L, zShape);
    zDone = true;
  }
  if (e.p2 > e.p3) {
    blendRunOf<M, P>(g.image, own + e.p3 * s, e.p2 - e.p3 + 1, e.h3, e.h2, s, -L, zShape);
    zDone = true;
  }
  if (zDone) return;
  if (e.p2 > e.p1) blendRunOf<M, P>(g.image, own + e.p1 * s, e.p2 - e.p1 + 1, e.h1, e.h2, s, L, uShape);
  if (e.p4 > e.p3) blendRunOf<M, P>(g.image, own + e.p3 * s, e.p4 - e.p3 + 1, e.h3, e.h4, s, -L, uShape);
}

template <class M, class P>
inline void handleRunAt(const LineGeometry& g, Index lineFirst, int first, int last, uint32_t flags,
                        search::LineLimits limits) {
  if (first == last)
    blendOnePixelRun<M>(g.image, lineFirst + first * P::along(g) - g.imageFirst, P::lineStride(g));
  else
    handleLongRun<M, P>(g, lineFirst, first, last, flags, limits);
}

// handleRun as the tests call it, on the indices of the run's first and last pixels.
template <class M>
void handleRun(const LineGeometry& g, Index lineFirst, Index start, Index end, uint32_t flags) {
  const Index s = g.alongStep;
  const int first = static_cast<int>((start - lineFirst) / s), last = static_cast<int>((end - lineFirst) / s);
  if (g.passBit == RowPass::kPassBit)
    handleRunAt<M, RowPass>(g, lineFirst, first, last, flags, search::lineLimits<RowPass, M>(g, lineFirst));
  else
    handleRunAt<M, ColumnPass>(g, lineFirst, first, last, flags, search::lineLimits<ColumnPass, M>(g, lineFirst));
}

inline int lowestSetBit(uint64_t word) { return __builtin_ctzll(word); }

// The bits of `word` with no set neighbour: bit 0's neighbour below is the top bit of
// `previous`, bit 63's above is bit 0 of `next` (the words before and after on the line).
inline uint64_t loneBits(uint64_t previous, uint64_t word, uint64_t next) {
  const uint64_t below = (word << 1) | (previous >> (kBitsPerWord - 1));
  const uint64_t above = (word >> 1) | (next << (kBitsPerWord - 1));
  return word & ~below & ~above;
}

// The runs of a line are read off its bit set a word at a time: the lowest set bit starts a
// run, and the lowest clear bit above it ends it, in this word or a later one. The runs of a
// line touch disjoint pixels (each blend stays on its run's pixels and their partners, Thin
// Lines on the pixels before and along the run), so their order along the line does not
// matter: the runs of one pixel, bits with no set neighbour, are handled first, a word at a
// time, and the walk then finds only the longer ones, without a branch on the length that
// the picture decides. Bits past the line are zero.
template <class M, class P>
void blendLineRunsOf(const LineGeometry& g, Index lineFirst, int length, const uint64_t* bits, uint32_t flags) {
  const int words = (length + kBitsPerWord - 1) / kBitsPerWord;
  if (words <= 0) return;
  const auto alone = [&](int w) { return loneBits(w > 0 ? bits[w - 1] : 0, bits[w], w + 1 < words ? bits[w + 1] : 0); };
  const Index s = P::along(g), L = P::lineStride(g);
  LineBits longer;  // the bits of the runs of two or more pixels
  for (int w = 0; w < words; ++w) {
    const uint64_t ones = alone(w);
    for (uint64_t one = ones; one != 0; one &= one - 1)
      blendOnePixelRun<M>(g.image, lineFirst + (w * kBitsPerWord + lowestSetBit(one)) * s - g.imageFirst, L);
    longer[w] = bits[w] & ~ones;
  }

  const search::LineLimits limits = search::lineLimits<P, M>(g, lineFirst);
  int w = 0;
  uint64_t word = longer[0];
  for (;;) {
    while (word == 0) {
      if (++w == words) return;
      word = longer[w];
    }
    const int bit = lowestSetBit(word);
    const int first = w * kBitsPerWord + bit;
    // The clear bits of the word from the run's first pixel on, which are all zero when the
    // run reaches the word's end.
    const uint64_t clearAbove = ~word >> bit;
    int last;
    if (clearAbove != 0) {
      const int end = bit + lowestSetBit(clearAbove);  // below 64: a clear bit of the word
      last = w * kBitsPerWord + end - 1;
      word &= ~0ull << end;
    } else {
      while (++w < words && longer[w] == ~0ull) {
      }
      if (w == words) {
        // Only a line whose length is a multiple of 64 can end in a full word.
        last = length - 1;
        w = words - 1;
        word = 0;
      } else {
        const int end = lowestSetBit(~longer[w]);
        last = w * kBitsPerWord + end - 1;
        word = longer[w] & (~0ull << end);
      }
    }
    handleLongRun<M, P>(g, lineFirst, first, last, flags, limits);
  }
}

// Handles the runs of a line of `length` pixels, first, first + alongStep, ..., whose pass
// bits are `bits`, in order along the line.
template <class M>
void blendLineRuns(const LineGeometry& g, Index first, int length, const uint64_t* bits, uint32_t flags) {
  if (g.passBit == RowPass::kPassBit)
    blendLineRunsOf<M, RowPass>(g, first, length, bits, flags);
  else
    blendLineRunsOf<M, ColumnPass>(g, first, length, bits, flags);
}

// Finds and handles the runs of a line of `length` pixels, first, first + alongStep, ..., one
// edge word at a time: for lines too long for the bit sets.
template <class M, class P>
void blendLineByWordsOf(const LineGeometry& g, Index first, int length, uint32_t flags) {
  const Index s = P::along(g);
  const auto hasPassBit = [&](int k) { return (loadWord(g.edges, first + k * s) & P::kPassBit) != 0; };
  const search::LineLimits limits = search::lineLimits<P, M>(g, first);
  for (int k = 0; k < length; ++k) {
    if (!hasPassBit(k)) continue;
    int last = k;
    while (last + 1 < length && hasPassBit(last + 1)) ++last;
    handleRunAt<M, P>(g, first, k, last, flags, limits);
    k = last + 1;
  }
}

template <class M>
void blendLineByWords(const LineGeometry& g, Index first, int length, uint32_t flags) {
  if (g.passBit == RowPass::kPassBit)
    blendLineByWordsOf<M, RowPass>(g, first, length, flags);
  else
    blendLineByWordsOf<M, ColumnPass>(g, first, length, flags);
}

// --- bit sets of the pass bits ----------------------------------------------------------------

// EDGE_BELOW of the pixels of one row, into bits[0 .. ceil(width / 64)). With the row's chunk
// marks (edge_chunks.h), words whose pixels have no edge bits are not read.
template <class M>
void gatherRowBits(const uint8_t* edges, Index first, int width, uint64_t* bits, const uint64_t* rowChunks) {
  int x = 0;
  for (int w = 0; w * kBitsPerWord < width; ++w) {
    if (rowChunks != nullptr && marksOfPixelWord(rowChunks, w) == 0) {
      bits[w] = 0;
      x = std::min(width, x + kBitsPerWord);
      continue;
    }
    uint64_t word = 0;
    int bit = 0;
    M::gatherSigns(edges, first, width, x, bit, word);
    for (; bit < kBitsPerWord && x < width; ++bit, ++x)
      word |= static_cast<uint64_t>(loadWord(edges, first + x) >> 31) << bit;
    bits[w] = word;
  }
}

// EDGE_RIGHT of `count` columns (at most 8) from column x0, rows y0 .. y0 + 15 (those in
// the frame; y0 a multiple of 16): column c's 16 bits go into the bit-set word out[c * stride]
// (which they start when y0 is a multiple of 64). Each row's bits of the block are gathered
// into one byte first; the 16 bytes are then turned into 16 bits per column.
template <class M>
void gatherColumnGroup(const uint8_t* edges, int width, int height, int x0, int count, int y0,
                       uint64_t* out, Index stride) {
  constexpr int kRightShift = 30;  // EDGE_RIGHT
  alignas(16) uint8_t rowMasks[kRowsPerGather] = {};
  const int rows = std::min(kRowsPerGather, height - y0);
  int r = 0;
  if (count == kBlockLines && x0 + kBlockLines <= width) r = M::gatherRowMasks(edges, width, x0, y0, rows, rowMasks);
  for (; r < rows; ++r) {
    const Index row = static_cast<Index>(y0 + r) * width + x0;
    uint32_t mask = 0;
    for (int c = 0; c < count; ++c) mask |= ((loadWord(edges, row + c) >> kRightShift) & 1u) << c;
    rowMasks[r] = static_cast<uint8_t>(mask);
  }
  M::spreadColumns(rowMasks, count, y0 % kBitsPerWord, out, stride);
}

// EDGE_RIGHT of `count` columns (at most 8) from column x0, all rows: column c's bits go to
// bits[c].
template <class M>
void gatherColumnBits(const uint8_t* edges, int width, int height, int x0, int count, LineBits* bits) {
  for (int y0 = 0; y0 < height; y0 += kRowsPerGather)
    gatherColumnGroup<M>(edges, width, height, x0, count, y0, &bits[0][y0 / kBitsPerWord], kBitsetWords);
}

template <class M>
void gatherFrameColumnBits(const uint8_t* edges, const uint8_t* rightMasks, int width, int height, int rowBegin,
                           int rowEnd, uint64_t* bits) {
  rowEnd = std::min(height, rowEnd);
  for (int y0 = rowBegin; y0 < rowEnd; y0 += kRowsPerGather) {
    uint64_t* const word = bits + static_cast<Index>(y0 / kBitsPerWord) * width;
    // The last column is no line of the vertical pass.
    for (int x0 = 0; x0 < width - 1; x0 += kBlockLines) {
      const int count = std::min(kBlockLines, width - 1 - x0);
      if (rightMasks != nullptr)
        M::spreadColumns(rightMasks + rightMaskIndex(width, y0, x0 / kBlockLines), count, y0 % kBitsPerWord,
                         word + x0, 1);
      else
        gatherColumnGroup<M>(edges, width, height, x0, count, y0, word + x0, 1);
    }
  }
}

// --- blocks of a pass ---------------------------------------------------------------------------

inline int lineEnd(int block, int lineCount) {
  return std::min(kBlockLines * block + kBlockLines, lineCount - 1);
}

// Horizontal line y, on an image that holds the frame's rows from the one whose first pixel
// is the frame's pixel imageFirst; rowChunks, when not null, are the line's chunk marks.
template <class M>
void blendHorizontalLine(uint8_t* image, Index imageFirst, const uint8_t* edges, int width, int height, int y,
                         uint32_t flags, const uint64_t* rowChunks = nullptr) {
  const Index pixelCount = static_cast<Index>(width) * height;
  // Row 0 has no previous row; the row itself takes its place.
  const LineGeometry g{image, edges, pixelCount, width, 1, y == 0 ? 0 : -width, EDGE_BELOW, EDGE_RIGHT, imageFirst};
  const Index first = static_cast<Index>(y) * width;
  if (width <= kMaxBitsetPixels) {
    LineBits bits;
    gatherRowBits<M>(edges, first, width, bits, rowChunks);
    blendLineRuns<M>(g, first, width, bits, flags);
  } else {
    blendLineByWords<M>(g, first, width, flags);
  }
}

template <class M>
void blendHorizontalBlock(uint8_t* image, const uint8_t* edges, int width, int height, int block,
                          uint32_t flags) {
  for (int y = kBlockLines * block; y < lineEnd(block, height); ++y)
    blendHorizontalLine<M>(image, 0, edges, width, height, y, flags);
}

template <class M>
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
    gatherColumnBits<M>(edges, width, height, x0, xEnd - x0, bits);
  }
  for (int x = x0; x < xEnd; ++x) {
    const LineGeometry g{image,      edges,     pixelCount, 1, width, x == 0 ? 0 : -1,
                         EDGE_RIGHT, EDGE_BELOW};
    if (useBits)
      blendLineRuns<M>(g, x, height, bits[x - x0], flags);
    else
      blendLineByWords<M>(g, x, height, flags);
  }
}

// A band of the frame pipeline (mlaa_band_passes.h, which the level files include after this).
template <class M>
void blendBand(const BandFrame& f, int band, uint8_t* copy);

template <class M>
constexpr BlendKernels blendKernelsWith() {
  return {blendHorizontalBlock<M>, blendVerticalBlock<M>, gatherFrameColumnBits<M>,
          blendBand<M>,            handleRun<M>,          blendRun<M>,
          blendOnePixelRun<M>,     M::mix};
}

}  // namespace
}  // namespace qov::aa::detail
