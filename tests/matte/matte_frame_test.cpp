// Tests of the whole-frame matte pass: odd frame sizes, the thread split, in place, and
// frames with nothing to do.
#include <gtest/gtest.h>

#include "effects/parallel/worker_pool.h"

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
      // Every level, and threads even on frames this small (chunks of one cache line).
      parallel::WorkerPool pool(3);
      for (const NamedKernel& k : runnableKernels()) {
        std::fill(out.begin(), out.end(), 0);
        detail::matteFrameWith(k.kernel, &pool, 1, colour.data(), mask.data(), out.data(), count, s);
        expectMatte(expected, colour.data(), out.data(), count, context + ", threaded " + k.name);
      }
    }
  }
}

// Pool sizes and chunk sizes that do not divide the frame's cache-line blocks evenly, or
// exceed them; in place.
TEST(MatteFrame, AnyPoolAndChunkSizeCoversTheFrameExactlyOnce) {
  std::mt19937 rng(12);
  for (unsigned threads : {1u, 2u, 3u, 5u, 8u}) {
    parallel::WorkerPool pool(threads);
    for (size_t chunk : {size_t{1}, size_t{17}, size_t{1000}}) {
      for (size_t count : {size_t{1}, size_t{15}, size_t{17}, size_t{100}, size_t{4099}}) {
        const MatteSettings s = randomSettings(rng);
        const std::vector<uint8_t> colour = randomBytes(rng, count * bytesPerPixel);
        std::vector<uint8_t> buffer = colour;
        detail::matteFrameWith(detail::selectedKernel(), &pool, chunk, buffer.data(), buffer.data(),
                               buffer.data(), count, s);
        expectMatte(referenceFrame(colour.data(), colour.data(), count, s), colour.data(), buffer.data(), count,
                    std::to_string(threads) + " threads, chunks of " + std::to_string(chunk) + ", " +
                        std::to_string(count) + " pixels");
      }
    }
  }
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
  parallel::WorkerPool twoThreads(2);
  for (parallel::WorkerPool* pool : {static_cast<parallel::WorkerPool*>(nullptr), &twoThreads}) {
    const std::string context = std::string(pool == nullptr ? "serial, " : "threaded, ") + describe(s);
    std::vector<uint8_t> buffer = first;
    detail::matteFrameWith(detail::selectedKernel(), pool, detail::chunkPixels, buffer.data(), buffer.data(),
                           buffer.data(), count, s);
    expectMatte(inPlace, first.data(), buffer.data(), count, "in place, " + context);
    std::vector<uint8_t> out(count * bytesPerPixel);
    detail::matteFrameWith(detail::selectedKernel(), pool, detail::chunkPixels, second.data(), first.data(),
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
