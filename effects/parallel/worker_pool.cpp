// The worker pool.
//
// One loop at a time runs on the pool. Its chunks are numbered 0..chunks-1 and claimed
// through one atomic word that holds the loop's number (high half) and the next chunk to
// hand out (low half): a worker claims a chunk only while the word still names the loop it
// was woken for, so a worker that wakes late, after its loop has ended and the next one has
// begun, never runs a chunk of the wrong loop with the old loop's function. A claimed chunk
// keeps its loop alive (the caller waits for the count of finished chunks), so the old
// function and context are never used once run() has returned.
//
// Workers sleep on a condition variable between loops. The caller runs chunks itself and,
// once none is left to claim, waits for the chunks still running elsewhere: it watches for
// a few microseconds (about a chunk's time, so that the common case costs no sleep and no
// wake-up) and then sleeps until the last one is reported.
#include "effects/parallel/worker_pool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "effects/simd/simd.h"  // QOV_SIMD_X86 only: the pause instruction

namespace qov::parallel {
namespace {

constexpr unsigned kLoopShift = 32;
constexpr uint64_t kChunkMask = 0xFFFFFFFFu;
// Chunk numbers fit the low half of the claim word with room to spare.
constexpr std::size_t kMaxChunks = std::size_t{1} << 30;

// How long a caller watches for the last chunks before it sleeps.
constexpr std::chrono::microseconds kCallerWatch{20};
constexpr int kWatchRounds = 16;  // pauses between two looks at the clock

std::size_t chunkCount(std::size_t count, std::size_t grain) { return (count + grain - 1) / grain; }

// Lets the other hardware thread of the core run while this one waits.
inline void relax() {
#if QOV_SIMD_X86
  __builtin_ia32_pause();
#endif
}

}  // namespace

struct WorkerPool::State {
  std::mutex mutex;
  std::condition_variable wake;      // workers: a new loop or the end
  std::condition_variable finished;  // the caller: the last chunk is done
  std::vector<std::thread> workers;
  bool stopping = false;             // guarded by mutex

  // The current loop; written under mutex before the loop's number is published.
  uint32_t loop = 0;  // guarded by mutex
  ChunkFn fn = nullptr;
  void* context = nullptr;
  std::size_t count = 0;
  std::size_t grain = 1;
  std::size_t chunks = 0;

  std::atomic<uint64_t> claim{0};      // loop number << 32 | next chunk
  std::atomic<std::size_t> done{0};    // chunks of the current loop that have run
  std::atomic<bool> busy{false};       // a caller owns the pool

  // Claims the next chunk of loop `loopNumber`, or returns false when that loop has none
  // left (or is over).
  bool claimChunk(uint32_t loopNumber, std::size_t loopChunks, std::size_t& chunk) {
    uint64_t word = claim.load(std::memory_order_relaxed);
    for (;;) {
      if (static_cast<uint32_t>(word >> kLoopShift) != loopNumber) return false;
      const uint64_t next = word & kChunkMask;
      if (next >= loopChunks) return false;
      if (claim.compare_exchange_weak(word, word + 1, std::memory_order_acq_rel, std::memory_order_relaxed)) {
        chunk = static_cast<std::size_t>(next);
        return true;
      }
    }
  }

  // Runs chunks of the given loop until none is left; returns how many it ran.
  static std::size_t runChunks(State& s, uint32_t loopNumber, ChunkFn fn, void* context, std::size_t count,
                               std::size_t grain, std::size_t loopChunks) {
    std::size_t ran = 0;
    std::size_t chunk = 0;
    while (s.claimChunk(loopNumber, loopChunks, chunk)) {
      const std::size_t begin = chunk * grain;
      const std::size_t end = count - begin > grain ? begin + grain : count;
      fn(context, begin, end);
      ++ran;
    }
    return ran;
  }

  void workerMain() {
    uint32_t seen = 0;
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      wake.wait(lock, [&] { return stopping || loop != seen; });
      if (stopping) return;
      seen = loop;
      const ChunkFn loopFn = fn;
      void* const loopContext = context;
      const std::size_t loopCount = count;
      const std::size_t loopGrain = grain;
      const std::size_t loopChunks = chunks;
      lock.unlock();
      const std::size_t ran = runChunks(*this, seen, loopFn, loopContext, loopCount, loopGrain, loopChunks);
      lock.lock();
      // Under the mutex, so that a caller about to sleep cannot miss the last report. The
      // loop cannot end (and the next begin) before these chunks are counted.
      if (ran != 0 && done.fetch_add(ran, std::memory_order_acq_rel) + ran == loopChunks) finished.notify_one();
    }
  }
};

WorkerPool::WorkerPool(unsigned threads) : threads_(threads == 0 ? 1 : threads) {
  if (threads_ == 1) return;
  state_ = new (std::nothrow) State;
  bool reserved = state_ != nullptr;
  if (reserved) {
    // Room for every worker first, so that adding one cannot move those already running.
    try {
      state_->workers.reserve(threads_ - 1);
    } catch (...) {
      reserved = false;
    }
  }
  if (reserved) {
    for (unsigned i = 1; i < threads_; ++i) {
      try {
        state_->workers.emplace_back([s = state_] { s->workerMain(); });
      } catch (...) {
        break;  // no thread, or no memory for one: the loops run on those there are
      }
    }
  }
  threads_ = state_ != nullptr ? static_cast<unsigned>(state_->workers.size()) + 1 : 1;
  if (threads_ == 1) {
    delete state_;
    state_ = nullptr;
  }
}

void WorkerPool::abandonAfterFork() noexcept {
  state_ = nullptr;
  threads_ = 1;
}

WorkerPool::~WorkerPool() {
  if (state_ == nullptr) return;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopping = true;
  }
  state_->wake.notify_all();
  for (std::thread& worker : state_->workers) worker.join();
  delete state_;
}

void WorkerPool::run(std::size_t count, std::size_t grain, ChunkFn fn, void* context) {
  if (count == 0) return;
  if (grain == 0) grain = 1;
  if (chunkCount(count, grain) > kMaxChunks) grain = chunkCount(count, kMaxChunks);
  const std::size_t chunks = chunkCount(count, grain);
  State* s = state_;
  if (s == nullptr || chunks == 1 || s->busy.exchange(true, std::memory_order_acquire)) {
    // No workers, nothing to share, or another caller's loop on them: this thread alone.
    for (std::size_t begin = 0; begin < count; begin += grain)
      fn(context, begin, count - begin > grain ? begin + grain : count);
    return;
  }

  uint32_t loopNumber;
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    loopNumber = ++s->loop;
    if (loopNumber == 0) loopNumber = ++s->loop;  // 0 is what a new worker has seen
    s->fn = fn;
    s->context = context;
    s->count = count;
    s->grain = grain;
    s->chunks = chunks;
    s->done.store(0, std::memory_order_relaxed);
    s->claim.store(uint64_t{loopNumber} << kLoopShift, std::memory_order_release);
  }
  // Only as many workers as there are chunks besides the caller's first.
  const std::size_t helpers = chunks - 1 < s->workers.size() ? chunks - 1 : s->workers.size();
  if (helpers == s->workers.size())
    s->wake.notify_all();
  else
    for (std::size_t i = 0; i < helpers; ++i) s->wake.notify_one();

  const std::size_t ran = State::runChunks(*s, loopNumber, fn, context, count, grain, chunks);
  if (s->done.fetch_add(ran, std::memory_order_acq_rel) + ran != chunks) {
    const auto watchEnd = std::chrono::steady_clock::now() + kCallerWatch;
    while (s->done.load(std::memory_order_acquire) != chunks && std::chrono::steady_clock::now() < watchEnd)
      for (int i = 0; i < kWatchRounds; ++i) relax();
  }
  if (s->done.load(std::memory_order_acquire) != chunks) {
    std::unique_lock<std::mutex> lock(s->mutex);
    s->finished.wait(lock, [&] { return s->done.load(std::memory_order_acquire) == chunks; });
  }
  s->busy.store(false, std::memory_order_release);
}

}  // namespace qov::parallel
