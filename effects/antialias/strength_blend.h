// The Strength mix: the last step of an antialiased frame, a cross-fade from the
// unprocessed input frame to the antialiased image.
#pragma once

#include <cstdint>

#include "effects/parallel/worker_pool.h"

namespace qov::aa {

// Writes `output` (width x height pixels of `channels` bytes, rows packed) as the input
// frame weighted by 255 - strength8 plus the antialiased image weighted by strength8,
// both in 255ths (composeConstAlpha, kind COMPOSE_PLUS). With 4 channels, byte 3 of every
// output pixel is the input's. The input is first copied to the output when the two
// differ and channels is 3 or 4; when output == input, byte 3 is left as it was.
// Only the low 8 bits of strength8 count. Returns the status of the composition. With a
// pool, bands of rows are mixed on its threads (the bytes are the same).
int strengthBlend(uint8_t* output, const uint8_t* input, const uint8_t* antialiased,
                  int width, int height, int channels, int strength8, parallel::WorkerPool* pool = nullptr);

}  // namespace qov::aa
