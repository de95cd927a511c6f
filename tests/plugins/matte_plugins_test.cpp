// The two matte plug-ins end to end through plugMain: worked values of the matte rule,
// every frame call, 24-bit frames, and the two-input plug-in's choice of inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "host/frame_set.h"
#include "host/plugin_instance.h"
#include "tests/support/plugin_table.h"
#include "tests/support/platform.h"

namespace qov::test {
namespace {

using host::PluginInstance;

enum : uint32_t { kAlpha, kRed, kGreen, kBlue, kInvertAll, kInvertAlpha, kInvertRed, kInvertGreen, kInvertBlue,
                  kSwitchInputs };

// The matte rule written out plainly from its definition, to check the plug-ins against.
uint8_t expectedMask(const uint8_t pixel[4], const float parameters[9]) {
  auto weight = [](float amount) { return std::isnan(amount) ? 0 : static_cast<int32_t>(amount * 65536.0f); };
  auto on = [](float value) { return value > 0.5f; };
  const int32_t weights[4] = {weight(parameters[kBlue]), weight(parameters[kGreen]), weight(parameters[kRed]),
                              weight(parameters[kAlpha])};
  const bool inverted[4] = {on(parameters[kInvertBlue]), on(parameters[kInvertGreen]), on(parameters[kInvertRed]),
                            on(parameters[kInvertAlpha])};
  int32_t sum = 0;
  for (int byte = 0; byte < 4; ++byte) {
    int32_t term = pixel[byte] * weights[byte];
    sum += inverted[byte] ? 65536 - term : term;
  }
  int32_t mask = sum >> 3;
  if (mask >= 255) mask = 255;
  if (mask < 0) mask = 0;
  return static_cast<uint8_t>(on(parameters[kInvertAll]) ? 255 - mask : mask);
}

struct Pixel {
  uint8_t b0, b1, b2, b3;
};

// Sets all nine matte parameters of an instance.
void setMatteParameters(const PluginInstance& instance, const float values[9]) {
  for (uint32_t i = 0; i < 9; ++i) ASSERT_EQ(instance.setParameter(i, values[i]).uintValue, 0u);
}

// One 32-bit frame of the given pixels through code 3, returning the output alphas.
std::vector<uint8_t> alphasThroughProcessFrame(const std::string& plugin, const float parameters[9],
                                               const std::vector<Pixel>& pixels) {
  PluginInstance instance(library(plugin), static_cast<uint32_t>(pixels.size()), 1, FF_DEPTH_32);
  setMatteParameters(instance, parameters);
  std::vector<uint8_t> frame(pixels.size() * 4);
  std::memcpy(frame.data(), pixels.data(), frame.size());
  EXPECT_EQ(instance.processFrame(frame.data()).uintValue, 0u);
  std::vector<uint8_t> alphas;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    EXPECT_EQ(std::memcmp(&frame[4 * i], &pixels[i], 3), 0) << "colour bytes pass unchanged";
    alphas.push_back(frame[4 * i + 3]);
  }
  return alphas;
}

class MattePlugins : public ::testing::TestWithParam<std::string> {};

TEST_P(MattePlugins, WorkedValues) {
  constexpr float kD = 0.9f;  // the default of the amounts and inversions
  struct Case {
    const char* what;
    float parameters[9];
    std::vector<Pixel> pixels;
    std::vector<uint8_t> alphas;
  };
  const Case cases[] = {
      {"defaults", {1.0f, kD, kD, kD, kD, kD, kD, kD, kD},
       {{0, 0, 0, 0}, {0, 0, 0, 3}, {0, 0, 0, 4}, {1, 0, 0, 0}, {128, 128, 128, 255}},
       {0, 0, 255, 0, 255}},
      {"nothing weighted", {0, 0, 0, 0, 0, 0, 0, 0, 0}, {{9, 200, 255, 255}, {0, 0, 0, 0}}, {0, 0}},
      {"only Invert All", {0, 0, 0, 0, 1, 0, 0, 0, 0}, {{9, 200, 255, 255}, {0, 0, 0, 0}}, {255, 255}},
      {"alpha alone saturates", {1, 0, 0, 0, 0, 0, 0, 0, 0},
       {{0, 0, 0, 0}, {0, 0, 0, 1}, {5, 5, 5, 0}, {0, 0, 0, 255}}, {0, 255, 0, 255}},
      {"small alpha weight (65)", {0.001f, 0, 0, 0, 0, 0, 0, 0, 0},
       {{0, 0, 0, 1}, {0, 0, 0, 2}, {0, 0, 0, 10}, {0, 0, 0, 128}}, {8, 16, 81, 255}},
      {"inverted red goes negative", {0, kD, 0, 0, 0, 0, 1, 0, 0},
       {{0, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 2, 0}}, {255, 255, 0}},
      // 3 * 19660 and 11 * 6553 leave a sum of 9 (mask 1); rounded weights would leave -5.
      {"weights truncate", {0, 0, 0.1f, 0.3f, 0, 0, 0, 1, 1}, {{3, 11, 0, 0}}, {1}},
      {"flags at exactly 0.5 are off", {0, 0, 0, 0, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}, {{0, 0, 0, 0}}, {0}},
      {"flags just above 0.5 are on", {0, 0, 0, 0, 0.50001f, 0, 0, 0, 0}, {{0, 0, 0, 0}}, {255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(alphasThroughProcessFrame(GetParam(), c.parameters, c.pixels), c.alphas);
  }
}

TEST_P(MattePlugins, OutOfRangeAndNaNParametersActClamped) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float wild[9] = {7.0f, -3.0f, nan, 0.002f, nan, 2.0f, -1.0f, 0.0f, 0.0f};
  const float clamped[9] = {1.0f, 0.0f, 0.0f, 0.002f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f};
  const std::vector<uint8_t> bytes = randomBytes(64 * 4, 11);
  std::vector<Pixel> pixels(64);
  std::memcpy(pixels.data(), bytes.data(), bytes.size());
  EXPECT_EQ(alphasThroughProcessFrame(GetParam(), wild, pixels), alphasThroughProcessFrame(GetParam(), clamped, pixels));
}

TEST_P(MattePlugins, RandomFramesMatchTheRuleThroughEveryFrameCall) {
  std::mt19937 engine(5);
  std::uniform_real_distribution<float> amount(0.0f, 0.05f);  // small amounts keep masks unsaturated
  std::uniform_real_distribution<float> flag(0.0f, 1.0f);
  for (int round = 0; round < 12; ++round) {
    const uint32_t width = 1 + engine() % 70;
    const uint32_t height = 1 + engine() % 9;
    float parameters[9];
    for (int i = 0; i < 4; ++i) parameters[i] = round % 3 == 0 ? flag(engine) : amount(engine);
    for (int i = 4; i < 9; ++i) parameters[i] = flag(engine);
    PluginInstance instance(library(GetParam()), width, height, FF_DEPTH_32);
    setMatteParameters(instance, parameters);

    const std::vector<uint8_t> input = randomBytes(instance.frameBytes(), 100 + round);
    std::vector<uint8_t> expected = input;
    for (std::size_t i = 0; i < input.size(); i += 4) expected[i + 3] = expectedMask(&input[i], parameters);

    std::vector<uint8_t> inPlace = input;
    ASSERT_EQ(instance.processFrame(inPlace.data()).uintValue, 0u);
    EXPECT_EQ(inPlace, expected) << "code 3, round " << round;

    std::vector<uint8_t> copy(input.size(), 0xAB);
    std::vector<uint8_t> source = input;
    ASSERT_EQ(instance.processFrameCopy({source.data()}, copy.data()).uintValue, 0u);
    EXPECT_EQ(copy, expected) << "code 14, round " << round;
    EXPECT_EQ(source, input) << "the input frame is only read";

    // Code 16 with the output in the input's own memory: processed in place.
    std::vector<uint8_t> shared = input;
    host::FrameSet frameSet(width, height, 4, {shared.data()}, shared.data());
    ASSERT_EQ(instance.processFrameMulti(frameSet.get()).uintValue, 0u);
    EXPECT_EQ(shared, expected) << "code 16 in place, round " << round;
  }
}

TEST_P(MattePlugins, TwentyFourBitFramesAreLeftAlone) {
  PluginInstance instance(library(GetParam()), 17, 5, FF_DEPTH_24);
  const std::vector<uint8_t> input = randomBytes(instance.frameBytes(), 21);
  std::vector<uint8_t> frame = input;
  EXPECT_EQ(instance.processFrame(frame.data()).uintValue, 0u);
  EXPECT_EQ(frame, input);
  const std::vector<uint8_t> previous = randomBytes(instance.frameBytes(), 22);
  std::vector<uint8_t> output = previous;
  EXPECT_EQ(instance.processFrameCopy({frame.data()}, output.data()).uintValue, 0u);
  EXPECT_EQ(output, previous) << "the output keeps what the host had in it";
}

INSTANTIATE_TEST_SUITE_P(BothMattes, MattePlugins, ::testing::Values("QovSetMatte1", "QovMISetMatte1"),
                         [](const auto& info) { return info.param; });

// --- the two-input plug-in ---

struct TwoInputs {
  static constexpr uint32_t kWidth = 19;
  static constexpr uint32_t kHeight = 3;
  std::vector<uint8_t> buffers[4];
  ImageSlot slots[4];
  Qov_Multi frameSet{};

  explicit TwoInputs(uint32_t numInputs, uint32_t channels = 4) {
    for (int i = 0; i < 4; ++i) {
      buffers[i] = randomBytes(std::size_t{kWidth} * kHeight * 4, 60 + i);
      slots[i] = ImageSlot{kFormatInterleaved8, channels, buffers[i].data(), kWidth, kHeight, nullptr, 0, 0};
    }
    frameSet.numInputs = numInputs;
    for (int i = 0; i < 3; ++i) frameSet.inputs[i] = &slots[i];
    frameSet.numOutputs = 1;
    frameSet.outputs[0] = &slots[3];
  }
  // The frame that colour from `colour` with the mask of `mask` gives.
  std::vector<uint8_t> expected(int colour, int mask, const float parameters[9]) const {
    std::vector<uint8_t> result = buffers[colour];
    for (std::size_t i = 0; i < result.size(); i += 4) result[i + 3] = expectedMask(&buffers[mask][i], parameters);
    return result;
  }
};

class MultiInputMatte : public ::testing::Test {
 protected:
  PluginInstance instance{library("QovMISetMatte1"), TwoInputs::kWidth, TwoInputs::kHeight, FF_DEPTH_32};
  float parameters[9] = {0.01f, 0.002f, 0.003f, 0.004f, 0.0f, 0.7f, 0.2f, 0.6f, 0.1f};
  void SetUp() override { setMatteParameters(instance, parameters); }
};

TEST_F(MultiInputMatte, ColourFromOneInputMaskFromTheOther) {
  for (bool switched : {false, true}) {
    SCOPED_TRACE(switched);
    instance.setParameter(kSwitchInputs, switched ? 0.75f : 0.5f);
    for (uint32_t numInputs : {2u, 3u}) {  // a third input is ignored
      TwoInputs set(numInputs);
      ASSERT_EQ(instance.processFrameMulti(&set.frameSet).uintValue, 0u);
      EXPECT_EQ(set.buffers[3], switched ? set.expected(1, 0, parameters) : set.expected(0, 1, parameters));
    }
  }
}

TEST_F(MultiInputMatte, OneInputIsBothAndSwitchingChangesNothing) {
  for (float switchValue : {0.0f, 1.0f}) {
    instance.setParameter(kSwitchInputs, switchValue);
    TwoInputs set(1);
    ASSERT_EQ(instance.processFrameMulti(&set.frameSet).uintValue, 0u);
    EXPECT_EQ(set.buffers[3], set.expected(0, 0, parameters));
  }
}

TEST_F(MultiInputMatte, OutputMayShareEitherInputsMemory) {
  for (int shared : {0, 1}) {
    TwoInputs set(2);
    const std::vector<uint8_t> expected = set.expected(0, 1, parameters);
    set.frameSet.outputs[0] = &set.slots[shared];
    ASSERT_EQ(instance.processFrameMulti(&set.frameSet).uintValue, 0u);
    EXPECT_EQ(set.buffers[shared], expected) << shared;
  }
}

TEST_F(MultiInputMatte, ThreeChannelFirstInputWritesNothing) {
  TwoInputs set(2, 3);
  set.slots[1].data = nullptr;  // whatever the second slot holds
  const std::vector<uint8_t> before = set.buffers[3];
  EXPECT_EQ(instance.processFrameMulti(&set.frameSet).uintValue, 0u);
  EXPECT_EQ(set.buffers[3], before);
}

TEST_F(MultiInputMatte, CountedSecondInputWithoutPixelsIsRefused) {
  for (bool noSlot : {false, true}) {
    TwoInputs set(2);
    if (noSlot)
      set.frameSet.inputs[1] = nullptr;
    else
      set.slots[1].data = nullptr;
    const std::vector<uint8_t> before = set.buffers[3];
    MessageCapture capture;
    EXPECT_TRUE(host::failed(instance.processFrameMulti(&set.frameSet)));
    EXPECT_EQ(capture.finish(), "Qov_Multi: Error: No valid input data present\n");
    EXPECT_EQ(set.buffers[3], before);
  }
}

}  // namespace
}  // namespace qov::test
