// Frames of real photographs for the benchmarks: gravel, grass, a cat's fur and a busy
// workshop, the photographs scripts/photographs.sh unpacks from Debian's scikit-image
// package, found at run time and laid out as a mosaic of the frame's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qov::bench {

// The directory holding the photographs: $QOV_PHOTOGRAPHS, scikit-image's installed data,
// or the build's own copy (scripts/photographs.sh). Empty when none holds them all.
std::string photographDirectory();

// width x height RGBA pixels, rows packed: the frame in four quadrants, one photograph
// each, repeated as mirror images of itself to fill its quadrant (so the copies meet
// without seams). Frames up to 1920x1080 show the photographs' own pixels; larger frames
// show them enlarged (bilinear) by height / 1080, rounded, so that a 3840x2160 frame shows
// the same scenes at twice the resolution, as a 4K camera would. Throws std::runtime_error
// naming what is missing when the photographs cannot be read.
std::vector<uint8_t> photographMosaic(uint32_t width, uint32_t height);

}  // namespace qov::bench
