// QovMLAA1 end to end through plugMain: the working copy, the switches, the Strength mix
// and every frame call at both depths, checked against MLAA run directly on the same
// frames and the mix written out plainly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "effects/antialias/mlaa.h"
#include "host/frame_set.h"
#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"
#include "tests/support/platform.h"

namespace qov::test {
namespace {

using host::PluginInstance;

enum : uint32_t { kStrength, kUseHalf, kThinLines, kVisualize, kUseAlpha };

struct Settings {
  float strength = 1.0f;
  float useHalf = 0.0f, thinLines = 0.0f, visualize = 0.0f, useAlpha = 0.0f;
};

// A frame with hard-edged shapes of a few colours (and a few alpha-only edges), so that
// MLAA has runs of every kind to blend.
std::vector<uint8_t> aliasedFrame(uint32_t width, uint32_t height, uint32_t channels, uint32_t seed) {
  std::mt19937 engine(seed);
  const uint8_t palette[][4] = {{0, 0, 0, 255}, {255, 255, 255, 255}, {30, 90, 200, 128}, {240, 200, 40, 0}};
  std::vector<uint8_t> frame(std::size_t{width} * height * channels);
  const float slope = std::uniform_real_distribution<float>(-2.5f, 2.5f)(engine);
  const float cx = width * 0.5f, cy = height * 0.5f, radius = std::min(width, height) * 0.3f;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      int colour = (y > slope * (x - cx) + cy) ? 1 : 0;
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius) colour = 2;
      if (x % 11 == 5 && y > height / 3) colour = 3;
      uint8_t* pixel = &frame[(std::size_t{y} * width + x) * channels];
      std::memcpy(pixel, palette[colour], channels);
      if (channels == 4 && x > width / 2 && y < height / 4) pixel[3] = static_cast<uint8_t>(y % 2 ? 255 : 0);
    }
  }
  return frame;
}

// What QovMLAA1 must give, computed from MLAA itself and the Strength mix written plainly.
std::vector<uint8_t> expectedOutput(const std::vector<uint8_t>& input, uint32_t width, uint32_t height,
                                    uint32_t channels, const Settings& s) {
  auto on = [](float value) { return value > 0.5f; };
  const float strength = std::isnan(s.strength) ? 0.0f : std::min(1.0f, std::max(0.0f, s.strength));
  const int strength8 = static_cast<int>(strength * 255.0f);
  if (strength8 == 0) return input;
  const std::size_t count = std::size_t{width} * height;
  std::vector<uint8_t> work(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    std::memcpy(&work[4 * i], &input[channels * i], 3);
    work[4 * i + 3] = (channels == 4 && on(s.useAlpha)) ? input[4 * i + 3] : 0;
  }
  const uint32_t flags = (on(s.useHalf) ? aa::MLAA_USE_HALF : 0u) | (on(s.thinLines) ? aa::MLAA_THIN_LINES : 0u) |
                         (on(s.visualize) ? aa::MLAA_VISUALIZE : 0u);
  aa::runMLAA(work.data(), nullptr, static_cast<int>(width), static_cast<int>(height), flags);
  std::vector<uint8_t> output = input;
  for (std::size_t i = 0; i < count; ++i) {
    for (uint32_t c = 0; c < 3; ++c) {
      const int mixed = (255 - strength8) * input[channels * i + c] + strength8 * work[4 * i + c];
      output[channels * i + c] = static_cast<uint8_t>(std::lround(mixed / 255.0));
    }
  }
  return output;
}

void apply(const PluginInstance& instance, const Settings& s) {
  const float values[] = {s.strength, s.useHalf, s.thinLines, s.visualize, s.useAlpha};
  for (uint32_t i = 0; i < 5; ++i) ASSERT_EQ(instance.setParameter(i, values[i]).uintValue, 0u);
}

struct Depth {
  uint32_t code;
  uint32_t channels;
};

class MlaaPlugin : public ::testing::TestWithParam<Depth> {
 protected:
  static constexpr uint32_t kWidth = 53;  // not a multiple of 4 or 8
  static constexpr uint32_t kHeight = 40;
  uint32_t channels() const { return GetParam().channels; }
  PluginInstance make() const { return PluginInstance(library("QovMLAA1"), kWidth, kHeight, GetParam().code); }
  std::vector<uint8_t> frame(uint32_t seed) const { return aliasedFrame(kWidth, kHeight, channels(), seed); }

  // The output of all three frame calls, which must agree.
  std::vector<uint8_t> throughEveryCall(const PluginInstance& instance, const std::vector<uint8_t>& input) const {
    std::vector<uint8_t> inPlace = input;
    EXPECT_EQ(instance.processFrame(inPlace.data()).uintValue, 0u);

    std::vector<uint8_t> source = input, copy(input.size(), 0x5A);
    EXPECT_EQ(instance.processFrameCopy({source.data()}, copy.data()).uintValue, 0u);
    EXPECT_EQ(source, input) << "the input frame is only read";
    EXPECT_EQ(copy, inPlace) << "code 14 differs from code 3";

    std::vector<uint8_t> shared = input;
    host::FrameSet frameSet(kWidth, kHeight, channels(), {shared.data()}, shared.data());
    EXPECT_EQ(instance.processFrameMulti(frameSet.get()).uintValue, 0u);
    EXPECT_EQ(shared, inPlace) << "code 16 in place differs from code 3";
    return inPlace;
  }
};

TEST_P(MlaaPlugin, MatchesMlaaAndTheStrengthMixForManySettings) {
  const Settings settingsList[] = {
      {}, {0.5f}, {0.75f, 1.0f}, {1.0f, 0.0f, 1.0f}, {0.3f, 1.0f, 1.0f}, {1.0f, 0.0f, 0.0f, 1.0f},
      {0.6f, 0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f, 0.0f, 1.0f}, {0.9f, 1.0f, 1.0f, 0.0f, 1.0f},
  };
  PluginInstance instance = make();
  uint32_t seed = 1;
  for (const Settings& s : settingsList) {
    SCOPED_TRACE(::testing::Message() << "strength " << s.strength << " half " << s.useHalf << " thin "
                                      << s.thinLines << " visualize " << s.visualize << " alpha " << s.useAlpha);
    apply(instance, s);
    const std::vector<uint8_t> input = frame(seed++);
    const std::vector<uint8_t> output = throughEveryCall(instance, input);
    EXPECT_EQ(output, expectedOutput(input, kWidth, kHeight, channels(), s));
    EXPECT_NE(output, input) << "the frame has edges to antialias";
    if (channels() == 4) {
      for (std::size_t i = 3; i < output.size(); i += 4) ASSERT_EQ(output[i], input[i]) << "alpha is the input's";
    }
  }
}

TEST_P(MlaaPlugin, WeakStrengthCopiesTheFrame) {
  PluginInstance instance = make();
  for (float strength : {0.0f, 0.003f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
    apply(instance, Settings{strength, 1.0f, 1.0f, 1.0f, 1.0f});
    const std::vector<uint8_t> input = frame(20);
    EXPECT_EQ(throughEveryCall(instance, input), input) << strength;
  }
}

TEST_P(MlaaPlugin, HalfStrengthWeighs127) {
  // 0.5 * 255 truncates to 127: an input byte 0 against an antialiased 255 mixes to 127.
  PluginInstance instance = make();
  apply(instance, Settings{0.5f, 0.0f, 0.0f, 1.0f});  // Visualize paints pure 255s over edges
  const std::vector<uint8_t> input = frame(21);
  const std::vector<uint8_t> output = throughEveryCall(instance, input);
  EXPECT_EQ(output, expectedOutput(input, kWidth, kHeight, channels(), Settings{0.5f, 0.0f, 0.0f, 1.0f}));
  bool sawMix = false;
  for (std::size_t i = 0; i + 2 < output.size(); i += channels())
    if (input[i + 1] == 0 && output[i + 1] == 127) sawMix = true;
  EXPECT_TRUE(sawMix);
}

TEST_P(MlaaPlugin, HalfStrengthOnAnEdgeFreeFrameGivesItBack) {
  // A cross-fade of a frame with itself (nothing to antialias) is the frame, at both depths.
  PluginInstance instance = make();
  apply(instance, Settings{0.5f});
  std::vector<uint8_t> input(std::size_t{kWidth} * kHeight * channels());
  for (std::size_t i = 0; i < input.size(); ++i) input[i] = static_cast<uint8_t>(200 - i % 3);
  EXPECT_EQ(throughEveryCall(instance, input), input);
}

TEST_P(MlaaPlugin, SwitchesTurnOnStrictlyAboveOneHalf) {
  PluginInstance instance = make();
  const std::vector<uint8_t> input = frame(22);
  apply(instance, Settings{1.0f, 0.5f, 0.5f, 0.5f, 0.5f});
  const std::vector<uint8_t> allOff = throughEveryCall(instance, input);
  EXPECT_EQ(allOff, expectedOutput(input, kWidth, kHeight, channels(), Settings{}));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  apply(instance, Settings{1.0f, nan, nan, nan, nan});
  EXPECT_EQ(throughEveryCall(instance, input), allOff) << "NaN switches are off";
  apply(instance, Settings{1.0f, 0.0f, 0.0f, 0.5001f});
  EXPECT_EQ(throughEveryCall(instance, input),
            expectedOutput(input, kWidth, kHeight, channels(), Settings{1.0f, 0.0f, 0.0f, 1.0f}));
}

TEST_P(MlaaPlugin, UseAlphaMattersOnlyWithAnAlphaByte) {
  PluginInstance instance = make();
  const std::vector<uint8_t> input = frame(23);
  apply(instance, Settings{1.0f, 0.0f, 0.0f, 0.0f, 0.0f});
  const std::vector<uint8_t> without = throughEveryCall(instance, input);
  apply(instance, Settings{1.0f, 0.0f, 0.0f, 0.0f, 1.0f});
  const std::vector<uint8_t> with = throughEveryCall(instance, input);
  if (channels() == 3)
    EXPECT_EQ(with, without);
  else
    EXPECT_NE(with, without) << "alpha-only edges take part";
}

INSTANTIATE_TEST_SUITE_P(BothDepths, MlaaPlugin, ::testing::Values(Depth{FF_DEPTH_24, 3}, Depth{FF_DEPTH_32, 4}),
                         [](const auto& info) { return info.param.channels == 3 ? "24bit" : "32bit"; });

TEST(MlaaPluginFrameSets, ChannelCountsOtherThanThreeOrFourAreRefused) {
  PluginInstance instance(library("QovMLAA1"), 8, 8, FF_DEPTH_32);
  std::vector<uint8_t> pixels(8 * 8 * 4, 77);
  for (uint32_t channels : {0u, 1u, 2u, 5u, 0xFFFFFFFFu}) {
    host::FrameSet frameSet(8, 8, channels, {pixels.data()}, pixels.data());
    MessageCapture capture;
    EXPECT_TRUE(host::failed(instance.processFrameMulti(frameSet.get()))) << channels;
    EXPECT_EQ(capture.finish(), "Qov_Multi: Error: No valid input data present\n");
    EXPECT_EQ(pixels, std::vector<uint8_t>(8 * 8 * 4, 77));
  }
}

}  // namespace
}  // namespace qov::test
