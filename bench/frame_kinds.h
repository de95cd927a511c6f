// The kinds of frame the whole-call benchmark feeds the plug-ins, at any size and at 3 or 4
// bytes per pixel: the bundled hard-edged aliased scene, a photo-like frame (smooth
// gradients, soft shapes, mild noise), random noise (every pixel an edge), and real
// photographs with fine texture (bench/photographs.h). The same arguments always give the
// same bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace qov::bench {

enum class FrameKind { scene, photo, noise, photographs };

const char* frameKindName(FrameKind kind);

// width x height pixels of `bytesPerPixel` (3 or 4) bytes, rows top to bottom, unpadded.
// Throws std::runtime_error when the photographs cannot be found or read.
std::vector<uint8_t> makeFrame(FrameKind kind, uint32_t width, uint32_t height, uint32_t bytesPerPixel);

}  // namespace qov::bench
