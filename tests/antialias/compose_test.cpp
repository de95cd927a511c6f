// Every implementation of the constant-alpha composition that this processor runs,
// against the reference: `plus` exactly, `over` within one unit on a small share of bytes
// (and the vector levels exactly equal to the integer form they implement); the status
// results, the bytes that must stay untouched, in-place use and the run-time choice.
// Every level of the table that this processor runs is tested, whatever QOV_SIMD says.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "effects/antialias/compose_internal.h"

namespace qov::simd {
// Test names and messages show the level by name.
void PrintTo(Level level, std::ostream* out) { *out << levelName(level); }
}  // namespace qov::simd

namespace qov::aa {
namespace {

constexpr uint8_t kEdgeAlphas[] = {0, 1, 127, 128, 254, 255};
constexpr int kKinds[] = {COMPOSE_OVER, COMPOSE_PLUS};
constexpr int kForms[] = {3, 4};
// `over` outside the reference: at most this many units on any byte, and on at most this
// share of the bytes a test compares (the integer form measures about 0.05 % over all
// alphas; single pairs of alphas reach 0.4 %, so the share is taken over a whole test).
constexpr int kOverMaxUnits = 1;
constexpr double kOverMaxShare = 0.001;

struct Image {
  int width = 0, height = 0, channels = 0, step = 0;
  std::vector<uint8_t> bytes;

  Image(int w, int h, int c, int padding, std::mt19937& rng)
      : width(w), height(h), channels(c), step(w * c + padding),
        bytes(static_cast<std::size_t>(step) * static_cast<std::size_t>(h)) {
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
  }
  uint8_t* data() { return bytes.data(); }
  const uint8_t* data() const { return bytes.data(); }
  // Whether the composition writes byte i of the buffer.
  bool composed(std::size_t i) const {
    const std::size_t x = i % static_cast<std::size_t>(step);
    return x < static_cast<std::size_t>(width * channels) && (channels == 3 || x % 4 != 3);
  }
};

// One level's kernels, or the integer form they implement.
struct Implementation {
  simd::Level level;
  const ComposeKernels* kernels;
};

Implementation implementationAt(simd::Level level) {
  const ComposeKernels* kernels = simd::kernelAt(kComposeLevels, level);
  if (kernels == nullptr) std::abort();
  return {level, kernels};
}

const Implementation kIntegerForm{simd::Level::scalar, &integer::kComposeKernels};

int run(const Implementation& implementation, const Image& src1, uint8_t alpha1,
        const Image& src2, uint8_t alpha2, Image& dst, int kind) {
  return composeWith(*implementation.kernels, dst.channels, src1.data(), src1.step, alpha1,
                     src2.data(), src2.step, alpha2, dst.data(), dst.step, dst.width, dst.height,
                     kind);
}

// What one test saw of `over` bytes that differ from the reference.
struct OverTally {
  std::size_t compared = 0, differing = 0;
  ~OverTally() {
    if (compared > 0) {
      EXPECT_LE(static_cast<double>(differing), kOverMaxShare * static_cast<double>(compared))
          << differing << " of " << compared << " `over` bytes differ from the reference";
    }
  }
};

// Composes with `implementation` and with the reference, both over a copy of `dst`, and
// checks every byte: untouched outside the composed bytes, `plus` exact, `over` within
// tolerance and, at the vector levels, exactly the integer form.
void expectAgreement(const Implementation& implementation, const Image& src1,
                     uint8_t alpha1, const Image& src2, uint8_t alpha2, const Image& dst,
                     int kind, OverTally& tally) {
  Image got = dst, want = dst, model = dst;
  ASSERT_EQ(run(implementation, src1, alpha1, src2, alpha2, got, kind), COMPOSE_OK);
  ASSERT_EQ(run(implementationAt(simd::Level::scalar), src1, alpha1, src2, alpha2, want, kind),
            COMPOSE_OK);
  std::size_t untouchedWrong = 0, exactWrong = 0, tooFar = 0;
  for (std::size_t i = 0; i < got.bytes.size(); ++i) {
    if (!dst.composed(i)) {
      untouchedWrong += got.bytes[i] != dst.bytes[i];
    } else if (kind == COMPOSE_PLUS) {
      exactWrong += got.bytes[i] != want.bytes[i];
    } else {
      const int units = std::abs(got.bytes[i] - want.bytes[i]);
      tooFar += units > kOverMaxUnits;
      tally.differing += units != 0;
      ++tally.compared;
    }
  }
  const std::string context = std::string(simd::levelName(implementation.level)) + " " +
                              std::to_string(dst.channels) + "ch kind " + std::to_string(kind) +
                              " alphas " + std::to_string(alpha1) + "," + std::to_string(alpha2) +
                              " width " + std::to_string(dst.width);
  EXPECT_EQ(untouchedWrong, 0u) << context << ": bytes outside the composed ones changed";
  EXPECT_EQ(exactWrong, 0u) << context << ": `plus` differs from the reference";
  EXPECT_EQ(tooFar, 0u) << context << ": `over` more than one unit from the reference";
  if (implementation.level != simd::Level::scalar && kind == COMPOSE_OVER) {
    ASSERT_EQ(run(kIntegerForm, src1, alpha1, src2, alpha2, model, kind), COMPOSE_OK);
    EXPECT_EQ(got.bytes, model.bytes) << context << ": differs from the integer form";
  }
}

// Sources whose composed bytes run through all 65536 pairs (A, B).
struct AllPairs {
  Image src1, src2, dst;
  AllPairs(int channels, std::mt19937& rng)
      : src1(128, 171, channels, 0, rng), src2(128, 171, channels, 0, rng),
        dst(128, 171, channels, 0, rng) {
    unsigned pair = 0;
    for (std::size_t i = 0; i < src1.bytes.size(); ++i) {
      if (!src1.composed(i)) continue;
      src1.bytes[i] = static_cast<uint8_t>(pair);
      src2.bytes[i] = static_cast<uint8_t>(pair >> 8);
      ++pair;
    }
  }
};

std::vector<std::pair<uint8_t, uint8_t>> alphaPairs(std::mt19937& rng, int randomPairs) {
  std::vector<std::pair<uint8_t, uint8_t>> pairs;
  for (uint8_t a1 : kEdgeAlphas)
    for (uint8_t a2 : kEdgeAlphas) pairs.emplace_back(a1, a2);
  for (int i = 0; i < randomPairs; ++i)
    pairs.emplace_back(static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()));
  return pairs;
}

// round((a1*A + (a2*(255 - a1)*k)*B)*k) with k the float nearest 1/255, k = c/2^31 for
// c = 0x808081, in exact 64-bit integer arithmetic: the value is N*c/2^62 with
// N = a1*A*2^31 + a2*(255 - a1)*B*c below 2^49, and N*c is taken apart at bit 24.
int exactOver(uint64_t a, uint64_t b, uint64_t alpha1, uint64_t alpha2) {
  constexpr uint64_t c = 0x808081;
  const uint64_t n = ((alpha1 * a) << 31) + alpha2 * (255 - alpha1) * b * c;
  const uint64_t highProduct = (n >> 24) * c;  // < 2^49
  const uint64_t lowProduct = (n & 0xFFFFFF) * c;  // < 2^48
  const uint64_t below = ((highProduct & ((uint64_t{1} << 38) - 1)) << 24) + lowProduct +
                         (uint64_t{1} << 61);
  return static_cast<int>((highProduct >> 38) + (below >> 62));
}

class ComposeLevelTest : public ::testing::TestWithParam<simd::Level> {
 protected:
  void SetUp() override {
    if (!simd::supports(GetParam())) GTEST_SKIP() << "processor lacks " << simd::levelName(GetParam());
  }
  Implementation implementation() const { return implementationAt(GetParam()); }
};

TEST_P(ComposeLevelTest, EveryBytePairAtEdgeAndRandomAlphas) {
  std::mt19937 rng(11);
  const auto pairs = alphaPairs(rng, 16);
  for (int channels : kForms) {
    const AllPairs images(channels, rng);
    for (int kind : kKinds) {
      OverTally tally;
      for (const auto& [a1, a2] : pairs)
        expectAgreement(implementation(), images.src1, a1, images.src2, a2, images.dst, kind, tally);
    }
  }
}

TEST_P(ComposeLevelTest, EveryRowLengthWithPaddedSteps) {
  std::mt19937 rng(12);
  for (int channels : kForms)
    for (int kind : kKinds) {
      OverTally tally;
      for (int width = 1; width <= 70; ++width) {
        // Different paddings per image, so that rows start at unrelated offsets.
        const Image src1(width, 3, channels, 5, rng), src2(width, 3, channels, 1, rng);
        const Image dst(width, 3, channels, 9, rng);
        for (uint8_t a1 : kEdgeAlphas)
          for (uint8_t a2 : kEdgeAlphas)
            expectAgreement(implementation(), src1, a1, src2, a2, dst, kind, tally);
      }
    }
}

TEST_P(ComposeLevelTest, RandomAlphasOnOddAndLargeImages) {
  std::mt19937 rng(13);
  // 300 x 300 x 3 bytes and more take the threaded row loop.
  const int sizes[][2] = {{853, 5}, {17, 31}, {300, 300}, {5, 1}, {1, 1}};
  for (int channels : kForms)
    for (int kind : kKinds) {
      OverTally tally;
      for (const auto& size : sizes) {
        const Image src1(size[0], size[1], channels, 3, rng), src2(size[0], size[1], channels, 0, rng);
        const Image dst(size[0], size[1], channels, 16, rng);
        for (int i = 0; i < 12; ++i)
          expectAgreement(implementation(), src1, static_cast<uint8_t>(rng()), src2,
                          static_cast<uint8_t>(rng()), dst, kind, tally);
      }
    }
}

TEST_P(ComposeLevelTest, InPlaceOverEitherSource) {
  std::mt19937 rng(14);
  for (int channels : kForms)
    for (int kind : kKinds)
      for (int width : {1, 7, 16, 21, 67, 200}) {
        const Image src1(width, 4, channels, 4, rng), src2(width, 4, channels, 4, rng);
        Image apart = src1;
        ASSERT_EQ(run(implementation(), src1, 90, src2, 200, apart, kind), COMPOSE_OK);
        Image overFirst = src1;
        ASSERT_EQ(run(implementation(), overFirst, 90, src2, 200, overFirst, kind), COMPOSE_OK);
        EXPECT_EQ(overFirst.bytes, apart.bytes) << "dst == src1, width " << width;

        Image apartFromSecond = src2;
        ASSERT_EQ(run(implementation(), src1, 90, src2, 200, apartFromSecond, kind), COMPOSE_OK);
        Image overSecond = src2;
        ASSERT_EQ(run(implementation(), src1, 90, overSecond, 200, overSecond, kind), COMPOSE_OK);
        EXPECT_EQ(overSecond.bytes, apartFromSecond.bytes) << "dst == src2, width " << width;
      }
}

// The Strength mix's kernels: crossFade4, `plus` on the colour bytes and src1's byte 3, and
// plus3, `plus` on every byte, exactly as the reference's plus4 and plus3 give over a copy of
// src1, apart and in place; with alphas that add up to 255 and alphas that do not, on
// unrelated sources and on sources equal but for a few bytes (groups the kernels may pass
// through as they are, next to groups they may not).
TEST_P(ComposeLevelTest, StrengthMixKernelsArePlusOverACopyOfTheFirstSource) {
  std::mt19937 rng(16);
  const ComposeKernels& kernels = *implementation().kernels;
  const struct {
    const char* name;
    ComposeRow kernel, reference;
  } mixes[] = {{"crossFade4", kernels.crossFade4, scalar::kComposeKernels.plus4},
               {"plus3", kernels.plus3, scalar::kComposeKernels.plus3}};
  for (const auto& mix : mixes)
    for (int width = 1; width <= 70; ++width)
      for (uint8_t a1 : kEdgeAlphas)
        for (const uint8_t a2 : {static_cast<uint8_t>(255 - a1), a1})
          for (const bool nearlyEqual : {false, true}) {
            const Image src1(width, 1, 4, 0, rng);
            Image src2(width, 1, 4, 0, rng);
            if (nearlyEqual) {
              src2 = src1;
              for (std::size_t i = rng() % 97; i < src2.bytes.size(); i += 97) src2.bytes[i] ^= 0x10;
            }
            Image expected = src1;
            mix.reference(src1.data(), src2.data(), expected.data(), expected.bytes.size(), a1, a2);
            Image apart(width, 1, 4, 0, rng), inPlace = src1;
            mix.kernel(src1.data(), src2.data(), apart.data(), apart.bytes.size(), a1, a2);
            mix.kernel(inPlace.data(), src2.data(), inPlace.data(), inPlace.bytes.size(), a1, a2);
            const auto where = [&] {
              return ::testing::Message() << mix.name << ", width " << width << ", alphas " << int(a1) << " and "
                                          << int(a2) << (nearlyEqual ? ", nearly equal sources" : "");
            };
            ASSERT_EQ(apart.bytes, expected.bytes) << where();
            ASSERT_EQ(inPlace.bytes, expected.bytes) << "in place, " << where();
          }
}

TEST_P(ComposeLevelTest, FailuresReportTheirStatusAndWriteNothing) {
  std::mt19937 rng(15);
  for (int channels : kForms) {
    const ComposeKernels& kernels = *implementation().kernels;
    const Image src(20, 2, channels, 0, rng);
    Image dst(20, 2, channels, 0, rng);
    const std::vector<uint8_t> before = dst.bytes;
    const uint8_t* s = src.data();
    uint8_t* d = dst.data();
    const int step = src.step;
    struct Case {
      const uint8_t *src1, *src2;
      uint8_t* dst;
      int width, height, kind, status;
    };
    const Case cases[] = {
        {nullptr, s, d, 20, 2, COMPOSE_PLUS, COMPOSE_NULL_POINTER},
        {s, nullptr, d, 20, 2, COMPOSE_OVER, COMPOSE_NULL_POINTER},
        {s, s, nullptr, 20, 2, COMPOSE_PLUS, COMPOSE_NULL_POINTER},
        {s, s, d, 0, 2, COMPOSE_PLUS, COMPOSE_BAD_SIZE},
        {s, s, d, 20, 0, COMPOSE_OVER, COMPOSE_BAD_SIZE},
        {s, s, d, -3, 2, COMPOSE_PLUS, COMPOSE_BAD_SIZE},
        {s, s, d, 20, -1, COMPOSE_PLUS, COMPOSE_BAD_SIZE},
        {s, s, d, 20, 2, 2, COMPOSE_BAD_KIND},
        {s, s, d, 20, 2, -1, COMPOSE_BAD_KIND},
    };
    for (const Case& c : cases) {
      EXPECT_EQ(composeWith(kernels, channels, c.src1, step, 100, c.src2, step, 155, c.dst, step,
                            c.width, c.height, c.kind),
                c.status)
          << channels << "ch width " << c.width << " height " << c.height << " kind " << c.kind;
      EXPECT_EQ(dst.bytes, before);
    }
  }
}

std::vector<simd::Level> builtLevels() {
  std::vector<simd::Level> levels;
  for (const auto& entry : kComposeLevels) levels.push_back(entry.level);
  return levels;
}

INSTANTIATE_TEST_SUITE_P(Levels, ComposeLevelTest, ::testing::ValuesIn(builtLevels()),
                         [](const ::testing::TestParamInfo<simd::Level>& info) {
                           return std::string(simd::levelName(info.param));
                         });

TEST(ComposeReference, OverIsTheExactlyRoundedValueOfItsExpression) {
  std::mt19937 rng(16);
  const AllPairs images(3, rng);
  for (const auto& [a1, a2] : alphaPairs(rng, 64)) {
    Image got = images.dst;
    ASSERT_EQ(run(implementationAt(simd::Level::scalar), images.src1, a1, images.src2, a2, got, COMPOSE_OVER),
              COMPOSE_OK);
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < got.bytes.size(); ++i)
      wrong += got.bytes[i] != exactOver(images.src1.bytes[i], images.src2.bytes[i], a1, a2);
    EXPECT_EQ(wrong, 0u) << "alphas " << int{a1} << "," << int{a2};
  }
}

// All 2^32 combinations of alphas and bytes, for every level this processor runs; several
// minutes, so run on demand: compose_test --gtest_also_run_disabled_tests
// --gtest_filter='*DISABLED_EveryAlphaPair*'
TEST(ComposeReference, DISABLED_EveryAlphaPairAtEveryLevel) {
  std::mt19937 rng(18);
  for (int channels : kForms) {
    const AllPairs images(channels, rng);
    for (int kind : kKinds) {
      OverTally tally;
      for (int a1 = 0; a1 <= 255; ++a1)
        for (int a2 = 0; a2 <= 255; ++a2) {
          for (const auto& entry : kComposeLevels)
            if (entry.level != simd::Level::scalar && simd::supports(entry.level))
              expectAgreement(implementationAt(entry.level), images.src1, static_cast<uint8_t>(a1), images.src2,
                              static_cast<uint8_t>(a2), images.dst, kind, tally);
          if (channels != 3 || kind != COMPOSE_OVER) continue;
          Image got = images.dst;
          ASSERT_EQ(run(implementationAt(simd::Level::scalar), images.src1, static_cast<uint8_t>(a1),
                        images.src2, static_cast<uint8_t>(a2), got, kind),
                    COMPOSE_OK);
          std::size_t wrong = 0;
          for (std::size_t i = 0; i < got.bytes.size(); ++i)
            wrong += got.bytes[i] != exactOver(images.src1.bytes[i], images.src2.bytes[i],
                                               static_cast<uint64_t>(a1), static_cast<uint64_t>(a2));
          ASSERT_EQ(wrong, 0u) << "reference, alphas " << a1 << "," << a2;
        }
    }
  }
}

TEST(ComposeReference, KnownValues) {
  struct Case {
    uint8_t a, b, alpha1, alpha2;
    int kind;
    uint8_t expected;
  };
  const Case cases[] = {
      {200, 200, 128, 127, COMPOSE_PLUS, 200},  // a cross-fade of equal bytes
      {0, 255, 254, 1, COMPOSE_PLUS, 1},
      {255, 255, 255, 255, COMPOSE_PLUS, 255},  // 130050 / 255 saturates
      {200, 200, 128, 127, COMPOSE_OVER, 150},  // (128*200 + 63.25*200) / 255 = 150.0
      {0, 255, 254, 1, COMPOSE_OVER, 0},
      {255, 255, 0, 255, COMPOSE_OVER, 255},
  };
  for (const Case& c : cases) {
    uint8_t got[3] = {};
    const uint8_t src1[3] = {c.a, c.a, c.a}, src2[3] = {c.b, c.b, c.b};
    ASSERT_EQ(composeWith(scalar::kComposeKernels, 3, src1, 3, c.alpha1, src2, 3, c.alpha2, got, 3, 1, 1,
                          c.kind),
              COMPOSE_OK);
    EXPECT_EQ(int{got[0]}, int{c.expected}) << int{c.a} << "," << int{c.b} << " kind " << c.kind;
  }
}

TEST(ComposeDispatch, ChoosesTheHighestLevelAllowed) {
  simd::Level expected = simd::Level::scalar;
  for (simd::Level level : builtLevels())
    if (simd::supports(level) && static_cast<int>(level) <= static_cast<int>(simd::activeLevel()))
      expected = level;
  EXPECT_EQ(&composeKernels(), simd::kernelAt(kComposeLevels, expected));
}

// ctest runs every case in a process of its own, so these are the first calls of the process.
TEST(ComposeDispatch, ConcurrentFirstUseGivesTheChosenResults) {
  constexpr int kThreads = 8;
  std::mt19937 rng(17);
  const Image src1(333, 7, 4, 0, rng), src2(333, 7, 4, 0, rng), start(333, 7, 4, 0, rng);

  std::atomic<int> waiting{0};
  std::atomic<bool> go{false};
  std::vector<Image> results(kThreads, start);
  std::vector<int> statuses(kThreads, -1);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      ++waiting;
      while (!go.load()) std::this_thread::yield();
      Image& dst = results[static_cast<std::size_t>(t)];
      statuses[static_cast<std::size_t>(t)] =
          composeConstAlpha4(src1.data(), src1.step, 77, src2.data(), src2.step, 201, dst.data(),
                             dst.step, dst.width, dst.height, t % 2 == 0 ? COMPOSE_PLUS : COMPOSE_OVER);
    });
  while (waiting.load() < kThreads) std::this_thread::yield();
  go = true;
  for (std::thread& thread : threads) thread.join();

  for (int t = 0; t < kThreads; ++t) {
    Image expected = start;
    ASSERT_EQ(run({simd::activeLevel(), &composeKernels()}, src1, 77, src2, 201, expected,
                  t % 2 == 0 ? COMPOSE_PLUS : COMPOSE_OVER),
              COMPOSE_OK);
    EXPECT_EQ(statuses[static_cast<std::size_t>(t)], COMPOSE_OK);
    EXPECT_EQ(results[static_cast<std::size_t>(t)].bytes, expected.bytes) << "thread " << t;
  }
}

}  // namespace
}  // namespace qov::aa
