// The matte effect over a whole frame: the kernel of the best instruction-set level the
// processor runs, with the frame shared among the OpenMP threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/matte/matte_kernels.h"
#include "effects/matte/matte_settings.h"
#include "effects/simd/cpu_level.h"

namespace qov::matte {

// width x height 4-byte pixels, rows packed back to back, in all three buffers.
// destination gets the colour bytes of colourSource and, as byte 3, the mask of the
// maskSource pixel at the same position. destination may be colourSource and/or maskSource.
// Nothing happens when width or height is below 1. Safe to call from several threads on
// different frames.
void matteFrame(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                int width, int height, const MatteSettings& s);

namespace detail {

// Frames smaller than this run on the calling thread: starting the team costs more than
// the work (see bench_matte).
constexpr size_t minParallelPixels = size_t{1} << 16;

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
