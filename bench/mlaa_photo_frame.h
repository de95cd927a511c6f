// A photo-like 1920 x 1080 frame for the MLAA measurements: smooth gradients and a vignette
// with mild sensor-like noise, and a few soft-edged shapes whose rims are steep enough to
// count as edges. Integer arithmetic and one square root, so every build draws the same
// pixels.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/mlaa_scenes.h"

namespace qov::bench {

inline std::vector<uint8_t> makePhoto() {
  std::vector<uint8_t> f(kFrameBytes);
  uint32_t state = 0x9E3779B9u;
  const auto next = [&state] {  // xorshift32
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  const auto clampByte = [](int v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  const long long cornerDistance =
      static_cast<long long>(kWidth) * kWidth / 4 + static_cast<long long>(kHeight) * kHeight / 4;
  std::vector<int> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const long long dx = x - kWidth / 2, dy = y - kHeight / 2;
      const int vignette = static_cast<int>((dx * dx + dy * dy) * 90 / cornerDistance);
      int* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
      p[0] = 40 + x * 150 / kWidth + y * 40 / kHeight - vignette;
      p[1] = 70 + (x + y) * 100 / (kWidth + kHeight) - vignette;
      p[2] = 200 - y * 120 / kHeight - vignette / 2;
    }
  // Soft discs: full colour inside radius - rim, fading linearly over the rim.
  constexpr int kShapes = 14;
  for (int s = 0; s < kShapes; ++s) {
    const int cx = static_cast<int>(next() % kWidth), cy = static_cast<int>(next() % kHeight);
    const int radius = 40 + static_cast<int>(next() % 220), rim = 3 + static_cast<int>(next() % 10);
    const int colour[3] = {static_cast<int>(next() % 256), static_cast<int>(next() % 256),
                           static_cast<int>(next() % 256)};
    for (int y = std::max(0, cy - radius); y < std::min(kHeight, cy + radius); ++y)
      for (int x = std::max(0, cx - radius); x < std::min(kWidth, cx + radius); ++x) {
        const double d = std::sqrt(static_cast<double>((x - cx) * (x - cx) + (y - cy) * (y - cy)));
        const int weight = d >= radius ? 0 : d <= radius - rim ? 256
                                       : static_cast<int>((radius - d) * 256 / rim);
        int* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
        for (int c = 0; c < 3; ++c) p[c] = (colour[c] * weight + p[c] * (256 - weight)) >> 8;
      }
  }
  for (size_t i = 0; i < static_cast<size_t>(kWidth) * kHeight; ++i) {
    uint32_t pixel = 0;
    for (int c = 0; c < 3; ++c)
      pixel |= clampByte(rgb[3 * i + c] + static_cast<int>(next() % 7) - 3) << (8 * c);
    std::memcpy(&f[4 * i], &pixel, 4);
  }
  return f;
}

}  // namespace qov::bench
