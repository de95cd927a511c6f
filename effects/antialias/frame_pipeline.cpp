// The antialiasing frame pipeline.
#include "effects/antialias/frame_pipeline.h"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "effects/antialias/mlaa.h"
#include "effects/antialias/strength_blend.h"
#include "effects/parallel/chunking.h"

namespace qov::aa {
namespace {

constexpr float kStrengthScale = 255.0f;
constexpr uint32_t kColourMask = 0x00FFFFFFu;  // the three colour bytes of a little-endian pixel word
// Pixels of one chunk of the working copy that a thread claims from the pool (64 KiB of
// working image): every pixel is independent, so the cut does not show in the bytes.
constexpr std::size_t kCopyChunkPixels = parallel::kChunkPixels;

// Copies 4-byte pixels into the working image with byte 3 cleared, so that alpha takes
// no part in edge detection.
void copyWithoutAlpha(const uint8_t* input, uint8_t* workFrame, std::size_t begin, std::size_t end) {
  for (std::size_t i = begin; i < end; ++i) {
    uint32_t pixel;
    std::memcpy(&pixel, input + 4 * i, 4);
    pixel &= kColourMask;
    std::memcpy(workFrame + 4 * i, &pixel, 4);
  }
}

void expandToFourBytes(const uint8_t* input, uint8_t* workFrame, std::size_t begin, std::size_t end) {
  for (std::size_t i = begin; i < end; ++i) {
    workFrame[4 * i] = input[3 * i];
    workFrame[4 * i + 1] = input[3 * i + 1];
    workFrame[4 * i + 2] = input[3 * i + 2];
    workFrame[4 * i + 3] = 0;
  }
}

// The working image of 4-byte pixels: colour, and alpha only when it counts as an edge.
void makeWorkingCopy(const uint8_t* input, uint8_t* workFrame, std::size_t count, int channels, bool useAlpha,
                     parallel::WorkerPool* pool) {
  parallel::forEachChunk(pool, count, kCopyChunkPixels, [=](std::size_t begin, std::size_t end) {
    if (channels != 4)
      expandToFourBytes(input, workFrame, begin, end);
    else if (useAlpha)
      std::memcpy(workFrame + 4 * begin, input + 4 * begin, 4 * (end - begin));
    else
      copyWithoutAlpha(input, workFrame, begin, end);
  });
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
                    int height, int channels, const AntialiasSettings& settings, parallel::WorkerPool* pool) {
  if (width < 1 || height < 1) return;
  const std::ptrdiff_t count = std::ptrdiff_t{width} * height;
  const uint8_t strength8 = strength8FromStrength(settings.strength);
  if (strength8 == 0) {
    if (output != input) std::memcpy(output, input, static_cast<std::size_t>(count) * channels);
    return;
  }

  makeWorkingCopy(input, workFrame, static_cast<std::size_t>(count), channels, settings.useAlpha, pool);

  runMLAA(workFrame, edgeBuffer, width, height, mlaaFlagsFor(settings), pool);

  if (channels == 3) packToThreeBytes(workFrame, count);
  strengthCrossFade(output, input, workFrame, width, height, channels, strength8, pool);
}

}  // namespace qov::aa
