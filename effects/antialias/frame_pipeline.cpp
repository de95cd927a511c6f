// The antialiasing frame pipeline.
#include "effects/antialias/frame_pipeline.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "effects/antialias/mlaa.h"
#include "effects/antialias/strength_blend.h"
#include "effects/simd/parallel_policy.h"

namespace qov::aa {
namespace {

constexpr float kStrengthScale = 255.0f;
constexpr uint32_t kColourMask = 0x00FFFFFFu;  // the three colour bytes of a little-endian pixel word

// Copies 4-byte pixels into the working image with byte 3 cleared, so that alpha takes
// no part in edge detection.
void copyWithoutAlpha(const uint8_t* input, uint8_t* workFrame, std::ptrdiff_t count) {
  const bool split = simd::splitAcrossThreads(static_cast<std::size_t>(count) * 4);
#pragma omp parallel for schedule(static) if (split)
  for (std::ptrdiff_t i = 0; i < count; ++i) {
    uint32_t pixel;
    std::memcpy(&pixel, input + 4 * i, 4);
    pixel &= kColourMask;
    std::memcpy(workFrame + 4 * i, &pixel, 4);
  }
}

void expandToFourBytes(const uint8_t* input, uint8_t* workFrame, std::ptrdiff_t count) {
  for (std::ptrdiff_t i = 0; i < count; ++i) {
    workFrame[4 * i] = input[3 * i];
    workFrame[4 * i + 1] = input[3 * i + 1];
    workFrame[4 * i + 2] = input[3 * i + 2];
    workFrame[4 * i + 3] = 0;
  }
}

// In place, in ascending order: pixel i's destination never lies beyond its source, so
// every source pixel is read before anything overwrites it. Not split among threads for
// the same reason.
void packToThreeBytes(uint8_t* workFrame, std::ptrdiff_t count) {
  for (std::ptrdiff_t i = 0; i < count; ++i) {
    workFrame[3 * i] = workFrame[4 * i];
    workFrame[3 * i + 1] = workFrame[4 * i + 1];
    workFrame[3 * i + 2] = workFrame[4 * i + 2];
  }
}

}  // namespace

uint8_t strength8FromStrength(float strength) {
  if (std::isnan(strength) || strength <= 0.0f) return 0;
  if (strength >= 1.0f) return 255;
  return static_cast<uint8_t>(static_cast<int>(strength * kStrengthScale));
}

uint32_t mlaaFlagsFor(const AntialiasSettings& settings) {
  return (settings.useHalf ? MLAA_USE_HALF : 0u) | (settings.visualize ? MLAA_VISUALIZE : 0u) |
         (settings.thinLines ? MLAA_THIN_LINES : 0u);
}

void antialiasFrame(const uint8_t* input, uint8_t* output, uint8_t* workFrame, uint8_t* edgeBuffer, int width,
                    int height, int channels, const AntialiasSettings& settings) {
  if (width < 1 || height < 1) return;
  const std::ptrdiff_t count = std::ptrdiff_t{width} * height;
  const uint8_t strength8 = strength8FromStrength(settings.strength);
  if (strength8 == 0) {
    if (output != input) std::memcpy(output, input, static_cast<std::size_t>(count) * channels);
    return;
  }

  if (channels == 4) {
    if (settings.useAlpha)
      std::memcpy(workFrame, input, static_cast<std::size_t>(count) * 4);
    else
      copyWithoutAlpha(input, workFrame, count);
  } else {
    expandToFourBytes(input, workFrame, count);
  }

  runMLAA(workFrame, edgeBuffer, width, height, mlaaFlagsFor(settings));

  if (channels == 3) packToThreeBytes(workFrame, count);
  strengthBlend(output, input, workFrame, width, height, channels, strength8);
}

}  // namespace qov::aa
