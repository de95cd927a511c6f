// What the whole-frame matte pass is made of, for the tests and the benchmarks: the kernel
// it chose and the pass with a given kernel and chunk size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/matte/matte_frame.h"
#include "effects/matte/matte_kernels.h"
#include "effects/parallel/chunking.h"

namespace qov::matte::detail {

// The pixels of one chunk that a thread claims from the pool: 64 KiB of output, a whole
// number of cache lines. Frames of one chunk or less run on the calling thread. The pass is
// limited by memory (one thread with vector code comes within about 1.2x a memcpy of the
// frame), and small chunks mean that a thread the system schedules late holds up the frame
// by one chunk at most.
constexpr size_t chunkPixels = parallel::kChunkPixels;

// The kernel matteFrame uses: that of the highest level allowed, chosen once.
MatteKernel selectedKernel();

// matteFrame with a given kernel and chunk size (pixels, rounded up to whole cache lines);
// tests and benchmarks use it to force a level, or splits of small frames.
void matteFrameWith(MatteKernel kernel, parallel::WorkerPool* pool, size_t chunkPixels,
                    const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                    size_t pixelCount, const MatteByteRule& r);

// The same over rows that start `stride` bytes apart; chunks are whole rows, as many as make
// up chunkPixels (at least one).
void matteRowsWith(MatteKernel kernel, parallel::WorkerPool* pool, size_t chunkPixels,
                   const uint8_t* colourSource, size_t colourStride, const uint8_t* maskSource,
                   size_t maskStride, uint8_t* destination, size_t destinationStride, size_t width,
                   size_t height, const MatteByteRule& r);

}  // namespace qov::matte::detail
