// The Strength mix: the last step of an antialiased frame, a cross-fade from the
// unprocessed input frame to the antialiased image.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/parallel/worker_pool.h"

namespace qov::aa {

// Writes `output` as the input frame weighted by 255 - strength8 plus the antialiased image
// weighted by strength8, both in 255ths: every colour byte is
// min(255, round(((255 - s)*P + s*Q) / 255)) with s the low 8 bits of strength8, P the input
// byte and Q the antialiased byte, so identical images come back unchanged at every strength.
// With 4 channels, byte 3 of every output pixel is the input's (when output == input it is
// simply left as it was). With a pool, bands of rows are mixed on its threads (the bytes are
// the same).
//
// It cannot fail; what it needs the frame pipeline guarantees: width and height of 1 or
// more, channels 3 or 4, all three images width x height pixels of `channels` bytes with
// rows packed, and output either the input itself or apart from both sources.
void strengthCrossFade(uint8_t* output, const uint8_t* input, const uint8_t* antialiased,
                       int width, int height, int channels, int strength8,
                       parallel::WorkerPool* pool = nullptr);

// The 4-byte mix over `count` consecutive pixels, in one pass: colour bytes mixed, byte 3 of
// every output pixel the input's. `output` may be `input`.
void strengthCrossFadePixels4(uint8_t* output, const uint8_t* input, const uint8_t* antialiased, std::size_t count,
                              int strength8);

// The same mix over `bytes` consecutive bytes, every one of them (no byte is kept): for
// pixels in another layout, whose fourth byte the caller has made the same in both sources,
// so that it comes back unchanged. `output` may be `input`.
void strengthCrossFadeBytes(uint8_t* output, const uint8_t* input, const uint8_t* antialiased, std::size_t bytes,
                            int strength8);

}  // namespace qov::aa
