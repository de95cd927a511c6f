// Pixel reordering between RGBA and the frame layout.
#include "tools/qovhost/frame_conversion.h"

namespace qov::qovhost {
namespace {

// Byte positions within a frame pixel.
constexpr std::size_t kBlue = 0;
constexpr std::size_t kGreen = 1;
constexpr std::size_t kRed = 2;
constexpr std::size_t kAlpha = 3;

}  // namespace

std::vector<uint8_t> toFrame(const RgbaImage& image, uint32_t bytesPerPixel) {
  const std::size_t count = std::size_t{image.width} * image.height;
  std::vector<uint8_t> frame(count * bytesPerPixel);
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* rgba = &image.pixels[i * kRgbaChannels];
    uint8_t* pixel = &frame[i * bytesPerPixel];
    pixel[kBlue] = rgba[2];
    pixel[kGreen] = rgba[1];
    pixel[kRed] = rgba[0];
    if (bytesPerPixel == kBytesPerPixel32) pixel[kAlpha] = rgba[3];
  }
  return frame;
}

RgbaImage fromFrame(const uint8_t* frame, uint32_t width, uint32_t height, uint32_t bytesPerPixel) {
  RgbaImage image(width, height);
  const std::size_t count = std::size_t{width} * height;
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t* pixel = &frame[i * bytesPerPixel];
    uint8_t* rgba = &image.pixels[i * kRgbaChannels];
    rgba[0] = pixel[kRed];
    rgba[1] = pixel[kGreen];
    rgba[2] = pixel[kBlue];
    rgba[3] = bytesPerPixel == kBytesPerPixel32 ? pixel[kAlpha] : kOpaque;
  }
  return image;
}

}  // namespace qov::qovhost
