// The antialiasing effect applied to one host frame: a 4-byte working copy of the frame,
// MLAA on that copy, and the Strength mix of the result with the untouched frame.
#pragma once

#include <cstdint>

#include "effects/parallel/worker_pool.h"

namespace qov::aa {

struct AntialiasSettings {
  float strength = 1.0f;  // 0..1: weight of the antialiased image in the final mix
  bool useHalf = false;
  bool thinLines = false;
  bool visualize = false;
  bool useAlpha = false;  // 4-byte frames: alpha differences count as edges
};

// The 8-bit weight of the antialiased image: strength * 255 in single precision,
// truncated. A Strength of 0.5 gives 127; NaN gives 0.
uint8_t strength8FromStrength(float strength);

// The flags word handed to MLAA for these settings.
uint32_t mlaaFlagsFor(const AntialiasSettings& settings);

// Antialiases `input` (width x height pixels of `channels` bytes, 3 or 4) into `output`,
// which may be the same buffer. `workFrame` and `edgeBuffer` are the caller's working
// images of width x height x 4 bytes; nothing is allocated. With 4 channels the output's
// byte 3 is always the input's. With a pool, the per-pixel passes and MLAA share its threads.
void antialiasFrame(const uint8_t* input, uint8_t* output, uint8_t* workFrame, uint8_t* edgeBuffer, int width,
                    int height, int channels, const AntialiasSettings& settings,
                    parallel::WorkerPool* pool = nullptr);

}  // namespace qov::aa
