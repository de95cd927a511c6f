// The benchmark's frames. Every random number comes straight from std::mt19937, whose output
// the standard fixes, so each kind is the same on every platform.
#include "bench/frame_kinds.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "bench/photographs.h"
#include "tools/qovhost/scene.h"

namespace qov::bench {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint32_t kRgbaBytes = 4;

// Soft shapes laid over the photo's background: ellipses whose border fades over a band of
// `kSoftness` times their radius, so that the frame has colour changes but no hard edges.
constexpr int kSoftShapes = 28;
constexpr double kSmallestRadius = 0.04;  // of the frame height
constexpr double kRadiusRange = 0.14;
constexpr double kSoftness = 0.35;
constexpr double kLeastOpacity = 0.45;
constexpr double kOpacityRange = 0.45;
// Sensor-like grain: each channel moves by up to this much either way.
constexpr int kGrain = 4;

double unit(std::mt19937& engine) { return engine() / 4294967296.0; }

double smoothStep(double edge0, double edge1, double x) {
  const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
  return t * t * (3 - 2 * t);
}

struct SoftShape {
  double centreX, centreY, radiusX, radiusY, opacity;
  double colour[3];
};

std::vector<uint8_t> photoRgba(uint32_t width, uint32_t height) {
  std::mt19937 engine(2024);
  std::vector<SoftShape> shapes(kSoftShapes);
  for (SoftShape& s : shapes) {
    s.centreX = unit(engine) * width;
    s.centreY = unit(engine) * height;
    const double radius = (kSmallestRadius + kRadiusRange * unit(engine)) * height;
    const double aspect = 0.6 + unit(engine);
    s.radiusX = radius * aspect;
    s.radiusY = radius / aspect;
    s.opacity = kLeastOpacity + kOpacityRange * unit(engine);
    for (double& c : s.colour) c = 255 * unit(engine);
  }
  // One row at a time, so that a 3840 x 2160 frame needs no full-frame buffer of doubles.
  std::vector<uint8_t> rgba(std::size_t{width} * height * kRgbaBytes);
  std::vector<double> row(std::size_t{width} * 3);
  const double reach = 1 + kSoftness;
  for (uint32_t y = 0; y < height; ++y) {
    const double v = static_cast<double>(y) / height;
    for (uint32_t x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width;
      double* p = &row[std::size_t{x} * 3];
      p[0] = 60 + 130 * u + 25 * std::sin(2 * kPi * 0.8 * v);
      p[1] = 70 + 110 * v + 20 * std::cos(2 * kPi * 0.6 * u);
      p[2] = 140 + 70 * std::sin(kPi * (u + v) + 1.3);
    }
    // Painted in order, later shapes over earlier ones, each over its own span of the row.
    const double dy0 = y + 0.5;
    for (const SoftShape& s : shapes) {
      const double dy = (dy0 - s.centreY) / s.radiusY;
      if (std::abs(dy) >= reach) continue;
      const double halfSpan = reach * s.radiusX;
      const int x0 = std::max(0, static_cast<int>(s.centreX - halfSpan));
      const int x1 = std::min(static_cast<int>(width) - 1, static_cast<int>(s.centreX + halfSpan));
      for (int x = x0; x <= x1; ++x) {
        const double dx = (x + 0.5 - s.centreX) / s.radiusX;
        const double cover = s.opacity * smoothStep(reach, 1 - kSoftness, std::sqrt(dx * dx + dy * dy));
        double* p = &row[static_cast<std::size_t>(x) * 3];
        for (int c = 0; c < 3; ++c) p[c] += cover * (s.colour[c] - p[c]);
      }
    }
    uint8_t* out = &rgba[std::size_t{y} * width * kRgbaBytes];
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t grain = engine();
      for (int c = 0; c < 3; ++c) {
        const int offset = static_cast<int>((grain >> (8 * c)) & 0xFF) % (2 * kGrain + 1) - kGrain;
        out[x * kRgbaBytes + c] = static_cast<uint8_t>(
            std::clamp(static_cast<int>(std::lround(row[std::size_t{x} * 3 + c])) + offset, 0, 255));
      }
      out[x * kRgbaBytes + 3] = 255;
    }
  }
  return rgba;
}

std::vector<uint8_t> noiseRgba(uint32_t width, uint32_t height) {
  std::mt19937 engine(99);
  std::vector<uint8_t> rgba(std::size_t{width} * height * kRgbaBytes);
  for (std::size_t i = 0; i < rgba.size(); i += kRgbaBytes) {
    const uint32_t bits = engine();
    std::memcpy(&rgba[i], &bits, kRgbaBytes);
  }
  return rgba;
}

}  // namespace

const char* frameKindName(FrameKind kind) {
  switch (kind) {
    case FrameKind::scene:
      return "scene";
    case FrameKind::photo:
      return "photo";
    case FrameKind::noise:
      return "noise";
    case FrameKind::photographs:
      break;
  }
  return "photographs";
}

std::vector<uint8_t> makeFrame(FrameKind kind, uint32_t width, uint32_t height, uint32_t bytesPerPixel) {
  std::vector<uint8_t> rgba;
  switch (kind) {
    case FrameKind::scene:
      rgba = qovhost::aliasedScene(width, height).pixels;
      break;
    case FrameKind::photo:
      rgba = photoRgba(width, height);
      break;
    case FrameKind::noise:
      rgba = noiseRgba(width, height);
      break;
    case FrameKind::photographs:
      rgba = photographMosaic(width, height);
      break;
  }
  if (bytesPerPixel == kRgbaBytes) return rgba;
  std::vector<uint8_t> frame(std::size_t{width} * height * bytesPerPixel);
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i)
    std::memcpy(&frame[i * bytesPerPixel], &rgba[i * kRgbaBytes], bytesPerPixel);
  return frame;
}

}  // namespace qov::bench
