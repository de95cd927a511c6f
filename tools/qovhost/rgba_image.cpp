// Drawing operations on RGBA pictures.
#include "tools/qovhost/rgba_image.h"

#include <algorithm>
#include <cstring>

namespace qov::qovhost {

RgbaImage::RgbaImage(uint32_t w, uint32_t h, Rgba fill)
    : width(w), height(h), pixels(std::size_t{w} * h * kRgbaChannels) {
  for (std::size_t i = 0; i < pixels.size(); i += kRgbaChannels) {
    pixels[i] = fill.r;
    pixels[i + 1] = fill.g;
    pixels[i + 2] = fill.b;
    pixels[i + 3] = fill.a;
  }
}

void RgbaImage::set(uint32_t x, uint32_t y, Rgba colour) {
  uint8_t* pixel = at(x, y);
  pixel[0] = colour.r;
  pixel[1] = colour.g;
  pixel[2] = colour.b;
  pixel[3] = colour.a;
}

RgbaImage crop(const RgbaImage& source, Rect area) {
  RgbaImage result(area.width, area.height);
  for (uint32_t y = 0; y < area.height; ++y)
    std::memcpy(result.at(0, y), source.at(area.x, area.y + y), std::size_t{area.width} * kRgbaChannels);
  return result;
}

RgbaImage enlarge(const RgbaImage& source, uint32_t factor) {
  RgbaImage result(source.width * factor, source.height * factor);
  for (uint32_t y = 0; y < result.height; ++y)
    for (uint32_t x = 0; x < result.width; ++x)
      std::memcpy(result.at(x, y), source.at(x / factor, y / factor), kRgbaChannels);
  return result;
}

RgbaImage halve(const RgbaImage& source) {
  RgbaImage result(source.width / 2, source.height / 2);
  for (uint32_t y = 0; y < result.height; ++y)
    for (uint32_t x = 0; x < result.width; ++x)
      for (uint32_t c = 0; c < kRgbaChannels; ++c) {
        const unsigned sum = source.at(2 * x, 2 * y)[c] + source.at(2 * x + 1, 2 * y)[c] +
                             source.at(2 * x, 2 * y + 1)[c] + source.at(2 * x + 1, 2 * y + 1)[c];
        result.at(x, y)[c] = static_cast<uint8_t>((sum + 2) / 4);
      }
  return result;
}

void paste(RgbaImage& target, const RgbaImage& source, uint32_t x, uint32_t y) {
  if (x >= target.width || y >= target.height) return;
  const uint32_t columns = std::min(source.width, target.width - x);
  const uint32_t rows = std::min(source.height, target.height - y);
  for (uint32_t row = 0; row < rows; ++row)
    std::memcpy(target.at(x, y + row), source.at(0, row), std::size_t{columns} * kRgbaChannels);
}

void fillRect(RgbaImage& target, Rect area, Rgba colour) {
  const uint32_t right = std::min(target.width, area.x + area.width);
  const uint32_t bottom = std::min(target.height, area.y + area.height);
  for (uint32_t y = area.y; y < bottom; ++y)
    for (uint32_t x = area.x; x < right; ++x) target.set(x, y, colour);
}

void outlineRect(RgbaImage& target, Rect area, uint32_t thickness, Rgba colour) {
  thickness = std::min({thickness, area.width, area.height});
  fillRect(target, {area.x, area.y, area.width, thickness}, colour);
  fillRect(target, {area.x, area.y + area.height - thickness, area.width, thickness}, colour);
  fillRect(target, {area.x, area.y, thickness, area.height}, colour);
  fillRect(target, {area.x + area.width - thickness, area.y, thickness, area.height}, colour);
}

}  // namespace qov::qovhost
