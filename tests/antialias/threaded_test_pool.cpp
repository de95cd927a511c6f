// The threaded stand-in for WorkerPool (threaded_test_pool.h).
#include "tests/antialias/threaded_test_pool.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "effects/parallel/worker_pool.h"

namespace qov::parallel {
namespace {
std::atomic<std::size_t> workerChunks{0};
}

std::size_t testing::chunksRunByWorkers() { return workerChunks.load(); }

struct WorkerPool::State {};

WorkerPool::WorkerPool(unsigned threads, bool) : threads_(threads == 0 ? 1 : threads) {}

WorkerPool::~WorkerPool() = default;

void WorkerPool::run(std::size_t count, std::size_t grain, ChunkFn fn, void* context) {
  grain = std::max<std::size_t>(grain, 1);
  std::atomic<std::size_t> next{0};
  std::atomic<unsigned> arrived{0};
  const auto work = [&](bool isCaller) {
    arrived.fetch_add(1);
    while (arrived.load() < threads_) std::this_thread::yield();
    for (;;) {
      const std::size_t begin = next.fetch_add(grain);
      if (begin >= count) return;
      fn(context, begin, std::min(begin + grain, count));
      if (!isCaller) workerChunks.fetch_add(1);
    }
  };
  std::vector<std::thread> workers;
  for (unsigned t = 1; t < threads_; ++t) workers.emplace_back(work, false);
  work(true);
  for (std::thread& worker : workers) worker.join();
}

}  // namespace qov::parallel
