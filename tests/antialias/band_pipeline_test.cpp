// The frame pipeline in bands of rows against the serial order: MLAA over the whole frame in
// its steps (runMLAA without a pool) and the Strength mix written out plainly. Bands blend
// rows they share with their neighbours in copies of their own and take the vertical runs
// that cross them in parts, so a wrong halo row, a wrong boundary or a wrong weight where a
// run crosses one shows here as a byte difference, and bands that touched each other's
// memory as a race under ThreadSanitizer (tests/reliability/tsan.sh). The pool is the
// threaded stand-in of threaded_test_pool.cpp, so neighbouring bands do run at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "effects/antialias/frame_pipeline.h"
#include "effects/antialias/mlaa.h"
#include "effects/parallel/worker_pool.h"
#include "tests/antialias/mlaa_test_frames.h"
#include "tests/antialias/threaded_test_pool.h"

namespace qov::aa {
namespace {

using testing::Frame;

constexpr int kSmallBands = 16;  // the narrowest bands: a boundary every 16 rows

enum class Content { noise, blocks, boundaryLines, verticalSegments, stairs, alphaEdges, sparseLines, count };

// Band boundaries lie at rows 16k + 1 (band_layout.h); lines on the rows around them, and
// vertical segments that begin and end near them and cross many.
void fill(Frame& f, Content content, std::mt19937& rng) {
  const int w = f.width(), h = f.height();
  const auto pick = [&](int n) { return n <= 0 ? 0 : static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  switch (content) {
    case Content::noise:
      testing::fillNoise(f, rng, rng() % 2 == 0);
      break;
    case Content::blocks:
      testing::fillBlocks(f, rng, 10);
      break;
    case Content::boundaryLines:
      testing::fillBlocks(f, rng, 3, 8);
      for (int y = 0; y < h; ++y)
        if (y % 16 == 0 || y % 16 == 1 || y % 16 == 15)
          for (int x = pick(3); x < w; x += 1 + pick(30))
            f.fillRect(x, y, std::min(w, x + 1 + pick(20)), y + 1, testing::grey(rng() % 2 ? 255 : 0));
      break;
    case Content::verticalSegments:
      f.fillRect(0, 0, w, h, testing::rgb(20, 40, 60));
      for (int x = 0; x < w; ++x) {
        if (pick(3) == 0) continue;
        // From just before, at or after a boundary to the same near a later one.
        const int first = std::max(0, 16 * pick(h / 16 + 1) + pick(5) - 2);
        const int last = std::min(h, first + 16 * pick(h / 16 + 1) + pick(5) - 2);
        f.fillRect(x, first, x + 1 + pick(2), last, testing::rgb(230, 200, 30 + 40 * static_cast<uint32_t>(pick(5))));
      }
      break;
    case Content::stairs: {
      // Steep staircases: vertical runs of many rows, their ends turning at every height.
      const int step = 1 + pick(40);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          f.set(x, y, (x + y / step) % 23 < 11 ? testing::rgb(250, 240, 230) : testing::rgb(5, 10, 80));
      break;
    }
    case Content::alphaEdges:
      // Edges that only Use Alpha sees, and fourth bytes whose top bits pose as edge bits.
      f.fillRect(0, 0, w, h, testing::grey(128));
      for (int i = 0; i < w * h; ++i)
        if (pick(4) == 0) f.set(i, testing::grey(128) | (static_cast<uint32_t>(pick(256)) << 24));
      break;
    case Content::sparseLines:
      // Short lines far apart on a flat ground, most of them beginning or ending next to a
      // boundary between chunks of 16 pixels, where the mix and the working copy stop. Their
      // shades step by 12, less than an edge, so that where lines cross or touch, one pixel
      // may differ from a second and that from a third while the first and third do not.
      f.fillRect(0, 0, w, h, testing::rgb(90, 120, 150));
      for (int i = w * h / 200; i >= 0; --i) {
        const int x = std::max(0, 16 * pick(w / 16 + 1) + pick(5) - 2), y = pick(h);
        const uint32_t step = 12 * static_cast<uint32_t>(1 + pick(3));
        const uint32_t colour = testing::rgb(90 + step, 120 + step, 150 + step);
        if (pick(2) == 0)
          f.fillRect(x, y, std::min(w, x + 1 + pick(18)), std::min(h, y + 1 + pick(2)), colour);
        else
          f.fillRect(x, y, std::min(w, x + 1 + pick(2)), std::min(h, y + 1 + pick(18)), colour);
      }
      break;
    case Content::count:
      break;
  }
}

// The native frame (B, G, R and, with 4 channels, the fourth byte) of a test frame.
std::vector<uint8_t> nativeBytes(const Frame& source, int channels) {
  std::vector<uint8_t> bytes(static_cast<std::size_t>(source.width()) * source.height() * channels);
  for (int i = 0; i < source.width() * source.height(); ++i)
    for (int c = 0; c < channels; ++c) bytes[static_cast<std::size_t>(i) * channels + c] = static_cast<uint8_t>(source.at(i) >> (8 * c));
  return bytes;
}

// The serial order: the working copy, MLAA on the whole frame, and the mix.
std::vector<uint8_t> serialOutput(const std::vector<uint8_t>& input, int width, int height, int channels,
                                  const AntialiasSettings& settings) {
  const int strength8 = strength8FromStrength(settings.strength);
  const std::size_t count = static_cast<std::size_t>(width) * height;
  std::vector<uint8_t> work(count * 4);
  for (std::size_t i = 0; i < count; ++i) {
    std::memcpy(&work[4 * i], &input[channels * i], 3);
    work[4 * i + 3] = channels == 4 && settings.useAlpha ? input[4 * i + 3] : 0;
  }
  runMLAA(work.data(), nullptr, width, height, mlaaFlagsFor(settings));
  std::vector<uint8_t> output = input;
  for (std::size_t i = 0; i < count; ++i)
    for (int c = 0; c < 3; ++c) {
      const int mixed = (255 - strength8) * input[channels * i + c] + strength8 * work[4 * i + c];
      output[channels * i + c] = static_cast<uint8_t>(std::lround(mixed / 255.0));
    }
  return output;
}

struct Case {
  int width, height;
  Content content;
  int bandRows;  // 0: the workspace's own choice for the size
};

// The banded pipeline on the pool, in place and into a separate output, against the serial
// order; the bands' working memory holds other bytes before each frame.
void expectSameAsSerialOn(const Frame& source, int bandRows, int channels, const AntialiasSettings& settings,
                          unsigned threads) {
  const Case c{source.width(), source.height(), Content::count, bandRows};
  const std::vector<uint8_t> input = nativeBytes(source, channels);
  const std::vector<uint8_t> expected = serialOutput(input, c.width, c.height, channels, settings);
  AntialiasWorkspace workspace;
  ASSERT_TRUE(c.bandRows == 0 ? workspace.allocate(c.width, c.height)
                              : detail::allocateWithBandRows(workspace, c.width, c.height, c.bandRows));
  parallel::WorkerPool pool(threads);
  const std::ptrdiff_t stride = std::ptrdiff_t{c.width} * channels;
  std::vector<uint8_t> apart(input.size(), 0x5A), inPlace = input;
  detail::fillBandMemory(workspace, 0xA5);
  ASSERT_TRUE(antialiasFrame(input.data(), stride, apart.data(), stride, c.width, c.height, nativeLayout(channels),
                             settings, workspace, &pool));
  detail::fillBandMemory(workspace, 0x3C);
  ASSERT_TRUE(antialiasFrame(inPlace.data(), stride, inPlace.data(), stride, c.width, c.height,
                             nativeLayout(channels), settings, workspace, &pool));
  ASSERT_EQ(apart, expected) << "into a separate output";
  ASSERT_EQ(inPlace, expected) << "in place";
}

void expectSameAsSerial(const Case& c, int channels, const AntialiasSettings& settings, unsigned threads,
                        std::mt19937& rng) {
  Frame source(c.width, c.height);
  fill(source, c.content, rng);
  expectSameAsSerialOn(source, c.bandRows, channels, settings, threads);
}

// Settings number n of the 16 combinations of the four switches, at full or partial strength.
AntialiasSettings settingsFor(unsigned n, bool partial) {
  AntialiasSettings s;
  s.strength = partial ? 0.6f : 1.0f;
  s.useHalf = n & 1u;
  s.thinLines = n & 2u;
  s.visualize = n & 4u;
  s.useAlpha = n & 8u;
  return s;
}

// Every width up to five column blocks and heights around the band and block sizes, in bands
// of 16 rows, with every combination of switches.
TEST(BandPipeline, SmallFramesInNarrowBandsEverySwitchCombination) {
  std::mt19937 rng(17);
  const int heights[] = {1, 2, 7, 8, 9, 15, 16, 17, 18, 19, 31, 32, 33, 34, 35, 48, 49, 50, 63, 64, 65, 66, 97};
  for (int width = 1; width <= 40; ++width)
    for (int height : heights)
      for (unsigned n = 0; n < 16; ++n) {
        const auto content = static_cast<Content>((width + height + n) % static_cast<unsigned>(Content::count));
        SCOPED_TRACE(::testing::Message() << width << "x" << height << " content " << static_cast<int>(content)
                                          << " switches " << n);
        expectSameAsSerial({width, height, content, kSmallBands}, (width + n) % 3 ? 4 : 3,
                           settingsFor(n, (width + height) % 4 == 0), 2 + (width + n) % 3, rng);
      }
}

// Odd sizes, frames of many bands of their own size, runs across many boundaries, and rows
// and columns longer than the run finder's bit sets.
TEST(BandPipeline, LargeAndOddFrames) {
  const Case cases[] = {
      {853, 67, Content::noise, 0},           {853, 67, Content::boundaryLines, kSmallBands},
      {1001, 129, Content::stairs, 0},        {257, 1025, Content::verticalSegments, 0},
      {257, 1025, Content::stairs, 32},       {1279, 721, Content::noise, 0},
      {641, 383, Content::boundaryLines, 0},  {641, 383, Content::verticalSegments, kSmallBands},
      {37, 900, Content::verticalSegments, kSmallBands}, {8193, 35, Content::noise, kSmallBands},
      {17, 8200, Content::noise, 0},          {8200, 33, Content::stairs, kSmallBands},
      {300, 500, Content::alphaEdges, 48},     {1111, 97, Content::sparseLines, 0},
      {250, 301, Content::sparseLines, kSmallBands},
  };
  const std::size_t workerChunksBefore = parallel::testing::chunksRunByWorkers();
  std::mt19937 rng(23);
  unsigned n = 0;
  for (const Case& c : cases)
    for (unsigned switches : {0u, 2u, 3u, 4u, 10u}) {
      ++n;
      SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " content " << static_cast<int>(c.content)
                                        << " switches " << switches);
      expectSameAsSerial(c, n % 3 ? 4 : 3, settingsFor(switches, n % 2 == 0), 2 + n % 3, rng);
    }
  // The comparison means something only if other threads did bands.
  EXPECT_GT(parallel::testing::chunksRunByWorkers(), workerChunksBefore);
}

// Thin Lines on the pixel just before a run that begins a chunk reads the pixel below it,
// which no blend writes and whose chunk may be one that nothing else reads: row 6 begins a
// run at the chunk boundary x, the pixel before it differs from the one above it, and the
// shades below step by less than an edge, so that no edge bit marks the chunk below.
TEST(BandPipeline, ThinLinesReadTheRowBelowAChunkThatNoBlendTouches) {
  for (int x : {16, 80, 96}) {
    Frame f(160, 16);
    f.fillRect(0, 0, 160, 16, testing::grey(100));
    f.set(x - 1, 5, testing::grey(130));
    f.set(x - 1, 7, testing::grey(108));
    f.fillRect(x, 7, x + 6, 8, testing::grey(116));
    for (const bool partial : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "run at " << x << (partial ? ", partial strength" : ""));
      expectSameAsSerialOn(f, 0, 4, settingsFor(2, partial), 2);
    }
  }
}

}  // namespace
}  // namespace qov::aa
