// The Strength mix at both depths: which image each weight belongs to, byte 3 of 32-bit
// frames, the cross-fade of identical images, in-place use and every composition level; and
// the frame pipeline around it, which leaves empty frames alone and whose bytes do not depend
// on how a worker pool cuts the frame.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "effects/antialias/compose_internal.h"
#include "effects/antialias/frame_pipeline.h"
#include "effects/antialias/strength_blend.h"
#include "effects/parallel/worker_pool.h"

namespace qov::aa {
namespace {

constexpr int kWidth = 37;  // odd, so that rows end in the row-tail path
constexpr int kHeight = 5;
constexpr int kDepths[] = {3, 4};

std::vector<uint8_t> noise(int channels, std::mt19937& rng) {
  std::vector<uint8_t> bytes(static_cast<std::size_t>(kWidth * kHeight * channels));
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  return bytes;
}

std::vector<uint8_t> filled(int channels, uint8_t value) {
  return std::vector<uint8_t>(static_cast<std::size_t>(kWidth * kHeight * channels), value);
}

void blend(std::vector<uint8_t>& output, const std::vector<uint8_t>& input,
           const std::vector<uint8_t>& antialiased, int channels, int strength8) {
  strengthCrossFade(output.data(), input.data(), antialiased.data(), kWidth, kHeight, channels,
                    strength8);
}

bool isAlpha(std::size_t i, int channels) { return channels == 4 && i % 4 == 3; }

TEST(StrengthBlend, FullStrengthGivesTheAntialiasedColourAndTheInputAlpha) {
  std::mt19937 rng(21);
  for (int channels : kDepths) {
    const auto input = noise(channels, rng), antialiased = noise(channels, rng);
    auto output = noise(channels, rng);
    blend(output, input, antialiased, channels, 255);
    for (std::size_t i = 0; i < output.size(); ++i)
      ASSERT_EQ(output[i], isAlpha(i, channels) ? input[i] : antialiased[i])
          << channels << "ch byte " << i;
  }
}

TEST(StrengthBlend, KnownStrengthsAtBothDepths) {
  struct Case {
    int strength8;
    uint8_t input, antialiased, expected;
  };
  const Case cases[] = {
      {127, 200, 200, 200},  // Strength 0.5 over identical images: no darkening
      {1, 0, 255, 1},        // round(255 / 255)
      {254, 0, 255, 254},
      {128, 10, 250, 130},   // round((127*10 + 128*250) / 255) = round(130.47)
      {0, 90, 30, 90},
      {256 + 1, 0, 255, 1},  // only the low 8 bits count
  };
  for (int channels : kDepths)
    for (const Case& c : cases) {
      const auto input = filled(channels, c.input), antialiased = filled(channels, c.antialiased);
      auto output = filled(channels, 7);
      blend(output, input, antialiased, channels, c.strength8);
      for (std::size_t i = 0; i < output.size(); ++i)
        ASSERT_EQ(output[i], isAlpha(i, channels) ? c.input : c.expected)
            << channels << "ch strength " << c.strength8 << " byte " << i;
    }
}

TEST(StrengthBlend, IdenticalImagesComeBackAtEveryStrength) {
  std::mt19937 rng(22);
  for (int channels : kDepths) {
    const auto image = noise(channels, rng);
    for (int strength8 = 0; strength8 <= 255; ++strength8) {
      auto output = noise(channels, rng);
      blend(output, image, image, channels, strength8);
      ASSERT_EQ(output, image) << channels << "ch strength " << strength8;
    }
  }
}

TEST(StrengthBlend, InPlaceKeepsByte3AsItWas) {
  std::mt19937 rng(23);
  for (int channels : kDepths) {
    const auto original = noise(channels, rng), antialiased = noise(channels, rng);
    auto apart = noise(channels, rng);
    blend(apart, original, antialiased, channels, 100);
    auto frame = original;
    strengthCrossFade(frame.data(), frame.data(), antialiased.data(), kWidth, kHeight, channels, 100);
    EXPECT_EQ(frame, apart) << channels << "ch";
  }
}

// The cross-fade is the `plus` composition of the input (255 - s) and the antialiased image
// (s), at every level the processor runs, with the chosen one in the mix itself.
TEST(StrengthBlend, IsThePlusCompositionAtEveryLevel) {
  std::mt19937 rng(24);
  for (int channels : kDepths) {
    const auto input = noise(channels, rng), antialiased = noise(channels, rng);
    auto mixed = noise(channels, rng);
    blend(mixed, input, antialiased, channels, 77);
    for (const auto& entry : kComposeLevels) {
      const ComposeKernels* kernels = simd::kernelAt(kComposeLevels, entry.level);
      if (kernels == nullptr) continue;
      auto composed = input;
      const int step = kWidth * channels;
      ASSERT_EQ(composeWith(*kernels, channels, input.data(), step, 255 - 77, antialiased.data(), step, 77,
                            composed.data(), step, kWidth, kHeight, COMPOSE_PLUS),
                COMPOSE_OK);
      EXPECT_EQ(mixed, composed) << channels << "ch, " << simd::levelName(entry.level);
    }
  }
}

TEST(AntialiasFrame, EmptyFramesWriteNothing) {
  std::mt19937 rng(25);
  for (int channels : kDepths) {
    const auto input = noise(channels, rng), before = noise(channels, rng);
    AntialiasWorkspace workspace;
    ASSERT_TRUE(workspace.allocate(kWidth, kHeight));
    for (const auto& [width, height] : {std::pair{0, kHeight}, std::pair{kWidth, 0}, std::pair{0, 0}}) {
      auto output = before;
      const std::ptrdiff_t stride = std::ptrdiff_t{kWidth} * channels;
      EXPECT_TRUE(antialiasFrame(input.data(), stride, output.data(), stride, width, height, nativeLayout(channels),
                                 AntialiasSettings{}, workspace));
      EXPECT_EQ(output, before) << channels << "ch " << width << "x" << height;
    }
  }
}

// Bands of many rows, and one row per band (rows longer than a band), in place and apart.
TEST(StrengthBlend, SplitOverAPoolGivesTheSameBytes) {
  std::mt19937 rng(26);
  parallel::WorkerPool pool(3);
  for (const auto& [width, height] : {std::pair{37, 2000}, std::pair{20000, 5}})
    for (int channels : kDepths) {
      const std::size_t bytes = static_cast<std::size_t>(width) * height * channels;
      std::vector<uint8_t> input(bytes), antialiased(bytes);
      for (uint8_t& b : input) b = static_cast<uint8_t>(rng());
      for (uint8_t& b : antialiased) b = static_cast<uint8_t>(rng());
      std::vector<uint8_t> serial(bytes, 7), split(bytes, 7);
      strengthCrossFade(serial.data(), input.data(), antialiased.data(), width, height, channels, 100);
      strengthCrossFade(split.data(), input.data(), antialiased.data(), width, height, channels, 100, &pool);
      EXPECT_EQ(split, serial) << width << "x" << height << " " << channels << "ch";
      std::vector<uint8_t> inPlace = input;
      strengthCrossFade(inPlace.data(), inPlace.data(), antialiased.data(), width, height, channels, 100, &pool);
      EXPECT_EQ(inPlace, serial) << "in place, " << width << "x" << height << " " << channels << "ch";
    }
}

// The whole pipeline (working copy, MLAA, Strength mix) with and without a pool, at both
// depths and every setting that changes a pass, on a frame of several chunks.
TEST(AntialiasFrame, SplitOverAPoolGivesTheSameBytes) {
  constexpr int kFrameWidth = 333, kFrameHeight = 205;
  std::mt19937 rng(27);
  parallel::WorkerPool pool(2);
  for (int channels : kDepths) {
    const std::size_t bytes = std::size_t{kFrameWidth} * kFrameHeight * channels;
    std::vector<uint8_t> input(bytes);
    // Blocks of colour with noisy alpha: edges to blend, alpha that must not count unless asked.
    for (std::size_t i = 0; i < bytes; ++i)
      input[i] = static_cast<uint8_t>(channels == 4 && i % 4 == 3 ? rng() : (i / channels % kFrameWidth / 9 +
                                                                             i / channels / kFrameWidth / 7) * 37);
    AntialiasWorkspace workspace;
    ASSERT_TRUE(workspace.allocate(kFrameWidth, kFrameHeight));
    const std::ptrdiff_t stride = std::ptrdiff_t{kFrameWidth} * channels;
    const PixelLayout layout = nativeLayout(channels);
    for (int variant = 0; variant < 4; ++variant) {
      AntialiasSettings settings;
      settings.strength = variant == 3 ? 0.6f : 1.0f;
      settings.useAlpha = variant == 1;
      settings.visualize = variant == 2;
      std::vector<uint8_t> serial(bytes), split(bytes);
      antialiasFrame(input.data(), stride, serial.data(), stride, kFrameWidth, kFrameHeight, layout, settings,
                     workspace);
      antialiasFrame(input.data(), stride, split.data(), stride, kFrameWidth, kFrameHeight, layout, settings,
                     workspace, &pool);
      EXPECT_EQ(split, serial) << channels << "ch, variant " << variant;
      std::vector<uint8_t> inPlace = input;
      antialiasFrame(inPlace.data(), stride, inPlace.data(), stride, kFrameWidth, kFrameHeight, layout, settings,
                     workspace, &pool);
      EXPECT_EQ(inPlace, serial) << "in place, " << channels << "ch, variant " << variant;
    }
  }
}

}  // namespace
}  // namespace qov::aa
