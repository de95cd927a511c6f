// The matte effect over a whole frame: the kernel of the best instruction-set level the
// processor runs, on the calling thread or with the frame shared among a pool's threads.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/matte/matte_byte_rule.h"
#include "effects/matte/matte_settings.h"
#include "effects/parallel/worker_pool.h"

namespace qov::matte {

// width x height 4-byte pixels, rows packed back to back, in all three buffers.
// destination gets the colour bytes of colourSource and, as byte 3, the mask of the
// maskSource pixel at the same position. destination may be colourSource and/or maskSource.
// Nothing happens when width or height is below 1. Safe to call from several threads on
// different frames. With a pool, the frame is shared among its threads.
void matteFrame(const uint8_t* colourSource, const uint8_t* maskSource, uint8_t* destination,
                int width, int height, const MatteSettings& s, parallel::WorkerPool* pool = nullptr);

// The same for three frames of one layout whose rows start `stride` bytes apart (at least
// width x 4): the mask of each maskSource pixel goes to the layout's fourth byte, the other
// three bytes come from colourSource. The bytes between the end of a row and the next row's
// start are neither read nor written. destination may be colourSource and/or maskSource
// with the same stride.
void matteFrame(const uint8_t* colourSource, std::size_t colourStride, const uint8_t* maskSource,
                std::size_t maskStride, uint8_t* destination, std::size_t destinationStride, int width,
                int height, const MatteLayout& layout, const MatteSettings& s,
                parallel::WorkerPool* pool = nullptr);

}  // namespace qov::matte
