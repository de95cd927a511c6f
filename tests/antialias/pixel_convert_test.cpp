// The 24-bit conversions at every level the processor runs: the same bytes as one pixel at
// a time, for every count up to a few vector steps and an odd large one, from and to any
// byte alignment, and nothing written past the last pixel.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "effects/antialias/pixel_convert.h"

namespace qov::aa {
namespace {

constexpr uint8_t kGuard = 0xA5;

TEST(PixelConvert, EveryLevelMovesTheBytesOfSinglePixels) {
  std::mt19937 rng(61);
  std::vector<std::size_t> counts;
  for (std::size_t n = 0; n <= 40; ++n) counts.push_back(n);
  counts.push_back(853);
  for (const auto& entry : kConvertLevels) {
    const ConvertKernels* kernels = simd::kernelAt(kConvertLevels, entry.level);
    if (kernels == nullptr) continue;
    for (std::size_t count : counts)
      for (std::size_t offset : {0u, 1u, 3u}) {
        std::vector<uint8_t> packed(offset + 3 * count + 8), work(offset + 4 * count + 8, kGuard);
        for (uint8_t& b : packed) b = static_cast<uint8_t>(rng());
        kernels->expand3(packed.data() + offset, work.data() + offset, count);
        std::vector<uint8_t> back(offset + 3 * count + 8, kGuard);
        kernels->pack3(work.data() + offset, back.data() + offset, count);
        for (std::size_t i = 0; i < count; ++i)
          for (std::size_t c = 0; c < 4; ++c)
            ASSERT_EQ(work[offset + 4 * i + c], c < 3 ? packed[offset + 3 * i + c] : 0)
                << simd::levelName(entry.level) << " count " << count << " pixel " << i;
        for (std::size_t i = offset + 4 * count; i < work.size(); ++i) ASSERT_EQ(work[i], kGuard);
        for (std::size_t i = 0; i < back.size(); ++i)
          ASSERT_EQ(back[i], i >= offset && i < offset + 3 * count ? packed[i] : kGuard)
              << simd::levelName(entry.level) << " count " << count << " byte " << i;
      }
  }
}

}  // namespace
}  // namespace qov::aa
