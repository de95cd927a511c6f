// The 1920 x 1080 frames MLAA is measured on: an aliased synthetic scene (hard-edged polygons
// at many angles and one-pixel lines over a smooth background) and a noisy frame (edges
// everywhere). Shared by the benchmark and the profiling driver, so both see the same pixels.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace qov::bench {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr size_t kFrameBytes = static_cast<size_t>(kWidth) * kHeight * 4;
constexpr double kPi = 3.14159265358979323846;

inline void put(std::vector<uint8_t>& f, int x, int y, uint32_t v) {
  if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
  std::memcpy(&f[(static_cast<size_t>(y) * kWidth + x) * 4], &v, 4);
}

// Convex polygons (rotated regular n-gons) filled without antialiasing, then one-pixel lines,
// over a smooth background.
inline std::vector<uint8_t> makeScene() {
  std::vector<uint8_t> f(kFrameBytes);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      put(f, x, y, static_cast<uint32_t>((x / 16) | ((y / 8) << 8) | (90 << 16)));
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int p = 0; p < 120; ++p) {
    const double cx = unit(rng) * kWidth, cy = unit(rng) * kHeight;
    const double radius = 20 + unit(rng) * 160, phase = unit(rng) * 2 * kPi;
    const int sides = 3 + static_cast<int>(unit(rng) * 5);
    const uint32_t colour = static_cast<uint32_t>(rng()) & 0x00FFFFFFu;
    std::vector<double> vx(sides), vy(sides);
    for (int k = 0; k < sides; ++k) {
      vx[k] = cx + radius * std::cos(phase + 2 * kPi * k / sides);
      vy[k] = cy + radius * std::sin(phase + 2 * kPi * k / sides);
    }
    for (int y = static_cast<int>(cy - radius); y <= static_cast<int>(cy + radius); ++y)
      for (int x = static_cast<int>(cx - radius); x <= static_cast<int>(cx + radius); ++x) {
        bool inside = true;
        for (int k = 0; k < sides && inside; ++k) {
          const int n = (k + 1) % sides;
          inside = (vx[n] - vx[k]) * (y + 0.5 - vy[k]) - (vy[n] - vy[k]) * (x + 0.5 - vx[k]) >= 0;
        }
        if (inside) put(f, x, y, colour);
      }
  }
  for (int l = 0; l < 200; ++l) {
    const double x0 = unit(rng) * kWidth, y0 = unit(rng) * kHeight;
    const double angle = unit(rng) * kPi, length = 50 + unit(rng) * 600;
    const uint32_t colour = static_cast<uint32_t>(rng()) & 0x00FFFFFFu;
    const int steps = static_cast<int>(length);
    for (int s = 0; s <= steps; ++s)
      put(f, static_cast<int>(std::lround(x0 + s * std::cos(angle))),
          static_cast<int>(std::lround(y0 + s * std::sin(angle))), colour);
  }
  return f;
}

inline std::vector<uint8_t> makeNoise() {
  std::vector<uint8_t> f(kFrameBytes);
  std::mt19937 rng(99);
  for (size_t i = 0; i < kFrameBytes; i += 4) {
    const uint32_t v = static_cast<uint32_t>(rng()) & 0x00FFFFFFu;
    std::memcpy(&f[i], &v, 4);
  }
  return f;
}

}  // namespace qov::bench
