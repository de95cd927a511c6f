// The blending stage piece by piece: the colour mixes and blendRun on the worked shapes, the
// end searches and their quotients, and the handling of one run (Thin Lines, Use Half, the
// line's first pixel, runs without ends). What differs between instruction-set levels runs at
// every level of the table that this processor runs.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "effects/antialias/mlaa.h"
#include "effects/antialias/mlaa_internal.h"
#include "effects/antialias/mlaa_search.h"
#include "tests/antialias/mlaa_test_frames.h"

namespace qov::simd {
// Messages show the level by name.
void PrintTo(Level level, std::ostream* out) { *out << levelName(level); }
}  // namespace qov::simd

namespace qov::aa {
namespace {

using detail::Index;
using detail::LineGeometry;
using testing::Frame;
using testing::grey;

// Suites whose cases run once per blending level.
class BlendLevel : public ::testing::TestWithParam<simd::Level> {
 protected:
  void SetUp() override {
    if (!simd::supports(GetParam())) GTEST_SKIP() << "processor lacks " << simd::levelName(GetParam());
  }
  const detail::BlendKernels& blend() const { return *simd::kernelAt(detail::kBlendLevels, GetParam()); }
};
class ColourMix : public BlendLevel {};
class BlendRun : public BlendLevel {};
class HandleRun : public BlendLevel {};

std::vector<simd::Level> blendLevels() {
  std::vector<simd::Level> levels;
  for (const auto& entry : detail::kBlendLevels) levels.push_back(entry.level);
  return levels;
}

std::string levelName(const ::testing::TestParamInfo<simd::Level>& info) {
  return simd::levelName(info.param);
}

INSTANTIATE_TEST_SUITE_P(Levels, ColourMix, ::testing::ValuesIn(blendLevels()), levelName);
INSTANTIATE_TEST_SUITE_P(Levels, BlendRun, ::testing::ValuesIn(blendLevels()), levelName);
INSTANTIATE_TEST_SUITE_P(Levels, HandleRun, ::testing::ValuesIn(blendLevels()), levelName);

constexpr uint32_t kOpaque = 0xFF000000u;
constexpr bool kZ = false, kU = true;

uint32_t opaqueGrey(uint32_t v) { return kOpaque | grey(v); }

TEST_P(ColourMix, EachByteOnItsOwnTruncatedAndOpaque) {
  // byte 0: 48 x 0.25 + 208 x 0.75 = 168; byte 1: 8 + 168 = 176; byte 2: 4 + 180 = 184.
  EXPECT_EQ(blend().mixWeighted(0x00102030u, 0x00F0E0D0u, 0.25f, 0.75f), 0xFFB8B0A8u);
  // byte 3 of the inputs plays no part.
  EXPECT_EQ(blend().mixWeighted(0x7F102030u, 0x01F0E0D0u, 0.25f, 0.75f), 0xFFB8B0A8u);
}

// Every level's mix must give the scalar bits for every pair of bytes, at the weights the
// blends produce (steps of accumulated run weights, the one-pixel and middle
// shares) and at weights outside [0, 1], where the truncated value wraps in 8 bits.
TEST_P(ColourMix, VectorFormGivesTheScalarBitsForEveryBytePair) {
  if (GetParam() == simd::Level::scalar) GTEST_SKIP() << "the scalar level is the reference";
  std::vector<float> weights = {0.0f, 1.0f, 0.5f, 0.875f, 0.125f, 0.6f, 1e-7f, 0.99999994f,
                                -0.25f, 1.25f, -3.5f, 4.0f};
  std::mt19937 engine(7);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int len = 2; len < 40; len += 3) {  // the sequence t, t + r0, ... of a run's first half
    const float h0 = unit(engine);
    const float r0 = ((1.0f - h0) * 2.0f) / static_cast<float>(len);
    for (float t = 0.5f * r0 + h0; weights.size() < 400 && t < 1.5f; t += r0) weights.push_back(t);
  }
  int compared = 0;
  for (float w : weights) {
    for (const auto& [wp, wq] : {std::pair{w, 1.0f - w}, std::pair{1.0f - w, w}}) {
      for (uint32_t a = 0; a < 256; ++a)
        for (uint32_t b = 0; b < 256; ++b) {
          // Each lane gets its own byte values; byte 3 must play no part.
          const uint32_t p = testing::rgb(a, 255 - a, a ^ 0x5Au) | (b << 24);
          const uint32_t q = testing::rgb(b, b ^ 0xA5u, 255 - b) | (a << 24);
          ASSERT_EQ(blend().mixWeighted(p, q, wp, wq),
                    detail::scalar::kBlendKernels.mixWeighted(p, q, wp, wq))
              << std::hex << p << " " << q << " " << wp << " " << wq;
          ++compared;
        }
    }
  }
  EXPECT_EQ(compared, static_cast<int>(weights.size()) * 2 * 256 * 256);
}

TEST_P(ColourMix, OnePixelRunGives31And227) {
  Frame f(4, 2, 1);
  f.fillRect(0, 1, 4, 2, grey(255));
  blend().blendOnePixelRun(f.data(), 2, 4);
  EXPECT_EQ(f.at(2, 0), opaqueGrey(31));
  EXPECT_EQ(f.at(2, 1), opaqueGrey(227));
  EXPECT_EQ(f.at(1, 0), 0u);
  EXPECT_EQ(f.at(3, 1), grey(255));
}

// The run of one pixel mixes with the weights 7/8 and 1/8, which levels may compute in
// integers: every pair of bytes must give the scalar level's two words.
TEST_P(ColourMix, OnePixelRunGivesTheScalarBitsForEveryBytePair) {
  if (GetParam() == simd::Level::scalar) GTEST_SKIP() << "the scalar level is the reference";
  for (uint32_t a = 0; a < 256; ++a)
    for (uint32_t b = 0; b < 256; ++b) {
      const uint32_t pair[2] = {testing::rgb(a, 255 - a, a ^ 0x5Au) | (b << 24),
                                testing::rgb(b, b ^ 0xA5u, 255 - b) | (a << 24)};
      uint32_t level[2], reference[2];
      std::memcpy(level, pair, sizeof pair);
      std::memcpy(reference, pair, sizeof pair);
      blend().blendOnePixelRun(reinterpret_cast<uint8_t*>(level), 0, 1);
      detail::scalar::kBlendKernels.blendOnePixelRun(reinterpret_cast<uint8_t*>(reference), 0, 1);
      ASSERT_EQ(level[0], reference[0]) << std::hex << pair[0] << " " << pair[1];
      ASSERT_EQ(level[1], reference[1]) << std::hex << pair[0] << " " << pair[1];
    }
}

// A horizontal run on row 0 of an 8 x 2 frame: black on the run's side, white across.
struct RunCase {
  int len;
  bool sameSide;
  std::vector<uint32_t> runSide, across;
};

TEST_P(BlendRun, WorkedHorizontalShapesWithHalfHeights) {
  const RunCase cases[] = {
      {4, kZ, {95, 7, 0, 0}, {255, 247, 191, 127}},
      {4, kU, {95, 7, 63, 127}, {255, 255, 255, 255}},
      // 101, not 102: t = 0.6f is slightly above 0.6, so 1 - t is just below 0.4.
      {5, kZ, {101, 50, 6, 0, 0}, {255, 255, 248, 204, 153}},
      {5, kU, {101, 50, 6, 50, 101}, {255, 255, 255, 255, 255}},
  };
  for (const RunCase& c : cases) {
    for (bool takenAcross : {false, true}) {
      // Taken across, the run lies on row 1 and its partners on row 0.
      const int runRow = takenAcross ? 1 : 0, otherRow = 1 - runRow;
      Frame f(8, 2, 2);
      f.fillRect(0, otherRow, 8, otherRow + 1, grey(255));
      const Index a = 1, b = a + c.len - 1;
      blend().blendRun(f.data(), a, b, 0.5f, 0.5f, 1, takenAcross ? -8 : 8, c.sameSide);
      for (int k = 0; k < c.len; ++k) {
        const uint32_t run = f.at(1 + k, runRow), other = f.at(1 + k, otherRow);
        EXPECT_EQ(run & 0xFFFFFFu, grey(c.runSide[k])) << c.len << (c.sameSide ? "U" : "Z") << k;
        EXPECT_EQ(other & 0xFFFFFFu, grey(c.across[k])) << c.len << (c.sameSide ? "U" : "Z") << k;
        // Exactly the pixels that changed were written, and they are opaque: a U never writes
        // across, a Z leaves the second half of the run's side alone.
        EXPECT_EQ(run >> 24 == 0xFFu, c.runSide[k] != 0) << k;
        EXPECT_EQ(other >> 24 == 0xFFu, c.across[k] != 255) << k;
      }
      EXPECT_EQ(f.at(0, runRow), 0u);
      EXPECT_EQ(f.at(a + c.len, runRow), 0u);
    }
  }
}

TEST_P(BlendRun, VerticalRunOfEvenLengthHasNoMiddlePixel) {
  // Column 0 of a 4 x 4 frame, black, against white column 1. mid = 6 falls between rows 1
  // and 2, so the halves are 2 + 2 pixels: t = 0.625, 0.875 then Z weights 0.125, 0.375.
  Frame f(4, 4);
  f.fillRect(1, 0, 2, 4, grey(255));
  blend().blendRun(f.data(), 0, 12, 0.5f, 0.5f, 4, 1, kZ);
  const uint32_t run[] = {95, 31, 0, 0}, across[] = {255, 255, 223, 159};
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(f.at(0, y) & 0xFFFFFFu, grey(run[y])) << y;
    EXPECT_EQ(f.at(1, y) & 0xFFFFFFu, grey(across[y])) << y;
  }
}

// Edge words and pixels of a hand-built line: row 1 of an 8 x 4 frame (horizontal pass).
struct HandLine {
  Frame image{8, 4, 3}, edges{8, 4, 1};
  LineGeometry geometry(int row) {
    return LineGeometry{image.data(), edges.data(), 32, 8, 1, row == 0 ? 0 : -8,
                        EDGE_BELOW, EDGE_RIGHT};
  }
};

// Search 1 accepts 0.52 at its first boundary (o = 9, i = 10); search 2 finds only the
// orthogonal bit at the run's end (13). The run is x = 2 ... 5 of row 1.
HandLine quotientLine() {
  HandLine h;
  h.edges.set(9, grey(100) | EDGE_RIGHT);  // Po, S = 300
  h.edges.set(1, grey(200) | EDGE_BELOW);  // Uo, S = 600
  h.edges.set(10, grey(40) | EDGE_BELOW);  // Pi, S = 120
  h.edges.set(18, grey(200));              // Ni, S = 600
  h.edges.set(11, grey(40) | EDGE_BELOW);
  h.edges.set(12, grey(40) | EDGE_BELOW);
  h.edges.set(13, grey(40) | EDGE_BELOW | EDGE_RIGHT);
  h.image.fillRect(0, 2, 8, 4, grey(255));
  return h;
}

TEST(EndSearch, QuotientOf0Point52IsAcceptedAtTheFirstBoundary) {
  HandLine h = quotientLine();
  const detail::RunEnds e = detail::findRunEnds(h.geometry(1), 10, 13, 4);
  // X = -780, num = -780, den = -1500.
  ASSERT_TRUE(e.p1.found);
  EXPECT_EQ(e.p1.index, 10);
  EXPECT_EQ(e.p1.height, 0.52f);
  EXPECT_EQ(e.p1.height, 0.51999998f);
  EXPECT_EQ(e.k1, 0);
  // No quotient at the end: the first orthogonal pixel with height 0.5.
  ASSERT_TRUE(e.p2.found);
  EXPECT_EQ(e.p2.index, 13);
  EXPECT_EQ(e.p2.height, 0.5f);
  EXPECT_FALSE(e.p3.found);
  EXPECT_FALSE(e.p4.found);
  EXPECT_EQ(e.k3, 4);
}

// The quotient is turned away on the integers before it is divided; that must decide exactly
// as the single-precision test alone, at the ends of the int range too.
TEST(EndSearch, QuotientTestDecidesAsTheSinglePrecisionTestAlone) {
  const auto plain = [](int num, int den, float* q) {
    if (den == 0) return false;
    const float value = static_cast<float>(num) / static_cast<float>(den);
    if (!(value > 0.0f && value < 1.0f)) return false;
    *q = value;
    return true;
  };
  std::vector<int> values = {0, 1, -1, 2, -2, 3, 765, -765, 1 << 24, (1 << 24) + 1, -(1 << 24) - 1, INT_MAX,
                             INT_MAX - 1, INT_MIN, INT_MIN + 1};
  std::mt19937 random(19);
  for (int i = 0; i < 200; ++i) values.push_back(static_cast<int>(random()));
  // Neighbours of num, wrapped around the int range rather than overflowing.
  const auto wrap = [](int64_t v) { return static_cast<int>(static_cast<uint32_t>(v)); };
  for (int num : values)
    for (int64_t k : {-3, -1, 1, 2})
      for (int64_t offset : {-1, 0, 1})
        for (int den : {wrap(k * num + offset), 1, -1, 0, INT_MAX, INT_MIN}) {
          float expected = -1.0f, actual = -1.0f;
          ASSERT_EQ(detail::search::acceptQuotient(num, den, &actual), plain(num, den, &expected))
              << num << " / " << den;
          EXPECT_EQ(actual, expected) << num << " / " << den;
        }
}

TEST(EndSearch, RejectedQuotientFallsBackToTheFirstOrthogonalPixel) {
  HandLine h = quotientLine();
  h.edges.set(18, grey(0));  // Ni, S = 0
  // X = (120 - 0) - 300 = -180; num = 4 x 600 - 180 = 2220; den = 4 x 420 - 180 = 1500.
  const detail::RunEnds e = detail::findRunEnds(h.geometry(1), 10, 13, 4);
  ASSERT_TRUE(e.p1.found);
  EXPECT_EQ(e.p1.index, 10);
  EXPECT_EQ(e.p1.height, 0.5f);
  EXPECT_EQ(e.k1, 4);
}

TEST(EndSearch, EndSearchWeighsByTheIterationsOfTheStartSearch) {
  // Search 2 at i = 13, o = 14 with S(Pi) = 300, S(Ni) = 0, S(Uo) = 600, S(Po) = 0:
  // X = -300; with M = -m, num = -600m - 300 and den = -900m - 300.
  for (bool startAccepts : {false, true}) {
    HandLine h;
    for (int i = 10; i <= 13; ++i) h.edges.set(i, grey(40) | EDGE_BELOW);
    h.edges.set(13, grey(100) | EDGE_BELOW | EDGE_RIGHT);
    h.edges.set(6, grey(200) | EDGE_BELOW);
    if (startAccepts) {  // search 1 accepts at k = 1 as in the 0.52 case: k1 = 0, m = 0
      h.edges.set(9, grey(100) | EDGE_RIGHT);
      h.edges.set(1, grey(200) | EDGE_BELOW);
      h.edges.set(18, grey(200));
    }
    const detail::RunEnds e = detail::findRunEnds(h.geometry(1), 10, 13, 4);
    ASSERT_TRUE(e.p2.found);
    EXPECT_EQ(e.p2.index, 13);
    if (startAccepts) {
      EXPECT_EQ(e.p2.height, 0.5f);  // q = 1 is not accepted
    } else {
      EXPECT_EQ(e.k1, 4);
      EXPECT_EQ(e.p2.height, -2700.0f / -3900.0f);
    }
  }
}

TEST(EndSearch, FarSideBeyondTheFrameTakesHalfHeight) {
  // Row 2 of 4 is the last run line; o + 2 x lineStride lies past the frame. Search 3 asks
  // for No with both bits, search 4 only for the orthogonal bit of No.
  HandLine h;
  for (int i = 17; i <= 20; ++i) h.edges.set(i, grey(90) | EDGE_BELOW);
  h.edges.set(24, grey(7) | EDGE_RIGHT | EDGE_BELOW);  // No of search 3 at k = 1 (o = 16)
  h.edges.set(28, grey(7) | EDGE_RIGHT);               // Ni of search 4 at i = 20
  h.edges.set(29, grey(7) | EDGE_RIGHT);               // No of search 4 at o = 21
  const detail::RunEnds e = detail::findRunEnds(h.geometry(2), 17, 20, 4);
  ASSERT_TRUE(e.p3.found);
  EXPECT_EQ(e.p3.index, 17);
  EXPECT_EQ(e.p3.height, 0.5f);
  EXPECT_EQ(e.k3, 0);
  ASSERT_TRUE(e.p4.found);
  EXPECT_EQ(e.p4.index, 20);
  EXPECT_EQ(e.p4.height, 0.5f);
}

TEST(EndSearch, RunReachingTheLastRowSearchesFromTheEndOneInside) {
  // Vertical pass, column 1 of a 4 x 8 frame, run on rows 4..7 (indices 17, 21, 25, 29).
  // The pixel after the run is outside, so searches 2 and 4 begin at e = 25 with k = 1.
  Frame image(4, 8), edges(4, 8);
  for (int i : {17, 21, 25, 29}) edges.set(i, grey(5) | EDGE_RIGHT);
  const LineGeometry g{image.data(), edges.data(), 32, 1, 4, -1, EDGE_RIGHT, EDGE_BELOW};
  {
    Frame e2(edges);
    e2.set(25, grey(100) | EDGE_RIGHT | EDGE_BELOW);  // Pi, S = 300
    e2.set(26, grey(0));                              // Ni
    e2.set(29, grey(0) | EDGE_RIGHT);                 // Po
    e2.set(28, grey(200) | EDGE_RIGHT);               // Uo
    LineGeometry g2 = g;
    g2.edges = e2.data();
    const detail::RunEnds e = detail::findRunEnds(g2, 17, 29, 4);
    ASSERT_TRUE(e.p2.found);
    EXPECT_EQ(e.p2.index, 25);
    EXPECT_EQ(e.p2.height, -2700.0f / -3900.0f);  // M = -(k1 + 1 - 1) = -4
  }
  {
    // Nothing accepted: the run's last pixel counts first when it has the orthogonal bit.
    Frame e2(edges);
    e2.set(29, grey(5) | EDGE_RIGHT | EDGE_BELOW);
    e2.set(21, grey(5) | EDGE_RIGHT | EDGE_BELOW);
    LineGeometry g2 = g;
    g2.edges = e2.data();
    const detail::RunEnds e = detail::findRunEnds(g2, 17, 29, 4);
    ASSERT_TRUE(e.p2.found);
    EXPECT_EQ(e.p2.index, 29);
    EXPECT_EQ(e.p2.height, 0.5f);
    ASSERT_TRUE(e.p4.found);
    EXPECT_EQ(e.p4.index, 29);
  }
}

TEST_P(HandleRun, UseHalfReplacesEveryHeightAndNothingElse) {
  for (bool half : {false, true}) {
    HandLine h = quotientLine();
    Frame expected(h.image);
    blend().blendRun(expected.data(), 10, 13, half ? 0.5f : 0.52f, 0.5f, 1, 8, kU);
    blend().handleRun(h.geometry(1), 8, 10, 13, half ? MLAA_USE_HALF : 0u);
    EXPECT_EQ(h.image, expected) << (half ? "Use Half" : "quotient");
  }
  // The two really differ: 0.52 against 0.5 at the first pixel.
  HandLine a = quotientLine(), b = quotientLine();
  blend().handleRun(a.geometry(1), 8, 10, 13, 0);
  blend().handleRun(b.geometry(1), 8, 10, 13, MLAA_USE_HALF);
  EXPECT_NE(a.image.at(10), b.image.at(10));
}

TEST_P(HandleRun, RunAtTheLinesFirstPixelIsBlendedFromItsSecond) {
  HandLine h;
  for (int i = 8; i <= 13; ++i) h.edges.set(i, grey(40) | EDGE_BELOW);
  h.edges.set(8, grey(100) | EDGE_BELOW | EDGE_RIGHT);  // Po of the first boundary
  h.edges.set(0, grey(200) | EDGE_BELOW);               // Uo
  h.edges.set(17, grey(200));                           // Ni
  h.edges.set(13, grey(40) | EDGE_BELOW | EDGE_RIGHT);
  h.image.fillRect(0, 2, 8, 4, grey(255));
  // len 5 after losing x = 0: X = -780, num = -780, den = 5 x (-180) - 780.
  Frame expected(h.image);
  blend().blendRun(expected.data(), 9, 13, -780.0f / -1680.0f, 0.5f, 1, 8, kU);
  blend().handleRun(h.geometry(1), 8, 8, 13, 0);
  EXPECT_EQ(h.image, expected);
  EXPECT_EQ(h.image.at(8), 0u);
  EXPECT_NE(h.image.at(9), 0u);
  // A one-pixel run at the first pixel is still mixed with its partner.
  HandLine one;
  one.edges.set(8, grey(0) | EDGE_BELOW);
  one.image.fillRect(0, 2, 8, 3, grey(255));
  blend().handleRun(one.geometry(1), 8, 8, 8, 0);
  EXPECT_EQ(one.image.at(8), opaqueGrey(31));
  EXPECT_EQ(one.image.at(16), opaqueGrey(227));
}

TEST_P(HandleRun, RunWithoutEndPointsIsNotBlended) {
  HandLine h;
  for (int i = 10; i <= 13; ++i) h.edges.set(i, grey(40) | EDGE_BELOW);
  h.edges.set(1, grey(200) | EDGE_BELOW);  // a previous-line edge, but no orthogonal bit
  h.image.fillRect(0, 2, 8, 4, grey(255));
  const Frame before(h.image);
  blend().handleRun(h.geometry(1), 8, 10, 13, MLAA_USE_HALF);
  EXPECT_EQ(h.image, before);
}

TEST_P(HandleRun, ThinLinesSoftensPixelsThatAlsoDifferFromThePreviousLine) {
  // Run x = 2..5 with no end points, so only Thin Lines writes. P = 100, A (above) = 40,
  // B (below) = 200: (40 + 200) x 0.25 + 100 x 0.5 = 110.
  for (int row : {1, 0}) {
    HandLine h;
    const int first = row * 8;
    for (int x = 2; x <= 5; ++x) h.edges.set(first + x, grey(100) | EDGE_BELOW);
    if (row == 1) {
      h.edges.set(3, grey(40) | EDGE_BELOW);  // above x = 3 and x = 4 only
      h.edges.set(4, grey(40) | EDGE_BELOW);
    }
    h.image.fillRect(0, row, 8, row + 1, grey(100));
    if (row == 1) h.image.fillRect(0, 0, 8, 1, grey(40));
    h.image.fillRect(0, row + 1, 8, row + 2, grey(200));
    const Frame before(h.image);
    blend().handleRun(h.geometry(row), first, first + 2, first + 5, MLAA_THIN_LINES);
    for (int x = 0; x < 8; ++x) {
      uint32_t want = before.at(x, row);
      if (row == 1 && (x == 3 || x == 4)) want = opaqueGrey(110);
      // On the first line the line stands in for the previous one: (100 + 200) x 0.25 + 50,
      // and x = 1 (before the run) is looked at but has no pass bit.
      if (row == 0 && x >= 2 && x <= 5) want = opaqueGrey(125);
      EXPECT_EQ(h.image.at(x, row), want) << "row " << row << " x " << x;
    }
    // Without the flag nothing is written.
    HandLine plain = h;
    plain.image = before;
    blend().handleRun(plain.geometry(row), first, first + 2, first + 5, 0);
    EXPECT_EQ(plain.image, before);
  }
}

}  // namespace
}  // namespace qov::aa
