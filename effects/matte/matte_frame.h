// The matte effect over a whole frame: the kernel of the best instruction-set level the
// processor runs, on the calling thread or with the frame shared among OpenMP threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "effects/matte/matte_kernels.h"
#include "effects/matte/matte_settings.h"
#include "effects/simd/cpu_level.h"
#include "effects/simd/parallel_policy.h"

namespace qov::matte {

// width x height 4-byte pixels, rows packed back to back, in all three buffers.
// destination gets the colour bytes of colourSource and, as byte 3, the mask of the
// maskSource pixel at the same position. destination may be colourSource and/or maskSource.
// Nothing happens when width or height is below 1. Safe to call from several threads on
// different frames.
void matteFrame(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                int width, int height, const MatteSettings& s);

namespace detail {

// Frames of at least this many pixels are shared among the OpenMP threads; smaller ones run
// on the calling thread. The pass is limited by memory, and one thread with vector code
// comes within about 1.2x of a memcpy of the frame. On an idle 2-core machine two threads
// are faster still (about 0.65x, from some 16K pixels up), but the region's end waits for
// every thread: when the other core is busy, as it is in a host that decodes and draws at
// the same time, a frame takes 4 to 30 ms instead of 0.4 ms (bench_matte shows both). So the
// threaded pass is kept, tested and measured, but taken for no frame size (the limit all
// effects share, effects/simd/parallel_policy.h).
constexpr size_t minParallelPixels = simd::kMinParallelBytes;

// The kernel of a level, or nullptr when this build or this processor lacks the level.
MatteKernel kernelForLevel(simd::Level level);

// The kernel matteFrame uses: that of the highest level supported, chosen once.
MatteKernel selectedKernel();

// matteFrame with a given kernel and serial limit; tests and benchmarks use it to force a
// level or the threaded path on small frames.
void matteFrameWith(MatteKernel kernel, size_t parallelFromPixels, const uint8_t* colourSource,
                    const uint8_t* maskSource, uint8_t* destination, size_t pixelCount,
                    const MatteSettings& s);

}  // namespace detail
}  // namespace qov::matte
