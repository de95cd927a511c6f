// The whole-frame matte pass: kernel choice and the split of the frame among threads.
#include "effects/matte/matte_frame.h"

#include "effects/matte/matte_frame_internal.h"
#include "effects/matte/matte_rule.h"

namespace qov::matte {
namespace detail {
namespace {

// Threads' blocks start on whole cache lines of the output, so no two threads write into
// the same line.
constexpr size_t cacheLineBytes = 64;
constexpr size_t blockAlignPixels = cacheLineBytes / bytesPerPixel;

}  // namespace

MatteKernel selectedKernel() { return simd::chosen<kMatteLevels>().kernel; }

void matteFrameWith(MatteKernel kernel, parallel::WorkerPool* pool, size_t chunkPixels,
                    const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                    size_t pixelCount, const MatteByteRule& r) {
  // Every pixel is independent, so the frame is cut into runs of pixels regardless of rows;
  // runs start on whole cache lines of the output, so no two threads write into one line.
  const size_t grain = chunkPixels <= blockAlignPixels
                           ? blockAlignPixels
                           : (chunkPixels + blockAlignPixels - 1) / blockAlignPixels * blockAlignPixels;
  parallel::forEachChunk(pool, pixelCount, grain, [&](size_t begin, size_t end) {
    const size_t offset = begin * bytesPerPixel;
    kernel(colourSource + offset, maskSource + offset, destination + offset, end - begin, r);
  });
}

void matteRowsWith(MatteKernel kernel, parallel::WorkerPool* pool, size_t chunkPixels,
                   const uint8_t* colourSource, size_t colourStride, const uint8_t* maskSource,
                   size_t maskStride, uint8_t* destination, size_t destinationStride, size_t width,
                   size_t height, const MatteByteRule& r) {
  const size_t packedStride = width * bytesPerPixel;
  if (colourStride == packedStride && maskStride == packedStride && destinationStride == packedStride) {
    matteFrameWith(kernel, pool, chunkPixels, colourSource, maskSource, destination, width * height, r);
    return;
  }
  const size_t rowsPerChunk = chunkPixels > width ? chunkPixels / width : 1;
  parallel::forEachChunk(pool, height, rowsPerChunk, [&](size_t begin, size_t end) {
    for (size_t y = begin; y < end; ++y)
      kernel(colourSource + y * colourStride, maskSource + y * maskStride, destination + y * destinationStride,
             width, r);
  });
}

}  // namespace detail

void matteFrame(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                int width, int height, const MatteSettings& s, parallel::WorkerPool* pool) {
  if (width < 1 || height < 1) return;
  const size_t pixelCount = static_cast<size_t>(width) * static_cast<size_t>(height);
  detail::matteFrameWith(detail::selectedKernel(), pool, detail::chunkPixels, colourSource, maskSource,
                         destination, pixelCount, s);
}

void matteFrame(const uint8_t* colourSource, size_t colourStride, const uint8_t* maskSource, size_t maskStride,
                uint8_t* destination, size_t destinationStride, int width, int height, const MatteLayout& layout,
                const MatteSettings& s, parallel::WorkerPool* pool) {
  if (width < 1 || height < 1) return;
  detail::matteRowsWith(detail::selectedKernel(), pool, detail::chunkPixels, colourSource, colourStride, maskSource,
                        maskStride, destination, destinationStride, static_cast<size_t>(width),
                        static_cast<size_t>(height), MatteByteRule(s, layout));
}

}  // namespace qov::matte
