// The plug-ins' own worker threads: a pool that splits one loop over the calling thread
// and a few workers. Work is claimed in chunks from a shared counter, so a worker that the
// system schedules late costs only the chunk it claimed; the call returns once every
// claimed chunk has run. Idle workers block; they never spin for long. A frame made of
// several loops wakes the workers once, at its start, and keeps them from falling asleep
// between its loops (FrameScope).
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

namespace qov::parallel {

// The body of a loop: handles items [begin, end).
using ChunkFn = void (*)(void* context, std::size_t begin, std::size_t end);

class WorkerPool {
 public:
  // `threads` counts the calling thread: 1 (or 0) starts no worker. Never throws: when
  // memory or threads run out, the pool has the workers that could be started (threads()
  // tells), down to none. With `stepAside`, loops run on the calling thread alone for a
  // while when the workers have lately made them slower than that (payoff.h); the plug-ins'
  // pool does, so that a host on a machine whose other cores are busy loses nothing by them.
  explicit WorkerPool(unsigned threads, bool stepAside = false);
  ~WorkerPool();  // joins every worker
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Threads that take part in a loop, the calling thread included.
  unsigned threads() const { return threads_; }

  // Runs `fn` over [0, count) in chunks of at most `grain` items, on the calling thread and
  // the workers, and returns when all of them have run. Safe to call from several threads
  // at once: a caller that finds the workers busy runs its loop on its own thread.
  void run(std::size_t count, std::size_t grain, ChunkFn fn, void* context);

  // A frame's loops are about to run on this thread: up to `helpers` sleeping workers (as
  // many as its loops can use besides the caller) are woken now, so that they are up by the
  // first loop, and between loops the workers watch for the next one (for a few microseconds
  // at most, giving way to any other thread of their core) instead of falling asleep and
  // being woken again. endFrame lets them sleep as soon as they are idle. Frames on several
  // threads at once may overlap. While the loops run on the caller alone (stepAside), no
  // worker is woken. See FrameScope.
  void beginFrame(std::size_t helpers);
  void endFrame();

  // For the child of a fork, while it has no other thread: the workers exist only in the
  // parent (and one of them may hold the pool's mutex there), so from now on every loop runs
  // on the calling thread, and the workers' state is neither used nor released (a few
  // hundred bytes stay behind in the child). The parent's pool is not touched.
  void abandonAfterFork() noexcept;

 private:
  unsigned threads_;
  struct State;
  State* state_ = nullptr;
};

// beginFrame and endFrame of `pool`, if there is one, for the scope's lifetime: a frame
// whose passes are cut into `chunks` chunks at most.
class FrameScope {
 public:
  FrameScope(WorkerPool* pool, std::size_t chunks)
      : pool_(pool != nullptr && pool->threads() > 1 && chunks > 1 ? pool : nullptr) {
    if (pool_ != nullptr) pool_->beginFrame(chunks - 1);
  }
  ~FrameScope() {
    if (pool_ != nullptr) pool_->endFrame();
  }
  FrameScope(const FrameScope&) = delete;
  FrameScope& operator=(const FrameScope&) = delete;

 private:
  WorkerPool* pool_;
};

// `body(begin, end)` over [0, count): on `pool` when there is one, else on the calling
// thread in one piece. Bodies must not depend on how the range is cut.
template <class Body>
void forEachChunk(WorkerPool* pool, std::size_t count, std::size_t grain, Body&& body) {
  if (count == 0) return;
  if (pool == nullptr || pool->threads() <= 1 || count <= grain) {
    body(std::size_t{0}, count);
    return;
  }
  using B = std::remove_reference_t<Body>;
  pool->run(count, grain,
            [](void* context, std::size_t begin, std::size_t end) { (*static_cast<B*>(context))(begin, end); },
            const_cast<void*>(static_cast<const void*>(&body)));
}

}  // namespace qov::parallel
