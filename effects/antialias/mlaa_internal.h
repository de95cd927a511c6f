// The pieces MLAA is built from, visible to its own sources, the tests and the benchmarks:
// word access, the step-by-step entry, the detection kernels and the blending passes per
// instruction-set level with their tables, the end searches and the step schedule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "effects/antialias/mlaa.h"
#include "effects/parallel/worker_pool.h"
#include "effects/simd/simd.h"

namespace qov::aa {

// Bits of an edge word: the pixel differs from the pixel below / to its right.
inline constexpr uint32_t EDGE_BELOW = 0x80000000u;
inline constexpr uint32_t EDGE_RIGHT = 0x40000000u;

// Runs the work steps of one frame from *stepCounter + 1 to the end and leaves the index it
// stopped at in *stepCounter. Steps: D = height/8 detection steps (one block of 8 rows each),
// then either the painting of the edges (MLAA_VISUALIZE; *stepCounter becomes D) or
// R = ceil(height/8) horizontal and K = ceil(width/8) vertical blending steps
// (*stepCounter becomes D + R + K). `unused` is never read. A frame without pixels (width or
// height below 1) is left alone, counter included.
void MLAA(uint8_t* image, uint8_t* edgeBuffer, int width, int height, int* stepCounter,
          int unused, uint32_t mlaaFlags);

// True when any of the four bytes of a and b differ by 16 or more.
bool pixelsDiffer(uint32_t a, uint32_t b);

}  // namespace qov::aa

namespace qov::aa::detail {

using Index = std::ptrdiff_t;

inline constexpr int kBytesPerPixel = 4;
inline constexpr int kBlockLines = 8;  // a detection or blending step covers 8 rows or columns
inline constexpr uint32_t kEdgeBits = EDGE_BELOW | EDGE_RIGHT;
inline constexpr uint32_t kEveryByte = 0xFFFFFFFFu;   // a pixel mask that keeps the fourth byte
inline constexpr uint32_t kColourOnly = 0x00FFFFFFu;  // one that clears it
inline constexpr uint32_t kOpaque = 0xFF000000u;  // byte 3 of every pixel a blend writes
inline constexpr float kHalf = 0.5f;               // the height of an end without a quotient

// Pixels and edge words are little-endian 32-bit words at any alignment.
inline uint32_t loadWord(const uint8_t* base, Index index) {
  uint32_t v;
  std::memcpy(&v, base + index * kBytesPerPixel, sizeof v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  return v;
}

inline void storeWord(uint8_t* base, Index index, uint32_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  std::memcpy(base + index * kBytesPerPixel, &v, sizeof v);
}

inline int channel(uint32_t word, int c) { return static_cast<int>((word >> (8 * c)) & 0xFFu); }

// Sum of the three colour bytes of an edge word (0..765).
inline int colourSum(uint32_t word) {
  return channel(word, 0) + channel(word, 1) + channel(word, 2);
}

// --- detection -----------------------------------------------------------------------------

// The edge word of pixel x of a row, one pixel at a time, the pixels read through
// pixelMask (which may clear the fourth byte); `below` is the next row, or null on the last.
// Bits 31 and 30 of the pixel are cleared first: a pixel's alpha must not pose as an edge.
inline uint32_t edgeWordOf(const uint8_t* row, const uint8_t* below, int width, int x, uint32_t pixelMask) {
  const uint32_t pixel = loadWord(row, x) & pixelMask;
  uint32_t word = pixel & ~kEdgeBits;
  if (below != nullptr && pixelsDiffer(pixel, loadWord(below, x) & pixelMask)) word |= EDGE_BELOW;
  if (x + 1 < width && pixelsDiffer(pixel, loadWord(row, x + 1) & pixelMask)) word |= EDGE_RIGHT;
  return word;
}

inline constexpr int kRowsPerGather = 16;  // rows whose masks of a column block are transposed at once

// Right masks: the EDGE_RIGHT bits of a frame a byte per row of a column block, bit c of row
// y's byte of block g (columns [8g, 8g + 8)) for pixel 8g + c, which detection gives without
// reading its edge words again. The bytes of the 16 rows of a gather group lie together, in
// row order, so that the column bits' gather loads them at once.
inline int rightMaskBlocksFor(int width) { return (width + kBlockLines - 1) / kBlockLines; }
inline Index rightMaskIndex(int width, int y, int block) {
  return (static_cast<Index>(y / kRowsPerGather) * rightMaskBlocksFor(width) + block) * kRowsPerGather +
         y % kRowsPerGather;
}
// Bytes for the right masks of every row, the last group's rows past the frame included.
inline std::size_t rightMaskBytesFor(int width, int height) {
  const int groups = (height + kRowsPerGather - 1) / kRowsPerGather;
  return static_cast<std::size_t>(rightMaskIndex(width, groups * kRowsPerGather, 0));
}

// Writes the edge words of rows [rowBegin, rowEnd) (all inside the frame) into `edges`, rows
// packed: the pixel with bits 31 and 30 cleared, OR-ed with EDGE_BELOW when the row below
// exists and its pixel differs, and EDGE_RIGHT when the pixel to the right exists and
// differs. The image's rows are imageStride bytes apart, and every pixel is read through
// pixelMask: all bits, or the colour bytes alone for a frame whose fourth byte does not count.
// With `chunks` not null, the rows' chunk marks too (edge_chunks.h), row y's at
// chunks + y * chunkWordsFor(width); with `rightMasks` not null, the rows' right masks.
using DetectRowsFn = void (*)(const uint8_t* image, std::ptrdiff_t imageStride, uint32_t pixelMask, uint8_t* edges,
                              int width, int height, int rowBegin, int rowEnd, uint64_t* chunks,
                              uint8_t* rightMasks);

namespace scalar {
void detectRows(const uint8_t* image, std::ptrdiff_t imageStride, uint32_t pixelMask, uint8_t* edges, int width,
                int height, int rowBegin, int rowEnd, uint64_t* chunks, uint8_t* rightMasks);
// Pixels [xBegin, xEnd) of row y: the row tails of the vector kernels. The vector files call
// this instead of the inline helpers above, so that no copy of those compiled for a wider
// instruction set can stand in for the scalar one at link time.
void detectRowSpan(const uint8_t* image, std::ptrdiff_t imageStride, uint32_t pixelMask, uint8_t* edges, int width,
                   int height, int y, int xBegin, int xEnd);
// The marks of row y's chunks from chunk `first` on, from its edge words; those before it
// are kept.
void markRowChunks(const uint8_t* edges, int width, int y, int first, uint64_t* rowChunks);
// Row y's right masks of column blocks `first` on, from its edge words.
void markRowRightMasks(const uint8_t* edges, int width, int y, int first, uint8_t* rightMasks);
}
#if QOV_SIMD_X86
namespace sse2 {
void detectRows(const uint8_t* image, std::ptrdiff_t imageStride, uint32_t pixelMask, uint8_t* edges, int width,
                int height, int rowBegin, int rowEnd, uint64_t* chunks, uint8_t* rightMasks);
}
namespace avx2 {
void detectRows(const uint8_t* image, std::ptrdiff_t imageStride, uint32_t pixelMask, uint8_t* edges, int width,
                int height, int rowBegin, int rowEnd, uint64_t* chunks, uint8_t* rightMasks);
}
#endif
#if QOV_SIMD_NEON
namespace neon {
void detectRows(const uint8_t* image, std::ptrdiff_t imageStride, uint32_t pixelMask, uint8_t* edges, int width,
                int height, int rowBegin, int rowEnd, uint64_t* chunks, uint8_t* rightMasks);
}
#endif

inline constexpr simd::Entry<DetectRowsFn> kDetectLevels[] = {
    {simd::Level::scalar, scalar::detectRows},
#if QOV_SIMD_X86
    {simd::Level::sse2, sse2::detectRows},
    {simd::Level::avx2, avx2::detectRows},
#endif
#if QOV_SIMD_NEON
    {simd::Level::neon, neon::detectRows},
#endif
};

// --- one line of a pass --------------------------------------------------------------------

// Everything a run needs to know about the line it lies on. Indices are those of the whole
// frame; `image` may hold only some of its rows, its first pixel being the frame's pixel
// `imageFirst` (a band of rows), while `edges` always holds the whole frame.
struct LineGeometry {
  uint8_t* image;
  const uint8_t* edges;
  Index pixelCount;      // width x height; edge words at or beyond it count as 0
  Index lineStride;      // index distance to the next line
  Index alongStep;       // index distance to the next pixel on the line
  Index prevLineOffset;  // -lineStride, or 0 on the first line of the frame
  uint32_t passBit;      // the edge between this line and the next
  uint32_t orthBit;      // the edge between neighbours on the line
  Index imageFirst = 0;  // the frame index of image's first pixel

  uint32_t edgeAt(Index index) const {
    return (index >= 0 && index < pixelCount) ? loadWord(edges, index) : 0u;
  }
};

struct EndPoint {
  bool found = false;
  Index index = 0;
  float height = kHalf;
};

struct RunEnds {
  EndPoint p1, p2, p3, p4;  // start/previous-line, end/previous-line, start/far, end/far
  int k1 = 0, k3 = 0;       // iterations searches 1 and 3 completed before accepting
};

// The four end searches of the run start ... end (len pixels, start not the line's first).
RunEnds findRunEnds(const LineGeometry& g, Index start, Index end, int len);

// The blends a run gets, in the order they are done: a Z shape from either side or both, or
// else the U shapes whose ends were found; with Use Half every height is 0.5. Calls
// blend(a, b, h0, h1, across, sameSide) for each, as blendRun takes them.
template <class Blend>
inline void forEachBlendOfRun(RunEnds e, Index lineStride, uint32_t flags, const Blend& blend) {
  if (flags & MLAA_USE_HALF) e.p1.height = e.p2.height = e.p3.height = e.p4.height = kHalf;
  constexpr bool zShape = false, uShape = true;
  bool zDone = false;
  if (e.p1.found && e.p4.found && e.p4.index > e.p1.index) {
    blend(e.p1.index, e.p4.index, e.p1.height, e.p4.height, lineStride, zShape);
    zDone = true;
  }
  if (e.p3.found && e.p2.found && e.p2.index > e.p3.index) {
    blend(e.p3.index, e.p2.index, e.p3.height, e.p2.height, -lineStride, zShape);
    zDone = true;
  }
  if (zDone) return;
  if (e.p1.found && e.p2.found && e.p2.index > e.p1.index)
    blend(e.p1.index, e.p2.index, e.p1.height, e.p2.height, lineStride, uShape);
  if (e.p3.found && e.p4.found && e.p4.index > e.p3.index)
    blend(e.p3.index, e.p4.index, e.p3.height, e.p4.height, -lineStride, uShape);
}

// Thin Lines over the pixels first, first + alongStep, ..., last.
void softenThinLine(const LineGeometry& g, Index first, Index last);

// --- blending passes ------------------------------------------------------------------------

// Bit sets of pass bits, one bit per pixel of a line: lines of up to kMaxBitsetPixels use
// them (rows of 4K and 8K video, columns of 4K); longer lines are walked word by word.
inline constexpr int kBitsPerWord = 64;
inline constexpr int kMaxBitsetPixels = 8192;

struct BandFrame;  // mlaa_bands.h

// The blending passes of one level. Every level gives the same bytes.
struct BlendKernels {
  // The lines of one block of a pass. frameColumnBits, when not null, holds the EDGE_RIGHT
  // bits of every column as gatherFrameColumnBits leaves them; otherwise the block gathers
  // its own.
  void (*horizontalBlock)(uint8_t* image, const uint8_t* edges, int width, int height, int block,
                          uint32_t flags);
  void (*verticalBlock)(uint8_t* image, const uint8_t* edges, int width, int height, int block,
                        uint32_t flags, const uint64_t* frameColumnBits);
  // The EDGE_RIGHT bits of the columns of the whole frame, gathered in walks along the rows
  // rather than once per column block down the whole frame: the bits of rows 64w .. 64w + 63
  // of column x are word w * width + x. This fills the bits of rows [rowBegin, rowEnd) of
  // columnBitWords(width, height), rowBegin a multiple of kRowsPerGather; the rows of a word
  // go in order from its first, whose gather clears the word. With `rightMasks` not null it
  // takes the bits from those (every byte of the groups' rows, those past the frame zero)
  // rather than from the edge words.
  void (*gatherFrameColumnBits)(const uint8_t* edges, const uint8_t* rightMasks, int width, int height,
                                int rowBegin, int rowEnd, uint64_t* bits);
  // Both passes over band `band` of the frame pipeline (band_layout.h), on `copy`, the
  // band's working memory (mlaa_bands.h), which begins with its working copy: the frame's
  // rows copyBegin(band) ... copyEnd(band) - 1, unblended. Its own rows end as the serial
  // order leaves them.
  void (*blendBand)(const BandFrame& f, int band, uint8_t* copy);

  // The single steps inside the blocks, for the tests.
  // Handles one run found on the line that begins at lineFirst.
  void (*handleRun)(const LineGeometry& g, Index lineFirst, Index start, Index end, uint32_t flags);
  // Blends the pixels a, a + alongStep, ..., b with their partners across the edge.
  void (*blendRun)(uint8_t* image, Index a, Index b, float h0, float h1, Index alongStep,
                   Index across, bool sameSide);
  // The run of one pixel i: P takes 1/8 of its partner Q across the edge, then Q takes 1/8
  // of the new P.
  void (*blendOnePixelRun)(uint8_t* image, Index i, Index lineStride);
  // Bytes 2, 1, 0: truncate(P * wp + Q * wq) in single precision, masked to 8 bits; byte 3 = 255.
  uint32_t (*mixWeighted)(uint32_t p, uint32_t q, float wp, float wq);
};

namespace scalar {
extern const BlendKernels kBlendKernels;
}
#if QOV_SIMD_X86
// SSE2 is part of every x86 build's baseline, so this level is there wherever the build is x86.
namespace sse2 {
extern const BlendKernels kBlendKernels;
}
namespace avx2 {
extern const BlendKernels kBlendKernels;
}
#endif
#if QOV_SIMD_NEON
namespace neon {
extern const BlendKernels kBlendKernels;
}
#endif

inline constexpr simd::Entry<const BlendKernels*> kBlendLevels[] = {
    {simd::Level::scalar, &scalar::kBlendKernels},
#if QOV_SIMD_X86
    {simd::Level::sse2, &sse2::kBlendKernels},
    {simd::Level::avx2, &avx2::kBlendKernels},
#endif
#if QOV_SIMD_NEON
    {simd::Level::neon, &neon::kBlendKernels},
#endif
};

// --- passes and schedule -------------------------------------------------------------------

// The block done by step j of a pass of n blocks: even blocks first, then odd ones.
int blockForStep(int j, int n);

// Words of the column bit sets of a frame, or 0 when columns are too long for bit sets.
std::size_t columnBitWords(int width, int height);

// Paints EDGE_BELOW pixels 0x0000FF00 and other EDGE_RIGHT pixels 0x00FF0000; with a pool,
// on its threads.
void paintEdges(uint8_t* image, const uint8_t* edges, int width, int height,
                parallel::WorkerPool* pool = nullptr);

// The kernels one frame runs with.
struct MlaaKernels {
  DetectRowsFn detect;
  const BlendKernels* blend;
};

// Those of the levels chosen for this process (each family chooses once).
MlaaKernels chosenKernels();

// MLAA with the given kernels, on the pool's threads when there is a pool (the edge painting
// too). Whatever step the counter starts at, the steps it runs give the bytes of the serial
// order.
void runSteps(uint8_t* image, uint8_t* edgeBuffer, int width, int height, int* stepCounter,
              uint32_t flags, const MlaaKernels& kernels, parallel::WorkerPool* pool = nullptr);

}  // namespace qov::aa::detail
