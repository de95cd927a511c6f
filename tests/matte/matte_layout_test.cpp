// The matte pass on frames in other byte orders and with padded rows: every level against
// the rule applied to the same pixels in the native order, with the fourth byte at either
// end, as alpha or as padding, in place and threaded; the bytes between rows stay untouched.
#include <gtest/gtest.h>

#include <cstring>

#include "effects/parallel/worker_pool.h"
#include "tests/matte/matte_test_support.h"

namespace qov::matte::test {
namespace {

struct NamedLayout {
  const char* name;
  MatteLayout layout;
};

// The orders of GStreamer's 4-byte RGB formats; x: the fourth byte is padding.
const NamedLayout layouts[] = {
    {"BGRA", {0, 1, 2, 3, true}}, {"BGRx", {0, 1, 2, 3, false}}, {"RGBA", {2, 1, 0, 3, true}},
    {"RGBx", {2, 1, 0, 3, false}}, {"ARGB", {3, 2, 1, 0, true}}, {"xRGB", {3, 2, 1, 0, false}},
    {"ABGR", {1, 2, 3, 0, true}}, {"xBGR", {1, 2, 3, 0, false}},
};

constexpr uint8_t padding = 0x5A;

// A native frame (packed rows) written in `layout` with rows `stride` bytes apart; the bytes
// past each row hold `padding`.
std::vector<uint8_t> toLayout(const std::vector<uint8_t>& native, size_t width, size_t height, size_t stride,
                              const MatteLayout& l) {
  std::vector<uint8_t> out(stride * height, padding);
  for (size_t y = 0; y < height; ++y)
    for (size_t x = 0; x < width; ++x) {
      const uint8_t* n = &native[(y * width + x) * bytesPerPixel];
      uint8_t* p = &out[y * stride + x * bytesPerPixel];
      p[l.blue] = n[blueByte];
      p[l.green] = n[greenByte];
      p[l.red] = n[redByte];
      p[l.fourth] = n[alphaByte];
    }
  return out;
}

TEST(MatteLayouts, EveryLevelMatchesTheRuleOnReorderedPaddedRows) {
  std::mt19937 rng(2207);
  const size_t widths[] = {1, 3, 5, 17, 67};
  const size_t heights[] = {1, 3};
  parallel::WorkerPool pool(3);
  for (const NamedLayout& named : layouts) {
    const MatteLayout& l = named.layout;
    for (const NamedKernel& k : runnableKernels()) {
      for (size_t width : widths) {
        for (size_t height : heights) {
          for (size_t extra : {size_t{0}, size_t{4}, size_t{13}}) {
            const size_t stride = width * bytesPerPixel + extra;
            const size_t count = width * height;
            const MatteSettings s = randomSettings(rng);
            const std::vector<uint8_t> colour = randomBytes(rng, count * bytesPerPixel);
            std::vector<uint8_t> mask = randomBytes(rng, count * bytesPerPixel);
            const std::vector<uint8_t> maskIn = toLayout(mask, width, height, stride, l);
            // A padding byte is never read: the pixel counts as opaque whatever it holds.
            if (!l.fourthIsAlpha)
              for (size_t i = alphaByte; i < mask.size(); i += bytesPerPixel) mask[i] = 255;
            const std::vector<uint8_t> expected =
                toLayout(referenceFrame(colour.data(), mask.data(), count, s), width, height, stride, l);
            const std::vector<uint8_t> colourIn = toLayout(colour, width, height, stride, l);
            const std::string context = std::string(named.name) + ", " + k.name + ", " + std::to_string(width) +
                                        "x" + std::to_string(height) + " stride " + std::to_string(stride) + ", " +
                                        describe(s);
            const MatteByteRule rule(s, l);

            std::vector<uint8_t> out(stride * height, padding);
            detail::matteRowsWith(k.kernel, &pool, 1, colourIn.data(), stride, maskIn.data(), stride, out.data(),
                                  stride, width, height, rule);
            ASSERT_EQ(out, expected) << context << ", two inputs";

            std::vector<uint8_t> buffer = maskIn;  // the single-input matte, in place
            const std::vector<uint8_t> maskOnly =
                toLayout(referenceFrame(mask.data(), mask.data(), count, s), width, height, stride, l);
            detail::matteRowsWith(k.kernel, nullptr, detail::chunkPixels, buffer.data(), stride, buffer.data(),
                                  stride, buffer.data(), stride, width, height, rule);
            // Where the fourth byte is padding, the colour bytes and the mask come out as
            // from the opaque native pixel.
            ASSERT_EQ(buffer, maskOnly) << context << ", in place";
          }
        }
      }
    }
  }
}

// The public entry picks the level and splits a frame larger than a chunk; inputs with
// other strides than the output.
TEST(MatteLayouts, MatteFrameTakesEachBufferWithItsOwnStride) {
  std::mt19937 rng(2208);
  constexpr int width = 333, height = 120;
  constexpr size_t count = size_t{width} * height;
  const MatteLayout& l = layouts[4].layout;  // ARGB: the mask goes to byte 0
  const MatteSettings s = randomSettings(rng);
  const std::vector<uint8_t> colour = randomBytes(rng, count * bytesPerPixel);
  const std::vector<uint8_t> mask = randomBytes(rng, count * bytesPerPixel);
  const size_t colourStride = width * bytesPerPixel + 64, maskStride = width * bytesPerPixel,
               outStride = width * bytesPerPixel + 12;
  const std::vector<uint8_t> colourIn = toLayout(colour, width, height, colourStride, l);
  const std::vector<uint8_t> maskIn = toLayout(mask, width, height, maskStride, l);
  parallel::WorkerPool twoThreads(2);
  for (parallel::WorkerPool* pool : {static_cast<parallel::WorkerPool*>(nullptr), &twoThreads}) {
    std::vector<uint8_t> out(outStride * height, padding);
    matteFrame(colourIn.data(), colourStride, maskIn.data(), maskStride, out.data(), outStride, width, height, l, s,
               pool);
    EXPECT_EQ(out, toLayout(referenceFrame(colour.data(), mask.data(), count, s), width, height, outStride, l))
        << (pool ? "threaded" : "serial");
  }
}

}  // namespace
}  // namespace qov::matte::test
