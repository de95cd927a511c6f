// Between RGBA pictures and the frames the plug-ins process: rows top to bottom, packed,
// bytes blue, green, red (and alpha at 32 bits) per pixel.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/qovhost/rgba_image.h"

namespace qov::qovhost {

inline constexpr uint32_t kBytesPerPixel24 = 3;
inline constexpr uint32_t kBytesPerPixel32 = 4;

// `bytesPerPixel` is 3 (alpha dropped) or 4.
std::vector<uint8_t> toFrame(const RgbaImage& image, uint32_t bytesPerPixel);
// A 3-byte frame comes back opaque.
RgbaImage fromFrame(const uint8_t* frame, uint32_t width, uint32_t height, uint32_t bytesPerPixel);

}  // namespace qov::qovhost
