// Shared helpers of the matte tests: random settings and frames, the reference frame built
// pixel by pixel from the rule, and the kernels of every level of the table this machine runs.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "effects/matte/matte_frame_internal.h"
#include "effects/matte/matte_parameters.h"
#include "effects/matte/matte_rule.h"

namespace qov::matte::test {

struct NamedKernel {
  std::string name;
  MatteKernel kernel;
};

inline std::vector<NamedKernel> runnableKernels() {
  std::vector<NamedKernel> kernels;
  for (const auto& entry : kMatteLevels) {
    if (MatteKernel kernel = simd::kernelAt(kMatteLevels, entry.level))
      kernels.push_back({simd::levelName(entry.level), kernel});
  }
  return kernels;
}

// Weights from three pools: uniform over the whole range (the mask saturates almost always),
// small ones (sums inside the 0..2047 window, where every bit of the sum shows) and the
// edges of the 16-bit split and of the base-128 digits that the vector kernels use (63 and
// 8127: digits of 63; 64 and 8128: digits of -64).
inline int32_t randomWeight(std::mt19937& rng) {
  static const int32_t edges[] = {0,     1,     63,    64,    255,   256,   257,      8127,
                                  8128,  32767, 32768, 32769, 65279, 65535, maxWeight};
  switch (rng() % 3) {
    case 0:
      return std::uniform_int_distribution<int32_t>(0, maxWeight)(rng);
    case 1:
      return std::uniform_int_distribution<int32_t>(0, 300)(rng);
    default:
      return edges[rng() % (sizeof edges / sizeof edges[0])];
  }
}

inline MatteSettings randomSettings(std::mt19937& rng) {
  MatteSettings s;
  s.alphaWeight = randomWeight(rng);
  s.redWeight = randomWeight(rng);
  s.greenWeight = randomWeight(rng);
  s.blueWeight = randomWeight(rng);
  const uint32_t flags = rng();
  s.invertAll = flags & 1;
  s.invertAlpha = flags & 2;
  s.invertRed = flags & 4;
  s.invertGreen = flags & 8;
  s.invertBlue = flags & 16;
  return s;
}

// Half of the frames hold small byte values, which keep sums of large weights near zero.
inline std::vector<uint8_t> randomBytes(std::mt19937& rng, size_t count) {
  const int top = (rng() % 2) ? 255 : 3;
  std::uniform_int_distribution<int> byteValue(0, top);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(byteValue(rng));
  return bytes;
}

inline std::vector<uint8_t> referenceFrame(const uint8_t* colour, const uint8_t* mask,
                                           size_t pixelCount, const MatteSettings& s) {
  std::vector<uint8_t> out(pixelCount * bytesPerPixel);
  for (size_t i = 0; i < pixelCount; ++i) {
    const size_t o = i * bytesPerPixel;
    mattePixel(colour + o, mask + o, out.data() + o, s);
  }
  return out;
}

inline std::string describe(const MatteSettings& s) {
  return "weights a" + std::to_string(s.alphaWeight) + " r" + std::to_string(s.redWeight) + " g" +
         std::to_string(s.greenWeight) + " b" + std::to_string(s.blueWeight) + " invert all" +
         std::to_string(s.invertAll) + " a" + std::to_string(s.invertAlpha) + " r" +
         std::to_string(s.invertRed) + " g" + std::to_string(s.invertGreen) + " b" +
         std::to_string(s.invertBlue);
}

// Asserts that actual equals the reference byte for byte; also checks directly, without
// the rule, that the colour bytes are those of colour.
inline void expectMatte(const std::vector<uint8_t>& expected, const uint8_t* colour,
                        const uint8_t* actual, size_t pixelCount, const std::string& context) {
  for (size_t i = 0; i < pixelCount * bytesPerPixel; ++i) {
    const bool colourByte = i % bytesPerPixel != alphaByte;
    if (actual[i] != expected[i] || (colourByte && actual[i] != colour[i])) {
      FAIL() << context << ": pixel " << i / bytesPerPixel << " byte " << i % bytesPerPixel
             << " is " << int{actual[i]} << ", expected " << int{expected[i]};
    }
  }
}

}  // namespace qov::matte::test
