// MLAA on whole frames: hand-computed results, the step schedule and block order, the
// painting of edges, and properties that must hold on any frame (flat and edge-free frames,
// flags that change only their own part, buffers supplied or not, any alignment and width).
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "effects/antialias/mlaa.h"
#include "effects/antialias/mlaa_internal.h"
#include "tests/antialias/mlaa_test_frames.h"

namespace qov::aa {
namespace {

using testing::Frame;
using testing::grey;

constexpr uint32_t kGarbage = 0xFFFFFFFFu;
constexpr uint32_t kAllFlags[] = {0u,
                                  MLAA_USE_HALF,
                                  MLAA_THIN_LINES,
                                  MLAA_USE_HALF | MLAA_THIN_LINES,
                                  MLAA_VISUALIZE,
                                  MLAA_VISUALIZE | MLAA_USE_HALF | MLAA_THIN_LINES};

uint32_t opaqueGrey(uint32_t v) { return 0xFF000000u | grey(v); }

Frame antialiased(const Frame& f, uint32_t flags, uint32_t bufferFill = 0) {
  Frame work(f), edges(f.width(), f.height(), 1, bufferFill);
  runMLAA(work.data(), edges.data(), f.width(), f.height(), flags);
  return work;
}

// Pixels a blend or Thin Lines wrote (they become opaque; the inputs here have alpha 0).
std::vector<bool> written(const Frame& f) {
  std::vector<bool> w(f.width() * f.height());
  for (int i = 0; i < f.width() * f.height(); ++i) w[i] = (f.at(i) >> 24) == 0xFFu;
  return w;
}

TEST(Frame, OneWhitePixelOnTheLastRow) {
  // Horizontal pass: (3,6)/(3,7) become 31/227. Vertical pass, column 2 then column 3:
  // (2,7) = 227/8 = 28, (3,7) = 202, then (3,7) = 202 x 7/8 = 176 and (4,7) = 22.
  Frame f(8, 8);
  f.set(3, 7, grey(255));
  const Frame r = antialiased(f, 0);
  Frame expected(f);
  expected.set(3, 6, opaqueGrey(31));
  expected.set(3, 7, opaqueGrey(176));
  expected.set(2, 7, opaqueGrey(28));
  expected.set(4, 7, opaqueGrey(22));
  EXPECT_EQ(r, expected);
}

TEST(Frame, EvenRowBlocksAreBlendedBeforeOddOnes) {
  // Width 1: every run is one pixel. White rows 8, 16, 24 in black; height 36 has five row
  // blocks, done in the order 0, 2, 4, 1, 3, so block 2 (rows 16 and 23) goes before
  // block 1 (rows 8 and 15).
  Frame f(1, 36);
  for (int y : {8, 16, 24}) f.set(0, y, grey(255));
  Frame work(f), edges(1, 36);
  int step = -1;
  MLAA(work.data(), edges.data(), 1, 36, &step, 0, 0);
  EXPECT_EQ(step, 4 + 5 + 1);
  const std::pair<int, uint32_t> expected[] = {{7, 31},  {8, 198},  {9, 24},  {15, 27}, {16, 198},
                                               {17, 27}, {23, 31},  {24, 198}, {25, 24}};
  for (auto [y, v] : expected) EXPECT_EQ(work.at(0, y), opaqueGrey(v)) << "row " << y;
  for (int y : {0, 6, 10, 14, 18, 22, 26, 35}) EXPECT_EQ(work.at(0, y), 0u) << "row " << y;

  // Height 40: the last block (rows 32..34) is blended, once.
  Frame g(1, 40);
  g.set(0, 33, grey(255));
  const Frame r = antialiased(g, 0);
  EXPECT_EQ(r.at(0, 32), opaqueGrey(31));
  EXPECT_EQ(r.at(0, 33), opaqueGrey(198));
  EXPECT_EQ(r.at(0, 34), opaqueGrey(24));
}

TEST(Frame, BlockOrderForAnyBlockCount) {
  const std::vector<std::vector<int>> orders = {
      {0}, {0, 1}, {0, 2, 1}, {0, 2, 1, 3}, {0, 2, 4, 1, 3}, {0, 2, 4, 6, 1, 3, 5}};
  for (const auto& order : orders) {
    const int n = static_cast<int>(order.size());
    for (int j = 0; j < n; ++j) EXPECT_EQ(detail::blockForStep(j, n), order[j]) << n << " " << j;
  }
}

TEST(Frame, StepCounterEndsAfterTheLastStep) {
  for (auto [w, h] : {std::pair{1, 1}, {8, 8}, {13, 36}, {64, 20}, {853, 7}}) {
    Frame f(w, h);
    int step = -1;
    MLAA(f.data(), nullptr, w, h, &step, 0, 0);
    EXPECT_EQ(step, h / 8 + (h + 7) / 8 + (w + 7) / 8) << w << "x" << h;
    step = -1;
    MLAA(f.data(), nullptr, w, h, &step, 0, MLAA_VISUALIZE | MLAA_THIN_LINES);
    EXPECT_EQ(step, h / 8) << w << "x" << h;
  }
}

TEST(Frame, ResumingAfterDetectionUsesTheBufferAsItIs) {
  std::mt19937 rng(11);
  Frame f(24, 24);
  testing::fillBlocks(f, rng, 10);
  Frame full(f), edges(24, 24);
  runMLAA(full.data(), edges.data(), 24, 24, 0);
  // The edge words describe the unblended frame, so resuming after the 3 detection steps
  // with them gives the same frame.
  Frame resumed(f);
  int step = 24 / 8 - 1;
  MLAA(resumed.data(), edges.data(), 24, 24, &step, 0, 0);
  EXPECT_EQ(resumed, full);
  EXPECT_EQ(step, 3 + 3 + 3);
}

TEST(Frame, VisualizePaintsEdgesInsteadOfBlending) {
  // Columns 10.. differ from 0..9, rows 5.. from 0..4.
  Frame f(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) f.set(x, y, grey((x >= 10 ? 100 : 0) + (y >= 5 ? 50 : 0)));
  Frame work(f), edges(16, 16, 0, kGarbage);
  int step = -1;
  MLAA(work.data(), edges.data(), 16, 16, &step, 0, MLAA_VISUALIZE | MLAA_USE_HALF);
  EXPECT_EQ(step, 2);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      uint32_t want = f.at(x, y);
      if (y == 4)
        want = 0x0000FF00u;  // below wins where both are set, at (9, 4)
      else if (x == 9)
        want = 0x00FF0000u;
      EXPECT_EQ(work.at(x, y), want) << x << "," << y;
    }
  // Height 12: the unexamined rows are not painted, whatever the buffer held.
  Frame g(16, 12);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) g.set(x, y, grey(x % 2 ? 200 : 0));
  const Frame r = antialiased(g, MLAA_VISUALIZE, kGarbage);
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 16; ++x) {
      const uint32_t want = (y < 8 && x < 15) ? 0x00FF0000u : g.at(x, y);
      EXPECT_EQ(r.at(x, y), want) << x << "," << y;
    }
}

// The painting split over a pool: chunks that end inside rows, a row shorter than a chunk.
TEST(Frame, EdgePaintingOverAPoolGivesTheSameBytes) {
  std::mt19937 rng(5);
  parallel::WorkerPool pool(3);
  for (const auto& [width, height] : {std::pair{301, 200}, std::pair{7, 9000}}) {
    Frame f(width, height);
    for (int i = 0; i < width * height; ++i) f.set(i % width, i / width, grey(rng() % 2 ? 255 : 0));
    const Frame serial = antialiased(f, MLAA_VISUALIZE);
    Frame work(f), edges(width, height, 1, kGarbage);
    int step = -1;
    detail::runSteps(work.data(), edges.data(), width, height, &step, MLAA_VISUALIZE, detail::chosenKernels(), &pool);
    EXPECT_EQ(work, serial) << width << "x" << height;
  }
}

TEST(Frame, FlatAndEdgeFreeFramesAreUnchanged) {
  for (auto [w, h] : {std::pair{16, 16}, {13, 21}, {1, 9}, {40, 8}}) {
    for (uint32_t flags : kAllFlags) {
      // Opaque and half-transparent flat frames: alpha bits must not pose as edges.
      for (uint32_t pixel : {0x00000000u, 0x00804020u, 0xFF804020u, 0x40FFFFFFu, 0x80000000u}) {
        const Frame f(w, h, 0, pixel);
        EXPECT_EQ(antialiased(f, flags, kGarbage), f) << w << "x" << h << " " << flags;
      }
      Frame ramp(w, h);
      testing::fillRamp(ramp);
      EXPECT_EQ(antialiased(ramp, flags, kGarbage), ramp) << w << "x" << h << " " << flags;
    }
  }
}

TEST(Frame, StraightFullWidthStepHasNoEndsAndIsUnchanged) {
  Frame f(16, 16);
  f.fillRect(0, 6, 16, 16, grey(255));
  EXPECT_EQ(antialiased(f, 0), f);
  EXPECT_EQ(antialiased(f, MLAA_USE_HALF), f);
}

TEST(Frame, ResultDoesNotDependOnTheEdgeBufferOrAlignment) {
  std::mt19937 rng(3);
  for (auto [w, h] : {std::pair{32, 32}, {20, 13}, {7, 30}, {64, 17}}) {
    Frame f(w, h);
    testing::fillBlocks(f, rng, 15);
    for (uint32_t flags : kAllFlags) {
      Frame own(f);
      runMLAA(own.data(), nullptr, w, h, flags);
      for (int misalign = 0; misalign < 4; ++misalign) {
        Frame work(w, h, misalign), edges(w, h, 3 - misalign, kGarbage);
        std::memcpy(work.data(), f.data(), f.bytes());
        runMLAA(work.data(), edges.data(), w, h, flags);
        EXPECT_EQ(work, own) << w << "x" << h << " flags " << flags << " misalign " << misalign;
      }
    }
  }
}

TEST(Frame, UseHalfChangesHeightsOnly) {
  // The end points do not depend on heights, so the same pixels are written.
  std::mt19937 rng(17);
  int differing = 0;
  for (int n = 0; n < 20; ++n) {
    Frame f(48, 40);
    testing::fillBlocks(f, rng, 20);
    for (uint32_t thin : {0u, MLAA_THIN_LINES}) {
      const Frame plain = antialiased(f, thin), half = antialiased(f, thin | MLAA_USE_HALF);
      const auto touched = written(plain);
      EXPECT_EQ(touched, written(half));
      for (int i = 0; i < 48 * 40; ++i)
        if (!touched[i]) {
          EXPECT_EQ(half.at(i), f.at(i));
        }
      differing += !(plain == half);
    }
  }
  EXPECT_GT(differing, 0);
}

TEST(Frame, ThinLinesTouchesOnlyThinLines) {
  std::mt19937 rng(23);
  for (int n = 0; n < 20; ++n) {
    // 2 x 2 cells: no line is one pixel thick, and the first row and column repeat in the
    // second, so Thin Lines finds nothing to soften.
    Frame thick(48, 40);
    testing::fillBlocks(thick, rng, 20, 2);
    EXPECT_EQ(antialiased(thick, MLAA_THIN_LINES), antialiased(thick, 0));
    // With thin features it writes more pixels, never fewer: blends depend on edge words only.
    Frame thin(48, 40);
    testing::fillBlocks(thin, rng, 20, 1);
    const auto plain = written(antialiased(thin, 0)),
               soft = written(antialiased(thin, MLAA_THIN_LINES));
    for (size_t i = 0; i < plain.size(); ++i)
      if (plain[i]) {
        EXPECT_TRUE(soft[i]) << i;
      }
  }
  // A one-pixel white line across black: Thin Lines changes it.
  Frame line(16, 16);
  line.fillRect(3, 7, 12, 8, grey(255));
  EXPECT_NE(antialiased(line, MLAA_THIN_LINES), antialiased(line, 0));
}

TEST(Frame, AnyWidthAndFlagsStayInsideTheBuffers) {
  // Exact-size buffers: AddressSanitizer reports any access past them.
  std::mt19937 rng(29);
  for (int w = 1; w <= 37; ++w) {
    for (int h : {1, 8, 9, 16, 19}) {
      std::vector<uint8_t> image(static_cast<size_t>(w) * h * 4), edges(image.size());
      for (uint32_t flags : kAllFlags) {
        for (int content = 0; content < 2; ++content) {
          for (auto& b : image) b = static_cast<uint8_t>(content ? rng() : (rng() % 2) * 255);
          const std::vector<uint8_t> before = image;
          runMLAA(image.data(), edges.data(), w, h, flags);
          if (h < 8) {
            EXPECT_EQ(image, before) << w << "x" << h;
          }
        }
      }
    }
  }
  std::vector<uint8_t> wide(853 * 24 * 4);
  for (auto& b : wide) b = static_cast<uint8_t>(rng());
  for (uint32_t flags : kAllFlags) runMLAA(wide.data(), nullptr, 853, 24, flags);
}

TEST(Frame, ConcurrentCallsWithDifferentFlagsDoNotMeet) {
  std::mt19937 rng(31);
  Frame f(64, 48);
  testing::fillBlocks(f, rng, 25);
  const uint32_t flags[] = {0u, MLAA_USE_HALF, MLAA_THIN_LINES, MLAA_VISUALIZE};
  std::vector<Frame> expected, results(4, f);
  for (uint32_t fl : flags) expected.push_back(antialiased(f, fl));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int k = 0; k < 20; ++k) {
        Frame work(f);
        runMLAA(work.data(), nullptr, 64, 48, flags[t]);
        results[t] = work;
      }
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(results[t], expected[t]) << "flags " << flags[t];
}

}  // namespace
}  // namespace qov::aa
