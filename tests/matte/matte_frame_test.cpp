// Tests of the whole-frame matte pass: odd frame sizes, the thread split, in place, and
// frames with nothing to do.
#include <gtest/gtest.h>
#include <omp.h>

#include "tests/matte/matte_test_support.h"

namespace qov::matte::test {
namespace {

const int widths[] = {1, 3, 5, 17, 853};
const int heights[] = {1, 2, 7};

TEST(MatteFrame, EveryPixelOfOddSizesFollowsTheRule) {
  std::mt19937 rng(11);
  for (int width : widths) {
    for (int height : heights) {
      const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
      const MatteSettings s = randomSettings(rng);
      const std::vector<uint8_t> colour = randomBytes(rng, count * bytesPerPixel);
      const std::vector<uint8_t> mask = randomBytes(rng, count * bytesPerPixel);
      const std::vector<uint8_t> expected = referenceFrame(colour.data(), mask.data(), count, s);
      const std::string context =
          std::to_string(width) + "x" + std::to_string(height) + ", " + describe(s);

      std::vector<uint8_t> out(count * bytesPerPixel);
      matteFrame(colour.data(), mask.data(), out.data(), width, height, s);
      expectMatte(expected, colour.data(), out.data(), count, context + ", matteFrame");
      // Every level, and threads even on frames this small.
      for (const NamedKernel& k : runnableKernels()) {
        std::fill(out.begin(), out.end(), 0);
        detail::matteFrameWith(k.kernel, 0, colour.data(), mask.data(), out.data(), count, s);
        expectMatte(expected, colour.data(), out.data(), count, context + ", threaded " + k.name);
      }
    }
  }
}

// Team sizes that do not divide the frame's cache-line blocks evenly, or exceed them.
TEST(MatteFrame, AnyTeamSizeCoversTheFrameExactlyOnce) {
  std::mt19937 rng(12);
  const int savedThreads = omp_get_max_threads();
  for (int threads : {1, 2, 3, 5, 8}) {
    omp_set_num_threads(threads);
    for (size_t count : {size_t{1}, size_t{15}, size_t{17}, size_t{100}, size_t{4099}}) {
      const MatteSettings s = randomSettings(rng);
      const std::vector<uint8_t> colour = randomBytes(rng, count * bytesPerPixel);
      std::vector<uint8_t> buffer = colour;
      detail::matteFrameWith(detail::selectedKernel(), 0, buffer.data(), buffer.data(),
                             buffer.data(), count, s);
      expectMatte(referenceFrame(colour.data(), colour.data(), count, s), colour.data(),
                  buffer.data(), count,
                  std::to_string(threads) + " threads, " + std::to_string(count) + " pixels");
    }
  }
  omp_set_num_threads(savedThreads);
}

TEST(MatteFrame, LargeFramesInPlaceAndWithTwoInputs) {
  std::mt19937 rng(13);
  constexpr int width = 640, height = 360;
  constexpr size_t count = size_t{width} * size_t{height};
  const MatteSettings s = randomSettings(rng);
  const std::vector<uint8_t> first = randomBytes(rng, count * bytesPerPixel);
  const std::vector<uint8_t> second = randomBytes(rng, count * bytesPerPixel);
  const std::vector<uint8_t> inPlace = referenceFrame(first.data(), first.data(), count, s);
  const std::vector<uint8_t> twoInputs = referenceFrame(second.data(), first.data(), count, s);
  for (size_t parallelFrom : {detail::minParallelPixels, size_t{0}}) {
    const std::string context = std::string(parallelFrom ? "serial, " : "threaded, ") + describe(s);
    std::vector<uint8_t> buffer = first;
    detail::matteFrameWith(detail::selectedKernel(), parallelFrom, buffer.data(), buffer.data(),
                           buffer.data(), count, s);
    expectMatte(inPlace, first.data(), buffer.data(), count, "in place, " + context);
    std::vector<uint8_t> out(count * bytesPerPixel);
    detail::matteFrameWith(detail::selectedKernel(), parallelFrom, second.data(), first.data(),
                           out.data(), count, s);
    expectMatte(twoInputs, second.data(), out.data(), count, "two inputs, " + context);
  }
  std::vector<uint8_t> out(count * bytesPerPixel);
  matteFrame(second.data(), first.data(), out.data(), width, height, s);
  expectMatte(twoInputs, second.data(), out.data(), count, "matteFrame, " + describe(s));
}

TEST(MatteFrame, WritesNothingWithoutPixels) {
  const MatteSettings s =
      matteSettingsFromParameters(std::vector<float>(matteParameterCount, 1.0f).data());
  const uint8_t input[bytesPerPixel] = {1, 2, 3, 4};
  for (auto [width, height] : {std::pair{0, 5}, {5, 0}, {-1, 5}, {5, -3}, {0, 0}}) {
    uint8_t out[bytesPerPixel] = {9, 9, 9, 9};
    matteFrame(input, input, out, width, height, s);
    for (uint8_t b : out) EXPECT_EQ(b, 9) << width << "x" << height;
  }
}

}  // namespace
}  // namespace qov::matte::test
