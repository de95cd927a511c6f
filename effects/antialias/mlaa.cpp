// MLAA's entry: the edge buffer it works in, the schedule of its steps (detection, then either
// the painting of the edges or the two blending passes) and how they split over threads, the
// levels its kernels run at, and runMLAA.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "effects/antialias/mlaa_internal.h"
#include "effects/parallel/chunking.h"
#include "effects/parallel/worker_pool.h"

namespace qov::aa {
namespace detail {
namespace {

constexpr std::size_t kEdgeBufferAlignment = 16;
constexpr uint32_t kPaintBelow = 0x0000FF00u;  // byte 1 = 255
constexpr uint32_t kPaintRight = 0x00FF0000u;  // byte 2 = 255
// Pixels of one chunk of the edge painting that a thread claims from the pool (64 KiB).
constexpr std::size_t kPaintChunkPixels = parallel::kChunkPixels;

struct AlignedDelete {
  void operator()(uint8_t* p) const {
    ::operator delete[](p, std::align_val_t{kEdgeBufferAlignment});
  }
};
using OwnedBuffer = std::unique_ptr<uint8_t[], AlignedDelete>;

// Zero-filled like an instance's buffer, so that a call without a buffer gives the same
// result as one with.
OwnedBuffer allocateEdgeBuffer(std::size_t bytes) {
  auto* p = static_cast<uint8_t*>(::operator new[](bytes, std::align_val_t{kEdgeBufferAlignment}));
  std::memset(p, 0, bytes);
  return OwnedBuffer(p);
}

// Blocks handed to a thread at a time. A blending block is thousands of pixels and the
// blocks of a pass differ widely in work, so threads take them one by one; detection blocks
// are uniform and cheap, so they go two at a time.
constexpr std::size_t kDetectGrain = 2;
constexpr std::size_t kBlendGrain = 1;
constexpr std::size_t kGatherGrain = 2;  // bands of 64 rows whose column bits a thread gathers

// Steps [from, blocks) of a blending pass of `blocks` blocks, step j doing the block
// blockForStep(j, blocks): the even blocks, then the odd ones. A block writes its own eight
// lines and the line after them, and reads the line before them besides (the end searches
// read further along the lines, but only edge words, which no blend writes). Blocks of one
// parity are therefore eight lines apart and share no pixel, in any order or all at once,
// so each parity is one parallel loop, and the odd blocks begin once every even one is done.
template <class BlendBlock>
void runPassSteps(parallel::WorkerPool* pool, int from, int blocks, const BlendBlock& blendBlock) {
  const auto runParity = [&](int first, int end) {
    if (first >= end) return;
    parallel::forEachChunk(pool, static_cast<std::size_t>(end - first), kBlendGrain,
                           [&](std::size_t begin, std::size_t stop) {
                             for (std::size_t j = begin; j < stop; ++j)
                               blendBlock(blockForStep(first + static_cast<int>(j), blocks));
                           });
  };
  const int evenBlocks = (blocks + 1) / 2;
  runParity(from, evenBlocks);
  runParity(std::max(from, evenBlocks), blocks);
}

}  // namespace

int blockForStep(int j, int n) {
  const int evenBlocks = (n + 1) / 2;
  return j < evenBlocks ? 2 * j : 2 * (j - evenBlocks) + 1;
}

std::size_t columnBitWords(int width, int height) {
  if (height > kMaxBitsetPixels) return 0;
  return static_cast<std::size_t>(width) * static_cast<std::size_t>((height + kBitsPerWord - 1) / kBitsPerWord);
}

MlaaKernels chosenKernels() {
  return {simd::chosen<kDetectLevels>().kernel, simd::chosen<kBlendLevels>().kernel};
}

void paintEdges(uint8_t* image, const uint8_t* edges, int width, int height, parallel::WorkerPool* pool) {
  if (width <= 0 || height <= 0) return;
  // Every pixel is painted from its own edge word alone, so the frame is cut into runs of
  // pixels regardless of rows.
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  parallel::forEachChunk(pool, count, kPaintChunkPixels, [=](std::size_t begin, std::size_t end) {
    // A select rather than branches, so that the loop vectorises; storing an unchanged pixel
    // back is harmless since every pixel belongs to one thread.
    for (Index i = static_cast<Index>(begin); i < static_cast<Index>(end); ++i) {
      const uint32_t word = loadWord(edges, i);
      const uint32_t pixel = loadWord(image, i);
      storeWord(image, i, (word & EDGE_BELOW) ? kPaintBelow : (word & EDGE_RIGHT) ? kPaintRight : pixel);
    }
  });
}

void runSteps(uint8_t* image, uint8_t* edgeBuffer, int width, int height, int* stepCounter,
              uint32_t flags, const MlaaKernels& kernels, parallel::WorkerPool* pool) {
  if (width <= 0 || height <= 0) return;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * kBytesPerPixel;
  OwnedBuffer owned;
  if (edgeBuffer == nullptr) {
    owned = allocateEdgeBuffer(rowBytes * static_cast<std::size_t>(height));
    edgeBuffer = owned.get();
  }

  const int detectSteps = height / kBlockLines;                      // D
  const int rowBlocks = (height + kBlockLines - 1) / kBlockLines;    // R
  const int columnBlocks = (width + kBlockLines - 1) / kBlockLines;  // K

  // The rows below the last full block of 8 are never examined. They hold no bits, whatever
  // the buffer held before, so the result does not depend on the buffer's history.
  const int firstUnexamined = detectSteps * kBlockLines;
  std::memset(edgeBuffer + rowBytes * firstUnexamined, 0,
              rowBytes * static_cast<std::size_t>(height - firstUnexamined));

  // Wide enough that a counter at INT_MAX cannot overflow when it is advanced.
  long long step = stepCounter ? static_cast<long long>(*stepCounter) + 1 : 0;
  if (step < 0) step = 0;
  if (step < detectSteps) {
    // Each block of rows reads the image and writes its own rows of edge words only.
    const int first = static_cast<int>(step);
    parallel::forEachChunk(pool, static_cast<std::size_t>(detectSteps - first), kDetectGrain,
                           [&](std::size_t begin, std::size_t end) {
                             kernels.detect(image, static_cast<std::ptrdiff_t>(rowBytes), kEveryByte, edgeBuffer,
                                            width, height,
                                            kBlockLines * (first + static_cast<int>(begin)),
                                            kBlockLines * (first + static_cast<int>(end)), nullptr, nullptr);
                           });
    step = detectSteps;
  }

  if (flags & MLAA_VISUALIZE) {
    // Painting is step D; a counter that already stood past it has nothing left to do.
    if (step == detectSteps) paintEdges(image, edgeBuffer, width, height, pool);
    if (stepCounter) *stepCounter = detectSteps;
    return;
  }

  const BlendKernels& blend = *kernels.blend;
  const int horizontalEnd = detectSteps + rowBlocks;
  const int verticalEnd = horizontalEnd + columnBlocks;
  if (step < horizontalEnd) {
    runPassSteps(pool, static_cast<int>(step - detectSteps), rowBlocks, [&](int block) {
      blend.horizontalBlock(image, edgeBuffer, width, height, block, flags);
    });
    step = horizontalEnd;
  }
  if (step < verticalEnd) {
    // The column bits come from one walk along the rows; without memory for them, each
    // block gathers its own.
    const std::size_t words = columnBitWords(width, height);
    std::unique_ptr<uint64_t[]> columnBits(words ? new (std::nothrow) uint64_t[words] : nullptr);
    if (columnBits) {
      const std::size_t wordRows = words / static_cast<std::size_t>(width);
      parallel::forEachChunk(pool, wordRows, kGatherGrain,
                             [&](std::size_t begin, std::size_t end) {
                               blend.gatherFrameColumnBits(edgeBuffer, nullptr, width, height,
                                                           static_cast<int>(begin) * kBitsPerWord,
                                                           static_cast<int>(end) * kBitsPerWord, columnBits.get());
                             });
    }
    runPassSteps(pool, static_cast<int>(step - horizontalEnd), columnBlocks, [&](int block) {
      blend.verticalBlock(image, edgeBuffer, width, height, block, flags, columnBits.get());
    });
  }
  if (stepCounter) *stepCounter = verticalEnd;
}

}  // namespace detail

void MLAA(uint8_t* image, uint8_t* edgeBuffer, int width, int height, int* stepCounter,
          int /*unused*/, uint32_t mlaaFlags) {
  detail::runSteps(image, edgeBuffer, width, height, stepCounter, mlaaFlags, detail::chosenKernels());
}

void runMLAA(uint8_t* image, uint8_t* edgeBuffer, int width, int height, uint32_t flags,
             parallel::WorkerPool* pool) {
  int stepCounter = -1;
  detail::runSteps(image, edgeBuffer, width, height, &stepCounter, flags, detail::chosenKernels(),
                   pool);
}

}  // namespace qov::aa
