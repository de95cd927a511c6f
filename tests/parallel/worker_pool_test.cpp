// The worker pool: every item of a loop runs exactly once, whatever the counts, chunk sizes
// and thread numbers; callers on several threads at once, in frames that overlap; loops
// started from inside a loop; workers that really take part, and sleep when there is
// nothing to do; the account that sends loops to the caller alone while the workers make
// them slower; and threads that are gone once the pool is.
#include <gtest/gtest.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "effects/parallel/payoff.h"
#include "effects/parallel/worker_pool.h"
#include "tests/support/thread_count.h"

namespace qov::parallel::test {
namespace {

// Counts how often each item ran; chunks larger than the grain are counted as failures.
struct Tally {
  explicit Tally(std::size_t count, std::size_t grain)
      : runs(new std::atomic<int>[count]()), grain(grain == 0 ? 1 : grain) {}
  std::unique_ptr<std::atomic<int>[]> runs;
  std::size_t grain;
  std::atomic<int> oversized{0};

  static void chunk(void* context, std::size_t begin, std::size_t end) {
    auto* tally = static_cast<Tally*>(context);
    if (end - begin > tally->grain || begin >= end) tally->oversized.fetch_add(1);
    for (std::size_t i = begin; i < end; ++i) tally->runs[i].fetch_add(1, std::memory_order_relaxed);
  }

  // Items that did not run exactly once.
  std::size_t wrong(std::size_t count) const {
    std::size_t bad = 0;
    for (std::size_t i = 0; i < count; ++i) bad += runs[i].load() != 1;
    return bad;
  }
};

TEST(WorkerPool, EveryItemRunsExactlyOnceInChunksOfAtMostTheGrain) {
  for (unsigned threads : {0u, 1u, 2u, 3u, 8u}) {
    WorkerPool pool(threads);
    EXPECT_GE(pool.threads(), 1u);
    for (std::size_t count : {0, 1, 2, 7, 64, 1000, 4099}) {
      for (std::size_t grain : {0, 1, 3, 64, 5000}) {
        // Many loops back to back, so that late workers of one loop meet the next.
        for (int repeat = 0; repeat < 20; ++repeat) {
          Tally tally(count, grain);
          pool.run(count, grain, &Tally::chunk, &tally);
          ASSERT_EQ(tally.wrong(count), 0u) << threads << " threads, " << count << " items, grain " << grain;
          ASSERT_EQ(tally.oversized.load(), 0);
        }
      }
    }
  }
}

TEST(WorkerPool, ForEachChunkCoversTheRangeWithAndWithoutAPool) {
  WorkerPool pool(3);
  for (WorkerPool* p : {static_cast<WorkerPool*>(nullptr), &pool}) {
    for (std::size_t count : {0, 1, 100, 1001}) {
      Tally tally(count, 10);
      std::atomic<int> pieces{0};
      forEachChunk(p, count, 10, [&](std::size_t begin, std::size_t end) {
        pieces.fetch_add(1);
        for (std::size_t i = begin; i < end; ++i) tally.runs[i].fetch_add(1);
      });
      EXPECT_EQ(tally.wrong(count), 0u) << count;
      // Without a pool the range is one piece.
      if (p == nullptr) {
        EXPECT_EQ(pieces.load(), count == 0 ? 0 : 1);
      }
    }
  }
}

TEST(WorkerPool, CallersOnSeveralThreadsAndLoopsInsideLoops) {
  WorkerPool pool(3);
  constexpr int kCallers = 4;
  constexpr int kLoops = 300;
  constexpr int kLoopsPerFrame = 5;
  std::atomic<int> failures{0};
  std::vector<std::thread> callers;
  for (int c = 0; c < kCallers; ++c) {
    callers.emplace_back([&, c] {
      // Frames of a few loops, each open while the others' are: the workers watch for the
      // next loop between them.
      std::unique_ptr<FrameScope> frame;
      for (int loop = 0; loop < kLoops; ++loop) {
        if (loop % kLoopsPerFrame == 0) {
          frame.reset();
          frame = std::make_unique<FrameScope>(&pool, kLoopsPerFrame * 100);
        }
        const std::size_t count = 50 + static_cast<std::size_t>((loop * 7 + c * 13) % 500);
        Tally tally(count, 4);
        pool.run(count, 4, &Tally::chunk, &tally);
        if (tally.wrong(count) != 0 || tally.oversized.load() != 0) failures.fetch_add(1);
      }
    });
  }
  for (std::thread& caller : callers) caller.join();
  EXPECT_EQ(failures.load(), 0);

  // A chunk body that runs a loop of its own on the same pool (it finds the pool busy).
  constexpr std::size_t kOuter = 16, kInner = 100;
  Tally inner(kOuter * kInner, kInner);
  forEachChunk(&pool, kOuter, 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t o = begin; o < end; ++o)
      forEachChunk(&pool, kInner, 7, [&](std::size_t b, std::size_t e) {
        for (std::size_t i = b; i < e; ++i) inner.runs[o * kInner + i].fetch_add(1);
      });
  });
  EXPECT_EQ(inner.wrong(kOuter * kInner), 0u);
}

constexpr int kWorker = 0, kCaller = 1;

// Which thread ran each chunk of a loop of `chunks` one-item chunks on `pool`, kCaller or
// kWorker. Every chunk waits until both the caller and a worker have run one (30 seconds at
// most), so the loop finishes early only if a worker takes part, and both do.
std::vector<int> whoRanEachChunk(WorkerPool& pool, std::size_t chunks) {
  const std::thread::id caller = std::this_thread::get_id();
  std::vector<std::atomic<int>> ranBy(chunks);
  std::atomic<bool> ran[2] = {false, false};
  std::atomic<bool> gaveUp{false};
  forEachChunk(&pool, chunks, 1, [&](std::size_t begin, std::size_t) {
    const int who = std::this_thread::get_id() == caller ? kCaller : kWorker;
    ranBy[begin].store(who);
    ran[who] = true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!(ran[kCaller] && ran[kWorker]) && !gaveUp) {
      if (std::chrono::steady_clock::now() > deadline) gaveUp = true;
      std::this_thread::yield();
    }
  });
  std::vector<int> who(chunks);
  for (std::size_t i = 0; i < chunks; ++i) who[i] = ranBy[i].load();
  return who;
}

TEST(WorkerPool, WorkersTakePart) {
  WorkerPool pool(2);
  ASSERT_EQ(pool.threads(), 2u);
  const std::vector<int> ranBy = whoRanEachChunk(pool, 2);
  EXPECT_EQ(std::count(ranBy.begin(), ranBy.end(), kWorker), 1);
}

// Each thread keeps to its own end of a loop, the caller to the first chunks and the workers
// to the last, so that from one frame to the next a core works on about the same memory.
TEST(WorkerPool, TheCallerTakesTheFirstChunksAndTheWorkersTheLast) {
  WorkerPool pool(3);
  ASSERT_EQ(pool.threads(), 3u);
  constexpr std::size_t kChunks = 64;
  const std::vector<int> ranBy = whoRanEachChunk(pool, kChunks);
  const auto firstOfWorkers = std::find(ranBy.begin(), ranBy.end(), kWorker);
  EXPECT_NE(firstOfWorkers, ranBy.begin());
  EXPECT_NE(firstOfWorkers, ranBy.end());
  EXPECT_TRUE(std::all_of(firstOfWorkers, ranBy.end(), [](int who) { return who == kWorker; }));
}

#if defined(__linux__)
// CPU time of the whole process, all threads together.
double processCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Workers never wait by spinning for long: after a frame, and during a frame that runs no
// loop, they are asleep (the process takes next to no CPU time while the caller sleeps).
TEST(WorkerPool, WorkersSleepAfterAFrameAndWhenAFrameRunsNoLoop) {
  constexpr auto kIdle = std::chrono::milliseconds(200);
  constexpr double kMostCpuSeconds = 0.02;  // a tenth of the idle time
  WorkerPool pool(3);
  {
    FrameScope frame(&pool, 1000);
    Tally tally(1000, 1);
    pool.run(1000, 1, &Tally::chunk, &tally);
    ASSERT_EQ(tally.wrong(1000), 0u);
  }
  double before = processCpuSeconds();
  std::this_thread::sleep_for(kIdle);
  EXPECT_LT(processCpuSeconds() - before, kMostCpuSeconds) << "after a frame";

  FrameScope frame(&pool, 1000);
  before = processCpuSeconds();
  std::this_thread::sleep_for(kIdle);
  EXPECT_LT(processCpuSeconds() - before, kMostCpuSeconds) << "in a frame without loops";
}
#endif

// The account of whether the workers pay, on made-up timings (microseconds as ns * 1000):
// loops they speed up, or do not join, change nothing; a loop they slow down sends the loops
// to the caller alone for 1 ms, then 2, 4, ... up to 256 ms while it goes on; loops they
// speed up again halve the next span.
TEST(WorkerPool, LoopsRunAloneForAWhileAfterTheWorkersMadeThemSlower) {
  constexpr int64_t kUs = 1000;
  Payoff payoff;
  int64_t t = 0;
  // A loop of 8 chunks from t, the caller running `ran` chunks of 10 us each, then waiting
  // `wait` us for the rest. Returns the loop's end.
  const auto loop = [&](std::size_t ran, int64_t wait) {
    const int64_t ownStart = t, ownEnd = t + static_cast<int64_t>(ran) * 10 * kUs;
    t = ownEnd + wait * kUs;
    payoff.record(8, ran, ownStart, ownEnd, t);
    return t;
  };
  for (int i = 0; i < 100; ++i) {
    loop(4, 3);
    EXPECT_FALSE(payoff.alone(t)) << "paying loop " << i;
    loop(8, 0);  // a worker that came too late to take a chunk
    EXPECT_FALSE(payoff.alone(t)) << "loop without workers " << i;
  }
  // Slower than alone: the caller ran 7 chunks and waited 3 ms for the eighth.
  int64_t end = loop(7, 3000);
  EXPECT_TRUE(payoff.alone(end));
  EXPECT_TRUE(payoff.alone(end + Payoff::kShortestAlone - 1));
  EXPECT_FALSE(payoff.alone(end + Payoff::kShortestAlone));
  int64_t span = Payoff::kShortestAlone;
  for (int i = 0; i < 12; ++i) {
    t = end + span;  // tried again when the span is over, and slower again
    end = loop(7, 3000);
    span = std::min(2 * span, Payoff::kLongestAlone);
    EXPECT_TRUE(payoff.alone(end + span - 1)) << "span " << span;
    EXPECT_FALSE(payoff.alone(end + span)) << "span " << span;
  }
  // Paying loops bring the span down again, one halving each.
  t = end + span;
  for (int i = 0; i < 3; ++i) loop(4, 3);
  loop(7, 3000);
  EXPECT_TRUE(payoff.alone(t + Payoff::kLongestAlone / 8 - 1));
  EXPECT_FALSE(payoff.alone(t + Payoff::kLongestAlone / 8));
}

// A pool that steps aside still runs every item exactly once, whichever way it goes.
TEST(WorkerPool, PoolThatStepsAsideRunsEveryItemOnce) {
  WorkerPool pool(3, /*stepAside=*/true);
  for (int frame = 0; frame < 200; ++frame) {
    FrameScope scope(&pool, 64);
    for (std::size_t count : {1, 2, 63, 640}) {
      Tally tally(count, 10);
      pool.run(count, 10, &Tally::chunk, &tally);
      ASSERT_EQ(tally.wrong(count), 0u) << "frame " << frame << ", " << count << " items";
      ASSERT_EQ(tally.oversized.load(), 0);
    }
  }
}

#if defined(__linux__) || defined(_WIN32)
TEST(WorkerPool, StartsItsWorkersAndJoinsThemWhenDestroyed) {
  const int before = qov::test::processThreadCount();
  ASSERT_GT(before, 0);
  for (int round = 0; round < 5; ++round) {
    {
      WorkerPool pool(4);
      EXPECT_EQ(qov::test::processThreadCount(), before + static_cast<int>(pool.threads()) - 1);
      Tally tally(1000, 1);
      pool.run(1000, 1, &Tally::chunk, &tally);
      EXPECT_EQ(tally.wrong(1000), 0u);
    }
    EXPECT_EQ(qov::test::processThreadCountAfterJoin(before), before) << "round " << round;
  }
  {
    WorkerPool single(1);
    EXPECT_EQ(qov::test::processThreadCount(), before);
  }
}
#endif

}  // namespace
}  // namespace qov::parallel::test
