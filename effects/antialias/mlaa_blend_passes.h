// The blending passes of MLAA, written once over a level's blending pieces M (the scalar
// ones in mlaa_blend_scalar.cpp, the SSE2 ones in mlaa_blend_sse2.cpp): blocks of lines, runs
// of edge pixels on each line, the choice of blends for each run, and the colour mixes along
// a run. Within a block everything runs in a fixed order, because every blend works in place
// and later blends read what earlier ones wrote; mlaa.cpp says which blocks may run side by
// side. Included by the two level files only; each instantiates everything with its own M,
// so the mixes are direct (inlined) calls, not calls through the level table.
//
// M provides:
//   uint32_t mix(p, q, wp, wq)     bytes 2, 1, 0 of truncate(P * wp + Q * wq), byte 3 = 255
//   Index mixFours(image, j, end, across, w, step, onSide)
//                                  blendSpan's pixels four at a time where it can (adjacent
//                                  pixels, partners four or more away): returns the first
//                                  pixel left and advances w past the pixels done
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

#include "effects/antialias/mlaa_internal.h"

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

// The pixels j, j + s, ... below `end` each take mixRest(pixel, partner across, w), with w
// changing by `step` from one pixel to the next, and write it to themselves (onSide) or to
// the partner. Returns the weight after the last pixel. Inline, as the hot loop of blendRun.
template <class M>
inline float blendSpan(uint8_t* image, Index j, Index end, Index s, Index across, float w, float step,
                bool onSide) {
  if (s == 1 && (across >= 4 || across <= -4)) j = M::mixFours(image, j, end, across, w, step, onSide);
  for (; j < end; j += s) {
    const uint32_t v = mixRest<M>(loadWord(image, j), loadWord(image, j + across), w);
    storeWord(image, onSide ? j : j + across, v);
    w += step;
  }
  return w;
}

template <class M>
void blendOnePixelRun(uint8_t* image, Index i, Index lineStride) {
  const Index across = i + lineStride;
  const uint32_t p = mixRest<M>(loadWord(image, i), loadWord(image, across), kOnePixelKeep);
  storeWord(image, i, p);
  storeWord(image, across, mixRest<M>(p, loadWord(image, across), kOnePixelGive));
}

template <class M>
void blendRun(uint8_t* image, Index a, Index b, float h0, float h1, Index alongStep,
              Index across, bool sameSide) {
  const Index s = alongStep;
  // The pixels on the run's side of the edge: the current line, or the next one when the run
  // is taken across.
  const Index off = across < 0 ? -across : 0;
  const Index a2 = a + off;
  const Index b2 = b + off;
  const float span = static_cast<float>(b - a + s);
  const float r0 = ((1.0f - h0) * 2.0f * static_cast<float>(s)) / span;
  const float r1 = ((1.0f - h1) * 2.0f * static_cast<float>(s)) / span;
  // Integer division on the indices: a vertical run of an even number of pixels has no middle.
  const Index mid = (a2 + b2) / 2;

  // First half: P takes weight t, which grows by r0 per pixel. The first pixel is always done.
  const Index firstHalfEnd = mid > a2 + s ? mid : a2 + s;
  blendSpan<M>(image, a2, firstHalfEnd, s, across, 0.5f * r0 + h0, r0, true);
  // The first index at or past firstHalfEnd.
  Index j = a2 + (firstHalfEnd - a2 + s - 1) / s * s;

  float w0;
  if (j == mid) {
    const float s0 = r0 * kMiddleShare;
    const uint32_t p = mixMiddle<M>(loadWord(image, j), loadWord(image, j + across), s0);
    storeWord(image, j, p);
    if (!sameSide)
      storeWord(image, j + across, mixRest<M>(p, loadWord(image, j + across), r1 * kMiddleShare));
    j += s;
    w0 = r1;
  } else {
    w0 = 0.5f * r1;
  }

  // Second half: a Z writes across the edge with a growing weight, a U writes on the run's
  // side with a shrinking one.
  // There is always at least one pixel left.
  blendSpan<M>(image, j, b2 + 1, s, across, sameSide ? 1.0f - w0 : w0, sameSide ? -r1 : r1, sameSide);
}

// --- runs on a line ---------------------------------------------------------------------------

template <class M>
void handleRun(const LineGeometry& g, Index lineFirst, Index start, Index end, uint32_t flags) {
  const Index s = g.alongStep;
  int len = static_cast<int>((end - start) / s) + 1;
  if (len == 1) {
    blendOnePixelRun<M>(g.image, start - g.imageFirst, g.lineStride);
    return;
  }
  // The searches look one pixel before the start, which must stay on the line.
  if (start == lineFirst) {
    start += s;
    --len;
  }
  if (flags & MLAA_THIN_LINES) softenThinLine(g, start - s, end);

  forEachBlendOfRun(findRunEnds(g, start, end, len), g.lineStride, flags,
                    [&](Index a, Index b, float h0, float h1, Index across, bool sameSide) {
                      blendRun<M>(g.image, a - g.imageFirst, b - g.imageFirst, h0, h1, s, across, sameSide);
                    });
}

inline int lowestSetBit(uint64_t word) { return __builtin_ctzll(word); }

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

// Handles the runs of a line of `length` pixels, first, first + alongStep, ..., whose pass
// bits are `bits`, in order along the line.
template <class M>
void blendLineRuns(const LineGeometry& g, Index first, int length, const uint64_t* bits,
                   uint32_t flags) {
  for (int k = nextSetBit(bits, 0, length); k < length;) {
    const int last = nextClearBit(bits, k + 1, length) - 1;
    handleRun<M>(g, first, first + k * g.alongStep, first + last * g.alongStep, flags);
    k = nextSetBit(bits, last + 1, length);
  }
}

// The first index in [from, last] of a line whose edge word has the pass bit, or past last.
inline Index nextPassBitOnLine(const LineGeometry& g, Index from, Index last) {
  Index i = from;
  while (i <= last && !(loadWord(g.edges, i) & g.passBit)) i += g.alongStep;
  return i;
}

// Finds and handles the runs of one line, first to last (inclusive, alongStep apart), one
// word at a time: for lines too long for the bit sets.
template <class M>
void blendLineByWords(const LineGeometry& g, Index first, Index last, uint32_t flags) {
  const Index s = g.alongStep;
  Index i = first;
  while (i <= last) {
    const Index start = nextPassBitOnLine(g, i, last);
    if (start > last) break;
    Index end = start;
    while (end + s <= last && (loadWord(g.edges, end + s) & g.passBit)) end += s;
    handleRun<M>(g, first, start, end, flags);
    i = end + s;
  }
}

// --- bit sets of the pass bits ----------------------------------------------------------------

// EDGE_BELOW of the pixels of one row, into bits[0 .. ceil(width / 64)).
template <class M>
void gatherRowBits(const uint8_t* edges, Index first, int width, uint64_t* bits) {
  int x = 0;
  for (int w = 0; w * kBitsPerWord < width; ++w) {
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
void gatherFrameColumnBits(const uint8_t* edges, int width, int height, int wordBegin, int wordEnd,
                           uint64_t* bits) {
  const int rowEnd = std::min(height, wordEnd * kBitsPerWord);
  for (int y0 = wordBegin * kBitsPerWord; y0 < rowEnd; y0 += kRowsPerGather) {
    uint64_t* const word = bits + static_cast<Index>(y0 / kBitsPerWord) * width;
    // The last column is no line of the vertical pass.
    for (int x0 = 0; x0 < width - 1; x0 += kBlockLines)
      gatherColumnGroup<M>(edges, width, height, x0, std::min(kBlockLines, width - 1 - x0), y0,
                           word + x0, 1);
  }
}

// --- blocks of a pass ---------------------------------------------------------------------------

inline int lineEnd(int block, int lineCount) {
  return std::min(kBlockLines * block + kBlockLines, lineCount - 1);
}

// Horizontal line y, on an image that holds the frame's rows from the one whose first pixel
// is the frame's pixel imageFirst.
template <class M>
void blendHorizontalLine(uint8_t* image, Index imageFirst, const uint8_t* edges, int width, int height, int y,
                         uint32_t flags) {
  const Index pixelCount = static_cast<Index>(width) * height;
  // Row 0 has no previous row; the row itself takes its place.
  const LineGeometry g{image, edges, pixelCount, width, 1, y == 0 ? 0 : -width, EDGE_BELOW, EDGE_RIGHT, imageFirst};
  const Index first = static_cast<Index>(y) * width;
  if (width <= kMaxBitsetPixels) {
    LineBits bits;
    gatherRowBits<M>(edges, first, width, bits);
    blendLineRuns<M>(g, first, width, bits, flags);
  } else {
    blendLineByWords<M>(g, first, first + width - 1, flags);
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
      blendLineByWords<M>(g, x, x + static_cast<Index>(height - 1) * width, flags);
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
