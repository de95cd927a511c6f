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
                    size_t pixelCount, const MatteSettings& s) {
  // Every pixel is independent, so the frame is cut into runs of pixels regardless of rows;
  // runs start on whole cache lines of the output, so no two threads write into one line.
  const size_t grain = chunkPixels <= blockAlignPixels
                           ? blockAlignPixels
                           : (chunkPixels + blockAlignPixels - 1) / blockAlignPixels * blockAlignPixels;
  parallel::forEachChunk(pool, pixelCount, grain, [&](size_t begin, size_t end) {
    const size_t offset = begin * bytesPerPixel;
    kernel(colourSource + offset, maskSource + offset, destination + offset, end - begin, s);
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

}  // namespace qov::matte
