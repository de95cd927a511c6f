// An 8-bit RGBA picture in memory (rows top to bottom, bytes R, G, B, A per pixel), the
// form every PNG takes on its way in and out, and the few drawing operations the demo's
// pictures need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qov::qovhost {

inline constexpr uint32_t kRgbaChannels = 4;
inline constexpr uint8_t kOpaque = 255;

struct Rgba {
  uint8_t r, g, b, a;
};

struct Rect {
  uint32_t x, y, width, height;
};

struct RgbaImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // width x height x 4 bytes

  RgbaImage() = default;
  RgbaImage(uint32_t w, uint32_t h, Rgba fill = {0, 0, 0, kOpaque});

  uint8_t* at(uint32_t x, uint32_t y) { return &pixels[(std::size_t{y} * width + x) * kRgbaChannels]; }
  const uint8_t* at(uint32_t x, uint32_t y) const {
    return &pixels[(std::size_t{y} * width + x) * kRgbaChannels];
  }
  void set(uint32_t x, uint32_t y, Rgba colour);
};

// The part of `source` inside `area` (which must lie inside it).
RgbaImage crop(const RgbaImage& source, Rect area);
// Each pixel repeated `factor` times in both directions, so that single pixels stay visible.
RgbaImage enlarge(const RgbaImage& source, uint32_t factor);
// Each 2x2 block averaged (a trailing odd row or column is dropped).
RgbaImage halve(const RgbaImage& source);
// Copies `source` into `target` with its top-left corner at (x, y), clipped to `target`.
void paste(RgbaImage& target, const RgbaImage& source, uint32_t x, uint32_t y);
void fillRect(RgbaImage& target, Rect area, Rgba colour);
// A frame of `thickness` pixels just inside `area`, clipped to `target`.
void outlineRect(RgbaImage& target, Rect area, uint32_t thickness, Rgba colour);

}  // namespace qov::qovhost
