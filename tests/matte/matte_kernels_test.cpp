// Tests of the matte kernels called directly: every level against the per-pixel rule on
// random frames, in place, and on the worked values of the rule.
#include <gtest/gtest.h>

#include <cstring>

#include "effects/matte/matte_digit_weights.h"
#include "tests/matte/matte_test_support.h"

namespace qov::matte::test {
namespace {

// Counts around every vector step (8, 16 and 32 pixels) and a few longer frames.
const size_t pixelCounts[] = {0,  1,  2,  3,  4,  5,  7,  8,  9,  15,
                              16, 17, 31, 32, 33, 63, 64, 65, 97, 1001};
constexpr int framesPerCount = 40;
constexpr uint8_t canary = 0xA5;
constexpr size_t guardBytes = 64;

TEST(MatteKernels, MatchTheRuleOnRandomFrames) {
  std::mt19937 rng(20240603);
  for (const NamedKernel& k : runnableKernels()) {
    for (size_t count : pixelCounts) {
      for (int frame = 0; frame < framesPerCount; ++frame) {
        const MatteSettings s = randomSettings(rng);
        const size_t bytes = count * bytesPerPixel;
        // Odd start offsets make every load and store unaligned.
        const size_t shift = rng() % 4;
        std::vector<uint8_t> colour = randomBytes(rng, bytes + shift);
        std::vector<uint8_t> mask = randomBytes(rng, bytes + shift);
        std::vector<uint8_t> out(bytes + shift + guardBytes, canary);
        k.kernel(colour.data() + shift, mask.data() + shift, out.data() + shift, count, s);
        const std::string context =
            k.name + ", " + std::to_string(count) + " pixels, " + describe(s);
        expectMatte(referenceFrame(colour.data() + shift, mask.data() + shift, count, s),
                    colour.data() + shift, out.data() + shift, count, context);
        for (size_t i = 0; i < shift; ++i) ASSERT_EQ(out[i], canary) << context;
        for (size_t i = shift + bytes; i < out.size(); ++i) ASSERT_EQ(out[i], canary) << context;
      }
    }
  }
}

TEST(MatteKernels, ProcessInPlace) {
  std::mt19937 rng(7);
  for (const NamedKernel& k : runnableKernels()) {
    for (size_t count : pixelCounts) {
      const MatteSettings s = randomSettings(rng);
      const size_t bytes = count * bytesPerPixel;
      const std::vector<uint8_t> first = randomBytes(rng, bytes);
      const std::vector<uint8_t> second = randomBytes(rng, bytes);
      const std::string context = k.name + ", " + std::to_string(count) + " pixels, " + describe(s);

      std::vector<uint8_t> buffer = first;  // destination = colour = mask
      k.kernel(buffer.data(), buffer.data(), buffer.data(), count, s);
      expectMatte(referenceFrame(first.data(), first.data(), count, s), first.data(), buffer.data(),
                  count, context + ", one buffer");

      buffer = second;  // destination = mask, colour elsewhere
      k.kernel(first.data(), buffer.data(), buffer.data(), count, s);
      expectMatte(referenceFrame(first.data(), second.data(), count, s), first.data(),
                  buffer.data(), count, context + ", output over mask");

      buffer = first;  // destination = colour, mask elsewhere
      k.kernel(buffer.data(), second.data(), buffer.data(), count, s);
      expectMatte(referenceFrame(first.data(), second.data(), count, s), first.data(),
                  buffer.data(), count, context + ", output over colour");
    }
  }
}

// Parameters as the plug-ins receive them: amounts alpha, red, green, blue, then the flags
// all, alpha, red, green, blue.
struct WorkedValue {
  float parameters[matteParameterCount];
  uint8_t pixel[bytesPerPixel];  // blue, green, red, alpha
  uint8_t mask;
};

#define DEFAULTS \
  { 1.0f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f, 0.9f }
const WorkedValue workedValues[] = {
    // No weight: nothing, or everything with the final inversion.
    {{0, 0, 0, 0, 0, 0, 0, 0, 0}, {255, 255, 255, 255}, 0},
    {{0, 0, 0, 0, 1, 0, 0, 0, 0}, {255, 255, 255, 255}, 255},
    // Whole alpha weight: any alpha saturates (alpha 1 gives 65536 >> 3 = 8192).
    {{1, 0, 0, 0, 0, 0, 0, 0, 0}, {200, 100, 50, 0}, 0},
    {{1, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 1}, 255},
    {{1, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 255}, 255},
    // Weight 65: the 3-bit shift shows.
    {{0.001f, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 1}, 8},
    {{0.001f, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 2}, 16},
    {{0.001f, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 10}, 81},
    {{0.001f, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 128}, 255},
    {{0.001f, 0, 0, 0, 1, 0, 0, 0, 0}, {0, 0, 0, 10}, 174},
    // Weight 58982 inverted: 65536 - byte * weight, negative from byte 2 on.
    {{0, 0.9f, 0, 0, 0, 0, 1, 0, 0}, {0, 0, 0, 0}, 255},
    {{0, 0.9f, 0, 0, 0, 0, 1, 0, 0}, {0, 0, 1, 0}, 255},
    {{0, 0.9f, 0, 0, 0, 0, 1, 0, 0}, {0, 0, 2, 0}, 0},
    // Defaults: all five inversions on.
    {DEFAULTS, {0, 0, 0, 0}, 0},
    {DEFAULTS, {0, 0, 0, 3}, 0},
    {DEFAULTS, {0, 0, 0, 4}, 255},
    {DEFAULTS, {1, 0, 0, 0}, 0},
    {DEFAULTS, {128, 128, 128, 255}, 255},
    // Truncated weights: three inverted colour terms cancel whole alpha units almost
    // exactly. 0.3 is 19660: 3 * 65536 - 90 * 19660 + 24 * 65536 = 72 (19661 would give -18).
    // 0.8 is 52428: 3 * 65536 - 45 * 52428 + 33 * 65536 = 36 (52429 would give -9).
    {{1, 0.3f, 0.3f, 0.3f, 0, 0, 1, 1, 1}, {30, 30, 30, 24}, 9},
    {{1, 0.8f, 0.8f, 0.8f, 0, 0, 1, 1, 1}, {15, 15, 15, 33}, 4},
    // The switch threshold: exactly one half is off.
    {{0.001f, 0, 0, 0, 0.5f, 0, 0, 0, 0}, {0, 0, 0, 10}, 81},
};
#undef DEFAULTS

TEST(MatteKernels, GiveTheWorkedValues) {
  constexpr size_t count = 37;  // vector steps and a scalar tail
  for (const WorkedValue& v : workedValues) {
    const MatteSettings s = matteSettingsFromParameters(v.parameters);
    ASSERT_EQ(matteMask(v.pixel, s), v.mask) << describe(s);
    std::vector<uint8_t> frame(count * bytesPerPixel);
    for (size_t i = 0; i < count; ++i)
      std::memcpy(frame.data() + i * bytesPerPixel, v.pixel, bytesPerPixel);
    for (const NamedKernel& k : runnableKernels()) {
      std::vector<uint8_t> out(frame.size());
      k.kernel(frame.data(), frame.data(), out.data(), count, s);
      for (size_t i = 0; i < count; ++i)
        ASSERT_EQ(out[i * bytesPerPixel + alphaByte], v.mask) << k.name << ", " << describe(s);
    }
  }
}

// The digit form of the VNNI kernel for every weight a rule can hold, and constants across
// their range with and without the final inversion folded in: each rebuilds its value, within
// the digit ranges that the kernel's bound on its sums assumes.
TEST(MatteDigitWeights, RebuildEveryWeightAndConstant) {
  constexpr int32_t base = detail::digitBase, lowUnit = base * base;
  for (int32_t v = -maxWeight; v <= maxWeight; ++v) {
    const detail::WeightDigits d = detail::weightDigits(v);
    ASSERT_EQ(d.digit[0] + base * d.digit[1] + lowUnit * d.digit[2], v);
    ASSERT_TRUE(d.digit[0] >= -64 && d.digit[0] < 64 && d.digit[1] >= -64 && d.digit[1] < 64) << v;
    ASSERT_TRUE(d.digit[2] >= -4 && d.digit[2] <= 4) << v;
  }
  for (int32_t constant : {-255 * 65536, -65536 - 1, -1, 0, 1, 2047, 16383, 16384, 4 * 65536, 259 * 65536}) {
    for (bool invertAll : {false, true}) {
      MatteByteRule r;
      r.constant = constant;
      r.invertAll = invertAll;
      const MatteDigitWeights w = matteDigitWeights(r);
      EXPECT_EQ(w.highConstant * lowUnit + w.lowConstant, invertAll ? maskSumMax - constant : constant);
      EXPECT_TRUE(w.lowConstant >= 0 && w.lowConstant < lowUnit) << constant;
    }
  }
}

}  // namespace
}  // namespace qov::matte::test
