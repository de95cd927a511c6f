// The choice of instruction-set level shared by every kernel family: level names, the pick
// from a table (levels the table lacks, levels the processor lacks), the choice made once
// under concurrent first calls, and the QOV_SIMD cap (the CMake file runs SimdCap once per
// value of the variable).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "effects/simd/simd.h"

namespace qov::simd {
namespace {

int rank(Level level) { return static_cast<int>(level); }

TEST(SimdLevels, NamesRoundTripAndOthersAreRejected) {
  for (Level level : kLevels) {
    Level parsed = Level::scalar;
    ASSERT_TRUE(levelFromName(levelName(level), &parsed)) << levelName(level);
    EXPECT_EQ(parsed, level);
  }
  for (const char* other : {"", "AVX2", "avx512bw", "sse", "avx2 ", "native"}) {
    Level parsed = Level::avx2;
    EXPECT_FALSE(levelFromName(other, &parsed)) << '"' << other << '"';
    EXPECT_EQ(parsed, Level::avx2) << '"' << other << '"';
  }
  Level parsed = Level::sse2;
  EXPECT_FALSE(levelFromName(nullptr, &parsed));
}

// A build knows the levels of its own architecture only: another's names are no level (so
// QOV_SIMD ignores them), and no processor here runs them.
TEST(SimdLevels, OtherArchitecturesLevelsAreUnknown) {
  const auto built = [](Level level) {
    for (Level known : kLevels)
      if (known == level) return true;
    return false;
  };
  for (Level level : {Level::sse2, Level::avx2, Level::avx512, Level::avx512vnni, Level::neon}) {
    if (built(level)) continue;
    Level parsed = Level::scalar;
    EXPECT_FALSE(levelFromName(levelName(level), &parsed)) << levelName(level);
    EXPECT_EQ(parsed, Level::scalar);
    EXPECT_FALSE(supports(level)) << levelName(level);
  }
  EXPECT_EQ(built(Level::neon), QOV_SIMD_NEON == 1);
  EXPECT_EQ(built(Level::sse2), QOV_SIMD_X86 == 1);
  EXPECT_TRUE(supports(Level::scalar));
}

// A family without entries for some levels: the pick falls to the next one below.
constexpr int kScalarKernel = 1, kAvx2Kernel = 3;
inline constexpr Entry<int> kGappedTable[] = {{Level::scalar, kScalarKernel}, {Level::avx2, kAvx2Kernel}};

TEST(SimdTables, HighestEntryAtOrBelowTheLimit) {
  EXPECT_EQ(highestEntry(kGappedTable, Level::scalar).kernel, kScalarKernel);
  EXPECT_EQ(highestEntry(kGappedTable, Level::sse2).kernel, kScalarKernel);
  EXPECT_EQ(highestEntry(kGappedTable, Level::avx2).kernel, kAvx2Kernel);
  EXPECT_EQ(highestEntry(kGappedTable, Level::avx512).kernel, kAvx2Kernel);
  EXPECT_EQ(highestEntry(kGappedTable, Level::avx512vnni).kernel, kAvx2Kernel);
}

TEST(SimdTables, KernelAtIsExactAndNullWhereAbsentOrUnsupported) {
  EXPECT_EQ(kernelAt(kGappedTable, Level::scalar), kScalarKernel);
  EXPECT_EQ(kernelAt(kGappedTable, Level::sse2), 0);
  EXPECT_EQ(kernelAt(kGappedTable, Level::avx512), 0);
  EXPECT_EQ(kernelAt(kGappedTable, Level::avx2), supports(Level::avx2) ? kAvx2Kernel : 0);
}

// An entry for every level of this build's architecture.
#if QOV_SIMD_NEON
inline constexpr Entry<int> kFullTable[] = {{Level::scalar, 0}, {Level::neon, 1}};
#else
inline constexpr Entry<int> kFullTable[] = {
    {Level::scalar, 0}, {Level::sse2, 1}, {Level::avx2, 2}, {Level::avx512, 3}, {Level::avx512vnni, 4}};
#endif

TEST(SimdTables, ChoiceIsMadeOnceAndAgreesAcrossThreads) {
  constexpr int kThreads = 8;
  std::atomic<bool> go{false};
  std::vector<const Entry<int>*> seen(kThreads, nullptr);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      seen[static_cast<std::size_t>(t)] = &chosen<kFullTable>();
    });
  go = true;
  for (std::thread& thread : threads) thread.join();
  for (const Entry<int>* entry : seen) EXPECT_EQ(entry, &chosen<kFullTable>());
  EXPECT_EQ(chosen<kFullTable>().level, activeLevel());
  EXPECT_TRUE(supports(activeLevel()));
}

// The variable as the process sees it: a level name caps the processor's level, anything
// else leaves it as it is.
TEST(SimdCap, ActiveLevelFollowsQovSimd) {
  const char* value = std::getenv("QOV_SIMD");
  Level named = Level::scalar;
  const bool valid = levelFromName(value, &named);
  const Level expected = valid && rank(named) < rank(processorLevel()) ? named : processorLevel();
  EXPECT_EQ(activeLevel(), expected) << "QOV_SIMD=" << (value ? value : "(unset)");
  EXPECT_LE(rank(activeLevel()), rank(processorLevel()));
}

}  // namespace
}  // namespace qov::simd
