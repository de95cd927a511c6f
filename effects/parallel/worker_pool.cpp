// The worker pool. (Placeholder: runs every loop on the calling thread until the threaded
// implementation lands.)
#include "effects/parallel/worker_pool.h"

namespace qov::parallel {

struct WorkerPool::State {};

WorkerPool::WorkerPool(unsigned threads) : threads_(threads == 0 ? 1 : threads) {}

WorkerPool::~WorkerPool() = default;

void WorkerPool::run(std::size_t count, std::size_t grain, ChunkFn fn, void* context) {
  if (grain == 0) grain = 1;
  for (std::size_t begin = 0; begin < count; begin += grain)
    fn(context, begin, begin + grain < count ? begin + grain : count);
}

}  // namespace qov::parallel
