// MLAA: morphological antialiasing of one 32-bit frame, in place.
//
// The frame is width x height pixels of four bytes, rows packed back to back. Bytes 0..2 are
// colour, byte 3 is alpha (the caller zeroes it unless alpha differences should count as
// edges). Pixels are read as little-endian 32-bit words through byte copies, so the buffers may
// have any alignment and any width of 1 pixel or more is accepted.
#pragma once

#include <cstdint>

namespace qov::parallel {
class WorkerPool;
}

namespace qov::aa {

// Bits of the flags word of one call.
inline constexpr uint32_t MLAA_USE_HALF = 0x08u;    // every blend height is 0.5
inline constexpr uint32_t MLAA_VISUALIZE = 0x10u;   // paint the detected edges, no blending
inline constexpr uint32_t MLAA_THIN_LINES = 0x40u;  // soften one-pixel-thick lines first

// Antialiases the whole frame with the given flags. edgeBuffer is width x height words of
// scratch space (any alignment) or null, in which case MLAA allocates its own. With a pool,
// detection and blending are split over its threads; the bytes are those of the serial order.
void runMLAA(uint8_t* image, uint8_t* edgeBuffer, int width, int height, uint32_t flags,
             parallel::WorkerPool* pool = nullptr);

}  // namespace qov::aa
