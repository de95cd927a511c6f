// A 5x7 pixel font of capital letters, digits and a few signs: the labels of the demo's
// pictures and the text-like detail of the generated scene.
#pragma once

#include <cstdint>
#include <string>

#include "tools/qovhost/rgba_image.h"

namespace qov::qovhost {

inline constexpr uint32_t kGlyphColumns = 5;
inline constexpr uint32_t kGlyphRows = 7;
inline constexpr uint32_t kGlyphAdvance = kGlyphColumns + 1;  // one blank column between glyphs

// Whether the glyph of `c` is inked at (column, row), row 0 at the top. Small letters
// look like capitals; characters the font lacks are blank.
bool glyphInk(char c, uint32_t column, uint32_t row);

// Width in pixels of `text` drawn with `scale` x `scale` pixels per glyph cell.
uint32_t textWidth(const std::string& text, uint32_t scale);
// Draws `text` with its top-left corner at (x, y), clipped to the image.
void drawText(RgbaImage& image, const std::string& text, uint32_t x, uint32_t y, uint32_t scale, Rgba colour);

}  // namespace qov::qovhost
