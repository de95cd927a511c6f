// The antialiasing frame pipeline, in bands of rows (band_layout.h says how they are cut and
// why that is exact):
//   1. detection: the input is read once, 64 rows at a time, into edge words, the column
//      bits of the vertical pass (the one thing of the frame that every band may need) and
//      the marks of the chunks of 16 pixels that have edge bits (edge_chunks.h);
//   2. the vertical runs that cross a boundary between bands are searched, once each;
//   3. each band, while it is in the core's cache: its working copy (from the edge words,
//      which hold the unblended colours) where the band will read it, both blending passes,
//      and the Strength mix into the output where the blends may have changed it.
// Each step is one loop on the pool; nothing of a band waits for anything but the steps
// before. In place, the input is read for detection before any band writes, and each band
// then reads and writes its own rows only.
#include "effects/antialias/frame_pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "effects/antialias/band_layout.h"
#include "effects/antialias/edge_chunks.h"
#include "effects/antialias/frame_rows.h"
#include "effects/antialias/mlaa_bands.h"
#include "effects/antialias/mlaa_internal.h"
#include "effects/parallel/chunking.h"

namespace qov::aa {

namespace detail {
struct WorkspaceAccess {
  static uint8_t* edges(AntialiasWorkspace& w) { return w.edgeBuffer_; }
  static uint64_t* columnBits(AntialiasWorkspace& w) { return w.columnBits_; }
  static uint64_t* edgeChunks(AntialiasWorkspace& w) { return w.edgeChunks_; }
  static uint8_t* rightMasks(AntialiasWorkspace& w) { return w.rightMasks_; }
  static VerticalCrossing* crossings(AntialiasWorkspace& w) { return w.crossings_; }
  static uint8_t* tailRows(AntialiasWorkspace& w) { return w.tailRows_; }
  static int bandRows(AntialiasWorkspace& w) { return w.bandRows_; }
  static unsigned bandCopies(AntialiasWorkspace& w) { return w.bandCopyCount_; }

  // One band copy, taken for as long as it lives. At most as many bands are in hand at once
  // as there are copies (see runBands), so a free one is always found: also in the child of
  // a fork, where the copies that the parent's other threads held are free (claim_flag.h).
  class HeldCopy {
   public:
    explicit HeldCopy(AntialiasWorkspace& w) : w_(w) {
      for (;;)
        for (unsigned i = 0; i < w.bandCopyCount_; ++i)
          if (w.bandCopyTaken_[i].tryTake()) {
            index_ = i;
            return;
          }
    }
    ~HeldCopy() { w_.bandCopyTaken_[index_].giveBack(); }
    HeldCopy(const HeldCopy&) = delete;
    HeldCopy& operator=(const HeldCopy&) = delete;
    uint8_t* data() const { return w_.bandCopies_ + w_.bandCopyBytes_ * index_; }

   private:
    AntialiasWorkspace& w_;
    unsigned index_ = 0;
  };
};
}  // namespace detail

namespace {

using detail::FrameRows;
using detail::WorkspaceAccess;

constexpr float kStrengthScale = 255.0f;
constexpr int kDetectRows = detail::kBitsPerWord;  // rows detected at a time: one word of column bits
constexpr int kDetectGroupRows = 16;               // of which detected and gathered at a time
// Shortest stretch of chunks along a row that the Strength mix skips.
constexpr int kSkippedChunks = 4;
// Column lines whose crossing runs a thread plans at a time.
constexpr std::size_t kCrossingLines = 256;

// What the loops of one frame share.
struct FrameWork {
  FrameRows f;
  AntialiasWorkspace& workspace;
  uint8_t strength8;
  uint32_t flags;
  bool keepFourth;        // Use Alpha on a 4-byte frame: the fourth byte counts in detection
  int examinedRows;       // rows in full blocks of 8: detection looks at these only
  detail::MlaaKernels kernels;
  detail::BandFrame bands;

  std::size_t workRowBytes() const { return f.workRowBytes(); }
  uint8_t* edgeRow(int y) const { return WorkspaceAccess::edges(workspace) + static_cast<std::size_t>(y) * workRowBytes(); }
  uint8_t* tailRow(int y) const {
    return WorkspaceAccess::tailRows(workspace) + static_cast<std::size_t>(y - examinedRows) * workRowBytes();
  }
};

// Detection of rows [64 w, 64 w + 64): edge words of the examined rows, no bits and no colour
// in the edge words of the others (their colours go to the tail rows), and the column bits
// (from the right masks that detection leaves) and chunk marks (edge_chunks.h) of all.
// Frames in the effect's own 4-byte layout are read as they are, the fourth byte masked unless
// it counts; others are converted a few rows at a time first.
void detectWordRow(const FrameWork& fw, int wordRow, uint8_t* scratch) {
  const FrameRows& f = fw.f;
  const int begin = wordRow * kDetectRows, end = std::min(f.height, begin + kDetectRows);
  const bool direct = f.layout == kNativeLayout4;
  const uint32_t pixelMask = fw.keepFourth ? detail::kEveryByte : detail::kColourOnly;
  const bool blends = !(fw.flags & MLAA_VISUALIZE);
  const std::size_t chunkWords = static_cast<std::size_t>(detail::chunkWordsFor(f.width));
  const auto chunkRow = [&](int y) {
    return blends ? detail::chunkRowOf(WorkspaceAccess::edgeChunks(fw.workspace), f.width, y) : nullptr;
  };
  // The right masks of a group's rows, which begin at a multiple of kRowsPerGather.
  static_assert(kDetectGroupRows == detail::kRowsPerGather, "a group's right masks lie together");
  const auto rightMasks = [&](int y0) {
    return blends ? WorkspaceAccess::rightMasks(fw.workspace) + detail::rightMaskIndex(f.width, y0, 0) : nullptr;
  };
  for (int y0 = begin; y0 < end; y0 += kDetectGroupRows) {
    const int y1 = std::min(end, y0 + kDetectGroupRows);
    const int groupEnd = std::min(y1, fw.examinedRows);
    if (direct && y0 < groupEnd)
      fw.kernels.detect(f.input, f.inputStride, pixelMask, WorkspaceAccess::edges(fw.workspace), f.width, f.height,
                        y0, groupEnd, chunkRow(0), rightMasks(0));
    if (!direct && y0 < groupEnd) {
      // The last examined row is compared with the row below it, when there is one.
      const int copyEnd = std::min(groupEnd + 1, f.height);
      detail::rowsToWork(f, y0, copyEnd, fw.keepFourth, scratch);
      fw.kernels.detect(scratch, static_cast<std::ptrdiff_t>(fw.workRowBytes()), detail::kEveryByte, fw.edgeRow(y0),
                        f.width, copyEnd - y0, 0, groupEnd - y0, chunkRow(y0), rightMasks(y0));
    }
    // Rows that detection does not examine, and those past the frame, have no right edges.
    const int maskedEnd = std::max(y0, groupEnd);
    if (blends && maskedEnd < y0 + kDetectGroupRows) {
      for (int block = 0; block < detail::rightMaskBlocksFor(f.width); ++block)
        std::memset(rightMasks(y0) + detail::rightMaskIndex(f.width, maskedEnd - y0, block), 0,
                    static_cast<std::size_t>(y0 + kDetectGroupRows - maskedEnd));
    }
    const int tailBegin = std::max(y0, fw.examinedRows);
    if (tailBegin < y1) {
      std::memset(fw.edgeRow(tailBegin), 0, static_cast<std::size_t>(y1 - tailBegin) * fw.workRowBytes());
      if (blends)
        std::memset(chunkRow(tailBegin), 0, static_cast<std::size_t>(y1 - tailBegin) * chunkWords * sizeof(uint64_t));
      detail::rowsToWork(f, tailBegin, y1, fw.keepFourth, fw.tailRow(tailBegin));
    }
    // While the group's edge words are still in the core's first caches.
    if (blends)
      fw.kernels.blend->gatherFrameColumnBits(WorkspaceAccess::edges(fw.workspace),
                                              WorkspaceAccess::rightMasks(fw.workspace), f.width, f.height, y0, y1,
                                              WorkspaceAccess::columnBits(fw.workspace));
  }
}

// Rows [begin, end) of the unblended working image: the edge words' colours (their fourth
// byte carries edge bits, which no later step reads), or the tail rows.
void unblendedRows(const FrameWork& fw, int begin, int end, uint8_t* copy) {
  const int split = std::clamp(fw.examinedRows, begin, end);
  const std::size_t rowBytes = fw.workRowBytes();
  if (begin < split) std::memcpy(copy, fw.edgeRow(begin), static_cast<std::size_t>(split - begin) * rowBytes);
  if (split < end)
    std::memcpy(copy + static_cast<std::size_t>(split - begin) * rowBytes, fw.tailRow(split),
                static_cast<std::size_t>(end - split) * rowBytes);
}

// body(first, end) for each run [first, end) of set bits in the bits whose word w is
// wordAt(w), w < words; a run may go on from one word into the next.
template <class WordAt, class Body>
void forEachRunOfBits(int words, const WordAt& wordAt, const Body& body) {
  constexpr int kWordBits = detail::kBitsPerWord;
  int runBegin = -1;
  for (int w = 0; w < words; ++w) {
    const uint64_t bits = wordAt(w);
    for (int bit = 0; bit < kWordBits;) {
      // The next change between set and clear in this word, from `bit` on.
      const uint64_t changes = (runBegin < 0 ? bits : ~bits) >> bit << bit;
      if (changes == 0) break;
      bit = __builtin_ctzll(changes);
      if (runBegin < 0) {
        runBegin = w * kWordBits + bit;
      } else {
        body(runBegin, w * kWordBits + bit);
        runBegin = -1;
      }
    }
  }
  if (runBegin >= 0) body(runBegin, words * kWordBits);
}

// Where the band steps read and write the chunks of the rows (edge_chunks.h).
class ChunkMap {
 public:
  explicit ChunkMap(const FrameWork& fw)
      : chunks_(WorkspaceAccess::edgeChunks(fw.workspace)),
        words_(detail::chunkWordsFor(fw.f.width)),
        width_(fw.f.width),
        height_(fw.f.height) {}

  int words() const { return words_; }
  int pixelOf(int chunk) const { return std::min(width_, chunk * detail::kChunkPixels); }

  // Word w of the chunks of row y that the blends may write; none outside the frame.
  uint64_t touched(int y, int w) const {
    if (y < 0 || y >= height_ || w < 0 || w >= words_) return 0;
    const uint64_t* const own = chunks_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(words_);
    return detail::touchedChunkWord(own, y > 0 ? own - words_ : nullptr, w);
  }

  // Word w of the chunks of row y that the Strength mix reads: all but stretches of
  // kSkippedChunks or more that no blend touches (chunks past the word's end count as
  // untouched, so that a stretch at its end may be shorter).
  uint64_t mixed(int y, int w) const {
    const uint64_t left = ~touched(y, w);
    uint64_t alone = left;  // the chunks that begin such a stretch
    for (int i = 1; i < kSkippedChunks; ++i) alone &= left >> i | ~(~0ull >> i);
    uint64_t skipped = alone;
    for (int i = 1; i < kSkippedChunks; ++i) skipped |= alone << i;
    return ~skipped;
  }

  // Word w of the chunks of row y that a band reads: those the Strength mix reads, which
  // include those the blends touch, and those below touched ones. A blend reads the pixels
  // it writes and their partners, which it may write too; Thin Lines also reads the pixels
  // on both sides of the one it writes, across its line. Down a column those are the pixels
  // left and right of one with EDGE_RIGHT on its left, in touched chunks; along a row, the
  // pixel above one with EDGE_BELOW above it is marked, and the one below may be marked by
  // nothing but lies below the touched one.
  uint64_t read(int y, int w) const { return touched(y - 1, w) | mixed(y, w); }

 private:
  const uint64_t* chunks_;
  int words_;
  int width_;
  int height_;
};

// The chunks of rows [begin, end) of the unblended working image that the band reads (the
// rest of `copy` is left as it was), as unblendedRows gives them.
void unblendedChunksRead(const FrameWork& fw, int begin, int end, uint8_t* copy) {
  const ChunkMap map(fw);
  for (int y = begin; y < end; ++y) {
    const uint8_t* const source = y < fw.examinedRows ? fw.edgeRow(y) : fw.tailRow(y);
    uint8_t* const target = copy + static_cast<std::size_t>(y - begin) * fw.workRowBytes();
    forEachRunOfBits(map.words(), [&](int w) { return map.read(y, w); }, [&](int first, int last) {
      const std::size_t from = static_cast<std::size_t>(map.pixelOf(first)) * detail::kWorkBytes;
      const std::size_t to = static_cast<std::size_t>(map.pixelOf(last)) * detail::kWorkBytes;
      std::memcpy(target + from, source + from, to - from);
    });
  }
}

// The Strength mix of rows [begin, end), whose working rows begin at `work`, over the chunks
// the blends may have written (edge_chunks.h); elsewhere the output is the input's. Only
// stretches of kSkippedChunks or more chunks left alone are skipped: shorter ones are mixed
// with the touched ones around them, as another call would cost more than they save.
void mixTouchedRows(const FrameWork& fw, int begin, int end, const uint8_t* work) {
  const FrameRows& f = fw.f;
  const ChunkMap map(fw);
  for (int y = begin; y < end; ++y) {
    const uint8_t* const row = work + static_cast<std::size_t>(y - begin) * fw.workRowBytes();
    int done = 0;  // pixels before it are mixed or copied
    forEachRunOfBits(map.words(), [&](int w) { return map.mixed(y, w); }, [&](int first, int last) {
      detail::copyRowSpan(f, y, done, map.pixelOf(first));
      detail::mixRowSpanIntoOutput(f, y, map.pixelOf(first), map.pixelOf(last), row, fw.strength8);
      done = map.pixelOf(last);
    });
    detail::copyRowSpan(f, y, done, f.width);
  }
}

void antialiasBand(const FrameWork& fw, int band, uint8_t* copy) {
  const detail::BandLayout& layout = fw.bands.layout;
  const int rowBegin = layout.rowBegin(band), rowEnd = layout.rowEnd(band);
  if (fw.flags & MLAA_VISUALIZE) {
    unblendedRows(fw, rowBegin, rowEnd, copy);
    detail::paintEdges(copy, fw.edgeRow(rowBegin), fw.f.width, rowEnd - rowBegin);
    detail::mixRowsIntoOutput(fw.f, rowBegin, rowEnd, copy, fw.strength8);
    return;
  }
  const int copyBegin = layout.copyBegin(band);
  unblendedChunksRead(fw, copyBegin, layout.copyEnd(band), copy);
  fw.kernels.blend->blendBand(fw.bands, band, copy);
  mixTouchedRows(fw, rowBegin, rowEnd, copy + static_cast<std::size_t>(rowBegin - copyBegin) * fw.workRowBytes());
}

// body(item, copy) for items [0, count) on the pool, each with a band copy of its own. Chunks
// are single items unless the pool has more threads than there are copies; then there are no
// more chunks than copies, so that no more items are in hand at once.
template <class Body>
void forEachWithCopy(AntialiasWorkspace& workspace, parallel::WorkerPool* pool, int count, const Body& body) {
  const unsigned copies = WorkspaceAccess::bandCopies(workspace);
  const unsigned threads = pool == nullptr ? 1 : pool->threads();
  const std::size_t items = static_cast<std::size_t>(count);
  const std::size_t grain = threads <= copies ? 1 : (items + copies - 1) / copies;
  parallel::forEachChunk(pool, items, grain, [&](std::size_t begin, std::size_t end) {
    const WorkspaceAccess::HeldCopy copy(workspace);
    for (std::size_t i = begin; i < end; ++i) body(static_cast<int>(i), copy.data());
  });
}

void copyFrame(const FrameRows& f, const detail::BandLayout& layout, parallel::WorkerPool* pool) {
  if (f.output == f.input) return;
  parallel::forEachChunk(pool, static_cast<std::size_t>(layout.count), 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t band = begin; band < end; ++band)
      detail::copyRows(f, layout.rowBegin(static_cast<int>(band)), layout.rowEnd(static_cast<int>(band)));
  });
}

bool overlapOtherThanInPlace(const FrameRows& f) {
  if (f.output == f.input) return f.outputStride != f.inputStride;
  const auto extent = [&](std::ptrdiff_t stride) {
    return static_cast<std::size_t>(f.height - 1) * static_cast<std::size_t>(stride) + f.rowBytes();
  };
  const auto in = reinterpret_cast<std::uintptr_t>(f.input);
  const auto out = reinterpret_cast<std::uintptr_t>(f.output);
  return in < out + extent(f.outputStride) && out < in + extent(f.inputStride);
}

}  // namespace

uint8_t strength8FromStrength(float strength) {
  if (std::isnan(strength) || strength <= 0.0f) return 0;
  if (strength >= 1.0f) return 255;
  return static_cast<uint8_t>(static_cast<int>(strength * kStrengthScale));
}

uint32_t mlaaFlagsFor(const AntialiasSettings& settings) {
  return (settings.useHalf ? MLAA_USE_HALF : 0u) | (settings.visualize ? MLAA_VISUALIZE : 0u) |
         (settings.thinLines ? MLAA_THIN_LINES : 0u);
}

bool antialiasFrame(const uint8_t* input, std::ptrdiff_t inputStride, uint8_t* output, std::ptrdiff_t outputStride,
                    int width, int height, const PixelLayout& layout, const AntialiasSettings& settings,
                    AntialiasWorkspace& workspace, parallel::WorkerPool* pool) {
  if (width < 1 || height < 1) return true;
  const FrameRows f{input, inputStride, output, outputStride, width, height, layout};
  if (input == nullptr || output == nullptr || !isValidLayout(layout)) return false;
  if (inputStride < 0 || outputStride < 0 || static_cast<std::size_t>(inputStride) < f.rowBytes() ||
      static_cast<std::size_t>(outputStride) < f.rowBytes())
    return false;
  if (overlapOtherThanInPlace(f) || !workspace.fits(width, height)) return false;

  const detail::BandLayout bands = detail::bandLayoutFor(height, WorkspaceAccess::bandRows(workspace));
  const uint8_t strength8 = strength8FromStrength(settings.strength);
  if (strength8 == 0) {
    copyFrame(f, bands, pool);
    return true;
  }
  const uint32_t flags = mlaaFlagsFor(settings);
  const detail::ColumnBits columnBits{WorkspaceAccess::columnBits(workspace), width, height};
  const FrameWork fw{f,
                     workspace,
                     strength8,
                     flags,
                     settings.useAlpha && layout.channels == 4,
                     height / detail::kBlockLines * detail::kBlockLines,
                     detail::chosenKernels(),
                     {WorkspaceAccess::edges(workspace), columnBits, WorkspaceAccess::crossings(workspace), width,
                      height, bands, flags, WorkspaceAccess::edgeChunks(workspace)}};

  forEachWithCopy(workspace, pool, (height + kDetectRows - 1) / kDetectRows,
                  [&](int wordRow, uint8_t* scratch) { detectWordRow(fw, wordRow, scratch); });
  if (!(flags & MLAA_VISUALIZE) && bands.count > 1) {
    const int lines = width - 1;  // the last column is no line of the vertical pass
    parallel::forEachChunk(pool, static_cast<std::size_t>(std::max(lines, 0)), kCrossingLines,
                           [&](std::size_t begin, std::size_t end) {
                             detail::planVerticalCrossings(fw.bands, static_cast<int>(begin), static_cast<int>(end));
                           });
  }
  forEachWithCopy(workspace, pool, bands.count, [&](int band, uint8_t* copy) { antialiasBand(fw, band, copy); });
  return true;
}

}  // namespace qov::aa
