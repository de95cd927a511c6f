// Edge detection: the difference test, the edge words of a frame (borders, unexamined rows,
// alpha), and every level's kernel against the scalar reference.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "effects/antialias/edge_chunks.h"
#include "effects/antialias/mlaa.h"
#include "effects/antialias/mlaa_internal.h"
#include "tests/antialias/mlaa_test_frames.h"

namespace qov::aa {
namespace {

using testing::Frame;
using testing::grey;

constexpr uint32_t kGarbage = 0xFFFFFFFFu;

// Runs MLAA up to the end of detection (Visualize stops there) and returns the edge words.
Frame detectedEdges(const Frame& image, uint32_t garbage = kGarbage) {
  Frame work(image), edges(image.width(), image.height(), 0, garbage);
  int step = -1;
  MLAA(work.data(), edges.data(), image.width(), image.height(), &step, 0, MLAA_VISUALIZE);
  return edges;
}

TEST(PixelsDiffer, SixteenInAnyByteIsADifferenceFifteenIsNot) {
  for (int c = 0; c < 4; ++c) {
    const uint32_t base = 0x50505050u;
    const uint32_t plus15 = base + (15u << (8 * c)), plus16 = base + (16u << (8 * c));
    EXPECT_FALSE(pixelsDiffer(base, plus15)) << "byte " << c;
    EXPECT_FALSE(pixelsDiffer(plus15, base)) << "byte " << c;
    EXPECT_TRUE(pixelsDiffer(base, plus16)) << "byte " << c;
    EXPECT_TRUE(pixelsDiffer(plus16, base)) << "byte " << c;
  }
  // 15 in every byte at once is still no difference; the test has no weighting or sum.
  EXPECT_FALSE(pixelsDiffer(0x00000000u, 0x0F0F0F0Fu));
  EXPECT_FALSE(pixelsDiffer(0xF0F0F0F0u, 0xFFFFFFFFu));
  EXPECT_TRUE(pixelsDiffer(0x0F0F0F0Fu, 0x1F0F0F0Fu));
  EXPECT_TRUE(pixelsDiffer(0x000000FFu, 0x00000000u));
}

TEST(Detection, ThresholdsInEachByteAppearInTheEdgeWords) {
  // Column 10 on differs from column 9 by `delta` in one byte; rows 5 on from row 4 likewise.
  for (int c = 0; c < 4; ++c) {
    for (uint32_t delta : {15u, 16u}) {
      Frame f(16, 16, 0, 0x20202020u);
      f.fillRect(10, 0, 16, 16, 0x20202020u + (delta << (8 * c)));
      Frame g(16, 16, 0, 0x20202020u);
      g.fillRect(0, 5, 16, 16, 0x20202020u + (delta << (8 * c)));
      const Frame ef = detectedEdges(f), eg = detectedEdges(g);
      const bool edge = delta == 16;
      EXPECT_EQ((ef.at(9, 3) & EDGE_RIGHT) != 0, edge) << "byte " << c << " delta " << delta;
      EXPECT_EQ((eg.at(3, 4) & EDGE_BELOW) != 0, edge) << "byte " << c << " delta " << delta;
      EXPECT_EQ(ef.at(9, 3) & ~(EDGE_BELOW | EDGE_RIGHT), 0x20202020u);
      EXPECT_EQ(ef.at(8, 3) & (EDGE_BELOW | EDGE_RIGHT), 0u);
    }
  }
}

TEST(Detection, AlphaBitsNeverPoseAsEdgesButAlphaDifferencesAreEdges) {
  for (uint32_t alpha : {0x40u, 0x80u, 0xC0u, 0xFFu}) {
    Frame f(8, 8, 0, (alpha << 24) | 0x123456u);
    const Frame e = detectedEdges(f);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(e.at(i), (alpha << 24 | 0x123456u) & 0x3FFFFFFFu);
  }
  Frame g(8, 8, 0, 0x00123456u);
  g.set(3, 3, 0x10123456u);  // differs only in byte 3
  const Frame e = detectedEdges(g);
  EXPECT_TRUE(e.at(3, 2) & EDGE_BELOW);
  EXPECT_TRUE(e.at(2, 3) & EDGE_RIGHT);
  EXPECT_TRUE(e.at(3, 3) & EDGE_BELOW);
  EXPECT_TRUE(e.at(3, 3) & EDGE_RIGHT);
}

TEST(Detection, LastColumnAndLastRowCarryNoOutwardEdge) {
  std::mt19937 rng(7);
  for (int width : {4, 8, 12, 13}) {
    Frame f(width, 16);
    testing::fillNoise(f, rng);
    const Frame e = detectedEdges(f);
    int rights = 0, belows = 0;
    for (int y = 0; y < 16; ++y) {
      EXPECT_FALSE(e.at(width - 1, y) & EDGE_RIGHT) << "width " << width << " row " << y;
      rights += (e.at(0, y) & EDGE_RIGHT) != 0;
    }
    for (int x = 0; x < width; ++x) {
      EXPECT_FALSE(e.at(x, 15) & EDGE_BELOW) << "width " << width << " column " << x;
      belows += (e.at(x, 14) & EDGE_BELOW) != 0;
    }
    EXPECT_GT(rights, 0);  // noise has edges; the borders are quiet only by the rule
    EXPECT_GT(belows, 0);
  }
}

TEST(Detection, RowsBelowTheLastFullBlockAreZeroedAndTheRowAboveSeesThem) {
  // Height 12: rows 0..7 examined, row 7 compared with row 8, rows 8..11 hold 0 even when the
  // buffer held something else.
  Frame f(8, 12, 0, grey(10));
  f.fillRect(0, 8, 8, 12, grey(200));
  f.fillRect(0, 10, 8, 11, grey(50));
  const Frame e = detectedEdges(f);
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(e.at(x, 7), grey(10) | EDGE_BELOW);
    EXPECT_EQ(e.at(x, 6), grey(10));
    for (int y = 8; y < 12; ++y) EXPECT_EQ(e.at(x, y), 0u) << x << "," << y;
  }
  // Fewer than 8 rows: nothing is examined, nothing changes.
  for (int h = 1; h < 8; ++h) {
    Frame g(8, h);
    std::mt19937 rng(h);
    testing::fillNoise(g, rng);
    Frame work(g), edges(8, h, 0, kGarbage);
    runMLAA(work.data(), edges.data(), 8, h, 0);
    EXPECT_EQ(work, g) << "height " << h;
    for (int i = 0; i < 8 * h; ++i) EXPECT_EQ(edges.at(i), 0u);
  }
}

// Frames that probe each byte lane of the vector kernels: neighbours 15 or 16 apart in one
// random byte, random alpha bits, flat and noisy areas.
void fillAdversarial(Frame& f, std::mt19937& rng) {
  uint32_t v = static_cast<uint32_t>(rng());
  for (int i = 0; i < f.width() * f.height(); ++i) {
    switch (rng() % 5) {
      case 0: break;  // repeat: flat stretch
      case 1: v = static_cast<uint32_t>(rng()); break;
      case 2: {
        const int c = static_cast<int>(rng() % 4);
        const uint32_t delta = (rng() % 2 ? 15u : 16u) << (8 * c);
        const uint32_t byte = (v >> (8 * c)) & 0xFFu;
        v = byte >= 16 ? v - delta : v + delta;
        break;
      }
      case 3: v = (v & 0x3FFFFFFFu) | (static_cast<uint32_t>(rng() % 4) << 30); break;
      default: v = f.at(i >= f.width() ? i - f.width() : 0); break;  // copy from above
    }
    f.set(i, v);
  }
}

// The chunk marks the edge words call for: bit k of a row's words when a word of pixels
// [16k, 16k + 16) has an edge bit.
std::vector<uint64_t> chunkMarksOf(const Frame& edges, int width, int height) {
  const int words = detail::chunkWordsFor(width);
  std::vector<uint64_t> marks(static_cast<std::size_t>(words) * height, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (edges.at(y * width + x) & detail::kEdgeBits)
        marks[static_cast<std::size_t>(y) * words + x / detail::kChunkPixels / 64] |=
            1ull << (x / detail::kChunkPixels % 64);
  return marks;
}

// The right masks the edge words call for, in bytes that start as `untouched`: those of rows
// past the frame keep it.
std::vector<uint8_t> rightMasksOf(const Frame& edges, int width, int height, uint8_t untouched) {
  std::vector<uint8_t> masks(detail::rightMaskBytesFor(width, height), untouched);
  for (int y = 0; y < height; ++y)
    for (int block = 0; block < detail::rightMaskBlocksFor(width); ++block) {
      uint8_t& mask = masks[static_cast<std::size_t>(detail::rightMaskIndex(width, y, block))];
      mask = 0;
      for (int c = 0; c < detail::kBlockLines && block * detail::kBlockLines + c < width; ++c)
        if (edges.at(y * width + block * detail::kBlockLines + c) & EDGE_RIGHT) mask |= 1u << c;
    }
  return masks;
}

TEST(DetectionKernels, VectorKernelsWriteTheSameWordsAsTheScalarReference) {
  using simd::Level;
  std::vector<std::pair<Level, detail::DetectRowsFn>> kernels;
  for (const auto& entry : detail::kDetectLevels)
    if (entry.level != Level::scalar && simd::kernelAt(detail::kDetectLevels, entry.level))
      kernels.emplace_back(entry.level, entry.kernel);
  if (kernels.empty()) GTEST_SKIP() << "no vector level on this processor";

  std::mt19937 rng(42);
  std::vector<int> widths;
  for (int w = 1; w <= 37; ++w) widths.push_back(w);
  for (int w : {853, 1024, 1041, 1057}) widths.push_back(w);  // chunk marks in more than one word
  for (int width : widths) {
    for (int height = 1; height <= 20; ++height) {
      for (int content = 0; content < 3; ++content) {
        const int misalign = (width + height + content) % 4;
        // Rows padded or not, the fourth byte counted or masked.
        const int padding = content * 3;
        const uint32_t mask = (width + height) % 2 ? detail::kEveryByte : detail::kColourOnly;
        Frame f(width + padding, height, misalign, 0x11223344u);
        if (content == 1) testing::fillNoise(f, rng, true);
        if (content == 2) fillAdversarial(f, rng);
        const std::ptrdiff_t stride = std::ptrdiff_t{width + padding} * 4;
        Frame reference(width, height, 0, kGarbage);
        const std::size_t markWords = static_cast<std::size_t>(detail::chunkWordsFor(width)) * height;
        std::vector<uint64_t> referenceMarks(markWords, ~0ull);
        constexpr uint8_t kUntouched = 0xA5;
        const std::size_t maskBytes = detail::rightMaskBytesFor(width, height);
        std::vector<uint8_t> referenceMasks(maskBytes, kUntouched);
        detail::scalar::detectRows(f.data(), stride, mask, reference.data(), width, height, 0, height,
                                   referenceMarks.data(), referenceMasks.data());
        ASSERT_EQ(referenceMarks, chunkMarksOf(reference, width, height)) << width << "x" << height;
        ASSERT_EQ(referenceMasks, rightMasksOf(reference, width, height, kUntouched)) << width << "x" << height;
        for (auto& [level, kernel] : kernels) {
          Frame edges(width, height, 3 - misalign, kGarbage);
          std::vector<uint64_t> marks(markWords, ~0ull);
          std::vector<uint8_t> masks(maskBytes, kUntouched);
          kernel(f.data(), stride, mask, edges.data(), width, height, 0, height, marks.data(), masks.data());
          ASSERT_EQ(edges, reference) << simd::levelName(level) << " " << width << "x" << height
                                      << " content " << content;
          ASSERT_EQ(marks, referenceMarks) << simd::levelName(level) << " " << width << "x" << height;
          ASSERT_EQ(masks, referenceMasks) << simd::levelName(level) << " " << width << "x" << height;
        }
      }
    }
  }
}

// Whole frames with every detection kernel and every blending level against the scalar pair.
TEST(DetectionKernels, EveryKernelGivesTheSameFrame) {
  std::mt19937 rng(5);
  const detail::MlaaKernels scalarKernels{detail::scalar::detectRows, &detail::scalar::kBlendKernels};
  for (int width : {5, 16, 29, 64}) {
    for (uint32_t flags : {0u, MLAA_THIN_LINES, MLAA_USE_HALF | MLAA_THIN_LINES}) {
      Frame f(width, 40);
      testing::fillBlocks(f, rng, 12);
      Frame reference(f), edgesRef(width, 40);
      int step = -1;
      detail::runSteps(reference.data(), edgesRef.data(), width, 40, &step, flags, scalarKernels);
      for (const auto& detect : detail::kDetectLevels) {
        for (const auto& blend : detail::kBlendLevels) {
          if (!simd::supports(detect.level) || !simd::supports(blend.level)) continue;
          Frame work(f), edges(width, 40);
          step = -1;
          detail::runSteps(work.data(), edges.data(), width, 40, &step, flags, {detect.kernel, blend.kernel});
          const std::string levels = std::string(simd::levelName(detect.level)) + "/" + simd::levelName(blend.level);
          EXPECT_EQ(work, reference) << levels << " width " << width;
          EXPECT_EQ(edges, edgesRef) << levels << " width " << width;
        }
      }
    }
  }
}

}  // namespace
}  // namespace qov::aa
