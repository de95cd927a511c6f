// The frame pipeline on frames in every pixel layout and with padded rows: the bytes are,
// by meaning, those of the same frame in the effect's own layout with packed rows, in place
// and into a separate output, and no padding byte is ever written. Arguments it cannot serve
// are refused before anything is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "effects/antialias/frame_pipeline.h"
#include "effects/parallel/worker_pool.h"

namespace qov::aa {
namespace {

constexpr uint8_t kPadding = 0xA5;  // what the bytes past each row hold, before and after

struct NamedLayout {
  const char* name;
  PixelLayout layout;
};
constexpr NamedLayout kLayouts[] = {{"BGRA", kLayoutBGRA}, {"RGBA", kLayoutRGBA}, {"ARGB", kLayoutARGB},
                                    {"ABGR", kLayoutABGR}, {"BGR", kLayoutBGR},   {"RGB", kLayoutRGB}};

// Offsets of blue, green, red and the fourth byte in a pixel of this layout.
std::vector<int> offsetsOf(const PixelLayout& l) {
  std::vector<int> offsets{l.blue, l.green, l.red};
  if (l.channels == 4) offsets.push_back(l.fourth);
  return offsets;
}

// Blocks of colour with some noise on top, and noisy alpha: edges of every length to blend,
// and alpha edges that count only with Use Alpha.
std::vector<uint8_t> nativeFrame(int width, int height, int channels, std::mt19937& rng) {
  std::vector<uint8_t> bytes(static_cast<std::size_t>(width) * height * channels);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < channels; ++c) {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * channels + c;
        const int block = (x / 5 + y / 3 + c) % 4;
        bytes[i] = static_cast<uint8_t>(c == 3 ? rng() : block * 70 + static_cast<int>(rng() % 12));
      }
  return bytes;
}

// The native frame's pixels in `layout`, rows `stride` bytes apart, the padding filled.
std::vector<uint8_t> inLayout(const std::vector<uint8_t>& native, int width, int height, const PixelLayout& layout,
                              std::ptrdiff_t stride) {
  std::vector<uint8_t> frame(static_cast<std::size_t>(stride) * height, kPadding);
  const std::vector<int> offsets = offsetsOf(layout);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (std::size_t k = 0; k < offsets.size(); ++k)
        frame[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) * layout.channels + offsets[k]] =
            native[(static_cast<std::size_t>(y) * width + x) * layout.channels + k];
  return frame;
}

struct Variant {
  const char* name;
  AntialiasSettings settings;
};

std::vector<Variant> variants() {
  std::vector<Variant> list;
  list.push_back({"default", {}});
  AntialiasSettings half;
  half.strength = 0.6f;
  half.useHalf = true;
  list.push_back({"half at 0.6", half});
  AntialiasSettings visualize;
  visualize.visualize = true;
  list.push_back({"visualize", visualize});
  AntialiasSettings alpha;
  alpha.useAlpha = true;
  alpha.thinLines = true;
  list.push_back({"alpha and thin lines", alpha});
  AntialiasSettings off;
  off.strength = 0.0f;
  list.push_back({"strength 0", off});
  return list;
}

TEST(AntialiasFrameLayout, EveryLayoutAndStrideGivesTheNativeBytesByMeaning) {
  struct Size {
    int width, height;
  };
  constexpr Size kSizes[] = {{1, 1}, {7, 5}, {37, 19}, {300, 120}};
  constexpr int kPaddings[] = {0, 3, 64};
  std::mt19937 rng(91);
  parallel::WorkerPool pool(2);
  for (const Size size : kSizes) {
    AntialiasWorkspace workspace;
    ASSERT_TRUE(workspace.allocate(size.width, size.height));
    for (int channels : {3, 4}) {
      const std::vector<uint8_t> native = nativeFrame(size.width, size.height, channels, rng);
      const std::ptrdiff_t packed = std::ptrdiff_t{size.width} * channels;
      for (const Variant& variant : variants()) {
        std::vector<uint8_t> expected(native.size());
        ASSERT_TRUE(antialiasFrame(native.data(), packed, expected.data(), packed, size.width, size.height,
                                   nativeLayout(channels), variant.settings, workspace));
        for (const NamedLayout& named : kLayouts) {
          const PixelLayout& layout = named.layout;
          if (layout.channels != channels) continue;
          for (int padding : kPaddings) {
            const std::ptrdiff_t stride = packed + padding;
            const std::vector<uint8_t> input = inLayout(native, size.width, size.height, layout, stride);
            const std::vector<uint8_t> want = inLayout(expected, size.width, size.height, layout, stride);
            for (bool inPlace : {false, true}) {
              std::vector<uint8_t> apart(input.size(), kPadding);
              std::vector<uint8_t> frame = input;
              uint8_t* const output = inPlace ? frame.data() : apart.data();
              // The large frame goes through the pool, whose threads split the passes.
              parallel::WorkerPool* const threads = size.width > 100 ? &pool : nullptr;
              ASSERT_TRUE(antialiasFrame(frame.data(), stride, output, stride, size.width, size.height, layout,
                                         variant.settings, workspace, threads));
              EXPECT_EQ(inPlace ? frame : apart, want)
                  << named.name << " " << size.width << "x" << size.height << " padding " << padding << ", "
                  << variant.name << (inPlace ? ", in place" : ", apart");
            }
          }
        }
      }
    }
  }
}

// Different strides for input and output, the output's padding untouched.
TEST(AntialiasFrameLayout, InputAndOutputMayHaveDifferentStrides) {
  constexpr int kWidth = 29, kHeight = 13;
  std::mt19937 rng(92);
  AntialiasWorkspace workspace;
  ASSERT_TRUE(workspace.allocate(kWidth, kHeight));
  const std::vector<uint8_t> native = nativeFrame(kWidth, kHeight, 4, rng);
  std::vector<uint8_t> expected(native.size());
  const std::ptrdiff_t packed = kWidth * 4;
  ASSERT_TRUE(antialiasFrame(native.data(), packed, expected.data(), packed, kWidth, kHeight, kLayoutBGRA, {},
                             workspace));
  const std::vector<uint8_t> input = inLayout(native, kWidth, kHeight, kLayoutRGBA, packed + 8);
  std::vector<uint8_t> output(static_cast<std::size_t>(packed + 20) * kHeight, kPadding);
  ASSERT_TRUE(antialiasFrame(input.data(), packed + 8, output.data(), packed + 20, kWidth, kHeight, kLayoutRGBA, {},
                             workspace));
  EXPECT_EQ(output, inLayout(expected, kWidth, kHeight, kLayoutRGBA, packed + 20));
}

TEST(AntialiasFrameLayout, RefusedArgumentsWriteNothing) {
  constexpr int kWidth = 16, kHeight = 9;
  constexpr std::ptrdiff_t kStride = kWidth * 4;
  std::mt19937 rng(93);
  AntialiasWorkspace workspace;
  ASSERT_TRUE(workspace.allocate(kWidth, kHeight));
  AntialiasWorkspace small;
  ASSERT_TRUE(small.allocate(kWidth, kHeight - 1));
  AntialiasWorkspace none;
  const std::vector<uint8_t> input = nativeFrame(kWidth, kHeight, 4, rng);
  // Room for an output that starts inside the input.
  std::vector<uint8_t> shared(input.size() * 2, kPadding);
  std::copy(input.begin(), input.end(), shared.begin());
  const std::vector<uint8_t> before = shared;
  struct Case {
    const char* what;
    PixelLayout layout;
    std::ptrdiff_t inputStride, outputStride, outputOffset;
    AntialiasWorkspace* workspace;
  };
  const Case cases[] = {
      {"a colour twice", PixelLayout{4, 0, 0, 2, 3}, kStride, kStride, std::ptrdiff_t(input.size()), &workspace},
      {"3 channels with a fourth byte", PixelLayout{3, 0, 1, 2, 3}, kStride, kStride, std::ptrdiff_t(input.size()),
       &workspace},
      {"5 channels", PixelLayout{5, 0, 1, 2, 3}, kStride, kStride, std::ptrdiff_t(input.size()), &workspace},
      {"input stride below a row", kLayoutBGRA, kStride - 1, kStride, std::ptrdiff_t(input.size()), &workspace},
      {"output stride below a row", kLayoutBGRA, kStride, kStride - 4, std::ptrdiff_t(input.size()), &workspace},
      {"negative stride", kLayoutBGRA, -kStride, kStride, std::ptrdiff_t(input.size()), &workspace},
      {"output inside the input", kLayoutBGRA, kStride, kStride, kStride + 4, &workspace},
      {"in place with another stride", kLayoutBGRA, kStride, kStride + 4, 0, &workspace},
      {"workspace too small", kLayoutBGRA, kStride, kStride, std::ptrdiff_t(input.size()), &small},
      {"no workspace", kLayoutBGRA, kStride, kStride, std::ptrdiff_t(input.size()), &none},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> frame = before;
    EXPECT_FALSE(antialiasFrame(frame.data(), c.inputStride, frame.data() + c.outputOffset, c.outputStride, kWidth,
                                kHeight, c.layout, {}, *c.workspace))
        << c.what;
    EXPECT_EQ(frame, before) << c.what;
  }
  std::vector<uint8_t> output(input.size());
  EXPECT_FALSE(antialiasFrame(nullptr, kStride, output.data(), kStride, kWidth, kHeight, kLayoutBGRA, {}, workspace));
  EXPECT_FALSE(antialiasFrame(input.data(), kStride, nullptr, kStride, kWidth, kHeight, kLayoutBGRA, {}, workspace));
  EXPECT_FALSE(workspace.allocate(-1, 4));
  EXPECT_FALSE(workspace.allocate(INT_MAX, INT_MAX)) << "more bytes than the address space holds";
  EXPECT_FALSE(workspace.fits(1, 1)) << "a refused allocation holds nothing";
}

}  // namespace
}  // namespace qov::aa
