// The worker pool.
//
// One loop at a time runs on the pool. Its chunks are numbered 0..chunks-1 and claimed
// through one atomic word that holds the loop's number (high half) and the count of chunks
// handed out (low half; the caller takes them from the first on, the workers from the
// last back, see runChunks): a worker claims a chunk only while the word still names the loop it
// took up, so a worker that comes late, after its loop has ended and the next one has begun,
// never runs a chunk of the wrong loop with the old loop's function. A claimed chunk keeps
// its loop alive (the caller waits for the count of finished chunks), so the old function
// and context are never used once run() has returned.
//
// The caller publishes a loop under the mutex: its description (fn, context, count, grain,
// chunks), its number, and the claim word. A worker takes a loop up under the mutex too, so
// it reads one loop's description and number together. Sleeping workers wait on a condition
// variable for the loop number to change; the caller notifies them only when one sleeps,
// since waking a thread costs the caller a system call (about 13 microseconds on the
// development machine, more than the woken thread then takes to run); a worker that is awake
// sees the new number in the claim word.
//
// A frame (beginFrame .. endFrame) wakes the sleeping workers once, at its start. While a
// frame is open, a worker whose chunks are done watches the claim word for the next loop for
// kWatch at most, giving way to other threads of its core as it watches, and then sleeps:
// the loops of one frame follow each other within microseconds, so the workers wake once per
// frame rather than once per loop. Without an open frame they sleep as soon as their chunks
// are done.
//
// The caller runs chunks itself and, once none is left to claim, waits for the chunks still
// running elsewhere: it watches for kWatch (about a chunk's time, so that the common case
// costs no sleep and no wake-up) and then sleeps until the last one is reported. Neither
// caller nor worker ever watches longer than kWatch at a time.
//
// A pool made to step aside times each loop it runs on the workers and keeps account of
// whether they paid (payoff.h); while they have not, loops run on the caller alone.
#include "effects/parallel/worker_pool.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "effects/parallel/payoff.h"
#include "effects/simd/simd.h"  // QOV_SIMD_X86 only: the pause instruction

namespace qov::parallel {
namespace {

using Clock = std::chrono::steady_clock;

constexpr unsigned kLoopShift = 32;
constexpr uint64_t kChunkMask = 0xFFFFFFFFu;
// Chunk numbers fit the low half of the claim word with room to spare.
constexpr std::size_t kMaxChunks = std::size_t{1} << 30;

// The longest a thread watches for something before it sleeps: a caller for the last chunks
// of its loop, a worker for the next loop of an open frame.
constexpr std::chrono::microseconds kWatch{20};
constexpr int kWatchRounds = 16;  // pauses between two looks at the clock

std::size_t chunkCount(std::size_t count, std::size_t grain) { return (count + grain - 1) / grain; }

uint32_t loopOf(uint64_t claimWord) { return static_cast<uint32_t>(claimWord >> kLoopShift); }

int64_t nowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// Lets the other hardware thread of the core run while this one waits.
inline void relax() {
#if QOV_SIMD_X86
  __builtin_ia32_pause();
#endif
}

}  // namespace

struct WorkerPool::State {
  std::mutex mutex;
  std::condition_variable wake;      // workers: a new loop, a new frame, or the end
  std::condition_variable finished;  // the caller: the last chunk is done
  std::vector<std::thread> workers;
  bool stopping = false;   // guarded by mutex
  unsigned sleepers = 0;   // workers waiting on `wake`; guarded by mutex
  uint32_t frameCalls = 0; // beginFrame calls that found a sleeper; guarded by mutex

  // The current loop, written under mutex before its number is published in the claim word.
  uint32_t loop = 0;  // guarded by mutex
  ChunkFn fn = nullptr;
  void* context = nullptr;
  std::size_t count = 0;
  std::size_t grain = 1;
  std::size_t chunks = 0;

  std::atomic<uint64_t> claim{0};      // loop number << 32 | chunks claimed
  std::atomic<std::size_t> fromEnd{0}; // chunks of the current loop the workers have taken
  std::atomic<std::size_t> done{0};    // chunks of the current loop that have run
  std::atomic<bool> busy{false};       // a caller owns the pool
  std::atomic<unsigned> openFrames{0}; // frames between beginFrame and endFrame
  bool stepAside = false;              // set before the workers start
  Payoff payoff;                       // written by the caller that owns the pool (busy)

  // Claims one chunk of loop `loopNumber`, or returns false when that loop has none left
  // (or is over). Which chunk it is, runChunks decides.
  bool claimChunk(uint32_t loopNumber, std::size_t loopChunks) {
    uint64_t word = claim.load(std::memory_order_relaxed);
    for (;;) {
      if (loopOf(word) != loopNumber) return false;
      if ((word & kChunkMask) >= loopChunks) return false;
      if (claim.compare_exchange_weak(word, word + 1, std::memory_order_acq_rel, std::memory_order_relaxed))
        return true;
    }
  }

  // Runs chunks of the given loop until none is left; returns how many it ran. The caller
  // runs the loop's chunks from its first on, the workers from its last back, so that each
  // thread works on about the same part of a frame from one frame to the next: the part
  // whose memory its own core's caches hold. (Chunks handed out in claim order land on
  // either core by chance, and a line the other core wrote last has to move over first;
  // that made a frame of two threads slower than one.) The claims keep the count: the
  // caller's c chunks from the start and the workers' w from the end never meet while
  // c + w is at most the loop's chunks.
  static std::size_t runChunks(State& s, uint32_t loopNumber, ChunkFn fn, void* context, std::size_t count,
                               std::size_t grain, std::size_t loopChunks, bool caller) {
    std::size_t ran = 0;
    while (s.claimChunk(loopNumber, loopChunks)) {
      const std::size_t chunk =
          caller ? ran : loopChunks - 1 - s.fromEnd.fetch_add(1, std::memory_order_relaxed);
      const std::size_t begin = chunk * grain;
      const std::size_t end = count - begin > grain ? begin + grain : count;
      fn(context, begin, end);
      ++ran;
    }
    return ran;
  }

  // Takes up the loop last published (`lock` holds the mutex) and runs what chunks of it are
  // left; returns its number.
  uint32_t takeUp(std::unique_lock<std::mutex>& lock) {
    const uint32_t loopNumber = loop;
    const ChunkFn loopFn = fn;
    void* const loopContext = context;
    const std::size_t loopCount = count;
    const std::size_t loopGrain = grain;
    const std::size_t loopChunks = chunks;
    lock.unlock();
    const std::size_t ran =
        runChunks(*this, loopNumber, loopFn, loopContext, loopCount, loopGrain, loopChunks, /*caller=*/false);
    lock.lock();
    // Under the mutex, so that a caller about to sleep cannot miss the last report. The
    // loop cannot end (and the next begin) before these chunks are counted.
    if (ran != 0 && done.fetch_add(ran, std::memory_order_acq_rel) + ran == loopChunks) finished.notify_one();
    return loopNumber;
  }

  void workerMain() {
    uint32_t seen = 0;
    uint32_t seenFrameCall = 0;
    Clock::time_point watchEnd = Clock::now();
    std::unique_lock<std::mutex> lock(mutex, std::defer_lock);
    for (;;) {
      if (loopOf(claim.load(std::memory_order_acquire)) != seen) {
        lock.lock();
        seen = takeUp(lock);
        lock.unlock();
        watchEnd = Clock::now() + kWatch;
        continue;
      }
      if (openFrames.load(std::memory_order_relaxed) != 0 && Clock::now() < watchEnd) {
        // Another thread of this core (the caller, say, when the other cores are busy) runs
        // first.
        std::this_thread::yield();
        for (int i = 0; i < kWatchRounds; ++i) relax();
        continue;
      }
      lock.lock();
      ++sleepers;
      wake.wait(lock, [&] { return stopping || loop != seen || frameCalls != seenFrameCall; });
      --sleepers;
      if (stopping) return;
      seenFrameCall = frameCalls;
      if (loop != seen) seen = takeUp(lock);
      lock.unlock();
      watchEnd = Clock::now() + kWatch;
    }
  }
};

WorkerPool::WorkerPool(unsigned threads, bool stepAside) : threads_(threads == 0 ? 1 : threads) {
  if (threads_ == 1) return;
  state_ = new (std::nothrow) State;
  if (state_ != nullptr) state_->stepAside = stepAside;
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

namespace {

// Wakes `helpers` of the `sleeping` workers, or all of them with one call where that is all
// the pool has.
void wakeWorkers(std::condition_variable& wake, std::size_t helpers, std::size_t sleeping, std::size_t workers) {
  const std::size_t woken = helpers < sleeping ? helpers : sleeping;
  if (woken == workers)
    wake.notify_all();
  else
    for (std::size_t i = 0; i < woken; ++i) wake.notify_one();
}

}  // namespace

void WorkerPool::beginFrame(std::size_t helpers) {
  State* s = state_;
  if (s == nullptr) return;
  s->openFrames.fetch_add(1, std::memory_order_relaxed);
  if (s->stepAside && s->payoff.alone(nowNs())) return;
  unsigned sleeping;
  {
    std::lock_guard<std::mutex> lock(s->mutex);
    sleeping = s->sleepers;
    if (sleeping != 0) ++s->frameCalls;
  }
  wakeWorkers(s->wake, helpers, sleeping, s->workers.size());
}

void WorkerPool::endFrame() {
  if (State* s = state_) s->openFrames.fetch_sub(1, std::memory_order_relaxed);
}

void WorkerPool::run(std::size_t count, std::size_t grain, ChunkFn fn, void* context) {
  if (count == 0) return;
  if (grain == 0) grain = 1;
  if (chunkCount(count, grain) > kMaxChunks) grain = chunkCount(count, kMaxChunks);
  const std::size_t chunks = chunkCount(count, grain);
  State* s = state_;
  const int64_t start = s != nullptr && s->stepAside ? nowNs() : 0;
  if (s == nullptr || chunks == 1 || (s->stepAside && s->payoff.alone(start)) ||
      s->busy.exchange(true, std::memory_order_acquire)) {
    // No workers, nothing to share, workers that do not pay at the moment, or another
    // caller's loop on them: this thread alone.
    for (std::size_t begin = 0; begin < count; begin += grain)
      fn(context, begin, count - begin > grain ? begin + grain : count);
    return;
  }

  uint32_t loopNumber;
  unsigned sleeping;
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
    s->fromEnd.store(0, std::memory_order_relaxed);
    s->claim.store(uint64_t{loopNumber} << kLoopShift, std::memory_order_release);
    sleeping = s->sleepers;
  }
  // Only as many sleepers as there are chunks besides the caller's first; awake workers
  // see the loop by themselves.
  wakeWorkers(s->wake, chunks - 1, sleeping, s->workers.size());

  const int64_t ownStart = s->stepAside ? nowNs() : 0;
  const std::size_t ran = State::runChunks(*s, loopNumber, fn, context, count, grain, chunks, /*caller=*/true);
  const int64_t ownEnd = s->stepAside ? nowNs() : 0;
  if (s->done.fetch_add(ran, std::memory_order_acq_rel) + ran != chunks) {
    const auto watchEnd = Clock::now() + kWatch;
    while (s->done.load(std::memory_order_acquire) != chunks && Clock::now() < watchEnd)
      for (int i = 0; i < kWatchRounds; ++i) relax();
  }
  if (s->done.load(std::memory_order_acquire) != chunks) {
    std::unique_lock<std::mutex> lock(s->mutex);
    s->finished.wait(lock, [&] { return s->done.load(std::memory_order_acquire) == chunks; });
  }
  if (s->stepAside) s->payoff.record(chunks, ran, ownStart, ownEnd, ran == chunks ? ownEnd : nowNs());
  s->busy.store(false, std::memory_order_release);
}

}  // namespace qov::parallel
