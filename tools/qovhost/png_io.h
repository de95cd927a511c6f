// PNG files in and out through libpng. Any colour type and bit depth libpng reads
// arrives as 8-bit RGBA (palette and grey expanded, 16-bit channels scaled, missing alpha
// opaque, with a warning for 16-bit files); pictures leave as 8-bit RGB or RGBA.
#pragma once

#include <string>

#include "tools/qovhost/rgba_image.h"

namespace qov::qovhost {

enum class PngChannels { kRgb, kRgba };

// Throws CommandError naming the file and the reason.
RgbaImage readPng(const std::string& path);
// Writes through a temporary file, so `path` is either the whole picture or untouched.
// Throws CommandError.
void writePng(const std::string& path, const RgbaImage& image, PngChannels channels);

}  // namespace qov::qovhost
