// The antialiasing effect applied to one frame: a 4-byte working copy of the frame, MLAA on
// that copy, and the Strength mix of the result with the untouched frame. Frames may have
// padded rows and any of the pixel layouts of pixel_layout.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/antialias/antialias_workspace.h"
#include "effects/antialias/pixel_layout.h"
#include "effects/parallel/worker_pool.h"

namespace qov::aa {

struct AntialiasSettings {
  float strength = 1.0f;  // 0..1: weight of the antialiased image in the final mix
  bool useHalf = false;
  bool thinLines = false;
  bool visualize = false;
  bool useAlpha = false;  // 4-byte frames: differences in the fourth byte count as edges
};

// The 8-bit weight of the antialiased image: strength * 255 in single precision,
// truncated. A Strength of 0.5 gives 127; NaN gives 0.
uint8_t strength8FromStrength(float strength);

// The flags word handed to MLAA for these settings.
uint32_t mlaaFlagsFor(const AntialiasSettings& settings);

// Antialiases `input` into `output`: width x height pixels laid out as `layout` says, rows
// `inputStride` and `outputStride` bytes apart (at least width x layout.channels; the bytes
// past a row's pixels are never written). For in place, pass the same pointer and stride;
// otherwise the two frames must not overlap.
//
// The output is, by meaning, what the effect gives on the same frame in its own layout
// (BGRA or BGR, rows packed): every colour byte the same for the same colour, so Visualize
// paints the same colours and Use Alpha reads the fourth byte wherever it sits. With 4
// channels the output's fourth byte is always the input's.
//
// `workspace` must fit the frame (AntialiasWorkspace::fits); nothing is allocated. With a
// pool, the passes share its threads; the bytes are the same. Returns false, writing
// nothing, when the arguments are refused: a null frame, an invalid layout, a stride below
// the row's bytes, frames that overlap other than in place, or a workspace that does not
// fit. A frame without pixels (width or height below 1) is left alone and gives true.
bool antialiasFrame(const uint8_t* input, std::ptrdiff_t inputStride, uint8_t* output, std::ptrdiff_t outputStride,
                    int width, int height, const PixelLayout& layout, const AntialiasSettings& settings,
                    AntialiasWorkspace& workspace, parallel::WorkerPool* pool = nullptr);

}  // namespace qov::aa
