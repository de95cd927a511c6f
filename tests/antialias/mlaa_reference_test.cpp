// MLAA against a second, independently written transcription of its rules, on frames
// built to exercise every kind of run end (flat regions with hard-edged shapes, stairs,
// thin lines, noise), every flag combination and awkward sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "effects/antialias/mlaa.h"
#include "effects/antialias/mlaa_internal.h"
#include "tests/antialias/mlaa_reference.h"

namespace qov::test {
namespace {

enum class Scene { blocks, stairs, lines, noise, alphaNoise, texture };

// Frames with few colours and long straight or stepped edges: that is where runs are long
// and every end search finds something to do.
std::vector<uint32_t> makeFrame(Scene scene, int width, int height, uint32_t seed) {
  std::mt19937 engine(seed);
  const uint32_t palette[] = {0x00000000u, 0x00FFFFFFu, 0x00203040u, 0x00E0C0A0u, 0x000000FFu, 0x0010FF10u};
  std::vector<uint32_t> frame(static_cast<std::size_t>(width) * height, palette[engine() % 6]);
  auto at = [&](int x, int y) -> uint32_t& { return frame[static_cast<std::size_t>(y) * width + x]; };
  switch (scene) {
    case Scene::blocks:
      for (int r = 0; r < 12; ++r) {
        const int x0 = engine() % width, y0 = engine() % height;
        const int x1 = x0 + 1 + engine() % width, y1 = y0 + 1 + engine() % height;
        const uint32_t colour = palette[engine() % 6];
        for (int y = y0; y < std::min(y1, height); ++y)
          for (int x = x0; x < std::min(x1, width); ++x) at(x, y) = colour;
      }
      break;
    case Scene::stairs: {
      // Half-planes at random slopes: staircase edges in both directions.
      for (int r = 0; r < 3; ++r) {
        const float slope = std::uniform_real_distribution<float>(-3.0f, 3.0f)(engine);
        const float offset = std::uniform_real_distribution<float>(0.0f, float(height))(engine);
        const uint32_t colour = palette[engine() % 6];
        for (int y = 0; y < height; ++y)
          for (int x = 0; x < width; ++x)
            if (y > slope * x + offset - slope * width / 2) at(x, y) = colour;
      }
      break;
    }
    case Scene::lines:
      for (int r = 0; r < 6; ++r) {
        const uint32_t colour = palette[engine() % 6];
        if (engine() % 2) {
          const int y = engine() % height;
          for (int x = engine() % width; x < width; ++x) at(x, y) = colour;
        } else {
          const int x = engine() % width;
          for (int y = engine() % height; y < height; ++y) at(x, y) = colour;
        }
      }
      break;
    case Scene::noise:
      for (uint32_t& pixel : frame) pixel = engine() & 0x00FFFFFFu;
      break;
    case Scene::alphaNoise:
      for (uint32_t& pixel : frame) pixel = palette[engine() % 3] | (engine() % 4 == 0 ? 0xFF000000u : 0u);
      break;
    case Scene::texture:
      // Fine texture, as in photographs: neighbours differ by 0 to 47 per byte, so about half
      // of them form edges, and runs are short in both directions with a turn at almost every
      // pixel, each with its own colour sums.
      for (uint32_t& pixel : frame) {
        const uint32_t base = 100 + engine() % 48;
        pixel = base | (base + engine() % 8) << 8 | (base - engine() % 8) << 16;
      }
      break;
  }
  return frame;
}

std::vector<uint32_t> runProduction(const std::vector<uint32_t>& frame, int width, int height, uint32_t flags,
                                    const aa::detail::MlaaKernels& kernels) {
  std::vector<uint8_t> bytes(frame.size() * 4);
  std::memcpy(bytes.data(), frame.data(), bytes.size());
  std::vector<uint8_t> edges(bytes.size(), 0xA5);  // whatever the buffer held must not matter
  int step = -1;
  aa::detail::runSteps(bytes.data(), edges.data(), width, height, &step, flags, kernels);
  std::vector<uint32_t> result(frame.size());
  std::memcpy(result.data(), bytes.data(), bytes.size());
  return result;
}

// The kernels MLAA runs with under each QOV_SIMD level this processor runs.
std::vector<std::pair<simd::Level, aa::detail::MlaaKernels>> kernelsPerLevel() {
  std::vector<std::pair<simd::Level, aa::detail::MlaaKernels>> kernels;
  for (simd::Level level : simd::kLevels)
    if (simd::supports(level))
      kernels.push_back({level,
                         {simd::highestEntry(aa::detail::kDetectLevels, level).kernel,
                          simd::highestEntry(aa::detail::kBlendLevels, level).kernel}});
  return kernels;
}

TEST(MlaaAgainstReference, EveryFlagCombinationOnManyFrames) {
  const int sizes[][2] = {{64, 48}, {40, 36}, {37, 23}, {8, 8}, {1, 17}, {19, 1}, {5, 9}, {96, 8}, {13, 64}};
  const uint32_t flagSets[] = {0u,
                               aa::MLAA_USE_HALF,
                               aa::MLAA_THIN_LINES,
                               aa::MLAA_USE_HALF | aa::MLAA_THIN_LINES,
                               aa::MLAA_VISUALIZE,
                               aa::MLAA_VISUALIZE | aa::MLAA_THIN_LINES | aa::MLAA_USE_HALF};
  int compared = 0;
  for (const auto& size : sizes) {
    for (Scene scene : {Scene::blocks, Scene::stairs, Scene::lines, Scene::noise, Scene::alphaNoise, Scene::texture}) {
      for (uint32_t seed = 0; seed < 6; ++seed) {
        const std::vector<uint32_t> frame = makeFrame(scene, size[0], size[1], seed * 31 + size[0]);
        for (uint32_t flags : flagSets) {
          const std::vector<uint32_t> expected = referenceMLAA(frame, size[0], size[1], flags);
          for (const auto& [level, kernels] : kernelsPerLevel()) {
            const std::vector<uint32_t> actual = runProduction(frame, size[0], size[1], flags, kernels);
            ASSERT_EQ(actual, expected) << size[0] << "x" << size[1] << " scene " << static_cast<int>(scene)
                                        << " seed " << seed << " flags " << flags << " " << simd::levelName(level);
          }
          ++compared;
        }
      }
    }
  }
  EXPECT_EQ(compared, 9 * 6 * 6 * 6);
}

// Lines longer than the run finder's bit sets take its word-by-word path; a full HD frame
// has every kind of block (vector gathers, partial last blocks) many times over.
TEST(MlaaAgainstReference, LongLinesAndAFullHdFrame) {
  struct Case {
    int width, height;
    Scene scene;
    uint32_t flags;
  };
  const Case cases[] = {
      {8200, 9, Scene::stairs, 0u},
      {8200, 9, Scene::noise, aa::MLAA_THIN_LINES},
      {9, 8200, Scene::stairs, aa::MLAA_THIN_LINES},
      {17, 8193, Scene::lines, 0u},
      {1920, 1080, Scene::stairs, 0u},
      {1920, 1080, Scene::blocks, aa::MLAA_THIN_LINES},
      {1920, 1080, Scene::texture, 0u},
  };
  for (const Case& c : cases) {
    const std::vector<uint32_t> frame = makeFrame(c.scene, c.width, c.height, 5);
    const std::vector<uint32_t> expected = referenceMLAA(frame, c.width, c.height, c.flags);
    for (const auto& [level, kernels] : kernelsPerLevel())
      ASSERT_EQ(runProduction(frame, c.width, c.height, c.flags, kernels), expected)
          << c.width << "x" << c.height << " scene " << static_cast<int>(c.scene) << " " << simd::levelName(level);
  }
}

// Black and white rectangles of 1 to 15 pixels a side, a few pixels flipped: short runs in
// both directions whose quotients take the colour sums' extremes (0 and 765), where the
// vector searches must decide exactly as the scalar ones.
TEST(MlaaAgainstReference, ShortRunsBetweenBlackAndWhite) {
  const int sizes[][2] = {{64, 48}, {37, 23}, {23, 37}, {9, 9}};
  for (uint32_t seed = 0; seed < 8; ++seed) {
    std::mt19937 engine(seed);
    for (const auto& size : sizes) {
      const int width = size[0], height = size[1];
      const auto segments = [&](int n) {  // alternating 0/1 segments of 1 to 15
        std::vector<uint32_t> bits(static_cast<std::size_t>(n));
        for (int i = 0, bit = 0; i < n; bit ^= 1)
          for (int len = 1 + static_cast<int>(engine() % 15); len > 0 && i < n; --len) bits[i++] = bit;
        return bits;
      };
      const std::vector<uint32_t> across = segments(width), down = segments(height);
      std::vector<uint32_t> frame(static_cast<std::size_t>(width) * height);
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          frame[static_cast<std::size_t>(y) * width + x] = (across[x] ^ down[y] ^ (engine() % 16 == 0)) ? 0x00FFFFFFu : 0u;
      for (uint32_t flags : {0u, static_cast<uint32_t>(aa::MLAA_USE_HALF)}) {
        const std::vector<uint32_t> expected = referenceMLAA(frame, width, height, flags);
        for (const auto& [level, kernels] : kernelsPerLevel())
          ASSERT_EQ(runProduction(frame, width, height, flags, kernels), expected)
              << width << "x" << height << " seed " << seed << " flags " << flags << " " << simd::levelName(level);
      }
    }
  }
}

}  // namespace
}  // namespace qov::test
