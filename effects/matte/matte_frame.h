// The matte effect over a whole frame: the kernel of the best instruction-set level the
// processor runs, on the calling thread or with the frame shared among a pool's threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/matte/matte_kernels.h"
#include "effects/matte/matte_settings.h"
#include "effects/parallel/chunking.h"
#include "effects/parallel/worker_pool.h"
#include "effects/simd/cpu_level.h"

namespace qov::matte {

// width x height 4-byte pixels, rows packed back to back, in all three buffers.
// destination gets the colour bytes of colourSource and, as byte 3, the mask of the
// maskSource pixel at the same position. destination may be colourSource and/or maskSource.
// Nothing happens when width or height is below 1. Safe to call from several threads on
// different frames. With a pool, the frame is shared among its threads.
void matteFrame(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                int width, int height, const MatteSettings& s, parallel::WorkerPool* pool = nullptr);

namespace detail {

// The pixels of one chunk that a thread claims from the pool: 64 KiB of output, a whole
// number of cache lines. Frames of one chunk or less run on the calling thread. The pass is
// limited by memory (one thread with vector code comes within about 1.2x a memcpy of the
// frame), and small chunks mean that a thread the system schedules late holds up the frame
// by one chunk at most.
constexpr size_t chunkPixels = parallel::kChunkPixels;

// The kernel of a level, or nullptr when this build or this processor lacks the level.
MatteKernel kernelForLevel(simd::Level level);

// The kernel matteFrame uses: that of the highest level supported, chosen once.
MatteKernel selectedKernel();

// matteFrame with a given kernel and chunk size (pixels, rounded up to whole cache lines);
// tests and benchmarks use it to force a level, or splits of small frames.
void matteFrameWith(MatteKernel kernel, parallel::WorkerPool* pool, size_t chunkPixels,
                    const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                    size_t pixelCount, const MatteSettings& s);

}  // namespace detail
}  // namespace qov::matte
