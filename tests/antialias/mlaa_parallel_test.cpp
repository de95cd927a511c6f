// MLAA split over threads against the serial order. Blocks of one parity run at the same
// time, so a pixel or edge word that two of them shared would show here as a byte difference
// (and as a race under ThreadSanitizer: tests/reliability/tsan.sh). The pool is the
// threaded stand-in of threaded_test_pool.cpp, with one block per chunk, so neighbouring
// blocks of a parity do overlap.
#include <gtest/gtest.h>

#include <random>

#include "effects/antialias/mlaa_internal.h"
#include "effects/parallel/worker_pool.h"
#include "tests/antialias/mlaa_test_frames.h"
#include "tests/antialias/threaded_test_pool.h"

namespace qov::aa {
namespace {

using testing::Frame;

enum class Content { noise, blocks, boundaryLines, stairs, count };

constexpr uint32_t kEveryFlag = MLAA_USE_HALF | MLAA_VISUALIZE | MLAA_THIN_LINES;

// Every combination of the three flag bits.
std::vector<uint32_t> allFlagSets() {
  std::vector<uint32_t> sets;
  for (uint32_t flags = 0; flags <= kEveryFlag; ++flags)
    if ((flags & ~kEveryFlag) == 0) sets.push_back(flags);
  return sets;
}

void fill(Frame& f, Content content, std::mt19937& rng) {
  const int w = f.width(), h = f.height();
  switch (content) {
    case Content::noise:  // every pixel an edge: runs as long as the lines
      testing::fillNoise(f, rng, rng() % 2 == 0);
      break;
    case Content::blocks:
      testing::fillBlocks(f, rng, 12);
      break;
    case Content::boundaryLines:
      // One-pixel lines on the last line of a block, the first and the one after it, both
      // ways, with breaks: one-pixel runs and thin-line softening read and write right at
      // the lines that neighbouring blocks share.
      testing::fillBlocks(f, rng, 3, 8);
      for (int y = 0; y < h; ++y)
        if (y % 8 == 7 || y % 8 == 0 || y % 8 == 1)
          for (int x = static_cast<int>(rng() % 3); x < w; x += 1 + static_cast<int>(rng() % 40))
            f.fillRect(x, y, std::min(w, x + 1 + static_cast<int>(rng() % 30)), y + 1,
                       testing::grey(rng() % 2 ? 255 : 0));
      for (int x = 0; x < w; ++x)
        if (x % 8 == 7 || x % 8 == 0)
          f.fillRect(x, static_cast<int>(rng() % (h / 2 + 1)), x + 1, h, testing::rgb(250, 10, 10));
      break;
    case Content::stairs: {
      // Shallow and steep staircases: long runs whose ends turn inside other blocks.
      const int slope = 1 + static_cast<int>(rng() % 25);
      const bool steep = rng() % 2 == 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          const bool inside = steep ? (x * slope + y) % 97 < 48 : (y * slope + x) % 113 < 50;
          f.set(x, y, inside ? testing::rgb(240, 200, 20) : testing::rgb(10, 30, 90));
        }
      break;
    }
    case Content::count:
      break;
  }
}

struct Outcome {
  Frame image, edges;
  int step;
};

// One call from `step`, with `edges` as the buffer held before it.
Outcome runFrom(const Frame& source, const Frame& edges, int step, uint32_t flags,
                parallel::WorkerPool* pool) {
  Outcome out{source, edges, step};
  detail::runSteps(out.image.data(), out.edges.data(), source.width(), source.height(),
                   &out.step, flags, detail::chosenKernels(), pool);
  return out;
}

void expectSameAsSerial(const Frame& source, const Frame& edges, int step, uint32_t flags,
                        unsigned threads) {
  parallel::WorkerPool pool(threads);
  const Outcome serial = runFrom(source, edges, step, flags, nullptr);
  const Outcome split = runFrom(source, edges, step, flags, &pool);
  ASSERT_EQ(split.image, serial.image) << "flags " << flags << ", " << threads << " threads";
  ASSERT_EQ(split.edges, serial.edges) << "flags " << flags << ", " << threads << " threads";
  ASSERT_EQ(split.step, serial.step);
}

// Heights around multiples of 8 and 16 (a last partial block, or none) and every width up
// to five column blocks, with every flag combination.
TEST(MlaaParallel, SmallFramesEveryFlagCombination) {
  std::mt19937 rng(7);
  const int heights[] = {1, 2, 7, 8, 9, 15, 16, 17, 23, 24, 25, 31, 32, 33, 40, 47, 48, 49};
  for (int width = 1; width <= 40; ++width) {
    for (int height : heights) {
      Frame source(width, height, (width + height) % 4);
      fill(source, static_cast<Content>((width + height) % static_cast<int>(Content::count)), rng);
      const Frame edges(width, height, 1, 0xA5A5A5A5u);
      for (uint32_t flags : allFlagSets())
        expectSameAsSerial(source, edges, -1, flags, 2 + (width + flags) % 3);
    }
  }
}

// Many blocks per parity, odd sizes, and lines longer than the run finder's bit sets.
TEST(MlaaParallel, LargeAndOddFrames) {
  struct Case {
    int width, height;
    Content content;
  };
  const Case cases[] = {
      {853, 67, Content::noise},          {853, 67, Content::boundaryLines},
      {1001, 129, Content::stairs},       {257, 1025, Content::blocks},
      {257, 1025, Content::stairs},       {1279, 721, Content::noise},
      {641, 383, Content::boundaryLines}, {8193, 17, Content::noise},
      {17, 8200, Content::noise},         {8200, 33, Content::stairs},
  };
  const std::size_t workerChunksBefore = parallel::testing::chunksRunByWorkers();
  std::mt19937 rng(11);
  unsigned threads = 2;
  for (const Case& c : cases) {
    Frame source(c.width, c.height, 2);
    fill(source, c.content, rng);
    const Frame edges(c.width, c.height, 0, 0);
    for (uint32_t flags : {0u, MLAA_THIN_LINES, MLAA_USE_HALF | MLAA_THIN_LINES, MLAA_VISUALIZE}) {
      SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " content "
                                        << static_cast<int>(c.content));
      expectSameAsSerial(source, edges, -1, flags, threads);
      threads = threads == 4 ? 2 : threads + 1;
    }
  }
  // The comparison means something only if other threads did blocks.
  EXPECT_GT(parallel::testing::chunksRunByWorkers(), workerChunksBefore);
}

// A call may begin at any step, also in the middle of a parity, with whatever the edge
// buffer holds: the edge words of the frame, or left-overs that describe another one.
TEST(MlaaParallel, ResumingAtEveryStep) {
  std::mt19937 rng(3);
  for (const auto& [width, height] : {std::pair{37, 41}, std::pair{67, 50}}) {
    const int total = height / 8 + (height + 7) / 8 + (width + 7) / 8;
    Frame source(width, height), other(width, height);
    fill(source, Content::noise, rng);
    fill(other, Content::stairs, rng);
    Frame ownEdges(width, height), otherEdges(width, height);
    detail::scalar::detectRows(source.data(), width * 4, detail::kEveryByte, ownEdges.data(), width, height, 0, height,
                               nullptr, nullptr);
    detail::scalar::detectRows(other.data(), width * 4, detail::kEveryByte, otherEdges.data(), width, height, 0, height,
                               nullptr, nullptr);
    for (int start = -2; start <= total + 1; ++start)
      for (const Frame* edges : {&ownEdges, &otherEdges})
        for (uint32_t flags : {0u, MLAA_THIN_LINES | MLAA_USE_HALF, MLAA_VISUALIZE}) {
          SCOPED_TRACE(::testing::Message() << width << "x" << height << " from step " << start);
          expectSameAsSerial(source, *edges, start, flags, 2 + static_cast<unsigned>(start + 2) % 3);
        }
  }
}

}  // namespace
}  // namespace qov::aa
